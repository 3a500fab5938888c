#pragma once

// Every text a download run reports, in one place, so that a reader sees the
// whole wording at once: the statuses in the order a run shows them, then the
// reasons a run fails. Reasons are complete sentences; the window puts
// "Orva could not be downloaded. " before them.

#include <cstdint>
#include <string>
#include <string_view>

#include "common/release_info.h"
#include "http/http_client.h"

namespace orva {

// |bytes| in units of 1,048,576 with one decimal, e.g. "181.3 MB"; the decimal
// separator is a point whatever the user's locale.
std::wstring formatMegabytes(std::uint64_t bytes);

inline constexpr wchar_t kFindingStatus[] = L"Finding the newest version of Orva...";
// "Downloading Orva 2.4.1 (181.3 MB)"
std::wstring downloadingStatus(const ReleaseInfo& release);
// The progress bar's detail line: "21.3 MB of 64.0 MB".
std::wstring progressDetail(std::uint64_t received, std::uint64_t size);
inline constexpr wchar_t kCheckingStatus[] = L"Checking the download...";

// A transport failure: the HTTP client's sentence, which has no full stop.
std::wstring networkReason(const HttpResponse& response);
// An answer other than 200 without an error text of the service's own:
// "<host> did not <what> (HTTP <status>)."
std::wstring serviceStatusReason(std::string_view what, std::uint32_t status);
std::wstring notAListReason();
std::wstring nothingSignedReason();
inline constexpr wchar_t kNoTemporaryFolderReason[] =
    L"Windows did not say where its temporary folder is.";
// The temporary folder's path leaves no room for the installer's (pathsFitIn).
std::wstring temporaryFolderTooLongReason(const std::wstring& temp);
std::wstring cannotCreateReason(const std::wstring& partPath);
inline constexpr wchar_t kDiskFullReason[] =
    L"The download could not be written: is the disk full?";
std::wstring notAsPublishedReason(const ReleaseInfo& release);
std::wstring cannotPutInPlaceReason(const std::wstring& folder);
// The checked installer is in place but could not be held for the launch:
// worded for the Windows error |error| (security software, another program
// using it), never as a download that differs from the published one.
std::wstring cannotHoldReason(std::uint32_t error, const std::wstring& installerPath);

}  // namespace orva
