// The temporary folder and the names of the installer's files.
#include "download/installer_file.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <string>

namespace orva {
namespace {

TEST(JoinPath, AddsOneSeparatorOnlyWhereNeeded) {
    struct Case {
        std::wstring folder, name, joined;
    };
    const Case kCases[] = {
        {L"C:\\Temp", L"Orva-Setup-1.0.0.exe", L"C:\\Temp\\Orva-Setup-1.0.0.exe"},
        {L"C:\\Temp\\", L"Orva-Setup-1.0.0.exe", L"C:\\Temp\\Orva-Setup-1.0.0.exe"},
        {L"C:/Temp/", L"Orva-Setup-1.0.0.exe", L"C:/Temp/Orva-Setup-1.0.0.exe"},
        {L"", L"Orva-Setup-1.0.0.exe", L"Orva-Setup-1.0.0.exe"},
        {L"C:\\Temp", L"", L"C:\\Temp"},
    };
    for (const Case& c : kCases) {
        EXPECT_EQ(joinPath(c.folder, c.name), c.joined) << c.folder << L" + " << c.name;
    }
    ReleaseInfo release;
    release.version = "10.0.3";
    EXPECT_EQ(installerPathFor(L"C:\\Temp\\", release), L"C:\\Temp\\Orva-Setup-10.0.3.exe");
}

TEST(TemporaryFolder, UsableOnlyUpTo260Units) {
    std::wstring folder;
    ASSERT_TRUE(temporaryFolder(folder));
    EXPECT_FALSE(folder.empty());

    // GetTempPathW takes TMP first: a longer path does not fit.
    wchar_t saved[1024] = {};
    const DWORD savedLength = GetEnvironmentVariableW(L"TMP", saved, 1024);
    const std::wstring tooLong = L"C:\\" + std::wstring(300, L'a');
    SetEnvironmentVariableW(L"TMP", tooLong.c_str());
    std::wstring none = L"unchanged";
    EXPECT_FALSE(temporaryFolder(none));
    SetEnvironmentVariableW(L"TMP", savedLength > 0 ? saved : nullptr);
}

}  // namespace
}  // namespace orva
