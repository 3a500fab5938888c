#pragma once

// Where the update service is: a built-in base address that the environment
// variable ORVA_UPDATE_URL replaces (for a test or staging service). Windows
// only.

#include <cstddef>
#include <string>
#include <string_view>

namespace orva {

// The built-in base address: https, the service host (kServiceHost), no
// trailing slash.
inline constexpr char kDefaultUpdateUrl[] = "https://updates.orva-cad.example/api/update";

// The variable that replaces the base address, and the size of the buffer, in
// UTF-16 units with the terminating zero, into which it is read: a value of
// 2,048 units or more is ignored.
inline constexpr wchar_t kUpdateUrlVariable[] = L"ORVA_UPDATE_URL";
inline constexpr std::size_t kUpdateUrlBufferChars = 2048;

// The UTF-8 URL of |path| (which starts with '/', such as "/list") on the
// update service. The base is ORVA_UPDATE_URL when it is set to a value of
// 1 to 2,047 UTF-16 units, read anew on every call, or kDefaultUpdateUrl
// otherwise; all its trailing slashes are removed before |path| is appended.
// Nothing is checked: a base that is no URL gives a result that the HTTP
// client refuses.
std::string updateUrl(std::string_view path);

}  // namespace orva
