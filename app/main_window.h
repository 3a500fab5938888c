#pragma once

// The single fixed-size top-level window: a white header with the icon, the
// name and the subtitle, and below it a status label, a progress bar, a detail
// label and two push buttons. Every size is given in pixels at 96 DPI and
// scaled by the system DPI when the window is created.

#include <windows.h>

#include <string>

namespace orva {

// Control ids, passed as the controls' menu handles and seen in WM_COMMAND.
inline constexpr int kIdStatusLabel = 100;
inline constexpr int kIdDetailLabel = 101;
inline constexpr int kIdProgressBar = 102;
inline constexpr int kIdTryAgainButton = 103;
// The right-hand button: "Cancel" while a run is active, "Close" afterwards.
inline constexpr int kIdCancelButton = 104;

// System DPI / 96, read once by createMainWindow.
extern float g_dpiScale;

// Created once by createMainWindow and kept until the process ends.
extern HFONT g_bodyFont;
extern HFONT g_titleFont;
extern HICON g_headerIcon;
extern HWND g_statusLabel;
extern HWND g_detailLabel;
extern HWND g_progressBar;
extern HWND g_tryAgainButton;
extern HWND g_cancelButton;

// Creates the fonts, the icon, the window class, the window (stored in
// g_mainWindow) and its controls, and shows the window centred on the primary
// screen. False when the top-level window could not be created; nothing else
// is created then. Call after SetProcessDPIAware.
bool createMainWindow();

LRESULT CALLBACK mainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// The failure screen: "Orva could not be downloaded. " followed by |reason|,
// an empty detail line, no progress bar, "Try Again" shown and focused, and
// the right-hand button relabelled "Close".
void showFailure(const std::wstring& reason);

}  // namespace orva
