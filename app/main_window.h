#pragma once

// The single fixed-size top-level window: a white header with the icon, the
// name and the subtitle, and below it a status label, a progress bar, a detail
// label and two push buttons. Every size is given in pixels at 96 DPI and
// scaled by the system DPI when the window is created. The window alone sets
// its controls: one function per screen below sets every control that screen
// shows, and the message handlers change one control each. The window also
// sets the progress on its taskbar button (app/taskbar_progress.h).

#include <windows.h>

#include <cstdint>
#include <string>

#include "app/window_contract.h"
#include "app/worker.h"

namespace orva {

// Creates the fonts, the icon, the window class, the window (stored in
// g_mainWindow) and its controls, and shows the window centred on the primary
// screen. False when the top-level window could not be created; nothing else
// is created then. Call after SetProcessDPIAware.
bool createMainWindow();

LRESULT CALLBACK mainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// The working screen, as a run begins: "Try Again" hidden, the right-hand
// button "Cancel", an empty detail line and the progress bar hidden at 0. The
// status label keeps its text until the run's first status replaces it. When
// "Try Again" had the focus, "Cancel" has it now. The taskbar button shows an
// indeterminate progress until the first progress report.
void showWorking();

// The failure screen: "Orva could not be downloaded. " followed by |reason|,
// an empty detail line, no progress bar, "Try Again" shown and focused, and
// the right-hand button relabelled "Close". The taskbar button shows the
// error at the run's last progress.
void showFailure(const std::wstring& reason);

// Starts a run (worker.h) and shows its screen: the working one, or the
// failure screen when no thread could be had for it; nothing while a run is
// active. At the start and for "Try Again".
void startRun();
// The same with the thread creation supplied, for tests.
void startRunWith(WorkerThreadFactory createThread);

// What the window's header is drawn with, made by createMainWindow: the
// scale (system DPI / 96), the two fonts and the icon. For tests; the
// controls are found by their ids (window_contract.h).
struct WindowLook {
    float dpiScale = 1.0f;
    HFONT bodyFont = nullptr;
    HFONT titleFont = nullptr;
    HICON headerIcon = nullptr;
};
WindowLook windowLook();

// The status "Starting the installer...", shown while the shell starts it.
void showStarting();

// The launch-failed screen: the status "The installer could not be started.",
// the detail |windowsError|'s text, " It is " and |path|, no progress bar,
// "Try Again" shown and focused, the right-hand button "Close", and the error
// on the taskbar button as on the failure screen.
void showLaunchFailed(const std::wstring& path, std::uint32_t windowsError);

}  // namespace orva
