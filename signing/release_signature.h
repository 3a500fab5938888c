#pragma once

// The signed record of a release: the exact text the maker signs, and its
// check against the maker's public key built into the program.

#include <string>

#include "common/bytes.h"
#include "common/release_info.h"
#include "signing/crypto.h"

namespace orva {

// The maker's ECDSA P-256 public key: X then Y, 32 bytes each, big-endian.
// Set at build time from ORVA_RELEASE_PUBLIC_KEY (see signing/CMakeLists.txt).
extern const Bytes kReleasePublicKey;

// The built program carries its key once more as a record in its data: this
// tag, then the 64 key bytes, so that "orva-release verify --program" can
// check a list with the very key a built program has. The tag stands nowhere
// else in the program.
inline constexpr char kReleaseKeyTag[] = "orva-release-key/1:";
inline constexpr std::size_t kReleaseKeyTagBytes = sizeof kReleaseKeyTag - 1;

// The first line of every signed text, with its line feed.
inline constexpr const char* kSignedPayloadHeader = "orva-update-v1\n";

// The text a release's signature covers, six lines each ended by one line
// feed: the header, version, date, size in decimal, sha256 as listed, and the
// lowercase hexadecimal SHA-256 of the notes. The notes are thus signed
// without appearing in the text. Cannot fail: if the notes cannot be hashed
// the last line is empty, which no signature matches.
std::string signedPayload(const ReleaseInfo& release);

// Checks |release| against kReleasePublicKey. See verifyReleaseWithKey.
bool verifyRelease(const ReleaseInfo& release, std::string& error);

// True when the release's signature is a valid ECDSA P-256 signature of the
// SHA-256 of its signed text under |publicKey|; |error| is then untouched.
// Otherwise |error| is "the release's signature is not one" (not base64, or
// not 64 bytes) or "the release was not signed by Orva's maker" (anything
// else, including a failure of the platform's cryptography).
bool verifyReleaseWithKey(const ReleaseInfo& release, const Bytes& publicKey, std::string& error);

// verifyReleaseWithKey for many releases against one key, which is imported
// once when the verifier is made: a hostile list of thousands of entries
// then costs one import, not one per entry.
class ReleaseVerifier {
  public:
    explicit ReleaseVerifier(const Bytes& publicKey);
    // The same answer and |error| as verifyReleaseWithKey with the key.
    bool verify(const ReleaseInfo& release, std::string& error) const;

  private:
    EcdsaP256Verifier key_;
    bool keyImported_ = false;
};

}  // namespace orva
