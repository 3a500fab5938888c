#pragma once

// The two text forms of bytes that the release list and the signed text use:
// base64 for signatures (read only) and lowercase hexadecimal for digests
// (written only).

#include <string>
#include <string_view>

#include "common/bytes.h"

namespace orva {

// Decodes standard base64 (RFC 4648 alphabet; no URL-safe letters). Spaces,
// tabs, line feeds and carriage returns are skipped wherever they stand, the
// first '=' ends the text (whatever follows it is ignored), and leftover bits
// at the end are dropped; the length of the text is not checked, so callers
// check the length of the result. |out| is emptied first. Returns false at the
// first byte outside the alphabet; |out| then holds the bytes decoded before
// it, which callers must not use.
bool decodeBase64(std::string_view text, Bytes& out);

// Two lowercase hexadecimal digits per byte, high nibble first.
std::string toHex(const Bytes& bytes);

}  // namespace orva
