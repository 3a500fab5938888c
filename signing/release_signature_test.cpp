#include "signing/release_signature.h"

#include <gtest/gtest.h>

#include <cctype>
#include <functional>
#include <string>
#include <vector>

#include "signing/encoding.h"
#include "tests/support/signed_fixtures.h"
#include "tests/support/test_data.h"

namespace orva {
namespace {

using testing::fromHex;

constexpr const char* kNotSigned = "the release was not signed by Orva's maker";
constexpr const char* kNotASignature = "the release's signature is not one";

TEST(SignedPayload, IsExactlyTheSixLines) {
    ReleaseInfo release;
    release.version = "2.4.1";
    release.date = "2026-11-30";
    release.size = 4000000000;
    release.sha256 = "ABCdef";  // entered as listed, not re-encoded
    release.notes = "abc";
    release.signature = "not part of the text";
    EXPECT_EQ(signedPayload(release),
              "orva-update-v1\n2.4.1\n2026-11-30\n4000000000\nABCdef\n"
              "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad\n");

    // A default record: size 0 is the single digit, empty notes hash to the
    // digest of nothing.
    EXPECT_EQ(signedPayload(ReleaseInfo()),
              "orva-update-v1\n\n\n0\n\n"
              "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855\n");
}

TEST(VerifyRelease, BuiltInTestKeyIsTheFixturesKey) {
    // The test executables link the test key in place of the maker's.
    EXPECT_EQ(kReleasePublicKey, testing::loadSignedFixtures().publicKey);
}

TEST(VerifyRelease, AcceptsEverySignedFixture) {
    const testing::SignedFixtures fixtures = testing::loadSignedFixtures();
    ASSERT_EQ(fixtures.releases.size(), 3u);
    for (const auto& [name, release] : fixtures.releases) {
        std::string error = "untouched";
        EXPECT_TRUE(verifyRelease(release, error)) << name << ": " << error;
        EXPECT_TRUE(verifyReleaseWithKey(release, fixtures.publicKey, error)) << name;
        EXPECT_EQ(error, "untouched") << name;
    }
}

TEST(VerifyRelease, AnyChangeToASignedFieldBreaksTheSignature) {
    struct Change {
        const char* what;
        std::function<void(ReleaseInfo&)> apply;
    };
    const Change kChanges[] = {
        {"version", [](ReleaseInfo& r) { r.version.back() ^= 0x01; }},
        {"version grows", [](ReleaseInfo& r) { r.version += "0"; }},
        {"date", [](ReleaseInfo& r) { r.date[0] ^= 0x01; }},
        {"size + 1", [](ReleaseInfo& r) { r.size += 1; }},
        {"size - 1", [](ReleaseInfo& r) { r.size -= 1; }},
        {"sha256", [](ReleaseInfo& r) { r.sha256.back() = r.sha256.back() == '0' ? '1' : '0'; }},
        {"sha256 in upper case",
         [](ReleaseInfo& r) {
             for (char& c : r.sha256)
                 c = static_cast<char>(std::toupper(c));
         }},
        {"notes", [](ReleaseInfo& r) { r.notes += " "; }},
        {"notes lose a byte",
         [](ReleaseInfo& r) {
             if (r.notes.empty())
                 r.notes = "x";
             else
                 r.notes.pop_back();
         }},
    };
    const testing::SignedFixtures fixtures = testing::loadSignedFixtures();
    for (const auto& [name, original] : fixtures.releases) {
        for (const Change& change : kChanges) {
            ReleaseInfo release = original;
            change.apply(release);
            std::string error;
            EXPECT_FALSE(verifyRelease(release, error)) << name << ", " << change.what;
            EXPECT_EQ(error, kNotSigned) << name << ", " << change.what;
        }
    }
}

TEST(VerifyRelease, SignatureFormsAndTheirSentences) {
    const testing::SignedFixtures fixtures = testing::loadSignedFixtures();
    ASSERT_FALSE(fixtures.releases.empty());
    const ReleaseInfo original = fixtures.releases[0].second;
    Bytes signature;
    ASSERT_TRUE(decodeBase64(original.signature, signature));
    ASSERT_EQ(signature.size(), 64u);

    std::string spaced = original.signature;
    spaced.insert(60, "\r\n");
    spaced.insert(10, " \t");
    Bytes tooLong = signature;
    tooLong.push_back(0);
    Bytes otherBytes = signature;
    otherBytes[10] ^= 0x40;

    struct Case {
        const char* why;
        std::string signature;
        const char* error;  // null: verifies
    };
    const Case kCases[] = {
        {"as listed", original.signature, nullptr},
        {"blanks and line breaks inside", spaced, nullptr},
        {"without padding", original.signature.substr(0, 86), nullptr},
        {"63 bytes", encodeBase64(Bytes(signature.begin(), signature.end() - 1)), kNotASignature},
        {"65 bytes", encodeBase64(tooLong), kNotASignature},
        {"empty", "", kNotASignature},
        {"URL-safe letters", encodeBase64(signature).replace(5, 1, "-"), kNotASignature},
        {"64 other bytes", encodeBase64(otherBytes), kNotSigned},
        {"64 zero bytes", encodeBase64(Bytes(64, 0)), kNotSigned},
    };
    for (const Case& c : kCases) {
        ReleaseInfo release = original;
        release.signature = c.signature;
        std::string error = "untouched";
        const bool ok = verifyRelease(release, error);
        if (c.error == nullptr) {
            EXPECT_TRUE(ok) << c.why << ": " << error;
            EXPECT_EQ(error, "untouched") << c.why;
        } else {
            EXPECT_FALSE(ok) << c.why;
            EXPECT_EQ(error, c.error) << c.why;
        }
    }
}

TEST(VerifyReleaseWithKey, OtherOrBrokenKeysFail) {
    const testing::SignedFixtures fixtures = testing::loadSignedFixtures();
    ASSERT_FALSE(fixtures.releases.empty());
    const ReleaseInfo& release = fixtures.releases[0].second;
    Bytes otherKey = fixtures.publicKey;
    otherKey[0] ^= 0x01;
    const Bytes keys[] = {otherKey, Bytes(63, 7), Bytes(), Bytes(64, 0)};
    for (const Bytes& key : keys) {
        std::string error;
        EXPECT_FALSE(verifyReleaseWithKey(release, key, error)) << toHex(key);
        EXPECT_EQ(error, kNotSigned) << toHex(key);
    }
}

}  // namespace
}  // namespace orva
