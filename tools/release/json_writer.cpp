#include "tools/release/json_writer.h"

#include <charconv>
#include <cmath>
#include <cstdint>

namespace orva {
namespace {

// Whole numbers of at most this magnitude are exact in a double.
constexpr double kLargestExactInteger = 9007199254740992.0;  // 2^53

void appendNumber(std::string& out, double number) {
    char buffer[64];
    std::to_chars_result result{};
    if (!std::isfinite(number)) {
        out += "null";
        return;
    }
    if (std::trunc(number) == number && std::fabs(number) <= kLargestExactInteger) {
        result = std::to_chars(buffer, buffer + sizeof buffer, static_cast<std::int64_t>(number));
    } else {
        result = std::to_chars(buffer, buffer + sizeof buffer, number);  // shortest round trip
    }
    out.append(buffer, result.ptr);
}

void appendIndent(std::string& out, int level) {
    out.append(static_cast<std::size_t>(level) * 2, ' ');
}

void appendValue(std::string& out, const JsonValue& value, int level) {
    switch (value.kind) {
        case JsonKind::kNull:
            out += "null";
            return;
        case JsonKind::kBool:
            out += value.boolean ? "true" : "false";
            return;
        case JsonKind::kNumber:
            appendNumber(out, value.number);
            return;
        case JsonKind::kString:
            out += jsonString(value.text);
            return;
        case JsonKind::kArray:
        case JsonKind::kObject:
            break;
    }
    const bool isObject = value.kind == JsonKind::kObject;
    if (value.items.empty()) {
        out += isObject ? "{}" : "[]";
        return;
    }
    out += isObject ? "{\n" : "[\n";
    for (std::size_t i = 0; i < value.items.size(); ++i) {
        appendIndent(out, level + 1);
        if (isObject) {
            out += jsonString(value.names[i]);
            out += ": ";
        }
        appendValue(out, value.items[i], level + 1);
        out += i + 1 < value.items.size() ? ",\n" : "\n";
    }
    appendIndent(out, level);
    out += isObject ? '}' : ']';
}

}  // namespace

std::string jsonString(std::string_view text) {
    static constexpr char kHex[] = "0123456789abcdef";
    std::string out = "\"";
    for (const char c : text) {
        switch (c) {
            case '"':
                out += "\\\"";
                break;
            case '\\':
                out += "\\\\";
                break;
            case '\b':
                out += "\\b";
                break;
            case '\f':
                out += "\\f";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            default:
                if (static_cast<unsigned char>(c) < 0x20) {
                    out += "\\u00";
                    out += kHex[(c >> 4) & 0x0F];
                    out += kHex[c & 0x0F];
                } else {
                    out += c;
                }
        }
    }
    out += '"';
    return out;
}

std::string writeJson(const JsonValue& value) {
    std::string out;
    appendValue(out, value, 0);
    return out;
}

}  // namespace orva
