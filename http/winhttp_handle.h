#pragma once

// Owner of one WinHTTP handle (session, connection or request). Windows only.

#include <windows.h>
#include <winhttp.h>

#include <utility>

namespace orva {

// Closes its handle with WinHttpCloseHandle when it is destroyed, unless the
// handle is null. Not copyable; a move leaves the source empty.
class WinHttpHandle {
  public:
    WinHttpHandle() noexcept = default;
    explicit WinHttpHandle(HINTERNET handle) noexcept : handle_(handle) {}
    WinHttpHandle(const WinHttpHandle&) = delete;
    WinHttpHandle& operator=(const WinHttpHandle&) = delete;
    WinHttpHandle(WinHttpHandle&& other) noexcept
        : handle_(std::exchange(other.handle_, nullptr)) {}
    WinHttpHandle& operator=(WinHttpHandle&& other) noexcept {
        if (this != &other) {
            reset(std::exchange(other.handle_, nullptr));
        }
        return *this;
    }
    ~WinHttpHandle() { reset(); }

    // The handle, still owned by this object: the caller must not close it.
    HINTERNET get() const noexcept { return handle_; }
    explicit operator bool() const noexcept { return handle_ != nullptr; }

    // Closes the current handle, if any, and takes |handle|.
    void reset(HINTERNET handle = nullptr) noexcept {
        if (handle_ != nullptr) {
            WinHttpCloseHandle(handle_);
        }
        handle_ = handle;
    }

  private:
    HINTERNET handle_ = nullptr;
};

}  // namespace orva
