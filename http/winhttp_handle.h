#pragma once

// Owner of one WinHTTP handle (session, connection or request). Windows only;
// see common/unique_handle.h for the pattern.

#include <windows.h>
#include <winhttp.h>

#include <type_traits>

#include "common/unique_handle.h"

namespace orva {

// A session, connection or request handle; null is empty.
struct WinHttpTraits {
    using Handle = HINTERNET;
    static Handle invalid() noexcept { return nullptr; }
    static void close(Handle handle) noexcept { WinHttpCloseHandle(handle); }
};
using WinHttpHandle = UniqueHandle<WinHttpTraits>;

static_assert(std::is_nothrow_move_constructible_v<WinHttpHandle>);
static_assert(std::is_nothrow_move_assignable_v<WinHttpHandle>);
static_assert(!std::is_copy_constructible_v<WinHttpHandle>);
static_assert(!std::is_copy_assignable_v<WinHttpHandle>);

}  // namespace orva
