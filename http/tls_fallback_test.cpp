// The one retry with TLS 1.2 alone: only after a handshake that failed with
// ERROR_WINHTTP_SECURE_FAILURE once the system had taken the TLS 1.3 flag,
// and only once. Wine 8 speaks TLS 1.2 whatever is asked for and reports
// handshake failures as 12157, so the exchanges here are scripted.
#include "http/tls_fallback.h"

#include <gtest/gtest.h>
#include <windows.h>
// windows.h must come first.
#include <winhttp.h>

#include <vector>

namespace orva {
namespace {

HttpResponse failedWith(DWORD code) {
    HttpResponse response;
    response.error = "failed";
    response.errorCode = code;
    return response;
}

HttpResponse answered(std::uint32_t status) {
    HttpResponse response;
    response.ok = true;
    response.status = status;
    return response;
}

TEST(WithTls12Fallback, RetriesOnceWithTls12AloneOnlyAfterARefusedTls13Handshake) {
    struct Case {
        const char* name;
        bool offered13;
        std::vector<HttpResponse> answers;  // one per attempt, in order
        std::vector<TlsVersions> asked;
        std::uint32_t finalStatus;
        std::uint32_t finalError;
    };
    HttpResponse midBody = failedWith(ERROR_WINHTTP_SECURE_FAILURE);
    midBody.status = 200;  // something of the answer had arrived
    const Case kCases[] = {
        {"TLS 1.3 refused in the handshake, TLS 1.2 works",
         true,
         {failedWith(ERROR_WINHTTP_SECURE_FAILURE), answered(200)},
         {TlsVersions::k12And13, TlsVersions::k12Only},
         200,
         0},
        {"TLS 1.2 refused as well: the second failure is reported",
         true,
         {failedWith(ERROR_WINHTTP_SECURE_FAILURE), failedWith(ERROR_WINHTTP_SECURE_FAILURE)},
         {TlsVersions::k12And13, TlsVersions::k12Only},
         0,
         ERROR_WINHTTP_SECURE_FAILURE},
        {"the system never took the TLS 1.3 flag",
         false,
         {failedWith(ERROR_WINHTTP_SECURE_FAILURE)},
         {TlsVersions::k12And13},
         0,
         ERROR_WINHTTP_SECURE_FAILURE},
        {"another failure",
         true,
         {failedWith(ERROR_WINHTTP_CANNOT_CONNECT)},
         {TlsVersions::k12And13},
         0,
         ERROR_WINHTTP_CANNOT_CONNECT},
        {"an answer had begun",
         true,
         {midBody},
         {TlsVersions::k12And13},
         200,
         ERROR_WINHTTP_SECURE_FAILURE},
        {"success", true, {answered(404)}, {TlsVersions::k12And13}, 404, 0},
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.name);
        std::vector<TlsVersions> asked;
        const HttpResponse response = withTls12Fallback([&](TlsVersions versions, bool& offered13) {
            offered13 = c.offered13 && versions == TlsVersions::k12And13;
            asked.push_back(versions);
            return asked.size() <= c.answers.size() ? c.answers[asked.size() - 1]
                                                    : failedWith(ERROR_INVALID_STATE);
        });
        EXPECT_EQ(asked, c.asked);
        EXPECT_EQ(response.status, c.finalStatus);
        EXPECT_EQ(response.errorCode, c.finalError);
    }
}

}  // namespace
}  // namespace orva
