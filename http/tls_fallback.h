#pragma once

// The one retry of a secure connection with TLS 1.2 alone. Some Windows 10
// builds take the TLS 1.3 flag of WINHTTP_OPTION_SECURE_PROTOCOLS and then
// fail the handshake with a server that speaks TLS 1.3 differently
// (ERROR_WINHTTP_SECURE_FAILURE, 12175). Windows only.

#include <functional>

#include "http/http_client.h"

namespace orva {

// Which TLS versions an exchange asks for.
enum class TlsVersions {
    k12And13,  // TLS 1.2 and 1.3 (1.2 alone where the system refuses the 1.3 flag)
    k12Only,   // TLS 1.2 alone
};

// One exchange with the given versions. |offered13| says afterwards whether
// the system took the TLS 1.3 flag.
using TlsAttempt = std::function<HttpResponse(TlsVersions versions, bool& offered13)>;

// Runs |attempt| with TLS 1.2 and 1.3, and once more with TLS 1.2 alone when
// that failed with ERROR_WINHTTP_SECURE_FAILURE after the system took the TLS
// 1.3 flag and before anything of an answer arrived. Returns the last
// attempt's answer; never retries twice, nor for any other failure.
HttpResponse withTls12Fallback(const TlsAttempt& attempt);

}  // namespace orva
