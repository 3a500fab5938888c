// Watches and drives Orva Setup's window for scripts/demo.sh, from inside the
// same Wine session, the way a user would: it reads what the window shows and
// presses its buttons. No coordinates are guessed; the controls are found by
// their ids.
//
//   orva-demo-control wait-failure TIMEOUT_MS    the failure screen is shown
//   orva-demo-control wait-progress TIMEOUT_MS   the download is under way
//   orva-demo-control press-try-again            as a click on "Try Again"
//   orva-demo-control wait-gone TIMEOUT_MS       Orva Setup's window is gone
//   orva-demo-control wait-installer TIMEOUT_MS  the demo installer's message is shown
//   orva-demo-control close-installer            closes that message
//
// A wait prints what the window shows once the state is reached:
//   geometry WxH+X+Y   the window's rectangle on the screen, frame included
//   status TEXT        the status line (Orva Setup) or the message (installer)
//   detail TEXT        the detail line (Orva Setup)
// Exit status: 0 done, 1 the state was not reached in time (or the window to
// press is missing, or the failure screen came instead of the progress), 2 a
// usage error.

#include <windows.h>
// windows.h must come first.
#include <commctrl.h>

#include <cstdlib>
#include <string>
#include <string_view>

#include "app/window_contract.h"
#include "common/text.h"

namespace {

constexpr wchar_t kDialogClass[] = L"#32770";
constexpr wchar_t kInstallerTitle[] = L"Orva demo installer";

using orva::kIdDetailLabel;
using orva::kIdProgressBar;
using orva::kIdStatusLabel;
using orva::kIdTryAgainButton;
// The text of a message box.
constexpr int kIdMessageText = 0xFFFF;

// The progress, in thousandths, that counts as "under way": far enough from
// the start that the bar shows, far enough from the end to be seen.
constexpr LRESULT kProgressShown = 300;
constexpr LRESULT kProgressDone = 900;

constexpr DWORD kPollMs = 25;
constexpr UINT kSendTimeoutMs = 2000;

void write(std::string_view text) {
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), text.data(), static_cast<DWORD>(text.size()),
              &written, nullptr);
}

// Asks the control itself (it belongs to another process), with a time-out,
// so that a hung window cannot hang the script.
std::wstring controlText(HWND control) {
    DWORD_PTR length = 0;
    if (control == nullptr || SendMessageTimeoutW(control, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG,
                                                  kSendTimeoutMs, &length) == 0) {
        return {};
    }
    std::wstring text(length + 1, L'\0');
    DWORD_PTR copied = 0;
    if (SendMessageTimeoutW(control, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()),
                            SMTO_ABORTIFHUNG, kSendTimeoutMs, &copied) == 0) {
        return {};
    }
    text.resize(copied);
    return text;
}

LRESULT progressPosition(HWND bar) {
    DWORD_PTR position = 0;
    if (SendMessageTimeoutW(bar, PBM_GETPOS, 0, 0, SMTO_ABORTIFHUNG, kSendTimeoutMs, &position) ==
        0) {
        return -1;
    }
    return static_cast<LRESULT>(position);
}

// One line per text; line breaks inside a text become spaces.
void printLine(std::string_view key, std::wstring_view text) {
    std::string line = orva::wideToUtf8(text);
    for (char& c : line) {
        if (c == '\r' || c == '\n') {
            c = ' ';
        }
    }
    write(std::string(key) + " " + line + "\n");
}

void printGeometry(HWND window) {
    RECT rect;
    GetWindowRect(window, &rect);
    write("geometry " + std::to_string(rect.right - rect.left) + "x" +
          std::to_string(rect.bottom - rect.top) + "+" + std::to_string(rect.left) + "+" +
          std::to_string(rect.top) + "\n");
}

HWND setupWindow() {
    return FindWindowW(orva::kWindowClassName, nullptr);
}
HWND installerWindow() {
    return FindWindowW(kDialogClass, kInstallerTitle);
}

bool isShown(HWND window) {
    return window != nullptr && IsWindowVisible(window);
}

bool failureShown(HWND window) {
    return isShown(window) && isShown(GetDlgItem(window, kIdTryAgainButton));
}

bool progressShown(HWND window) {
    if (!isShown(window)) {
        return false;
    }
    HWND bar = GetDlgItem(window, kIdProgressBar);
    if (!isShown(bar)) {
        return false;
    }
    const LRESULT position = progressPosition(bar);
    return position >= kProgressShown && position < kProgressDone;
}

void printSetup(HWND window) {
    printGeometry(window);
    printLine("status", controlText(GetDlgItem(window, kIdStatusLabel)));
    printLine("detail", controlText(GetDlgItem(window, kIdDetailLabel)));
}

// Polls |reached| until it holds or |timeoutMs| has passed.
template <typename Condition>
bool waitFor(DWORD timeoutMs, Condition reached) {
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    for (;;) {
        if (reached()) {
            return true;
        }
        if (GetTickCount64() >= deadline) {
            return false;
        }
        Sleep(kPollMs);
    }
}

int usage() {
    write(
        "usage: orva-demo-control wait-failure|wait-progress|wait-gone|wait-installer TIMEOUT_MS\n"
        "       orva-demo-control press-try-again|close-installer\n");
    return 2;
}

int timedOut(std::string_view what) {
    write("timeout " + std::string(what) + "\n");
    return 1;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    // Window rectangles in the screen's own pixels.
    SetProcessDPIAware();
    if (argc < 2) {
        return usage();
    }
    const std::wstring_view command = argv[1];
    DWORD timeoutMs = 0;
    if (command.starts_with(L"wait-")) {
        if (argc != 3) {
            return usage();
        }
        timeoutMs = static_cast<DWORD>(std::wcstoul(argv[2], nullptr, 10));
    } else if (argc != 2) {
        return usage();
    }

    if (command == L"wait-failure") {
        if (!waitFor(timeoutMs, [] { return failureShown(setupWindow()); })) {
            return timedOut("the failure screen");
        }
        printSetup(setupWindow());
        return 0;
    }
    if (command == L"wait-progress") {
        bool failed = false;
        if (!waitFor(timeoutMs, [&failed] {
                HWND window = setupWindow();
                failed = failureShown(window);
                return failed || progressShown(window);
            })) {
            return timedOut("the download's progress");
        }
        printSetup(setupWindow());
        if (failed) {
            write("failed\n");
            return 1;
        }
        return 0;
    }
    if (command == L"wait-gone") {
        if (!waitFor(timeoutMs, [] { return setupWindow() == nullptr; })) {
            return timedOut("the end of Orva Setup's window");
        }
        return 0;
    }
    if (command == L"wait-installer") {
        if (!waitFor(timeoutMs, [] { return isShown(installerWindow()); })) {
            return timedOut("the demo installer");
        }
        HWND window = installerWindow();
        printGeometry(window);
        printLine("status", controlText(GetDlgItem(window, kIdMessageText)));
        return 0;
    }
    if (command == L"press-try-again") {
        HWND window = setupWindow();
        HWND button = GetDlgItem(window, kIdTryAgainButton);
        if (!isShown(button)) {
            write("\"Try Again\" is not shown\n");
            return 1;
        }
        // What the button sends its parent when it is clicked. Sent, not
        // posted: once it returns, the window has started the new run and
        // hidden the button, so a following wait-failure sees only the
        // outcome of that run.
        DWORD_PTR result = 0;
        if (SendMessageTimeoutW(window, WM_COMMAND, MAKEWPARAM(kIdTryAgainButton, BN_CLICKED),
                                reinterpret_cast<LPARAM>(button), SMTO_ABORTIFHUNG, kSendTimeoutMs,
                                &result) == 0) {
            write("the window did not take the click\n");
            return 1;
        }
        return 0;
    }
    if (command == L"close-installer") {
        HWND window = installerWindow();
        if (window == nullptr) {
            write("the demo installer's message is not shown\n");
            return 1;
        }
        PostMessageW(window, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
        return 0;
    }
    return usage();
}
