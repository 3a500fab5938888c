#include "tests/support/test_server.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace orva::testing {

std::string testServerUrl(const char* name) {
    const char* value = std::getenv(name);
    if (value == nullptr || *value == '\0') {
        ADD_FAILURE() << name << " is not set: run this program through "
                      << "tests/server/with-test-server.sh (ctest does)";
        return {};
    }
    return value;
}

bool testAuthorityTrusted() {
    const char* value = std::getenv("ORVA_TEST_TRUSTED_CA");
    return value != nullptr && std::string(value) == "1";
}

std::string testPattern(std::uint64_t offset, std::uint64_t length) {
    std::string bytes(length, '\0');
    for (std::uint64_t i = 0; i < length; ++i) {
        bytes[i] = static_cast<char>((offset + i) % 251);
    }
    return bytes;
}

}  // namespace orva::testing
