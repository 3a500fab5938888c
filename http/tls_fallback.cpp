#include "http/tls_fallback.h"

#include <windows.h>
// windows.h must come first.
#include <winhttp.h>

namespace orva {

HttpResponse withTls12Fallback(const TlsAttempt& attempt) {
    bool offered13 = false;
    HttpResponse response = attempt(TlsVersions::k12And13, offered13);
    if (!offered13 || response.ok || response.status != 0 || response.cancelled ||
        response.errorCode != ERROR_WINHTTP_SECURE_FAILURE) {
        return response;
    }
    bool unused = false;
    return attempt(TlsVersions::k12Only, unused);
}

}  // namespace orva
