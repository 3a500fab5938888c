#include "tools/release/signing_key.h"

#include <openssl/bio.h>
#include <openssl/bn.h>
#include <openssl/core_names.h>
#include <openssl/ec.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/pem.h>

#include <cstring>

#include "signing/crypto_openssl.h"
#include "signing/encoding.h"
#include "signing/openssl_owners.h"
#include "tools/release/file_io.h"

namespace orva {
namespace {

constexpr std::size_t kCoordinateBytes = 32;
constexpr std::size_t kPublicKeyBytes = 64;
constexpr std::size_t kDigestBytes = 32;

// OpenSSL's reason for the last failure, for the end of a sentence; the
// queue is emptied so that it cannot leak into a later sentence.
std::string openSslReason() {
    const unsigned long code = ERR_peek_last_error();
    ERR_clear_error();
    if (code == 0) {
        return "OpenSSL failed";
    }
    const char* reason = ERR_reason_error_string(code);
    return reason != nullptr ? reason : "OpenSSL failed";
}

// Refuses to ask for a passphrase: an encrypted key simply fails to load.
int noPassphrase(char*, int, int, void*) {
    return -1;
}

bool isP256(EVP_PKEY* key) {
    char group[64] = {};
    std::size_t length = 0;
    return EVP_PKEY_is_a(key, "EC") == 1 &&
           EVP_PKEY_get_utf8_string_param(key, OSSL_PKEY_PARAM_GROUP_NAME, group, sizeof group,
                                          &length) == 1 &&
           std::strcmp(group, "prime256v1") == 0;
}

}  // namespace

void EvpPkeyFree::operator()(EVP_PKEY* key) const {
    EVP_PKEY_free(key);
}

bool generateSigningKey(const std::string& path, Bytes& publicKey, std::string& error) {
    SigningKey key(EVP_PKEY_Q_keygen(nullptr, nullptr, "EC", "P-256"));
    if (!key) {
        error = "No P-256 key could be made: " + openSslReason() + ".";
        return false;
    }
    if (!publicKeyOf(key, publicKey, error)) {
        return false;
    }
    const Bio pem(BIO_new(BIO_s_mem()));
    if (!pem || PEM_write_bio_PrivateKey(pem.get(), key.get(), nullptr, nullptr, 0, nullptr,
                                         nullptr) != 1) {
        error = "The key could not be written as PEM: " + openSslReason() + ".";
        return false;
    }
    char* data = nullptr;
    const long length = BIO_get_mem_data(pem.get(), &data);
    if (length <= 0 || data == nullptr) {
        error = "The key could not be written as PEM: " + openSslReason() + ".";
        return false;
    }
    return writeNewFile(path, std::string_view(data, static_cast<std::size_t>(length)), 0600,
                        error);
}

bool loadSigningKey(const std::string& path, SigningKey& key, std::string& error) {
    // A PEM private key is a few hundred bytes; anything far larger is not one.
    FileText file;
    if (!readTextFile(path, 64 * 1024, file, error)) {
        return false;
    }
    if (!file.found) {
        error = path + " does not exist.";
        return false;
    }
    const Bio bio(BIO_new_mem_buf(file.text.data(), static_cast<int>(file.text.size())));
    EVP_PKEY* loaded = bio && !file.tooLarge
                           ? PEM_read_bio_PrivateKey(bio.get(), nullptr, noPassphrase, nullptr)
                           : nullptr;
    ERR_clear_error();
    key.reset(loaded);
    if (!key || !isP256(key.get())) {
        key.reset();
        error = path + " is not an unencrypted P-256 private key in PEM form.";
        return false;
    }
    return true;
}

bool publicKeyOf(const SigningKey& key, Bytes& publicKey, std::string& error) {
    BIGNUM* x = nullptr;
    BIGNUM* y = nullptr;
    const bool got = EVP_PKEY_get_bn_param(key.get(), OSSL_PKEY_PARAM_EC_PUB_X, &x) == 1 &&
                     EVP_PKEY_get_bn_param(key.get(), OSSL_PKEY_PARAM_EC_PUB_Y, &y) == 1;
    const BigNum ownedX(x);
    const BigNum ownedY(y);
    publicKey.assign(kPublicKeyBytes, 0);
    if (!got ||
        BN_bn2binpad(x, publicKey.data(), static_cast<int>(kCoordinateBytes)) !=
            static_cast<int>(kCoordinateBytes) ||
        BN_bn2binpad(y, publicKey.data() + kCoordinateBytes, static_cast<int>(kCoordinateBytes)) !=
            static_cast<int>(kCoordinateBytes)) {
        publicKey.clear();
        error = "The public key could not be taken from the private key: " + openSslReason() + ".";
        return false;
    }
    return true;
}

bool signDigest(const SigningKey& key, const Bytes& digest, Bytes& signature, std::string& error) {
    signature.clear();
    if (digest.size() != kDigestBytes) {
        error = "Only a 32-byte SHA-256 digest is signed.";
        return false;
    }
    const EvpPkeyCtx ctx(EVP_PKEY_CTX_new(key.get(), nullptr));
    std::size_t derLength = 0;
    if (!ctx || EVP_PKEY_sign_init(ctx.get()) != 1 ||
        EVP_PKEY_CTX_set_signature_md(ctx.get(), EVP_sha256()) != 1 ||
        EVP_PKEY_sign(ctx.get(), nullptr, &derLength, digest.data(), digest.size()) != 1) {
        error = "The release could not be signed: " + openSslReason() + ".";
        return false;
    }
    Bytes der(derLength);
    if (EVP_PKEY_sign(ctx.get(), der.data(), &derLength, digest.data(), digest.size()) != 1) {
        error = "The release could not be signed: " + openSslReason() + ".";
        return false;
    }
    // OpenSSL signs in DER; the program reads r and s as two 32-byte numbers.
    const unsigned char* cursor = der.data();
    const EcdsaSig sig(d2i_ECDSA_SIG(nullptr, &cursor, static_cast<long>(derLength)));
    const BIGNUM* r = nullptr;
    const BIGNUM* s = nullptr;
    if (sig) {
        ECDSA_SIG_get0(sig.get(), &r, &s);
    }
    Bytes rs(2 * kCoordinateBytes);
    if (!sig ||
        BN_bn2binpad(r, rs.data(), static_cast<int>(kCoordinateBytes)) !=
            static_cast<int>(kCoordinateBytes) ||
        BN_bn2binpad(s, rs.data() + kCoordinateBytes, static_cast<int>(kCoordinateBytes)) !=
            static_cast<int>(kCoordinateBytes)) {
        error = "The signature could not be read back: " + openSslReason() + ".";
        return false;
    }
    signature = std::move(rs);
    return true;
}

bool parsePublicKeyHex(std::string_view hex, Bytes& publicKey, std::string& error) {
    publicKey.clear();
    while (!hex.empty() && std::strchr(" \t\r\n", hex.front()) != nullptr) {
        hex.remove_prefix(1);
    }
    while (!hex.empty() && std::strchr(" \t\r\n", hex.back()) != nullptr) {
        hex.remove_suffix(1);
    }
    Bytes bytes;
    if (hex.size() != 2 * kPublicKeyBytes || !decodeHex(hex, bytes)) {
        error = "The public key must be 128 hexadecimal digits (X then Y), as keygen prints it.";
        return false;
    }
    // The backend's own import, so that the tool refuses exactly the keys
    // that the native build's verification refuses.
    const bool ok = importP256PublicKey(bytes) != nullptr;
    ERR_clear_error();
    if (!ok) {
        error = "The public key is not a point of the curve P-256.";
        return false;
    }
    publicKey = std::move(bytes);
    return true;
}

}  // namespace orva
