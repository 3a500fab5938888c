#include "http/network_errors.h"

#include <windows.h>
#include <winhttp.h>

#include "common/text.h"

namespace orva {

std::string describeWinHttpError(std::uint32_t code, std::wstring_view host) {
    // UTF-8, as every reader of the sentence takes it: a host name outside
    // ASCII (an internationalised name as typed) then reads as it was written.
    const std::string name = wideToUtf8(host);
    switch (code) {
        case ERROR_WINHTTP_TIMEOUT:
            return name + " did not answer in time";
        case ERROR_WINHTTP_NAME_NOT_RESOLVED:
        case ERROR_WINHTTP_CANNOT_CONNECT:
        case ERROR_WINHTTP_CONNECTION_ERROR:
            return "Orva could not reach " + name +
                   ": this computer seems to have no internet connection";
        case ERROR_WINHTTP_SECURE_CERT_DATE_INVALID:
        case ERROR_WINHTTP_SECURE_INVALID_CA:
        case ERROR_WINHTTP_SECURE_FAILURE:
            return "The connection to " + name +
                   " could not be secured (is the computer's clock right?)";
        default:
            // std::to_string of an unsigned value: decimal, no sign, no grouping.
            return "The request to " + name + " failed (WinHTTP error " + std::to_string(code) +
                   ")";
    }
}

std::string describeHttpFailure(HttpFailure failure, std::wstring_view host) {
    switch (failure) {
        case HttpFailure::kNotAWebAddress:
            return "The address is not a web address";
        case HttpFailure::kFileUnreadable:
            return "The file to send could not be read";
        case HttpFailure::kBodyTooLargeToSend:
            return "The request body is too large to send";
        case HttpFailure::kStopped:
            return "Stopped";
        case HttpFailure::kRedirectedToHttp:
            return "The update service at " + wideToUtf8(host) +
                   " redirected the request to an address that is not secured";
        case HttpFailure::kAnswerTooLarge:
            break;
    }
    // kAnswerTooLarge; outside the switch so that the function returns on
    // every path while -Wswitch still asks for a case per enumerator.
    return "The answer was not what was asked for (it is too large)";
}

}  // namespace orva
