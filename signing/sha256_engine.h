#pragma once

// The platform's part of Sha256Stream (signing/crypto.h): one hash object of
// CNG (crypto_cng.cpp) or OpenSSL (crypto_openssl.cpp). Sha256Stream, in
// crypto_common.cpp, keeps the rest (the first failure, a spent stream) once
// for both. Each call returns an empty text on success and the
// platform-failure sentence otherwise. Used inside signing/ only.

#include <cstddef>
#include <memory>
#include <string>

#include "common/bytes.h"

namespace orva {

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
