#pragma once

// The CNG pieces behind signing/crypto.h, exposed for the Windows build's
// tests. Nothing outside signing/ uses them.

#include <windows.h>
// windows.h must come first.
#include <bcrypt.h>

#include <cstdint>
#include <string>
#include <string_view>

#include "common/bytes.h"

namespace orva {

// Sole owner of one CNG handle, released by |Release| when the owner ends.
template <typename Handle, void (*Release)(Handle)>
class CngHandle {
  public:
    CngHandle() = default;
    ~CngHandle() { reset(); }
    CngHandle(const CngHandle&) = delete;
    CngHandle& operator=(const CngHandle&) = delete;
    CngHandle(CngHandle&& other) noexcept : handle_(other.handle_) { other.handle_ = nullptr; }
    CngHandle& operator=(CngHandle&& other) noexcept {
        if (this != &other) {
            reset();
            handle_ = other.handle_;
            other.handle_ = nullptr;
        }
        return *this;
    }

    // Borrowed: the caller must not release it.
    Handle get() const { return handle_; }
    // Releases the current handle and hands out the slot for an out-parameter.
    Handle* put() {
        reset();
        return &handle_;
    }
    explicit operator bool() const { return handle_ != nullptr; }

    void reset() {
        if (handle_ != nullptr) {
            Release(handle_);
            handle_ = nullptr;
        }
    }

  private:
    Handle handle_ = nullptr;
};

inline void closeAlgorithmProvider(BCRYPT_ALG_HANDLE handle) {
    BCryptCloseAlgorithmProvider(handle, 0);
}
inline void destroyKey(BCRYPT_KEY_HANDLE handle) {
    BCryptDestroyKey(handle);
}
inline void destroyHash(BCRYPT_HASH_HANDLE handle) {
    BCryptDestroyHash(handle);
}

using CngAlgorithm = CngHandle<BCRYPT_ALG_HANDLE, closeAlgorithmProvider>;
using CngKey = CngHandle<BCRYPT_KEY_HANDLE, destroyKey>;
using CngHash = CngHandle<BCRYPT_HASH_HANDLE, destroyHash>;

// Opens the provider of |algorithmId| into |algorithm|. On failure |error| is
// the platform-failure sentence naming |displayName|.
bool openAlgorithm(const wchar_t* algorithmId, std::uint32_t flags, CngAlgorithm& algorithm,
                   std::string_view displayName, std::string& error);

// Appends |value| least significant byte first.
void appendUint32Le(Bytes& bytes, std::uint32_t value);

// The public key blob CNG imports: magic, coordinate length (32), then X and Y.
Bytes eccKeyBlob(std::uint32_t magic, const Bytes& xy);

// Imports a 64-byte P-256 public key. On success |algorithm| and |key| stay
// open for the caller, whose owners release the key first.
bool importP256PublicKey(const Bytes& publicKey, CngAlgorithm& algorithm, CngKey& key,
                         std::string& error);

}  // namespace orva
