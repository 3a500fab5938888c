#include "app/ui_messages.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>

#include "app/app_state.h"
#include "tests/support/message_recorder.h"

namespace orva {
namespace {

TEST(PostUiMessage, PostsFromAnotherThreadInOrder) {
    testing::MessageRecorder recorder;
    std::thread worker([] {
        postUiMessage(kMsgStatus, L"Finding the newest version of Orva...");
        postUiMessage(kMsgProgress, L"0.5 MB of 1.0 MB", 500);
        postUiMessage(kMsgFailed, L"");
        postUiMessage(kMsgInstallerReady, L"C:\\Temp\\Orva-Setup-1.0.0.exe");
    });
    worker.join();
    const auto& received = recorder.pump();
    ASSERT_EQ(received.size(), 4u);
    EXPECT_EQ(received[0].message, kMsgStatus);
    EXPECT_EQ(received[0].text, L"Finding the newest version of Orva...");
    EXPECT_EQ(received[1].message, kMsgProgress);
    EXPECT_EQ(received[1].wParam, 500u);
    EXPECT_EQ(received[1].text, L"0.5 MB of 1.0 MB");
    EXPECT_EQ(received[2].message, kMsgFailed);
    EXPECT_EQ(received[2].text, L"");
    EXPECT_EQ(received[3].message, kMsgInstallerReady);
    EXPECT_EQ(received[3].text, L"C:\\Temp\\Orva-Setup-1.0.0.exe");
}

// A run's reports arrive as the window's messages, in the order reported,
// posted from the worker's thread; the stop question follows the cancel flag.
TEST(WindowReporter, PostsEachReportAsItsMessage) {
    testing::MessageRecorder recorder;
    g_cancelRequested = false;
    std::thread worker([] {
        WindowReporter reporter;
        reporter.status(L"Checking the download...");
        reporter.progress(1000, L"3.0 MB of 3.0 MB");
        reporter.failed(L"Scripted failure.");
        reporter.installerReady(L"C:\\Temp\\Orva-Setup-1.0.0.exe", FileHandle());
    });
    worker.join();
    const auto& received = recorder.pump();
    ASSERT_EQ(received.size(), 4u);
    EXPECT_EQ(received[0].message, kMsgStatus);
    EXPECT_EQ(received[0].text, L"Checking the download...");
    EXPECT_EQ(received[1].message, kMsgProgress);
    EXPECT_EQ(received[1].wParam, 1000u);
    EXPECT_EQ(received[1].text, L"3.0 MB of 3.0 MB");
    EXPECT_EQ(received[2].message, kMsgFailed);
    EXPECT_EQ(received[2].text, L"Scripted failure.");
    EXPECT_EQ(received[3].message, kMsgInstallerReady);
    EXPECT_EQ(received[3].text, L"C:\\Temp\\Orva-Setup-1.0.0.exe");

    const WindowReporter reporter;
    EXPECT_FALSE(reporter.stopRequested());
    g_cancelRequested = true;
    EXPECT_TRUE(reporter.stopRequested());
    g_cancelRequested = false;
}

TEST(PostUiMessage, NothingReachesTheThreadQueueWithoutAWindow) {
    {
        testing::MessageRecorder recorder;
        DestroyWindow(g_mainWindow);
        postUiMessage(kMsgStatus, L"to a window that is gone");
    }
    ASSERT_EQ(g_mainWindow, nullptr);
    postUiMessage(kMsgStatus, L"to no window at all");
    MSG msg;
    EXPECT_FALSE(PeekMessageW(&msg, nullptr, kMsgStatus, kMsgInstallerReady, PM_REMOVE));
}

}  // namespace
}  // namespace orva
