// A program that imports WinHTTP and CNG the ordinary way, through its import
// table: started beside planted copies, it loads them. The planted-DLL test
// runs it first to show that the attack works in its folder.
// clang-format off
#include <windows.h>
#include <bcrypt.h>  // both need <windows.h> first
#include <winhttp.h>
// clang-format on

int wmain() {
    BCRYPT_ALG_HANDLE algorithm = nullptr;
    BCryptOpenAlgorithmProvider(&algorithm, BCRYPT_SHA256_ALGORITHM, nullptr, 0);
    return WinHttpOpen(L"probe", 0, nullptr, nullptr, 0) == nullptr ? 0 : 1;
}
