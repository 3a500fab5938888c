#pragma once

// A test mode in which the few file-system and token answers where Wine 8
// differs from what Windows documents are given as Windows gives them, so
// that code that is right under Wine only is caught here. It sits between the
// program and the system: installDocumentedWindows() points this process's
// import table entries for the functions below at stand-ins that call the
// real function and then answer as Windows does. Nothing of the product
// links it; test programs and a test build of Orva-Setup do
// (tests/support/CMakeLists and tests/blackbox/CMakeLists.txt), and install it
// when ORVA_DOCUMENTED_WINDOWS=1 is in their environment as they start
// (ORVA_DOCUMENTED_ELEVATED=1 as well: the token is elevated from the start;
// ORVA_DOCUMENTED_STATE=<file>: the owners and DACLs Windows would keep are
// kept in that file from one process to the next, as a disk keeps them).
//
// What changes (docs/windows-behaviour.md gives each source):
// - A file marked for deletion through a handle (FileDispositionInfo) counts
//   no link that is not deleted: GetFileInformationByHandle reports
//   nNumberOfLinks 0 for a file with one link, and FileStandardInfo reports
//   NumberOfLinks 0 and DeletePending. Wine 8 reports 1 and 0.
// - Such a file cannot be opened by name, nor again through ReOpenFile, nor
//   deleted or renamed by name: ERROR_ACCESS_DENIED (the file system answers
//   STATUS_DELETE_PENDING). Wine 8 opens it. The mark lasts until the last
//   handle this process opened on the file is closed.
// - New objects are owned by the token's default owner: Administrators while
//   the emulated token is elevated (setDocumentedElevation), the user
//   otherwise, unless the security descriptor names an owner. The token
//   reports that elevation. A normal token can make only the user the owner
//   (ERROR_INVALID_OWNER). Wine 8 makes the user the owner of everything and
//   reports every token as elevated.
// - A folder keeps the DACL it was created or set with. Wine 8 keeps its own
//   default instead (SYSTEM and the user full access, Everyone reading).
// - A replacing rename onto a target that has open handles is refused with
//   ERROR_ACCESS_DENIED. Wine 8 does this itself; the mode relies on it, and
//   its test shows it.

namespace orva::testing {

// Installs the mode in this process (once; later calls do nothing). False
// when the import table could not be changed.
bool installDocumentedWindows();

// True once installDocumentedWindows has succeeded in this process.
bool documentedWindowsInstalled();

// The emulated token: elevated (an administrator's "Run as administrator")
// or not (a normal run, the start). Only while the mode is installed.
void setDocumentedElevation(bool elevated);

}  // namespace orva::testing
