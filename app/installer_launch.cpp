#include "app/installer_launch.h"

#include <windows.h>
// windows.h must come first.
#include <shellapi.h>

#include "common/win32_handles.h"
#include "download/file_system.h"

namespace orva {

namespace {

// The request the shell takes; its size is part of the contract with the shell.
static_assert(sizeof(SHELLEXECUTEINFOW) == 112, "SHELLEXECUTEINFOW as on 64-bit Windows");

// "Windows error <code>." with the code in decimal, without leading zeros.
std::wstring fallbackErrorText(std::uint32_t code) {
    wchar_t digits[10];  // 4294967295 has ten
    std::size_t count = 0;
    do {
        digits[count++] = static_cast<wchar_t>(L'0' + code % 10);
        code /= 10;
    } while (code != 0);
    std::wstring text = L"Windows error ";
    while (count > 0) {
        text.push_back(digits[--count]);
    }
    text.push_back(L'.');
    return text;
}

}  // namespace

LaunchResult launchInstaller(const std::wstring& path, HWND owner) {
    SHELLEXECUTEINFOW request = {};
    request.cbSize = sizeof request;
    // Return only once the start is complete, and let the shell show no error
    // dialog of its own: the window says what went wrong. No process handle is
    // asked for; the installer is neither awaited nor watched.
    request.fMask = SEE_MASK_NOASYNC | SEE_MASK_FLAG_NO_UI;
    request.hwnd = owner;
    request.lpVerb = L"open";
    request.lpFile = path.c_str();
    // The installer starts in its own folder, not in the folder Orva Setup
    // was started from (a Downloads folder that others write to).
    const std::size_t separator = path.find_last_of(L"\\/");
    const std::wstring folder =
        separator == std::wstring::npos ? std::wstring() : path.substr(0, separator);
    request.lpDirectory = folder.empty() ? nullptr : folder.c_str();
    request.nShow = SW_SHOWNORMAL;
    // The shell opens the file by name: a scanner that has it open for a
    // moment is waited out.
    if (retryWhileBusy([&] { return ShellExecuteExW(&request) != 0; })) {
        return {true, 0};
    }
    return {false, GetLastError()};
}

std::wstring windowsErrorText(std::uint32_t code) {
    LocalText text;
    // With FORMAT_MESSAGE_ALLOCATE_BUFFER the buffer argument receives a pointer.
    const DWORD count = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, code, 0, reinterpret_cast<wchar_t*>(text.put()), 0, nullptr);
    if (count == 0 || !text) {
        return fallbackErrorText(code);  // nothing to trim
    }
    return std::wstring(trimTrailingBreaks(std::wstring_view(text.get(), count)));
}

std::wstring_view trimTrailingBreaks(std::wstring_view text) {
    const std::size_t end = text.find_last_not_of(L"\r\n ");
    return end == std::wstring_view::npos ? std::wstring_view() : text.substr(0, end + 1);
}

}  // namespace orva
