// The worker's lifecycle: startWorker's working look and flags, "Try Again"
// starting a new run and being ignored during one, a run whose download()
// throws, and a worker thread that cannot be created. The run is a double
// that the test scripts.

#include "app/worker.h"

#include <gtest/gtest.h>
#include <windows.h>
// windows.h must come first.
#include <commctrl.h>

#include <atomic>
#include <new>
#include <stdexcept>
#include <string>
#include <system_error>

#include "app/app_state.h"
#include "app/main_window.h"
#include "app/ui_messages.h"
#include "app/window_test_support.h"
#include "common/win32_handles.h"

namespace orva {

namespace {

// What the next run does.
enum class Script {
    kFail,              // fails with "Scripted failure." and returns
    kBlock,             // waits until g_release is signalled, then fails as kFail
    kThrowBadAlloc,     // throws std::bad_alloc
    kThrowLogicError,   // throws a standard library error
    kThrowAfterCancel,  // the window is gone (cancel flag set), then throws
    kMissingInstaller,  // an installer ready at a path where no file is
};

std::atomic<Script> g_script{Script::kFail};
std::atomic<int> g_downloadCalls{0};
std::atomic<DWORD> g_downloadThread{0};
// Manual-reset events: the run has begun; the run may go on.
HANDLE g_entered = CreateEventW(nullptr, TRUE, FALSE, nullptr);
HANDLE g_release = CreateEventW(nullptr, TRUE, FALSE, nullptr);

// The run the tests script, in place of download().
void scriptedRun(RunReporter& reporter) {
    ++g_downloadCalls;
    g_downloadThread = GetCurrentThreadId();
    SetEvent(g_entered);
    switch (g_script.load()) {
        case Script::kBlock:
            WaitForSingleObject(g_release, INFINITE);
            [[fallthrough]];
        case Script::kFail:
            reporter.failed(L"Scripted failure.");
            return;
        case Script::kThrowBadAlloc:
            throw std::bad_alloc();
        case Script::kThrowLogicError:
            throw std::out_of_range("vector::at");
        case Script::kThrowAfterCancel:
            g_cancelRequested = true;
            throw std::bad_alloc();
        case Script::kMissingInstaller: {
            wchar_t temp[MAX_PATH + 1];
            const DWORD length = GetTempPathW(MAX_PATH + 1, temp);
            const std::wstring path = std::wstring(temp, length) + L"Orva-Setup-9.9.9-absent.exe";
            DeleteFileW(path.c_str());
            reporter.installerReady(path, FileHandle());
            return;
        }
    }
}

using testing::control;
using testing::ensureMainWindow;
using testing::pumpMessages;
using testing::pumpUntil;
using testing::windowText;

constexpr wchar_t kFailurePrefix[] = L"Orva could not be downloaded. ";

class WorkerTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ensureMainWindow();
        g_runFunction = scriptedRun;
        finishRun();
        g_script = Script::kFail;
        g_downloadCalls = 0;
        g_downloadThread = 0;
        ResetEvent(g_entered);
        ResetEvent(g_release);
    }
    void TearDown() override {
        SetEvent(g_release);
        finishRun();
    }

    // Waits for the current run (if any) to end, delivers what it posted and
    // joins its thread.
    static void finishRun() {
        pumpUntil([] { return !g_workerRunning.load(); });
        pumpMessages();
        if (g_worker.joinable()) {
            g_worker.join();
        }
    }

    // The failure screen of a run that failed with |reason|.
    static void expectFailureScreen(const std::wstring& reason) {
        EXPECT_EQ(windowText(control(kIdStatusLabel)), kFailurePrefix + reason);
        EXPECT_EQ(windowText(control(kIdDetailLabel)), L"");
        EXPECT_FALSE(IsWindowVisible(control(kIdProgressBar)));
        EXPECT_TRUE(IsWindowVisible(control(kIdTryAgainButton)));
        EXPECT_EQ(windowText(control(kIdCancelButton)), L"Close");
        EXPECT_EQ(GetFocus(), control(kIdTryAgainButton));
    }
};

// From the failure screen of an earlier run, with the progress of that run
// still set and the cancel flag left set: everything back to the working look.
TEST_F(WorkerTest, StartsARunOnItsOwnThreadInTheWorkingLook) {
    showFailure(L"Earlier failure.");
    SetWindowTextW(control(kIdDetailLabel), L"3.0 MB of 9.0 MB");
    SendMessageW(control(kIdProgressBar), PBM_SETPOS, 333, 0);
    ShowWindow(control(kIdProgressBar), SW_SHOW);
    g_cancelRequested = true;
    g_script = Script::kBlock;

    startRun();
    EXPECT_TRUE(g_workerRunning);
    EXPECT_FALSE(g_cancelRequested);
    EXPECT_FALSE(IsWindowVisible(control(kIdTryAgainButton)));
    EXPECT_EQ(windowText(control(kIdCancelButton)), L"Cancel");
    EXPECT_EQ(windowText(control(kIdDetailLabel)), L"");
    EXPECT_FALSE(IsWindowVisible(control(kIdProgressBar)));
    EXPECT_EQ(SendMessageW(control(kIdProgressBar), PBM_GETPOS, 0, 0), 0);
    // The status line stays until the run's first status message.
    EXPECT_EQ(windowText(control(kIdStatusLabel)),
              kFailurePrefix + std::wstring(L"Earlier failure."));

    ASSERT_EQ(WaitForSingleObject(g_entered, 60'000), WAIT_OBJECT_0);
    EXPECT_NE(g_downloadThread, GetCurrentThreadId());

    SetEvent(g_release);
    pumpUntil([] { return !g_workerRunning.load(); });
    pumpMessages();
    expectFailureScreen(L"Scripted failure.");
    EXPECT_EQ(g_downloadCalls, 1);
}

// While a run is active, "Try Again" (which is hidden then, but a command can
// still arrive) changes nothing: no second run, same thread, same screen.
TEST_F(WorkerTest, TryAgainIsIgnoredWhileARunIsActive) {
    g_script = Script::kBlock;
    startRun();
    ASSERT_EQ(WaitForSingleObject(g_entered, 60'000), WAIT_OBJECT_0);
    const auto thread = g_worker.get_id();
    SetWindowTextW(control(kIdStatusLabel), L"Finding the newest version of Orva...");
    SetWindowTextW(control(kIdDetailLabel), L"detail");

    SendMessageW(g_mainWindow, WM_COMMAND, MAKEWPARAM(kIdTryAgainButton, BN_CLICKED),
                 reinterpret_cast<LPARAM>(control(kIdTryAgainButton)));
    startRun();

    EXPECT_EQ(g_worker.get_id(), thread);
    EXPECT_EQ(windowText(control(kIdStatusLabel)), L"Finding the newest version of Orva...");
    EXPECT_EQ(windowText(control(kIdDetailLabel)), L"detail");
    SetEvent(g_release);
    finishRun();
    EXPECT_EQ(g_downloadCalls, 1);
}

// After a failure "Try Again" is focused; Enter through the dialog keyboard
// interface, as the message loop delivers it, starts a whole new run.
TEST_F(WorkerTest, EnterOnTryAgainAfterAFailureStartsANewRun) {
    startRun();
    finishRun();
    expectFailureScreen(L"Scripted failure.");
    ASSERT_EQ(g_downloadCalls, 1);

    g_script = Script::kBlock;
    ResetEvent(g_entered);
    PostMessageW(GetFocus(), WM_KEYDOWN, VK_RETURN, 0);
    PostMessageW(GetFocus(), WM_KEYUP, VK_RETURN, 0);
    pumpMessages();
    ASSERT_EQ(WaitForSingleObject(g_entered, 60'000), WAIT_OBJECT_0);
    EXPECT_EQ(g_downloadCalls, 2);
    EXPECT_TRUE(g_workerRunning);
    EXPECT_FALSE(IsWindowVisible(control(kIdTryAgainButton)));
    EXPECT_EQ(windowText(control(kIdCancelButton)), L"Cancel");
}

// A key pressed on the focused control, as the message loop delivers it.
void pressKey(WPARAM key) {
    const HWND focus = GetFocus();
    PostMessageW(focus, WM_KEYDOWN, key, 0);
    PostMessageW(focus, WM_KEYUP, key, 0);
    pumpMessages();
}

// The button's type as the dialog keyboard interface sees it.
DWORD buttonType(HWND button) {
    return static_cast<DWORD>(GetWindowLongPtrW(button, GWL_STYLE)) & BS_TYPEMASK;
}

// From either failure screen the keyboard alone goes on: the key starts a
// run on the focused "Try Again", which then hides; the focus is on "Cancel"
// (not on the hidden button nor the bare window), which is now the button
// Enter presses, and the same key there ends the program.
TEST_F(WorkerTest, KeysFollowTheFocusFromTryAgainToCancel) {
    struct Case {
        const char* name;
        Script failure;
        const wchar_t* status;
        WPARAM key;
    };
    const Case cases[] = {
        {"failure, Enter", Script::kFail, L"Orva could not be downloaded. Scripted failure.",
         VK_RETURN},
        {"failure, Space", Script::kFail, L"Orva could not be downloaded. Scripted failure.",
         VK_SPACE},
        {"failed launch, Enter", Script::kMissingInstaller, L"The installer could not be started.",
         VK_RETURN},
        {"failed launch, Space", Script::kMissingInstaller, L"The installer could not be started.",
         VK_SPACE},
    };
    for (const Case& row : cases) {
        SCOPED_TRACE(row.name);
        TearDown();
        SetUp();
        g_script = row.failure;
        startRun();
        finishRun();
        ASSERT_EQ(windowText(control(kIdStatusLabel)), row.status);
        ASSERT_EQ(GetFocus(), control(kIdTryAgainButton));
        EXPECT_EQ(buttonType(control(kIdTryAgainButton)), static_cast<DWORD>(BS_DEFPUSHBUTTON));

        g_script = Script::kBlock;
        ResetEvent(g_entered);
        pressKey(row.key);
        ASSERT_EQ(WaitForSingleObject(g_entered, 60'000), WAIT_OBJECT_0);
        EXPECT_EQ(g_downloadCalls, 2);
        EXPECT_FALSE(IsWindowVisible(control(kIdTryAgainButton)));
        EXPECT_EQ(GetFocus(), control(kIdCancelButton));
        EXPECT_EQ(windowText(control(kIdCancelButton)), L"Cancel");
        EXPECT_EQ(buttonType(control(kIdCancelButton)), static_cast<DWORD>(BS_DEFPUSHBUTTON));
        EXPECT_EQ(buttonType(control(kIdTryAgainButton)), static_cast<DWORD>(BS_PUSHBUTTON));

        const HWND window = g_mainWindow;
        pressKey(row.key);
        EXPECT_FALSE(IsWindow(window)) << "Cancel did not end the window";
        EXPECT_TRUE(g_cancelRequested);
    }
}

// The first run, which "Try Again" did not start: the focus stays where the
// new window has it and the buttons keep the types they were created with.
TEST_F(WorkerTest, ARunStartedWithoutTheFocusOnTryAgainLeavesTheFocusAlone) {
    DestroyWindow(g_mainWindow);  // a window as the program's start makes it
    pumpMessages();
    ensureMainWindow();
    const HWND before = GetFocus();
    ASSERT_NE(before, control(kIdTryAgainButton));
    g_script = Script::kBlock;
    startRun();
    ASSERT_EQ(WaitForSingleObject(g_entered, 60'000), WAIT_OBJECT_0);
    EXPECT_EQ(GetFocus(), before);
    EXPECT_EQ(buttonType(control(kIdTryAgainButton)), static_cast<DWORD>(BS_DEFPUSHBUTTON));
    EXPECT_EQ(buttonType(control(kIdCancelButton)), static_cast<DWORD>(BS_PUSHBUTTON));
}

// An exception escaping download() ends the run with a failure message of the
// worker's own instead of leaving the window in its working look, and the
// flag is cleared so that "Try Again" works.
TEST_F(WorkerTest, ExceptionFromDownloadEndsTheRunAsAFailure) {
    for (const Script script : {Script::kThrowBadAlloc, Script::kThrowLogicError}) {
        SCOPED_TRACE(static_cast<int>(script));
        SetUp();
        g_script = script;
        startRun();
        finishRun();
        expectFailureScreen(L"An unexpected error stopped the download. Please try again.");
        EXPECT_FALSE(g_workerRunning);
    }
    // The failure screen's "Try Again" then starts a run as usual.
    g_script = Script::kFail;
    SendMessageW(g_mainWindow, WM_COMMAND, MAKEWPARAM(kIdTryAgainButton, BN_CLICKED), 0);
    finishRun();
    expectFailureScreen(L"Scripted failure.");
}

// Once the window is gone a run ends silently, even by an exception.
TEST_F(WorkerTest, ExceptionAfterTheWindowClosedPostsNothing) {
    g_script = Script::kThrowAfterCancel;
    startRun();
    // The worker posts before it clears the flag: once the flag is clear,
    // anything it posted is already in the queue.
    pumpUntil([] { return !g_workerRunning.load(); });
    MSG message;
    EXPECT_FALSE(PeekMessageW(&message, g_mainWindow, kMsgFailed, kMsgFailed, PM_NOREMOVE));
}

// The system cannot create the worker thread: no run, the flag cleared, the
// failure screen in place of an exception leaving the window procedure.
TEST_F(WorkerTest, ThreadThatCannotBeCreatedShowsTheFailureScreen) {
    const WorkerThreadFactory factories[] = {
        []() -> WorkerThread {
            throw std::system_error(
                std::make_error_code(std::errc::resource_unavailable_try_again));
        },
        []() -> WorkerThread { throw std::bad_alloc(); },
        // What CreateThread failing gives: a thread that is not joinable.
        []() { return WorkerThread(); },
    };
    for (const WorkerThreadFactory factory : factories) {
        SetUp();
        SetWindowTextW(control(kIdCancelButton), L"Cancel");
        startRunWith(factory);
        EXPECT_FALSE(g_workerRunning);
        EXPECT_FALSE(g_worker.joinable());
        expectFailureScreen(
            L"Windows could not start the download. Close some programs and try again.");
        EXPECT_EQ(g_downloadCalls, 0);
    }
}

}  // namespace
}  // namespace orva
