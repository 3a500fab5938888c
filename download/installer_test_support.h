#pragma once

// What the tests of the installer's files share: releases made from bytes,
// reading files back, and how other programs see an open file.

#include <windows.h>

#include <filesystem>
#include <string>

#include "common/release_info.h"
#include "download/partial_file.h"

namespace orva::testing {

// The SHA-256 of |bytes| as 64 lowercase hexadecimal digits.
std::string hexOf(const std::string& bytes);

// Release 2.4.1 whose installer is |bytes|.
ReleaseInfo releaseFor(const std::string& bytes);

std::string readAll(const std::filesystem::path& path);

// What a partial file holds, read through its own handle: a file marked for
// deletion opens for nobody else. Read from the start to the end, so that a
// later write still goes at the end.
std::string readBack(PartialFile& file);

// Opening |path| as another program might: the Windows error, or 0 when the
// open succeeds (the handle is closed again at once).
DWORD openError(const std::filesystem::path& path, DWORD access, DWORD sharing);

// While a file is held or written, others may read it but not write, rename
// or delete it. |readerSharing| is what a reader must allow: a held file
// admits the loader's open (read sharing and delete sharing); a partial file
// is open for writing, so its readers must allow writing too.
void expectHeldAgainstChanges(const std::filesystem::path& path, DWORD readerSharing);

}  // namespace orva::testing
