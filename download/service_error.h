#pragma once

// The reason shown when the update service answered with a status other than
// 200. Windows only.

#include <string>
#include <string_view>

#include "http/http_client.h"

namespace orva {

// When |response|'s body is a JSON object whose "error" member is a non-empty
// string, that text, unchanged: the service explains itself. Otherwise
// kServiceHost + " did not " + |what| + " (HTTP " + status + ").", where |what|
// names what was asked for, such as "give the list of versions".
std::wstring serviceErrorMessage(const HttpResponse& response, std::string_view what);

}  // namespace orva
