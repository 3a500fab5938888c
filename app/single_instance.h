#pragma once

// One Orva Setup at a time for each user in each session. A double click
// taken twice would otherwise start a second window and a second download of
// the same installer into the same private folder, and one of the two would
// fail when its rename met the other's open installer.

#include <string>

namespace orva {

// The name of the claim: "Local\Orva Setup <user SID>", a mutex in the
// session's own namespace ("Local\"), so that the same user in another
// session (a remote desktop) is not kept out, and other users' claims never
// meet this one.
std::wstring singleInstanceName(const std::wstring& userSid);

// Claims Orva Setup for this process until it ends. False when another
// process of the same user and session holds the claim. True as well when no
// claim can be made (the user cannot be read, or a mutex of that name is
// closed to this user): being kept from running by someone else's object
// would be worse than a second window.
bool claimSingleInstance();

// Brings the main window of the Orva Setup that holds the claim to the front
// (restored if minimised), waiting up to |patienceMs| for it to appear, since
// the other process may have started a moment ago. Does nothing when no such
// window appears.
void showRunningInstance(unsigned patienceMs);

}  // namespace orva
