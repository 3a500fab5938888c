#include "json/json.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <utility>

namespace orva {
namespace {

std::string nested(int depth, const std::string& inner) {
    return std::string(static_cast<std::size_t>(depth), '[') + inner +
           std::string(static_cast<std::size_t>(depth), ']');
}

struct FaultCase {
    std::string text;
    std::string error;
};

TEST(ParseJson, ReportsTheFirstFaultAndItsLine) {
    const FaultCase kCases[] = {
        // Nothing where a value must be.
        {"", "unexpected end of file (line 1)"},
        {" \t\r ", "unexpected end of file (line 1)"},
        {"\n\n", "unexpected end of file (line 3)"},
        {"[\n\n", "unexpected end of file (line 3)"},
        {"\xEF\xBB\xBF", "unexpected end of file (line 1)"},
        // Only part of a byte order mark: read from byte 0, where 0xEF starts no value.
        {"\xEF\xBB{}", "unexpected character (line 1)"},
        // Literals are whole, case-sensitive words.
        {"tru", "unexpected text (line 1)"},
        {"[nul]", "unexpected text (line 1)"},
        {"True", "unexpected character (line 1)"},
        {"truex", "unexpected text after the document (line 1)"},
        {"1 2", "unexpected text after the document (line 1)"},
        {"{}\n}", "unexpected text after the document (line 2)"},
        // Number runs that do not convert in full.
        {"-", "invalid number (line 1)"},
        {"1.2.3", "invalid number (line 1)"},
        {"+1", "invalid number (line 1)"},
        {"1e999", "invalid number (line 1)"},
        {"[.]", "invalid number (line 1)"},
        {"[e5]", "invalid number (line 1)"},
        // Strings.
        {"\"", "unterminated string (line 1)"},
        {"\"abc", "unterminated string (line 1)"},
        {"\"abc\\", "unterminated string (line 1)"},
        {"\"a\\n", "unterminated string (line 1)"},
        {"\"\\x\"", "invalid escape in string (line 1)"},
        {"\"\\u12", "truncated \\u escape (line 1)"},
        {"\"\\u12G4\"", "invalid \\u escape (line 1)"},
        {"\"\\uD800\\u00G1\"", "invalid \\u escape (line 1)"},
        // A raw line feed inside a string counts for later lines.
        {"[\"a\nb\", x]", "unexpected character (line 2)"},
        // Arrays.
        {"[1,]", "unexpected character (line 1)"},
        {"[1", "unterminated array (line 1)"},
        {"[1 2]", "expected ',' or ']' (line 1)"},
        // Objects.
        {"{", "expected a member name (line 1)"},
        {"{1:2}", "expected a member name (line 1)"},
        {"{\"a\":1,}", "expected a member name (line 1)"},
        {"{\"a\" 1}", "expected ':' (line 1)"},
        {"{\"a\"", "expected ':' (line 1)"},
        {"{\"a\":1", "unterminated object (line 1)"},
        {"{\"a\":1 \"b\":2}", "expected ',' or '}' (line 1)"},
        // Carriage returns do not count: CR LF and LF give the same lines.
        {"{\r\n\"a\":1,\r\n}", "expected a member name (line 3)"},
        {"{\n\"a\"\n:\n1\n,\n}", "expected a member name (line 6)"},
        // The depth limit: the document value is level 1.
        {std::string(257, '['), "nesting too deep (line 1)"},
        {nested(256, "1"), "nesting too deep (line 1)"},
        {"\n" + nested(300, ""), "nesting too deep (line 2)"},
    };
    for (const FaultCase& c : kCases) {
        JsonValue value;
        std::string error = "junk from an earlier call";
        EXPECT_FALSE(parseJson(c.text, value, error)) << c.text;
        EXPECT_EQ(error, c.error) << c.text;
    }
}

TEST(ParseJson, LeavesErrorUntouchedOnSuccess) {
    JsonValue value;
    std::string error = "earlier";
    ASSERT_TRUE(parseJson(" {\"a\": [true, false, null]} \r\n", value, error));
    EXPECT_EQ(error, "earlier");
}

TEST(ParseJson, ReadsEveryKind) {
    JsonValue value;
    std::string error;
    ASSERT_TRUE(parseJson(R"({"n": null, "t": true, "f": false, "x": -1.5, "s": "hi",
                             "a": [1, [], {}], "o": {"k": "v"}})",
                          value, error))
        << error;
    ASSERT_EQ(value.kind, JsonKind::kObject);
    ASSERT_EQ(value.size(), 7u);
    EXPECT_EQ(value.names, (std::vector<std::string>{"n", "t", "f", "x", "s", "a", "o"}));
    EXPECT_EQ(value.find("n")->kind, JsonKind::kNull);
    EXPECT_EQ(value.find("t")->kind, JsonKind::kBool);
    EXPECT_TRUE(value.find("t")->boolean);
    EXPECT_FALSE(value.find("f")->boolean);
    EXPECT_EQ(value.find("x")->number, -1.5);
    EXPECT_EQ(value.find("s")->text, "hi");
    const JsonValue& array = *value.find("a");
    ASSERT_EQ(array.kind, JsonKind::kArray);
    ASSERT_EQ(array.size(), 3u);
    EXPECT_EQ(array.items[0].number, 1.0);
    EXPECT_EQ(array.items[1].kind, JsonKind::kArray);
    EXPECT_EQ(array.items[1].size(), 0u);
    EXPECT_EQ(array.items[2].kind, JsonKind::kObject);
    EXPECT_EQ(value.find("o")->find("k")->text, "v");
}

TEST(ParseJson, ByteOrderMarkIsSkippedOnlyWhole) {
    JsonValue value;
    std::string error;
    ASSERT_TRUE(parseJson("\xEF\xBB\xBF{}", value, error)) << error;
    EXPECT_EQ(value.kind, JsonKind::kObject);
    EXPECT_EQ(value.size(), 0u);
    EXPECT_FALSE(parseJson(" \xEF\xBB\xBF{}", value, error));
}

TEST(ParseJson, DepthLimitAllowsLevel256) {
    JsonValue value;
    std::string error;
    ASSERT_TRUE(parseJson(nested(256, ""), value, error)) << error;
    ASSERT_TRUE(parseJson(nested(255, "1"), value, error)) << error;
    const JsonValue* level = &value;
    for (int i = 1; i < 256; ++i) {
        ASSERT_EQ(level->size(), 1u);
        level = &level->items[0];
    }
    EXPECT_EQ(level->kind, JsonKind::kNumber);
}

struct NumberCase {
    const char* text;
    double value;
};

TEST(ParseJson, NumbersFollowTheStandardConversion) {
    // Wider than the JSON grammar by design: leading zeros, a bare decimal
    // point at either end, either exponent mark.
    const NumberCase kCases[] = {
        {"0", 0.0},          {"-0", -0.0},
        {"1E+2", 100.0},     {"1e-2", 0.01},
        {"007", 7.0},        {".5", 0.5},
        {"5.", 5.0},         {"-12.5e1", -125.0},
        {"4000000000", 4e9}, {"1.7976931348623157e308", 1.7976931348623157e308},
    };
    for (const NumberCase& c : kCases) {
        JsonValue value;
        std::string error;
        ASSERT_TRUE(parseJson(c.text, value, error)) << c.text << ": " << error;
        EXPECT_EQ(value.kind, JsonKind::kNumber) << c.text;
        EXPECT_EQ(value.number, c.value) << c.text;
        EXPECT_EQ(std::signbit(value.number), std::signbit(c.value)) << c.text;
    }
}

// U+FFFD in UTF-8, which stands for every broken surrogate.
const std::string kReplacement = "\xEF\xBF\xBD";

struct StringCase {
    const char* name;
    std::string text;
    std::string bytes;
};

TEST(ParseJson, DecodesStringsToUtf8) {
    const StringCase kCases[] = {
        {"simple escapes", R"("\"\\\/\b\f\n\r\t")", "\"\\/\b\f\n\r\t"},
        {"two-byte code point", R"("\u00e9")", "\xC3\xA9"},
        {"upper-case digits", R"("\u00E9")", "\xC3\xA9"},
        {"three-byte code point", R"("\u20AC")", "\xE2\x82\xAC"},
        {"escaped zero stays", R"("a\u0000b")", std::string("a\0b", 3)},
        {"surrogate pair", R"("\uD83D\uDE00")", "\xF0\x9F\x98\x80"},
        {"lone high then a letter", R"("\uD800a")", kReplacement + "a"},
        {"high then an escaped letter", R"("\uD800\u0061")", kReplacement + "a"},
        {"high at the end of the string", R"("\uD800")", kReplacement},
        {"lone low", R"("\uDC00x")", kReplacement + "x"},
        {"two highs, then a low pairs with the second", R"("\uD800\uD800\uDC00")",
         kReplacement + "\xF0\x90\x80\x80"},
        {"raw control bytes and high bytes are copied", "\"\x01\n\xFF\"", "\x01\n\xFF"},
    };
    for (const StringCase& c : kCases) {
        JsonValue value;
        std::string error;
        ASSERT_TRUE(parseJson(c.text, value, error)) << c.name << ": " << error;
        EXPECT_EQ(value.kind, JsonKind::kString) << c.name;
        EXPECT_EQ(value.text, c.bytes) << c.name;
    }
}

TEST(ParseJson, RepeatedMemberKeepsFirstPositionAndLastValue) {
    JsonValue value;
    std::string error;
    ASSERT_TRUE(parseJson(R"({"a": 1, "b": 0, "a": 2})", value, error)) << error;
    ASSERT_EQ(value.size(), 2u);
    EXPECT_EQ(value.names[0], "a");
    EXPECT_EQ(value.items[0].number, 2.0);
    EXPECT_EQ(value.find("a"), &value.items[0]);
}

TEST(ParseJson, RepeatedMembersInALargeObject) {
    // Large objects keep a name index while parsing; the result must be the
    // same as for a small one.
    std::string text = "{";
    for (int i = 0; i < 1000; ++i) {
        text += "\"m" + std::to_string(i) + "\": " + std::to_string(i) + ", ";
    }
    text += R"("m5": "early", "m999": "late", "m1000": true})";
    JsonValue value;
    std::string error;
    ASSERT_TRUE(parseJson(text, value, error)) << error;
    ASSERT_EQ(value.size(), 1001u);
    ASSERT_EQ(value.items.size(), 1001u);
    EXPECT_EQ(value.names[5], "m5");
    EXPECT_EQ(value.items[5].text, "early");
    EXPECT_EQ(value.names[999], "m999");
    EXPECT_EQ(value.items[999].text, "late");
    EXPECT_EQ(value.names[1000], "m1000");
    EXPECT_EQ(value.find("m500")->number, 500.0);
}

TEST(JsonValue, FindMatchesExactNamesOfObjectsOnly) {
    JsonValue value;
    std::string error;
    ASSERT_TRUE(parseJson(R"({"Error": 1, "error": 2})", value, error)) << error;
    EXPECT_EQ(value.find("error")->number, 2.0);
    EXPECT_EQ(value.find("ERROR"), nullptr);
    EXPECT_EQ(value.find("err"), nullptr);
    EXPECT_EQ(value.find(std::string("error\0", 6)), nullptr);

    for (const char* text : {"[\"error\"]", "\"error\"", "7", "null"}) {
        ASSERT_TRUE(parseJson(text, value, error)) << text;
        EXPECT_EQ(value.find("error"), nullptr) << text;
    }
}

TEST(JsonValue, SizeCountsMembersOrItems) {
    JsonValue value;
    EXPECT_EQ(value.size(), 0u);
    value.text = "not counted";
    EXPECT_EQ(value.size(), 0u);
    JsonValue array;
    array.append(JsonValue());
    array.append(JsonValue());
    EXPECT_EQ(array.kind, JsonKind::kArray);
    EXPECT_EQ(array.size(), 2u);
}

TEST(JsonValue, SetReplacesInPlaceAndAppendsNewNames) {
    JsonValue object;
    JsonValue one;
    one.kind = JsonKind::kNumber;
    one.number = 1;
    JsonValue two = one;
    two.number = 2;
    object.set("a", std::move(one));
    object.set("b", JsonValue());
    JsonValue& stored = object.set("a", std::move(two));
    EXPECT_EQ(object.kind, JsonKind::kObject);
    EXPECT_EQ(object.names, (std::vector<std::string>{"a", "b"}));
    EXPECT_EQ(&stored, &object.items[0]);
    EXPECT_EQ(stored.number, 2.0);
}

TEST(JsonValue, MoveLeavesTheSourceEmpty) {
    JsonValue source;
    std::string error;
    ASSERT_TRUE(parseJson(R"({"a": [1, 2], "b": "text"})", source, error)) << error;
    JsonValue moved(std::move(source));
    EXPECT_EQ(moved.kind, JsonKind::kObject);
    EXPECT_EQ(moved.size(), 2u);
    EXPECT_TRUE(source.names.empty());  // NOLINT(bugprone-use-after-move): checked on purpose
    EXPECT_TRUE(source.items.empty());

    JsonValue text;
    text.kind = JsonKind::kString;
    text.text = std::string(100, 'x');  // longer than any small-string buffer
    JsonValue target;
    target = std::move(text);
    EXPECT_EQ(target.text, std::string(100, 'x'));
    EXPECT_TRUE(text.text.empty());  // NOLINT(bugprone-use-after-move): checked on purpose
}

}  // namespace
}  // namespace orva
