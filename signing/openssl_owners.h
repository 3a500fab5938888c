#pragma once

// Owners for OpenSSL objects, for the native build's code that uses
// libcrypto (the cryptography backend and the release tool): each frees its
// object with the matching OpenSSL function when it ends.

#include <openssl/bio.h>
#include <openssl/bn.h>
#include <openssl/crypto.h>
#include <openssl/ec.h>
#include <openssl/evp.h>

#include <memory>

namespace orva {

template <typename T, void (*Free)(T*)>
struct OpenSslDeleter {
    void operator()(T* p) const { Free(p); }
};

inline void freeOpenSslBytes(unsigned char* p) {
    OPENSSL_free(p);
}

using Bio = std::unique_ptr<BIO, OpenSslDeleter<BIO, BIO_free_all>>;
using BigNum = std::unique_ptr<BIGNUM, OpenSslDeleter<BIGNUM, BN_free>>;
using EcdsaSig = std::unique_ptr<ECDSA_SIG, OpenSslDeleter<ECDSA_SIG, ECDSA_SIG_free>>;
using EvpMdCtx = std::unique_ptr<EVP_MD_CTX, OpenSslDeleter<EVP_MD_CTX, EVP_MD_CTX_free>>;
using EvpPkey = std::unique_ptr<EVP_PKEY, OpenSslDeleter<EVP_PKEY, EVP_PKEY_free>>;
using EvpPkeyCtx = std::unique_ptr<EVP_PKEY_CTX, OpenSslDeleter<EVP_PKEY_CTX, EVP_PKEY_CTX_free>>;
// Bytes that OpenSSL allocated for the caller (such as a DER encoding).
using OpenSslBytes =
    std::unique_ptr<unsigned char, OpenSslDeleter<unsigned char, freeOpenSslBytes>>;

}  // namespace orva
