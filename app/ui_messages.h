#pragma once

// The messages by which the worker thread reports to the main window. Each is
// posted, never sent, so the worker never waits for the window. lParam is a
// heap-allocated std::wstring whose ownership passes with the message: the
// window procedure frees it after handling the message, on every path.

#include <windows.h>

#include <string>

namespace orva {

// A new status line. wParam: 0.
inline constexpr UINT kMsgStatus = WM_APP + 1;
// Download progress. wParam: thousandths 0..1000; text: "<received> of <total>".
inline constexpr UINT kMsgProgress = WM_APP + 2;
// The reason a run failed; the last message of a failed run. wParam: 0.
inline constexpr UINT kMsgFailed = WM_APP + 3;
// The full path of the verified installer; the last message of a successful
// run. wParam: 0.
inline constexpr UINT kMsgInstallerReady = WM_APP + 4;

// Posts |message| to g_mainWindow with a heap copy of |text| as lParam. May be
// called from any thread. When the post fails (the window is gone, the
// process is ending) the copy is freed at once.
void postUiMessage(UINT message, const std::wstring& text, WPARAM wParam = 0);

}  // namespace orva
