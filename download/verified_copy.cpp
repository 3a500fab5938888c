#include "download/verified_copy.h"

#include <windows.h>

#include <algorithm>
#include <limits>
#include <memory>

#include "download/file_system.h"
#include "signing/encoding.h"

namespace orva {
namespace {

// Files are hashed in pieces of this size.
constexpr DWORD kHashPieceBytes = 1 << 20;

}  // namespace

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

}  // namespace orva
