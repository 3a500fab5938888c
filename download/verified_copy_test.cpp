// Hashing files in pieces, and taking a copy on the disk only when it is exactly the release.
#include "download/verified_copy.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <filesystem>
#include <string>

#include "common/win32_handles.h"
#include "download/file_system.h"
#include "download/installer_test_support.h"
#include "tests/support/temp_folder.h"
#include "tests/support/test_data.h"

namespace orva {
namespace {

// The helpers of installer_test_support.h and the test support.
using namespace testing;

TEST(FileSha256Hex, HashesWholeFilesInPieces) {
    TempFolder folder;
    // Just over two hashing pieces, so the last piece is short.
    std::string large((2 << 20) + 123, '\0');
    for (std::size_t i = 0; i < large.size(); ++i) {
        large[i] = static_cast<char>(i * 7 + i / 4096);
    }
    writeFile(folder.file("large"), large);
    writeFile(folder.file("abc"), "abc");
    writeFile(folder.file("empty"), "");

    EXPECT_EQ(fileSha256Hex(folder.file("large").wstring()), hexOf(large));
    EXPECT_EQ(fileSha256Hex(folder.file("abc").wstring()),
              "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    // Neither an empty nor a missing file has a digest that could match.
    EXPECT_EQ(fileSha256Hex(folder.file("empty").wstring()), "");
    EXPECT_EQ(fileSha256Hex(folder.file("missing").wstring()), "");
    EXPECT_EQ(fileSha256Hex(folder.path().wstring()), "");
}

TEST(IsVerifiedCopy, OnlyAFileOfTheRightSizeAndDigest) {
    TempFolder folder;
    const std::string installer = "MZ pretend installer bytes";
    const ReleaseInfo release = releaseFor(installer);
    const auto path = folder.file("Orva-Setup-2.4.1.exe");

    EXPECT_FALSE(isVerifiedCopy(path.wstring(), release)) << "missing";
    std::filesystem::create_directory(path);
    EXPECT_FALSE(isVerifiedCopy(path.wstring(), release)) << "a folder";
    std::filesystem::remove(path);

    writeFile(path, installer + "x");
    EXPECT_FALSE(isVerifiedCopy(path.wstring(), release)) << "one byte longer";
    std::string changed = installer;
    changed[3] ^= 0x20;
    writeFile(path, changed);
    EXPECT_FALSE(isVerifiedCopy(path.wstring(), release)) << "one byte changed";
    EXPECT_EQ(readAll(path), changed) << "a wrong copy is left alone";

    writeFile(path, installer);
    EXPECT_TRUE(isVerifiedCopy(path.wstring(), release));
    ReleaseInfo upperCase = release;
    for (char& c : upperCase.sha256)
        c = static_cast<char>(toupper(c));
    EXPECT_FALSE(isVerifiedCopy(path.wstring(), upperCase)) << "digest compared exactly";

    writeFile(path, "");
    EXPECT_FALSE(isVerifiedCopy(path.wstring(), releaseFor(""))) << "empty file, size 0";
}

// The check and the launch hold the installer: from the check on, nobody
// else can write, rename or delete it until the handle is given up.
TEST(OpenVerifiedCopy, HoldsTheCheckedFileAgainstChanges) {
    TempFolder folder;
    const std::string installer = "MZ pretend installer bytes";
    const auto path = folder.file("Orva-Setup-2.4.1.exe");
    writeFile(path, installer);
    {
        const FileHandle held = openVerifiedCopy(path.wstring(), releaseFor(installer));
        ASSERT_TRUE(held);
        expectHeldAgainstChanges(path, FILE_SHARE_READ | FILE_SHARE_DELETE);
        EXPECT_FALSE(MoveFileExW(folder.file("other").wstring().c_str(), path.wstring().c_str(),
                                 MOVEFILE_REPLACE_EXISTING));
    }
    EXPECT_EQ(openError(path, GENERIC_WRITE, kShareAll), 0u) << "free again once released";
    EXPECT_EQ(readAll(path), installer);

    // A file that someone holds open for writing is no copy to rely on.
    const FileHandle writer(CreateFileW(path.wstring().c_str(), GENERIC_WRITE, kShareAll, nullptr,
                                        OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(writer);
    EXPECT_FALSE(openVerifiedCopy(path.wstring(), releaseFor(installer)));
}

// A scanner that opens the file for a moment (here for writing, for 20 ms) is
// waited out; the copy is then taken.
TEST(OpenVerifiedCopy, WaitsOutAProgramThatHasTheFileOpenForAMoment) {
    TempFolder folder;
    const std::string installer = "MZ pretend installer bytes";
    const auto path = folder.file("Orva-Setup-2.4.1.exe");
    writeFile(path, installer);
    HANDLE scanner = CreateFileW(path.wstring().c_str(), GENERIC_WRITE, kShareAll, nullptr,
                                 OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(scanner, INVALID_HANDLE_VALUE);
    const KernelHandle closer(CreateThread(
        nullptr, 0,
        [](void* handle) -> DWORD {
            Sleep(20);
            CloseHandle(static_cast<HANDLE>(handle));
            return 0;
        },
        scanner, 0, nullptr));
    ASSERT_TRUE(closer);
    EXPECT_TRUE(openVerifiedCopy(path.wstring(), releaseFor(installer)));
    WaitForSingleObject(closer.get(), INFINITE);
}

}  // namespace
}  // namespace orva
