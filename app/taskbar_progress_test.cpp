// The progress on the taskbar button: which state the window shows through a
// recording TaskbarProgress as a run goes from finding to the transfer, to
// checking, to its end; the state shown again on a new button; and the real
// implementation over the shell's ITaskbarList3, whose absence changes
// nothing the window shows. ORVA_TEST_TASKBAR=absent says that the run has the
// interface taken away (WINEDLLOVERRIDES in CMakeLists.txt), so that run must
// find it missing.

#include "app/taskbar_progress.h"

// clang-format off
#include <gtest/gtest.h>
#include <windows.h>
#include <shobjidl.h>  // needs <windows.h> first
// clang-format on

#include <cstdio>
#include <cstdlib>
#include <ostream>
#include <string>
#include <vector>

#include "app/app_state.h"
#include "app/main_window.h"
#include "app/ui_messages.h"
#include "app/window_test_support.h"

namespace orva {

namespace {

using testing::control;
using testing::ensureMainWindow;
using testing::pumpMessages;
using testing::pumpUntil;
using testing::Screen;

// One call the window made; the permille only where the state uses it.
struct Call {
    bool buttonCreated;
    TaskbarState state;
    std::uint32_t permille;
    HWND window;

    bool operator==(const Call&) const = default;
};

void PrintTo(const Call& call, std::ostream* out) {
    if (call.buttonCreated) {
        *out << "buttonCreated";
        return;
    }
    const char* names[] = {"none", "indeterminate", "normal", "error"};
    *out << names[static_cast<int>(call.state)] << " " << call.permille
         << (call.window == g_mainWindow ? "" : " on another window");
}

Call shown(TaskbarState state, std::uint32_t permille = 0) {
    return {false, state, permille, g_mainWindow};
}
const Call kButtonCreated = {true, TaskbarState::kNone, 0, nullptr};

class RecordingTaskbar final : public TaskbarProgress {
  public:
    void show(HWND window, TaskbarState state, std::uint32_t permille) override {
        const bool measured = state == TaskbarState::kNormal || state == TaskbarState::kError;
        calls.push_back({false, state, measured ? permille : 0, window});
    }
    void buttonCreated() override { calls.push_back(kButtonCreated); }

    std::vector<Call> calls;
};

// A run that reports nothing: "Try Again" starts one, and its screens come
// from the messages the tests post.
void silentRun(RunReporter&) {}

std::wstring tempFolder() {
    wchar_t path[MAX_PATH + 1];
    const DWORD length = GetTempPathW(MAX_PATH + 1, path);
    return std::wstring(path, length);
}

// What happens to the window in one step of a run.
enum class Step {
    kWorking,      // a run begins (showWorking)
    kFinding,      // kMsgStatus: finding a release
    kDownloading,  // kMsgStatus: the release and its size
    kProgress,     // kMsgProgress with the step's permille
    kChecking,     // kMsgStatus: checking the file
    kFailed,       // kMsgFailed
    kLaunchFails,  // kMsgInstallerReady for a file that is not there
    kTryAgain,     // the "Try Again" command, which starts a (silent) run
};

struct Action {
    Step step;
    WPARAM permille = 0;
};

void post(UINT message, const wchar_t* text, WPARAM wParam = 0) {
    ASSERT_TRUE(PostMessageW(g_mainWindow, message, wParam,
                             reinterpret_cast<LPARAM>(new std::wstring(text))));
    pumpMessages();
}

void perform(const Action& action) {
    switch (action.step) {
        case Step::kWorking:
            showWorking();
            break;
        case Step::kFinding:
            post(kMsgStatus, L"Finding the newest version of Orva...");
            break;
        case Step::kDownloading:
            post(kMsgStatus, L"Downloading Orva 2.4.1 (120.0 MB)");
            break;
        case Step::kProgress:
            post(kMsgProgress, L"60.0 MB of 120.0 MB", action.permille);
            break;
        case Step::kChecking:
            post(kMsgStatus, L"Checking the download...");
            break;
        case Step::kFailed:
            post(kMsgFailed, L"The update service did not answer.");
            break;
        case Step::kLaunchFails: {
            const std::wstring path = tempFolder() + L"Orva-Setup-9.9.9-missing.exe";
            DeleteFileW(path.c_str());
            post(kMsgInstallerReady, path.c_str());
            break;
        }
        case Step::kTryAgain:
            SendMessageW(g_mainWindow, WM_COMMAND, MAKEWPARAM(kIdTryAgainButton, BN_CLICKED),
                         reinterpret_cast<LPARAM>(control(kIdTryAgainButton)));
            // The silent run ends at once; its thread is joined here.
            pumpUntil([] { return !g_workerRunning.load(); });
            if (g_worker.joinable()) {
                g_worker.join();
            }
            break;
    }
}

class TaskbarProgressTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ensureMainWindow();
        g_runFunction = silentRun;
        g_taskbar = &recorder;
    }
    void TearDown() override { g_taskbar = &g_shellTaskbar; }

    // Performs |actions| and returns the calls they made, and only those.
    std::vector<Call> callsOf(const std::vector<Action>& actions) {
        recorder.calls.clear();
        for (const Action& action : actions) {
            perform(action);
        }
        return recorder.calls;
    }

    RecordingTaskbar recorder;
};

// Every step of a run, with the calls it must make. A state the button shows
// already is not sent again: every call is a message to Explorer.
TEST_F(TaskbarProgressTest, ARunWalksTheButtonThroughItsStates) {
    using enum TaskbarState;
    struct Case {
        const char* name;
        std::vector<Action> before;  // brings the window to where the case starts
        std::vector<Action> actions;
        std::vector<Call> calls;
    };
    const std::vector<Case> cases = {
        {"a run begins: finding, no measure yet", {}, {{Step::kWorking}}, {shown(kIndeterminate)}},
        {"statuses before the transfer keep it indeterminate",
         {{Step::kWorking}},
         {{Step::kFinding}, {Step::kDownloading}},
         {}},
        {"the transfer shows each new value, from 0 to 1000",
         {{Step::kWorking}, {Step::kDownloading}},
         {{Step::kProgress, 0},
          {Step::kProgress, 1},
          {Step::kProgress, 500},
          {Step::kProgress, 500},
          {Step::kProgress, 1000}},
         {shown(kNormal, 0), shown(kNormal, 1), shown(kNormal, 500), shown(kNormal, 1000)}},
        {"checking after the transfer: indeterminate again",
         {{Step::kWorking}, {Step::kProgress, 1000}},
         {{Step::kChecking}},
         {shown(kIndeterminate)}},
        {"a failure while checking: the error at the last value",
         {{Step::kWorking}, {Step::kProgress, 1000}, {Step::kChecking}},
         {{Step::kFailed}},
         {shown(kError, 1000)}},
        {"a failure during the transfer: the error where it stopped",
         {{Step::kWorking}, {Step::kProgress, 420}},
         {{Step::kFailed}},
         {shown(kError, 420)}},
        {"a failure before any progress: the error at 0",
         {{Step::kWorking}, {Step::kFinding}},
         {{Step::kFailed}},
         {shown(kError, 0)}},
        {"an installer that cannot be started: the error at the last value",
         {{Step::kWorking}, {Step::kProgress, 1000}, {Step::kChecking}},
         {{Step::kLaunchFails}},
         {shown(kError, 1000)}},
        {"Try Again after a failure: indeterminate from 0",
         {{Step::kWorking}, {Step::kProgress, 700}, {Step::kFailed}},
         {{Step::kTryAgain}},
         {shown(kIndeterminate)}},
        {"Try Again after a failed launch: indeterminate from 0",
         {{Step::kWorking}, {Step::kProgress, 1000}, {Step::kLaunchFails}},
         {{Step::kTryAgain}, {Step::kProgress, 1000}},
         {shown(kIndeterminate), shown(kNormal, 1000)}},
    };
    for (const Case& row : cases) {
        SCOPED_TRACE(row.name);
        // From the failure screen of an earlier run, whatever came before.
        callsOf({{Step::kFailed}});
        callsOf(row.before);
        EXPECT_EQ(callsOf(row.actions), row.calls);
    }
}

// Once the installer has started the button shows no progress, before the
// window goes.
TEST_F(TaskbarProgressTest, AStartedInstallerClearsTheButton) {
    // A program of the system that ends at once and shows nothing. Not a
    // console one: Wine would give it a console window for a moment, which
    // takes the activation, and with it the keyboard focus, from the windows
    // of the cases after this one.
    wchar_t system[MAX_PATH];
    GetSystemDirectoryW(system, MAX_PATH);
    const std::wstring program = std::wstring(system) + L"\\rundll32.exe";
    callsOf({{Step::kWorking}, {Step::kProgress, 1000}, {Step::kChecking}});
    const HWND window = g_mainWindow;

    recorder.calls.clear();
    post(kMsgInstallerReady, program.c_str());
    EXPECT_FALSE(IsWindow(window));
    ASSERT_EQ(recorder.calls.size(), 1u);
    EXPECT_EQ(recorder.calls[0].state, TaskbarState::kNone);
    EXPECT_EQ(recorder.calls[0].window, window);
}

// "TaskbarButtonCreated": a new object, and the state of the moment shown on
// it; a window whose button shows nothing yet shows nothing then either.
TEST_F(TaskbarProgressTest, ANewButtonShowsTheStateAgain) {
    const UINT buttonCreated = RegisterWindowMessageW(L"TaskbarButtonCreated");
    ASSERT_NE(buttonCreated, 0u);
    struct Case {
        const char* name;
        std::vector<Action> before;
        std::vector<Call> calls;
    };
    const std::vector<Case> cases = {
        {"finding",
         {{Step::kWorking}, {Step::kFinding}},
         {kButtonCreated, shown(TaskbarState::kIndeterminate)}},
        {"the transfer",
         {{Step::kWorking}, {Step::kProgress, 300}},
         {kButtonCreated, shown(TaskbarState::kNormal, 300)}},
        {"failed",
         {{Step::kWorking}, {Step::kProgress, 300}, {Step::kFailed}},
         {kButtonCreated, shown(TaskbarState::kError, 300)}},
    };
    for (const Case& row : cases) {
        SCOPED_TRACE(row.name);
        callsOf(row.before);
        recorder.calls.clear();
        SendMessageW(g_mainWindow, buttonCreated, 0, 0);
        EXPECT_EQ(recorder.calls, row.calls);
    }

    // A window of its own, before its first run.
    DestroyWindow(g_mainWindow);
    pumpMessages();
    ensureMainWindow();
    recorder.calls.clear();
    SendMessageW(g_mainWindow, buttonCreated, 0, 0);
    EXPECT_EQ(recorder.calls, std::vector<Call>{kButtonCreated});
    // Its first run shows the state, whatever the window before it showed.
    EXPECT_EQ(callsOf({{Step::kWorking}}), std::vector<Call>{shown(TaskbarState::kIndeterminate)});
}

// Whether this system has the interface, asked the way the program asks.
bool systemHasTheTaskbarList() {
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    ITaskbarList3* taskbar = nullptr;
    const HRESULT created =
        CoCreateInstance(__uuidof(TaskbarList), nullptr, CLSCTX_INPROC_SERVER,
                         __uuidof(ITaskbarList3), reinterpret_cast<void**>(&taskbar));
    std::printf("CoCreateInstance(CLSID_TaskbarList, IID_ITaskbarList3): 0x%08lX\n",
                static_cast<unsigned long>(created));
    bool usable = false;
    if (SUCCEEDED(created) && taskbar != nullptr) {
        const HRESULT initialised = taskbar->HrInit();
        std::printf("ITaskbarList3::HrInit: 0x%08lX\n", static_cast<unsigned long>(initialised));
        usable = SUCCEEDED(initialised);
        taskbar->Release();
    }
    CoUninitialize();
    return usable;
}

// The real implementation, with or without the interface: every screen of a
// run looks as it does with the recording one, and the shell's object is
// there exactly when the system has the interface.
TEST_F(TaskbarProgressTest, TheShellsTaskbarChangesNothingTheWindowShows) {
    const bool hasInterface = systemHasTheTaskbarList();
    std::printf("this system %s ITaskbarList3\n", hasInterface ? "has" : "does not have");
    const char* expected = std::getenv("ORVA_TEST_TASKBAR");
    if (expected != nullptr && std::string(expected) == "absent") {
        ASSERT_FALSE(hasInterface) << "the run was to have the interface taken away";
    }

    const std::vector<Action> run = {
        {Step::kWorking},       {Step::kFinding},        {Step::kDownloading}, {Step::kProgress, 0},
        {Step::kProgress, 500}, {Step::kProgress, 1000}, {Step::kChecking},    {Step::kLaunchFails},
        {Step::kTryAgain},      {Step::kProgress, 250},  {Step::kFailed},      {Step::kTryAgain},
    };
    struct Seen {
        Screen screen;
        int focus;  // the focused control's id; 0 for the window itself, -1 for neither
    };
    // Each from a window of its own, as the program starts.
    auto screensOf = [&run](TaskbarProgress& taskbar) {
        DestroyWindow(g_mainWindow);
        pumpMessages();
        ensureMainWindow();
        g_taskbar = &taskbar;
        std::vector<Seen> screens;
        for (const Action& action : run) {
            perform(action);
            const HWND focus = GetFocus();
            screens.push_back({Screen::now(), focus == g_mainWindow ? 0
                                              : GetParent(focus) == g_mainWindow
                                                  ? GetDlgCtrlID(focus)
                                                  : -1});
        }
        return screens;
    };

    const std::vector<Seen> recorded = screensOf(recorder);
    g_shellTaskbar.release();  // the first show below starts from nothing
    const std::vector<Seen> shell = screensOf(g_shellTaskbar);
    ASSERT_EQ(shell.size(), recorded.size());
    for (std::size_t i = 0; i < shell.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(shell[i].screen, recorded[i].screen);
        EXPECT_EQ(shell[i].focus, recorded[i].focus);
    }
    EXPECT_EQ(g_shellTaskbar.available(), hasInterface);

    // A new button: the object is made again, with the same outcome.
    SendMessageW(g_mainWindow, RegisterWindowMessageW(L"TaskbarButtonCreated"), 0, 0);
    EXPECT_EQ(g_shellTaskbar.available(), hasInterface);
    EXPECT_EQ(Screen::now(), recorded.back().screen);
    g_shellTaskbar.release();
    EXPECT_FALSE(g_shellTaskbar.available());
}

}  // namespace
}  // namespace orva
