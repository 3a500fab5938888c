#pragma once

// The rules that parseRelease applies, shared by release_list.cpp, which reads
// the list for the program, and release_problem.cpp, which puts a broken rule
// into words for the release tool. Only these two include it.

#include "common/release_info.h"
#include "json/json.h"

namespace orva {

// The rules of parseRelease, in the order it checks them.
enum class ReleaseRule {
    kKept,  // no rule is broken
    kObject,
    kSizeIsNumber,
    kSizeInRange,
    kVersion,
    kDate,
    kSha256Length,
    kSignature,
};

// Reads |value| into |release| as parseRelease documents and gives the first
// rule it breaks.
ReleaseRule readRelease(const JsonValue& value, ReleaseInfo& release);

}  // namespace orva
