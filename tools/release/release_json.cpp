#include "tools/release/release_json.h"

#include <string>

#include "download/release_list.h"

namespace orva {
namespace {

JsonValue stringValue(const std::string& text) {
    JsonValue value;
    value.kind = JsonKind::kString;
    value.text = text;
    return value;
}

JsonValue numberValue(double number) {
    JsonValue value;
    value.kind = JsonKind::kNumber;
    value.number = number;
    return value;
}

}  // namespace

JsonValue releaseToJson(const ReleaseInfo& release) {
    JsonValue entry;
    entry.set(kVersionMember, stringValue(release.version));
    entry.set(kDateMember, stringValue(release.date));
    // Exact: kMaxReleaseSize is far below 2^53.
    entry.set(kSizeMember, numberValue(static_cast<double>(release.size)));
    entry.set(kSha256Member, stringValue(release.sha256));
    entry.set(kNotesMember, stringValue(release.notes));
    entry.set(kSignatureMember, stringValue(release.signature));
    return entry;
}

}  // namespace orva
