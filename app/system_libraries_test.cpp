// A delay-loaded DLL that cannot be loaded, or that lacks a function, makes
// the call fail as that DLL's functions fail, instead of raising the
// delay-load helper's exception (0xC06D007E, 0xC06D007F), which would end
// the process: the program then gives its plain sentence.
#include "app/system_libraries.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <cstdint>

// Delay-loaded through system_libraries_test_absent.def and _missing.def.
extern "C" __declspec(dllimport) std::intptr_t WINAPI OrvaAbsentFunction(int, const void*);
extern "C" __declspec(dllimport) std::intptr_t WINAPI OrvaMissingFunction();

namespace orva {
namespace {

TEST(DelayLoad, AMissingPartOfWindowsFailsTheCallAndNothingElse) {
    ASSERT_TRUE(loadSystemLibraries()) << "pulls the program's hooks in, as the worker does";
    SetLastError(0);
    EXPECT_EQ(OrvaAbsentFunction(7, nullptr), 0) << "a DLL that cannot be loaded";
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PROC_NOT_FOUND));
    EXPECT_EQ(OrvaAbsentFunction(7, nullptr), 0) << "and again, without another load";
    SetLastError(0);
    EXPECT_EQ(OrvaMissingFunction(), 0) << "a DLL without the function";
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PROC_NOT_FOUND));
}

// |function| as its callers declare it (void (*)() is the type GCC lets any
// function pointer pass through).
template <typename Function>
Function calledAs(FARPROC function) {
    return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(function));
}

TEST(DelayLoad, EachDllsStandInFailsAsItsFunctionsFail) {
    // CNG's functions return an NTSTATUS, COM's an HRESULT: 32-bit results.
    using Status = long(WINAPI*)(void*, const wchar_t*);
    const auto cng = calledAs<Status>(missingFunctionStandIn("BCRYPT.dll"));
    EXPECT_LT(cng(nullptr, L"SHA256"), 0) << "an NTSTATUS error";
    const auto com = calledAs<Status>(missingFunctionStandIn("ole32.dll"));
    EXPECT_TRUE(FAILED(com(nullptr, nullptr))) << "an HRESULT error";
    using Handle = void*(WINAPI*)(const wchar_t*, unsigned);
    const auto winhttp = calledAs<Handle>(missingFunctionStandIn("winhttp.dll"));
    SetLastError(0);
    EXPECT_EQ(winhttp(L"Orva-Setup", 0), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PROC_NOT_FOUND));
}

}  // namespace
}  // namespace orva
