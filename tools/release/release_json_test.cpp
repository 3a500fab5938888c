#include "tools/release/release_json.h"

#include <gtest/gtest.h>

#include <string>

#include "download/release_list.h"
#include "json/json.h"
#include "tools/release/json_writer.h"

namespace orva {
namespace {

ReleaseInfo someRelease() {
    ReleaseInfo release;
    release.version = "2.4.1";
    release.date = "2026-01-02";
    release.size = 300000;
    release.sha256 = std::string(kSha256HexDigits, 'a');
    release.notes = "Fixes \"quoting\".\n";
    release.signature = "c2lnbmF0dXJl";
    return release;
}

TEST(ReleaseToJson, WritesTheMembersInTheListsOrder) {
    const std::string expected =
        "{\n"
        "  \"version\": \"2.4.1\",\n"
        "  \"date\": \"2026-01-02\",\n"
        "  \"size\": 300000,\n"
        "  \"sha256\": \"" +
        std::string(kSha256HexDigits, 'a') +
        "\",\n"
        "  \"notes\": \"Fixes \\\"quoting\\\".\\n\",\n"
        "  \"signature\": \"c2lnbmF0dXJl\"\n"
        "}";
    EXPECT_EQ(writeJson(releaseToJson(someRelease())), expected);
}

TEST(ReleaseToJson, EmptyNotesAreStillWritten) {
    ReleaseInfo release = someRelease();
    release.notes.clear();
    const JsonValue entry = releaseToJson(release);
    const JsonValue* notes = entry.find(kNotesMember);
    ASSERT_NE(notes, nullptr);
    EXPECT_EQ(notes->kind, JsonKind::kString);
    EXPECT_EQ(notes->text, "");
}

TEST(ReleaseToJson, TheProgramReadsBackWhatItWrites) {
    ReleaseInfo written = someRelease();
    written.size = kMaxReleaseSize;  // the largest size stays exact
    JsonValue document;
    std::string error;
    ASSERT_TRUE(parseJson(writeJson(releaseToJson(written)), document, error)) << error;
    ReleaseInfo read;
    std::string why;
    ASSERT_TRUE(parseRelease(document, read, why)) << why;
    EXPECT_EQ(read.version, written.version);
    EXPECT_EQ(read.date, written.date);
    EXPECT_EQ(read.size, written.size);
    EXPECT_EQ(read.sha256, written.sha256);
    EXPECT_EQ(read.notes, written.notes);
    EXPECT_EQ(read.signature, written.signature);
}

}  // namespace
}  // namespace orva
