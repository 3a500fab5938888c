#pragma once

// Process-wide state of the application shell, shared by the user-interface
// thread and the one worker thread. There are no locks: the worker reaches the
// window only by posting, and the two flags are atomics.

#include <windows.h>

#include <atomic>
#include <thread>

namespace orva {

// The single top-level window; null until it is created.
extern HWND g_mainWindow;

// The thread of the latest run; touched only by the user-interface thread.
extern std::thread g_worker;

// A run has been started and its download() call has not yet returned.
extern std::atomic<bool> g_workerRunning;

// The main window has been destroyed: the run is to stop.
extern std::atomic<bool> g_cancelRequested;

// Starts a run of download() on a new worker thread, unless one is running.
// User-interface thread only.
void startWorker();

}  // namespace orva
