#pragma once

// The few file-system steps that more than one part of the download takes.
// Windows only.

#include <windows.h>

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

}  // namespace orva
