#pragma once

#include <cstdint>
#include <string>

namespace orva {

// One published release as the update service lists it. A default record has
// empty texts and size 0.
struct ReleaseInfo {
    std::string version;     // three dot-separated decimal numbers, e.g. "2.4.1"
    std::string date;        // YYYY-MM-DD
    std::uint64_t size = 0;  // the installer's exact length in bytes
    std::string sha256;      // the installer's SHA-256 as 64 hexadecimal digits
    std::string signature;   // base64 of the 64-byte ECDSA P-256 signature (r||s)
    std::string notes;       // release notes: shown nowhere, but signed
};

}  // namespace orva
