#pragma once

// A release as the release tool writes it into the list: the other side of
// parseRelease (download/release_list.h), with its member names. It lives
// here, not beside parseRelease, because the program only reads the list and
// should not carry the writing side.

#include "common/release_info.h"
#include "json/json.h"

namespace orva {

// |release| as an element of "releases": an object with the members version,
// date, size, sha256, notes and signature, in that order, the size a number
// and the others strings. parseRelease reads it back as |release| when each
// field has the form that parseRelease asks of it.
JsonValue releaseToJson(const ReleaseInfo& release);

}  // namespace orva
