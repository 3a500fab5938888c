#include "signing/crypto.h"
#include "signing/crypto_backend.h"

namespace orva {

std::string cryptoFailure(std::string_view displayName, std::uint32_t status) {
    // Formatted by hand rather than with snprintf, whose implementation costs
    // the Windows executable tens of kilobytes.
    constexpr std::string_view kDigits = "0123456789ABCDEF";
    std::string sentence = "Windows cryptography failed in ";
    sentence += displayName;
    sentence += " (0x";
    for (int shift = 28; shift >= 0; shift -= 4) {
        sentence += kDigits[(status >> shift) & 0xF];
    }
    sentence += ").";
    // The same bound as a fixed buffer would set; no real name comes near it.
    if (sentence.size() >= kCryptoErrorBufferBytes) {
        sentence.resize(kCryptoErrorBufferBytes - 1);
    }
    return sentence;
}

Bytes sha256(std::string_view text) {
    Bytes digest;
    std::string error;  // dropped: callers see a failure as an empty digest
    computeSha256(text.data(), text.size(), digest, error);
    return digest;
}

bool verifyEcdsaP256(const Bytes& publicKey, const Bytes& digest, const Bytes& signatureBytes,
                     std::string& error) {
    // The signature's form is judged before the key, whatever the key.
    if (signatureBytes.size() != kP256SignatureBytes) {
        error = kNotAP256Signature;
        return false;
    }
    EcdsaP256Verifier verifier;
    return verifier.setKey(publicKey, error) && verifier.verify(digest, signatureBytes, error);
}

bool checkVerifyArguments(const Bytes& signatureBytes, bool haveKey, std::string& error) {
    if (signatureBytes.size() != kP256SignatureBytes) {
        error = kNotAP256Signature;
        return false;
    }
    if (!haveKey) {
        error = kNotAP256Key;
        return false;
    }
    return true;
}

// The same for both platforms: the first failure is kept and reported by
// finish(), and a finished stream is spent.
struct Sha256Stream::State {
    Sha256Engine engine;
    std::string error;  // the first failure, reported by finish()
    bool finished = false;
};

Sha256Stream::Sha256Stream() : state_(std::make_unique<State>()) {
    state_->error = state_->engine.start();
}

Sha256Stream::~Sha256Stream() = default;

bool Sha256Stream::update(const void* data, std::size_t length) {
    State& s = *state_;
    if (!s.error.empty() || s.finished) {
        return false;
    }
    s.error = s.engine.add(data, length);
    return s.error.empty();
}

bool Sha256Stream::finish(Bytes& out, std::string& error) {
    State& s = *state_;
    out.clear();
    if (s.finished) {
        error = kSha256StreamFinished;
        return false;
    }
    s.finished = true;
    if (s.error.empty()) {
        s.error = s.engine.finish(out);
        if (s.error.empty()) {
            return true;
        }
        out.clear();
    }
    error = s.error;
    return false;
}

}  // namespace orva
