#pragma once

// The two text forms of bytes that the release list and the signed text use:
// base64 for signatures and hexadecimal for digests and keys. The program only
// reads base64 and writes hexadecimal; the release tool and the tests need the
// other directions, which live here too so that each form is written once.

#include <string>
#include <string_view>

#include "common/bytes.h"

namespace orva {

// The standard base64 alphabet of RFC 4648: each letter stands for its index.
inline constexpr std::string_view kBase64Alphabet =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// Decodes standard base64 (RFC 4648 alphabet; no URL-safe letters). Spaces,
// tabs, line feeds and carriage returns are skipped wherever they stand, the
// first '=' ends the text (whatever follows it is ignored), and leftover bits
// at the end are dropped; the length of the text is not checked, so callers
// check the length of the result. |out| is emptied first. Returns false at the
// first byte outside the alphabet; |out| then holds the bytes decoded before
// it, which callers must not use.
bool decodeBase64(std::string_view text, Bytes& out);

// Standard base64 (RFC 4648 alphabet) with '=' padding and no line breaks:
// four characters for every three bytes or part of them.
std::string encodeBase64(const Bytes& bytes);

// Two lowercase hexadecimal digits per byte, high nibble first.
std::string toHex(const Bytes& bytes);

// Reads hexadecimal digits of either case, two per byte, high nibble first,
// with nothing else (no blanks, no "0x"). Returns false for an odd number of
// digits or any other character; |out| is then empty. |out| is emptied first.
bool decodeHex(std::string_view text, Bytes& out);

}  // namespace orva
