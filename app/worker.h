#pragma once

// The worker thread's lifecycle: the start of one run and the thread that runs
// it. Nothing here touches the window; the window picks its screen from what
// starting a run came to (startRun in main_window.h).

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

// What starting a run came to.
enum class RunStart {
    kStarted,
    kAlreadyRunning,  // nothing was done
    kNoThread,        // the system gave no thread: the run is over before it began
};

// The thread of a real run: runWorker on a new thread.
WorkerThread createWorkerThread();

// Starts a run of g_runFunction, unless one is active: joins the previous
// run's thread, clears g_cancelRequested, sets g_workerRunning and creates the
// thread with |createThread|. When that throws or gives no thread,
// g_workerRunning is cleared again and kNoThread says so, instead of the error
// escaping the window procedure or the entry. User-interface thread only.
RunStart startWorkerWith(WorkerThreadFactory createThread);

}  // namespace orva
