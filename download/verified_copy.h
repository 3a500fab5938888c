#pragma once

// The check of an installer on the disk by its content: the SHA-256 of a file,
// hashed in pieces, and a copy already in the private folder, taken (and held)
// only when it is exactly the release. Windows only.

#include <windows.h>

#include <cstdint>
#include <string>

#include "common/release_info.h"
#include "common/win32_handles.h"
#include "signing/crypto.h"

namespace orva {

// Adds up to |limit| bytes of |file|, read from its current position in
// pieces of a mebibyte, to |stream|; |total| is how many it added, fewer when
// the file ends first. False when a read or the hash fails.
bool hashFromFile(HANDLE file, std::uint64_t limit, Sha256Stream& stream, std::uint64_t& total);

// The file's SHA-256 as 64 lowercase hexadecimal digits, hashed in pieces so
// that memory stays small whatever the file's size. Empty text when the file
// cannot be opened or read, or is empty (so an empty file never matches).
std::string fileSha256Hex(const std::wstring& path);

// The same for an open file, read from its start through |file| (which needs
// read access); the file position is left at its end.
std::string handleSha256Hex(HANDLE file);

// Opens the file at |path| for the check and the launch: for reading, with
// read sharing only, so that while the handle is open no other process can
// write, rename or delete the file (the loader's own open is compatible). The
// handle is returned only when the file (not a folder) has the release's
// size and SHA-256, read through that same handle; empty otherwise. Deletes
// nothing.
FileHandle openVerifiedCopy(const std::wstring& path, const ReleaseInfo& release);

// True when a file at |path| is a verified copy (see openVerifiedCopy).
bool isVerifiedCopy(const std::wstring& path, const ReleaseInfo& release);

}  // namespace orva
