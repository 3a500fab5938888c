#pragma once

// Where the installer lives: the temporary folder, and the names of the
// installer and of its partial files in the program's private folder
// (private_folder.h). Windows only.

#include <string>

#include "common/release_info.h"

namespace orva {

// The temporary folder as GetTempPathW gives it (normally ending in a
// backslash). False when Windows gives none, or one longer than 260 units.
bool temporaryFolder(std::wstring& folder);

// |folder| + '\' + |name|, without doubling a separator already at the end of
// |folder|; either part alone when the other is empty.
std::wstring joinPath(const std::wstring& folder, const std::wstring& name);

// "Orva-Setup-<version>.exe" in |folder|.
std::wstring installerPathFor(const std::wstring& folder, const ReleaseInfo& release);

// "<installerPath>.<hex>.part": the name of a partial file of that installer,
// |hex| being 16 hexadecimal digits.
std::wstring partialPathFor(const std::wstring& installerPath, const std::wstring& hex);

}  // namespace orva
