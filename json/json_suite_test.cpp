// The JSONTestSuite corpus (tests/data/json-test-suite, MIT licence beside it):
// every y_ file must be accepted, every n_ file refused except the ones this
// reader accepts by design, and no i_ file may crash or trip a sanitizer.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>

#include "json/json.h"
#include "tests/support/test_data.h"

namespace orva {
namespace {

// n_ files the reader accepts on purpose, each with the rule that accepts it.
const std::map<std::string, std::string> kAcceptedByDesign = {
    // Numbers are whatever the standard double conversion reads in full, which
    // allows leading zeros and a decimal point at either end of the digits.
    {"n_number_-01.json", "leading zero"},
    {"n_number_neg_int_starting_with_zero.json", "leading zero"},
    {"n_number_with_leading_zero.json", "leading zero"},
    {"n_number_-2..json", "decimal point at the end"},
    {"n_number_real_without_fractional_part.json", "decimal point at the end"},
    {"n_number_2.e3.json", "decimal point at the end, then an exponent"},
    {"n_number_2.e+3.json", "decimal point at the end, then an exponent"},
    {"n_number_2.e-3.json", "decimal point at the end, then an exponent"},
    {"n_number_0.e1.json", "decimal point at the end, then an exponent"},
    {"n_number_starting_with_dot.json", "decimal point at the start"},
    {"n_number_.2e-3.json", "decimal point at the start"},
    {"n_number_neg_real_without_int_part.json", "decimal point at the start"},
    // Bytes inside strings are copied unchecked, raw control bytes included.
    {"n_string_unescaped_ctrl_char.json", "raw control byte in a string"},
    {"n_string_unescaped_newline.json", "raw line feed in a string"},
    {"n_string_unescaped_tab.json", "raw tab in a string"},
};

TEST(JsonTestSuite, AcceptsAndRefusesAsDesigned) {
    const std::filesystem::path folder = testing::testDataPath("json-test-suite/test_parsing");
    int accepted = 0;
    int refused = 0;
    int files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        const std::string name = entry.path().filename().string();
        const std::string text = testing::readTestFile(entry.path());
        JsonValue value;
        std::string error;
        const bool ok = parseJson(text, value, error);
        ++files;
        (ok ? accepted : refused)++;
        if (name.starts_with("y_")) {
            EXPECT_TRUE(ok) << name << ": " << error;
        } else if (name.starts_with("n_")) {
            const auto rule = kAcceptedByDesign.find(name);
            if (rule == kAcceptedByDesign.end()) {
                EXPECT_FALSE(ok) << name << " was accepted";
            } else {
                EXPECT_TRUE(ok) << name << " (" << rule->second << "): " << error;
            }
        }
        if (!ok) {
            EXPECT_TRUE(error.ends_with(")")) << name << ": " << error;
        }
    }
    EXPECT_EQ(files, 318) << "the corpus in tests/data is incomplete";
    std::printf("JSONTestSuite: %d files, %d accepted, %d refused\n", files, accepted, refused);
}

}  // namespace
}  // namespace orva
