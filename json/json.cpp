#include "json/json.h"

#include <algorithm>
#include <charconv>
#include <system_error>
#include <unordered_map>
#include <utility>

namespace orva {

JsonValue::JsonValue(JsonValue&& other) noexcept
    : kind(other.kind),
      boolean(other.boolean),
      number(other.number),
      text(std::move(other.text)),
      names(std::move(other.names)),
      items(std::move(other.items)) {
    other.text.clear();
    other.names.clear();
    other.items.clear();
}

JsonValue& JsonValue::operator=(JsonValue&& other) noexcept {
    if (this != &other) {
        kind = other.kind;
        boolean = other.boolean;
        number = other.number;
        text = std::move(other.text);
        names = std::move(other.names);
        items = std::move(other.items);
        other.text.clear();
        other.names.clear();
        other.items.clear();
    }
    return *this;
}

const JsonValue* JsonValue::find(std::string_view name) const {
    if (kind != JsonKind::kObject) {
        return nullptr;
    }
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (names[i] == name) {
            return &items[i];
        }
    }
    return nullptr;
}

std::size_t JsonValue::size() const {
    return kind == JsonKind::kObject ? names.size() : items.size();
}

JsonValue& JsonValue::append(JsonValue&& value) {
    kind = JsonKind::kArray;
    items.push_back(std::move(value));
    return items.back();
}

JsonValue& JsonValue::set(const std::string& name, JsonValue&& value) {
    kind = JsonKind::kObject;
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (names[i] == name) {
            items[i] = std::move(value);
            return items[i];
        }
    }
    names.push_back(name);
    items.push_back(std::move(value));
    return items.back();
}

namespace {

// Objects up to this many members find a repeated name with set()'s linear
// scan; larger ones switch to a hash index, so that an answer crafted with
// hundreds of thousands of members costs linear rather than quadratic time.
constexpr std::size_t kLinearMemberLimit = 32;

constexpr std::uint32_t kReplacementCharacter = 0xFFFD;

bool isWhitespace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

bool isNumberByte(char c) {
    return (c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.' || c == 'e' || c == 'E';
}

int hexDigitValue(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

void appendUtf8(std::uint32_t cp, std::string& out) {
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp <= 0xFFFF) {
        out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

// The state of one parse. Every rule returns false once a fault is recorded,
// and enclosing rules pass that on without recording anything more.
struct JsonParser {
    std::string_view text;
    std::size_t pos = 0;
    std::int32_t depth = 0;
    std::string error;

    bool atEnd() const { return pos >= text.size(); }

    void skipWhitespace() {
        while (pos < text.size() && isWhitespace(text[pos])) {
            ++pos;
        }
    }

    // Records |message| with the line of |pos| (line feeds before it, plus
    // one), unless an earlier fault was recorded. Always returns false.
    bool fail(std::string_view message) {
        if (error.empty()) {
            const std::size_t end = std::min(pos, text.size());
            const auto feeds =
                std::count(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(end), '\n');
            error.assign(message);
            error += " (line ";
            error += std::to_string(feeds + 1);
            error += ')';
        }
        return false;
    }

    bool parseValue(JsonValue& target) {
        skipWhitespace();
        if (atEnd()) {
            return fail("unexpected end of file");
        }
        ++depth;
        const bool ok = depth > kMaxJsonDepth ? fail("nesting too deep") : parseValueAt(target);
        --depth;
        return ok;
    }

    bool parseValueAt(JsonValue& target) {
        switch (text[pos]) {
            case '{':
                return parseObject(target);
            case '[':
                return parseArray(target);
            case '"': {
                std::string decoded;
                if (!parseString(decoded)) {
                    return false;
                }
                target = JsonValue();
                target.kind = JsonKind::kString;
                target.text = std::move(decoded);
                return true;
            }
            case 't':
                return parseLiteral("true", JsonKind::kBool, true, target);
            case 'f':
                return parseLiteral("false", JsonKind::kBool, false, target);
            case 'n':
                return parseLiteral("null", JsonKind::kNull, false, target);
            default:
                return parseNumber(target);
        }
    }

    bool parseLiteral(std::string_view word, JsonKind kind, bool value, JsonValue& target) {
        if (text.substr(pos, word.size()) != word) {
            return fail("unexpected text");
        }
        pos += word.size();
        target = JsonValue();
        target.kind = kind;
        target.boolean = value;
        return true;
    }

    bool parseNumber(JsonValue& target) {
        const std::size_t start = pos;
        while (pos < text.size() && isNumberByte(text[pos])) {
            ++pos;
        }
        if (pos == start) {
            return fail("unexpected character");
        }
        double value = 0.0;
        const char* first = text.data() + start;
        const char* last = text.data() + pos;
        const auto [end, ec] = std::from_chars(first, last, value, std::chars_format::general);
        if (ec != std::errc() || end != last) {
            return fail("invalid number");
        }
        target = JsonValue();
        target.kind = JsonKind::kNumber;
        target.number = value;
        return true;
    }

    // Reads four hexadecimal digits into |unit|, advancing past each digit read.
    bool parseHexUnit(std::uint32_t& unit) {
        unit = 0;
        for (int i = 0; i < 4; ++i) {
            const int digit = hexDigitValue(text[pos++]);
            if (digit < 0) {
                return fail("invalid \\u escape");
            }
            unit = (unit << 4) | static_cast<std::uint32_t>(digit);
        }
        return true;
    }

    // On entry |pos| is just after the 'u'.
    bool parseUnicodeEscape(std::string& out) {
        if (text.size() - pos < 4) {
            return fail("truncated \\u escape");
        }
        std::uint32_t unit = 0;
        if (!parseHexUnit(unit)) {
            return false;
        }
        std::uint32_t cp = unit;
        if (unit >= 0xD800 && unit <= 0xDBFF) {
            cp = kReplacementCharacter;
            if (text.size() - pos >= 6 && text[pos] == '\\' && text[pos + 1] == 'u') {
                const std::size_t secondEscape = pos;
                pos += 2;
                std::uint32_t low = 0;
                if (!parseHexUnit(low)) {
                    return false;
                }
                if (low >= 0xDC00 && low <= 0xDFFF) {
                    cp = 0x10000 + (unit - 0xD800) * 0x400 + (low - 0xDC00);
                } else {
                    // Not a pair: the second escape is read again on its own.
                    pos = secondEscape;
                }
            }
        } else if (unit >= 0xDC00 && unit <= 0xDFFF) {
            cp = kReplacementCharacter;
        }
        appendUtf8(cp, out);
        return true;
    }

    // On entry |pos| is at the opening quotation mark.
    bool parseString(std::string& out) {
        ++pos;
        if (atEnd()) {
            return fail("unterminated string");
        }
        for (;;) {
            const char c = text[pos++];
            if (c == '"') {
                return true;
            }
            if (c != '\\') {
                out.push_back(c);
            } else {
                if (atEnd()) {
                    return fail("unterminated string");
                }
                const char escape = text[pos++];
                switch (escape) {
                    case '"':
                    case '\\':
                    case '/':
                        out.push_back(escape);
                        break;
                    case 'b':
                        out.push_back('\b');
                        break;
                    case 'f':
                        out.push_back('\f');
                        break;
                    case 'n':
                        out.push_back('\n');
                        break;
                    case 'r':
                        out.push_back('\r');
                        break;
                    case 't':
                        out.push_back('\t');
                        break;
                    case 'u':
                        if (!parseUnicodeEscape(out)) {
                            return false;
                        }
                        break;
                    default:
                        return fail("invalid escape in string");
                }
            }
            if (atEnd()) {
                return fail("unterminated string");
            }
        }
    }

    // On entry |pos| is at the left bracket.
    bool parseArray(JsonValue& target) {
        ++pos;
        target = JsonValue();
        target.kind = JsonKind::kArray;
        skipWhitespace();
        if (!atEnd() && text[pos] == ']') {
            ++pos;
            return true;
        }
        for (;;) {
            JsonValue element;
            if (!parseValue(element)) {
                return false;
            }
            target.append(std::move(element));
            skipWhitespace();
            if (atEnd()) {
                return fail("unterminated array");
            }
            if (text[pos] == ']') {
                ++pos;
                return true;
            }
            if (text[pos] != ',') {
                return fail("expected ',' or ']'");
            }
            ++pos;
        }
    }

    // On entry |pos| is at the left brace.
    bool parseObject(JsonValue& target) {
        ++pos;
        target = JsonValue();
        target.kind = JsonKind::kObject;
        skipWhitespace();
        if (!atEnd() && text[pos] == '}') {
            ++pos;
            return true;
        }
        std::unordered_map<std::string, std::size_t> index;
        for (;;) {
            skipWhitespace();
            if (atEnd() || text[pos] != '"') {
                return fail("expected a member name");
            }
            std::string name;
            if (!parseString(name)) {
                return false;
            }
            skipWhitespace();
            if (atEnd() || text[pos] != ':') {
                return fail("expected ':'");
            }
            ++pos;
            JsonValue value;
            if (!parseValue(value)) {
                return false;
            }
            storeMember(target, index, std::move(name), std::move(value));
            skipWhitespace();
            if (atEnd()) {
                return fail("unterminated object");
            }
            if (text[pos] == '}') {
                ++pos;
                return true;
            }
            if (text[pos] != ',') {
                return fail("expected ',' or '}'");
            }
            ++pos;
        }
    }

    // The same result as target.set(name, value): a repeated name keeps its
    // first position and takes the last value.
    static void storeMember(JsonValue& target, std::unordered_map<std::string, std::size_t>& index,
                            std::string&& name, JsonValue&& value) {
        if (target.names.size() < kLinearMemberLimit) {
            target.set(name, std::move(value));
            return;
        }
        if (index.empty()) {
            for (std::size_t i = 0; i < target.names.size(); ++i) {
                index.emplace(target.names[i], i);
            }
        }
        const auto [it, inserted] = index.emplace(name, target.names.size());
        if (!inserted) {
            target.items[it->second] = std::move(value);
            return;
        }
        target.names.push_back(std::move(name));
        target.items.push_back(std::move(value));
    }
};

}  // namespace

bool parseJson(std::string_view text, JsonValue& out, std::string& error) {
    JsonParser parser;
    parser.text = text;
    if (text.size() >= 3 && text.substr(0, 3) == "\xEF\xBB\xBF") {
        parser.pos = 3;
    }
    if (parser.parseValue(out)) {
        parser.skipWhitespace();
        if (parser.atEnd()) {
            return true;
        }
        parser.fail("unexpected text after the document");
    }
    error = std::move(parser.error);
    return false;
}

}  // namespace orva
