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

}  // namespace orva
