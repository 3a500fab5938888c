// The two directions the program itself uses: reading base64 and writing
// hexadecimal. The other two are in encoding_tools.cpp.
#include "signing/encoding.h"

#include <array>
#include <cstdint>

namespace orva {
namespace {

constexpr std::uint8_t kInvalid = 0xFF;

constexpr std::array<std::uint8_t, 256> makeBase64Table() {
    std::array<std::uint8_t, 256> table{};
    table.fill(kInvalid);
    for (std::size_t i = 0; i < kBase64Alphabet.size(); ++i) {
        table[static_cast<unsigned char>(kBase64Alphabet[i])] = static_cast<std::uint8_t>(i);
    }
    return table;
}

constexpr std::array<std::uint8_t, 256> kBase64Values = makeBase64Table();

}  // namespace

bool decodeBase64(std::string_view text, Bytes& out) {
    out.clear();
    std::uint32_t accumulator = 0;
    unsigned bits = 0;
    for (const char c : text) {
        if (c == '=') {
            return true;
        }
        if (c == ' ' || c == '\t' || c == '\n' || c == '\r') {
            continue;
        }
        const std::uint8_t value = kBase64Values[static_cast<unsigned char>(c)];
        if (value == kInvalid) {
            return false;
        }
        // Only the low 14 bits are ever used; older bits shift out harmlessly.
        accumulator = (accumulator << 6) | value;
        bits += 6;
        if (bits >= 8) {
            bits -= 8;
            out.push_back(static_cast<std::uint8_t>((accumulator >> bits) & 0xFF));
        }
    }
    return true;
}

std::string toHex(const Bytes& bytes) {
    constexpr std::string_view kDigits = "0123456789abcdef";
    std::string text;
    text.reserve(bytes.size() * 2);
    for (const std::uint8_t byte : bytes) {
        text.push_back(kDigits[byte >> 4]);
        text.push_back(kDigits[byte & 0x0F]);
    }
    return text;
}

}  // namespace orva
