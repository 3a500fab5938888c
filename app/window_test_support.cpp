#include "app/window_test_support.h"

#include <gtest/gtest.h>
#include <windows.h>
// windows.h must come first.
#include <commctrl.h>

#include "app/app_state.h"
#include "app/main_window.h"
#include "download/download.h"

namespace orva::testing {

namespace {
int g_quitMessages = 0;

void unscriptedRun(RunReporter&) {
    ADD_FAILURE() << "a run was started by a test that scripted none";
}
}  // namespace

void ensureMainWindow() {
    if (g_runFunction == static_cast<RunFunction>(download)) {
        g_runFunction = unscriptedRun;  // tests never reach a network by accident
    }
    if (g_mainWindow != nullptr && IsWindow(g_mainWindow)) {
        return;
    }
    SetProcessDPIAware();
    ASSERT_TRUE(createMainWindow());
    pumpMessages();
}

bool pumpMessages() {
    bool quit = false;
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT) {
            quit = true;
            ++g_quitMessages;
            continue;
        }
        if (!IsDialogMessageW(g_mainWindow, &message)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
    }
    return quit;
}

int quitMessagesSeen() {
    return g_quitMessages;
}

void pumpUntil(const std::function<bool()>& done, HANDLE event) {
    const ULONGLONG deadline = GetTickCount64() + 60'000;
    pumpMessages();
    while (!done()) {
        const ULONGLONG now = GetTickCount64();
        if (now >= deadline) {
            ADD_FAILURE() << "gave up waiting after a minute";
            return;
        }
        // Wakes for a message or the event, and every few milliseconds for
        // conditions that nothing signals (a flag the worker clears).
        const DWORD handleCount = event != nullptr ? 1 : 0;
        MsgWaitForMultipleObjects(handleCount, &event, FALSE, 10, QS_ALLINPUT);
        pumpMessages();
    }
}

HWND control(int id) {
    return GetDlgItem(g_mainWindow, id);
}

std::wstring windowText(HWND window) {
    std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(window)) + 1, L'\0');
    const int length = GetWindowTextW(window, text.data(), static_cast<int>(text.size()));
    text.resize(static_cast<std::size_t>(length > 0 ? length : 0));
    return text;
}

RECT rectInClient(HWND control) {
    RECT rect = {};
    GetWindowRect(control, &rect);
    MapWindowPoints(nullptr, g_mainWindow, reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

LOGFONTW fontOf(HFONT font) {
    LOGFONTW description = {};
    EXPECT_EQ(GetObjectW(font, sizeof description, &description),
              static_cast<int>(sizeof description));
    return description;
}

Screen Screen::now() {
    return {windowText(control(kIdStatusLabel)),
            windowText(control(kIdDetailLabel)),
            windowText(control(kIdCancelButton)),
            IsWindowVisible(control(kIdProgressBar)) != FALSE,
            IsWindowVisible(control(kIdTryAgainButton)) != FALSE,
            SendMessageW(control(kIdProgressBar), PBM_GETPOS, 0, 0)};
}

void PrintTo(const Screen& screen, std::ostream* out) {
    *out << "status \"" << ::testing::PrintToString(screen.status) << "\", detail "
         << ::testing::PrintToString(screen.detail) << ", right button "
         << ::testing::PrintToString(screen.right) << ", progress "
         << (screen.progressVisible ? "shown at " : "hidden at ") << screen.progress
         << ", Try Again " << (screen.tryAgainVisible ? "shown" : "hidden");
}

}  // namespace orva::testing
