// The ways the process ends, seen from outside: entry_probe.exe is the real
// entry and window with a scripted download() (entry_probe.cpp).

#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "app/window_contract.h"

namespace {

using orva::kWindowClassName;

std::wstring windowText(HWND window) {
    wchar_t text[256] = {};
    const int length = GetWindowTextW(window, text, 256);
    return std::wstring(text, static_cast<std::size_t>(length > 0 ? length : 0));
}

struct Probe {
    PROCESS_INFORMATION process = {};

    explicit Probe(const wchar_t* script) {
        wchar_t path[MAX_PATH];
        const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
        std::wstring program(path, length);
        program.replace(program.find_last_of(L'\\') + 1, std::wstring::npos, L"entry_probe.exe");
        SetEnvironmentVariableW(L"ORVA_PROBE_SCRIPT", script);
        STARTUPINFOW startup = {};
        startup.cb = sizeof startup;
        std::wstring commandLine = L"\"" + program + L"\"";
        EXPECT_TRUE(CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0,
                                   nullptr, nullptr, &startup, &process))
            << GetLastError();
    }
    ~Probe() {
        if (process.hProcess != nullptr) {
            TerminateProcess(process.hProcess, 99);  // only when a test failed early
            CloseHandle(process.hProcess);
            CloseHandle(process.hThread);
        }
    }
    Probe(const Probe&) = delete;
    Probe& operator=(const Probe&) = delete;

    // The probe's main window once its status label reads |status| (the
    // first characters suffice); null, and the test failed, when that does not
    // happen within a minute (a guard against hanging, not a timing check).
    HWND windowShowing(const std::wstring& status) const {
        for (int tries = 0; tries < 6000; ++tries) {
            HWND window = nullptr;
            while ((window = FindWindowExW(nullptr, window, kWindowClassName, nullptr))) {
                DWORD owner = 0;
                GetWindowThreadProcessId(window, &owner);
                if (owner == process.dwProcessId &&
                    windowText(GetDlgItem(window, 100)).starts_with(status)) {
                    return window;
                }
            }
            if (WaitForSingleObject(process.hProcess, 10) == WAIT_OBJECT_0) {
                break;
            }
        }
        ADD_FAILURE() << "the probe never showed a status starting with "
                      << ::testing::PrintToString(status);
        return nullptr;
    }

    // The exit code once the process has ended; 259 (still active) when it
    // has not ended within a minute.
    DWORD exitCode() {
        EXPECT_EQ(WaitForSingleObject(process.hProcess, 60'000), WAIT_OBJECT_0)
            << "the probe did not end";
        DWORD code = STILL_ACTIVE;
        GetExitCodeProcess(process.hProcess, &code);
        CloseHandle(process.hProcess);
        CloseHandle(process.hThread);
        process = {};
        return code;
    }
};

// Cancel and the close box during a run: the run never ends by itself here,
// so the process must end without waiting for it.
TEST(Entry, ClosingDuringARunEndsTheProcessWithoutWaitingForIt) {
    struct Case {
        const char* name;
        UINT message;
        WPARAM wParam;
    };
    const Case cases[] = {{"Cancel", WM_COMMAND, MAKEWPARAM(104, BN_CLICKED)},
                          {"close box", WM_CLOSE, 0}};
    for (const Case& row : cases) {
        SCOPED_TRACE(row.name);
        Probe probe(L"block");
        HWND window = probe.windowShowing(L"Blocked");
        ASSERT_NE(window, nullptr);
        PostMessageW(window, row.message, row.wParam, 0);
        EXPECT_EQ(probe.exitCode(), 0u);
    }
}

// "Close" on the failure screen: the finished run's thread is joined and the
// process exits normally.
TEST(Entry, CloseAfterAFailureEndsTheProcess) {
    Probe probe(L"fail");
    HWND window = probe.windowShowing(L"Orva could not be downloaded. Scripted failure.");
    ASSERT_NE(window, nullptr);
    PostMessageW(window, WM_COMMAND, MAKEWPARAM(104, BN_CLICKED), 0);
    EXPECT_EQ(probe.exitCode(), 0u);
}

// A second start while the first runs (a double click taken twice) brings
// the first window to the front, restored, and ends with 0 without a window
// of its own; once the first has ended, a start runs again.
TEST(Entry, ASecondStartShowsTheFirstWindowAndEnds) {
    Probe first(L"block");
    HWND window = first.windowShowing(L"Blocked");
    ASSERT_NE(window, nullptr);
    ShowWindow(window, SW_MINIMIZE);
    // Something else in front, as when the user has gone on working.
    HWND other = CreateWindowExW(0, L"STATIC", L"another program", WS_OVERLAPPEDWINDOW | WS_VISIBLE,
                                 0, 0, 200, 100, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(other, nullptr);
    SetForegroundWindow(other);
    ASSERT_EQ(GetForegroundWindow(), other);

    Probe second(L"block");
    EXPECT_EQ(second.exitCode(), 0u);
    int windows = 0;
    for (HWND found = nullptr;
         (found = FindWindowExW(nullptr, found, kWindowClassName, nullptr));) {
        ++windows;
    }
    EXPECT_EQ(windows, 1);
    EXPECT_EQ(GetForegroundWindow(), window);
    EXPECT_FALSE(IsIconic(window));
    DestroyWindow(other);

    PostMessageW(window, WM_COMMAND, MAKEWPARAM(104, BN_CLICKED), 0);
    EXPECT_EQ(first.exitCode(), 0u);
    Probe third(L"block");
    HWND again = third.windowShowing(L"Blocked");
    ASSERT_NE(again, nullptr) << "the claim went with the first process";
    PostMessageW(again, WM_COMMAND, MAKEWPARAM(104, BN_CLICKED), 0);
    EXPECT_EQ(third.exitCode(), 0u);
}

// No window: exit code 1 and no run (a run would end the probe with 42).
TEST(Entry, NoWindowMeansExitCodeOneAndNoRun) {
    Probe probe(L"no-window");
    EXPECT_EQ(probe.exitCode(), 1u);
}

}  // namespace
