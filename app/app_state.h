#pragma once

// Process-wide state of the application shell, shared by the user-interface
// thread and the one worker thread. There are no locks: the worker reaches the
// window only by posting, and the two flags are atomics.

#include <windows.h>

#include <atomic>

#include "app/worker_thread.h"
#include "download/run_reporter.h"

namespace orva {

// The single top-level window; null until it is created.
extern HWND g_mainWindow;

// The thread of the latest run; touched only by the user-interface thread.
extern WorkerThread g_worker;

// A run has been started and its download() call has not yet returned.
extern std::atomic<bool> g_workerRunning;

// The main window has been destroyed: the run is to stop.
extern std::atomic<bool> g_cancelRequested;

// What a worker run executes: download() in the program. Tests of the window
// and the worker put a scripted run here, so that pressing "Try Again" in a
// test never reaches a network.
using RunFunction = void (*)(RunReporter& reporter);
extern RunFunction g_runFunction;

}  // namespace orva
