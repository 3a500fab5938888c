// Prints the cost of one verifyRelease (base64, signed text, two SHA-256
// hashes, key import and ECDSA P-256 verification) on this build's backend.
// Not a test: run it by hand, natively and under Wine:
//   build/native/signing/verify_release_bench
//   cmake/wine-run.sh build/windows/signing/verify_release_bench.exe
#include <chrono>
#include <cstdio>
#include <string>

#include "signing/release_signature.h"
#include "tests/support/signed_fixtures.h"

int main(int argc, char** argv) {
    using namespace orva;
    const int iterations = argc > 1 ? std::stoi(argv[1]) : 2000;
    const testing::SignedFixtures fixtures = testing::loadSignedFixtures();
    if (fixtures.releases.empty()) {
        std::fprintf(stderr, "cannot read the fixtures in tests/data/signing\n");
        return 1;
    }
    const ReleaseInfo& release = fixtures.releases.front().second;
    std::string error;

    int verified = 0;
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < iterations; ++i) {
        verified += verifyRelease(release, error) ? 1 : 0;
    }
    const std::chrono::duration<double, std::micro> elapsed =
        std::chrono::steady_clock::now() - start;
#ifdef _WIN32
    const char* backend = "CNG";
#else
    const char* backend = "OpenSSL";
#endif
    std::printf("verifyRelease (%s): %d calls, %d verified, %.1f us per call\n", backend,
                iterations, verified, elapsed.count() / iterations);
    return verified == iterations ? 0 : 1;
}
