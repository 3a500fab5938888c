#pragma once

// The sentence shown when a WinHTTP operation fails: it names the server's host
// and, for the failures a user can do something about, the likely cause.
// Windows build only.

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

}  // namespace orva
