#include "app/single_instance.h"

#include <windows.h>

#include "app/window_contract.h"
#include "common/current_user.h"
#include "common/text.h"

namespace orva {

std::wstring singleInstanceName(const std::wstring& userSid) {
    return joinText({L"Local\\Orva Setup ", userSid});
}

bool claimSingleInstance() {
    const CurrentUser user = currentUser();
    if (user.sid.empty()) {
        return true;
    }
    // Held, never closed: the system releases it when the process ends,
    // however it ends.
    const HANDLE claim = CreateMutexW(nullptr, FALSE, singleInstanceName(user.sid).c_str());
    if (claim != nullptr && GetLastError() == ERROR_ALREADY_EXISTS) {
        CloseHandle(claim);
        return false;
    }
    return true;
}

void showRunningInstance(unsigned patienceMs) {
    constexpr unsigned kPollMs = 50;
    for (unsigned waited = 0;; waited += kPollMs) {
        const HWND window = FindWindowW(kWindowClassName, nullptr);
        if (window != nullptr) {
            // This process was just started by the user, so it may set the
            // foreground window; it passes that right to the other process
            // too, for what it shows next.
            DWORD process = 0;
            GetWindowThreadProcessId(window, &process);
            AllowSetForegroundWindow(process);
            if (IsIconic(window)) {
                ShowWindow(window, SW_RESTORE);
            }
            SetForegroundWindow(window);
            return;
        }
        if (waited >= patienceMs) {
            return;
        }
        Sleep(kPollMs);
    }
}

}  // namespace orva
