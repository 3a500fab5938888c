#pragma once

// The program's own folder in the user's temporary folder, where the
// installer and its partial file live, and the tidying of what earlier runs
// left there. Nothing here reports a failure; download() words them.

#include <string>

#include "common/release_info.h"

namespace orva {

// The name of the program's own folder in the temporary folder.
inline constexpr wchar_t kPrivateFolderName[] = L"Orva Setup";

// The folder the installer and its partial file live in: "<temp>\Orva Setup",
// created when missing with the user as its owner and a protected DACL that
// gives full access to the user, SYSTEM and Administrators and inherits
// nothing (privateFolderSddl). An existing folder of that name is used when
// it is a plain directory (no link or other reparse point, in its directory
// entry or through its handle) and either
// - owned by the current user, or
// - owned by Administrators or SYSTEM (left so by an elevated run of an
//   earlier version: an elevated token's default owner is Administrators)
//   with access for nobody but the user, SYSTEM and Administrators; the user
//   is then made its owner again.
// Otherwise a new "Orva Setup <16 hexadecimal digits>" is created the same
// way, and what bears the name is left alone. False when no folder can be
// had; |folder| is then the name that was tried.
bool privateFolder(const std::wstring& temp, std::wstring& folder);

// The security descriptor, in SDDL, that privateFolder creates folders with,
// for the user |userSid| (in string form). The owner is named, so that an
// elevated run, too, makes a folder that the user's normal runs own.
std::wstring privateFolderSddl(const std::wstring& userSid);

// True when every path a run makes in the temporary folder |temp| for
// |release| fits in MAX_PATH (259 characters and the terminating zero): the
// private folder (also a fresh "Orva Setup <16 hex>" one), the installer and
// its partial file. Without long-path support that is as long a path as
// Windows creates a file at or starts a program from; the shell cannot start
// the installer from a longer one in any case.
bool pathsFitIn(const std::wstring& temp, const ReleaseInfo& release);

// True for "Orva-Setup-<version>.exe" with a version such as 2.4.1: the name
// of an installer in the private folder.
bool isInstallerFileName(const std::wstring& name);

// Deletes what earlier runs left and no run will use, once this run's
// installer is ready at |keep| in the private folder |folder|:
// - every other installer ("Orva-Setup-<version>.exe") in |folder|;
// - the "Orva Setup <16 hexadecimal digits>" folders in |temp| other than
//   |folder| that privateFolder would accept as this user's own, with the
//   installers and partial files in them.
// A file that is in use (open anywhere, or a running program) is left, and so
// is a folder that still holds anything. Only those names are touched, no
// link is followed, and each file is deleted through a handle of its own.
void tidyPrivateFolders(const std::wstring& temp, const std::wstring& folder,
                        const std::wstring& keep);

}  // namespace orva
