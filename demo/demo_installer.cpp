// The installer that the demonstration publishes in place of Orva's own: it
// records that it was started and says what it stands for.
//
// The record: when ORVA_DEMO_MARKER names a file, the installer writes its own
// path there (UTF-8, one line) before it shows anything, so that the script
// that started Orva Setup can tell that this program really ran. Then a
// message box names the release, taken from the file's name
// (Orva-Setup-2.4.1.exe), until it is closed.

#include <windows.h>

#include <string>
#include <string_view>

#include "common/text.h"

namespace {

constexpr wchar_t kMarkerVariable[] = L"ORVA_DEMO_MARKER";
constexpr wchar_t kTitle[] = L"Orva demo installer";

std::wstring modulePath() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length =
            GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length == 0) {
            return {};
        }
        if (length < path.size()) {
            path.resize(length);
            return path;
        }
        path.resize(path.size() * 2);
    }
}

// "2.4.1" from "...\Orva-Setup-2.4.1.exe"; empty for any other name.
std::wstring versionFromName(std::wstring_view path) {
    const std::size_t slash = path.find_last_of(L"\\/");
    std::wstring_view name = slash == std::wstring_view::npos ? path : path.substr(slash + 1);
    constexpr std::wstring_view kPrefix = L"Orva-Setup-";
    constexpr std::wstring_view kSuffix = L".exe";
    if (name.size() <= kPrefix.size() + kSuffix.size() || !name.starts_with(kPrefix) ||
        !name.ends_with(kSuffix)) {
        return {};
    }
    name.remove_prefix(kPrefix.size());
    name.remove_suffix(kSuffix.size());
    return std::wstring(name);
}

// Writes the installer's own path to the file named by ORVA_DEMO_MARKER.
// Returns false only when the variable is set and the file cannot be written.
bool writeMarker(const std::wstring& path) {
    wchar_t marker[MAX_PATH];
    const DWORD length = GetEnvironmentVariableW(kMarkerVariable, marker, MAX_PATH);
    if (length == 0) {
        return true;  // nobody asked for a record
    }
    if (length >= MAX_PATH) {
        return false;
    }
    HANDLE file = CreateFileW(marker, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    const std::string line = "started " + orva::wideToUtf8(path) + "\n";
    DWORD written = 0;
    const BOOL ok =
        WriteFile(file, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
    CloseHandle(file);
    return ok && written == line.size();
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    const std::wstring path = modulePath();
    const std::wstring version = versionFromName(path);
    if (!writeMarker(path)) {
        MessageBoxW(nullptr,
                    L"The demo installer could not write the file named by ORVA_DEMO_MARKER.",
                    kTitle, MB_OK | MB_ICONERROR);
        return 1;
    }
    const std::wstring release = version.empty() ? L"Orva" : L"Orva " + version;
    const std::wstring text =
        release + L" demo installer: this is where Orva's own installer would run.";
    MessageBoxW(nullptr, text.c_str(), kTitle, MB_OK | MB_ICONINFORMATION);
    return 0;
}
