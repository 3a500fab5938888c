#pragma once

// Helpers shared by the test executables, native or under Wine: access to the
// files under tests/data and the byte encodings the program itself never
// writes or reads.

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

// Bytes from hexadecimal digits of either case; malformed text fails the
// calling test and gives what was read so far.
Bytes fromHex(std::string_view hex);

// Standard base64 with '=' padding.
std::string toBase64(const Bytes& bytes);

}  // namespace orva::testing
