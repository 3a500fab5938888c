#include "download/run_messages.h"

#include "common/text.h"
#include "download/download.h"
#include "download/installer_file.h"

namespace orva {
namespace {

std::wstring host() {
    return utf8ToWide(kServiceHost);
}

}  // namespace

std::wstring downloadingStatus(const ReleaseInfo& release) {
    return joinText({L"Downloading Orva ", utf8ToWide(release.version), L" (",
                     formatMegabytes(release.size), L")"});
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

}  // namespace orva
