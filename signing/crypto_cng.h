#pragma once

// The CNG pieces behind signing/crypto.h, exposed for the Windows build's
// tests. Nothing outside signing/ uses them.

#include <windows.h>
// windows.h must come first.
#include <bcrypt.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <type_traits>

#include "common/bytes.h"
#include "common/unique_handle.h"

namespace orva {

// The owners of CNG handles; see common/unique_handle.h for the pattern. Each
// handle kind has its own release function, and null is empty for all three.
struct CngAlgorithmTraits {
    using Handle = BCRYPT_ALG_HANDLE;
    static Handle invalid() noexcept { return nullptr; }
    static void close(Handle handle) noexcept { BCryptCloseAlgorithmProvider(handle, 0); }
};
struct CngKeyTraits {
    using Handle = BCRYPT_KEY_HANDLE;
    static Handle invalid() noexcept { return nullptr; }
    static void close(Handle handle) noexcept { BCryptDestroyKey(handle); }
};
struct CngHashTraits {
    using Handle = BCRYPT_HASH_HANDLE;
    static Handle invalid() noexcept { return nullptr; }
    static void close(Handle handle) noexcept { BCryptDestroyHash(handle); }
};

using CngAlgorithm = UniqueHandle<CngAlgorithmTraits>;
using CngKey = UniqueHandle<CngKeyTraits>;
using CngHash = UniqueHandle<CngHashTraits>;

static_assert(std::is_nothrow_move_constructible_v<CngAlgorithm>);
static_assert(std::is_nothrow_move_assignable_v<CngAlgorithm>);
static_assert(!std::is_copy_constructible_v<CngAlgorithm>);
static_assert(!std::is_copy_assignable_v<CngAlgorithm>);
static_assert(std::is_nothrow_move_constructible_v<CngKey>);
static_assert(std::is_nothrow_move_assignable_v<CngKey>);
static_assert(!std::is_copy_constructible_v<CngKey>);
static_assert(!std::is_copy_assignable_v<CngKey>);
static_assert(std::is_nothrow_move_constructible_v<CngHash>);
static_assert(std::is_nothrow_move_assignable_v<CngHash>);
static_assert(!std::is_copy_constructible_v<CngHash>);
static_assert(!std::is_copy_assignable_v<CngHash>);

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
