#pragma once

// orva-release, the maker's release tool: makes the signing key, signs
// releases into the release list that the update service serves, and checks a
// list the way the program reads it. main() only passes the arguments in and
// prints what comes out.

#include <string>
#include <vector>

namespace orva {

// Exit statuses of orva-release.
inline constexpr int kExitSuccess = 0;
inline constexpr int kExitNothingToInstall = 1;  // verify: the program would install nothing
inline constexpr int kExitFailure = 2;           // bad input or a failed command

// Runs orva-release with |args| (the arguments after the program's name).
// What the command has to say goes to |out| (standard output) and |err|
// (standard error); when the command fails |out| is empty, so that nothing
// half-done is printed. Returns the exit status.
int runReleaseTool(const std::vector<std::string>& args, std::string& out, std::string& err);

}  // namespace orva
