#pragma once

// Where the program's DLLs come from. Windows looks for a DLL that is not a
// KnownDLL in the program's own folder first, and Orva-Setup.exe is started
// from a Downloads folder that other programs write to: a winhttp.dll or
// bcrypt.dll dropped there would run inside the program. So the import table
// holds KnownDLLs (and COMCTL32, which the manifest binds to the system's
// side-by-side copy) only; WinHTTP and CNG are delay-loaded, and the hook here
// loads them from the system folder.

namespace orva {

// Loads WinHTTP and CNG from the system folder; wWinMain's first statement,
// SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32), has made that
// folder the only place DLLs come from for the rest of the process (system
// code included: the shell's and WinHTTP's own helpers). The worker calls it
// before each run, so before the first request: CNG must be in before then
// because Wine's WinHTTP pulls it in through a library that searches the
// ordinary way. Loading what is loaded already costs next to nothing. False
// when either cannot be loaded; the program cannot work then.
bool loadSystemLibraries();

}  // namespace orva
