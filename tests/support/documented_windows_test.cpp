// The documented-Windows test mode answers as Windows documents, each case
// here against Microsoft's text (docs/windows-behaviour.md). Under plain Wine 8
// the first and the last case fail: that is what the mode is for.
#include "tests/support/documented_windows.h"

#include <gtest/gtest.h>
// clang-format off
#include <windows.h>
#include <aclapi.h>  // these need <windows.h> first
#include <sddl.h>
// clang-format on

#include <filesystem>
#include <string>

#include "common/win32_handles.h"
#include "download/file_system.h"
#include "tests/support/temp_folder.h"

namespace orva::testing {
namespace {

namespace fs = std::filesystem;

class DocumentedWindows : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(installDocumentedWindows());
        setDocumentedElevation(false);
    }
    void TearDown() override { setDocumentedElevation(false); }
    TempFolder folder;
};

DWORD openError(const std::wstring& path) {
    const FileHandle file(CreateFileW(path.c_str(), GENERIC_READ,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, 0, nullptr));
    return file ? 0 : GetLastError();
}

// MS-FSA 2.1.5.12.27: a file marked for deletion counts only its links that
// are not deleted, and says it is pending deletion; it opens for nobody by
// name, and goes when its last handle closes.
TEST_F(DocumentedWindows, AFileMarkedForDeletionHasNoLinksAndOpensForNobody) {
    const std::wstring path = folder.file("marked.exe").wstring();
    FileHandle file(CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE | DELETE,
                                FILE_SHARE_READ, nullptr, CREATE_NEW, 0, nullptr));
    ASSERT_TRUE(file);
    ASSERT_TRUE(markForDeletion(file.get(), true));

    BY_HANDLE_FILE_INFORMATION info{};
    ASSERT_TRUE(GetFileInformationByHandle(file.get(), &info));
    EXPECT_EQ(info.nNumberOfLinks, 0u);
    FILE_STANDARD_INFO standard{};
    ASSERT_TRUE(
        GetFileInformationByHandleEx(file.get(), FileStandardInfo, &standard, sizeof standard));
    EXPECT_EQ(standard.NumberOfLinks, 0u);
    EXPECT_TRUE(standard.DeletePending);

    EXPECT_EQ(openError(path), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    const FileHandle again(ReOpenFile(file.get(), GENERIC_READ, FILE_SHARE_READ, 0));
    EXPECT_FALSE(again);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_FALSE(DeleteFileW(path.c_str()));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_FALSE(MoveFileExW(path.c_str(), folder.file("moved.exe").wstring().c_str(), 0));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));

    // The mark taken back: an ordinary file again.
    ASSERT_TRUE(markForDeletion(file.get(), false));
    ASSERT_TRUE(GetFileInformationByHandle(file.get(), &info));
    EXPECT_EQ(info.nNumberOfLinks, 1u);
    EXPECT_EQ(openError(path), 0u);

    // Marked again and closed: gone, and the name is free for a new file
    // that carries nothing of the old one's mark.
    ASSERT_TRUE(markForDeletion(file.get(), true));
    file.reset();
    EXPECT_FALSE(fs::exists(path));
    const FileHandle fresh(CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ,
                                       nullptr, CREATE_NEW, 0, nullptr));
    ASSERT_TRUE(fresh);
    ASSERT_TRUE(GetFileInformationByHandle(fresh.get(), &info));
    EXPECT_EQ(info.nNumberOfLinks, 1u);
}

// MS-FSCC FileRenameInformation: STATUS_ACCESS_DENIED when "the target file
// was open and ReplaceIfExists is nonzero", by name or through the handle.
// Wine 8 refuses as well; the mode adds nothing here.
TEST_F(DocumentedWindows, AReplacingRenameOntoAnOpenTargetIsRefused) {
    const std::wstring target = folder.file("target.exe").wstring();
    writeFile(target, "held");
    const FileHandle held(CreateFileW(target.c_str(), GENERIC_READ,
                                      FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                      0, nullptr));
    ASSERT_TRUE(held);

    const std::wstring source = folder.file("source.part").wstring();
    writeFile(source, "new");
    EXPECT_FALSE(MoveFileExW(source.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));

    const FileHandle file(CreateFileW(source.c_str(), GENERIC_READ | DELETE, FILE_SHARE_READ,
                                      nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(file);
    std::wstring buffer(sizeof(FILE_RENAME_INFO) / sizeof(wchar_t) + target.size() + 1, L'\0');
    auto* rename = reinterpret_cast<FILE_RENAME_INFO*>(buffer.data());
    rename->ReplaceIfExists = TRUE;
    rename->FileNameLength = static_cast<DWORD>(target.size() * sizeof(wchar_t));
    target.copy(rename->FileName, target.size());
    EXPECT_FALSE(SetFileInformationByHandle(file.get(), FileRenameInfo, rename,
                                            static_cast<DWORD>(buffer.size() * sizeof(wchar_t))));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
}

std::wstring ownerOf(const std::wstring& path) {
    const FileHandle handle(CreateFileW(path.c_str(), READ_CONTROL, FILE_SHARE_READ, nullptr,
                                        OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    PSID owner = nullptr;
    LocalMemory descriptor;
    if (!handle || GetSecurityInfo(handle.get(), SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &owner,
                                   nullptr, nullptr, nullptr, descriptor.put()) != ERROR_SUCCESS) {
        return L"(unreadable)";
    }
    LocalText text;
    return ConvertSidToStringSidW(owner, text.put()) ? std::wstring(text.get()) : L"(no SID)";
}

std::wstring userSid() {
    KernelHandle token;
    OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.put());
    alignas(TOKEN_USER) std::uint8_t buffer[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE] = {};
    DWORD length = 0;
    GetTokenInformation(token.get(), TokenUser, buffer, sizeof buffer, &length);
    LocalText text;
    ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(buffer)->User.Sid, text.put());
    return text.get();
}

bool tokenElevated() {
    KernelHandle token;
    OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.put());
    TOKEN_ELEVATION elevation{};
    DWORD length = 0;
    return GetTokenInformation(token.get(), TokenElevation, &elevation, sizeof elevation,
                               &length) &&
           elevation.TokenIsElevated != 0;
}

// "Owner of a New Object": the token's default owner, Administrators for an
// elevated administrator, unless the descriptor names one; a normal token
// can make only its user the owner.
TEST_F(DocumentedWindows, AnElevatedTokenGivesNewFoldersToAdministrators) {
    const std::wstring user = userSid();
    EXPECT_FALSE(tokenElevated());
    setDocumentedElevation(true);
    EXPECT_TRUE(tokenElevated());

    const std::wstring plain = folder.file("plain").wstring();
    ASSERT_TRUE(CreateDirectoryW(plain.c_str(), nullptr));
    EXPECT_EQ(ownerOf(plain), L"S-1-5-32-544");

    const std::wstring named = folder.file("named").wstring();
    LocalMemory descriptor;
    ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorW(
        (L"O:" + user + L"D:P(A;OICI;FA;;;" + user + L")").c_str(), SDDL_REVISION_1,
        descriptor.put(), nullptr));
    SECURITY_ATTRIBUTES attributes{sizeof attributes, descriptor.get(), FALSE};
    ASSERT_TRUE(CreateDirectoryW(named.c_str(), &attributes));
    EXPECT_EQ(ownerOf(named), user);

    setDocumentedElevation(false);
    const FileHandle handle(CreateFileW(plain.c_str(), READ_CONTROL | WRITE_OWNER, FILE_SHARE_READ,
                                        nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS,
                                        nullptr));
    ASSERT_TRUE(handle);
    PSID administrators = nullptr;
    ASSERT_TRUE(ConvertStringSidToSidW(L"S-1-5-32-544", &administrators));
    EXPECT_EQ(SetSecurityInfo(handle.get(), SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION,
                              administrators, nullptr, nullptr, nullptr),
              static_cast<DWORD>(ERROR_INVALID_OWNER));
    LocalFree(administrators);
    PSID own = nullptr;
    ASSERT_TRUE(ConvertStringSidToSidW(user.c_str(), &own));
    EXPECT_EQ(SetSecurityInfo(handle.get(), SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, own,
                              nullptr, nullptr, nullptr),
              static_cast<DWORD>(ERROR_SUCCESS));
    LocalFree(own);
    EXPECT_EQ(ownerOf(plain), user);
}

}  // namespace
}  // namespace orva::testing
