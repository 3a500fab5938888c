// The scripted run of entry_probe.exe, which is the program's real entry
// (main.cpp) and window; entry_test starts it. ORVA_PROBE_SCRIPT picks what
// happens:
//   fail       the run posts a failure and returns
//   block      the run posts the status "Blocked" and never returns
//   no-window  the main window cannot be created (a CBT hook refuses it)

#include <windows.h>

#include <string>

#include "app/app_state.h"

namespace {

std::wstring script() {
    wchar_t value[32] = {};
    const DWORD length = GetEnvironmentVariableW(L"ORVA_PROBE_SCRIPT", value, 32);
    return length < 32 ? std::wstring(value, length) : std::wstring();
}

LRESULT CALLBACK refuseWindows(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HCBT_CREATEWND) {
        return 1;  // CreateWindowExW fails
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

// Installed on the main thread before wWinMain runs.
const bool g_windowsRefused =
    script() == L"no-window" &&
    SetWindowsHookExW(WH_CBT, refuseWindows, nullptr, GetCurrentThreadId()) != nullptr;

void scriptedRun(orva::RunReporter& reporter) {
    const std::wstring what = script();
    if (what == L"block") {
        reporter.status(L"Blocked");
        Sleep(INFINITE);
    } else if (what == L"fail") {
        reporter.failed(L"Scripted failure.");
    } else {
        ExitProcess(42);  // no run may start without a window
    }
}

// In place of download(), before wWinMain runs.
const bool g_runScripted = (orva::g_runFunction = scriptedRun, true);

}  // namespace
