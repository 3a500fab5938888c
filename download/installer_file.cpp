#include "download/installer_file.h"

#include <windows.h>

#include <algorithm>
#include <cstring>
#include <limits>
#include <memory>

#include "common/text.h"
#include "download/file_system.h"
#include "signing/crypto.h"
#include "signing/encoding.h"

namespace orva {
namespace {

// GetTempPathW's buffer: MAX_PATH units and the terminating zero.
constexpr DWORD kTempPathBufferChars = MAX_PATH + 1;

// Files are hashed in pieces of this size.
constexpr DWORD kHashPieceBytes = 1 << 20;

// Adds up to |limit| bytes of |file|, read from its current position in
// pieces of kHashPieceBytes, to |stream|; |total| is how many it added, fewer
// when the file ends first. False when a read or the hash fails.
bool hashFromFile(HANDLE file, std::uint64_t limit, Sha256Stream& stream, std::uint64_t& total) {
    const auto buffer = std::make_unique<std::uint8_t[]>(kHashPieceBytes);
    total = 0;
    while (total < limit) {
        const auto wanted =
            static_cast<DWORD>(std::min<std::uint64_t>(limit - total, kHashPieceBytes));
        DWORD read = 0;
        if (!ReadFile(file, buffer.get(), wanted, &read, nullptr)) {
            return false;
        }
        if (read == 0) {
            break;
        }
        if (!stream.update(buffer.get(), read)) {
            return false;
        }
        total += read;
    }
    return true;
}

}  // namespace

bool temporaryFolder(std::wstring& folder) {
    wchar_t buffer[kTempPathBufferChars] = {};
    const DWORD length = GetTempPathW(kTempPathBufferChars, buffer);
    if (length < 1 || length > MAX_PATH) {
        return false;
    }
    folder.assign(buffer, length);
    return true;
}

std::wstring joinPath(const std::wstring& folder, const std::wstring& name) {
    if (folder.empty()) {
        return name;
    }
    if (name.empty()) {
        return folder;
    }
    if (folder.back() == L'\\' || folder.back() == L'/') {
        return folder + name;
    }
    return joinText({folder, L"\\", name});
}

std::wstring installerPathFor(const std::wstring& folder, const ReleaseInfo& release) {
    return joinPath(folder, joinText({L"Orva-Setup-", utf8ToWide(release.version), L".exe"}));
}

std::wstring partialPathFor(const std::wstring& installerPath, const std::wstring& hex) {
    return joinText({installerPath, L".", hex, L".part"});
}

std::wstring formatMegabytes(std::uint64_t bytes) {
    // bytes / 2^20 to one decimal, rounded to the nearest tenth and an exact
    // half to the even tenth, as printf's "%.1f" rounds the exact quotient. In
    // integers, so that no printf (which costs the executable tens of
    // kilobytes) and no locale is involved.
    constexpr std::uint64_t kMegabyte = 1 << 20;
    const std::uint64_t scaledFraction = (bytes % kMegabyte) * 10;  // below 10 * 2^20
    std::uint64_t tenths = bytes / kMegabyte * 10 + scaledFraction / kMegabyte;
    const std::uint64_t remainder = scaledFraction % kMegabyte;
    if (remainder > kMegabyte / 2 || (remainder == kMegabyte / 2 && tenths % 2 == 1)) {
        ++tenths;
    }
    std::wstring text;
    for (std::uint64_t whole = tenths / 10; text.empty() || whole > 0; whole /= 10) {
        text.insert(text.begin(), static_cast<wchar_t>(L'0' + whole % 10));
    }
    text += L'.';
    text += static_cast<wchar_t>(L'0' + tenths % 10);
    text += L" MB";
    return text;
}

std::string fileSha256Hex(const std::wstring& path) {
    const FileHandle file(CreateFileW(path.c_str(), GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING,
                                      FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    return file ? handleSha256Hex(file.get()) : std::string();
}

std::string handleSha256Hex(HANDLE file) {
    LARGE_INTEGER start{};
    if (!SetFilePointerEx(file, start, nullptr, FILE_BEGIN)) {
        return {};
    }
    Sha256Stream stream;
    std::uint64_t total = 0;
    if (!hashFromFile(file, std::numeric_limits<std::uint64_t>::max(), stream, total)) {
        return {};
    }
    Bytes digest;
    std::string error;
    if (total == 0 || !stream.finish(digest, error)) {
        return {};
    }
    return toHex(digest);
}

FileHandle openVerifiedCopy(const std::wstring& path, const ReleaseInfo& release) {
    // Without FILE_FLAG_BACKUP_SEMANTICS a folder does not open. By name, so
    // a scanner that has the file open for a moment is waited out.
    FileHandle file;
    retryWhileBusy([&] {
        file.reset(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                               FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
        return static_cast<bool>(file);
    });
    LARGE_INTEGER size{};
    if (!file || !GetFileSizeEx(file.get(), &size) ||
        static_cast<std::uint64_t>(size.QuadPart) != release.size ||
        handleSha256Hex(file.get()) != release.sha256) {
        return FileHandle();
    }
    return file;
}

bool isVerifiedCopy(const std::wstring& path, const ReleaseInfo& release) {
    return static_cast<bool>(openVerifiedCopy(path, release));
}

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
        if (filled_ > 0) {
            handOver();
        }
        WaitForSingleObject(free_.get(), INFINITE);
        stopping_ = true;
        SetEvent(ready_.get());
        WaitForSingleObject(thread_.get(), INFINITE);
        thread_.reset();
    }

    // A write of the thread's has failed; read after a hand-over or finish.
    bool failed() const { return failed_; }

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
    drain();
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
    drain();
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

void reportProgress(DownloadState& state, const ReleaseInfo& release, RunReporter& reporter) {
    // size >= receivedBytes here, and size <= 4,000,000,000 keeps the product
    // far inside 64 bits.
    const auto permille = static_cast<std::int32_t>(state.receivedBytes * 1000 / release.size);
    if (permille != state.lastPermille) {
        state.lastPermille = permille;
        reporter.progress(static_cast<std::uint32_t>(permille),
                          joinText({formatMegabytes(state.receivedBytes), L" of ",
                                    formatMegabytes(release.size)}));
    }
}

namespace {

// Reads a decimal number at |text|[i...], leading zeros allowed, up to the
// first character that is not a digit; false when there is no digit or the
// value does not fit in 64 bits.
bool readNumber(std::string_view text, std::size_t& i, std::uint64_t& value) {
    const std::size_t first = i;
    value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        const auto digit = static_cast<std::uint64_t>(text[i] - '0');
        if (value > (std::numeric_limits<std::uint64_t>::max() - digit) / 10) {
            return false;
        }
        value = value * 10 + digit;
    }
    return i > first;
}

}  // namespace

bool isRangeOfTheRest(std::string_view contentRange, std::uint64_t from, std::uint64_t size) {
    constexpr std::string_view kUnit = "bytes ";
    if (size == 0 || from >= size || contentRange.size() < kUnit.size()) {
        return false;
    }
    for (std::size_t k = 0; k < kUnit.size(); ++k) {
        const char c = contentRange[k];
        if ((c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c) != kUnit[k]) {
            return false;
        }
    }
    std::size_t i = kUnit.size();
    std::uint64_t first = 0;
    std::uint64_t last = 0;
    std::uint64_t total = 0;
    if (!readNumber(contentRange, i, first) || i >= contentRange.size() ||
        contentRange[i++] != '-' || !readNumber(contentRange, i, last) ||
        i >= contentRange.size() || contentRange[i++] != '/' ||
        !readNumber(contentRange, i, total) || i != contentRange.size()) {
        return false;
    }
    return first == from && last == size - 1 && total == size;
}

HttpDataCallback makeDownloadCallback(DownloadState& state, const ReleaseInfo& release,
                                      PartialFile& file, RunReporter& reporter) {
    return [&state, &release, &file, &reporter](const std::uint8_t* data, std::uint64_t length,
                                                std::uint64_t /*contentLength*/) {
        if (reporter.stopRequested()) {
            return false;
        }
        if (length == 0) {
            return true;  // nothing to write or count
        }
        if (state.receivedBytes + length > release.size) {
            state.tooLarge = true;
            return false;
        }
        if (!file.write(data, length)) {
            state.writeFailed = true;
            return false;
        }
        state.receivedBytes += length;
        reportProgress(state, release, reporter);
        return true;
    };
}

bool isGoodDownload(const DownloadState& state, const ReleaseInfo& release, PartialFile& file) {
    return !state.tooLarge && state.receivedBytes == release.size &&
           file.sha256Hex() == release.sha256;
}

}  // namespace orva
