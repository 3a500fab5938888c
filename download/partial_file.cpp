#include "download/partial_file.h"

#include <windows.h>

#include <algorithm>
#include <cstring>
#include <limits>
#include <memory>

#include "download/file_system.h"
#include "download/installer_file.h"
#include "download/verified_copy.h"
#include "signing/encoding.h"

namespace orva {

// Two buffers: the caller fills one while the thread writes the other. The
// hand-over is a pair of auto-reset events: |free_| says the thread has
// written what it was given, |ready_| that the filled buffer is its to write.
class PartialFile::WriteBehind {
  public:
    explicit WriteBehind(PartialFile& file) : file_(file) {}
    ~WriteBehind() { finish(); }
    WriteBehind(const WriteBehind&) = delete;
    WriteBehind& operator=(const WriteBehind&) = delete;

    bool start() {
        free_.reset(CreateEventW(nullptr, FALSE, TRUE, nullptr));
        ready_.reset(CreateEventW(nullptr, FALSE, FALSE, nullptr));
        if (!free_ || !ready_) {
            return false;
        }
        filling_ = std::make_unique<std::uint8_t[]>(kWriteBehindBytes);
        writing_ = std::make_unique<std::uint8_t[]>(kWriteBehindBytes);
        thread_.reset(CreateThread(nullptr, 0, run, this, 0, nullptr));
        return static_cast<bool>(thread_);
    }

    // Copies |length| bytes in, handing each full buffer over.
    void append(const std::uint8_t* data, std::uint64_t length) {
        while (length > 0) {
            const std::size_t piece = static_cast<std::size_t>(
                std::min<std::uint64_t>(length, kWriteBehindBytes - filled_));
            std::memcpy(filling_.get() + filled_, data, piece);
            filled_ += piece;
            data += piece;
            length -= piece;
            if (filled_ == kWriteBehindBytes) {
                handOver();
            }
        }
    }

    // Hands over what is left and waits until all of it is written; then the
    // thread ends. Safe to call more than once.
    void finish() {
        if (!thread_) {
            return;
        }
        settle();  // the thread is idle now
        stopping_ = true;
        SetEvent(ready_.get());
        WaitForSingleObject(thread_.get(), INFINITE);
        thread_.reset();
    }

    // Hands over what is left and waits until all of it is written; the
    // thread stays, ready for more.
    void settle() {
        if (!thread_) {
            return;
        }
        if (filled_ > 0) {
            handOver();
        }
        WaitForSingleObject(free_.get(), INFINITE);
        SetEvent(free_.get());  // still free: the next hand-over waits for it
    }

    // A write of the thread's has failed; read after a hand-over, settle or
    // finish.
    bool failed() const { return failed_; }
    // For a file that starts again: once settled, earlier failures are over.
    void forgetFailure() { failed_ = false; }

  private:
    void handOver() {
        WaitForSingleObject(free_.get(), INFINITE);  // the thread is done with |writing_|
        std::swap(filling_, writing_);
        toWrite_ = filled_;
        filled_ = 0;
        SetEvent(ready_.get());
    }

    static DWORD WINAPI run(void* self) {
        auto& me = *static_cast<WriteBehind*>(self);
        for (;;) {
            WaitForSingleObject(me.ready_.get(), INFINITE);
            if (me.stopping_) {
                return 0;
            }
            if (!me.failed_ && !me.file_.writeNow(me.writing_.get(), me.toWrite_)) {
                me.failed_ = true;
            }
            SetEvent(me.free_.get());
        }
    }

    PartialFile& file_;
    KernelHandle free_;
    KernelHandle ready_;
    KernelHandle thread_;
    std::unique_ptr<std::uint8_t[]> filling_;
    std::unique_ptr<std::uint8_t[]> writing_;
    std::size_t filled_ = 0;
    std::size_t toWrite_ = 0;  // written by the caller before |ready_|, read after it
    bool stopping_ = false;    // likewise
    bool failed_ = false;      // written by the thread before |free_|, read after it
};

namespace {

// Renames the file open through |file| (opened with DELETE access) to
// |target|, a full path, replacing a file or link of that name. Through the
// handle, so it is exactly that file whatever its name has since come to
// mean. Refused (ERROR_ACCESS_DENIED) when |target| is a folder or has open
// handles (MS-FSCC, FileRenameInformation).
bool renameThrough(HANDLE file, const std::wstring& target) {
    const std::size_t nameBytes = target.size() * sizeof(wchar_t);
    // FILE_RENAME_INFO ends in the name; its own size holds one character
    // and so the terminating zero that follows the name.
    const std::size_t size = sizeof(FILE_RENAME_INFO) + nameBytes;
    if (size > std::numeric_limits<DWORD>::max()) {
        SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return false;
    }
    const auto buffer = std::make_unique<std::uint64_t[]>(size / sizeof(std::uint64_t) + 1);
    auto* info = reinterpret_cast<FILE_RENAME_INFO*>(buffer.get());
    info->ReplaceIfExists = TRUE;
    info->RootDirectory = nullptr;
    info->FileNameLength = static_cast<DWORD>(nameBytes);
    std::memcpy(info->FileName, target.data(), nameBytes);
    info->FileName[target.size()] = L'\0';
    return SetFileInformationByHandle(file, FileRenameInfo, info, static_cast<DWORD>(size)) != 0;
}

}  // namespace

PartialFile::PartialFile() = default;

PartialFile::~PartialFile() {
    drain();
    if (!owned_) {
        return;
    }
    // Normally marked since it was created; marked again in case that failed.
    const bool deleted = handle_ && markForDeletion(handle_.get(), true);
    handle_.reset();
    if (!deleted) {
        DeleteFileW(path_.c_str());
    }
}

bool PartialFile::create(const std::wstring& installerPath) {
    for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
        std::wstring suffix;
        if (!randomHex(suffix)) {
            break;
        }
        if (open(partialPathFor(installerPath, suffix))) {
            return true;
        }
        if (GetLastError() != ERROR_FILE_EXISTS && GetLastError() != ERROR_ALREADY_EXISTS) {
            break;
        }
    }
    failed_ = true;
    return false;
}

bool PartialFile::open(const std::wstring& path) {
    if (owned_) {
        return false;  // one file per owner
    }
    path_ = path;
    // CREATE_NEW: never an existing file, nor the target of a link. Others
    // may read it; nobody else may write, rename or delete it while it is open.
    handle_.reset(CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE | DELETE, FILE_SHARE_READ,
                              nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
    owned_ = static_cast<bool>(handle_);
    failed_ = !owned_;
    if (owned_) {
        hash_ = std::make_unique<Sha256Stream>();
        // Deleted by the system when the handle closes, however the process
        // ends: "Cancel" during a transfer ends it without waiting for the
        // run, and a crash or a kill waits for nothing. Only putInPlace takes
        // the mark back. While it is marked nobody can open it by name.
        markedForDeletion_ = markForDeletion(handle_.get(), true);
    }
    return owned_;
}

bool PartialFile::resumeAt(std::uint64_t bytes) {
    settle();
    if (!owned_ || !handle_ || failed_ || !hash_) {
        return false;
    }
    LARGE_INTEGER size{};
    LARGE_INTEGER start{};
    if (!GetFileSizeEx(handle_.get(), &size) || static_cast<std::uint64_t>(size.QuadPart) < bytes ||
        !SetFilePointerEx(handle_.get(), start, nullptr, FILE_BEGIN)) {
        return false;
    }
    // The digest is rebuilt from what is on the disk, not from what this run
    // remembers writing: the final check covers the bytes that will be
    // started, whatever happened to the file in between.
    auto hash = std::make_unique<Sha256Stream>();
    std::uint64_t read = 0;
    if (!hashFromFile(handle_.get(), bytes, *hash, read) || read != bytes) {
        return false;
    }
    // Anything after the part that counts goes: the rest is written anew.
    if (!SetEndOfFile(handle_.get())) {
        return false;
    }
    hash_ = std::move(hash);
    return true;
}

bool PartialFile::restart() {
    settle();
    if (!owned_ || !handle_) {
        failed_ = true;
        return false;
    }
    LARGE_INTEGER start{};
    if (!SetFilePointerEx(handle_.get(), start, nullptr, FILE_BEGIN) ||
        !SetEndOfFile(handle_.get())) {
        failed_ = true;
        return false;
    }
    hash_ = std::make_unique<Sha256Stream>();
    digest_.clear();
    failed_ = false;
    if (behind_) {
        behind_->forgetFailure();
    }
    return true;
}

bool PartialFile::writeBehind() {
    if (!owned_ || behind_) {
        return static_cast<bool>(behind_);
    }
    behind_ = std::make_unique<WriteBehind>(*this);
    if (!behind_->start()) {
        behind_.reset();
        return false;
    }
    return true;
}

void PartialFile::settle() {
    if (behind_) {
        behind_->settle();
        failed_ = failed_ || behind_->failed();
    }
}

void PartialFile::drain() {
    if (behind_) {
        behind_->finish();
        failed_ = failed_ || behind_->failed();
        behind_.reset();
    }
}

bool PartialFile::finishWriting() {
    drain();
    return !failed_;
}

bool PartialFile::write(const void* data, std::uint64_t length) {
    if (behind_) {
        if (failed_ || behind_->failed()) {
            failed_ = true;
            return false;
        }
        behind_->append(static_cast<const std::uint8_t*>(data), length);
        return true;
    }
    return writeNow(data, length);
}

bool PartialFile::writeNow(const void* data, std::uint64_t length) {
    if (failed_ || !hash_) {
        failed_ = true;
        return false;
    }
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    while (length > 0) {
        // WriteFile takes 32-bit counts.
        const DWORD piece = length > (1u << 30) ? (1u << 30) : static_cast<DWORD>(length);
        DWORD written = 0;
        if (!WriteFile(handle_.get(), bytes, piece, &written, nullptr) || written != piece) {
            failed_ = true;
            return false;
        }
        if (!hash_->update(bytes, piece)) {
            failed_ = true;  // no digest could be had, so nothing can pass the check
            return false;
        }
        bytes += piece;
        length -= piece;
    }
    return true;
}

std::string PartialFile::sha256Hex() {
    drain();
    if (hash_) {
        Bytes digest;
        std::string error;
        LARGE_INTEGER size{};
        if (handle_ && GetFileSizeEx(handle_.get(), &size) && size.QuadPart > 0 &&
            hash_->finish(digest, error)) {
            digest_ = toHex(digest);
        }
        hash_.reset();  // spent either way: the digest (or none) stays
    }
    return digest_;
}

PlacedInstaller PartialFile::putInPlace(const std::wstring& installerPath) {
    PlacedInstaller placed;
    drain();
    if (!owned_ || !handle_) {
        placed.error = ERROR_INVALID_HANDLE;
        return placed;
    }
    // The installer must outlive the handle, so the mark goes first: a
    // rename of a file marked for deletion would leave it to vanish at the
    // close, and what Windows allows a marked file is fine print better not
    // relied on.
    if (markedForDeletion_ && !markForDeletion(handle_.get(), false)) {
        placed.error = GetLastError();
        return placed;  // still marked: deleted when the owner ends
    }
    markedForDeletion_ = false;
    if (!renameThrough(handle_.get(), installerPath)) {
        placed.error = GetLastError();
        // Marked again, so that the system deletes it when the owner ends.
        markedForDeletion_ = markForDeletion(handle_.get(), true);
        return placed;
    }
    placed.renamed = true;
    owned_ = false;  // the installer now: it stays, whatever happens next
    path_ = installerPath;
    // The hold, from this handle rather than by name, so that it is the very
    // file written and hashed and need not be read again. It cannot be had
    // while this handle (which may write) is open, since it shares reading
    // only; so a read-only handle that shares everything bridges the two for
    // a moment. Only the user, SYSTEM and Administrators can reach the
    // private folder in that moment.
    const FileHandle bridge(ReOpenFile(handle_.get(), GENERIC_READ, kShareAll, 0));
    if (!bridge) {
        placed.error = GetLastError();
        return placed;
    }
    handle_.reset();
    placed.held.reset(ReOpenFile(bridge.get(), GENERIC_READ, FILE_SHARE_READ, 0));
    placed.error = placed.held ? 0 : GetLastError();
    return placed;
}

}  // namespace orva
