#pragma once

// The local test server that tests/server/with-test-server.sh starts around a
// test program (see that script): its addresses reach the program through the
// environment.

#include <cstdint>
#include <string>

namespace orva::testing {

// The base address (scheme, 127.0.0.1 and port, no trailing slash) held by
// the environment variable |name|, such as "ORVA_TEST_HTTP_URL". When it is
// unset the calling test fails and the result is empty.
std::string testServerUrl(const char* name);

// True when the server's test certificate authority is trusted by this process.
bool testAuthorityTrusted();

// |length| bytes of the server's test pattern from |offset| on: byte i has the
// value i % 251.
std::string testPattern(std::uint64_t offset, std::uint64_t length);

}  // namespace orva::testing
