#include "app/worker.h"

#include <windows.h>
// windows.h must come first.
#include <commctrl.h>

#include <exception>

#include "app/app_state.h"
#include "app/main_window.h"
#include "app/ui_messages.h"
#include "download/download.h"

namespace orva {

namespace {

std::thread createWorkerThread() {
    return std::thread(runWorker);
}

}  // namespace

void runWorker() noexcept {
    try {
        download();
    } catch (...) {
        // download() reports every expected failure itself; what arrives here
        // is exhausted memory or a standard library error. Without a final
        // message the window would show "Cancel" forever for a run that is
        // over. A run the user has given up on ends silently, as always.
        if (!g_cancelRequested.load()) {
            try {
                // Posting needs memory too. If even that fails nothing can be
                // shown; "Cancel" still ends the program.
                postUiMessage(kMsgFailed,
                              L"An unexpected error stopped the download. Please try again.");
            } catch (...) {
            }
        }
    }
    g_workerRunning.exchange(false);
}

void startWorkerWith(WorkerThreadFactory createThread) {
    if (g_workerRunning.load()) {
        return;  // one run at a time; "Try Again" is hidden during a run anyway
    }
    if (g_worker.joinable()) {
        g_worker.join();  // its download() has returned; it is only exiting
    }
    // Both before the thread exists, so every run starts with the cancel flag
    // clear and the running flag already set.
    g_cancelRequested.exchange(false);
    g_workerRunning.exchange(true);

    // The working look. The status label keeps its text until the new run's
    // first status message replaces it.
    ShowWindow(g_tryAgainButton, SW_HIDE);
    SetWindowTextW(g_cancelButton, L"Cancel");
    SetWindowTextW(g_detailLabel, L"");
    SendMessageW(g_progressBar, PBM_SETPOS, 0, 0);
    ShowWindow(g_progressBar, SW_HIDE);

    try {
        g_worker = createThread();
    } catch (const std::exception&) {
        // std::system_error when the system has no thread to give, or
        // std::bad_alloc for the thread's state.
        g_workerRunning.exchange(false);
        showFailure(L"Windows could not start the download. Close some programs and try again.");
    }
}

void startWorker() {
    startWorkerWith(createWorkerThread);
}

}  // namespace orva
