// The two directions of signing/encoding.h that only the release tool and the
// tests use: writing base64 and reading hexadecimal. They are an object of
// their own because the Windows link keeps every function of an object it
// pulls in (--gc-sections keeps what .pdata refers to), and the program
// downloaded by every new user should not carry them.
#include <cstdint>

#include "signing/encoding.h"

namespace orva {
namespace {

constexpr std::uint8_t kNotADigit = 0xFF;

// The value of one hexadecimal digit of either case, or kNotADigit.
std::uint8_t hexDigitValue(char c) {
    if (c >= '0' && c <= '9') {
        return static_cast<std::uint8_t>(c - '0');
    }
    if (c >= 'a' && c <= 'f') {
        return static_cast<std::uint8_t>(c - 'a' + 10);
    }
    if (c >= 'A' && c <= 'F') {
        return static_cast<std::uint8_t>(c - 'A' + 10);
    }
    return kNotADigit;
}

}  // namespace

std::string encodeBase64(const Bytes& bytes) {
    std::string text;
    text.reserve((bytes.size() + 2) / 3 * 4);
    for (std::size_t i = 0; i < bytes.size(); i += 3) {
        const std::size_t count = bytes.size() - i < 3 ? bytes.size() - i : 3;
        // Three bytes, missing ones as zero, make four 6-bit letters.
        std::uint32_t group = std::uint32_t{bytes[i]} << 16;
        if (count > 1) {
            group |= std::uint32_t{bytes[i + 1]} << 8;
        }
        if (count > 2) {
            group |= bytes[i + 2];
        }
        for (std::size_t letter = 0; letter < 4; ++letter) {
            // |count| bytes fill |count| + 1 letters; padding stands for the rest.
            text.push_back(letter <= count ? kBase64Alphabet[(group >> (18 - 6 * letter)) & 0x3F]
                                           : '=');
        }
    }
    return text;
}

bool decodeHex(std::string_view text, Bytes& out) {
    out.clear();
    if (text.size() % 2 != 0) {
        return false;
    }
    out.reserve(text.size() / 2);
    for (std::size_t i = 0; i < text.size(); i += 2) {
        const std::uint8_t high = hexDigitValue(text[i]);
        const std::uint8_t low = hexDigitValue(text[i + 1]);
        if (high == kNotADigit || low == kNotADigit) {
            out.clear();
            return false;
        }
        out.push_back(static_cast<std::uint8_t>(high << 4 | low));
    }
    return true;
}

}  // namespace orva
