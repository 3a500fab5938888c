#pragma once

// Where the program's DLLs come from. Windows looks for a DLL that is not a
// KnownDLL in the program's own folder first, and Orva-Setup.exe is started
// from a Downloads folder that other programs write to: a winhttp.dll or
// bcrypt.dll dropped there would run inside the program. So the import table
// holds KnownDLLs (and COMCTL32, which the manifest binds to the system's
// side-by-side copy) only; WinHTTP and CNG are delay-loaded, and the hook here
// loads them from the system folder.

#include <windows.h>

namespace orva {

// Loads WinHTTP, CNG, SHELL32 and ole32 from the system folder; wWinMain's first statement,
// SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32), has made that
// folder the only place DLLs come from for the rest of the process (system
// code included: the shell's and WinHTTP's own helpers). The worker calls it
// before each run, so before the first request: CNG must be in before then
// because Wine's WinHTTP pulls it in through a library that searches the
// ordinary way. Loading what is loaded already costs next to nothing. False
// when either cannot be loaded; the program cannot work then.
bool loadSystemLibraries();
// SHELL32 (the launch) and ole32 (the taskbar) are loaded here as well,
// although they are used on the window's thread, so that a missing one is
// the same plain sentence before anything else is done.

// What a delay-loaded function of |dll| becomes when the DLL cannot be loaded
// or lacks it (the helper's failure hook gives it instead of raising an
// exception, which would end the process): a function that fails as the
// functions of that DLL report a failure. CNG's return a failing NTSTATUS,
// ole32's a failing HRESULT, any other's 0 (FALSE, a null handle) with
// ERROR_PROC_NOT_FOUND for GetLastError.
FARPROC missingFunctionStandIn(const char* dll);

}  // namespace orva
