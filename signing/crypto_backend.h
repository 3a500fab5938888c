#pragma once

// What the two platforms' cryptography (crypto_cng.cpp, crypto_openssl.cpp)
// shares with crypto_common.cpp, which holds what is the same for both. Used
// inside signing/ only.

#include <cstddef>
#include <memory>
#include <string>

#include "common/bytes.h"

namespace orva {

// The checks EcdsaP256Verifier::verify makes before the platform is asked:
// a 64-byte signature (else kNotAP256Signature) and an imported key (else
// kNotAP256Key). False with |error| set otherwise.
bool checkVerifyArguments(const Bytes& signatureBytes, bool haveKey, std::string& error);

// The platform's part of Sha256Stream: one hash object of CNG or OpenSSL.
// Sha256Stream keeps the rest (the first failure, a spent stream) once for
// both. Each call returns an empty text on success and the platform-failure
// sentence otherwise.
class Sha256Engine {
  public:
    Sha256Engine();
    ~Sha256Engine();
    Sha256Engine(const Sha256Engine&) = delete;
    Sha256Engine& operator=(const Sha256Engine&) = delete;

    // Makes the hash object; called once, before anything else.
    std::string start();
    // Adds |length| bytes at |data|.
    std::string add(const void* data, std::size_t length);
    // The 32-byte digest of everything added, into |out|.
    std::string finish(Bytes& out);

  private:
    struct Handles;
    std::unique_ptr<Handles> handles_;
};

}  // namespace orva
