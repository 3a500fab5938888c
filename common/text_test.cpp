#include "common/text.h"

#include <gtest/gtest.h>

#include <string>

namespace orva {
namespace {

struct Utf8Case {
    const char* name;
    std::string utf8;
    std::wstring wide;
};

TEST(Utf8ToWide, ConvertsAndReplacesMalformedBytes) {
    const Utf8Case kCases[] = {
        {"empty", "", L""},
        {"ascii", "Orva 2.4.1", L"Orva 2.4.1"},
        {"two-byte", "caf\xC3\xA9", L"caf\u00E9"},
        {"astral (surrogate pair)", "\xF0\x9F\x98\x80", L"\U0001F600"},
        {"embedded zero stays", std::string("a\0b", 3), std::wstring(L"a\0b", 3)},
        // Malformed input is replaced, never refused.
        {"lone continuation byte", "a\x80z", L"a\uFFFDz"},
        {"truncated sequence at the end", "a\xC3", L"a\uFFFD"},
        {"latin-1 byte", "\xE9t\xE9", L"\uFFFDt\uFFFD"},
    };
    for (const Utf8Case& c : kCases) {
        EXPECT_EQ(utf8ToWide(c.utf8), c.wide) << c.name;
    }
}

TEST(AsciiToWide, WidensEachByteToOneUnit) {
    EXPECT_EQ(asciiToWide(""), L"");
    EXPECT_EQ(asciiToWide("Orva-Setup"), L"Orva-Setup");
    // Not a UTF-8 decoder: a byte above 0x7F keeps its value.
    EXPECT_EQ(asciiToWide("\xE9"), std::wstring(1, static_cast<wchar_t>(0xE9)));
}

TEST(WideToUtf8, RoundTripsAndReplacesLoneSurrogates) {
    EXPECT_EQ(wideToUtf8(L""), "");
    EXPECT_EQ(wideToUtf8(L"caf\u00E9 \U0001F600"), "caf\xC3\xA9 \xF0\x9F\x98\x80");
    const std::wstring loneHigh(1, static_cast<wchar_t>(0xD800));
    EXPECT_EQ(wideToUtf8(L"a" + loneHigh + L"b"), std::string("a\xEF\xBF\xBD") + "b");
}

}  // namespace
}  // namespace orva
