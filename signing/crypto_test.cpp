#include "signing/crypto.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "signing/encoding.h"
#include "tests/support/test_data.h"

#ifdef _WIN32
#include "signing/crypto_cng.h"
#else
#include <openssl/err.h>

#include "signing/crypto_openssl.h"
#endif

namespace orva {
namespace {

using testing::fromHex;

constexpr const char* kNoMatch =
    "The signature does not match: this was not signed by Orva's license key.";

struct DigestCase {
    const char* name;
    std::string input;
    const char* digest;
};

// FIPS 180-4 examples (NIST's "SHA-256" example values), plus the well-known
// million-'a' vector.
const DigestCase kFipsCases[] = {
    {"empty", "", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
    {"abc", "abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
    {"448 bits", "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
     "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
    {"896 bits",
     "abcdefghbcdefghicdefghijdefghijkefghijklfghijklmghijklmnhijklmnoijklmnopjklmnopqklmnopqrlmnop"
     "qrsmnopqrstnopqrstu",
     "cf5b16a778af8380036ce59e7b0492370b249b11e8f07a51afac45037afee9d1"},
    {"one million a", std::string(1000000, 'a'),
     "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
};

TEST(Sha256, MatchesTheStandardExamples) {
    for (const DigestCase& c : kFipsCases) {
        EXPECT_EQ(toHex(sha256(c.input)), c.digest) << c.name;

        Bytes out = {1, 2, 3};
        std::string error = "untouched";
        ASSERT_TRUE(computeSha256(c.input.data(), c.input.size(), out, error)) << c.name;
        EXPECT_EQ(toHex(out), c.digest) << c.name;
        EXPECT_EQ(error, "untouched") << c.name;
    }
    Bytes out;
    std::string error;
    ASSERT_TRUE(computeSha256(nullptr, 0, out, error)) << error;
    EXPECT_EQ(toHex(out), kFipsCases[0].digest);
}

TEST(Sha256Stream, PiecesGiveTheOneShotDigest) {
    // Several megabytes of varied bytes, fed in pieces of awkward sizes.
    std::string data(5 * 1024 * 1024 + 17, '\0');
    std::uint32_t x = 12345;
    for (char& c : data) {
        x = x * 1103515245u + 12345u;
        c = static_cast<char>(x >> 24);
    }
    const Bytes expected = sha256(data);
    ASSERT_EQ(expected.size(), 32u);

    Sha256Stream stream;
    const std::size_t kPieces[] = {0, 1, 7, 64, 4095, 65536, 1 << 20};
    std::size_t offset = 0;
    for (std::size_t i = 0; offset < data.size(); ++i) {
        const std::size_t piece = std::min(kPieces[i % std::size(kPieces)], data.size() - offset);
        ASSERT_TRUE(stream.update(data.data() + offset, piece));
        offset += piece;
    }
    Bytes digest;
    std::string error;
    ASSERT_TRUE(stream.finish(digest, error)) << error;
    EXPECT_EQ(digest, expected);

    // The digest is taken once; a second finish says so and gives nothing.
    EXPECT_FALSE(stream.finish(digest, error));
    EXPECT_TRUE(digest.empty());
    EXPECT_EQ(error, kSha256StreamFinished);
    EXPECT_FALSE(stream.update("x", 1));
}

TEST(Sha256Stream, EmptyAndMillionA) {
    for (const DigestCase& c : {kFipsCases[0], kFipsCases[4]}) {
        Sha256Stream stream;
        for (std::size_t offset = 0; offset < c.input.size(); offset += 1000) {
            ASSERT_TRUE(stream.update(c.input.data() + offset, 1000));
        }
        Bytes digest;
        std::string error;
        ASSERT_TRUE(stream.finish(digest, error)) << error;
        EXPECT_EQ(toHex(digest), c.digest) << c.name;
    }
}

TEST(CryptoFailure, FormatsEightUpperCaseDigits) {
    EXPECT_EQ(cryptoFailure("SHA-256", 0xC0000225u),
              "Windows cryptography failed in SHA-256 (0xC0000225).");
    EXPECT_EQ(cryptoFailure("the public key", 0x1Au),
              "Windows cryptography failed in the public key (0x0000001A).");
    EXPECT_EQ(cryptoFailure("ECDSA P-256", 0xFFFFFFFFu),
              "Windows cryptography failed in ECDSA P-256 (0xFFFFFFFF).");
}

// A valid signature with its key and message: Wycheproof's P-256 vector
// tcId 1 (tests/data/wycheproof), message "123400".
struct Vector {
    Bytes publicKey;
    Bytes digest;
    Bytes signature;
};

Vector validVector() {
    const Bytes uncompressed = fromHex(
        "042927b10512bae3eddcfe467828128bad2903269919f7086069c8c4df6c732838c7787964eaac00e5921fb149"
        "8a60f4606766b3d9685001558d1a974e7341513e");
    return {
        Bytes(uncompressed.begin() + 1, uncompressed.end()), sha256("123400"),
        fromHex("2ba3a8be6b94d5ec80a6d9d1190a436effe50d85a1eee859b8cc6af9bd5c2e184cd60b855d442f5b3"
                "c7b11eb6c4e0ae7525fe710fab9aa7c77a67f79e6fadd76")};
}

TEST(VerifyEcdsaP256, AcceptsOnlyTheSignedDigest) {
    const Vector v = validVector();
    std::string error = "untouched";
    ASSERT_TRUE(verifyEcdsaP256(v.publicKey, v.digest, v.signature, error));
    EXPECT_EQ(error, "untouched");

    Bytes flipped = v.digest;
    flipped[31] ^= 0x01;
    EXPECT_FALSE(verifyEcdsaP256(v.publicKey, flipped, v.signature, error));
    EXPECT_EQ(error, kNoMatch);

    Bytes swapped(v.signature.begin() + 32, v.signature.end());
    swapped.insert(swapped.end(), v.signature.begin(), v.signature.begin() + 32);
    error.clear();
    EXPECT_FALSE(verifyEcdsaP256(v.publicKey, v.digest, swapped, error));
    EXPECT_EQ(error, kNoMatch);

    error.clear();
    EXPECT_FALSE(verifyEcdsaP256(v.publicKey, Bytes(), v.signature, error));
    EXPECT_EQ(error, kNoMatch);
}

TEST(VerifyEcdsaP256, RefusesWrongShapesWithTheirSentences) {
    const Vector v = validVector();
    // r and s as DER, the other common encoding: not 64 bytes.
    Bytes der = {0x30, 0x44, 0x02, 0x20};
    der.insert(der.end(), v.signature.begin(), v.signature.begin() + 32);
    der.insert(der.end(), {0x02, 0x20});
    der.insert(der.end(), v.signature.begin() + 32, v.signature.end());

    struct Case {
        const char* why;
        Bytes publicKey;
        Bytes signature;
        const char* error;
    };
    const Case kCases[] = {
        {"63-byte signature", v.publicKey, Bytes(v.signature.begin(), v.signature.end() - 1),
         "The signature is not a P-256 signature."},
        {"65-byte signature", v.publicKey,
         [&] {
             Bytes b = v.signature;
             b.push_back(0);
             return b;
         }(),
         "The signature is not a P-256 signature."},
        {"DER signature", v.publicKey, der, "The signature is not a P-256 signature."},
        // The signature is checked first: a bad key with a bad signature
        // reports the signature.
        {"both wrong", Bytes(63, 1), Bytes(10, 0), "The signature is not a P-256 signature."},
        {"63-byte key", Bytes(v.publicKey.begin(), v.publicKey.end() - 1), v.signature,
         "A P-256 public key must be 64 bytes."},
        {"65-byte key with prefix",
         [&] {
             Bytes b{0x04};
             b.insert(b.end(), v.publicKey.begin(), v.publicKey.end());
             return b;
         }(),
         v.signature, "A P-256 public key must be 64 bytes."},
        {"zero r and s", v.publicKey, Bytes(64, 0), kNoMatch},
    };
    for (const Case& c : kCases) {
        std::string error;
        EXPECT_FALSE(verifyEcdsaP256(c.publicKey, v.digest, c.signature, error)) << c.why;
        EXPECT_EQ(error, c.error) << c.why;
    }
}

TEST(VerifyEcdsaP256, RefusesAKeyOffTheCurve) {
    const Vector v = validVector();
    Bytes offCurve = v.publicKey;
    offCurve[63] ^= 0x01;  // Y no longer fits X
    std::string error;
    EXPECT_FALSE(verifyEcdsaP256(offCurve, v.digest, v.signature, error));
    // The platform refuses such a key at import or at verification.
    EXPECT_TRUE(error == kNoMatch ||
                error.starts_with("Windows cryptography failed in the public key (0x"))
        << error;
}

#ifdef _WIN32
TEST(Cng, KeyBlobLayout) {
    Bytes xy(64);
    for (std::size_t i = 0; i < xy.size(); ++i) {
        xy[i] = static_cast<std::uint8_t>(i);
    }
    const Bytes blob = eccKeyBlob(BCRYPT_ECDSA_PUBLIC_P256_MAGIC, xy);
    ASSERT_EQ(blob.size(), 72u);
    EXPECT_EQ(std::string(blob.begin(), blob.begin() + 4), "ECS1");
    EXPECT_EQ(toHex(Bytes(blob.begin() + 4, blob.begin() + 8)), "20000000");
    EXPECT_EQ(Bytes(blob.begin() + 8, blob.end()), xy);
}

TEST(Cng, UnknownAlgorithmGivesThePlatformFailureSentence) {
    CngAlgorithm algorithm;
    std::string error;
    EXPECT_FALSE(openAlgorithm(L"NO_SUCH_ALGORITHM", 0, algorithm, "SHA-256", error));
    EXPECT_FALSE(algorithm);
    const std::string prefix = "Windows cryptography failed in SHA-256 (0x";
    ASSERT_EQ(error.size(), prefix.size() + 10) << error;
    EXPECT_EQ(error.substr(0, prefix.size()), prefix);
    EXPECT_EQ(error.substr(error.size() - 2), ").");
    const std::string digits = error.substr(prefix.size(), 8);
    EXPECT_EQ(digits.find_first_not_of("0123456789ABCDEF"), std::string::npos) << error;
}
#else
// The import that both the backend and the release tool use: only a 64-byte
// point on the curve becomes a key, and no other length is ever copied.
TEST(OpenSsl, ImportsOnlyA64BytePointOnTheCurve) {
    const Vector v = validVector();
    Bytes offCurve = v.publicKey;
    offCurve[63] ^= 0x01;
    Bytes longer = v.publicKey;
    longer.push_back(0x00);
    Bytes uncompressed = {0x04};  // the 65-byte form with its prefix byte
    uncompressed.insert(uncompressed.end(), v.publicKey.begin(), v.publicKey.end());
    struct Case {
        const char* why;
        Bytes key;
        bool imported;
    };
    const Case kCases[] = {
        {"Wycheproof's key", v.publicKey, true},
        {"off the curve", offCurve, false},
        {"empty", {}, false},
        {"63 bytes", Bytes(v.publicKey.begin(), v.publicKey.end() - 1), false},
        {"65 bytes", longer, false},
        {"with the prefix byte", uncompressed, false},
        {"all zero", Bytes(64, 0), false},
    };
    for (const Case& c : kCases) {
        EXPECT_EQ(importP256PublicKey(c.key) != nullptr, c.imported) << c.why;
        ERR_clear_error();
    }
}
#endif

}  // namespace
}  // namespace orva
