#pragma once

// Access to the files under tests/data from any test executable, native or
// under Wine.

#include <filesystem>
#include <string>
#include <string_view>

namespace orva::testing {

// The absolute path of |relative| (forward slashes) inside tests/data.
std::filesystem::path testDataPath(std::string_view relative);

// The whole file as bytes; a missing or unreadable file fails the calling test
// and gives empty text.
std::string readTestFile(const std::filesystem::path& path);

}  // namespace orva::testing
