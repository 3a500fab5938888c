#pragma once

// Helpers for the tests that drive the real main window in-process, under Wine
// and a virtual display.

#include <windows.h>

#include <functional>
#include <ostream>
#include <string>

namespace orva::testing {

// Makes the process DPI-aware, as the entry does, and creates the main window
// unless it exists. Fails the calling test when it cannot. Replaces the real
// download() in g_runFunction by a run that fails the test that starts it;
// a test that starts runs scripts its own afterwards.
void ensureMainWindow();

// Delivers every message waiting in this thread's queue the way the program's
// message loop does (IsDialogMessageW first). Returns true when a WM_QUIT was
// among them; the quit message itself is dropped so that later tests can go
// on, and counted in quitMessagesSeen().
bool pumpMessages();

// How many WM_QUIT messages pumpMessages has dropped so far.
int quitMessagesSeen();

// Pumps messages until |done| holds, waking for each new message, a signal of
// |event| (may be null) or a short interval. Fails the calling test when |done| still does not
// hold after a minute: a guard against hanging the suite, not a timing check.
void pumpUntil(const std::function<bool()>& done, HANDLE event = nullptr);

std::wstring windowText(HWND window);

// The main window's control with the id |id| (window_contract.h).
HWND control(int id);

// |control|'s rectangle in the main window's client coordinates.
RECT rectInClient(HWND control);

// The font a control draws with (WM_GETFONT) or any font handle, as LOGFONT.
LOGFONTW fontOf(HFONT font);

// What the window shows; compared whole, so a test sees every control.
struct Screen {
    std::wstring status, detail, right;
    bool progressVisible, tryAgainVisible;
    LRESULT progress;

    static Screen now();
    bool operator==(const Screen&) const = default;
};

void PrintTo(const Screen& screen, std::ostream* out);

}  // namespace orva::testing
