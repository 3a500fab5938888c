#include "download/file_system.h"

// clang-format off
#include <windows.h>
#include <bcrypt.h>  // needs <windows.h> first
// clang-format on

#include <cstdint>

#include "common/bytes.h"
#include "common/text.h"
#include "signing/encoding.h"

namespace orva {

bool randomHex(std::wstring& text) {
    std::uint8_t bytes[8] = {};
    if (BCryptGenRandom(nullptr, bytes, sizeof bytes, BCRYPT_USE_SYSTEM_PREFERRED_RNG) != 0) {
        return false;
    }
    text = asciiToWide(toHex(Bytes(bytes, bytes + sizeof bytes)));
    return true;
}

bool markForDeletion(HANDLE file, bool pending) {
    FILE_DISPOSITION_INFO disposition{};
    disposition.DeleteFile = pending ? TRUE : FALSE;
    return SetFileInformationByHandle(file, FileDispositionInfo, &disposition,
                                      sizeof disposition) != 0;
}

bool retryWhileBusy(const std::function<bool()>& step) {
    DWORD wait = 20;
    for (int attempt = 1;; ++attempt, wait *= 2) {
        if (step()) {
            return true;
        }
        const DWORD error = GetLastError();
        if (attempt == kBusyAttempts ||
            (error != ERROR_SHARING_VIOLATION && error != ERROR_ACCESS_DENIED)) {
            return false;
        }
        Sleep(wait);
        SetLastError(error);
    }
}

}  // namespace orva
