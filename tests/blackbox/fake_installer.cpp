// A stand-in for Orva's installer in the black-box tests. Started by
// Orva-Setup through the shell, it appends one line to the file named by
// ORVA_TEST_INSTALLER_RECORD: its own path, a tab, the SHA-256 of its own
// bytes, a tab, and the folder it was started in (its current directory). So
// a test sees that it was started, from where, which bytes ran, and in which
// working directory.
#include <windows.h>

#include <string>

#include "common/text.h"
#include "download/verified_copy.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    wchar_t record[MAX_PATH + 1] = {};
    const DWORD length = GetEnvironmentVariableW(L"ORVA_TEST_INSTALLER_RECORD", record, MAX_PATH);
    if (length == 0 || length > MAX_PATH) {
        return 2;
    }
    wchar_t self[MAX_PATH + 1] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    wchar_t directory[MAX_PATH + 1] = {};
    GetCurrentDirectoryW(MAX_PATH, directory);
    const std::string line = orva::wideToUtf8(self) + "\t" + orva::fileSha256Hex(self) + "\t" +
                             orva::wideToUtf8(directory) + "\n";
    const HANDLE file = CreateFileW(record, FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return 3;
    }
    DWORD written = 0;
    const BOOL ok =
        WriteFile(file, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
    CloseHandle(file);
    return ok ? 0 : 4;
}
