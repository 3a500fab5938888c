#include "download/update_endpoint.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <optional>
#include <string>

#include "download/download.h"

namespace orva {
namespace {

// Sets ORVA_UPDATE_URL (or removes it, for nullopt) for one test and puts the
// value found at the start back afterwards.
class UpdateUrlTest : public ::testing::Test {
  protected:
    void SetUp() override {
        wchar_t value[32768];
        const DWORD units = GetEnvironmentVariableW(kUpdateUrlVariable, value, 32768);
        if (units > 0 && units < 32768) {
            saved_ = std::wstring(value, units);
        }
    }
    void TearDown() override { setVariable(saved_); }

    static void setVariable(const std::optional<std::wstring>& value) {
        ASSERT_TRUE(SetEnvironmentVariableW(kUpdateUrlVariable, value ? value->c_str() : nullptr));
    }

  private:
    std::optional<std::wstring> saved_;
};

TEST_F(UpdateUrlTest, DefaultIsTheServiceHostOverHttps) {
    EXPECT_EQ(std::string(kDefaultUpdateUrl),
              std::string("https://") + kServiceHost + "/api/update");
    setVariable(std::nullopt);
    EXPECT_EQ(updateUrl("/list"), "https://updates.orva-cad.example/api/update/list");
    setVariable(L"");
    EXPECT_EQ(updateUrl("/list"), "https://updates.orva-cad.example/api/update/list");
}

struct BaseCase {
    const char* name;
    std::wstring variable;
    std::string path;
    std::string url;
};

TEST_F(UpdateUrlTest, JoinsTheVariableAndThePath) {
    const BaseCase kCases[] = {
        {"used as it is", L"http://127.0.0.1:8080/api", "/list", "http://127.0.0.1:8080/api/list"},
        {"one trailing slash", L"http://h/api/", "/list", "http://h/api/list"},
        {"every trailing slash", L"http://h/api///", "/list", "http://h/api/list"},
        {"only slashes leave the path alone", L"///", "/list", "/list"},
        // Nothing else is changed: no trimming, no check, no escaping.
        {"blanks stay", L" http://h/a b ", "/list", " http://h/a b /list"},
        {"not a URL at all", L"nonsense", "/list", "nonsense/list"},
        {"query appended as given", L"http://h/api", "/setup?version=2.4.1",
         "http://h/api/setup?version=2.4.1"},
        {"non-ASCII becomes UTF-8", L"http://b\u00FCcher.example/\u20AC", "/list",
         "http://b\xC3\xBC"
         "cher.example/\xE2\x82\xAC/list"},
    };
    for (const BaseCase& c : kCases) {
        setVariable(c.variable);
        EXPECT_EQ(updateUrl(c.path), c.url) << c.name;
    }
}

TEST_F(UpdateUrlTest, ReadsTheVariableAnewOnEveryCall) {
    setVariable(L"http://one.example");
    EXPECT_EQ(updateUrl("/list"), "http://one.example/list");
    setVariable(L"http://two.example");
    EXPECT_EQ(updateUrl("/list"), "http://two.example/list");
    setVariable(std::nullopt);
    EXPECT_EQ(updateUrl("/list"), "https://updates.orva-cad.example/api/update/list");
}

TEST_F(UpdateUrlTest, IgnoresAValueThatDoesNotFitTheBuffer) {
    // 2,047 units fit the 2,048-unit buffer with its terminating zero.
    const std::wstring prefix = L"http://h/";
    const std::wstring fits = prefix + std::wstring(2047 - prefix.size(), L'a');
    setVariable(fits);
    EXPECT_EQ(updateUrl("/list"), "http://h/" + std::string(2047 - prefix.size(), 'a') + "/list");

    setVariable(fits + L"a");
    EXPECT_EQ(updateUrl("/list"), "https://updates.orva-cad.example/api/update/list");
    setVariable(fits + std::wstring(5000, L'a'));
    EXPECT_EQ(updateUrl("/list"), "https://updates.orva-cad.example/api/update/list");
}

}  // namespace
}  // namespace orva
