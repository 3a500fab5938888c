#pragma once

// The messages by which the worker thread reports to the main window. Each is
// posted, never sent, so the worker never waits for the window. lParam is a
// heap-allocated std::wstring whose ownership passes with the message: the
// window procedure frees it after handling the message, on every path.

#include <windows.h>

#include <string>

#include "download/run_reporter.h"

namespace orva {

// A new status line. wParam: 0.
inline constexpr UINT kMsgStatus = WM_APP + 1;
// Download progress. wParam: thousandths 0..1000; text: "<received> of <total>".
inline constexpr UINT kMsgProgress = WM_APP + 2;
// The reason a run failed; the last message of a failed run. wParam: 0.
inline constexpr UINT kMsgFailed = WM_APP + 3;
// The full path of the verified installer; the last message of a successful
// run. wParam: the handle it was checked through (or 0), whose ownership
// passes with the message like the text's: the window keeps it open until the
// installer's start has returned, then closes it.
inline constexpr UINT kMsgInstallerReady = WM_APP + 4;

// Posts |message| to g_mainWindow with a heap copy of |text| as lParam. May be
// called from any thread. When the post fails (the window is gone, the
// process is ending) the copy is freed at once. True when posted.
bool postUiMessage(UINT message, const std::wstring& text, WPARAM wParam = 0);

// The reporter a worker run is given: each report becomes the message of the
// same name above, posted to g_mainWindow, and the run is to stop once
// g_cancelRequested is set (the window is gone).
class WindowReporter final : public RunReporter {
  public:
    void status(const std::wstring& text) override;
    void progress(std::uint32_t permille, const std::wstring& detail) override;
    void failed(const std::wstring& reason) override;
    void installerReady(const std::wstring& path, FileHandle hold) override;
    bool stopRequested() const override;
};

}  // namespace orva
