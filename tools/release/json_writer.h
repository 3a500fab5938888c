#pragma once

// JSON text from a document tree, for the release tool: the program itself
// only reads JSON, but the tool writes the release list that the program reads.

#include <string>
#include <string_view>

#include "json/json.h"

namespace orva {

// |text| as a JSON string with its quotes. The bytes are copied as they are
// (UTF-8 stays UTF-8) except the quote, the backslash and the control bytes
// below 0x20, which are escaped, so parseJson gives back exactly |text|.
std::string jsonString(std::string_view text);

// |value| as JSON text laid out for people and diffs: two spaces of indent per
// level, one member or element per line, no line feed after the last bracket.
// Whole numbers up to 2^53 are written without a fraction or exponent (the
// sizes of installers), others in the shortest form that reads back the same.
// A number that is not finite, which parseJson never gives, is written as null.
std::string writeJson(const JsonValue& value);

}  // namespace orva
