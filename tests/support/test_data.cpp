#include "tests/support/test_data.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "signing/encoding.h"

namespace orva::testing {

std::filesystem::path testDataPath(std::string_view relative) {
    return std::filesystem::path(ORVA_TEST_DATA_DIR) / std::filesystem::path(relative);
}

std::string readTestFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        ADD_FAILURE() << "cannot read test data file " << path.string();
        return {};
    }
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

Bytes fromHex(std::string_view hex) {
    Bytes bytes;
    if (!decodeHex(hex, bytes)) {
        ADD_FAILURE() << "not an even number of hexadecimal digits: " << hex;
    }
    return bytes;
}

}  // namespace orva::testing
