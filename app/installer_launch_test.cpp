// windowsErrorText and its trimming, and launchInstaller's result with the
// launch-failed screen it leads to, on the real window's labels.

#include "app/installer_launch.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "app/app_state.h"
#include "app/main_window.h"
#include "app/window_test_support.h"

namespace orva {

namespace {

using testing::control;
using testing::ensureMainWindow;
using testing::windowText;

TEST(TrimTrailingBreaks, RemovesOnlyLineBreaksAndSpacesAtTheEnd) {
    struct Case {
        const wchar_t* text;
        const wchar_t* trimmed;
    };
    const Case cases[] = {
        // A system message ends in a full stop and CR LF; the full stop stays.
        {L"The system cannot find the file specified.\r\n",
         L"The system cannot find the file specified."},
        {L"Access is denied. \r\n \n\r", L"Access is denied."},
        // Only breaks and spaces: nothing is left.
        {L" \r\n  \n", L""},
        {L"", L""},
        // Leading and inner breaks and spaces, and other white space, stay.
        {L"\r\n Two\r\nlines", L"\r\n Two\r\nlines"},
        {L"Tab\t", L"Tab\t"},
        {L"Windows error 5.", L"Windows error 5."},
    };
    for (const Case& row : cases) {
        EXPECT_EQ(trimTrailingBreaks(row.text), row.trimmed) << row.text;
    }
}

// The system's own text: Windows says "The system cannot find the file
// specified.", Wine says "File not found."; either way the line break that
// ends the system's text is gone and its full stop stays.
TEST(WindowsErrorText, KnownCodeGivesTheSystemTextTrimmed) {
    const std::wstring text = windowsErrorText(ERROR_FILE_NOT_FOUND);
    EXPECT_TRUE(text == L"The system cannot find the file specified." || text == L"File not found.")
        << text;
}

TEST(WindowsErrorText, CodeWithoutSystemTextGivesTheDecimalCode) {
    struct Case {
        std::uint32_t code;
        const wchar_t* text;
    };
    // Bit 29 marks codes that applications define; the system has no text
    // for them.
    const Case cases[] = {
        {0x20000000, L"Windows error 536870912."},
        {0x2000ABCD, L"Windows error 536914893."},
        {0xFFFFFFFF, L"Windows error 4294967295."},
    };
    for (const Case& row : cases) {
        EXPECT_EQ(windowsErrorText(row.code), row.text) << row.code;
    }
}

class LaunchInstallerTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { ensureMainWindow(); }

    static std::wstring tempFolder() {
        wchar_t path[MAX_PATH + 1];
        const DWORD length = GetTempPathW(MAX_PATH + 1, path);
        return std::wstring(path, length);
    }
};

TEST_F(LaunchInstallerTest, MissingFileSaysWhyAndWhere) {
    const std::wstring path = tempFolder() + L"Orva-Setup-no-such-version.exe";
    DeleteFileW(path.c_str());
    SetWindowTextW(control(kIdDetailLabel), L"12.0 MB of 12.0 MB");

    const LaunchResult launch = launchInstaller(path, g_mainWindow);
    EXPECT_FALSE(launch.started);
    EXPECT_EQ(launch.windowsError, static_cast<std::uint32_t>(ERROR_FILE_NOT_FOUND));
    showLaunchFailed(path, launch.windowsError);
    EXPECT_EQ(windowText(control(kIdStatusLabel)), L"The installer could not be started.");
    EXPECT_EQ(windowText(control(kIdDetailLabel)),
              windowsErrorText(ERROR_FILE_NOT_FOUND) + L" It is " + path);
}

// A file named .exe that is not a program. Windows reports error 193 as
// "%1 is not a valid Win32 application."; Wine's text for it is "Bad EXE
// format for %1.". Inserts are not expanded, so "%1" stays in either.
TEST_F(LaunchInstallerTest, FileThatIsNoProgramSaysWhyAndWhere) {
    const std::wstring path = tempFolder() + L"Orva-Setup-not-a-program.exe";
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    const char text[] = "This is a text file, not a program.\r\n";
    DWORD written = 0;
    WriteFile(file, text, sizeof text - 1, &written, nullptr);
    CloseHandle(file);

    const LaunchResult launch = launchInstaller(path, g_mainWindow);
    DeleteFileW(path.c_str());
    EXPECT_FALSE(launch.started);
    EXPECT_EQ(launch.windowsError, static_cast<std::uint32_t>(ERROR_BAD_EXE_FORMAT));
    showLaunchFailed(path, launch.windowsError);
    EXPECT_EQ(windowText(control(kIdStatusLabel)), L"The installer could not be started.");
    const std::wstring detail = windowText(control(kIdDetailLabel));
    EXPECT_TRUE(detail == L"%1 is not a valid Win32 application. It is " + path ||
                detail == L"Bad EXE format for %1. It is " + path)
        << detail;
}

}  // namespace
}  // namespace orva
