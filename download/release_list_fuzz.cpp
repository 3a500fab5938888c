// libFuzzer target: any bytes as the answer to "/list". The reader must keep
// only releases of the required form and choose one of them, or refuse the
// document with a sentence; never crash, hang or leak.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "download/release_list.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    std::vector<orva::ReleaseInfo> releases;
    std::string error;
    if (!orva::parseReleaseList(text, releases, error)) {
        if (error.empty() || !releases.empty()) {
            std::abort();  // a refusal says why and keeps nothing
        }
        return 0;
    }
    for (const orva::ReleaseInfo& release : releases) {
        std::uint32_t year = 0, month = 0, day = 0;
        if (!orva::isValidVersion(release.version) ||
            !orva::parseDate(release.date, year, month, day) ||
            release.size > orva::kMaxReleaseSize ||
            release.sha256.size() != orva::kSha256HexDigits || release.signature.empty()) {
            std::abort();  // a kept release breaks a rule
        }
    }
    // The product key: a chosen release must be one of the list.
    const auto chosen = orva::pickNewestRelease(releases);
    if (chosen && *chosen >= releases.size()) {
        std::abort();
    }
    return 0;
}
