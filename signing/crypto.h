#pragma once

// SHA-256 and ECDSA P-256 signature verification: the only cryptography the
// program needs, and none of it involves a secret. The Windows build uses the
// system's CNG; the native build uses OpenSSL's libcrypto with the same
// inputs, outputs and sentences.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "common/bytes.h"

namespace orva {

// Size of the buffer in which the platform-failure sentence is formatted.
inline constexpr std::size_t kCryptoErrorBufferBytes = 128;

// "Windows cryptography failed in <displayName> (0x<status>)." with the status
// as 8 upper-case hexadecimal digits. On the native build the status is
// OpenSSL's error code.
std::string cryptoFailure(std::string_view displayName, std::uint32_t status);

// SHA-256 of |length| bytes at |data| (which may be null when |length| is 0)
// into |out|, 32 bytes. On failure returns false, |out| is empty and |error|
// holds the platform-failure sentence; |error| is only written on failure.
bool computeSha256(const void* data, std::size_t length, Bytes& out, std::string& error);

// SHA-256 of |text|: 32 bytes, or empty when the platform failed.
Bytes sha256(std::string_view text);

// True when |signatureBytes| (r then s, 32 bytes each, big-endian) is a valid
// ECDSA P-256 signature of |digest| under |publicKey| (X then Y, 32 bytes each,
// big-endian, no prefix byte). The digest is used as given, not hashed again.
// On false, |error| says why: the signature or key has the wrong length, the
// platform refused the key or failed, or the signature does not match.
bool verifyEcdsaP256(const Bytes& publicKey, const Bytes& digest, const Bytes& signatureBytes,
                     std::string& error);

// The sizes of a raw P-256 public key (X then Y) and signature (r then s).
inline constexpr std::size_t kP256PublicKeyBytes = 64;
inline constexpr std::size_t kP256SignatureBytes = 64;

// Why verifyEcdsaP256 and EcdsaP256Verifier refuse, apart from platform failures.
inline constexpr const char* kNotAP256Signature = "The signature is not a P-256 signature.";
inline constexpr const char* kNotAP256Key = "A P-256 public key must be 64 bytes.";
inline constexpr const char* kSignatureMismatch =
    "The signature does not match: this was not signed by Orva's license key.";

// A P-256 public key imported once, so that many signatures can be checked
// against it without importing the key for each: a list of releases may hold
// thousands. verifyEcdsaP256 is the same check with a key imported per call.
class EcdsaP256Verifier {
  public:
    EcdsaP256Verifier();
    ~EcdsaP256Verifier();
    EcdsaP256Verifier(const EcdsaP256Verifier&) = delete;
    EcdsaP256Verifier& operator=(const EcdsaP256Verifier&) = delete;

    // Imports |publicKey| (X then Y, 32 bytes each, big-endian). On false,
    // |error| says why, in verifyEcdsaP256's words, and verify() fails.
    bool setKey(const Bytes& publicKey, std::string& error);

    // verifyEcdsaP256 with the imported key; false without one.
    bool verify(const Bytes& digest, const Bytes& signatureBytes, std::string& error) const;

  private:
    struct State;
    std::unique_ptr<State> state_;
};

// What finish() says when called a second time.
inline constexpr const char* kSha256StreamFinished = "The SHA-256 digest was already taken.";

// SHA-256 over data given in pieces, for files too large to hold in memory:
// the digest equals that of computeSha256 over the pieces joined.
class Sha256Stream {
  public:
    Sha256Stream();
    ~Sha256Stream();
    Sha256Stream(const Sha256Stream&) = delete;
    Sha256Stream& operator=(const Sha256Stream&) = delete;

    // Adds |length| bytes. Returns false once the platform has failed; the
    // failure is then reported by finish().
    bool update(const void* data, std::size_t length);

    // Writes the 32-byte digest of everything added into |out| and returns
    // true; on failure |out| is empty and |error| holds the platform-failure
    // sentence. The stream is spent afterwards: a further call fails.
    bool finish(Bytes& out, std::string& error);

  private:
    struct State;
    std::unique_ptr<State> state_;
};

}  // namespace orva
