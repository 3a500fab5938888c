#include "app/worker.h"

#include <windows.h>

#include <exception>

#include "app/app_state.h"
#include "app/screen_text.h"
#include "app/system_libraries.h"
#include "app/ui_messages.h"

namespace orva {

WorkerThread createWorkerThread() {
    return WorkerThread(runWorker);
}

void runWorker() noexcept {
    WindowReporter reporter;
    try {
        // Here rather than before the window: loading WinHTTP (and all it
        // pulls in) is most of what a start would otherwise wait for. Before
        // the first request, as app/system_libraries.h explains.
        if (loadSystemLibraries()) {
            g_runFunction(reporter);
        } else {
            reporter.failed(kSystemPartMissingReason);
        }
    } catch (...) {
        // download() reports every expected failure itself; what arrives here
        // is exhausted memory or a standard library error. Without a final
        // message the window would show "Cancel" forever for a run that is
        // over. A run the user has given up on ends silently, as always.
        if (!reporter.stopRequested()) {
            try {
                // Posting needs memory too. If even that fails nothing can be
                // shown; "Cancel" still ends the program.
                reporter.failed(kUnexpectedErrorReason);
            } catch (...) {
            }
        }
    }
    g_workerRunning.exchange(false);
}

RunStart startWorkerWith(WorkerThreadFactory createThread) {
    if (g_workerRunning.load()) {
        return RunStart::kAlreadyRunning;
    }
    if (g_worker.joinable()) {
        g_worker.join();  // its download() has returned; it is only exiting
    }
    // Both before the thread exists, so every run starts with the cancel flag
    // clear and the running flag already set.
    g_cancelRequested.exchange(false);
    g_workerRunning.exchange(true);

    bool started = false;
    try {
        g_worker = createThread();
        started = g_worker.joinable();  // not when the system has no thread to give
    } catch (const std::exception&) {
        // std::bad_alloc for the thread's state, or whatever a factory throws.
    }
    if (!started) {
        g_workerRunning.exchange(false);
        return RunStart::kNoThread;
    }
    return RunStart::kStarted;
}

}  // namespace orva
