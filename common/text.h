#pragma once

// Conversions between narrow text (UTF-8 or raw bytes) and the UTF-16 text
// that Windows functions take, and the joining of wide text. Windows build only.

#include <initializer_list>
#include <string>
#include <string_view>

namespace orva {

// UTF-8 to UTF-16 as the system's UTF-8 conversion does it without flags:
// malformed bytes become U+FFFD instead of failing. Empty input, or a failed
// conversion, gives an empty result.
std::wstring utf8ToWide(std::string_view text);

// Widens each byte to one UTF-16 unit of the same value. For fixed ASCII
// literals such as the user agent.
std::wstring asciiToWide(std::string_view text);

// The parts one after another. One out-of-line join serves every sentence
// the program composes: chains of operator+ on wide strings cost the
// executable far more code than the texts themselves.
std::wstring joinText(std::initializer_list<std::wstring_view> parts);

// UTF-16 to UTF-8; unpaired surrogates become U+FFFD. Empty input, or a
// failed conversion, gives an empty result.
std::string wideToUtf8(std::wstring_view text);

}  // namespace orva
