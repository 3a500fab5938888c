#include "signing/encoding.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/support/test_data.h"

namespace orva {
namespace {

using testing::fromHex;
using testing::toBase64;

struct Base64Case {
    const char* why;
    std::string text;
    bool ok;
    std::string hex;  // the decoded bytes; for failures, those before the bad byte
};

TEST(DecodeBase64, DecodesSkipsAndStopsAsDesigned) {
    const Base64Case kCases[] = {
        {"empty text", "", true, ""},
        {"only blanks", " \t\r\n", true, ""},
        {"equals sign first", "=AAAA", true, ""},
        {"RFC 4648 example", "Zm9vYmFy", true, "666f6f626172"},
        {"padding", "Zm9vYg==", true, "666f6f62"},
        {"missing padding", "Zm9vYg", true, "666f6f62"},
        {"one character carries no whole byte", "Q", true, ""},
        {"two characters give one byte", "QQ", true, "41"},
        {"blanks and line breaks anywhere", " Zm9v\r\nYm\tFy ", true, "666f6f626172"},
        {"all 64 letters", "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/", true,
         "00108310518720928b30d38f41149351559761969b71d79f8218a39259a7a29aabb2dbafc31cb3d35db7e39e"
         "bbf3dfbf"},
        // Whatever follows the first equals sign is ignored, even bytes that
        // would otherwise be refused.
        {"refused bytes after the end", "QQ==-_\x0b\x80", true, "41"},
        // Not in the standard alphabet: URL-safe letters, vertical tab, form
        // feed, high bytes. Decoding stops there.
        {"minus sign (URL-safe)", "QUJD-", false, "414243"},
        {"underscore (URL-safe)", "QU_J", false, "41"},
        {"vertical tab is not a blank", "QUJD\x0bQQ", false, "414243"},
        {"form feed is not a blank", "\fQQ", false, ""},
        {"byte above 0x7F", "QUJD\xC3\xA9", false, "414243"},
        {"zero byte", std::string("QQ\0", 3), false, "41"},
    };
    for (const Base64Case& c : kCases) {
        Bytes out = {0xDE, 0xAD};  // must be emptied first
        EXPECT_EQ(decodeBase64(c.text, out), c.ok) << c.why;
        EXPECT_EQ(toHex(out), c.hex) << c.why;
    }
}

TEST(DecodeBase64, SixtyFourBytesWithOrWithoutPaddingAndBreaks) {
    Bytes signature(64);
    for (std::size_t i = 0; i < signature.size(); ++i) {
        signature[i] = static_cast<std::uint8_t>(255 - i * 3);
    }
    const std::string padded = toBase64(signature);
    ASSERT_EQ(padded.size(), 88u);
    ASSERT_EQ(padded.substr(86), "==");
    std::string broken = padded;
    broken.insert(76, "\r\n");
    broken.insert(40, " ");
    broken.insert(0, "\t");
    for (const std::string& text : {padded, padded.substr(0, 86), broken}) {
        Bytes out;
        ASSERT_TRUE(decodeBase64(text, out)) << text;
        EXPECT_EQ(out, signature) << text;
    }
}

TEST(ToHex, WritesLowercaseDigitsHighNibbleFirst) {
    EXPECT_EQ(toHex({}), "");
    EXPECT_EQ(toHex({0xAB}), "ab");
    EXPECT_EQ(toHex({0x00, 0x0F, 0xF0, 0xFF}), "000ff0ff");
    const Bytes emptyDigest =
        fromHex("E3B0C44298FC1C149AFBF4C8996FB92427AE41E4649B934CA495991B7852B855");
    EXPECT_EQ(toHex(emptyDigest),
              "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
}

}  // namespace
}  // namespace orva
