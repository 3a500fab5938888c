#pragma once

// How one download run reports to whoever started it, and learns that it is
// to stop. The download code knows nothing of windows: the application hands
// it a reporter that posts to the main window (app/ui_messages.h), tests and
// benchmarks hand it one that records. Windows only (wide text).

#include <cstdint>
#include <string>

#include "common/win32_handles.h"

namespace orva {

class RunReporter {
  public:
    virtual ~RunReporter() = default;

    // A new status line, e.g. "Checking the download...".
    virtual void status(const std::wstring& text) = 0;
    // Transfer progress: |permille| 0..1000 and "<received> of <total>".
    virtual void progress(std::uint32_t permille, const std::wstring& detail) = 0;
    // The run failed for |reason|, a complete sentence; its last report.
    virtual void failed(const std::wstring& reason) = 0;
    // The verified installer lies at |path|; the last report of a good run.
    // |hold| is the handle it was checked through (read access, read sharing
    // only): whoever starts the installer keeps it open until the start has
    // returned, so that what starts is what was checked.
    virtual void installerReady(const std::wstring& path, FileHandle hold) = 0;
    // True once the user has given up on the run (the window is gone): the
    // run stops as soon as it can and reports nothing more. Any thread.
    virtual bool stopRequested() const = 0;
};

}  // namespace orva
