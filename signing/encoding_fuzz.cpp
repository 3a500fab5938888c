// libFuzzer target: any bytes through the base64 decoder, checked against the
// decoder's own rules: success exactly when no byte before the first '=' is
// outside the alphabet and the four blanks, and 6 bits a character.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "signing/encoding.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
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
    (void)orva::toHex(out);
    return 0;
}
