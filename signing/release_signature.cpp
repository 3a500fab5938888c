#include "signing/release_signature.h"

#include "signing/crypto.h"
#include "signing/encoding.h"

namespace orva {

std::string signedPayload(const ReleaseInfo& release) {
    std::string payload = kSignedPayloadHeader;
    payload += release.version;
    payload += '\n';
    payload += release.date;
    payload += '\n';
    payload += std::to_string(release.size);
    payload += '\n';
    payload += release.sha256;
    payload += '\n';
    payload += toHex(sha256(release.notes));
    payload += '\n';
    return payload;
}

bool verifyRelease(const ReleaseInfo& release, std::string& error) {
    return verifyReleaseWithKey(release, kReleasePublicKey, error);
}

bool verifyReleaseWithKey(const ReleaseInfo& release, const Bytes& publicKey, std::string& error) {
    return ReleaseVerifier(publicKey).verify(release, error);
}

ReleaseVerifier::ReleaseVerifier(const Bytes& publicKey) {
    std::string cause;  // a key the platform refuses verifies nothing; see verify()
    keyImported_ = key_.setKey(publicKey, cause);
}

bool ReleaseVerifier::verify(const ReleaseInfo& release, std::string& error) const {
    Bytes signatureBytes;
    if (!decodeBase64(release.signature, signatureBytes) ||
        signatureBytes.size() != kP256SignatureBytes) {
        error = "the release's signature is not one";
        return false;
    }
    const Bytes digest = sha256(signedPayload(release));
    std::string cause;  // replaced by one sentence for every cause
    if (!keyImported_ || !key_.verify(digest, signatureBytes, cause)) {
        error = "the release was not signed by Orva's maker";
        return false;
    }
    return true;
}

}  // namespace orva
