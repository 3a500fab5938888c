#include "common/text.h"

#include <windows.h>

#include <climits>

namespace orva {

std::wstring utf8ToWide(std::string_view text) {
    // The conversion functions take int lengths; longer text is not ours to show.
    if (text.empty() || text.size() > static_cast<std::size_t>(INT_MAX)) {
        return {};
    }
    const int length = static_cast<int>(text.size());
    const int units = MultiByteToWideChar(CP_UTF8, 0, text.data(), length, nullptr, 0);
    if (units <= 0) {
        return {};
    }
    std::wstring wide(static_cast<std::size_t>(units), L'\0');
    if (MultiByteToWideChar(CP_UTF8, 0, text.data(), length, wide.data(), units) != units) {
        return {};
    }
    return wide;
}

std::wstring asciiToWide(std::string_view text) {
    std::wstring wide;
    wide.reserve(text.size());
    for (const char c : text) {
        wide.push_back(static_cast<wchar_t>(static_cast<unsigned char>(c)));
    }
    return wide;
}

std::string wideToUtf8(std::wstring_view text) {
    if (text.empty() || text.size() > static_cast<std::size_t>(INT_MAX)) {
        return {};
    }
    const int length = static_cast<int>(text.size());
    const int bytes =
        WideCharToMultiByte(CP_UTF8, 0, text.data(), length, nullptr, 0, nullptr, nullptr);
    if (bytes <= 0) {
        return {};
    }
    std::string narrow(static_cast<std::size_t>(bytes), '\0');
    if (WideCharToMultiByte(CP_UTF8, 0, text.data(), length, narrow.data(), bytes, nullptr,
                            nullptr) != bytes) {
        return {};
    }
    return narrow;
}

std::wstring joinText(std::initializer_list<std::wstring_view> parts) {
    std::size_t length = 0;
    for (const std::wstring_view part : parts) {
        length += part.size();
    }
    std::wstring text;
    text.reserve(length);
    for (const std::wstring_view part : parts) {
        text.append(part);
    }
    return text;
}

}  // namespace orva
