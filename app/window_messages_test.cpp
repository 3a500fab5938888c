// What the window procedure does with the worker's four messages, the button
// commands and closing: the screens they lead to, and that every payload is
// freed whatever the branch.

#include <gtest/gtest.h>
#include <windows.h>
// windows.h must come first.
#include <commctrl.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <new>
#include <string>

#include "app/app_state.h"
#include "app/installer_launch.h"
#include "app/main_window.h"
#include "app/ui_messages.h"
#include "app/window_test_support.h"

// Records whether the one watched allocation has been freed, so that a test
// can see a payload's memory come back, and can make allocations fail. The
// allocation functions stay those of the standard library (malloc and free).
namespace {
std::atomic<void*> g_watchedMemory{nullptr};
std::atomic<bool> g_watchedMemoryFreed{false};
std::atomic<bool> g_allocationsFail{false};

void noteFree(void* memory) {
    if (memory != nullptr && memory == g_watchedMemory.load()) {
        g_watchedMemoryFreed = true;
    }
}
}  // namespace

void* operator new(std::size_t size) {
    if (g_allocationsFail) {
        throw std::bad_alloc();
    }
    if (void* memory = std::malloc(size == 0 ? 1 : size)) {
        return memory;
    }
    throw std::bad_alloc();
}
void operator delete(void* memory) noexcept {
    noteFree(memory);
    std::free(memory);
}
void operator delete(void* memory, std::size_t) noexcept {
    noteFree(memory);
    std::free(memory);
}

namespace orva {

std::atomic<int> g_downloadCalls{0};

// Counts runs; returns at once, reporting nothing.
void countingRun(RunReporter&) {
    ++g_downloadCalls;
}

namespace {

using testing::control;
using testing::ensureMainWindow;
using testing::pumpMessages;
using testing::quitMessagesSeen;
using testing::Screen;
using testing::windowText;

constexpr wchar_t kFailurePrefix[] = L"Orva could not be downloaded. ";

std::wstring tempFolder() {
    wchar_t path[MAX_PATH + 1];
    const DWORD length = GetTempPathW(MAX_PATH + 1, path);
    return std::wstring(path, length);
}

class WindowMessagesTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ensureMainWindow();
        g_runFunction = countingRun;
        ASSERT_TRUE(IsWindow(g_mainWindow));
        // The working look of a run in progress, as startWorker leaves it.
        SetWindowTextW(control(kIdStatusLabel), L"Downloading Orva 2.4.1 (120.0 MB)");
        SetWindowTextW(control(kIdDetailLabel), L"60.0 MB of 120.0 MB");
        SendMessageW(control(kIdProgressBar), PBM_SETPOS, 500, 0);
        ShowWindow(control(kIdProgressBar), SW_SHOW);
        ShowWindow(control(kIdTryAgainButton), SW_HIDE);
        SetWindowTextW(control(kIdCancelButton), L"Cancel");
        SetFocus(control(kIdCancelButton));
        g_cancelRequested = false;
        g_downloadCalls = 0;
        g_watchedMemory = nullptr;
        g_watchedMemoryFreed = false;
    }

    // Posts |message| with a heap payload, as the worker does, and delivers
    // it. Returns whether the payload's memory was freed.
    static bool deliver(UINT message, const std::wstring& text, WPARAM wParam = 0) {
        auto* payload = new std::wstring(text);
        payload->reserve(64);  // memory of its own even for short text
        g_watchedMemory = payload;
        g_watchedMemoryFreed = false;
        EXPECT_TRUE(PostMessageW(g_mainWindow, message, wParam, reinterpret_cast<LPARAM>(payload)));
        pumpMessages();
        return g_watchedMemoryFreed;
    }
};

TEST_F(WindowMessagesTest, StatusChangesOnlyTheStatusLabel) {
    Screen expected = Screen::now();
    expected.status = L"Checking the download...";
    EXPECT_TRUE(deliver(kMsgStatus, L"Checking the download..."));
    EXPECT_EQ(Screen::now(), expected);
}

TEST_F(WindowMessagesTest, ProgressShowsTheBarAtItsPositionWithTheDetail) {
    struct Case {
        WPARAM thousandths;
        const wchar_t* detail;
    };
    const Case cases[] = {{0, L"0.0 MB of 120.0 MB"},
                          {1, L"0.1 MB of 120.0 MB"},
                          {999, L"119.9 MB of 120.0 MB"},
                          {1000, L"120.0 MB of 120.0 MB"}};
    for (const Case& row : cases) {
        SCOPED_TRACE(row.thousandths);
        ShowWindow(control(kIdProgressBar), SW_HIDE);  // as before a run's first progress
        Screen expected = Screen::now();
        expected.progressVisible = true;
        expected.progress = static_cast<LRESULT>(row.thousandths);
        expected.detail = row.detail;
        EXPECT_TRUE(deliver(kMsgProgress, row.detail, row.thousandths));
        EXPECT_EQ(Screen::now(), expected);
    }
}

TEST_F(WindowMessagesTest, FailureShowsTheReasonAndOffersTryAgain) {
    const wchar_t* reasons[] = {
        L"The update service did not answer. Check your internet connection and try again.",
        // No reason at all: the sentence's lead-in alone, trailing space included.
        L"",
    };
    for (const wchar_t* reason : reasons) {
        SCOPED_TRACE(::testing::PrintToString(std::wstring(reason)));
        SetUp();
        Screen expected = Screen::now();
        expected.status = kFailurePrefix + std::wstring(reason);
        expected.detail = L"";
        expected.progressVisible = false;
        expected.tryAgainVisible = true;
        expected.right = L"Close";
        EXPECT_TRUE(deliver(kMsgFailed, reason));
        EXPECT_EQ(Screen::now(), expected);
        EXPECT_EQ(GetFocus(), control(kIdTryAgainButton));
        EXPECT_EQ(g_downloadCalls, 0);
    }
}

// As on the failure screen, "Try Again" has the focus, so Enter tries again.
TEST_F(WindowMessagesTest, FailedLaunchSaysWhyAndWhereAndFocusesTryAgain) {
    const std::wstring path = tempFolder() + L"Orva-Setup-9.9.9-missing.exe";
    DeleteFileW(path.c_str());
    Screen expected = Screen::now();
    expected.status = L"The installer could not be started.";
    expected.detail = windowsErrorText(ERROR_FILE_NOT_FOUND) + L" It is " + path;
    expected.progressVisible = false;
    expected.tryAgainVisible = true;
    expected.right = L"Close";
    EXPECT_TRUE(deliver(kMsgInstallerReady, path));
    EXPECT_EQ(Screen::now(), expected);
    EXPECT_EQ(GetFocus(), control(kIdTryAgainButton));
    EXPECT_TRUE(IsWindow(g_mainWindow));
    EXPECT_FALSE(g_cancelRequested);
}

// The handle the check held travels with the message and is closed once the
// launch has returned, whatever its outcome.
TEST_F(WindowMessagesTest, TheHeldInstallerIsReleasedOnceTheLaunchHasReturned) {
    const std::wstring path = tempFolder() + L"Orva-Setup-9.9.9-held.no-such-type";
    const HANDLE held = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ,
                                    nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    EXPECT_TRUE(deliver(kMsgInstallerReady, path, reinterpret_cast<WPARAM>(held)));
    DWORD flags = 0;
    EXPECT_FALSE(GetHandleInformation(held, &flags)) << "still open after the launch";
    EXPECT_TRUE(DeleteFileW(path.c_str())) << "free once released";
}

// Ids 1 and 2 are what the dialog keyboard interface sends for Enter (with no
// default button focused) and Escape; 100 to 102 are the other controls.
TEST_F(WindowMessagesTest, CommandsOfOtherControlsDoNothing) {
    const WORD ids[] = {0,   IDOK,  IDCANCEL, kIdStatusLabel, kIdDetailLabel, kIdProgressBar,
                        105, 0xFFFF};
    const Screen before = Screen::now();
    for (const WORD id : ids) {
        SCOPED_TRACE(id);
        SendMessageW(g_mainWindow, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0);
        EXPECT_EQ(pumpMessages(), false) << "quit posted";
        EXPECT_TRUE(IsWindow(g_mainWindow));
        EXPECT_EQ(Screen::now(), before);
        EXPECT_EQ(g_downloadCalls, 0);
        EXPECT_FALSE(g_cancelRequested);
    }
}

TEST_F(WindowMessagesTest, EscapeKeyDoesNothing) {
    const Screen before = Screen::now();
    PostMessageW(control(kIdCancelButton), WM_KEYDOWN, VK_ESCAPE, 0);
    EXPECT_FALSE(pumpMessages());
    EXPECT_TRUE(IsWindow(g_mainWindow));
    EXPECT_EQ(Screen::now(), before);
}

// The right-hand button, the close box (WM_CLOSE) and a started installer all
// end the window the same way: destroyed, the run told to stop, the message
// loop told to end. Each case builds a fresh window.
TEST_F(WindowMessagesTest, RightHandButtonCloseAndStartedInstallerEndTheWindow) {
    wchar_t system[MAX_PATH];
    GetSystemDirectoryW(system, MAX_PATH);
    // A small console program of the system that ends at once.
    const std::wstring program = std::wstring(system) + L"\\hostname.exe";

    struct Case {
        const char* name;
        bool (*end)(const std::wstring& program);
    };
    const Case cases[] = {
        {"Cancel button",
         [](const std::wstring&) {
             SendMessageW(g_mainWindow, WM_COMMAND, MAKEWPARAM(kIdCancelButton, BN_CLICKED),
                          reinterpret_cast<LPARAM>(control(kIdCancelButton)));
             return true;
         }},
        {"close box",
         [](const std::wstring&) {
             SendMessageW(g_mainWindow, WM_CLOSE, 0, 0);
             return true;
         }},
        {"installer started",
         [](const std::wstring& path) { return deliver(kMsgInstallerReady, path); }},
    };
    for (const Case& row : cases) {
        SCOPED_TRACE(row.name);
        SetUp();
        HWND window = g_mainWindow;
        const int quitsBefore = quitMessagesSeen();
        EXPECT_TRUE(row.end(program)) << "payload not freed";
        EXPECT_FALSE(IsWindow(window));
        EXPECT_TRUE(g_cancelRequested);
        pumpMessages();
        EXPECT_EQ(quitMessagesSeen(), quitsBefore + 1);
    }
}

// Memory runs out while the failure text is composed. The payload is freed
// before the error goes on; the window procedure then ends the process rather
// than let the exception unwind through the system's frames that called it.
TEST_F(WindowMessagesTest, ErrorWhileHandlingFreesThePayloadThenEndsTheProcess) {
    EXPECT_DEATH(
        {
            std::set_terminate([] {
                std::fputs(g_watchedMemoryFreed ? "payload freed\n" : "payload leaked\n", stderr);
                std::abort();
            });
            auto* payload = new std::wstring(L"The update service did not answer.");
            g_watchedMemory = payload;
            g_allocationsFail = true;
            PostMessageW(g_mainWindow, kMsgFailed, 0, reinterpret_cast<LPARAM>(payload));
            pumpMessages();
        },
        "payload freed");
}

}  // namespace
}  // namespace orva
