#pragma once

// Starting the verified installer through the shell, and the system's text
// for a Windows error code.

#include <cstdint>
#include <string>
#include <string_view>

namespace orva {

// Starts |path| with the shell verb "open" and returns true once the shell has
// started it. On failure sets the status label to "The installer could not be
// started." and the detail label to the error's text, " It is " and |path|,
// and returns false. User-interface thread only; the labels must exist.
bool launchInstaller(const std::wstring& path);

// The system's message text for |code| without trailing line breaks or
// spaces, or "Windows error <code>." when the system has no text for it.
std::wstring windowsErrorText(std::uint32_t code);

// |text| without the carriage returns, line feeds and spaces at its end.
// Nothing else is removed: the full stop that ends a system message stays.
std::wstring_view trimTrailingBreaks(std::wstring_view text);

}  // namespace orva
