#pragma once

// The releases in tests/data/signing/releases.json, signed with the TEST-ONLY
// key by scripts/make-signing-fixtures.py, which builds the signed text on its
// own, not through the program's code.

#include <string>
#include <utility>
#include <vector>

#include "common/bytes.h"
#include "common/release_info.h"

namespace orva::testing {

struct SignedFixtures {
    Bytes publicKey;                                            // the TEST-ONLY key, X then Y
    std::vector<std::pair<std::string, ReleaseInfo>> releases;  // name, release
};

// Reads the fixtures; an unreadable file fails the calling test and gives none.
SignedFixtures loadSignedFixtures();

}  // namespace orva::testing
