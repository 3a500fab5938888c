// Measures the throughput of performHttpRequest: downloads one URL, hands
// every chunk to a data callback that only counts it, and prints the bytes,
// the seconds and the rate. Not a test; scripts/bench-http.sh runs it next to
// curl against the local test server.
//
//   http_bench.exe URL

#include <chrono>
#include <cstdint>
#include <cstdio>

#include "http/http_client.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: http_bench URL\n");
        return 2;
    }
    orva::HttpRequest request;
    request.url = argv[1];
    std::uint64_t received = 0;
    std::uint64_t chunks = 0;
    const auto start = std::chrono::steady_clock::now();
    const orva::HttpResponse response =
        orva::performHttpRequest(request, 0,
                                 {orva::streamSuccess,
                                  [&](const std::uint8_t*, std::uint64_t length, std::uint64_t) {
                                      received += length;
                                      ++chunks;
                                      return true;
                                  },
                                  {}});
    const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
    if (!response.ok || response.status != 200) {
        std::fprintf(stderr, "http_bench: status %u: %s\n", static_cast<unsigned>(response.status),
                     response.error.c_str());
        return 1;
    }
    const double seconds = elapsed.count();
    // One line for the script: bytes, seconds, bytes per second, chunks.
    std::printf("%llu %.3f %.0f %llu\n", static_cast<unsigned long long>(received), seconds,
                static_cast<double>(received) / seconds, static_cast<unsigned long long>(chunks));
    return 0;
}
