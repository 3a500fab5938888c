#pragma once

// What the native build's OpenSSL backend offers beyond signing/crypto.h, for
// native code that works with OpenSSL's own key objects (the release tool):
// one import of a raw public key, so that the tool and the backend refuse
// exactly the same keys. Native build only.

#include "common/bytes.h"
#include "signing/openssl_owners.h"

namespace orva {

// A P-256 public key from its 64 raw bytes (X then Y, big-endian, no prefix
// byte). Null when |publicKey| is not 64 bytes long or OpenSSL refuses the
// point, for example one that is not on the curve; OpenSSL's error queue then
// holds its reason, for the caller to report or clear.
EvpPkey importP256PublicKey(const Bytes& publicKey);

}  // namespace orva
