// The data callback, the rule for a resumed answer's range, and the check of what arrived.
#include "download/transfer.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "download/installer_test_support.h"
#include "tests/support/recording_reporter.h"
#include "tests/support/temp_folder.h"
#include "tests/support/test_data.h"

namespace orva {
namespace {

// The helpers of installer_test_support.h and the test support.
using namespace testing;

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

}  // namespace
}  // namespace orva
