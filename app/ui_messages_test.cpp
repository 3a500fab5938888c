#include "app/ui_messages.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "app/app_state.h"

namespace orva {
namespace {

struct Received {
    UINT message;
    WPARAM wParam;
    std::wstring text;
};

std::vector<Received> g_received;

LRESULT CALLBACK recordingProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message >= kMsgStatus && message <= kMsgInstallerReady) {
        // Takes ownership of the payload, as the main window does.
        std::unique_ptr<std::wstring> text(reinterpret_cast<std::wstring*>(lParam));
        g_received.push_back({message, wParam, *text});
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

class UiMessagesTest : public ::testing::Test {
  protected:
    void SetUp() override {
        WNDCLASSW windowClass = {};
        windowClass.lpfnWndProc = recordingProc;
        windowClass.hInstance = GetModuleHandleW(nullptr);
        windowClass.lpszClassName = L"OrvaUiMessagesTest";
        RegisterClassW(&windowClass);
        g_mainWindow = CreateWindowW(L"OrvaUiMessagesTest", L"", 0, 0, 0, 0, 0, HWND_MESSAGE,
                                     nullptr, windowClass.hInstance, nullptr);
        ASSERT_NE(g_mainWindow, nullptr);
        g_received.clear();
    }
    void TearDown() override {
        if (g_mainWindow != nullptr) {
            DestroyWindow(g_mainWindow);
        }
        g_mainWindow = nullptr;
    }
    static void pump() {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            DispatchMessageW(&msg);
        }
    }
};

TEST_F(UiMessagesTest, PostsFromAnotherThreadInOrder) {
    std::thread worker([] {
        postUiMessage(kMsgStatus, L"Finding the newest version of Orva...");
        postUiMessage(kMsgProgress, L"0.5 MB of 1.0 MB", 500);
        postUiMessage(kMsgFailed, L"");
        postUiMessage(kMsgInstallerReady, L"C:\\Temp\\Orva-Setup-1.0.0.exe");
    });
    worker.join();
    pump();
    ASSERT_EQ(g_received.size(), 4u);
    EXPECT_EQ(g_received[0].message, kMsgStatus);
    EXPECT_EQ(g_received[0].text, L"Finding the newest version of Orva...");
    EXPECT_EQ(g_received[1].message, kMsgProgress);
    EXPECT_EQ(g_received[1].wParam, 500u);
    EXPECT_EQ(g_received[1].text, L"0.5 MB of 1.0 MB");
    EXPECT_EQ(g_received[2].message, kMsgFailed);
    EXPECT_EQ(g_received[2].text, L"");
    EXPECT_EQ(g_received[3].message, kMsgInstallerReady);
    EXPECT_EQ(g_received[3].text, L"C:\\Temp\\Orva-Setup-1.0.0.exe");
}

TEST_F(UiMessagesTest, NothingReachesTheThreadQueueWithoutAWindow) {
    DestroyWindow(g_mainWindow);
    postUiMessage(kMsgStatus, L"to a window that is gone");
    g_mainWindow = nullptr;
    postUiMessage(kMsgStatus, L"to no window at all");
    MSG msg;
    EXPECT_FALSE(PeekMessageW(&msg, nullptr, kMsgStatus, kMsgInstallerReady, PM_REMOVE));
}

}  // namespace
}  // namespace orva
