#include "common/current_user.h"

// clang-format off
#include <windows.h>
#include <sddl.h>  // needs <windows.h> first
// clang-format on

#include <cstdint>

#include "common/win32_handles.h"

namespace orva {

CurrentUser currentUser() {
    CurrentUser user;
    KernelHandle token;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.put())) {
        return user;
    }
    alignas(TOKEN_USER) std::uint8_t buffer[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE] = {};
    DWORD length = 0;
    if (!GetTokenInformation(token.get(), TokenUser, buffer, sizeof buffer, &length)) {
        return user;
    }
    PSID sid = reinterpret_cast<TOKEN_USER*>(buffer)->User.Sid;
    LocalText text;
    if (!ConvertSidToStringSidW(sid, text.put())) {
        return user;
    }
    user.sid = text.get();
    const auto* first = static_cast<const std::uint8_t*>(sid);
    user.sidBytes.assign(first, first + GetLengthSid(sid));
    TOKEN_ELEVATION elevation{};
    user.elevated =
        GetTokenInformation(token.get(), TokenElevation, &elevation, sizeof elevation, &length) &&
        elevation.TokenIsElevated != 0;
    return user;
}

}  // namespace orva
