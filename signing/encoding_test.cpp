#include "signing/encoding.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "tests/support/test_data.h"

namespace orva {
namespace {

using testing::fromHex;

Bytes bytesOf(std::string_view text) {
    return Bytes(text.begin(), text.end());
}

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
    const std::string padded = encodeBase64(signature);
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

TEST(EncodeBase64, WritesTheStandardFormWithPadding) {
    struct Case {
        const char* why;
        Bytes bytes;
        const char* text;
    };
    const Case kCases[] = {
        // RFC 4648, section 10.
        {"RFC 4648: empty", bytesOf(""), ""},
        {"RFC 4648: f", bytesOf("f"), "Zg=="},
        {"RFC 4648: fo", bytesOf("fo"), "Zm8="},
        {"RFC 4648: foo", bytesOf("foo"), "Zm9v"},
        {"RFC 4648: foob", bytesOf("foob"), "Zm9vYg=="},
        {"RFC 4648: fooba", bytesOf("fooba"), "Zm9vYmE="},
        {"RFC 4648: foobar", bytesOf("foobar"), "Zm9vYmFy"},
        // The last two letters of the alphabet, and the top bits of a byte
        // (from `printf '\373\377' | base64` and `printf '\0\0\0\377' | base64`).
        {"plus and slash", {0xFB, 0xFF}, "+/8="},
        {"zero bytes and a high byte", {0x00, 0x00, 0x00, 0xFF}, "AAAA/w=="},
        // 57 bytes make exactly 76 letters, where a MIME encoder would break
        // the line; this one never does (`head -c 58 /dev/zero | base64 -w0`).
        {"no line breaks", Bytes(58, 0x00),
         "AAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAA=="},
    };
    for (const Case& c : kCases) {
        EXPECT_EQ(encodeBase64(c.bytes), c.text) << c.why;
    }
}

TEST(EncodeBase64, DecodesBackToTheSameBytesAtEveryLength) {
    Bytes bytes;
    for (std::size_t length = 0; length <= 70; ++length) {
        const std::string text = encodeBase64(bytes);
        EXPECT_EQ(text.size(), (length + 2) / 3 * 4) << length;
        Bytes decoded = {0xDE};
        ASSERT_TRUE(decodeBase64(text, decoded)) << text;
        EXPECT_EQ(decoded, bytes) << text;
        bytes.push_back(static_cast<std::uint8_t>(length * 37 + 250));
    }
}

TEST(DecodeHex, ReadsEitherCaseAndRefusesAnythingElse) {
    struct Case {
        const char* why;
        std::string text;
        bool ok;
        Bytes bytes;  // empty for failures
    };
    const Case kCases[] = {
        {"empty text", "", true, {}},
        {"lower case", "0a1b2c3d4e5f", true, {0x0A, 0x1B, 0x2C, 0x3D, 0x4E, 0x5F}},
        {"upper case", "0A1B2C3D4E5F", true, {0x0A, 0x1B, 0x2C, 0x3D, 0x4E, 0x5F}},
        {"mixed case in one byte", "fF", true, {0xFF}},
        {"every decimal digit", "0123456789", true, {0x01, 0x23, 0x45, 0x67, 0x89}},
        // Odd lengths: half a byte is not a byte.
        {"one digit", "a", false, {}},
        {"odd number of digits", "abcde", false, {}},
        // The neighbours of the digit ranges in ASCII: '/' ':' '@' 'G' '`' 'g'.
        {"slash before 0", "/0", false, {}},
        {"colon after 9", "9:", false, {}},
        {"at sign before A", "@A", false, {}},
        {"G after F", "FG", false, {}},
        {"backquote before a", "`a", false, {}},
        {"g after f", "fg", false, {}},
        // Bad characters after good bytes leave no bytes behind.
        {"blank after a byte", "00 a", false, {}},
        {"line feed after bytes", "0011\n0", false, {}},
        {"0x prefix", "0x11", false, {}},
        {"sign", "+1", false, {}},
        {"zero byte", std::string("0\0", 2), false, {}},
        {"byte above 0x7F", "00\xC3\xA9", false, {}},
    };
    for (const Case& c : kCases) {
        Bytes out = {0xDE, 0xAD};  // must be emptied
        EXPECT_EQ(decodeHex(c.text, out), c.ok) << c.why;
        EXPECT_EQ(out, c.bytes) << c.why;
    }
}

TEST(DecodeHex, ReadsBackWhatToHexWrites) {
    Bytes every(256);
    for (std::size_t i = 0; i < every.size(); ++i) {
        every[i] = static_cast<std::uint8_t>(i);
    }
    Bytes decoded;
    ASSERT_TRUE(decodeHex(toHex(every), decoded));
    EXPECT_EQ(decoded, every);
}

}  // namespace
}  // namespace orva
