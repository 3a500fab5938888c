// parseRelease's reasons in words, for the release tool. An object of its own
// because the Windows link keeps every function of an object it pulls in
// (--gc-sections keeps what .pdata refers to), and the program, which skips
// releases without a word, should not carry the sentences.
#include <string>

#include "download/release_list.h"
#include "download/release_rules.h"

namespace orva {
namespace {

// Every sentence of a broken rule, in one place.
std::string ruleBroken(ReleaseRule rule) {
    switch (rule) {
        case ReleaseRule::kKept:
            break;
        case ReleaseRule::kObject:
            return "it is not an object";
        case ReleaseRule::kSizeIsNumber:
            return "its size is not a number";
        case ReleaseRule::kSizeInRange:
            return "its size is not from 0 to " + std::to_string(kMaxReleaseSize);
        case ReleaseRule::kVersion:
            return "its version is not " + versionForm();
        case ReleaseRule::kDate:
            return std::string("its date is not ") + kDateForm;
        case ReleaseRule::kSha256Length:
            return "its sha256 is not " + std::to_string(kSha256HexDigits) + " characters long";
        case ReleaseRule::kSignature:
            return "it has no signature";
    }
    return {};
}

}  // namespace

bool parseRelease(const JsonValue& value, ReleaseInfo& release, std::string& why) {
    const ReleaseRule broken = readRelease(value, release);
    if (broken != ReleaseRule::kKept) {
        why = ruleBroken(broken);
    }
    return broken == ReleaseRule::kKept;
}

std::string versionForm() {
    return "three numbers from 0 to " + std::to_string(kMaxVersionPart) + " separated by dots";
}

}  // namespace orva
