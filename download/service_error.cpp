#include "download/service_error.h"

#include "common/text.h"
#include "download/run_messages.h"
#include "json/json.h"

namespace orva {
namespace {

// Characters that change the direction of the text around them: the marks
// (ALM, LRM, RLM), the embeddings and overrides (LRE..RLO) and the isolates
// (LRI..PDI).
bool isBidiControl(wchar_t c) {
    return c == 0x061C || c == 0x200E || c == 0x200F || (c >= 0x202A && c <= 0x202E) ||
           (c >= 0x2066 && c <= 0x2069);
}

bool isSpace(wchar_t c) {
    return c == L' ' || (c >= 0x09 && c <= 0x0D) || c == 0x85 || c == 0xA0 || c == 0x1680 ||
           (c >= 0x2000 && c <= 0x200A) || c == 0x2028 || c == 0x2029 || c == 0x202F ||
           c == 0x205F || c == 0x3000;
}

// C0, DEL and C1; the white space among them is folded before this is asked.
bool isControl(wchar_t c) {
    return c < 0x20 || (c >= 0x7F && c <= 0x9F);
}

bool isHighSurrogate(wchar_t c) {
    return c >= 0xD800 && c <= 0xDBFF;
}

bool isLowSurrogate(wchar_t c) {
    return c >= 0xDC00 && c <= 0xDFFF;
}

}  // namespace

std::wstring cleanServiceText(std::wstring_view text) {
    std::wstring clean;
    std::size_t characters = 0;
    bool pendingSpace = false;  // white space seen since the last character written
    for (std::size_t i = 0; i < text.size(); ++i) {
        const wchar_t c = text[i];
        if (isSpace(c)) {
            pendingSpace = !clean.empty();  // leading white space is dropped
            continue;
        }
        if (isControl(c) || isBidiControl(c)) {
            continue;
        }
        const std::size_t needed = pendingSpace ? 2 : 1;
        if (characters + needed > kMaxServiceTextChars) {
            clean += L"...";  // more follows than fits
            return clean;
        }
        if (pendingSpace) {
            clean += L' ';
            pendingSpace = false;
        }
        clean += c;
        if (isHighSurrogate(c) && i + 1 < text.size() && isLowSurrogate(text[i + 1])) {
            clean += text[++i];  // the pair is one character
        }
        characters += needed;
    }
    return clean;  // trailing white space was never written
}

std::wstring serviceErrorMessage(const HttpResponse& response, std::string_view what) {
    JsonValue root;
    std::string parseError;  // not shown: a body that is no JSON gets the status form
    if (parseJson(response.body, root, parseError) && root.kind == JsonKind::kObject) {
        const JsonValue* error = root.find("error");
        if (error != nullptr && error->kind == JsonKind::kString) {
            std::wstring text = cleanServiceText(utf8ToWide(error->text));
            if (!text.empty()) {
                return text;
            }
        }
    }
    return serviceStatusReason(what, response.status);
}

}  // namespace orva
