#include "tools/release/json_writer.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

namespace orva {
namespace {

using namespace std::string_literals;

TEST(JsonString, EscapesOnlyWhatJsonRequires) {
    struct Case {
        std::string text;
        std::string json;
    };
    const Case kCases[] = {
        {"", R"("")"},
        {"2.4.1", R"("2.4.1")"},
        {"say \"hi\"", R"("say \"hi\"")"},
        {"C:\\Temp", R"("C:\\Temp")"},
        {"a/b", R"("a/b")"},  // the slash needs no escape
        {"\b\f\n\r\t", R"("\b\f\n\r\t")"},
        {"\x01\x1f"s, R"("\u0001\u001f")"},
        {"nul\0byte"s, R"("nul\u0000byte")"},
        {"\x7f", "\"\x7f\""},                                          // DEL is allowed as it is
        {"Caf\xc3\xa9 \xe2\x80\x93", "\"Caf\xc3\xa9 \xe2\x80\x93\""},  // UTF-8 unchanged
    };
    for (const Case& c : kCases) {
        EXPECT_EQ(jsonString(c.text), c.json) << c.json;
    }
}

TEST(JsonString, EveryByteReadsBackUnchanged) {
    std::string all;
    for (int b = 0; b < 256; ++b) {
        all.push_back(static_cast<char>(b));
    }
    JsonValue value;
    std::string error;
    ASSERT_TRUE(parseJson(jsonString(all), value, error)) << error;
    ASSERT_EQ(value.kind, JsonKind::kString);
    EXPECT_EQ(value.text, all);
}

TEST(WriteJson, LaysOutOneMemberPerLine) {
    JsonValue document;
    std::string error;
    ASSERT_TRUE(parseJson(R"({"releases": [{"version": "1.0.0", "size": 1000, "x": [true, null]},
                                           [], {}], "comment": "c"})",
                          document, error));
    EXPECT_EQ(writeJson(document), R"({
  "releases": [
    {
      "version": "1.0.0",
      "size": 1000,
      "x": [
        true,
        null
      ]
    },
    [],
    {}
  ],
  "comment": "c"
})");
}

TEST(WriteJson, NumbersReadBackTheSame) {
    struct Case {
        double number;
        const char* json;  // null: only the round trip is checked
    };
    const Case kCases[] = {
        {0, "0"},
        {4000000000.0, "4000000000"},  // sizes are written as whole numbers
        {-1, "-1"},
        {9007199254740992.0, "9007199254740992"},
        {1000.5, "1000.5"},
        {0.1, "0.1"},
        {1e300, nullptr},
        {-2.5e-300, nullptr},
        {9007199254740994.0, nullptr},
    };
    for (const Case& c : kCases) {
        JsonValue value;
        value.kind = JsonKind::kNumber;
        value.number = c.number;
        const std::string text = writeJson(value);
        if (c.json != nullptr) {
            EXPECT_EQ(text, c.json);
        }
        JsonValue back;
        std::string error;
        ASSERT_TRUE(parseJson(text, back, error)) << text << ": " << error;
        EXPECT_EQ(back.number, c.number) << text;
    }
    JsonValue nan;
    nan.kind = JsonKind::kNumber;
    nan.number = std::numeric_limits<double>::quiet_NaN();
    EXPECT_EQ(writeJson(nan), "null");  // JSON has no NaN
}

}  // namespace
}  // namespace orva
