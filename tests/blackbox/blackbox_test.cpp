// Black-box tests of Orva-Setup: this driver starts the program (built with the
// TEST-ONLY key) as a separate process under Wine, pointed at a local update
// service through ORVA_UPDATE_URL and at a temporary folder of its own
// through TMP; finds its window, reads the texts and visibility of its
// controls, presses its buttons, and checks what the program leaves behind
// and its exit code. The services are started around this driver by
// tests/server/with-test-server.sh: the scripted test service (/update/...)
// and the reference nginx service over HTTPS. The installer they publish is
// fake_installer.exe, which records that it was started.
//
// A screenshot of each screen goes to build/windows/screenshots/*.bmp.
// clang-format off
#include <winsock2.h>  // before <windows.h>, which would bring the old one
#include <windows.h>
#include <shobjidl.h>  // needs <windows.h> first
// clang-format on
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "app/window_contract.h"
#include "common/text.h"
#include "download/verified_copy.h"
#include "http/http_client.h"
#include "tests/support/temp_folder.h"
#include "tests/support/test_data.h"
#include "tests/support/test_server.h"

namespace orva {
namespace {

namespace fs = std::filesystem;
using testing::TempFolder;

// The program's controls, by the ids it promises.
constexpr int kStatusLabel = kIdStatusLabel;
constexpr int kDetailLabel = kIdDetailLabel;
constexpr int kProgressBar = kIdProgressBar;
constexpr int kTryAgainButton = kIdTryAgainButton;
constexpr int kRightButton = kIdCancelButton;

// Generous bounds for a slow machine; each wait ends as soon as its
// condition holds.
constexpr auto kPatience = std::chrono::seconds(60);

bool waitFor(const std::function<bool()>& condition,
             std::chrono::milliseconds patience = kPatience) {
    const auto deadline = std::chrono::steady_clock::now() + patience;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return true;
}

// The program under test: the build's own, or the Unix path in
// ORVA_SETUP_EXE_OVERRIDE, such as a signed copy of it from
// tests/release/signed-blackbox-test.sh, which must behave the same.
std::wstring setupExe() {
    const char* path = std::getenv("ORVA_SETUP_EXE_OVERRIDE");
    if (path != nullptr && *path != '\0') {
        return utf8ToWide("Z:" + std::string(path));
    }
    return utf8ToWide(ORVA_SETUP_EXE);
}

// One run of the program, ended (killed if need be) when the owner ends.
class SetupProcess {
  public:
    SetupProcess(const std::string& serviceUrl, const fs::path& tempFolder, const fs::path& record,
                 const std::wstring& exe = setupExe()) {
        SetEnvironmentVariableW(L"ORVA_UPDATE_URL", utf8ToWide(serviceUrl).c_str());
        SetEnvironmentVariableW(L"TMP", tempFolder.wstring().c_str());
        SetEnvironmentVariableW(L"TEMP", tempFolder.wstring().c_str());
        SetEnvironmentVariableW(L"ORVA_TEST_INSTALLER_RECORD", record.wstring().c_str());
        std::wstring commandLine = L"\"" + exe + L"\"";
        STARTUPINFOW startup = {};
        startup.cb = sizeof(startup);
        started_ = CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                                  nullptr, &startup, &process_) != 0;
        if (!started_) {
            ADD_FAILURE() << "CreateProcessW failed with error " << GetLastError() << " for "
                          << wideToUtf8(exe);
        }
    }
    ~SetupProcess() {
        if (started_) {
            if (WaitForSingleObject(process_.hProcess, 0) == WAIT_TIMEOUT) {
                TerminateProcess(process_.hProcess, 99);
                WaitForSingleObject(process_.hProcess, INFINITE);
            }
            CloseHandle(process_.hThread);
            CloseHandle(process_.hProcess);
        }
    }
    SetupProcess(const SetupProcess&) = delete;
    SetupProcess& operator=(const SetupProcess&) = delete;

    bool started() const { return started_; }

    // The program's main window, once it exists; null if it never appears.
    HWND window() {
        if (window_ == nullptr) {
            waitFor([this] {
                EnumWindows(
                    [](HWND candidate, LPARAM self) -> BOOL {
                        auto* me = reinterpret_cast<SetupProcess*>(self);
                        DWORD pid = 0;
                        GetWindowThreadProcessId(candidate, &pid);
                        wchar_t name[64] = {};
                        GetClassNameW(candidate, name, 64);
                        if (pid == me->process_.dwProcessId &&
                            std::wstring(name) == kWindowClassName) {
                            me->window_ = candidate;
                            return FALSE;
                        }
                        return TRUE;
                    },
                    reinterpret_cast<LPARAM>(this));
                return window_ != nullptr || exited();
            });
        }
        return window_;
    }

    std::wstring text(int control) {
        wchar_t buffer[2048] = {};
        GetWindowTextW(GetDlgItem(window(), control), buffer, 2048);
        return buffer;
    }
    bool visible(int control) { return IsWindowVisible(GetDlgItem(window(), control)) != 0; }

    // Presses a button as a click does: the command reaches the window.
    void press(int control) {
        PostMessageW(window(), WM_COMMAND, MAKEWPARAM(control, BN_CLICKED),
                     reinterpret_cast<LPARAM>(GetDlgItem(window(), control)));
    }

    // The keyboard focus of the window's thread: a control's id, 0 for the
    // window itself, -1 for anything else or nothing.
    int focus() {
        GUITHREADINFO info = {};
        info.cbSize = sizeof info;
        if (!GetGUIThreadInfo(GetWindowThreadProcessId(window(), nullptr), &info) ||
            info.hwndFocus == nullptr) {
            return -1;
        }
        if (info.hwndFocus == window()) {
            return 0;
        }
        return GetParent(info.hwndFocus) == window() ? GetDlgCtrlID(info.hwndFocus) : -1;
    }

    // A key pressed and released on whatever has the keyboard focus, as the
    // keyboard sends it: the program's message loop delivers it.
    void pressKey(WPARAM key) {
        GUITHREADINFO info = {};
        info.cbSize = sizeof info;
        GetGUIThreadInfo(GetWindowThreadProcessId(window(), nullptr), &info);
        PostMessageW(info.hwndFocus, WM_KEYDOWN, key, 0);
        PostMessageW(info.hwndFocus, WM_KEYUP, key, 0);
    }

    bool exited() { return WaitForSingleObject(process_.hProcess, 0) == WAIT_OBJECT_0; }

    // The exit code once the process has ended within |patience|, else -1.
    long exitCode(std::chrono::milliseconds patience = kPatience) {
        if (WaitForSingleObject(process_.hProcess, static_cast<DWORD>(patience.count())) !=
            WAIT_OBJECT_0) {
            return -1;
        }
        DWORD code = 0;
        GetExitCodeProcess(process_.hProcess, &code);
        return static_cast<long>(code);
    }

    // Saves what the window shows now as build/windows/screenshots/NAME.bmp.
    void screenshot(const std::string& name) {
        RECT rect = {};
        GetWindowRect(window(), &rect);
        const int width = rect.right - rect.left;
        const int height = rect.bottom - rect.top;
        HDC screen = GetDC(nullptr);
        HDC memory = CreateCompatibleDC(screen);
        BITMAPINFO info = {};
        info.bmiHeader.biSize = sizeof(info.bmiHeader);
        info.bmiHeader.biWidth = width;
        info.bmiHeader.biHeight = height;  // bottom-up, as a BMP file stores it
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 24;
        info.bmiHeader.biCompression = BI_RGB;
        void* bits = nullptr;
        HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
        HGDIOBJ old = SelectObject(memory, bitmap);
        BitBlt(memory, 0, 0, width, height, screen, rect.left, rect.top, SRCCOPY);
        GdiFlush();
        const DWORD rowBytes = static_cast<DWORD>((width * 3 + 3) & ~3);
        const DWORD imageBytes = rowBytes * static_cast<DWORD>(height);
        BITMAPFILEHEADER header = {};
        header.bfType = 0x4D42;  // "BM"
        header.bfOffBits = sizeof(header) + sizeof(info.bmiHeader);
        header.bfSize = header.bfOffBits + imageBytes;
        fs::create_directories(ORVA_SCREENSHOT_DIR);
        std::string file(reinterpret_cast<const char*>(&header), sizeof(header));
        file.append(reinterpret_cast<const char*>(&info.bmiHeader), sizeof(info.bmiHeader));
        file.append(static_cast<const char*>(bits), imageBytes);
        testing::writeFile(fs::path(ORVA_SCREENSHOT_DIR) / (name + ".bmp"), file);
        SelectObject(memory, old);
        DeleteObject(bitmap);
        DeleteDC(memory);
        ReleaseDC(nullptr, screen);
    }

  private:
    PROCESS_INFORMATION process_ = {};
    bool started_ = false;
    HWND window_ = nullptr;
};

std::string scripted(const std::string& scenario, const std::string& installer) {
    return testing::testServerUrl("ORVA_TEST_HTTP_URL") + "/update/" + scenario + "/" + installer;
}

// The SHA-256 that the fake installer records of itself, from the file the
// services publish.
std::string fakeInstallerDigest() {
    const char* folder = std::getenv("ORVA_TEST_FILES");
    return folder == nullptr
               ? std::string()
               : fileSha256Hex(
                     (fs::path("Z:" + std::string(folder)) / "fake_installer.exe").wstring());
}

// What the fake installer recorded: one "path<TAB>digest" line per start.
std::vector<std::string> recordedStarts(const fs::path& record) {
    std::vector<std::string> lines;
    if (!fs::exists(record)) {
        return lines;
    }
    std::string text = testing::readTestFile(record);
    for (std::size_t start = 0; start < text.size();) {
        const std::size_t end = text.find('\n', start);
        lines.push_back(text.substr(start, end - start));
        start = end == std::string::npos ? text.size() : end + 1;
    }
    return lines;
}

class BlackBoxTest : public ::testing::Test {
  protected:
    TempFolder work;
    fs::path temp() { return work.path() / "temp"; }
    fs::path record() { return work.path() / "started.txt"; }
    void SetUp() override { fs::create_directories(temp()); }

    // The program's own folder in the temporary folder.
    fs::path privateFolder() { return temp() / "Orva Setup"; }

    // The installer started from |folder| (the private folder unless given)
    // with the published bytes, in that folder as its working directory.
    void expectInstallerStarted(const fs::path& folder = {}) {
        const fs::path where = folder.empty() ? privateFolder() : folder;
        // The installer runs on after the program has ended.
        waitFor([&] { return !recordedStarts(record()).empty(); });
        const std::vector<std::string> starts = recordedStarts(record());
        ASSERT_EQ(starts.size(), 1u) << "the installer was started once";
        const std::string expected = wideToUtf8(where.wstring()) + "\\Orva-Setup-2.4.1.exe";
        EXPECT_EQ(starts[0],
                  expected + "\t" + fakeInstallerDigest() + "\t" + wideToUtf8(where.wstring()));
    }
};

TEST_F(BlackBoxTest, DownloadsChecksStartsTheInstallerAndExits) {
    SetupProcess setup(scripted("good", "fake_installer.exe"), temp(), record());
    ASSERT_TRUE(setup.started());
    EXPECT_EQ(setup.exitCode(), 0);
    expectInstallerStarted();
    for (const auto& entry : fs::directory_iterator(privateFolder())) {
        EXPECT_NE(entry.path().extension(), ".part") << "left behind: " << entry.path();
    }
}

// The program started from a Downloads folder into which another program has
// dropped a winhttp.dll and a bcrypt.dll: neither is loaded, and the whole
// run works with the system's own. Every run here has WINEDLLOVERRIDES set
// (CMakeLists.txt) so that Wine, like Windows, looks in the program's folder
// first.
TEST_F(BlackBoxTest, DllsPlantedBesideTheProgramAreNeverLoaded) {
    const fs::path downloads = work.path() / "Downloads";
    fs::create_directories(downloads);
    const fs::path planted = fs::path(utf8ToWide(ORVA_PLANTED_DLLS));
    const fs::path markers[] = {downloads / "winhttp.dll.loaded", downloads / "bcrypt.dll.loaded"};
    for (const wchar_t* dll : {L"winhttp.dll", L"bcrypt.dll"}) {
        fs::copy_file(planted / dll, downloads / dll);
    }
    const fs::path probe = downloads / "planting_probe.exe";
    fs::copy_file(fs::path(utf8ToWide(ORVA_PLANTING_PROBE_EXE)), probe);
    const fs::path program = downloads / "Orva-Setup.exe";
    fs::copy_file(fs::path(setupExe()), program);

    // The attack works in this folder: a program that imports both DLLs the
    // ordinary way loads the planted copies.
    {
        SetupProcess imports(scripted("good", "fake_installer.exe"), temp(), record(),
                             probe.wstring());
        ASSERT_TRUE(imports.started());
        imports.exitCode();
        for (const fs::path& marker : markers) {
            ASSERT_TRUE(fs::exists(marker)) << "the planted DLL was not loaded: " << marker;
            fs::remove(marker);
        }
    }

    SetupProcess setup(scripted("good", "fake_installer.exe"), temp(), record(), program.wstring());
    ASSERT_TRUE(setup.started());
    EXPECT_EQ(setup.exitCode(), 0);
    expectInstallerStarted();
    for (const fs::path& marker : markers) {
        EXPECT_FALSE(fs::exists(marker)) << "a planted DLL ran inside Orva Setup: " << marker;
    }
}

// A verified copy from an earlier run is started without a download (the
// service would refuse one); a copy with one byte changed is replaced by a
// download, and the published bytes are started.
TEST_F(BlackBoxTest, AVerifiedCopyIsStartedAndAnAlteredOneReplaced) {
    const char* files = std::getenv("ORVA_TEST_FILES");
    ASSERT_NE(files, nullptr);
    const std::string published =
        testing::readTestFile(fs::path("Z:" + std::string(files)) / "fake_installer.exe");
    std::string altered = published;
    altered[altered.size() / 2] ^= 0x01;
    for (const bool verified : {true, false}) {
        SCOPED_TRACE(verified ? "a verified copy" : "an altered copy");
        fs::remove(record());
        fs::create_directories(privateFolder());
        testing::writeFile(privateFolder() / "Orva-Setup-2.4.1.exe",
                           verified ? published : altered);
        SetupProcess setup(scripted(verified ? "setup-500" : "good", "fake_installer.exe"), temp(),
                           record());
        ASSERT_TRUE(setup.started());
        EXPECT_EQ(setup.exitCode(), 0);
        expectInstallerStarted();
        EXPECT_TRUE(testing::readTestFile(privateFolder() / "Orva-Setup-2.4.1.exe") == published);
    }
}

// "Run as administrator" once, then normal runs: they take the folder the
// elevated run made, with its installer, and nothing piles up beside it (no
// second folder, no older installer). Only an elevated token's owner differs
// from a normal one's, which Wine 8 does not show: this runs in the
// documented-Windows mode alone.
TEST_F(BlackBoxTest, AfterAnElevatedRunNormalRunsUseTheSameFolder) {
    const char* mode = std::getenv("ORVA_DOCUMENTED_WINDOWS");
    if (mode == nullptr || std::string(mode) != "1") {
        GTEST_SKIP() << "runs as blackbox_documented_windows_test";
    }
    // What Windows keeps of the folder's owner, from the first run to the next.
    SetEnvironmentVariableW(L"ORVA_DOCUMENTED_STATE",
                            (work.path() / "owners.txt").wstring().c_str());
    SetEnvironmentVariableW(L"ORVA_DOCUMENTED_ELEVATED", L"1");
    {
        SetupProcess elevated(scripted("good", "fake_installer.exe"), temp(), record());
        SetEnvironmentVariableW(L"ORVA_DOCUMENTED_ELEVATED", nullptr);
        ASSERT_TRUE(elevated.started());
        EXPECT_EQ(elevated.exitCode(), 0);
        expectInstallerStarted();
    }
    fs::remove(record());
    testing::writeFile(privateFolder() / "Orva-Setup-2.3.0.exe", "an older release");
    // The service refuses downloads: the installer the elevated run left is
    // what this run must start.
    SetupProcess normal(scripted("setup-500", "fake_installer.exe"), temp(), record());
    ASSERT_TRUE(normal.started());
    EXPECT_EQ(normal.exitCode(), 0) << wideToUtf8(normal.text(kStatusLabel));
    expectInstallerStarted();
    std::vector<fs::path> left;
    for (const auto& entry : fs::recursive_directory_iterator(temp())) {
        left.push_back(entry.path().lexically_relative(temp()));
    }
    SetEnvironmentVariableW(L"ORVA_DOCUMENTED_STATE", nullptr);
    EXPECT_EQ(left, (std::vector<fs::path>{"Orva Setup",
                                           fs::path("Orva Setup") / "Orva-Setup-2.4.1.exe"}));
}

// Two starts at once, as a double click taken twice: one window, one
// download, one installer started, and no failure screen on the way.
TEST_F(BlackBoxTest, TwoStartsAtOnceEndInOneInstaller) {
    SetupProcess first(scripted("good", "fake_installer.exe"), temp(), record());
    SetupProcess second(scripted("good", "fake_installer.exe"), temp(), record());
    ASSERT_TRUE(first.started() && second.started());
    int mostWindows = 0;
    std::wstring failure;
    waitFor([&] {
        int windows = 0;
        for (HWND found = nullptr;
             (found = FindWindowExW(nullptr, found, kWindowClassName, nullptr));) {
            ++windows;
            wchar_t status[512] = {};
            GetWindowTextW(GetDlgItem(found, kStatusLabel), status, 512);
            if (std::wstring(status).starts_with(L"Orva could not be downloaded.")) {
                failure = status;
            }
        }
        mostWindows = std::max(mostWindows, windows);
        return first.exited() && second.exited();
    });
    EXPECT_EQ(first.exitCode(), 0);
    EXPECT_EQ(second.exitCode(), 0);
    EXPECT_EQ(mostWindows, 1);
    EXPECT_EQ(failure, L"");
    expectInstallerStarted();
}

TEST_F(BlackBoxTest, FailureScreenThenTryAgainOnceTheServiceIsFixed) {
    SetupProcess setup(scripted("fail-once-blackbox", "fake_installer.exe"), temp(), record());
    ASSERT_TRUE(setup.started());
    ASSERT_NE(setup.window(), nullptr);
    const std::wstring failure =
        L"Orva could not be downloaded. The update service is restarting; try again in a minute.";
    // The window updates its controls one after another: wait for the last.
    ASSERT_TRUE(waitFor([&] {
        return setup.text(kStatusLabel) == failure && setup.text(kRightButton) == L"Close";
    })) << wideToUtf8(setup.text(kStatusLabel));
    EXPECT_TRUE(setup.visible(kTryAgainButton));
    EXPECT_EQ(setup.text(kRightButton), L"Close");
    EXPECT_FALSE(setup.visible(kProgressBar));
    EXPECT_EQ(setup.text(kDetailLabel), L"");
    setup.screenshot("failed");

    setup.press(kTryAgainButton);
    EXPECT_EQ(setup.exitCode(), 0);
    expectInstallerStarted();
}

TEST_F(BlackBoxTest, CancelDuringASlowDownloadEndsAtOnce) {
    // 64 MiB in 16 KiB pieces, one every 50 ms, would take over three minutes.
    SetupProcess setup(scripted("slow", std::to_string(64 << 20)), temp(), record());
    ASSERT_TRUE(setup.started());
    ASSERT_NE(setup.window(), nullptr);
    ASSERT_TRUE(
        waitFor([&] { return setup.visible(kProgressBar) && !setup.text(kDetailLabel).empty(); }));
    EXPECT_EQ(setup.text(kStatusLabel), L"Downloading Orva 2.4.1 (64.0 MB)");
    EXPECT_EQ(setup.text(kRightButton), L"Cancel");
    EXPECT_FALSE(setup.visible(kTryAgainButton));
    setup.screenshot("downloading");

    setup.press(kRightButton);
    // Well before the transfer could end: the program does not wait for it.
    EXPECT_EQ(setup.exitCode(std::chrono::seconds(30)), 0);
    EXPECT_TRUE(recordedStarts(record()).empty());
    // The process ended without waiting for the run, so nothing of the run
    // deleted the partial file: the system did, as the file was marked.
    const fs::path own = temp() / "Orva Setup";
    ASSERT_TRUE(fs::is_directory(own));
    EXPECT_TRUE(fs::is_empty(own)) << "a partial file outlived the program";
}

// A connection that drops part of the way: the part waits in the private
// folder while the program runs; "Try Again" asks only for the rest and
// starts the installer, and "Close" leaves nothing behind.
TEST_F(BlackBoxTest, ADroppedDownloadIsFinishedByTryAgainOrGoesWithTheProgram) {
    for (const bool tryAgain : {true, false}) {
        SCOPED_TRACE(tryAgain ? "Try Again" : "Close");
        const std::string scenario = "resume-blackbox-" + std::to_string(GetCurrentProcessId()) +
                                     (tryAgain ? "-again" : "-close");
        fs::remove(record());
        // A temporary folder of each run's own: the first leaves the installer.
        const fs::path tmp = temp() / (tryAgain ? "again" : "close");
        const fs::path own = tmp / "Orva Setup";
        fs::create_directories(tmp);
        SetupProcess setup(scripted(scenario, "fake_installer.exe"), tmp, record());
        ASSERT_TRUE(setup.started());
        ASSERT_NE(setup.window(), nullptr);
        ASSERT_TRUE(waitFor([&] { return setup.text(kRightButton) == L"Close"; }))
            << wideToUtf8(setup.text(kStatusLabel)) << " / "
            << wideToUtf8(setup.text(kDetailLabel));
        EXPECT_TRUE(setup.text(kStatusLabel).starts_with(L"Orva could not be downloaded. "));
        const auto partials = [&] {
            std::vector<fs::path> found;
            for (const auto& entry : fs::directory_iterator(own)) {
                if (entry.path().extension() == ".part")
                    found.push_back(entry.path());
            }
            return found;
        };
        EXPECT_EQ(partials().size(), 1u) << "the part is kept for Try Again";

        setup.press(tryAgain ? kTryAgainButton : kRightButton);
        EXPECT_EQ(setup.exitCode(), 0);
        EXPECT_TRUE(partials().empty()) << "a partial file outlived the program";
        if (!tryAgain) {
            EXPECT_TRUE(recordedStarts(record()).empty());
            continue;
        }
        expectInstallerStarted(own);
        HttpRequest request;
        request.url = scripted(scenario, "fake_installer.exe") + "/record";
        const HttpResponse asked = performHttpRequest(request, 1 << 20);
        EXPECT_NE(asked.body.find("\"range\": \"bytes="), std::string::npos)
            << "the second request asks for the rest: " << asked.body;
    }
}

TEST_F(BlackBoxTest, AnInstallerThatCannotBeStartedIsExplained) {
    // The published bytes are signed and checked, but they are no program.
    SetupProcess setup(scripted("good", "4096"), temp(), record());
    ASSERT_TRUE(setup.started());
    ASSERT_NE(setup.window(), nullptr);
    ASSERT_TRUE(waitFor([&] {
        return setup.text(kStatusLabel) == L"The installer could not be started." &&
               setup.text(kRightButton) == L"Close";
    })) << wideToUtf8(setup.text(kStatusLabel));
    const std::wstring path = privateFolder().wstring() + L"\\Orva-Setup-2.4.1.exe";
    const std::wstring detail = setup.text(kDetailLabel);
    // The system's text for the error (Windows: "... is not a valid Win32
    // application."; Wine: "Bad EXE format for %1."), then the path.
    EXPECT_TRUE(detail.ends_with(L" It is " + path)) << wideToUtf8(detail);
    EXPECT_GT(detail.size(), (L" It is " + path).size()) << "the system's text comes first";
    EXPECT_TRUE(setup.visible(kTryAgainButton));
    EXPECT_FALSE(setup.visible(kProgressBar));
    EXPECT_EQ(setup.text(kRightButton), L"Close");
    setup.screenshot("launch-failed");

    setup.press(kRightButton);
    EXPECT_EQ(setup.exitCode(), 0);
}

// A loopback port of the driver's own: bound but not listening, it refuses
// connections as a closed port does; once it listens, the system takes each
// connection and nobody ever answers, so a run waits for the service.
class SilentPort {
  public:
    SilentPort() {
        WSADATA data;
        started_ = WSAStartup(MAKEWORD(2, 2), &data) == 0;
        socket_ = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        sockaddr_in address = {};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        int length = sizeof address;
        bound_ = socket_ != INVALID_SOCKET &&
                 bind(socket_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
                 getsockname(socket_, reinterpret_cast<sockaddr*>(&address), &length) == 0;
        port_ = ntohs(address.sin_port);
    }
    ~SilentPort() {
        if (socket_ != INVALID_SOCKET) {
            closesocket(socket_);
        }
        if (started_) {
            WSACleanup();
        }
    }
    SilentPort(const SilentPort&) = delete;
    SilentPort& operator=(const SilentPort&) = delete;

    bool bound() const { return bound_; }
    std::string url() const { return "http://127.0.0.1:" + std::to_string(port_); }
    bool listenSilently() { return listen(socket_, 8) == 0; }

  private:
    bool started_ = false;
    bool bound_ = false;
    SOCKET socket_ = INVALID_SOCKET;
    unsigned short port_ = 0;
};

// The keyboard alone. On the failure screen Enter presses the focused "Try
// Again"; the new run hides it and the focus is on "Cancel", not on the
// hidden button or the bare window; Space there ends the program. The first
// run meets a closed port; the second finds the port listening and waits
// for an answer that never comes, so it is still going when Space is pressed.
TEST_F(BlackBoxTest, TheKeyboardAloneTriesAgainAndCancels) {
    SilentPort port;
    ASSERT_TRUE(port.bound());
    SetupProcess setup(port.url(), temp(), record());
    ASSERT_TRUE(setup.started());
    ASSERT_NE(setup.window(), nullptr);
    const std::wstring prefix = L"Orva could not be downloaded. ";
    ASSERT_TRUE(waitFor([&] {
        return setup.text(kStatusLabel).starts_with(prefix) &&
               setup.text(kRightButton) == L"Close" && setup.focus() == kTryAgainButton;
    })) << wideToUtf8(setup.text(kStatusLabel))
        << ", focus " << setup.focus();

    ASSERT_TRUE(port.listenSilently());
    setup.pressKey(VK_RETURN);
    // The new run's first status replaces the failure.
    ASSERT_TRUE(waitFor([&] {
        return !setup.text(kStatusLabel).starts_with(prefix) && setup.focus() == kRightButton;
    })) << wideToUtf8(setup.text(kStatusLabel))
        << ", focus " << setup.focus();
    EXPECT_EQ(setup.text(kStatusLabel), L"Finding the newest version of Orva...");
    EXPECT_FALSE(setup.visible(kTryAgainButton));
    EXPECT_EQ(setup.text(kRightButton), L"Cancel");
    setup.screenshot("keyboard-cancel-focused");

    setup.pressKey(VK_SPACE);
    EXPECT_EQ(setup.exitCode(), 0);
    EXPECT_TRUE(recordedStarts(record()).empty());
}

TEST_F(BlackBoxTest, ReferenceServiceOverHttpsWithATrustedAuthority) {
    if (!testing::testAuthorityTrusted()) {
        GTEST_SKIP() << "the test authority can be trusted only as root";
    }
    SetupProcess setup(testing::testServerUrl("ORVA_TEST_NGINX_URL"), temp(), record());
    ASSERT_TRUE(setup.started());
    EXPECT_EQ(setup.exitCode(), 0);
    expectInstallerStarted();
}

TEST_F(BlackBoxTest, ReferenceServiceWithAnUntrustedCertificateIsRefused) {
    SetupProcess setup(testing::testServerUrl("ORVA_TEST_NGINX_UNTRUSTED_URL"), temp(), record());
    ASSERT_TRUE(setup.started());
    ASSERT_NE(setup.window(), nullptr);
    const std::wstring prefix = L"Orva could not be downloaded. ";
    ASSERT_TRUE(waitFor([&] {
        return setup.text(kStatusLabel).starts_with(prefix) && setup.text(kRightButton) == L"Close";
    }));
    const std::string reason = wideToUtf8(setup.text(kStatusLabel).substr(prefix.size()));
    // Windows reports an unknown authority as a certificate failure; Wine's
    // WinHTTP reports error 12157, which has the general sentence.
    EXPECT_TRUE(reason ==
                    "The connection to 127.0.0.1 could not be secured (is the computer's "
                    "clock right?)." ||
                reason == "The request to 127.0.0.1 failed (WinHTTP error 12157).")
        << reason;
    EXPECT_TRUE(fs::is_empty(temp())) << "nothing was downloaded, no folder made";
    setup.screenshot("untrusted");
    setup.press(kRightButton);
    EXPECT_EQ(setup.exitCode(), 0);
}

// Runs without the shell's taskbar object: ctest runs these as
// blackbox_without_taskbar_test with Wine's explorerframe.dll, which holds
// CLSID_TaskbarList, disabled for every process (CMakeLists.txt).
class WithoutTaskbarTest : public BlackBoxTest {
  protected:
    void SetUp() override {
        BlackBoxTest::SetUp();
        const char* taskbar = std::getenv("ORVA_TEST_TASKBAR");
        if (taskbar == nullptr || std::string(taskbar) != "absent") {
            GTEST_SKIP() << "run as blackbox_without_taskbar_test";
        }
    }
};

// The program's whole run works as ever when the interface is not there.
TEST_F(WithoutTaskbarTest, DownloadsAndStartsTheInstaller) {
    // The interface really is missing for the processes of this run.
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    ITaskbarList3* taskbar = nullptr;
    const HRESULT created =
        CoCreateInstance(__uuidof(TaskbarList), nullptr, CLSCTX_INPROC_SERVER,
                         __uuidof(ITaskbarList3), reinterpret_cast<void**>(&taskbar));
    if (taskbar != nullptr) {
        taskbar->Release();
    }
    CoUninitialize();
    ASSERT_TRUE(FAILED(created)) << "the shell's taskbar object could be made";

    SetupProcess setup(scripted("good", "fake_installer.exe"), temp(), record());
    ASSERT_TRUE(setup.started());
    EXPECT_EQ(setup.exitCode(), 0);
    expectInstallerStarted();
}

// Runs with temporary folders that tests/blackbox/with-hostile-temp.sh has
// prepared from the Unix side (links, a folder of another user); ctest runs
// these as blackbox_hostile_temp_test.
class HostileTempTest : public BlackBoxTest {
  protected:
    fs::path hostile() {
        const char* folder = std::getenv("ORVA_TEST_HOSTILE_TEMP");
        return folder == nullptr ? fs::path() : fs::path(utf8ToWide(folder)).make_preferred();
    }
    void SetUp() override {
        BlackBoxTest::SetUp();
        if (hostile().empty()) {
            GTEST_SKIP() << "run through tests/blackbox/with-hostile-temp.sh";
        }
    }
};

// Links planted at the installer's name and at the partial file's former
// name in the program's own folder: the files they point to stay as they
// were, and the installer that starts is the published one.
TEST_F(HostileTempTest, LinksInThePrivateFolderAreReplacedNotFollowed) {
    const fs::path links = hostile() / "links";
    const fs::path folder = links / "temp" / "Orva Setup";
    const std::string installerVictim = testing::readTestFile(links / "victim-installer");
    const std::string partVictim = testing::readTestFile(links / "victim-part");

    SetupProcess setup(scripted("good", "fake_installer.exe"), links / "temp", record());
    ASSERT_TRUE(setup.started());
    ASSERT_EQ(setup.exitCode(std::chrono::seconds(20)), 0) << wideToUtf8(setup.text(kStatusLabel));
    expectInstallerStarted(folder);

    EXPECT_EQ(testing::readTestFile(links / "victim-installer"), installerVictim)
        << "written or deleted through the link at the installer's name";
    EXPECT_EQ(testing::readTestFile(links / "victim-part"), partVictim)
        << "written or deleted through the link at the partial name";
    EXPECT_EQ(fileSha256Hex((folder / "Orva-Setup-2.4.1.exe").wstring()), fakeInstallerDigest());
}

// The program's folder name is a link to a folder of the user's own: the
// link is not followed (the installer would land wherever it points); this
// run uses a fresh folder of its own, and the linked folder stays empty.
TEST_F(HostileTempTest, ALinkAtTheFoldersNameIsNotFollowed) {
    const fs::path temp = hostile() / "folder-link" / "temp";
    SetupProcess setup(scripted("good", "fake_installer.exe"), temp, record());
    ASSERT_TRUE(setup.started());
    ASSERT_EQ(setup.exitCode(std::chrono::seconds(20)), 0) << wideToUtf8(setup.text(kStatusLabel));
    EXPECT_TRUE(fs::is_empty(hostile() / "folder-link" / "own")) << "written through the link";
    std::vector<fs::path> fresh;
    for (const auto& entry : fs::directory_iterator(temp)) {
        if (entry.path().filename() != L"Orva Setup") {
            fresh.push_back(entry.path());
        }
    }
    ASSERT_EQ(fresh.size(), 1u) << "one new folder";
    expectInstallerStarted(fresh[0]);
}

// The program's folder name is taken by a folder of another user: this run
// uses a fresh folder of its own and leaves the other one alone.
TEST_F(HostileTempTest, AFolderOfAnotherUserIsNotUsed) {
    const fs::path temp = hostile() / "foreign" / "temp";
    if (!fs::exists(temp)) {
        GTEST_SKIP() << "a folder of another user can be made only as root";
    }
    SetupProcess setup(scripted("good", "fake_installer.exe"), temp, record());
    ASSERT_TRUE(setup.started());
    ASSERT_EQ(setup.exitCode(std::chrono::seconds(20)), 0) << wideToUtf8(setup.text(kStatusLabel));

    std::vector<fs::path> fresh;
    for (const auto& entry : fs::directory_iterator(temp)) {
        if (entry.path().filename() != L"Orva Setup") {
            fresh.push_back(entry.path());
        }
    }
    ASSERT_EQ(fresh.size(), 1u) << "one new folder";
    const std::wstring name = fresh[0].filename().wstring();
    EXPECT_TRUE(name.starts_with(L"Orva Setup ") && name.size() == 11 + 16) << fresh[0];
    expectInstallerStarted(fresh[0]);
    std::vector<fs::path> left;
    for (const auto& entry : fs::directory_iterator(temp / "Orva Setup")) {
        left.push_back(entry.path().filename());
    }
    EXPECT_EQ(left, std::vector<fs::path>{"keep.txt"}) << "the other user's folder is untouched";
}

}  // namespace
}  // namespace orva
