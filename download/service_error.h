#pragma once

// The reason shown when the update service answered with a status other than
// 200. Windows only.

#include <cstddef>
#include <string>
#include <string_view>

#include "http/http_client.h"

namespace orva {

// The most characters of a service's own text that the window shows.
inline constexpr std::size_t kMaxServiceTextChars = 300;

// A service's text made safe to show: control characters removed, Unicode
// bidirectional controls removed (so that the text cannot reorder what the
// window shows around it), runs of white space folded into one space and
// trimmed at both ends, and cut after kMaxServiceTextChars characters (code
// points, so a surrogate pair is never split) with "..." appended.
std::wstring cleanServiceText(std::wstring_view text);

// When |response|'s body is a JSON object whose "error" member is a string
// that is not empty once cleaned, that text, cleaned: the service explains
// itself. Otherwise
// kServiceHost + " did not " + |what| + " (HTTP " + status + ").", where |what|
// names what was asked for, such as "give the list of versions".
std::wstring serviceErrorMessage(const HttpResponse& response, std::string_view what);

}  // namespace orva
