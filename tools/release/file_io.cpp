#include "tools/release/file_io.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <vector>

#include "signing/crypto.h"
#include "signing/encoding.h"

namespace orva {
namespace {

constexpr std::size_t kReadPieceBytes = 1 << 20;

std::string describeErrno(int code) {
    return std::strerror(code);
}

// Owns a file descriptor; closes it when it goes out of scope unless it was
// closed (and checked) with close().
class FileDescriptor {
  public:
    explicit FileDescriptor(int fd) : fd_(fd) {}
    ~FileDescriptor() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;

    int get() const { return fd_; }
    bool valid() const { return fd_ >= 0; }

    // Closes now and tells whether the system reported a failure (which can
    // be the first sign of a write that did not reach the disk).
    bool close() {
        const int fd = fd_;
        fd_ = -1;
        return ::close(fd) == 0;
    }

  private:
    int fd_;
};

bool writeAll(int fd, std::string_view data) {
    while (!data.empty()) {
        const ssize_t written = ::write(fd, data.data(), data.size());
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        data.remove_prefix(static_cast<std::size_t>(written));
    }
    return true;
}

// Reads up to |length| bytes; 0 at the end of the file, -1 on failure.
ssize_t readSome(int fd, void* buffer, std::size_t length) {
    for (;;) {
        const ssize_t got = ::read(fd, buffer, length);
        if (got >= 0 || errno != EINTR) {
            return got;
        }
    }
}

// Writes |data| to the open |fd|, flushes it to disk and closes it.
bool writeFlushClose(FileDescriptor& fd, std::string_view data) {
    return writeAll(fd.get(), data) && ::fsync(fd.get()) == 0 && fd.close();
}

std::string folderOf(const std::string& path) {
    const std::filesystem::path parent = std::filesystem::path(path).parent_path();
    return parent.empty() ? std::string(".") : parent.string();
}

}  // namespace

bool readTextFile(const std::string& path, std::size_t maxBytes, FileText& file,
                  std::string& error) {
    file = FileText();
    FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (!fd.valid()) {
        if (errno == ENOENT) {
            return true;
        }
        error = path + " cannot be read: " + describeErrno(errno) + ".";
        return false;
    }
    file.found = true;
    struct stat info {};
    if (::fstat(fd.get(), &info) != 0 || !S_ISREG(info.st_mode)) {
        error = path + " is not a file.";
        return false;
    }
    // Read past the limit by one byte to learn whether the file is longer.
    std::string text(maxBytes + 1, '\0');
    std::size_t length = 0;
    while (length < text.size()) {
        const ssize_t got = readSome(fd.get(), text.data() + length, text.size() - length);
        if (got < 0) {
            error = path + " cannot be read: " + describeErrno(errno) + ".";
            return false;
        }
        if (got == 0) {
            break;
        }
        length += static_cast<std::size_t>(got);
    }
    if (length > maxBytes) {
        file.tooLarge = true;
        return true;
    }
    text.resize(length);
    file.text = std::move(text);
    return true;
}

bool writeNewFile(const std::string& path, std::string_view data, unsigned mode,
                  std::string& error) {
    FileDescriptor fd(::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode));
    if (!fd.valid()) {
        error = errno == EEXIST ? path + " already exists; it is left as it is."
                                : path + " cannot be created: " + describeErrno(errno) + ".";
        return false;
    }
    if (!writeFlushClose(fd, data)) {
        error = path + " could not be written: " + describeErrno(errno) + ".";
        ::unlink(path.c_str());
        return false;
    }
    return true;
}

bool replaceFile(const std::string& path, std::string_view data, std::string& error) {
    struct stat existing {};
    const bool exists = ::stat(path.c_str(), &existing) == 0;
    if (exists && !S_ISREG(existing.st_mode)) {
        error = path + " is not a file.";
        return false;
    }
    const std::string folder = folderOf(path);
    // A hidden name beside the target, so that the rename stays within one
    // file system and a static web server does not list the half-written file.
    const std::string name = std::filesystem::path(path).filename().string();
    std::string temporary;
    int opened = -1;
    for (int attempt = 0; attempt < 100 && opened < 0; ++attempt) {
        temporary = folder + "/." + name + ".tmp-" + std::to_string(::getpid()) + "-" +
                    std::to_string(attempt);
        opened = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (opened < 0 && errno != EEXIST) {
            break;
        }
    }
    FileDescriptor fd(opened);
    if (!fd.valid()) {
        error = "No temporary file could be made in " + folder + ": " + describeErrno(errno) + ".";
        return false;
    }
    const bool written = (!exists || ::fchmod(fd.get(), existing.st_mode & 07777) == 0) &&
                         writeFlushClose(fd, data) &&
                         ::rename(temporary.c_str(), path.c_str()) == 0;
    if (!written) {
        error = path + " could not be written: " + describeErrno(errno) + ".";
        ::unlink(temporary.c_str());
        return false;
    }
    // Make the rename itself durable; the data is already on disk either way.
    FileDescriptor directory(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (directory.valid()) {
        ::fsync(directory.get());
    }
    return true;
}

bool regularFileSize(const std::string& path, std::uint64_t& size, bool& found,
                     std::string& error) {
    struct stat info {};
    found = false;
    if (::stat(path.c_str(), &info) != 0) {
        if (errno == ENOENT) {
            return true;
        }
        error = path + " cannot be read: " + describeErrno(errno) + ".";
        return false;
    }
    found = true;
    if (!S_ISREG(info.st_mode)) {
        error = path + " is not a file.";
        return false;
    }
    size = static_cast<std::uint64_t>(info.st_size);
    return true;
}

bool sha256OfFile(const std::string& path, std::uint64_t& size, std::string& sha256Hex,
                  std::string& error) {
    FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    struct stat info {};
    if (!fd.valid() || ::fstat(fd.get(), &info) != 0) {
        error = path + " cannot be read: " + describeErrno(errno) + ".";
        return false;
    }
    Sha256Stream hash;
    std::vector<std::uint8_t> piece(kReadPieceBytes);
    std::uint64_t total = 0;
    for (;;) {
        const ssize_t got = readSome(fd.get(), piece.data(), piece.size());
        if (got < 0) {
            error = path + " cannot be read: " + describeErrno(errno) + ".";
            return false;
        }
        if (got == 0) {
            break;
        }
        hash.update(piece.data(), static_cast<std::size_t>(got));
        total += static_cast<std::uint64_t>(got);
    }
    if (total != static_cast<std::uint64_t>(info.st_size)) {
        error = path + " changed while it was read.";
        return false;
    }
    Bytes digest;
    if (!hash.finish(digest, error)) {
        return false;
    }
    size = total;
    sha256Hex = toHex(digest);
    return true;
}

}  // namespace orva
