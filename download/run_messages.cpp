#include "download/run_messages.h"

#include <windows.h>

#include "common/text.h"
#include "download/download.h"

namespace orva {
namespace {

// System error codes 225 and 226 (winerror.h), which MinGW-w64's headers lack:
// security software refused the file, or removed it.
constexpr std::uint32_t kErrorVirusInfected = 225;
constexpr std::uint32_t kErrorVirusDeleted = 226;

std::wstring host() {
    return utf8ToWide(kServiceHost);
}

}  // namespace

std::wstring formatMegabytes(std::uint64_t bytes) {
    // bytes / 2^20 to one decimal, rounded to the nearest tenth and an exact
    // half to the even tenth, as printf's "%.1f" rounds the exact quotient. In
    // integers, so that no printf (which costs the executable tens of
    // kilobytes) and no locale is involved.
    constexpr std::uint64_t kMegabyte = 1 << 20;
    const std::uint64_t scaledFraction = (bytes % kMegabyte) * 10;  // below 10 * 2^20
    std::uint64_t tenths = bytes / kMegabyte * 10 + scaledFraction / kMegabyte;
    const std::uint64_t remainder = scaledFraction % kMegabyte;
    if (remainder > kMegabyte / 2 || (remainder == kMegabyte / 2 && tenths % 2 == 1)) {
        ++tenths;
    }
    std::wstring text;
    for (std::uint64_t whole = tenths / 10; text.empty() || whole > 0; whole /= 10) {
        text.insert(text.begin(), static_cast<wchar_t>(L'0' + whole % 10));
    }
    text += L'.';
    text += static_cast<wchar_t>(L'0' + tenths % 10);
    text += L" MB";
    return text;
}

std::wstring downloadingStatus(const ReleaseInfo& release) {
    return joinText({L"Downloading Orva ", utf8ToWide(release.version), L" (",
                     formatMegabytes(release.size), L")"});
}

std::wstring progressDetail(std::uint64_t received, std::uint64_t size) {
    return joinText({formatMegabytes(received), L" of ", formatMegabytes(size)});
}

std::wstring networkReason(const HttpResponse& response) {
    return joinText({utf8ToWide(response.error), L"."});
}

std::wstring serviceStatusReason(std::string_view what, std::uint32_t status) {
    return joinText({host(), L" did not ", utf8ToWide(what), L" (HTTP ",
                     asciiToWide(std::to_string(status)), L")."});
}

std::wstring notAListReason() {
    return joinText({host(), L" answered with something that is not a list of versions."});
}

std::wstring nothingSignedReason() {
    return joinText({host(), L" lists no version of Orva signed by its maker. Write to ",
                     utf8ToWide(kSupportEmail), L"."});
}

std::wstring temporaryFolderTooLongReason(const std::wstring& temp) {
    // Without the separator GetTempPathW ends it with, before the full stop.
    std::wstring_view folder = temp;
    if (folder.size() > 1 && (folder.back() == L'\\' || folder.back() == L'/')) {
        folder.remove_suffix(1);
    }
    return joinText(
        {L"The path of Windows' temporary folder is too long for the installer to be "
         L"started from it: ",
         folder, L". A shorter temporary folder (the TMP setting) solves this."});
}

std::wstring cannotCreateReason(const std::wstring& partPath) {
    return joinText({L"The download could not be written to ", partPath, L"."});
}

std::wstring notAsPublishedReason(const ReleaseInfo& release) {
    return joinText({L"What was downloaded is not Orva ", utf8ToWide(release.version),
                     L" as it was published (its size or checksum differs), so it was thrown away. "
                     L"Try again; if it happens twice, write to ",
                     utf8ToWide(kSupportEmail), L"."});
}

std::wstring cannotPutInPlaceReason(const std::wstring& folder) {
    return joinText({L"The download could not be put in ", folder, L"."});
}

std::wstring cannotHoldReason(std::uint32_t error, const std::wstring& installerPath) {
    const wchar_t* what = nullptr;
    switch (error) {
        case kErrorVirusInfected:
        case kErrorVirusDeleted:
            what =
                L"Security software on this computer blocked the downloaded installer, so it was "
                L"not started.";
            break;
        case ERROR_SHARING_VIOLATION:
        case ERROR_LOCK_VIOLATION:
        case ERROR_ACCESS_DENIED:
            what =
                L"Another program is using the downloaded installer, so it could not be started "
                L"safely; close that program and choose Try Again.";
            break;
        default:
            what = L"The downloaded installer could not be opened again after it was checked.";
            break;
    }
    return joinText({what, L" It is ", installerPath, L"."});
}

}  // namespace orva
