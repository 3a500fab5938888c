// The program's own folder in the temporary folder: which folder a run takes,
// who owns it, and what the tidying after a run removes. The cases that need
// an elevated token or the owners and DACLs Windows keeps run only in the
// documented-Windows mode (private_folder_test_documented_windows).
#include "download/private_folder.h"

#include <gtest/gtest.h>
// clang-format off
#include <windows.h>
#include <aclapi.h>  // these need <windows.h> first
#include <sddl.h>
// clang-format on

#include <filesystem>
#include <string>
#include <vector>

#include "common/current_user.h"
#include "common/win32_handles.h"
#include "tests/support/documented_windows.h"
#include "tests/support/temp_folder.h"
#include "tests/support/test_data.h"

namespace orva {
namespace {

namespace fs = std::filesystem;
using testing::TempFolder;
using testing::writeFile;

std::string readAll(const fs::path& path) {
    return testing::readTestFile(path);
}

// The folder of the program's own, and what happens when its name is taken.
TEST(PrivateFolder, CreatedOnceReusedAndReplacedWhenTheNameIsNotOurs) {
    TempFolder temp;
    const std::wstring expected = temp.file("Orva Setup").wstring();
    std::wstring folder;
    ASSERT_TRUE(privateFolder(temp.path().wstring(), folder));
    EXPECT_EQ(folder, expected);
    EXPECT_TRUE(std::filesystem::is_directory(folder));
    writeFile(std::filesystem::path(folder) / "Orva-Setup-2.4.1.exe", "kept");
    ASSERT_TRUE(privateFolder(temp.path().wstring(), folder));
    EXPECT_EQ(folder, expected) << "an earlier run's folder is reused";
    EXPECT_EQ(readAll(std::filesystem::path(folder) / "Orva-Setup-2.4.1.exe"), "kept");

    // A file bearing the name: a fresh folder for this run, the file untouched.
    TempFolder other;
    writeFile(other.file("Orva Setup"), "not a folder");
    std::wstring first;
    std::wstring second;
    ASSERT_TRUE(privateFolder(other.path().wstring(), first));
    ASSERT_TRUE(privateFolder(other.path().wstring(), second));
    EXPECT_EQ(readAll(other.file("Orva Setup")), "not a folder");
    for (const std::wstring& fresh : {first, second}) {
        const std::wstring prefix = other.file("Orva Setup ").wstring();
        EXPECT_EQ(fresh.substr(0, prefix.size()), prefix) << fresh;
        EXPECT_EQ(fresh.size(), prefix.size() + 16) << fresh;
        EXPECT_TRUE(std::filesystem::is_directory(fresh));
    }
    EXPECT_NE(first, second) << "never reused";
}

TEST(PrivateFolder, DescriptorGivesTheUserSystemAndAdministratorsAloneAccess) {
    const std::wstring sddl = privateFolderSddl(L"S-1-5-21-1-2-3-1001");
    EXPECT_EQ(sddl,
              L"O:S-1-5-21-1-2-3-1001"
              L"D:P(A;OICI;FA;;;S-1-5-21-1-2-3-1001)(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)");
    LocalMemory descriptor;
    ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl.c_str(), SDDL_REVISION_1,
                                                                     descriptor.put(), nullptr));
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    ASSERT_TRUE(GetSecurityDescriptorControl(descriptor.get(), &control, &revision));
    EXPECT_NE(control & SE_DACL_PROTECTED, 0) << "nothing inherited from the temporary folder";
    BOOL present = FALSE;
    BOOL defaulted = FALSE;
    PACL dacl = nullptr;
    ASSERT_TRUE(GetSecurityDescriptorDacl(descriptor.get(), &present, &dacl, &defaulted));
    ASSERT_TRUE(present && dacl != nullptr);
    EXPECT_EQ(dacl->AceCount, 3);
    PSID owner = nullptr;
    ASSERT_TRUE(GetSecurityDescriptorOwner(descriptor.get(), &owner, &defaulted));
    LocalText ownerText;
    ASSERT_TRUE(owner != nullptr && ConvertSidToStringSidW(owner, ownerText.put()));
    EXPECT_STREQ(ownerText.get(), L"S-1-5-21-1-2-3-1001") << "the user, also for an elevated run";
}

// The owner of |path| in string form.
std::wstring ownerOf(const std::wstring& path) {
    const FileHandle handle(CreateFileW(path.c_str(), READ_CONTROL, FILE_SHARE_READ, nullptr,
                                        OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    PSID owner = nullptr;
    LocalMemory descriptor;
    LocalText text;
    if (!handle ||
        GetSecurityInfo(handle.get(), SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr,
                        nullptr, nullptr, descriptor.put()) != ERROR_SUCCESS ||
        !ConvertSidToStringSidW(owner, text.put())) {
        return L"(unreadable)";
    }
    return text.get();
}

class PrivateFolderOnWindows : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!testing::documentedWindowsInstalled()) {
            GTEST_SKIP() << "runs as private_folder_test_documented_windows";
        }
    }
    void TearDown() override { testing::setDocumentedElevation(false); }
};

// "Run as administrator" first: the folder it makes is the user's all the
// same, and the next normal run takes it, with the installer in it.
TEST_F(PrivateFolderOnWindows, AnElevatedRunMakesTheFolderTheNormalRunsUse) {
    TempFolder temp;
    testing::setDocumentedElevation(true);
    std::wstring elevated;
    ASSERT_TRUE(privateFolder(temp.path().wstring(), elevated));
    EXPECT_EQ(ownerOf(elevated), currentUser().sid);
    writeFile(fs::path(elevated) / "Orva-Setup-2.4.1.exe", "kept");

    testing::setDocumentedElevation(false);
    std::wstring normal;
    ASSERT_TRUE(privateFolder(temp.path().wstring(), normal));
    EXPECT_EQ(normal, elevated);
    EXPECT_EQ(readAll(fs::path(normal) / "Orva-Setup-2.4.1.exe"), "kept");
    EXPECT_EQ(std::distance(fs::directory_iterator(temp.path()), fs::directory_iterator()), 1)
        << "no second folder";
}

// A folder an elevated run of an earlier version left to Administrators (or
// one SYSTEM made) is taken back when nobody else could reach it; one that
// others could write to is left alone for a fresh one.
TEST_F(PrivateFolderOnWindows, AFolderLeftToAdministratorsIsTakenBackIfNobodyElseCouldReachIt) {
    const std::wstring user = currentUser().sid;
    const std::wstring ours = L"(A;OICI;FA;;;" + user + L")(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)";
    struct Case {
        const wchar_t* name;
        std::wstring sddl;
        bool takenBack;
    };
    const Case kCases[] = {
        {L"left to Administrators", L"O:BAD:P" + ours, true},
        {L"made by SYSTEM", L"O:SYD:P" + ours, true},
        {L"others may write", L"O:BAD:P" + ours + L"(A;OICI;FA;;;BU)", false},
        {L"no DACL", L"O:BA", false},
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.name);
        TempFolder temp;
        const std::wstring name = temp.file("Orva Setup").wstring();
        testing::setDocumentedElevation(true);  // only an elevated token can name another owner
        LocalMemory descriptor;
        ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorW(
            c.sddl.c_str(), SDDL_REVISION_1, descriptor.put(), nullptr));
        SECURITY_ATTRIBUTES attributes{sizeof attributes, descriptor.get(), FALSE};
        ASSERT_TRUE(CreateDirectoryW(name.c_str(), &attributes));
        testing::setDocumentedElevation(false);

        std::wstring folder;
        ASSERT_TRUE(privateFolder(temp.path().wstring(), folder));
        EXPECT_EQ(folder == name, c.takenBack) << folder;
        EXPECT_EQ(ownerOf(name) == user, c.takenBack) << ownerOf(name);
    }
}

// Tidying after a run: other versions' installers go, unless in use; fresh
// folders of earlier runs go with what they hold of ours; nothing else is
// touched.
TEST(TidyPrivateFolders, DeletesWhatNoRunWillUseAndNothingElse) {
    TempFolder temp;
    const fs::path own = temp.path() / "Orva Setup";
    fs::create_directory(own);
    const char* kLeft[] = {"Orva-Setup-2.4.1.exe", "notes.txt", "Orva-Setup-beta.exe",
                           "Orva-Setup-2.3.0.exe"};
    for (const char* name : kLeft) {
        writeFile(own / name, name);
    }
    writeFile(own / "Orva-Setup-2.4.0.exe", "older");
    writeFile(own / "Orva-Setup-3.0.0.exe", "withdrawn");
    // In use: a reader has it open, as the loader has a running installer.
    const FileHandle reader(CreateFileW((own / "Orva-Setup-2.3.0.exe").wstring().c_str(),
                                        GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                                        OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(reader);

    const fs::path spent = temp.path() / "Orva Setup 0123456789abcdef";
    const fs::path mixed = temp.path() / "Orva Setup fedcba9876543210";
    const fs::path busy = temp.path() / "Orva Setup 0000000000000001";
    const fs::path notOurs = temp.path() / "Orva Setup copy";
    for (const fs::path& folder : {spent, mixed, busy, notOurs}) {
        fs::create_directory(folder);
        writeFile(folder / "Orva-Setup-2.3.0.exe", "old");
    }
    writeFile(spent / "Orva-Setup-2.3.0.exe.0123456789abcdef.part", "part");
    writeFile(mixed / "keep.txt", "the user's");
    // A download in progress in another session: its partial file is open.
    const fs::path running = busy / "Orva-Setup-2.4.1.exe.00000000000000aa.part";
    writeFile(running, "part");
    const FileHandle download(CreateFileW(running.wstring().c_str(),
                                          GENERIC_READ | GENERIC_WRITE | DELETE, FILE_SHARE_READ,
                                          nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(download);

    tidyPrivateFolders(temp.path().wstring(), own.wstring(),
                       (own / "Orva-Setup-2.4.1.exe").wstring());

    std::vector<std::string> left;
    for (const auto& entry : fs::directory_iterator(own)) {
        left.push_back(entry.path().filename().string());
    }
    std::sort(left.begin(), left.end());
    EXPECT_EQ(left, (std::vector<std::string>{"Orva-Setup-2.3.0.exe", "Orva-Setup-2.4.1.exe",
                                              "Orva-Setup-beta.exe", "notes.txt"}));
    EXPECT_EQ(readAll(own / "Orva-Setup-2.4.1.exe"), "Orva-Setup-2.4.1.exe");
    EXPECT_FALSE(fs::exists(spent));
    EXPECT_TRUE(fs::exists(mixed / "keep.txt"));
    EXPECT_FALSE(fs::exists(mixed / "Orva-Setup-2.3.0.exe"));
    EXPECT_TRUE(fs::exists(running)) << "a download in progress";
    EXPECT_TRUE(fs::exists(notOurs / "Orva-Setup-2.3.0.exe")) << "not a name a run gives";
}

TEST(IsInstallerFileName, OnlyTheNameOfAVersionsInstaller) {
    struct Case {
        const wchar_t* name;
        bool installer;
    };
    const Case kCases[] = {
        {L"Orva-Setup-2.4.1.exe", true},  {L"Orva-Setup-10.0.3.exe", true},
        {L"Orva-Setup-2.4.exe", false},  // not a version
        {L"Orva-Setup-.exe", false},      {L"Orva-Setup-2.4.1.exe.0123456789abcdef.part", false},
        {L"orva-setup-2.4.1.txt", false}, {L"Orva-Setup.exe", false},
    };
    for (const Case& c : kCases) {
        EXPECT_EQ(isInstallerFileName(c.name), c.installer) << c.name;
    }
}

}  // namespace
}  // namespace orva
