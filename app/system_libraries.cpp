#include "app/system_libraries.h"

// clang-format off
#include <windows.h>
#include <delayimp.h>  // needs <windows.h> first
// clang-format on

namespace orva {
namespace {

// The delay-load helper asks this hook before it loads a DLL on the first
// call of one of its functions: the answer is that DLL from the system folder
// only, never the program's folder or the current directory. Delay-loading
// rather than LoadLibraryExW and GetProcAddress by hand keeps every call site
// as it is, with the types of the system headers; the DLLs' names are plain
// ASCII.
FARPROC WINAPI loadFromSystemFolder(unsigned notification, PDelayLoadInfo info) {
    if (notification != dliNotePreLoadLibrary) {
        return nullptr;  // the helper's own way for everything else
    }
    wchar_t name[MAX_PATH] = {};
    for (int i = 0; info->szDll[i] != '\0' && i < MAX_PATH - 1; ++i) {
        name[i] = static_cast<wchar_t>(static_cast<unsigned char>(info->szDll[i]));
    }
    return reinterpret_cast<FARPROC>(LoadLibraryExW(name, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32));
}

}  // namespace

bool loadSystemLibraries() {
    return LoadLibraryExW(L"bcrypt.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32) != nullptr &&
           LoadLibraryExW(L"winhttp.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32) != nullptr;
}

}  // namespace orva

// The delay-load helper's hook (declared by <delayimp.h>). Defined here, in
// the file that wWinMain's first call pulls into the program, so that this
// definition and not the library's empty one is linked.
PfnDliHook __pfnDliNotifyHook2 = orva::loadFromSystemFolder;
