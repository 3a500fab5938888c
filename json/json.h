#pragma once

// The JSON document model and reader. The update service answers in JSON (the
// release list and error bodies); nothing here writes JSON.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace orva {

enum class JsonKind : std::int32_t { kNull = 0, kBool, kNumber, kString, kArray, kObject };

// The deepest nesting level a value may have: the document value is level 1.
inline constexpr int kMaxJsonDepth = 256;

// One value of any kind: a plain tree that owns all of its parts.
struct JsonValue {
    JsonKind kind = JsonKind::kNull;
    bool boolean = false;            // value of a kBool
    double number = 0.0;             // value of a kNumber (every number is a double)
    std::string text;                // decoded bytes of a kString (UTF-8, escapes resolved)
    std::vector<std::string> names;  // member names of a kObject, in document order
    std::vector<JsonValue> items;    // array elements, or member values parallel to |names|

    JsonValue() = default;
    JsonValue(const JsonValue&) = default;
    JsonValue& operator=(const JsonValue&) = default;
    // A move leaves the source with empty text, names and items.
    JsonValue(JsonValue&& other) noexcept;
    JsonValue& operator=(JsonValue&& other) noexcept;
    ~JsonValue() = default;

    // The value of the first member named exactly |name| (byte for byte), or
    // null when there is none or this is not an object. The address stays valid
    // while this value is neither changed nor destroyed.
    const JsonValue* find(std::string_view name) const;

    // Members of an object, elements of an array; 0 for scalars.
    std::size_t size() const;

    // Makes this an array and appends |value|; returns the stored element.
    JsonValue& append(JsonValue&& value);

    // Makes this an object and stores |value| under |name|. A name already
    // present keeps its position and has its value replaced.
    JsonValue& set(const std::string& name, JsonValue&& value);
};

// Reads |text|, which must hold exactly one JSON value, optionally surrounded
// by whitespace and optionally preceded by a UTF-8 byte order mark.
// On success |out| holds the tree and |error| is untouched. On failure returns
// false and |error| is replaced by the first fault and its line, for example
// "unexpected end of file (line 1)"; |out| must then not be used.
bool parseJson(std::string_view text, JsonValue& out, std::string& error);

}  // namespace orva
