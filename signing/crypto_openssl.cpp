// The native build's cryptography: OpenSSL's libcrypto in place of CNG, with
// the same inputs, outputs and sentences. The number in a platform-failure
// sentence is OpenSSL's error code.
#include "signing/crypto_openssl.h"

#include <openssl/bn.h>
#include <openssl/core_names.h>
#include <openssl/ec.h>
#include <openssl/err.h>
#include <openssl/evp.h>

#include <array>
#include <memory>

#include "signing/crypto.h"
#include "signing/crypto_backend.h"
#include "signing/openssl_owners.h"

namespace orva {
namespace {

constexpr std::size_t kSha256Bytes = 32;
constexpr std::size_t kP256ScalarBytes = 32;

// The oldest error OpenSSL queued for this thread, as a 32-bit status; the
// queue is cleared so that it cannot leak into a later sentence.
std::uint32_t takeOpenSslError() {
    const unsigned long code = ERR_get_error();
    ERR_clear_error();
    return static_cast<std::uint32_t>(code == 0 ? 0xFFFFFFFFul : code & 0xFFFFFFFFul);
}

// OpenSSL checks DER signatures; r||s is re-encoded, r and s read as
// unsigned big-endian integers.
bool p1363ToDer(const Bytes& signatureBytes, OpenSslBytes& der, int& derLength) {
    EcdsaSig sig(ECDSA_SIG_new());
    if (!sig) {
        return false;
    }
    BIGNUM* r = BN_bin2bn(signatureBytes.data(), kP256ScalarBytes, nullptr);
    BIGNUM* s = BN_bin2bn(signatureBytes.data() + kP256ScalarBytes, kP256ScalarBytes, nullptr);
    if (r == nullptr || s == nullptr || ECDSA_SIG_set0(sig.get(), r, s) != 1) {
        BN_free(r);
        BN_free(s);
        return false;
    }
    unsigned char* out = nullptr;
    derLength = i2d_ECDSA_SIG(sig.get(), &out);
    der.reset(out);
    return derLength > 0;
}

}  // namespace

EvpPkey importP256PublicKey(const Bytes& publicKey) {
    if (publicKey.size() != kP256PublicKeyBytes) {
        return nullptr;  // the copy below takes exactly 64 bytes
    }
    std::array<unsigned char, 1 + kP256PublicKeyBytes> point{};
    point[0] = 0x04;  // uncompressed form
    std::copy(publicKey.begin(), publicKey.end(), point.begin() + 1);
    char group[] = "prime256v1";
    const OSSL_PARAM params[] = {
        OSSL_PARAM_construct_utf8_string(OSSL_PKEY_PARAM_GROUP_NAME, group, 0),
        OSSL_PARAM_construct_octet_string(OSSL_PKEY_PARAM_PUB_KEY, point.data(), point.size()),
        OSSL_PARAM_construct_end(),
    };
    EvpPkeyCtx ctx(EVP_PKEY_CTX_new_from_name(nullptr, "EC", nullptr));
    EVP_PKEY* key = nullptr;
    if (!ctx || EVP_PKEY_fromdata_init(ctx.get()) != 1 ||
        EVP_PKEY_fromdata(ctx.get(), &key, EVP_PKEY_PUBLIC_KEY, const_cast<OSSL_PARAM*>(params)) !=
            1) {
        EVP_PKEY_free(key);
        return nullptr;
    }
    return EvpPkey(key);
}

bool computeSha256(const void* data, std::size_t length, Bytes& out, std::string& error) {
    out.assign(kSha256Bytes, 0);
    unsigned int written = 0;
    static const unsigned char kNothing = 0;
    if (EVP_Digest(length == 0 ? &kNothing : data, length, out.data(), &written, EVP_sha256(),
                   nullptr) != 1 ||
        written != kSha256Bytes) {
        out.clear();
        error = cryptoFailure("SHA-256", takeOpenSslError());
        return false;
    }
    return true;
}

struct EcdsaP256Verifier::State {
    EvpPkey key;
};

EcdsaP256Verifier::EcdsaP256Verifier() : state_(std::make_unique<State>()) {}
EcdsaP256Verifier::~EcdsaP256Verifier() = default;

bool EcdsaP256Verifier::setKey(const Bytes& publicKey, std::string& error) {
    state_->key.reset();
    if (publicKey.size() != kP256PublicKeyBytes) {
        error = kNotAP256Key;
        return false;
    }
    state_->key = importP256PublicKey(publicKey);
    if (!state_->key) {
        error = cryptoFailure("the public key", takeOpenSslError());
        return false;
    }
    return true;
}

bool EcdsaP256Verifier::verify(const Bytes& digest, const Bytes& signatureBytes,
                               std::string& error) const {
    if (!checkVerifyArguments(signatureBytes, static_cast<bool>(state_->key), error)) {
        return false;
    }
    // An empty digest only follows a failed hash; OpenSSL would check it as
    // the number zero, so it is refused here.
    OpenSslBytes der;
    int derLength = 0;
    if (digest.empty() || !p1363ToDer(signatureBytes, der, derLength)) {
        ERR_clear_error();
        error = kSignatureMismatch;
        return false;
    }
    EvpPkeyCtx ctx(EVP_PKEY_CTX_new(state_->key.get(), nullptr));
    if (!ctx || EVP_PKEY_verify_init(ctx.get()) != 1) {
        error = cryptoFailure("ECDSA P-256", takeOpenSslError());
        return false;
    }
    const int result = EVP_PKEY_verify(ctx.get(), der.get(), static_cast<std::size_t>(derLength),
                                       digest.data(), digest.size());
    ERR_clear_error();
    if (result != 1) {
        error = kSignatureMismatch;
        return false;
    }
    return true;
}

struct Sha256Engine::Handles {
    EvpMdCtx ctx;
};

Sha256Engine::Sha256Engine() : handles_(std::make_unique<Handles>()) {}
Sha256Engine::~Sha256Engine() = default;

std::string Sha256Engine::start() {
    handles_->ctx.reset(EVP_MD_CTX_new());
    if (!handles_->ctx || EVP_DigestInit_ex(handles_->ctx.get(), EVP_sha256(), nullptr) != 1) {
        return cryptoFailure("SHA-256", takeOpenSslError());
    }
    return {};
}

std::string Sha256Engine::add(const void* data, std::size_t length) {
    if (length > 0 && EVP_DigestUpdate(handles_->ctx.get(), data, length) != 1) {
        return cryptoFailure("SHA-256", takeOpenSslError());
    }
    return {};
}

std::string Sha256Engine::finish(Bytes& out) {
    out.assign(kSha256Bytes, 0);
    unsigned int written = 0;
    if (EVP_DigestFinal_ex(handles_->ctx.get(), out.data(), &written) == 1 &&
        written == kSha256Bytes) {
        return {};
    }
    return cryptoFailure("SHA-256", takeOpenSslError());
}

}  // namespace orva
