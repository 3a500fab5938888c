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

}  // namespace
}  // namespace orva
