#include "tests/support/test_data.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

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
    auto digit = [](char c) {
        if (c >= '0' && c <= '9')
            return c - '0';
        if (c >= 'a' && c <= 'f')
            return c - 'a' + 10;
        if (c >= 'A' && c <= 'F')
            return c - 'A' + 10;
        return -1;
    };
    Bytes bytes;
    if (hex.size() % 2 != 0) {
        ADD_FAILURE() << "odd number of hexadecimal digits: " << hex;
        return bytes;
    }
    for (std::size_t i = 0; i < hex.size(); i += 2) {
        const int high = digit(hex[i]);
        const int low = digit(hex[i + 1]);
        if (high < 0 || low < 0) {
            ADD_FAILURE() << "not hexadecimal: " << hex;
            return bytes;
        }
        bytes.push_back(static_cast<std::uint8_t>(high * 16 + low));
    }
    return bytes;
}

std::string toBase64(const Bytes& bytes) {
    constexpr std::string_view kAlphabet =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string text;
    for (std::size_t i = 0; i < bytes.size(); i += 3) {
        const std::size_t n = std::min<std::size_t>(3, bytes.size() - i);
        std::uint32_t group = 0;
        for (std::size_t j = 0; j < 3; ++j) {
            group = (group << 8) | (j < n ? bytes[i + j] : 0u);
        }
        for (std::size_t j = 0; j < 4; ++j) {
            text.push_back(j <= n ? kAlphabet[(group >> (18 - 6 * j)) & 0x3F] : '=');
        }
    }
    return text;
}

}  // namespace orva::testing
