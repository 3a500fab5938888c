#include "download/service_error.h"

#include <gtest/gtest.h>

#include <string>

namespace orva {
namespace {

HttpResponse answer(std::uint32_t status, std::string body) {
    HttpResponse response;
    response.ok = true;
    response.status = status;
    response.body = std::move(body);
    return response;
}

struct ReasonCase {
    const char* name;
    std::uint32_t status;
    std::string body;
    const char* what;
    std::wstring reason;
};

TEST(ServiceErrorMessage, ShowsTheServiceOwnReasonOrTheStatus) {
    const std::wstring kList503 =
        L"updates.orva-cad.example did not give the list of versions (HTTP 503).";
    const ReasonCase kCases[] = {
        // The service's own text is the whole reason: nothing added, not even a full stop.
        {"error text", 404, R"({"error":"No such version"})", "give the download",
         L"No such version"},
        {"error text among other members", 503, R"({"code":7,"error":"Down for upkeep."})",
         "give the list of versions", L"Down for upkeep."},
        {"non-ASCII error text", 403, "{\"error\":\"Zugriff verweigert \xE2\x80\x93 bitte\"}",
         "give the download", L"Zugriff verweigert \u2013 bitte"},
        {"escaped error text", 500, R"({"error":"caf\u00e9"})", "give the download", L"caf\u00E9"},
        // Anything else gives the status form.
        {"HTML page", 500, "<html><body>Internal error</body></html>", "give the download",
         L"updates.orva-cad.example did not give the download (HTTP 500)."},
        {"empty body", 503, "", "give the list of versions", kList503},
        {"empty error text", 503, R"({"error":""})", "give the list of versions", kList503},
        {"error is a number", 503, R"({"error":42})", "give the list of versions", kList503},
        {"error is null", 503, R"({"error":null})", "give the list of versions", kList503},
        {"error is an object", 503, R"({"error":{"text":"x"}})", "give the list of versions",
         kList503},
        {"error is an array", 503, R"({"error":["x"]})", "give the list of versions", kList503},
        {"no error member", 503, R"({"message":"x"})", "give the list of versions", kList503},
        {"root is an array", 503, R"([{"error":"x"}])", "give the list of versions", kList503},
        {"root is a string", 503, R"("error")", "give the list of versions", kList503},
        {"truncated JSON", 503, R"({"error":"x")", "give the list of versions", kList503},
        // Only 200 is success; the caller asks here for every other status.
        {"204", 204, "", "give the list of versions",
         L"updates.orva-cad.example did not give the list of versions (HTTP 204)."},
        {"status 0", 0, "", "give the download",
         L"updates.orva-cad.example did not give the download (HTTP 0)."},
        {"largest status", 4294967295u, "", "give the download",
         L"updates.orva-cad.example did not give the download (HTTP 4294967295)."},
    };
    for (const ReasonCase& c : kCases) {
        EXPECT_EQ(serviceErrorMessage(answer(c.status, c.body), c.what), c.reason) << c.name;
    }
}

// A hostile or broken service must not be able to fill the window, hide text
// or reorder what the window shows around its reason.
TEST(CleanServiceText, RemovesControlsFoldsSpaceAndCutsLongText) {
    const std::wstring a299(299, L'a');
    const std::wstring a300(300, L'a');
    // U+1F600 as a surrogate pair: one character, two units.
    const std::wstring smiley = L"\xD83D\xDE00";
    const struct {
        const char* name;
        std::wstring text;
        std::wstring clean;
    } kCases[] = {
        {"plain text stays", L"Down for upkeep.", L"Down for upkeep."},
        {"line breaks and tabs fold into one space", L"Down\r\n\tfor\n\nupkeep.",
         L"Down for upkeep."},
        {"white space at either end goes", L" \n Down. \t ", L"Down."},
        {"Unicode spaces fold too", L"a\u00A0\u2003\u3000b\u2028c", L"a b c"},
        {"C0, DEL and C1 controls go",
         L"a\x01\x07"
         L"b\x1B[2Jc\x7F\x9B"
         L"d",
         L"ab[2Jcd"},
        {"NUL inside goes", std::wstring(L"a\0b", 3), L"ab"},
        // "Pay to 1234" shown reversed in the window would read as another amount.
        {"bidirectional overrides go", L"\u202EPay 1234\u202C now", L"Pay 1234 now"},
        {"bidirectional marks and isolates go",
         L"\u200Ea\u200Fb\u061Cc\u2066d\u2067e\u2068f\u2069g\u202Ah\u202Bi\u202Dj", L"abcdefghij"},
        {"only controls and space leave nothing", L" \u202E\r\n\x01 ", L""},
        {"exactly 300 characters stay whole", a300, a300},
        {"301 characters are cut at 300", a300 + L"b", a300 + L"..."},
        {"a space that would be the 301st is not kept", a299 + L"   b", a299 + L"..."},
        {"a space as the 300th character is kept", a299.substr(1) + L" b", a299.substr(1) + L" b"},
        {"a surrogate pair counts once", std::wstring(299, L'a') + smiley, a299 + smiley},
        {"a surrogate pair past the cut goes whole", a300 + smiley, a300 + L"..."},
        {"accents and other scripts stay", L"caf\u00E9 \u4E0B\u8F7D", L"caf\u00E9 \u4E0B\u8F7D"},
    };
    for (const auto& c : kCases) {
        EXPECT_EQ(cleanServiceText(c.text), c.clean) << c.name;
    }
}

TEST(ServiceErrorMessage, ShowsTheServiceTextCleanedOrTheStatusWhenNothingIsLeft) {
    const std::string longText(1000, 'x');
    EXPECT_EQ(serviceErrorMessage(answer(503, "{\"error\":\"Down\\n\\u202Efor\\tupkeep\"}"),
                                  "give the download"),
              L"Down for upkeep");
    EXPECT_EQ(
        serviceErrorMessage(answer(503, "{\"error\":\"" + longText + "\"}"), "give the download"),
        std::wstring(300, L'x') + L"...");
    EXPECT_EQ(serviceErrorMessage(answer(503, R"({"error":" \n\u202E\t "})"), "give the download"),
              L"updates.orva-cad.example did not give the download (HTTP 503).");
}

}  // namespace
}  // namespace orva
