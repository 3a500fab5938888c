// What the platform itself can do, for the benchmarks to hold the program
// against (scripts/bench-download.sh). Not a test.
//
//   platform_bench.exe loop URL [READ_BYTES]
//       a bare WinHTTP loop: one GET, every byte read into one buffer of
//       READ_BYTES (default 1 MiB) with WinHttpReadData and nothing else
//       done with it; prints "bytes seconds"
//   platform_bench.exe hash FILE
//       the platform's SHA-256 (CNG) of FILE read in 1 MiB pieces; prints
//       "bytes seconds"
// clang-format off
#include <windows.h>
#include <bcrypt.h>  // both need <windows.h> first
#include <winhttp.h>
// clang-format on

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

std::wstring widen(const char* text) {
    std::wstring wide;
    for (; *text != '\0'; ++text) {
        wide.push_back(static_cast<wchar_t>(static_cast<unsigned char>(*text)));
    }
    return wide;
}

int loop(const char* url, std::size_t readBytes) {
    const std::wstring address = widen(url);
    wchar_t host[256] = {};
    wchar_t path[2048] = {};
    URL_COMPONENTS parts{};
    parts.dwStructSize = sizeof parts;
    parts.lpszHostName = host;
    parts.dwHostNameLength = 256;
    parts.lpszUrlPath = path;
    parts.dwUrlPathLength = 2048;
    if (!WinHttpCrackUrl(address.c_str(), 0, 0, &parts)) {
        return 2;
    }
    const auto start = Clock::now();
    HINTERNET session = WinHttpOpen(L"platform_bench", WINHTTP_ACCESS_TYPE_NO_PROXY,
                                    WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, 0);
    HINTERNET connection = WinHttpConnect(session, host, parts.nPort, 0);
    HINTERNET request = WinHttpOpenRequest(
        connection, L"GET", path, nullptr, WINHTTP_NO_REFERER, WINHTTP_DEFAULT_ACCEPT_TYPES,
        parts.nScheme == INTERNET_SCHEME_HTTPS ? WINHTTP_FLAG_SECURE : 0);
    if (!WinHttpSendRequest(request, WINHTTP_NO_ADDITIONAL_HEADERS, 0, WINHTTP_NO_REQUEST_DATA, 0,
                            0, 0) ||
        !WinHttpReceiveResponse(request, nullptr)) {
        return 1;
    }
    std::vector<char> buffer(readBytes);
    unsigned long long total = 0;
    for (;;) {
        DWORD read = 0;
        if (!WinHttpReadData(request, buffer.data(), static_cast<DWORD>(buffer.size()), &read)) {
            return 1;
        }
        if (read == 0) {
            break;
        }
        total += read;
    }
    WinHttpCloseHandle(request);
    WinHttpCloseHandle(connection);
    WinHttpCloseHandle(session);
    const std::chrono::duration<double> seconds = Clock::now() - start;
    std::printf("%llu %.3f\n", total, seconds.count());
    return 0;
}

int hash(const char* file) {
    const auto start = Clock::now();
    const HANDLE input = CreateFileW(widen(file).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                     OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (input == INVALID_HANDLE_VALUE) {
        return 1;
    }
    BCRYPT_ALG_HANDLE algorithm = nullptr;
    BCRYPT_HASH_HANDLE state = nullptr;
    BCryptOpenAlgorithmProvider(&algorithm, BCRYPT_SHA256_ALGORITHM, nullptr, 0);
    BCryptCreateHash(algorithm, &state, nullptr, 0, nullptr, 0, 0);
    std::vector<unsigned char> buffer(1 << 20);
    unsigned long long total = 0;
    DWORD read = 0;
    while (ReadFile(input, buffer.data(), static_cast<DWORD>(buffer.size()), &read, nullptr) &&
           read > 0) {
        BCryptHashData(state, buffer.data(), read, 0);
        total += read;
    }
    unsigned char digest[32];
    BCryptFinishHash(state, digest, sizeof digest, 0);
    BCryptDestroyHash(state);
    BCryptCloseAlgorithmProvider(algorithm, 0);
    CloseHandle(input);
    const std::chrono::duration<double> seconds = Clock::now() - start;
    std::printf("%llu %.3f\n", total, seconds.count());
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc >= 3 && std::string(argv[1]) == "loop") {
        return loop(argv[2], argc >= 4 ? std::strtoull(argv[3], nullptr, 10) : (1u << 20));
    }
    if (argc == 3 && std::string(argv[1]) == "hash") {
        return hash(argv[2]);
    }
    std::fprintf(stderr, "usage: platform_bench loop URL [READ_BYTES] | hash FILE\n");
    return 2;
}
