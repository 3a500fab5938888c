// The entry of Orva-Setup.exe: the main window, the first run, the message loop
// and the end of the process.

#include <windows.h>

#include "app/app_state.h"
#include "app/main_window.h"
#include "app/single_instance.h"
#include "app/taskbar_progress.h"
#include "download/download.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    // Before anything can load a DLL: from now on DLLs come from the system
    // folder only, never from the folder the program was started from
    // (app/system_libraries.h). Windows 8 and later have it.
    // WinHTTP and CNG themselves are loaded by the worker (runWorker), after
    // the window is up and before the first request.
    SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32);
    // A second start while this user's Orva Setup runs in this session (a
    // double click taken twice) shows the first window and ends.
    if (!orva::claimSingleInstance()) {
        orva::showRunningInstance(5000);
        return 0;
    }
    // Before any window exists: the layout is scaled by the system DPI rather
    // than stretched by the system.
    SetProcessDPIAware();
    if (!orva::createMainWindow()) {
        return 1;  // nothing shown, no run started
    }
    orva::startRun();

    MSG message;
    // Stops on WM_QUIT (0) and on the error result (-1).
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        // The dialog keyboard interface for a plain window: Tab between the
        // buttons, Enter and Space on the focused one.
        if (!IsDialogMessageW(orva::g_mainWindow, &message)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
    }

    // The window is gone, and with it the taskbar button: the taskbar object
    // goes before COM leaves this thread.
    orva::g_shellTaskbar.release();

    // A run still in progress is abandoned where it stands
    // (in a network read or a file write): the process ends now rather than
    // waiting for the run to notice g_cancelRequested.
    if (orva::g_workerRunning.load()) {
        orva::g_worker.detach();
        ExitProcess(0);
    }
    if (orva::g_worker.joinable()) {
        orva::g_worker.join();  // download() has returned; the thread is only exiting
    }
    // A partial file kept for "Try Again" goes with the program (the system
    // would delete it when the process ends anyway; see PartialFile).
    orva::discardKeptDownload();
    return 0;
}
