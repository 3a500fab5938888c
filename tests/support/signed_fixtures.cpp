#include "tests/support/signed_fixtures.h"

#include <gtest/gtest.h>

#include "json/json.h"
#include "tests/support/test_data.h"

namespace orva::testing {

SignedFixtures loadSignedFixtures() {
    SignedFixtures fixtures;
    JsonValue document;
    std::string error;
    const std::string text = readTestFile(testDataPath("signing/releases.json"));
    if (!parseJson(text, document, error)) {
        ADD_FAILURE() << "tests/data/signing/releases.json: " << error;
        return fixtures;
    }
    fixtures.publicKey = fromHex(document.find("publicKey")->text);
    for (const JsonValue& item : document.find("releases")->items) {
        ReleaseInfo release;
        release.version = item.find("version")->text;
        release.date = item.find("date")->text;
        release.size = static_cast<std::uint64_t>(item.find("size")->number);
        release.sha256 = item.find("sha256")->text;
        release.signature = item.find("signature")->text;
        release.notes = item.find("notes")->text;
        fixtures.releases.emplace_back(item.find("name")->text, release);
    }
    return fixtures;
}

}  // namespace orva::testing
