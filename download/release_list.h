#pragma once

// The release list that the update service answers to "/list", and the choice
// of the release to install: the newest one whose signature verifies.
//
// The list document is a JSON object whose "releases" member is an array of
// release objects with the members "version", "date", "size", "sha256",
// "signature" and "notes". A release that lacks a member or has one of the
// wrong form is skipped without a word, and so is one whose signature does not
// verify: only a document that is not a list at all is an error.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/bytes.h"
#include "common/release_info.h"
#include "json/json.h"

namespace orva {

// The largest installer a release may list, in bytes.
inline constexpr std::uint64_t kMaxReleaseSize = 4'000'000'000;

// The most of a "/list" answer the download procedure reads, in bytes
// (2 MiB); the release tool refuses to write a longer list.
inline constexpr std::uint64_t kMaxReleaseListBytes = 2'097'152;

// The largest value of one part of a version.
inline constexpr std::uint32_t kMaxVersionPart = 999'999;

// The length of a release's "sha256": its hexadecimal digits.
inline constexpr std::size_t kSha256HexDigits = 64;

// The member names of the list document and of its release objects: read
// here, and written by the release tool, so that both name them alike.
inline constexpr const char* kReleasesMember = "releases";
inline constexpr const char* kVersionMember = "version";
inline constexpr const char* kDateMember = "date";
inline constexpr const char* kSizeMember = "size";
inline constexpr const char* kSha256Member = "sha256";
inline constexpr const char* kSignatureMember = "signature";
inline constexpr const char* kNotesMember = "notes";

// What parseReleaseList says of a JSON document that is not a list.
inline constexpr const char* kNotAReleaseList = "that is not a list of releases";

// Reads the list document |text| into |releases| (cleared first), keeping, in
// document order, every element of "releases" that parseRelease keeps.
// Returns false when |text| is not JSON (|error| is then the JSON reader's
// fault with its line) or when its root is not an object with a "releases"
// array (|error| is kNotAReleaseList). Returns true otherwise, even when no
// release is kept; |error| is then untouched.
bool parseReleaseList(std::string_view text, std::vector<ReleaseInfo>& releases,
                      std::string& error);

// Reads one element of the "releases" array into |release| and tells whether
// it is kept: it must be an object whose "version" passes isValidVersion,
// whose "date" passes parseDate, whose "size" is a number from 0 to
// kMaxReleaseSize (truncated toward zero), whose "sha256" is 64 bytes long and
// whose "signature" is not empty. "notes" may be absent or empty. The text
// fields are filled before they are checked, so a release that is not kept
// may be partly filled and must be discarded.
bool parseRelease(const JsonValue& value, ReleaseInfo& release);

// The same, and when the element is not kept |why| says which rule it breaks
// first, checked in this order: object, size, version, date, sha256,
// signature. |why| is a clause about the element, such as "its date is not a
// real day written YYYY-MM-DD": the release tool reports skipped entries in
// these words. |why| is untouched when the element is kept.
bool parseRelease(const JsonValue& value, ReleaseInfo& release, std::string& why);

// The forms parseRelease asks of a version and of a date, in words that
// follow "is not", for sentences that say why a release is skipped or refused.
std::string versionForm();  // "three numbers from 0 to 999999 separated by dots"
inline constexpr const char* kDateForm = "a real day written YYYY-MM-DD";

// The text of the string member |name| of |object|, or empty text when there
// is no such member, it is not a string, or |object| is not an object.
std::string stringMember(const JsonValue& object, std::string_view name);

// True for exactly three parts separated by single dots, each one or more
// ASCII digits with a value of at most 999999 (leading zeros allowed):
// "2.4.1" and "0.0.0" are versions, "2.4", "2.4.1.0", "v2.4.1" and
// "1000000.0.0" are not.
bool isValidVersion(std::string_view version);

// True for a real day of the Gregorian calendar written YYYY-MM-DD (ten bytes,
// every digit ASCII, any year from 0000 to 9999); |year|, |month| and |day|
// then hold its numbers. On false they are untouched.
bool parseDate(std::string_view date, std::uint32_t& year, std::uint32_t& month,
               std::uint32_t& day);

// Compares two versions part by part, numerically: 1 when |a| is newer, -1
// when it is older, 0 when they are equal ("2.10.0" is newer than "2.9.0";
// "01.02.03" equals "1.2.3"). A part is read from its leading digits, so an
// empty, missing or non-numeric part counts as 0; a part too large for 64 bits
// counts as the largest 64-bit value.
int compareVersions(std::string_view a, std::string_view b);

// At most this many releases of a list are looked at, so that a hostile list
// costs a bounded number of signature checks.
inline constexpr std::size_t kMaxReleasesExamined = 10'000;

// The oldest version the program installs, set at build time from
// ORVA_MINIMUM_VERSION ("0.0.0" unless set): older signed releases are passed
// over, so that nobody answering for the service can send users back to a
// signed release with known faults.
extern const char kMinimumVersion[];

// The index of the release to install: the newest version at or above
// kMinimumVersion among the first kMaxReleasesExamined releases that
// verifyRelease accepts, the first in the list among equal versions. The key
// is imported once and candidates are verified newest first, stopping at the
// first that verifies. None when no such release verifies.
std::optional<std::size_t> pickNewestRelease(const std::vector<ReleaseInfo>& releases);

// The same choice with the signatures checked against |publicKey| (64 bytes,
// X then Y) instead of the key built into the program. The release tool uses
// it to show which release the program built with that key would choose.
std::optional<std::size_t> pickNewestReleaseWithKey(const std::vector<ReleaseInfo>& releases,
                                                    const Bytes& publicKey);

// The same choice with |minimumVersion| as the floor instead of kMinimumVersion.
std::optional<std::size_t> pickNewestReleaseAtLeast(const std::vector<ReleaseInfo>& releases,
                                                    const Bytes& publicKey,
                                                    std::string_view minimumVersion);

}  // namespace orva
