#pragma once

// Every sentence the HTTP client reports, in one place: the network failures,
// which name the server's host and, for the failures a user can do something
// about, the likely cause; and the client's own failures, which no WinHTTP
// error number describes. Windows build only.

#include <cstdint>
#include <string>
#include <string_view>

namespace orva {

// One English sentence, UTF-8, without a final full stop (the caller appends
// one where it shows it), for the WinHTTP error |code| (the thread's last-error
// value after the failed call) of a request to |host| (the host name of the
// request's URL as WinHTTP cracked it). An empty host is simply left out.
// Codes outside the three known groups give a sentence that carries the number.
std::string describeWinHttpError(std::uint32_t code, std::wstring_view host);

// The failures of an exchange that are not network errors.
enum class HttpFailure {
    kNotAWebAddress,      // the URL does not crack, or names no host
    kFileUnreadable,      // the body file cannot be opened, sized or read whole
    kBodyTooLargeToSend,  // a body in memory beyond WinHTTP's 32-bit length
    kStopped,             // a callback returned false
    kAnswerTooLarge,      // a body collected in memory went over its limit
    kRedirectedToHttp,    // an https request was redirected to an http address
};

// One English sentence, UTF-8, without a final full stop, for |failure|. The
// sentences that name the server (kRedirectedToHttp) name |host| as
// describeWinHttpError does; the others leave it out.
std::string describeHttpFailure(HttpFailure failure, std::wstring_view host = {});

}  // namespace orva
