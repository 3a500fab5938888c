#pragma once

// The few file-system steps that more than one part of the download takes.
// Windows only.

#include <windows.h>

#include <functional>
#include <string>

namespace orva {

// Other processes may read, write, rename or delete the file while it is open.
inline constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// Random names taken by someone else are tried again this many times.
inline constexpr int kNameAttempts = 16;

// 16 hexadecimal digits from the system's random number generator, for a name
// nobody can create first. False when the generator fails.
bool randomHex(std::wstring& text);

// Marks the file open through |file| (opened with DELETE access) to be
// deleted when its last handle closes (|pending| true), or takes the mark
// back. Through the handle, so it is exactly that file, whatever its name has
// since come to mean.
bool markForDeletion(HANDLE file, bool pending);

// Runs |step| (true on success, the reason in GetLastError otherwise) and,
// while it fails with ERROR_SHARING_VIOLATION or ERROR_ACCESS_DENIED, again:
// up to kBusyAttempts times in all, 20, 40, 80 and 160 ms apart. Indexers and virus
// scanners open a new file for a moment just after it is closed, so a step
// that must go by name can meet one of them. The last error stays as the
// last attempt left it.
inline constexpr int kBusyAttempts = 5;
bool retryWhileBusy(const std::function<bool()>& step);

}  // namespace orva
