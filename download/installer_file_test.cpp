#include "download/installer_file.h"

#include <gtest/gtest.h>

#include <filesystem>
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

TEST(PartialFile, TruncatesSharesAndFailsOnAFolder) {
    TempFolder folder;
    const auto path = folder.file("Orva-Setup-2.4.1.exe.part");
    writeFile(path, "an earlier, longer partial download");

    PartialFile file;
    ASSERT_TRUE(file.open(path.wstring()));
    EXPECT_EQ(file.path(), path.wstring());
    ASSERT_TRUE(file.write("new", 3));
    // Another process may read the file while it is being written.
    EXPECT_EQ(readAll(path), "new");
    file.close();
    EXPECT_EQ(readAll(path), "new");

    std::filesystem::create_directory(folder.file("taken.part"));
    {
        PartialFile blocked;
        EXPECT_FALSE(blocked.open(folder.file("taken.part").wstring()));
        EXPECT_TRUE(blocked.failed());
        EXPECT_FALSE(blocked.write("x", 1));
    }
    EXPECT_TRUE(std::filesystem::is_directory(folder.file("taken.part")))
        << "what it could not open is not its own to delete";
}

// Whatever ends a run early, the owner going out of scope cleans up; a file
// that was put in place is the installer and stays.
TEST(PartialFile, DeletedWhenItsOwnerEndsUnlessPutInPlace) {
    TempFolder folder;
    const auto part = folder.file("Orva-Setup-2.4.1.exe.part");
    {
        PartialFile file;
        ASSERT_TRUE(file.open(part.wstring()));
        ASSERT_TRUE(file.write("half", 4));
    }
    EXPECT_FALSE(std::filesystem::exists(part)) << "still open when its owner ended";
    {
        PartialFile file;
        ASSERT_TRUE(file.open(part.wstring()));
        file.close();
    }
    EXPECT_FALSE(std::filesystem::exists(part)) << "closed but not put in place";

    const auto installer = folder.file("Orva-Setup-2.4.1.exe");
    {
        PartialFile file;
        ASSERT_TRUE(file.open(part.wstring()));
        ASSERT_TRUE(file.write("checked", 7));
        ASSERT_TRUE(file.putInPlace(installer.wstring()));
    }
    EXPECT_EQ(readAll(installer), "checked");
    EXPECT_FALSE(std::filesystem::exists(part));
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
    file.close();
    EXPECT_EQ(state.receivedBytes, installer.size());
    EXPECT_FALSE(state.tooLarge);
    EXPECT_FALSE(state.writeFailed);
    EXPECT_EQ(state.lastPermille, 1000);
    EXPECT_EQ(readAll(folder.file("download.part")), installer);

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
    EXPECT_TRUE(isGoodDownload(state, release, folder.file("download.part").wstring()));
}

TEST_F(DownloadCallbackTest, NeverWritesPastTheSignedSize) {
    const ReleaseInfo release = releaseFor("0123456789");
    const HttpDataCallback callback = makeDownloadCallback(state, release, file, reporter);
    ASSERT_TRUE(feed(callback, "01234"));
    ASSERT_TRUE(feed(callback, "56789"));  // exactly the size: accepted
    EXPECT_FALSE(feed(callback, "X"));     // one byte more: refused, not written
    file.close();
    EXPECT_TRUE(state.tooLarge);
    EXPECT_EQ(state.receivedBytes, 10u);
    EXPECT_EQ(readAll(folder.file("download.part")), "0123456789");
    EXPECT_FALSE(isGoodDownload(state, release, folder.file("download.part").wstring()));
}

TEST_F(DownloadCallbackTest, SizeZeroRefusesTheFirstChunk) {
    const ReleaseInfo release = releaseFor("");
    const HttpDataCallback callback = makeDownloadCallback(state, release, file, reporter);
    EXPECT_FALSE(feed(callback, "x"));
    file.close();
    EXPECT_TRUE(state.tooLarge);
    EXPECT_EQ(readAll(folder.file("download.part")), "");
    EXPECT_TRUE(reporter.reports.empty());
    // An empty answer for a size-0 release fails the check too.
    DownloadState empty;
    EXPECT_FALSE(isGoodDownload(empty, release, folder.file("download.part").wstring()));
}

TEST_F(DownloadCallbackTest, StopsBeforeWritingOnceCancelled) {
    const ReleaseInfo release = releaseFor("0123456789");
    const HttpDataCallback callback = makeDownloadCallback(state, release, file, reporter);
    ASSERT_TRUE(feed(callback, "012"));
    reporter.stop = true;
    EXPECT_FALSE(feed(callback, "345"));
    file.close();
    EXPECT_EQ(state.receivedBytes, 3u);
    EXPECT_FALSE(state.tooLarge);
    EXPECT_EQ(readAll(folder.file("download.part")), "012");
}

TEST(IsGoodDownload, NeedsTheExactSizeAndDigest) {
    TempFolder folder;
    const std::string installer = "installer";
    const ReleaseInfo release = releaseFor(installer);
    const auto part = folder.file("x.part").wstring();
    writeFile(part, installer);

    DownloadState state;
    state.receivedBytes = installer.size();
    EXPECT_TRUE(isGoodDownload(state, release, part));
    state.receivedBytes -= 1;
    EXPECT_FALSE(isGoodDownload(state, release, part)) << "short count";
    state.receivedBytes += 1;
    writeFile(part, "installeR");
    EXPECT_FALSE(isGoodDownload(state, release, part)) << "different bytes";
}

TEST(PutInPlace, ReplacesAnOlderCopyAndCleansUpOnFailure) {
    TempFolder folder;
    const auto part = folder.file("Orva-Setup-2.4.1.exe.part");
    const auto installer = folder.file("Orva-Setup-2.4.1.exe");
    writeFile(installer, "older damaged copy");
    {
        PartialFile file;
        ASSERT_TRUE(file.open(part.wstring()));
        ASSERT_TRUE(file.write("checked download", 16));
        ASSERT_TRUE(file.putInPlace(installer.wstring()));
    }
    EXPECT_EQ(readAll(installer), "checked download");
    EXPECT_FALSE(std::filesystem::exists(part));

    // A folder bearing the installer's name cannot give way.
    const auto blockedPart = folder.file("Orva-Setup-3.0.0.exe.part");
    const auto blocked = folder.file("Orva-Setup-3.0.0.exe");
    std::filesystem::create_directory(blocked);
    {
        PartialFile file;
        ASSERT_TRUE(file.open(blockedPart.wstring()));
        ASSERT_TRUE(file.write("checked download", 16));
        EXPECT_FALSE(file.putInPlace(blocked.wstring()));
    }
    EXPECT_FALSE(std::filesystem::exists(blockedPart));
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
