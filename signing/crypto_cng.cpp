#include "signing/crypto_cng.h"

#include <climits>

#include "signing/crypto.h"
#include "signing/crypto_backend.h"

namespace orva {
namespace {

constexpr std::uint32_t kP256CoordinateBytes = 32;
constexpr std::size_t kSha256Bytes = 32;

// CNG takes 32-bit lengths; longer input is hashed in pieces of this size.
constexpr std::size_t kMaxHashPiece = 1u << 30;

bool failed(NTSTATUS status) {
    return status < 0;
}

std::uint32_t statusBits(NTSTATUS status) {
    return static_cast<std::uint32_t>(status);
}

}  // namespace

bool openAlgorithm(const wchar_t* algorithmId, std::uint32_t flags, CngAlgorithm& algorithm,
                   std::string_view displayName, std::string& error) {
    const NTSTATUS status =
        BCryptOpenAlgorithmProvider(algorithm.put(), algorithmId, nullptr, flags);
    if (failed(status)) {
        algorithm.reset();
        error = cryptoFailure(displayName, statusBits(status));
        return false;
    }
    return true;
}

void appendUint32Le(Bytes& bytes, std::uint32_t value) {
    for (int shift = 0; shift < 32; shift += 8) {
        bytes.push_back(static_cast<std::uint8_t>((value >> shift) & 0xFF));
    }
}

Bytes eccKeyBlob(std::uint32_t magic, const Bytes& xy) {
    Bytes blob;
    blob.reserve(8 + xy.size());
    appendUint32Le(blob, magic);
    appendUint32Le(blob, kP256CoordinateBytes);
    blob.insert(blob.end(), xy.begin(), xy.end());
    return blob;
}

bool importP256PublicKey(const Bytes& publicKey, CngAlgorithm& algorithm, CngKey& key,
                         std::string& error) {
    if (publicKey.size() != kP256PublicKeyBytes) {
        error = kNotAP256Key;
        return false;
    }
    if (!openAlgorithm(BCRYPT_ECDSA_P256_ALGORITHM, 0, algorithm, "ECDSA P-256", error)) {
        return false;
    }
    Bytes blob = eccKeyBlob(BCRYPT_ECDSA_PUBLIC_P256_MAGIC, publicKey);
    const NTSTATUS status =
        BCryptImportKeyPair(algorithm.get(), nullptr, BCRYPT_ECCPUBLIC_BLOB, key.put(), blob.data(),
                            static_cast<ULONG>(blob.size()), 0);
    if (failed(status)) {
        key.reset();
        error = cryptoFailure("the public key", statusBits(status));
        return false;
    }
    return true;
}

bool computeSha256(const void* data, std::size_t length, Bytes& out, std::string& error) {
    out.clear();
    if (length > kMaxHashPiece) {
        // Beyond what one call takes: the same digest through the stream.
        Sha256Stream stream;
        stream.update(data, length);
        return stream.finish(out, error);
    }
    CngAlgorithm provider;
    if (!openAlgorithm(BCRYPT_SHA256_ALGORITHM, 0, provider, "SHA-256", error)) {
        return false;
    }
    out.assign(kSha256Bytes, 0);
    // CNG does not write through the input pointer; its prototype lacks const.
    auto* input = static_cast<PUCHAR>(const_cast<void*>(data));
    const NTSTATUS status = BCryptHash(provider.get(), nullptr, 0, input,
                                       static_cast<ULONG>(length), out.data(), kSha256Bytes);
    if (failed(status)) {
        error = cryptoFailure("SHA-256", statusBits(status));
        out.clear();
        return false;
    }
    return true;
}

struct EcdsaP256Verifier::State {
    CngAlgorithm algorithm;
    CngKey key;  // declared after its provider, so destroyed before it
};

EcdsaP256Verifier::EcdsaP256Verifier() : state_(std::make_unique<State>()) {}
EcdsaP256Verifier::~EcdsaP256Verifier() = default;

bool EcdsaP256Verifier::setKey(const Bytes& publicKey, std::string& error) {
    state_->key.reset();
    return importP256PublicKey(publicKey, state_->algorithm, state_->key, error);
}

bool EcdsaP256Verifier::verify(const Bytes& digest, const Bytes& signatureBytes,
                               std::string& error) const {
    if (!checkVerifyArguments(signatureBytes, static_cast<bool>(state_->key), error)) {
        return false;
    }
    // CNG takes the buffers as writable; it does not write them.
    Bytes digestCopy = digest;
    Bytes signatureCopy = signatureBytes;
    const NTSTATUS status = BCryptVerifySignature(
        state_->key.get(), nullptr, digestCopy.empty() ? nullptr : digestCopy.data(),
        static_cast<ULONG>(digestCopy.size()), signatureCopy.data(),
        static_cast<ULONG>(signatureCopy.size()), 0);
    if (failed(status)) {
        error = kSignatureMismatch;
        return false;
    }
    return true;
}

struct Sha256Engine::Handles {
    CngAlgorithm provider;
    CngHash hash;  // declared after its provider, so destroyed before it
};

Sha256Engine::Sha256Engine() : handles_(std::make_unique<Handles>()) {}
Sha256Engine::~Sha256Engine() = default;

std::string Sha256Engine::start() {
    std::string error;
    if (!openAlgorithm(BCRYPT_SHA256_ALGORITHM, 0, handles_->provider, "SHA-256", error)) {
        return error;
    }
    // No object buffer: CNG allocates and frees the hash state itself.
    const NTSTATUS status =
        BCryptCreateHash(handles_->provider.get(), handles_->hash.put(), nullptr, 0, nullptr, 0, 0);
    if (failed(status)) {
        handles_->hash.reset();
        return cryptoFailure("SHA-256", statusBits(status));
    }
    return {};
}

std::string Sha256Engine::add(const void* data, std::size_t length) {
    auto* bytes = static_cast<PUCHAR>(const_cast<void*>(data));
    while (length > 0) {
        const std::size_t piece = length < kMaxHashPiece ? length : kMaxHashPiece;
        const NTSTATUS status =
            BCryptHashData(handles_->hash.get(), bytes, static_cast<ULONG>(piece), 0);
        if (failed(status)) {
            return cryptoFailure("SHA-256", statusBits(status));
        }
        bytes += piece;
        length -= piece;
    }
    return {};
}

std::string Sha256Engine::finish(Bytes& out) {
    out.assign(kSha256Bytes, 0);
    const NTSTATUS status = BCryptFinishHash(handles_->hash.get(), out.data(), kSha256Bytes, 0);
    return failed(status) ? cryptoFailure("SHA-256", statusBits(status)) : std::string();
}

}  // namespace orva
