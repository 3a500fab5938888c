#include <cstdio>

#include "signing/crypto.h"

namespace orva {

std::string cryptoFailure(std::string_view displayName, std::uint32_t status) {
    const std::string name(displayName);
    char buffer[kCryptoErrorBufferBytes];
    std::snprintf(buffer, sizeof(buffer), "Windows cryptography failed in %s (0x%08lX).",
                  name.c_str(), static_cast<unsigned long>(status));
    return buffer;
}

Bytes sha256(std::string_view text) {
    Bytes digest;
    std::string error;  // dropped: callers see a failure as an empty digest
    computeSha256(text.data(), text.size(), digest, error);
    return digest;
}

}  // namespace orva
