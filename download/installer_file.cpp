#include "download/installer_file.h"

#include <memory>

#include "common/text.h"
#include "signing/crypto.h"
#include "signing/encoding.h"

namespace orva {
namespace {

// GetTempPathW's buffer: MAX_PATH units and the terminating zero.
constexpr DWORD kTempPathBufferChars = MAX_PATH + 1;

// Files are hashed in pieces of this size.
constexpr DWORD kHashPieceBytes = 1 << 20;

// Other processes may read, write, rename or delete the file while it is open.
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

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
    if (!file) {
        return {};
    }
    const auto buffer = std::make_unique<std::uint8_t[]>(kHashPieceBytes);
    Sha256Stream stream;
    std::uint64_t total = 0;
    for (;;) {
        DWORD read = 0;
        if (!ReadFile(file.get(), buffer.get(), kHashPieceBytes, &read, nullptr)) {
            return {};
        }
        if (read == 0) {
            break;
        }
        if (!stream.update(buffer.get(), read)) {
            return {};
        }
        total += read;
    }
    Bytes digest;
    std::string error;
    if (total == 0 || !stream.finish(digest, error)) {
        return {};
    }
    return toHex(digest);
}

bool isVerifiedCopy(const std::wstring& path, const ReleaseInfo& release) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        return false;
    }
    WIN32_FILE_ATTRIBUTE_DATA data = {};
    std::uint64_t size = 0;
    if (GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) {
        size = (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    }
    return size == release.size && fileSha256Hex(path) == release.sha256;
}

PartialFile::~PartialFile() {
    close();
    if (!path_.empty()) {
        DeleteFileW(path_.c_str());
    }
}

bool PartialFile::open(const std::wstring& path) {
    close();
    path_.clear();
    handle_.reset(CreateFileW(path.c_str(), GENERIC_WRITE, kShareAll, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr));
    failed_ = !handle_;
    if (!failed_) {
        path_ = path;  // ours to delete from now on
    }
    return !failed_;
}

bool PartialFile::write(const void* data, std::uint64_t length) {
    if (failed_) {
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
        bytes += piece;
        length -= piece;
    }
    return true;
}

void PartialFile::close() {
    handle_.reset();
}

bool PartialFile::putInPlace(const std::wstring& installerPath) {
    close();
    DeleteFileW(installerPath.c_str());
    if (!MoveFileW(path_.c_str(), installerPath.c_str())) {
        return false;
    }
    path_.clear();  // the installer now; nothing to clean up
    return true;
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
        // size >= receivedBytes >= 1 here, and size <= 4,000,000,000 keeps the
        // product far inside 64 bits.
        const auto permille = static_cast<std::int32_t>(state.receivedBytes * 1000 / release.size);
        if (permille != state.lastPermille) {
            state.lastPermille = permille;
            reporter.progress(static_cast<std::uint32_t>(permille),
                              joinText({formatMegabytes(state.receivedBytes), L" of ",
                                        formatMegabytes(release.size)}));
        }
        return true;
    };
}

bool isGoodDownload(const DownloadState& state, const ReleaseInfo& release,
                    const std::wstring& partPath) {
    return !state.tooLarge && state.receivedBytes == release.size &&
           fileSha256Hex(partPath) == release.sha256;
}

}  // namespace orva
