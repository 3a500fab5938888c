#pragma once

// The maker's side of release signing: the ECDSA P-256 private key on disk,
// its public half in the form the program is built with, and signatures in
// the form the program checks (r then s, 32 bytes each). OpenSSL 3.

#include <memory>
#include <string>
#include <string_view>

#include "common/bytes.h"

typedef struct evp_pkey_st EVP_PKEY;

namespace orva {

struct EvpPkeyFree {
    void operator()(EVP_PKEY* key) const;
};

// An owned private key; empty until loaded.
using SigningKey = std::unique_ptr<EVP_PKEY, EvpPkeyFree>;

// Makes a new P-256 private key and writes it to |path| in PEM form (PKCS #8,
// unencrypted) with mode 0600. Never replaces an existing file: fails when
// |path| exists. |publicKey| receives the 64-byte public key. On failure
// |error| says why, and no file is left at |path|.
bool generateSigningKey(const std::string& path, Bytes& publicKey, std::string& error);

// Reads an unencrypted P-256 private key in PEM form (PKCS #8 or the
// traditional EC form) from |path|. Never asks for a passphrase.
bool loadSigningKey(const std::string& path, SigningKey& key, std::string& error);

// The 64-byte public key of |key|: X then Y, big-endian.
bool publicKeyOf(const SigningKey& key, Bytes& publicKey, std::string& error);

// The 32-byte SHA-256 |digest| signed with |key|, as r then s (64 bytes).
bool signDigest(const SigningKey& key, const Bytes& digest, Bytes& signature, std::string& error);

// A public key written as 128 hexadecimal digits (either case, surrounding
// blanks ignored), refused unless it is a point of P-256.
bool parsePublicKeyHex(std::string_view hex, Bytes& publicKey, std::string& error);

}  // namespace orva
