#include "download/update_endpoint.h"

#include <windows.h>

#include "common/text.h"

namespace orva {

std::string updateUrl(std::string_view path) {
    std::string base = kDefaultUpdateUrl;
    wchar_t value[kUpdateUrlBufferChars];
    // The count copied without the terminating zero; 0 when the variable is
    // absent or empty; the size needed (more than the buffer) when it is too long.
    const DWORD units = GetEnvironmentVariableW(kUpdateUrlVariable, value,
                                                static_cast<DWORD>(kUpdateUrlBufferChars));
    if (units >= 1 && units < kUpdateUrlBufferChars) {
        base = wideToUtf8(std::wstring_view(value, units));
    }
    while (!base.empty() && base.back() == '/') {
        base.pop_back();
    }
    base += path;
    return base;
}

}  // namespace orva
