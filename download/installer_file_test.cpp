#include "download/installer_file.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <filesystem>
#include <iterator>
#include <string>

#include "signing/crypto.h"
#include "signing/encoding.h"
#include "tests/support/recording_reporter.h"
#include "tests/support/temp_folder.h"
#include "tests/support/test_data.h"

namespace orva {
namespace {

using testing::RecordingReporter;
using testing::ReportKind;
using testing::TempFolder;
using testing::writeFile;

std::string hexOf(const std::string& bytes) {
    return toHex(sha256(bytes));
}

ReleaseInfo releaseFor(const std::string& bytes) {
    ReleaseInfo release;
    release.version = "2.4.1";
    release.size = bytes.size();
    release.sha256 = hexOf(bytes);
    return release;
}

std::string readAll(const std::filesystem::path& path) {
    return testing::readTestFile(path);
}

// What a partial file holds, read through its own handle: a file marked for
// deletion opens for nobody else. Read from the start to the end, so that a
// later write still goes at the end.
std::string readBack(PartialFile& file) {
    std::string content;
    LARGE_INTEGER start{};
    if (!file.finishWriting() || !SetFilePointerEx(file.handle(), start, nullptr, FILE_BEGIN)) {
        ADD_FAILURE() << "the partial file cannot be read back";
        return content;
    }
    char buffer[65536];
    DWORD read = 0;
    while (ReadFile(file.handle(), buffer, sizeof buffer, &read, nullptr) && read > 0) {
        content.append(buffer, read);
    }
    return content;
}

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

TEST(FormatMegabytes, OneDecimalOfBinaryMegabytes) {
    struct Case {
        std::uint64_t bytes;
        const wchar_t* text;
    };
    const Case kCases[] = {
        {0, L"0.0 MB"},
        {1'048'576, L"1.0 MB"},
        {1'572'864, L"1.5 MB"},
        {52'428, L"0.0 MB"},
        {52'429, L"0.1 MB"},
        {190'106'009, L"181.3 MB"},
        {4'000'000'000, L"3814.7 MB"},
    };
    for (const Case& c : kCases) {
        EXPECT_EQ(formatMegabytes(c.bytes), c.text) << c.bytes;
    }
}

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

// Opening |path| as another program might: the Windows error, or 0 when the
// open succeeds (the handle is closed again at once).
DWORD openError(const std::filesystem::path& path, DWORD access, DWORD sharing) {
    const FileHandle file(CreateFileW(path.wstring().c_str(), access, sharing, nullptr,
                                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    return file ? 0 : GetLastError();
}

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// While a file is held or written, others may read it but not write, rename
// or delete it. |readerSharing| is what a reader must allow: a held file
// admits the loader's open (read sharing and delete sharing); a partial file
// is open for writing, so its readers must allow writing too.
void expectHeldAgainstChanges(const std::filesystem::path& path, DWORD readerSharing) {
    EXPECT_EQ(openError(path, GENERIC_WRITE, kShareAll),
              static_cast<DWORD>(ERROR_SHARING_VIOLATION))
        << "opened for writing";
    EXPECT_EQ(openError(path, DELETE, kShareAll), static_cast<DWORD>(ERROR_SHARING_VIOLATION))
        << "opened for deleting or renaming";
    EXPECT_FALSE(DeleteFileW(path.wstring().c_str())) << "deleted";
    EXPECT_EQ(openError(path, GENERIC_READ | FILE_EXECUTE, readerSharing), 0u)
        << "a reader is turned away";
}

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

TEST(IsRangeOfTheRest, OnlyExactlyTheRestOfTheSignedSize) {
    const struct {
        const char* header;
        bool rest;
    } kCases[] = {
        {"bytes 100-299/300", true},
        {"Bytes 100-299/300", true},
        {"BYTES 0100-0299/00300", true},
        {"bytes 99-299/300", false},                    // starts early
        {"bytes 101-299/300", false},                   // starts late
        {"bytes 100-298/300", false},                   // ends early
        {"bytes 100-300/301", false},                   // another size
        {"bytes 100-299/*", false},                     // no size
        {"bytes 100-299/300 ", false},                  // trailing text
        {" bytes 100-299/300", false},                  // leading text
        {"bytes  100-299/300", false},                  // two spaces
        {"items 100-299/300", false},                   // another unit
        {"bytes 100-299", false},                       // cut short
        {"bytes -299/300", false},                      // no start
        {"", false},                                    // no header
        {"bytes 18446744073709551716-299/300", false},  // beyond 64 bits
    };
    for (const auto& c : kCases) {
        EXPECT_EQ(isRangeOfTheRest(c.header, 100, 300), c.rest) << "\"" << c.header << "\"";
    }
    EXPECT_TRUE(isRangeOfTheRest("bytes 0-0/1", 0, 1));
    EXPECT_FALSE(isRangeOfTheRest("bytes 300-299/300", 300, 300)) << "nothing left to ask for";
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

// A scanner that opens the file for a moment (here for writing, for 60 ms) is
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
            Sleep(60);
            CloseHandle(static_cast<HANDLE>(handle));
            return 0;
        },
        scanner, 0, nullptr));
    ASSERT_TRUE(closer);
    EXPECT_TRUE(openVerifiedCopy(path.wstring(), releaseFor(installer)));
    WaitForSingleObject(closer.get(), INFINITE);
}

class DownloadCallbackTest : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(file.open(folder.file("download.part").wstring())); }

    bool feed(const HttpDataCallback& callback, const std::string& chunk) {
        return callback(reinterpret_cast<const std::uint8_t*>(chunk.data()), chunk.size(), 0);
    }

    TempFolder folder;
    RecordingReporter reporter;
    PartialFile file;
    DownloadState state;
};

TEST_F(DownloadCallbackTest, WritesCountsAndPostsProgressOnChange) {
    const std::string installer(2'000'000, 'i');
    const ReleaseInfo release = releaseFor(installer);
    const HttpDataCallback callback = makeDownloadCallback(state, release, file, reporter);

    // The first chunk posts even at 0 thousandths; then only changes post.
    ASSERT_TRUE(feed(callback, installer.substr(0, 1)));
    ASSERT_TRUE(feed(callback, installer.substr(1, 1)));
    std::size_t offset = 2;
    while (offset < installer.size()) {
        const std::size_t piece = std::min<std::size_t>(1000, installer.size() - offset);
        ASSERT_TRUE(feed(callback, installer.substr(offset, piece)));
        offset += piece;
    }
    EXPECT_EQ(state.receivedBytes, installer.size());
    EXPECT_FALSE(state.tooLarge);
    EXPECT_FALSE(state.writeFailed);
    EXPECT_EQ(state.lastPermille, 1000);
    EXPECT_EQ(readBack(file), installer);

    const auto& reports = reporter.reports;
    ASSERT_FALSE(reports.empty());
    EXPECT_LE(reports.size(), 1001u);
    for (const auto& report : reports) {
        EXPECT_EQ(report.kind, ReportKind::kProgress);
    }
    EXPECT_EQ(reports.front().permille, 0u);
    EXPECT_EQ(reports.front().text, L"0.0 MB of 1.9 MB");
    EXPECT_EQ(reports.back().permille, 1000u);
    EXPECT_EQ(reports.back().text, L"1.9 MB of 1.9 MB");
    for (std::size_t i = 1; i < reports.size(); ++i) {
        EXPECT_GT(reports[i].permille, reports[i - 1].permille) << "reported without a change";
    }
    EXPECT_TRUE(isGoodDownload(state, release, file));
}

TEST_F(DownloadCallbackTest, NeverWritesPastTheSignedSize) {
    const ReleaseInfo release = releaseFor("0123456789");
    const HttpDataCallback callback = makeDownloadCallback(state, release, file, reporter);
    ASSERT_TRUE(feed(callback, "01234"));
    ASSERT_TRUE(feed(callback, "56789"));  // exactly the size: accepted
    EXPECT_FALSE(feed(callback, "X"));     // one byte more: refused, not written
    EXPECT_TRUE(state.tooLarge);
    EXPECT_EQ(state.receivedBytes, 10u);
    EXPECT_EQ(readBack(file), "0123456789");
    EXPECT_FALSE(isGoodDownload(state, release, file));
}

TEST_F(DownloadCallbackTest, SizeZeroRefusesTheFirstChunk) {
    const ReleaseInfo release = releaseFor("");
    const HttpDataCallback callback = makeDownloadCallback(state, release, file, reporter);
    EXPECT_FALSE(feed(callback, "x"));
    EXPECT_TRUE(state.tooLarge);
    EXPECT_EQ(readBack(file), "");
    EXPECT_TRUE(reporter.reports.empty());
    // An empty answer for a size-0 release fails the check too.
    DownloadState empty;
    EXPECT_FALSE(isGoodDownload(empty, release, file));
}

TEST_F(DownloadCallbackTest, StopsBeforeWritingOnceCancelled) {
    const ReleaseInfo release = releaseFor("0123456789");
    const HttpDataCallback callback = makeDownloadCallback(state, release, file, reporter);
    ASSERT_TRUE(feed(callback, "012"));
    reporter.stop = true;
    EXPECT_FALSE(feed(callback, "345"));
    EXPECT_EQ(state.receivedBytes, 3u);
    EXPECT_FALSE(state.tooLarge);
    EXPECT_EQ(readBack(file), "012");
}

TEST(IsGoodDownload, NeedsTheExactSizeAndDigest) {
    TempFolder folder;
    const std::string installer = "installer";
    const ReleaseInfo release = releaseFor(installer);
    PartialFile right;
    ASSERT_TRUE(right.open(folder.file("right.part").wstring()));
    ASSERT_TRUE(right.write(installer.data(), installer.size()));
    PartialFile wrong;
    ASSERT_TRUE(wrong.open(folder.file("wrong.part").wstring()));
    ASSERT_TRUE(wrong.write("installeR", 9));

    DownloadState state;
    state.receivedBytes = installer.size();
    EXPECT_TRUE(isGoodDownload(state, release, right));
    EXPECT_FALSE(isGoodDownload(state, release, wrong)) << "different bytes";
    state.receivedBytes -= 1;
    EXPECT_FALSE(isGoodDownload(state, release, right)) << "short count";
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
