#include "download/installer_file.h"

#include <windows.h>

#include "common/text.h"
#include "download/installer_name.h"

namespace orva {
namespace {

// GetTempPathW's buffer: MAX_PATH units and the terminating zero.
constexpr DWORD kTempPathBufferChars = MAX_PATH + 1;

}  // namespace

bool temporaryFolder(std::wstring& folder) {
    wchar_t buffer[kTempPathBufferChars] = {};
    const DWORD length = GetTempPathW(kTempPathBufferChars, buffer);
    if (length < 1 || length > MAX_PATH) {
        return false;
    }
    folder.assign(buffer, length);
    return true;
}

std::wstring joinPath(const std::wstring& folder, const std::wstring& name) {
    if (folder.empty()) {
        return name;
    }
    if (name.empty()) {
        return folder;
    }
    if (folder.back() == L'\\' || folder.back() == L'/') {
        return folder + name;
    }
    return joinText({folder, L"\\", name});
}

std::wstring installerPathFor(const std::wstring& folder, const ReleaseInfo& release) {
    return joinPath(folder, utf8ToWide(installerFileName(release.version)));
}

std::wstring partialPathFor(const std::wstring& installerPath, const std::wstring& hex) {
    return joinText({installerPath, L".", hex, L".part"});
}

}  // namespace orva
