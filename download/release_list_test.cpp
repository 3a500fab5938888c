#include "download/release_list.h"

#include <gtest/gtest.h>

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "signing/release_signature.h"
#include "tests/support/test_data.h"

namespace orva {
namespace {

using namespace std::string_literals;

TEST(IsValidVersion, AcceptsExactlyThreeNumbersUpTo999999) {
    struct Case {
        std::string_view version;
        bool valid;
    };
    const Case kCases[] = {
        {"2.4.1", true},
        {"0.0.0", true},
        {"10.20.300", true},
        {"999999.999999.999999", true},
        {"007.0.1", true},                        // leading zeros: 7
        {"0000001000.0.0", true},                 // many leading zeros, value 1000
        {"", false},                              // no part at all
        {"2.4", false},                           // two parts
        {"2.4.1.0", false},                       // four parts
        {"2..1", false},                          // empty middle part
        {".2.4", false},                          // empty first part
        {"2.4.1.", false},                        // a dot after the third part
        {"2.4.", false},                          // empty third part
        {"v2.4.1", false},                        // a letter before
        {"2.4.1-beta", false},                    // a suffix
        {"2.4.1 ", false},                        // a trailing space
        {"+2.4.1", false},                        // a sign
        {"1000000.0.0", false},                   // a part above 999999
        {"0.0.1000000", false},                   // the last part above 999999
        {"99999999999999999999.0.0", false},      // would overflow 32 bits
        {std::string_view("2.4.1\0", 6), false},  // a NUL byte after
        {"\xef\xbc\x92.4.1", false},              // a full-width digit two (UTF-8)
    };
    for (const Case& c : kCases) {
        EXPECT_EQ(isValidVersion(c.version), c.valid) << "'" << c.version << "'";
    }
}

TEST(ParseDate, AcceptsRealDaysOfTheGregorianCalendar) {
    struct Case {
        std::string_view date;
        bool valid;
        std::uint32_t year = 0, month = 0, day = 0;  // when valid
    };
    const Case kCases[] = {
        {"2024-02-29", true, 2024, 2, 29},  // leap year: divisible by 4
        {"2000-02-29", true, 2000, 2, 29},  // divisible by 400
        {"0000-02-29", true, 0, 2, 29},     // year 0 is divisible by 400
        {"2023-02-28", true, 2023, 2, 28},
        {"2024-01-31", true, 2024, 1, 31},
        {"2024-04-30", true, 2024, 4, 30},
        {"2024-12-31", true, 2024, 12, 31},
        {"9999-12-31", true, 9999, 12, 31},  // no range on the year
        {"0001-01-01", true, 1, 1, 1},
        {"2023-02-29", false},  // not a leap year
        {"1900-02-29", false},  // divisible by 100, not by 400
        {"2100-02-29", false},
        {"2024-02-30", false},
        {"2024-04-31", false},  // April has 30 days
        {"2024-06-31", false},
        {"2024-01-32", false},
        {"2024-13-01", false},  // month 13
        {"2024-00-10", false},  // month 0
        {"2024-01-00", false},  // day 0
        {"2024-1-01", false},   // nine bytes
        {"2024-01-1", false},
        {"2024-01-011", false},  // eleven bytes
        {"2024/01/01", false},   // wrong separators
        {"2024-01-0a", false},   // a letter
        {"+024-01-01", false},   // a sign
        {" 024-01-01", false},
        {"", false},
    };
    for (const Case& c : kCases) {
        // Junk in the outputs shows whether a refusal leaves them untouched.
        std::uint32_t year = 77, month = 77, day = 77;
        ASSERT_EQ(parseDate(c.date, year, month, day), c.valid) << c.date;
        if (c.valid) {
            EXPECT_EQ(year, c.year) << c.date;
            EXPECT_EQ(month, c.month) << c.date;
            EXPECT_EQ(day, c.day) << c.date;
        } else {
            EXPECT_EQ(year + month + day, 3 * 77u) << c.date;
        }
    }
}

TEST(CompareVersions, ComparesPartsAsNumbers) {
    struct Case {
        std::string_view a, b;
        int expected;
    };
    const Case kCases[] = {
        {"1.2.10", "1.2.9", 1},  // a comparison of texts would say -1
        {"2.10.0", "2.9.0", 1},
        {"3.0.0", "2.9.9", 1},
        {"0.0.1", "0.0.0", 1},
        {"1.0.0", "0.999999.999999", 1},
        {"1.2.3", "1.02.003", 0},
        {"01.02.03", "1.2.3", 0},
        {"2.4.1", "2.4.1", 0},
        // Not versions the list keeps, but the rule still gives an answer:
        {"1.2", "1.2.0", 0},  // a missing part counts as 0
        {"", "0.0.0", 0},
        {"1.2.3", "1.2.3.1", -1},  // a fourth part takes part
        {"1a.0.0", "1.0.0", 0},    // only the leading digits count
        {"x.0.0", "0.0.0", 0},     // no leading digits: 0
        // A part beyond 64 bits stays at the largest value instead of wrapping.
        {"99999999999999999999999.0.0", "18446744073709551615.0.0", 0},
        {"99999999999999999999999.0.0", "18446744073709551614.0.0", 1},
    };
    for (const Case& c : kCases) {
        EXPECT_EQ(compareVersions(c.a, c.b), c.expected) << c.a << " vs " << c.b;
        EXPECT_EQ(compareVersions(c.b, c.a), -c.expected) << c.b << " vs " << c.a;
    }
}

TEST(ParseReleaseList, RefusesWhatIsNotAListDocument) {
    struct Case {
        const char* why;
        std::string_view text;
        const char* error;  // null: the JSON reader's own fault
    };
    const Case kCases[] = {
        {"empty text", "", nullptr},
        {"not JSON", "<html>Bad gateway</html>", nullptr},
        {"JSON cut short", "{\"releases\": [", nullptr},
        {"root is an array of releases", "[{\"version\": \"1.0.0\"}]", kNotAReleaseList},
        {"root is a string", "\"releases\"", kNotAReleaseList},
        {"root is null", "null", kNotAReleaseList},
        {"no releases member", "{}", kNotAReleaseList},
        {"member names are exact", "{\"Releases\": []}", kNotAReleaseList},
        {"releases is an object", "{\"releases\": {}}", kNotAReleaseList},
        {"releases is a string", "{\"releases\": \"[]\"}", kNotAReleaseList},
        {"releases is null", "{\"releases\": null}", kNotAReleaseList},
    };
    for (const Case& c : kCases) {
        std::vector<ReleaseInfo> releases(2);  // must be cleared
        std::string error;
        EXPECT_FALSE(parseReleaseList(c.text, releases, error)) << c.why;
        EXPECT_TRUE(releases.empty()) << c.why;
        if (c.error != nullptr) {
            EXPECT_EQ(error, c.error) << c.why;
        } else {
            // The reader's fault ends with its line, e.g. "... (line 1)".
            EXPECT_NE(error.find("(line "), std::string::npos) << c.why << ": " << error;
        }
    }
}

TEST(ParseReleaseList, AcceptsAListEvenWhenNothingIsKept) {
    const std::string_view kTexts[] = {
        "{\"releases\": []}",
        "{\"releases\": [null, 1, \"x\", [], {}], \"other\": {\"ignored\": true}}",
        "\xef\xbb\xbf {\"releases\": []}\n",  // byte order mark and whitespace
    };
    for (const std::string_view text : kTexts) {
        std::vector<ReleaseInfo> releases(3);
        std::string error = "untouched";
        EXPECT_TRUE(parseReleaseList(text, releases, error)) << text;
        EXPECT_TRUE(releases.empty()) << text;
        EXPECT_EQ(error, "untouched") << text;
    }
}

// A list with one release built from the well-formed members below, with
// |member| replaced by the JSON text |json|, or removed when |json| is null.
std::string listWithOneRelease(const std::string& member, const char* json) {
    const std::vector<std::pair<std::string, std::string>> kGood = {
        {"version", "\"2.4.1\""},
        {"date", "\"2026-11-30\""},
        {"size", "1000"},
        {"sha256", "\"" + std::string(64, 'a') + "\""},
        {"signature", "\"c2lnbmF0dXJl\""},
        {"notes", "\"Notes.\""},
    };
    std::string text = "{\"releases\": [{";
    bool first = true;
    bool replaced = false;
    for (const auto& [name, value] : kGood) {
        std::string chosen = value;
        if (name == member) {
            replaced = true;
            if (json == nullptr) {
                continue;
            }
            chosen = json;
        }
        text += (first ? "\"" : ", \"") + name + "\": " + chosen;
        first = false;
    }
    if (!replaced && json != nullptr) {
        text += ", \"" + member + "\": " + json;
    }
    return text + "}]}";
}

TEST(ParseRelease, KeepsOnlyReleasesWhoseEveryMemberHasItsForm) {
    // Why each rule's breach is reported (the release tool prints these).
    const std::string kSizeNotNumber = "its size is not a number";
    const std::string kSizeOutOfRange =
        "its size is not from 0 to " + std::to_string(kMaxReleaseSize);
    const std::string kBadVersion = "its version is not three numbers from 0 to " +
                                    std::to_string(kMaxVersionPart) + " separated by dots";
    const std::string kBadDate = "its date is not a real day written YYYY-MM-DD";
    const std::string kBadSha256 =
        "its sha256 is not " + std::to_string(kSha256HexDigits) + " characters long";
    const std::string kNoSignature = "it has no signature";
    struct Case {
        const char* member;
        const char* json;  // null: the member is absent
        bool kept;
        std::uint64_t size = 0;  // when kept
        std::string why = "";    // when not kept
    };
    const std::string sha63 = "\"" + std::string(63, 'a') + "\"";
    const std::string sha65 = "\"" + std::string(65, 'a') + "\"";
    const std::string shaNotHex = "\"" + std::string(64, 'z') + "\"";
    const Case kCases[] = {
        {"unchanged", nullptr, true, 1000},
        {"extra", "{\"any\": [1, 2]}", true, 1000},  // other members are ignored
        // size: a number from 0 to kMaxReleaseSize, truncated toward zero
        {"size", "0", true, 0},
        {"size", "4000000000", true, kMaxReleaseSize},
        {"size", "4000000001", false, 0, kSizeOutOfRange},
        {"size", "4000000000.5", false, 0, kSizeOutOfRange},  // above the maximum before truncation
        {"size", "-1", false, 0, kSizeOutOfRange},
        {"size", "-0.5", false, 0, kSizeOutOfRange},
        {"size", "1000.9", true, 1000},
        {"size", "1e3", true, 1000},
        {"size", "\"1000\"", false, 0, kSizeNotNumber},  // a string of digits is not a number
        {"size", "null", false, 0, kSizeNotNumber},
        {"size", nullptr, false, 0, kSizeNotNumber},
        // sha256: exactly 64 bytes, not checked for hexadecimal here
        {"sha256", sha63.c_str(), false, 0, kBadSha256},
        {"sha256", sha65.c_str(), false, 0, kBadSha256},
        {"sha256", shaNotHex.c_str(), true, 1000},
        {"sha256", "64", false, 0, kBadSha256},
        {"sha256", nullptr, false, 0, kBadSha256},
        // signature: any non-empty text here; its form is checked when verified
        {"signature", "\"\"", false, 0, kNoSignature},
        {"signature", "\"!\"", true, 1000},
        {"signature", "[\"c2ln\"]", false, 0, kNoSignature},
        {"signature", nullptr, false, 0, kNoSignature},
        // version and date
        {"version", "\"2.4\"", false, 0, kBadVersion},
        {"version", "\"v2.4.1\"", false, 0, kBadVersion},
        {"version", "241", false, 0, kBadVersion},
        {"version", nullptr, false, 0, kBadVersion},
        {"date", "\"2023-02-29\"", false, 0, kBadDate},
        {"date", "\"2024/01/01\"", false, 0, kBadDate},
        {"date", "20240101", false, 0, kBadDate},
        {"date", nullptr, false, 0, kBadDate},
        // notes: anything; absent or not a string reads as empty
        {"notes", "\"\"", true, 1000},
        {"notes", nullptr, true, 1000},
        {"notes", "7", true, 1000},
    };
    for (const Case& c : kCases) {
        const std::string text = listWithOneRelease(c.member, c.json);
        std::vector<ReleaseInfo> releases;
        std::string error;
        ASSERT_TRUE(parseReleaseList(text, releases, error)) << text << ": " << error;
        ASSERT_EQ(releases.size(), c.kept ? 1u : 0u) << text;
        if (c.kept) {
            EXPECT_EQ(releases[0].size, c.size) << text;
        }

        // The element alone, with the reason: the same decision, and a
        // reason exactly when it is not kept.
        JsonValue document;
        ASSERT_TRUE(parseJson(text, document, error)) << text;
        const JsonValue& element = document.find("releases")->items[0];
        ReleaseInfo release;
        std::string why = "untouched";
        EXPECT_EQ(parseRelease(element, release, why), c.kept) << text;
        EXPECT_EQ(why, c.kept ? "untouched" : c.why) << text;
    }
}

TEST(ParseRelease, ReadsEveryFieldWithEscapesResolved) {
    const std::string text = R"({"releases": [{
        "notes": "Line one\nCaf\u00e9 \"quoted\" \u0000end",
        "signature": "c2ln\r\nbmF0dXJl",
        "sha256": ")" + std::string(64, 'F') +
                             R"(",
        "size": 48213504,
        "date": "2026-11-30",
        "version": "02.4.1"
    }]})";
    std::vector<ReleaseInfo> releases;
    std::string error;
    ASSERT_TRUE(parseReleaseList(text, releases, error)) << error;
    ASSERT_EQ(releases.size(), 1u);
    const ReleaseInfo& release = releases[0];
    EXPECT_EQ(release.version, "02.4.1");  // kept as written, not normalised
    EXPECT_EQ(release.date, "2026-11-30");
    EXPECT_EQ(release.size, 48213504u);
    EXPECT_EQ(release.sha256, std::string(64, 'F'));  // case kept
    EXPECT_EQ(release.signature, "c2ln\r\nbmF0dXJl");
    EXPECT_EQ(release.notes, "Line one\nCaf\xc3\xa9 \"quoted\" \0end"s);
}

TEST(ParseRelease, RefusesValuesThatAreNotObjects) {
    const char* kTexts[] = {"null", "true", "1000", "\"2.4.1\"", "[\"2.4.1\"]"};
    for (const char* text : kTexts) {
        JsonValue value;
        std::string error;
        ASSERT_TRUE(parseJson(text, value, error)) << text;
        ReleaseInfo release;
        EXPECT_FALSE(parseRelease(value, release)) << text;
        std::string why;
        EXPECT_FALSE(parseRelease(value, release, why)) << text;
        EXPECT_EQ(why, "it is not an object") << text;
    }
}

TEST(ParseRelease, NamesTheFirstBrokenRuleInTheOrderOfTheChecks) {
    struct Case {
        const char* json;
        const char* why;
    };
    const Case kCases[] = {
        {R"({"version": "2.4", "date": "2023-02-29", "sha256": "", "size": "1"})",
         "its size is not a number"},
        {R"({"version": "2.4", "date": "2023-02-29", "sha256": "", "size": 1})",
         "its version is not three numbers"},
        {R"({"version": "2.4.1", "date": "2023-02-29", "sha256": "", "size": 1})",
         "its date is not a real day"},
        {R"({"version": "2.4.1", "date": "2024-02-29", "sha256": "", "size": 1})",
         "its sha256 is not"},
    };
    for (const Case& c : kCases) {
        JsonValue value;
        std::string error;
        ASSERT_TRUE(parseJson(c.json, value, error)) << c.json;
        ReleaseInfo release;
        std::string why;
        EXPECT_FALSE(parseRelease(value, release, why)) << c.json;
        EXPECT_EQ(why.rfind(c.why, 0), 0u) << c.json << ": " << why;
    }
}

TEST(StringMember, GivesTheTextOfStringMembersOnly) {
    JsonValue object;
    std::string error;
    ASSERT_TRUE(parseJson(R"({"s": "text", "n": 1, "o": {"s": "inner"}, "z": "", "a": ["x"]})",
                          object, error));
    EXPECT_EQ(stringMember(object, "s"), "text");
    EXPECT_EQ(stringMember(object, "n"), "");
    EXPECT_EQ(stringMember(object, "o"), "");
    EXPECT_EQ(stringMember(object, "z"), "");
    EXPECT_EQ(stringMember(object, "a"), "");
    EXPECT_EQ(stringMember(object, "missing"), "");
    EXPECT_EQ(stringMember(object, "S"), "");  // names are exact
    EXPECT_EQ(stringMember(object.items[2], "s"), "inner");

    JsonValue array;
    ASSERT_TRUE(parseJson(R"(["s"])", array, error));
    EXPECT_EQ(stringMember(array, "s"), "");
}

// The releases of tests/data/release-list/signed.json by version, all signed
// with the TEST-ONLY key that the test executables build in.
std::map<std::string, ReleaseInfo> loadSignedReleases() {
    const std::string text =
        testing::readTestFile(testing::testDataPath("release-list/signed.json"));
    std::vector<ReleaseInfo> releases;
    std::string error;
    EXPECT_TRUE(parseReleaseList(text, releases, error)) << error;
    std::map<std::string, ReleaseInfo> byVersion;
    for (const ReleaseInfo& release : releases) {
        byVersion[release.version] = release;
    }
    return byVersion;
}

TEST(PickNewestRelease, TheWholeSignedFixtureVerifies) {
    const std::string text =
        testing::readTestFile(testing::testDataPath("release-list/signed.json"));
    std::vector<ReleaseInfo> releases;
    std::string error;
    ASSERT_TRUE(parseReleaseList(text, releases, error)) << error;
    ASSERT_EQ(releases.size(), 6u);
    for (const ReleaseInfo& release : releases) {
        EXPECT_TRUE(verifyRelease(release, error)) << release.version << ": " << error;
    }
    const std::optional<std::size_t> chosen = pickNewestRelease(releases);
    ASSERT_TRUE(chosen.has_value());
    EXPECT_EQ(releases[*chosen].version, "3.0.0");
}

TEST(PickNewestRelease, ChoosesTheNewestVerifyingReleaseTheFirstAmongEquals) {
    // Each entry names a signed release by version; a leading '!' changes its
    // notes after signing (it no longer verifies), a leading '?' replaces its
    // signature with text that is no signature at all.
    struct Case {
        std::vector<std::string> list;
        const char* chosen;  // the version text chosen; null for none
    };
    const Case kCases[] = {
        {{}, nullptr},
        {{"3.0.0"}, "3.0.0"},
        {{"3.0.0", "2.9.9"}, "3.0.0"},
        {{"2.9.9", "3.0.0"}, "3.0.0"},
        {{"1.2.9", "1.2.10"}, "1.2.10"},
        {{"1.2.10", "1.2.9"}, "1.2.10"},
        // The newest does not verify: the older one that does is chosen.
        {{"!3.0.0", "2.9.9"}, "2.9.9"},
        {{"2.9.9", "!3.0.0"}, "2.9.9"},
        {{"?3.0.0", "2.9.9"}, "2.9.9"},
        {{"2.9.9", "?3.0.0", "1.2.10"}, "2.9.9"},
        // Equal versions: the first in the list wins, unless it fails.
        {{"1.2.3", "01.02.03"}, "1.2.3"},
        {{"01.02.03", "1.2.3"}, "01.02.03"},
        {{"!1.2.3", "01.02.03"}, "01.02.03"},
        {{"1.2.9", "01.02.03", "1.2.3"}, "1.2.9"},
        // Nothing verifies.
        {{"!3.0.0", "?2.9.9", "!1.2.3"}, nullptr},
        // Every release is verified, wherever the failing ones stand.
        {{"?3.0.0", "!2.9.9", "1.2.9", "!1.2.10", "1.2.3", "?01.02.03"}, "1.2.9"},
    };
    const std::map<std::string, ReleaseInfo> signedReleases = loadSignedReleases();
    for (const Case& c : kCases) {
        std::vector<ReleaseInfo> releases;
        std::string description;
        for (const std::string& entry : c.list) {
            description += entry + " ";
            const bool tampered = entry[0] == '!';
            const bool unsigned_ = entry[0] == '?';
            const auto found = signedReleases.find(tampered || unsigned_ ? entry.substr(1) : entry);
            ASSERT_NE(found, signedReleases.end()) << entry;
            ReleaseInfo release = found->second;
            if (tampered) {
                release.notes += ".";
            }
            if (unsigned_) {
                release.signature = "AAAA";
            }
            releases.push_back(release);
        }
        const std::optional<std::size_t> chosen = pickNewestRelease(releases);
        if (c.chosen == nullptr) {
            EXPECT_FALSE(chosen.has_value()) << description;
        } else {
            ASSERT_TRUE(chosen.has_value()) << description;
            EXPECT_EQ(releases[*chosen].version, c.chosen) << description;
        }
    }
}

TEST(PickNewestReleaseWithKey, ChecksAgainstTheGivenKey) {
    std::vector<ReleaseInfo> releases;
    for (const auto& [version, release] : loadSignedReleases()) {
        releases.push_back(release);
    }
    ASSERT_FALSE(releases.empty());
    const std::optional<std::size_t> withBuiltIn = pickNewestRelease(releases);
    ASSERT_TRUE(withBuiltIn.has_value());
    EXPECT_EQ(pickNewestReleaseWithKey(releases, kReleasePublicKey), withBuiltIn);

    Bytes otherKey = kReleasePublicKey;
    otherKey[5] ^= 0x01;
    EXPECT_FALSE(pickNewestReleaseWithKey(releases, otherKey).has_value());
    EXPECT_FALSE(pickNewestReleaseWithKey(releases, Bytes()).has_value());
}

// The floor passes over older signed releases, so that a service cannot send
// users back to them; the choice above the floor is the usual one.
TEST(PickNewestReleaseAtLeast, PassesOverReleasesBelowTheFloor) {
    const std::map<std::string, ReleaseInfo> signedReleases = loadSignedReleases();
    std::vector<ReleaseInfo> releases;
    for (const char* version : {"1.2.3", "2.9.9", "1.2.10"}) {
        releases.push_back(signedReleases.at(version));
    }
    ReleaseInfo tamperedNewest = signedReleases.at("3.0.0");
    tamperedNewest.notes += ".";  // no longer verifies
    releases.push_back(tamperedNewest);
    const struct {
        const char* floor;
        const char* chosen;  // null for none
    } kCases[] = {
        {"0.0.0", "2.9.9"},     {"1.2.10", "2.9.9"},
        {"2.9.9", "2.9.9"},      // the floor itself is allowed
        {"002.09.09", "2.9.9"},  // compared as numbers
        {"2.9.10", nullptr},     // only the unsigned 3.0.0 is left
        {"3.0.0", nullptr},
    };
    for (const auto& c : kCases) {
        const std::optional<std::size_t> chosen =
            pickNewestReleaseAtLeast(releases, kReleasePublicKey, c.floor);
        if (c.chosen == nullptr) {
            EXPECT_FALSE(chosen.has_value()) << c.floor;
        } else {
            ASSERT_TRUE(chosen.has_value()) << c.floor;
            EXPECT_EQ(releases[*chosen].version, c.chosen) << c.floor;
        }
    }
    // This build's own floor is the default one.
    EXPECT_TRUE(isValidVersion(kMinimumVersion));
    EXPECT_EQ(pickNewestRelease(releases),
              pickNewestReleaseAtLeast(releases, kReleasePublicKey, kMinimumVersion));
}

// A list longer than kMaxReleasesExamined is looked at only up to that many
// entries: a signed release after them is never checked.
TEST(PickNewestRelease, LooksAtNoMoreThanTheBoundOfReleases) {
    ReleaseInfo padding = loadSignedReleases().at("1.2.3");
    padding.signature = "not a signature";  // refused before any cryptography
    const ReleaseInfo good = loadSignedReleases().at("3.0.0");
    std::vector<ReleaseInfo> releases(kMaxReleasesExamined - 1, padding);
    releases.push_back(good);
    EXPECT_EQ(pickNewestRelease(releases), kMaxReleasesExamined - 1) << "the last one looked at";
    releases.back() = padding;
    releases.push_back(good);
    EXPECT_FALSE(pickNewestRelease(releases).has_value()) << "one past the bound";
}

}  // namespace
}  // namespace orva
