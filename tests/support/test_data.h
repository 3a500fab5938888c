#pragma once

// Helpers shared by the test executables, native or under Wine: access to the
// files under tests/data, and hexadecimal test vectors as bytes.

#include <filesystem>
#include <string>
#include <string_view>

#include "common/bytes.h"

namespace orva::testing {

// The absolute path of |relative| (forward slashes) inside tests/data.
std::filesystem::path testDataPath(std::string_view relative);

// The whole file as bytes; a missing or unreadable file fails the calling test
// and gives empty text.
std::string readTestFile(const std::filesystem::path& path);

// Bytes from hexadecimal digits of either case, read by decodeHex; malformed
// text fails the calling test and gives no bytes.
Bytes fromHex(std::string_view hex);

}  // namespace orva::testing
