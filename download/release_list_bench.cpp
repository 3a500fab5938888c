// Prints what a hostile release list costs the program: a list of nearly the
// 2 MiB the program reads, every entry well formed but its signature wrong,
// so that every entry reaches the signature check; then the same list with a
// genuinely signed, newer release after the padding. "every entry, one key
// import each" is how releases were chosen before (each entry verified on its
// own, newest or not); "pickNewestRelease" is the program's choice now (one
// key import, newest first, at most kMaxReleasesExamined entries). Not a test:
//   build/native/download/release_list_bench
//   cmake/wine-run.sh build/windows/download/release_list_bench.exe
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "download/release_list.h"
#include "signing/encoding.h"
#include "signing/release_signature.h"
#include "tests/support/signed_fixtures.h"

namespace {

using Clock = std::chrono::steady_clock;

double millisecondsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// One list entry with a signature of the right form that matches nothing.
std::string entry(std::size_t n) {
    orva::Bytes signature(64);
    for (std::size_t i = 0; i < signature.size(); ++i) {
        signature[i] = static_cast<std::uint8_t>(n * 131 + i * 7 + 1);
    }
    // All older than the signed fixture releases (3.0.0 is the newest there).
    const std::string version = "1." + std::to_string(n / 1000) + "." + std::to_string(n % 1000);
    return R"({"version":")" + version + R"(","date":"2026-12-10","size":1048576,"sha256":")" +
           std::string(64, 'a') + R"(","signature":")" + orva::encodeBase64(signature) + R"("})";
}

}  // namespace

int main() {
    std::string list = R"({"releases":[)";
    for (std::size_t n = 0;; ++n) {
        std::string next = (n == 0 ? "" : ",") + entry(n);
        if (list.size() + next.size() + 2 > orva::kMaxReleaseListBytes) {
            break;
        }
        list += next;
    }
    list += "]}";

    std::vector<orva::ReleaseInfo> releases;
    std::string error;
    if (!orva::parseReleaseList(list, releases, error)) {
        std::fprintf(stderr, "release_list_bench: the list does not parse: %s\n", error.c_str());
        return 1;
    }
#ifdef _WIN32
    const char* backend = "CNG";
#else
    const char* backend = "OpenSSL";
#endif
    std::printf("%zu bytes, %zu releases, none signed (%s)\n", list.size(), releases.size(),
                backend);

    // Before: every entry verified, each with a key import of its own.
    const auto everyEntry = [&error](const std::vector<orva::ReleaseInfo>& candidates) {
        int verified = 0;
        for (const orva::ReleaseInfo& release : candidates) {
            verified += orva::verifyRelease(release, error) ? 1 : 0;
        }
        return verified;
    };
    auto start = Clock::now();
    const int verifiedBefore = everyEntry(releases);
    const double before = millisecondsSince(start);
    start = Clock::now();
    const bool chosen = orva::pickNewestRelease(releases).has_value();
    std::printf(
        "nothing signed: every entry, one key import each %6.0f ms; "
        "pickNewestRelease %6.0f ms\n",
        before, millisecondsSince(start));

    const orva::testing::SignedFixtures fixtures = orva::testing::loadSignedFixtures();
    if (fixtures.releases.empty()) {
        std::fprintf(stderr, "release_list_bench: cannot read tests/data/signing\n");
        return 1;
    }
    releases.push_back(fixtures.releases.front().second);
    start = Clock::now();
    const int verifiedWithSigned = everyEntry(releases);
    const double beforeSigned = millisecondsSince(start);
    start = Clock::now();
    const bool chosenSigned = orva::pickNewestRelease(releases).has_value();
    std::printf("a signed newest at the end: every entry %6.0f ms; pickNewestRelease %6.0f ms\n",
                beforeSigned, millisecondsSince(start));
    return verifiedBefore == 0 && !chosen && verifiedWithSigned == 1 && chosenSigned ? 0 : 1;
}
