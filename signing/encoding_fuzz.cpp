// libFuzzer target: any bytes through the base64 and hexadecimal decoders,
// checked against their own rules. Base64: success exactly when no byte
// before the first '=' is outside the alphabet and the four blanks, and 6 bits
// a character; what it gives encodes and decodes back to itself. Hexadecimal:
// success exactly for an even number of digits of either case, and then toHex
// writes the text back in lower case.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "signing/encoding.h"

namespace {

bool isHexDigit(char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

char lowerCase(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

void checkBase64(std::string_view text) {
    orva::Bytes out;
    const bool ok = orva::decodeBase64(text, out);

    std::size_t letters = 0;
    bool valid = true;
    for (const char c : text.substr(0, text.find('='))) {
        const bool letter = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
                            (c >= '0' && c <= '9') || c == '+' || c == '/';
        if (letter) {
            ++letters;
        } else if (c != ' ' && c != '\t' && c != '\n' && c != '\r') {
            valid = false;
            break;
        }
    }
    if (ok != valid || out.size() != letters * 6 / 8) {
        std::abort();
    }
    const std::string encoded = orva::encodeBase64(out);
    orva::Bytes again;
    if (encoded.size() != (out.size() + 2) / 3 * 4 || !orva::decodeBase64(encoded, again) ||
        again != out) {
        std::abort();
    }
}

void checkHex(std::string_view text) {
    orva::Bytes out;
    const bool ok = orva::decodeHex(text, out);
    bool valid = text.size() % 2 == 0;
    for (const char c : text) {
        valid = valid && isHexDigit(c);
    }
    if (ok != valid || (!ok && !out.empty())) {
        std::abort();
    }
    if (ok) {
        const std::string written = orva::toHex(out);
        if (written.size() != text.size()) {
            std::abort();
        }
        for (std::size_t i = 0; i < text.size(); ++i) {
            if (written[i] != lowerCase(text[i])) {
                std::abort();
            }
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    checkBase64(text);
    checkHex(text);
    return 0;
}
