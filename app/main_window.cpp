#include "app/main_window.h"

#include <windows.h>
// windows.h must come first.
#include <commctrl.h>

#include <exception>
#include <iterator>
#include <memory>

#include "app/app_state.h"
#include "app/installer_launch.h"
#include "app/screen_text.h"
#include "app/taskbar_progress.h"
#include "app/ui_messages.h"
#include "app/worker.h"
#include "common/text.h"
#include "common/win32_handles.h"

namespace orva {

namespace {

// Layout in pixels at 96 DPI.
constexpr int kClientWidth = 480;
constexpr int kClientHeight = 232;
// The white header band and what it holds, each position the top-left corner.
constexpr int kHeaderHeight = 76;
constexpr int kIconSize = 48;
constexpr int kIconX = 20;
constexpr int kIconY = 14;
constexpr int kTitleX = 84;
constexpr int kTitleY = 18;
// One pixel right of the title, which lines the two texts' strokes up.
constexpr int kSubtitleX = 85;
constexpr int kSubtitleY = 46;
// Font sizes in points.
constexpr int kBodyPoints = 9;
constexpr int kTitlePoints = 18;

constexpr DWORD kFrameStyle = WS_CAPTION | WS_SYSMENU;
// No sizing border and no maximise box: the layout is fixed at creation.
constexpr DWORD kWindowStyle = kFrameStyle | WS_MINIMIZEBOX;

constexpr COLORREF kSeparatorColour = RGB(215, 220, 222);
constexpr COLORREF kTitleColour = RGB(43, 49, 52);
constexpr COLORREF kSubtitleColour = RGB(109, 118, 121);

// Everything the window keeps, created once by createMainWindow and kept
// until the process ends.
struct WindowState {
    float dpiScale = 1.0f;  // system DPI / 96
    HFONT bodyFont = nullptr;
    HFONT titleFont = nullptr;
    HICON headerIcon = nullptr;
    HWND statusLabel = nullptr;
    HWND progressBar = nullptr;
    HWND detailLabel = nullptr;
    HWND tryAgainButton = nullptr;
    HWND cancelButton = nullptr;
    // The run's last progress, which the error state keeps.
    std::uint32_t lastPermille = 0;
    // What the taskbar button shows now, kept so that it can be shown again
    // on a new button.
    TaskbarState taskbarState = TaskbarState::kNone;
    std::uint32_t taskbarPermille = 0;
    // The registered message "TaskbarButtonCreated"; 0 if it could not be had.
    UINT taskbarButtonCreated = 0;
};

WindowState g_window;

// Where each control goes and what it starts as, in creation order, which is
// the tab order: the progress bar directly after the status label that names
// it, the two buttons last.
struct ControlLayout {
    HWND WindowState::*handle;
    const wchar_t* className;
    const wchar_t* text;
    DWORD style;
    int id;
    int x, y, width, height;
};

const ControlLayout kControls[] = {
    {&WindowState::statusLabel, L"STATIC", L"", WS_CHILD | WS_VISIBLE, kIdStatusLabel, 24, 92, 432,
     52},
    {&WindowState::progressBar, PROGRESS_CLASSW, nullptr, WS_CHILD, kIdProgressBar, 24, 148, 432,
     16},
    {&WindowState::detailLabel, L"STATIC", L"", WS_CHILD | WS_VISIBLE | SS_PATHELLIPSIS,
     kIdDetailLabel, 24, 168, 432, 18},
    // Hidden once created: the first screen is the working one.
    {&WindowState::tryAgainButton, L"BUTTON", kTryAgainText,
     WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_DEFPUSHBUTTON, kIdTryAgainButton, 222, 192, 110, 28},
    {&WindowState::cancelButton, L"BUTTON", kCancelText,
     WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON, kIdCancelButton, 346, 192, 110, 28},
};

// A 96-DPI value at the system DPI. Each value is scaled and truncated on its
// own, in single precision, so that every caller agrees on every pixel.
int scaled(int value) {
    return static_cast<int>(g_window.dpiScale * static_cast<float>(value));
}

// A negative height asks for the character height of |points| at the system DPI.
HFONT createUiFont(int points, int weight) {
    const int height =
        static_cast<int>((g_window.dpiScale * static_cast<float>(-points)) * 96.0f / 72.0f);
    return CreateFontW(height, 0, 0, 0, weight, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                       OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, CLEARTYPE_QUALITY,
                       VARIABLE_PITCH | FF_DONTCARE, L"Segoe UI");
}

// Only a change reaches the taskbar: each call is a message to Explorer, and
// progress reports often repeat the permille.
void showOnTaskbar(TaskbarState state) {
    if (state == g_window.taskbarState && g_window.lastPermille == g_window.taskbarPermille) {
        return;
    }
    g_window.taskbarState = state;
    g_window.taskbarPermille = g_window.lastPermille;
    g_taskbar->show(g_mainWindow, state, g_window.lastPermille);
}

// The keyboard focus to one of the two buttons, which also becomes the
// default push button, as the dialog manager does in a dialog: the dialog
// keyboard interface (IsDialogMessageW) presses a focused button on Enter
// only when it is the default one. Space works on any focused button.
void focusButton(HWND button) {
    HWND other =
        button == g_window.tryAgainButton ? g_window.cancelButton : g_window.tryAgainButton;
    SendMessageW(other, BM_SETSTYLE, BS_PUSHBUTTON, TRUE);
    SendMessageW(button, BM_SETSTYLE, BS_DEFPUSHBUTTON, TRUE);
    SetFocus(button);
}

std::unique_ptr<std::wstring> takePayload(LPARAM lParam) {
    return std::unique_ptr<std::wstring>(reinterpret_cast<std::wstring*>(lParam));
}

void onDestroy() {
    g_cancelRequested.exchange(true);
    PostQuitMessage(0);
}

void onPaint(HWND window) {
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(window, &paint);
    RECT client;
    GetClientRect(window, &client);
    const int header = scaled(kHeaderHeight);

    // The whole client area, whatever the update region: the class has no
    // background brush.
    const RECT headerBand = {0, 0, client.right, header};
    FillRect(dc, &headerBand, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    const RECT body = {0, header, client.right, client.bottom};
    FillRect(dc, &body, GetSysColorBrush(COLOR_BTNFACE));

    {
        const GdiObject separator(CreatePen(PS_SOLID, 1, kSeparatorColour));
        HGDIOBJ previousPen = SelectObject(dc, separator.get());
        MoveToEx(dc, 0, header, nullptr);
        LineTo(dc, client.right, header);
        SelectObject(dc, previousPen);  // deselected before its owner deletes it
    }

    if (g_window.headerIcon != nullptr) {
        DrawIconEx(dc, scaled(kIconX), scaled(kIconY), g_window.headerIcon, scaled(kIconSize),
                   scaled(kIconSize), 0, nullptr, DI_NORMAL);
    }

    // The default text alignment: each position is the text's top-left corner.
    SetBkMode(dc, TRANSPARENT);
    HGDIOBJ previousFont = SelectObject(dc, g_window.titleFont);
    SetTextColor(dc, kTitleColour);
    TextOutW(dc, scaled(kTitleX), scaled(kTitleY), kHeaderTitle,
             static_cast<int>(std::size(kHeaderTitle) - 1));
    SelectObject(dc, g_window.bodyFont);
    SetTextColor(dc, kSubtitleColour);
    TextOutW(dc, scaled(kSubtitleX), scaled(kSubtitleY), kHeaderSubtitle,
             static_cast<int>(std::size(kHeaderSubtitle) - 1));
    SelectObject(dc, previousFont);
    EndPaint(window, &paint);
}

// The labels draw their text straight onto the body's dialog colour.
LRESULT onCtlColorStatic(HDC dc) {
    SetBkMode(dc, TRANSPARENT);
    return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
}

// Only the control id counts: the notification code and the sender are not
// looked at, so the Enter key on "Try Again" and a click do the same.
void onCommand(int id) {
    switch (id) {
        case kIdTryAgainButton:
            startRun();
            break;
        case kIdCancelButton:
            DestroyWindow(g_mainWindow);
            break;
        default:
            break;  // e.g. IDCANCEL from the Escape key through IsDialogMessageW
    }
}

void onStatus(LPARAM lParam) {
    const auto text = takePayload(lParam);
    SetWindowTextW(g_window.statusLabel, text->c_str());
    // Finding a release or checking the file: no measure of how far.
    showOnTaskbar(TaskbarState::kIndeterminate);
}

void onProgress(WPARAM thousandths, LPARAM lParam) {
    const auto text = takePayload(lParam);
    ShowWindow(g_window.progressBar, SW_SHOW);
    SendMessageW(g_window.progressBar, PBM_SETPOS, thousandths, 0);
    SetWindowTextW(g_window.detailLabel, text->c_str());
    g_window.lastPermille = static_cast<std::uint32_t>(thousandths);
    showOnTaskbar(TaskbarState::kNormal);
}

void onFailed(LPARAM lParam) {
    const auto reason = takePayload(lParam);
    showFailure(*reason);
}

void onInstallerReady(WPARAM heldFile, LPARAM lParam) {
    const auto path = takePayload(lParam);
    // Open until the launch has returned: nobody can change the checked file
    // before the system has started it.
    const FileHandle hold(heldFile == 0 ? INVALID_HANDLE_VALUE
                                        : reinterpret_cast<HANDLE>(heldFile));
    showStarting();
    const LaunchResult launch = launchInstaller(*path, g_mainWindow);
    if (launch.started) {
        showOnTaskbar(TaskbarState::kNone);
        DestroyWindow(g_mainWindow);  // the installer carries on alone
        return;
    }
    showLaunchFailed(*path, launch.windowsError);
}

// Explorer has made the taskbar button, after the window first appeared or
// after a restart of its own: what the old button showed is to be shown on
// the new one, through a new taskbar object.
void onTaskbarButtonCreated() {
    g_taskbar->buttonCreated();
    if (g_window.taskbarState != TaskbarState::kNone) {
        g_taskbar->show(g_mainWindow, g_window.taskbarState, g_window.taskbarPermille);
    }
}

LRESULT handleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == g_window.taskbarButtonCreated && g_window.taskbarButtonCreated != 0) {
        onTaskbarButtonCreated();
        return 0;
    }
    switch (message) {
        case WM_DESTROY:
            onDestroy();
            return 0;
        case WM_PAINT:
            onPaint(window);
            return 0;
        case WM_COMMAND:
            onCommand(LOWORD(wParam));
            return 0;
        case WM_CTLCOLORSTATIC:
            return onCtlColorStatic(reinterpret_cast<HDC>(wParam));
        case kMsgStatus:
            onStatus(lParam);
            return 0;
        case kMsgProgress:
            onProgress(wParam, lParam);
            return 0;
        case kMsgFailed:
            onFailed(lParam);
            return 0;
        case kMsgInstallerReady:
            onInstallerReady(wParam, lParam);
            return 0;
        default:
            // WM_CLOSE included: the default destroys the window, as "Cancel" does.
            return DefWindowProcW(window, message, wParam, lParam);
    }
}

}  // namespace

bool createMainWindow() {
    g_window = WindowState{};  // a new window has a new button that shows nothing yet
    g_window.dpiScale = static_cast<float>(GetDpiForSystem()) / 96.0f;
    g_window.bodyFont = createUiFont(kBodyPoints, FW_NORMAL);
    g_window.titleFont = createUiFont(kTitlePoints, FW_SEMIBOLD);

    HINSTANCE instance = GetModuleHandleW(nullptr);
    g_window.headerIcon =
        static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(kIconId), IMAGE_ICON,
                                      scaled(kIconSize), scaled(kIconSize), LR_DEFAULTCOLOR));

    WNDCLASSEXW windowClass = {};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = mainWindowProc;
    windowClass.hInstance = instance;
    windowClass.hIcon = static_cast<HICON>(
        LoadImageW(instance, MAKEINTRESOURCEW(kIconId), IMAGE_ICON, 0, 0, LR_DEFAULTSIZE));
    windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    windowClass.lpszClassName = kWindowClassName;
    // A failure shows up as a failed window creation below.
    RegisterClassExW(&windowClass);

    RECT frame = {0, 0, scaled(kClientWidth), scaled(kClientHeight)};
    AdjustWindowRectEx(&frame, kFrameStyle, FALSE, 0);
    const int width = frame.right - frame.left;
    const int height = frame.bottom - frame.top;
    const int x = (GetSystemMetrics(SM_CXSCREEN) - width) / 2;
    const int y = (GetSystemMetrics(SM_CYSCREEN) - height) / 2;

    g_mainWindow = CreateWindowExW(0, kWindowClassName, kWindowTitle, kWindowStyle, x, y, width,
                                   height, nullptr, nullptr, instance, nullptr);
    if (g_mainWindow == nullptr) {
        return false;
    }
    // Explorer announces the button with this message once the window is
    // shown, so it is let through first: an elevated process would otherwise
    // drop it, as it comes from a process of lower integrity. For any other
    // process the filter lets it through already and the call changes nothing.
    g_window.taskbarButtonCreated = RegisterWindowMessageW(L"TaskbarButtonCreated");
    if (g_window.taskbarButtonCreated != 0) {
        ChangeWindowMessageFilterEx(g_mainWindow, g_window.taskbarButtonCreated, MSGFLT_ALLOW,
                                    nullptr);
    }

    InitCommonControls();  // registers the progress bar's class
    for (const ControlLayout& layout : kControls) {
        HWND control = CreateWindowExW(
            0, layout.className, layout.text, layout.style, scaled(layout.x), scaled(layout.y),
            scaled(layout.width), scaled(layout.height), g_mainWindow,
            reinterpret_cast<HMENU>(INT_PTR{layout.id}), instance, nullptr);
        g_window.*layout.handle = control;
        if (layout.handle != &WindowState::progressBar) {
            SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(g_window.bodyFont), TRUE);
        }
    }
    SendMessageW(g_window.progressBar, PBM_SETRANGE32, 0, 1000);

    ShowWindow(g_window.tryAgainButton, SW_HIDE);
    ShowWindow(g_mainWindow, SW_SHOW);
    UpdateWindow(g_mainWindow);
    return true;
}

LRESULT CALLBACK mainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    try {
        return handleMessage(window, message, wParam, lParam);
    } catch (...) {
        // Only exhausted memory or a standard library error can get here, and
        // the handler's payload has already been freed by the unwinding. The
        // exception must not travel on through the system's frames that called
        // this procedure (64-bit Windows may swallow it there and carry on in
        // a half-updated state), so the process ends here.
        std::terminate();
    }
}

void showWorking() {
    // Read before hiding: hiding the focused button moves the focus to the
    // main window, where neither Enter nor Space does anything and a screen
    // reader has nothing to announce. At the first start nothing has the
    // focus on "Try Again", which is hidden already, and it stays where it is.
    const bool tryAgainHadFocus = GetFocus() == g_window.tryAgainButton;
    ShowWindow(g_window.tryAgainButton, SW_HIDE);
    SetWindowTextW(g_window.cancelButton, kCancelText);
    if (tryAgainHadFocus) {
        focusButton(g_window.cancelButton);
    }
    SetWindowTextW(g_window.detailLabel, L"");
    SendMessageW(g_window.progressBar, PBM_SETPOS, 0, 0);
    ShowWindow(g_window.progressBar, SW_HIDE);
    g_window.lastPermille = 0;
    showOnTaskbar(TaskbarState::kIndeterminate);
}

namespace {

// What both failure screens end with: no progress bar, "Try Again" shown and
// focused (the default push button: with the focus, it answers the Enter
// key), the right-hand button "Close", and the error on the taskbar button.
void offerTryAgain() {
    ShowWindow(g_window.progressBar, SW_HIDE);
    ShowWindow(g_window.tryAgainButton, SW_SHOW);
    SetWindowTextW(g_window.cancelButton, kCloseText);
    focusButton(g_window.tryAgainButton);
    showOnTaskbar(TaskbarState::kError);
}

}  // namespace

void showFailure(const std::wstring& reason) {
    const std::wstring text = joinText({kFailurePrefix, reason});
    SetWindowTextW(g_window.statusLabel, text.c_str());
    SetWindowTextW(g_window.detailLabel, L"");
    offerTryAgain();
}

void showStarting() {
    SetWindowTextW(g_window.statusLabel, kStartingStatus);
}

void showLaunchFailed(const std::wstring& path, std::uint32_t windowsError) {
    SetWindowTextW(g_window.statusLabel, kLaunchFailedStatus);
    // The detail label shortens the middle of an overlong line, so the file's
    // name at the end stays readable.
    const std::wstring detail =
        joinText({windowsErrorText(windowsError), kLaunchFailedPathLead, path});
    SetWindowTextW(g_window.detailLabel, detail.c_str());
    offerTryAgain();
}

void startRunWith(WorkerThreadFactory createThread) {
    switch (startWorkerWith(createThread)) {
        case RunStart::kStarted:
            // After the thread has started: the working screen's first
            // taskbar state loads COM and the shell's taskbar code on this
            // thread, which the run's first request need not wait for. The
            // run only posts, and its messages are handled after this, so the
            // window shows them on the working screen.
            showWorking();
            break;
        case RunStart::kNoThread:
            showFailure(kNoThreadReason);
            break;
        case RunStart::kAlreadyRunning:
            break;  // one run at a time; "Try Again" is hidden during a run anyway
    }
}

void startRun() {
    startRunWith(createWorkerThread);
}

WindowLook windowLook() {
    return {g_window.dpiScale, g_window.bodyFont, g_window.titleFont, g_window.headerIcon};
}

}  // namespace orva
