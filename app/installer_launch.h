#pragma once

// Starting the verified installer through the shell, and the system's text
// for a Windows error code.

#include <windows.h>

#include <cstdint>
#include <string>
#include <string_view>

namespace orva {

// What starting the installer came to.
struct LaunchResult {
    bool started = false;
    // GetLastError() after the shell refused; 0 once the installer started.
    std::uint32_t windowsError = 0;
};

// Starts |path| with the shell verb "open" on behalf of the window |owner|
// and returns once the shell has started it or refused. Shows nothing: the
// caller's window says what happened.
LaunchResult launchInstaller(const std::wstring& path, HWND owner);

// The system's message text for |code| without trailing line breaks or
// spaces, or "Windows error <code>." when the system has no text for it.
std::wstring windowsErrorText(std::uint32_t code);

// |text| without the carriage returns, line feeds and spaces at its end.
// Nothing else is removed: the full stop that ends a system message stays.
std::wstring_view trimTrailingBreaks(std::wstring_view text);

}  // namespace orva
