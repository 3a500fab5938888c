#include "app/system_libraries.h"

// clang-format off
#include <windows.h>
#include <delayimp.h>  // needs <windows.h> first
// clang-format on

#include <cstdint>
#include <initializer_list>

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

// Stand-ins for the functions of a DLL that cannot be loaded, or that lacks
// one: each fails as the functions of its DLL report a failure, so that the
// caller's own failure path runs (the plain sentence of a missing part of
// Windows, a launch that failed, a taskbar without progress) where the
// helper would raise an exception that nothing catches. One stand-in serves
// every function of a DLL: on x64 the callee leaves the arguments alone, and
// every function the program delay-loads returns its result in the one
// register (or nothing, as CoUninitialize).
static_assert(sizeof(void*) == 8, "the stand-ins rely on the x64 calling convention");

// Each has FARPROC's own type. A 32-bit result (NTSTATUS, HRESULT) is read
// from the register's lower half, which holds the whole negative value.

// WinHTTP, SHELL32 and anything else: FALSE or a null handle, with the reason
// in GetLastError.
INT_PTR WINAPI failWithLastError() {
    SetLastError(ERROR_PROC_NOT_FOUND);
    return 0;
}

// CNG: an NTSTATUS, STATUS_ENTRYPOINT_NOT_FOUND.
INT_PTR WINAPI failWithStatus() {
    return static_cast<std::int32_t>(0xC0000139UL);
}

// COM: an HRESULT, HRESULT_FROM_WIN32(ERROR_PROC_NOT_FOUND).
INT_PTR WINAPI failWithHresult() {
    return static_cast<std::int32_t>(0x8007007FUL);
}

// The delay-load helper asks this hook when a DLL cannot be loaded or lacks a
// function. For a DLL, the answer is the program itself, which exports
// nothing: each of the DLL's functions is then looked for there, missed, and
// given its stand-in on the next call of the hook.
FARPROC WINAPI standInForMissing(unsigned notification, PDelayLoadInfo info) {
    if (notification == dliFailLoadLib) {
        return reinterpret_cast<FARPROC>(GetModuleHandleW(nullptr));
    }
    if (notification == dliFailGetProc) {
        return missingFunctionStandIn(info->szDll);
    }
    return nullptr;
}

}  // namespace

FARPROC missingFunctionStandIn(const char* dll) {
    if (lstrcmpiA(dll, "bcrypt.dll") == 0) {
        return &failWithStatus;
    }
    if (lstrcmpiA(dll, "ole32.dll") == 0) {
        return &failWithHresult;
    }
    return &failWithLastError;
}

bool loadSystemLibraries() {
    for (const wchar_t* dll : {L"bcrypt.dll", L"winhttp.dll", L"shell32.dll", L"ole32.dll"}) {
        if (LoadLibraryExW(dll, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32) == nullptr) {
            return false;
        }
    }
    return true;
}

}  // namespace orva

// The delay-load helper's hooks (declared by <delayimp.h>). Defined here, in
// the file that the worker's loadSystemLibraries pulls into the program, so
// that these definitions and not the library's empty ones are linked.
PfnDliHook __pfnDliNotifyHook2 = orva::loadFromSystemFolder;
PfnDliHook __pfnDliFailureHook2 = orva::standInForMissing;
