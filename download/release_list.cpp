#include "download/release_list.h"

#include <algorithm>
#include <limits>

#include "download/release_rules.h"
#include "signing/release_signature.h"

namespace orva {
namespace {

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

std::uint32_t digitValue(char c) {
    return static_cast<std::uint32_t>(c - '0');
}

bool isLeapYear(std::uint32_t year) {
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

// Reads the part of |version| that starts at |pos| (its leading digits; the
// rest up to the next '.' is passed over) and leaves |pos| after the '.' that
// ends it. A value beyond 64 bits stays at the largest 64-bit value.
std::uint64_t takeVersionPart(std::string_view version, std::size_t& pos) {
    constexpr std::uint64_t kMax = std::numeric_limits<std::uint64_t>::max();
    std::uint64_t value = 0;
    while (pos < version.size() && isDigit(version[pos])) {
        const std::uint64_t digit = digitValue(version[pos]);
        value = value > (kMax - digit) / 10 ? kMax : value * 10 + digit;
        ++pos;
    }
    while (pos < version.size() && version[pos] != '.') {
        ++pos;
    }
    if (pos < version.size()) {
        ++pos;  // the '.'
    }
    return value;
}

// The newest release at or above |minimumVersion|, among the first
// kMaxReleasesExamined, that |verifier| accepts; the first in the list among
// equal versions. Candidates are verified newest first and the first that
// verifies wins, which gives that same release: no older one can beat it, and
// among equal versions the earlier entry comes first.
std::optional<std::size_t> pickNewest(const std::vector<ReleaseInfo>& releases,
                                      const ReleaseVerifier& verifier,
                                      std::string_view minimumVersion) {
    const std::size_t examined = std::min(releases.size(), kMaxReleasesExamined);
    std::vector<std::size_t> candidates;
    candidates.reserve(examined);
    for (std::size_t i = 0; i < examined; ++i) {
        // Below the floor: a signed release with known faults the service
        // (or anyone answering for it) must not be able to push users back to.
        if (compareVersions(releases[i].version, minimumVersion) >= 0) {
            candidates.push_back(i);
        }
    }
    // A heap whose top is the newest candidate, the earliest in the list among
    // equal versions: each pop costs log n, and a list whose newest entry
    // verifies costs one signature check however long it is.
    const auto older = [&](std::size_t a, std::size_t b) {
        const int order = compareVersions(releases[a].version, releases[b].version);
        return order < 0 || (order == 0 && a > b);
    };
    std::make_heap(candidates.begin(), candidates.end(), older);
    while (!candidates.empty()) {
        std::pop_heap(candidates.begin(), candidates.end(), older);
        const std::size_t i = candidates.back();
        candidates.pop_back();
        std::string error;  // why a release fails is of no interest here
        if (verifier.verify(releases[i], error)) {
            return i;
        }
    }
    return std::nullopt;
}

}  // namespace

ReleaseRule readRelease(const JsonValue& value, ReleaseInfo& release) {
    if (value.kind != JsonKind::kObject) {
        return ReleaseRule::kObject;
    }
    release.version = stringMember(value, kVersionMember);
    release.date = stringMember(value, kDateMember);
    release.sha256 = stringMember(value, kSha256Member);
    release.signature = stringMember(value, kSignatureMember);
    release.notes = stringMember(value, kNotesMember);

    const JsonValue* size = value.find(kSizeMember);
    if (size == nullptr || size->kind != JsonKind::kNumber) {
        return ReleaseRule::kSizeIsNumber;
    }
    // Written so that a NaN, which no JSON text gives but a built document
    // could hold, is refused rather than converted.
    if (!(size->number >= 0.0 && size->number <= static_cast<double>(kMaxReleaseSize))) {
        return ReleaseRule::kSizeInRange;
    }
    release.size = static_cast<std::uint64_t>(size->number);  // truncates toward zero

    std::uint32_t year = 0;
    std::uint32_t month = 0;
    std::uint32_t day = 0;
    if (!isValidVersion(release.version)) {
        return ReleaseRule::kVersion;
    }
    if (!parseDate(release.date, year, month, day)) {
        return ReleaseRule::kDate;
    }
    if (release.sha256.size() != kSha256HexDigits) {
        return ReleaseRule::kSha256Length;
    }
    if (release.signature.empty()) {
        return ReleaseRule::kSignature;
    }
    return ReleaseRule::kKept;
}

bool parseReleaseList(std::string_view text, std::vector<ReleaseInfo>& releases,
                      std::string& error) {
    releases.clear();
    JsonValue document;
    if (!parseJson(text, document, error)) {
        return false;
    }
    const JsonValue* list =
        document.kind == JsonKind::kObject ? document.find(kReleasesMember) : nullptr;
    if (list == nullptr || list->kind != JsonKind::kArray) {
        error = kNotAReleaseList;
        return false;
    }
    for (const JsonValue& element : list->items) {
        ReleaseInfo release;
        if (parseRelease(element, release)) {
            releases.push_back(std::move(release));
        }
    }
    return true;
}

bool parseRelease(const JsonValue& value, ReleaseInfo& release) {
    return readRelease(value, release) == ReleaseRule::kKept;
}

std::string stringMember(const JsonValue& object, std::string_view name) {
    const JsonValue* member = object.find(name);
    if (member == nullptr || member->kind != JsonKind::kString) {
        return {};
    }
    return member->text;
}

bool isValidVersion(std::string_view version) {
    int parts = 0;
    bool partHasDigit = false;
    std::uint32_t value = 0;
    for (const char c : version) {
        if (isDigit(c)) {
            value = value * 10 + digitValue(c);
            if (value > kMaxVersionPart) {
                return false;
            }
            partHasDigit = true;
        } else if (c == '.') {
            if (!partHasDigit || ++parts == 3) {
                return false;  // an empty part, or a fourth one
            }
            partHasDigit = false;
            value = 0;
        } else {
            return false;
        }
    }
    return partHasDigit && parts == 2;
}

bool parseDate(std::string_view date, std::uint32_t& year, std::uint32_t& month,
               std::uint32_t& day) {
    if (date.size() != 10 || date[4] != '-' || date[7] != '-') {
        return false;
    }
    std::uint32_t digits[10] = {};
    for (std::size_t i = 0; i < date.size(); ++i) {
        if (i == 4 || i == 7) {
            continue;
        }
        if (!isDigit(date[i])) {
            return false;
        }
        digits[i] = digitValue(date[i]);
    }
    const std::uint32_t y = digits[0] * 1000 + digits[1] * 100 + digits[2] * 10 + digits[3];
    const std::uint32_t m = digits[5] * 10 + digits[6];
    const std::uint32_t d = digits[8] * 10 + digits[9];
    if (m == 0 || m > 12 || d == 0) {
        return false;
    }
    static constexpr std::uint32_t kDaysInMonth[12] = {31, 28, 31, 30, 31, 30,
                                                       31, 31, 30, 31, 30, 31};
    const std::uint32_t daysInMonth = kDaysInMonth[m - 1] + (m == 2 && isLeapYear(y) ? 1 : 0);
    if (d > daysInMonth) {
        return false;
    }
    year = y;
    month = m;
    day = d;
    return true;
}

int compareVersions(std::string_view a, std::string_view b) {
    std::size_t posA = 0;
    std::size_t posB = 0;
    while (posA < a.size() || posB < b.size()) {
        const std::uint64_t partA = takeVersionPart(a, posA);
        const std::uint64_t partB = takeVersionPart(b, posB);
        if (partA != partB) {
            return partA > partB ? 1 : -1;
        }
    }
    return 0;
}

std::optional<std::size_t> pickNewestRelease(const std::vector<ReleaseInfo>& releases) {
    return pickNewestReleaseWithKey(releases, kReleasePublicKey);
}

std::optional<std::size_t> pickNewestReleaseWithKey(const std::vector<ReleaseInfo>& releases,
                                                    const Bytes& publicKey) {
    return pickNewestReleaseAtLeast(releases, publicKey, kMinimumVersion);
}

std::optional<std::size_t> pickNewestReleaseAtLeast(const std::vector<ReleaseInfo>& releases,
                                                    const Bytes& publicKey,
                                                    std::string_view minimumVersion) {
    return pickNewest(releases, ReleaseVerifier(publicKey), minimumVersion);
}

// The build's floor, from ORVA_MINIMUM_VERSION, checked at configuration.
const char kMinimumVersion[] = ORVA_MINIMUM_VERSION;

}  // namespace orva
