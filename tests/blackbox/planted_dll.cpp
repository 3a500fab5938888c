// A DLL planted beside a program, as another program might drop one into a
// Downloads folder: built as winhttp.dll and as bcrypt.dll, exporting every
// name the program resolves from the real one (each bound to one stub), and
// leaving a marker file "<its own path>.loaded" as soon as it is loaded.
#include <windows.h>

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        wchar_t path[MAX_PATH + 16] = {};
        const DWORD length = GetModuleFileNameW(instance, path, MAX_PATH);
        if (length > 0 && length < MAX_PATH) {
            lstrcatW(path, L".loaded");
            CloseHandle(CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr));
        }
    }
    return TRUE;
}

// Every export of the planted DLL is this function (see the .def files made
// from http/winhttp.def and signing/bcrypt.def).
extern "C" INT_PTR plantedStub() {
    return 0;
}
