// Prints the cost of one verifyRelease (base64, signed text, two SHA-256
// hashes, key import and ECDSA P-256 verification) on this build's backend.
// Not a test: run it by hand, natively and under Wine:
//   build/native/signing/verify_release_bench
//   cmake/wine-run.sh build/windows/signing/verify_release_bench.exe
#include <chrono>
#include <cstdio>
#include <string>

#include "json/json.h"
#include "signing/release_signature.h"
#include "tests/support/test_data.h"

int main(int argc, char** argv) {
    using namespace orva;
    const int iterations = argc > 1 ? std::stoi(argv[1]) : 2000;
    JsonValue document;
    std::string error;
    const std::string text = testing::readTestFile(testing::testDataPath("signing/releases.json"));
    if (!parseJson(text, document, error)) {
        std::fprintf(stderr, "cannot read the fixtures: %s\n", error.c_str());
        return 1;
    }
    const JsonValue& item = document.find("releases")->items.at(0);
    ReleaseInfo release;
    release.version = item.find("version")->text;
    release.date = item.find("date")->text;
    release.size = static_cast<std::uint64_t>(item.find("size")->number);
    release.sha256 = item.find("sha256")->text;
    release.signature = item.find("signature")->text;
    release.notes = item.find("notes")->text;

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
