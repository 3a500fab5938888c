#pragma once

// The worker thread's lifecycle. startWorker (declared in app_state.h) starts
// one run; these are its parts, exposed so that tests can drive them.

#include "app/worker_thread.h"

namespace orva {

// The start function of a worker thread. Runs g_runFunction with a
// WindowReporter; an exception that escapes it (exhausted memory, a standard
// library error) ends the run with a failure of its own, so that the window
// never stays in its working look for a run that is over. Then clears
// g_workerRunning.
void runWorker() noexcept;

// Creates the thread of one run running runWorker; when it cannot, returns a
// thread that is not joinable, or throws (std::bad_alloc, say).
using WorkerThreadFactory = WorkerThread (*)();

// startWorker with the thread creation supplied: returns at once while a run
// is active; otherwise joins the previous run's thread, clears
// g_cancelRequested, sets g_workerRunning, creates the thread with
// |createThread| and shows the working screen. When that throws or gives no
// thread, the run is over before it began: g_workerRunning is cleared and the
// failure screen says so, instead of the error escaping the window procedure
// or the entry.
void startWorkerWith(WorkerThreadFactory createThread);

}  // namespace orva
