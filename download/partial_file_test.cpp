// The partial file: fresh names, the deletion mark, resuming, writing behind, putting in place.
#include "download/partial_file.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <filesystem>
#include <iterator>
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

TEST(PartialFile, CreatesOnlyNamesThatDidNotExist) {
    TempFolder folder;
    const auto existing = folder.file("Orva-Setup-2.4.1.exe.part");
    writeFile(existing, "somebody else's file");
    std::filesystem::create_directory(folder.file("taken.part"));
    for (const auto& taken : {existing, folder.file("taken.part")}) {
        PartialFile file;
        EXPECT_FALSE(file.open(taken.wstring())) << taken;
        EXPECT_TRUE(file.failed());
        EXPECT_FALSE(file.write("x", 1));
    }
    EXPECT_EQ(readAll(existing), "somebody else's file") << "neither opened nor deleted";
    EXPECT_TRUE(std::filesystem::is_directory(folder.file("taken.part")));

    // create() picks a fresh random name next to the installer's.
    const std::wstring installer = folder.file("Orva-Setup-2.4.1.exe").wstring();
    PartialFile first;
    PartialFile second;
    ASSERT_TRUE(first.create(installer));
    ASSERT_TRUE(second.create(installer));
    EXPECT_NE(first.path(), second.path());
    for (const PartialFile* file : {&first, &second}) {
        const std::wstring& name = file->path();
        ASSERT_EQ(name.size(), installer.size() + 1 + 16 + 5) << name;
        EXPECT_EQ(name.substr(0, installer.size() + 1), installer + L".");
        EXPECT_EQ(name.find_first_not_of(L"0123456789abcdef", installer.size() + 1),
                  installer.size() + 17)
            << name;
        EXPECT_TRUE(name.ends_with(L".part"));
    }
}

// From its creation the system is to delete the file when its handle closes,
// so that no end of the process (the window closed during a transfer, a
// crash, a kill) leaves a part behind; meanwhile nobody else can open it.
TEST(PartialFile, MarkedForDeletionAndClosedToOthersWhileItIsWritten) {
    TempFolder folder;
    const auto path = folder.file("download.part");
    PartialFile file;
    ASSERT_TRUE(file.open(path.wstring()));
    ASSERT_TRUE(file.write("new", 3));
    EXPECT_NE(openError(path, GENERIC_WRITE, kShareAll), 0u) << "opened for writing";
    EXPECT_NE(openError(path, DELETE, kShareAll), 0u) << "opened for deleting or renaming";
    EXPECT_FALSE(DeleteFileW(path.wstring().c_str())) << "deleted";
    // Windows says the deletion is pending and so opens the file for nobody;
    // Wine 8 keeps the mark without saying so, and lets readers open the file.
    // That the mark deletes the file at the end of the process is shown by
    // the black-box test of "Cancel" during a download.
    FILE_STANDARD_INFO info{};
    ASSERT_TRUE(GetFileInformationByHandleEx(file.handle(), FileStandardInfo, &info, sizeof info));
    if (info.DeletePending) {
        EXPECT_NE(openError(path, GENERIC_READ, kShareAll), 0u) << "opened for reading";
    }
    EXPECT_EQ(readBack(file), "new");
    EXPECT_EQ(file.sha256Hex(), hexOf("new"));
}

// A part an earlier transfer left: what is on the disk (not what was once
// written) is hashed again, anything past the part is cut off, and writing
// goes on after it; restart() empties it for a transfer from byte 0.
TEST(PartialFile, ResumesAfterThePartOnTheDiskOrStartsAgain) {
    TempFolder folder;
    const struct {
        const char* name;
        const char* alteration;  // written over the start through the handle, or null
        std::uint64_t part;
        bool resumes;
        std::string content;  // after "abc" is written
    } kCases[] = {
        {"part as written", nullptr, 4, true, "0123abc"},
        {"part altered on the disk", "X", 4, true, "X123abc"},
        {"the whole file counts", nullptr, 10, true, "0123456789abc"},
        {"nothing counts", nullptr, 0, true, "abc"},
        {"more than the file holds", nullptr, 11, false, "abc"},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.name);
        PartialFile file;
        ASSERT_TRUE(file.create(folder.file("Orva-Setup-2.4.1.exe").wstring()));
        ASSERT_TRUE(file.writeBehind());
        ASSERT_TRUE(file.write("0123456789", 10));
        ASSERT_TRUE(file.finishWriting());
        if (c.alteration != nullptr) {
            LARGE_INTEGER start{};
            DWORD written = 0;
            ASSERT_TRUE(SetFilePointerEx(file.handle(), start, nullptr, FILE_BEGIN));
            ASSERT_TRUE(WriteFile(file.handle(), c.alteration, 1, &written, nullptr));
        }
        EXPECT_EQ(file.resumeAt(c.part), c.resumes);
        if (!c.resumes) {
            ASSERT_TRUE(file.restart());
        }
        ASSERT_TRUE(file.writeBehind());
        ASSERT_TRUE(file.write("abc", 3));
        EXPECT_EQ(readBack(file), c.content);
        EXPECT_EQ(file.sha256Hex(), hexOf(c.content));
    }
}

// Writing behind stays on when a transfer resumes or starts again, so that
// nobody has to switch it on again; the bytes still land in order.
TEST(PartialFile, StaysWritingBehindAcrossResumeAndRestart) {
    TempFolder folder;
    PartialFile file;
    ASSERT_TRUE(file.create(folder.file("Orva-Setup-2.4.1.exe").wstring()));
    ASSERT_TRUE(file.writeBehind());
    ASSERT_TRUE(file.write("0123456789", 10));
    ASSERT_TRUE(file.resumeAt(4));
    EXPECT_TRUE(file.writingBehind()) << "after resumeAt";
    ASSERT_TRUE(file.write("abc", 3));
    ASSERT_TRUE(file.restart());
    EXPECT_TRUE(file.writingBehind()) << "after restart";
    ASSERT_TRUE(file.write("xyz", 3));
    EXPECT_EQ(readBack(file), "xyz");
    EXPECT_EQ(file.sha256Hex(), hexOf("xyz"));
}

// Whatever ends a run early, the owner going out of scope cleans up; a file
// that was put in place is the installer and stays.
TEST(PartialFile, DeletedWhenItsOwnerEndsUnlessPutInPlace) {
    TempFolder folder;
    std::wstring part;
    {
        PartialFile file;
        ASSERT_TRUE(file.create(folder.file("Orva-Setup-2.4.1.exe").wstring()));
        ASSERT_TRUE(file.write("half", 4));
        part = file.path();
    }
    EXPECT_FALSE(std::filesystem::exists(part)) << "still open when its owner ended";

    const auto installer = folder.file("Orva-Setup-2.4.1.exe");
    {
        PartialFile file;
        ASSERT_TRUE(file.create(installer.wstring()));
        ASSERT_TRUE(file.write("checked", 7));
        part = file.path();
        ASSERT_TRUE(file.putInPlace(installer.wstring()).held);
    }
    EXPECT_EQ(readAll(installer), "checked");
    EXPECT_FALSE(std::filesystem::exists(part));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder.path()),
                            std::filesystem::directory_iterator()),
              1)
        << "nothing but the installer is left";
}

// The digest comes from the bytes as they were written; the placed file is
// held through the handle it was written through, never opened again by name.
// A target that another program holds open (a second copy of Orva Setup, the
// installer running) cannot be replaced: the rename is refused, and the
// partial file goes with its owner.
TEST(PartialFile, HashedAsWrittenAndHeldThroughItsOwnHandleOnceInPlace) {
    TempFolder folder;
    const auto installer = folder.file("Orva-Setup-2.4.1.exe");
    for (const bool targetOpen : {false, true}) {
        SCOPED_TRACE(targetOpen ? "the target is open elsewhere" : "as written");
        if (targetOpen) {
            writeFile(installer, "in use");
        }
        const FileHandle other(targetOpen ? CreateFileW(installer.wstring().c_str(), GENERIC_READ,
                                                        FILE_SHARE_READ | FILE_SHARE_DELETE,
                                                        nullptr, OPEN_EXISTING, 0, nullptr)
                                          : INVALID_HANDLE_VALUE);
        std::wstring part;
        PartialFile file;
        ASSERT_TRUE(file.create(installer.wstring()));
        part = file.path();
        ASSERT_TRUE(file.write("checked ", 8));
        ASSERT_TRUE(file.write("download", 8));
        EXPECT_EQ(file.sha256Hex(), hexOf("checked download"));
        EXPECT_EQ(file.sha256Hex(), hexOf("checked download")) << "asked twice";
        EXPECT_FALSE(file.write("x", 1)) << "nothing is written after the digest";
        PlacedInstaller placed = file.putInPlace(installer.wstring());
        EXPECT_EQ(placed.renamed, !targetOpen);
        EXPECT_EQ(static_cast<bool>(placed.held), !targetOpen);
        if (targetOpen) {
            EXPECT_EQ(placed.error, static_cast<std::uint32_t>(ERROR_ACCESS_DENIED));
            EXPECT_EQ(readAll(installer), "in use");
            continue;
        }
        EXPECT_EQ(placed.error, 0u);
        EXPECT_FALSE(std::filesystem::exists(part));
        expectHeldAgainstChanges(installer, FILE_SHARE_READ | FILE_SHARE_DELETE);
        char bytes[32] = {};
        DWORD read = 0;
        ASSERT_TRUE(ReadFile(placed.held.get(), bytes, sizeof bytes, &read, nullptr));
        EXPECT_EQ(std::string(bytes, read), "checked download") << "read through the hold";
        placed.held.reset();
        EXPECT_EQ(openError(installer, GENERIC_WRITE, kShareAll), 0u) << "free once released";
    }
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder.path()),
                            std::filesystem::directory_iterator()),
              1)
        << "the refused partial file went with its owner";
}

// Written behind the caller by a thread of the file's own: the same bytes in
// the same order and the same digest, across the hand-over of full buffers.
TEST(PartialFile, WrittenBehindTheCallerAsIfWrittenInPlace) {
    TempFolder folder;
    std::string bytes(2 * kWriteBehindBytes + 12345, '\0');
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        bytes[i] = static_cast<char>(i * 31 + i / 7919);
    }
    PartialFile file;
    ASSERT_TRUE(file.open(folder.file("behind.part").wstring()));
    ASSERT_TRUE(file.writeBehind());
    for (std::size_t offset = 0; offset < bytes.size();) {
        const std::size_t piece = std::min<std::size_t>(8191 + offset % 3, bytes.size() - offset);
        ASSERT_TRUE(file.write(bytes.data() + offset, piece));
        offset += piece;
    }
    EXPECT_TRUE(file.finishWriting());
    EXPECT_EQ(readBack(file), bytes);
    EXPECT_EQ(file.sha256Hex(), hexOf(bytes));
}

TEST(PutInPlace, ReplacesAnOlderCopyAndCleansUpOnFailure) {
    TempFolder folder;
    const auto installer = folder.file("Orva-Setup-2.4.1.exe");
    writeFile(installer, "older damaged copy");
    std::wstring part;
    {
        PartialFile file;
        ASSERT_TRUE(file.create(installer.wstring()));
        ASSERT_TRUE(file.write("checked download", 16));
        part = file.path();
        ASSERT_TRUE(file.putInPlace(installer.wstring()).held);
    }
    EXPECT_EQ(readAll(installer), "checked download");
    EXPECT_FALSE(std::filesystem::exists(part));

    // A folder bearing the installer's name cannot give way.
    const auto blocked = folder.file("Orva-Setup-3.0.0.exe");
    std::filesystem::create_directory(blocked);
    {
        PartialFile file;
        ASSERT_TRUE(file.create(blocked.wstring()));
        ASSERT_TRUE(file.write("checked download", 16));
        part = file.path();
        const PlacedInstaller placed = file.putInPlace(blocked.wstring());
        EXPECT_FALSE(placed.renamed);
        EXPECT_FALSE(placed.held);
    }
    EXPECT_FALSE(std::filesystem::exists(part));
    EXPECT_TRUE(std::filesystem::is_directory(blocked));
}

}  // namespace
}  // namespace orva
