#pragma once

// Every text of the application shell, in one place: the window's own words,
// its buttons, and the sentences of the failures the shell itself reports.
// The download run's statuses and reasons are in download/run_messages.h.

namespace orva {

inline constexpr wchar_t kWindowTitle[] = L"Orva Setup";
inline constexpr wchar_t kHeaderTitle[] = L"Orva";
inline constexpr wchar_t kHeaderSubtitle[] = L"Parametric CAD for Windows";

inline constexpr wchar_t kTryAgainText[] = L"Try Again";
inline constexpr wchar_t kCancelText[] = L"Cancel";
inline constexpr wchar_t kCloseText[] = L"Close";

// Put before every reason of a failed run.
inline constexpr wchar_t kFailurePrefix[] = L"Orva could not be downloaded. ";
inline constexpr wchar_t kStartingStatus[] = L"Starting the installer...";
inline constexpr wchar_t kLaunchFailedStatus[] = L"The installer could not be started.";
// Between the system's text for the launch error and the installer's path.
inline constexpr wchar_t kLaunchFailedPathLead[] = L" It is ";

inline constexpr wchar_t kUnexpectedErrorReason[] =
    L"An unexpected error stopped the download. Please try again.";
// WinHTTP or CNG could not be loaded from the system folder.
inline constexpr wchar_t kSystemPartMissingReason[] =
    L"Orva Setup cannot work: a part of Windows it needs is missing.";
inline constexpr wchar_t kNoThreadReason[] =
    L"Windows could not start the download. Close some programs and try again.";

}  // namespace orva
