#pragma once

// One owner for every kind of platform handle the program closes. A kind is
// described by a small traits struct:
//
//   struct WinHttpTraits {
//       using Handle = HINTERNET;
//       static Handle invalid() noexcept { return nullptr; }
//       static void close(Handle handle) noexcept { WinHttpCloseHandle(handle); }
//   };
//   using WinHttpHandle = UniqueHandle<WinHttpTraits>;
//
// so that a reader learns the pattern once and every owner behaves alike:
// sole ownership, move only, nothing thrown, the handle closed when the owner
// ends. Portable: the traits bring the platform.

#include <type_traits>
#include <utility>

namespace orva {

template <typename Traits>
class UniqueHandle {
  public:
    using Handle = typename Traits::Handle;

    UniqueHandle() noexcept = default;
    explicit UniqueHandle(Handle handle) noexcept : handle_(handle) {}
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;
    UniqueHandle(UniqueHandle&& other) noexcept : handle_(other.release()) {}
    UniqueHandle& operator=(UniqueHandle&& other) noexcept {
        if (this != &other) {
            reset(other.release());
        }
        return *this;
    }
    ~UniqueHandle() { reset(); }

    // Borrowed: still owned by this object, so the caller must not close it.
    Handle get() const noexcept { return handle_; }

    // Closes the current handle and hands out the empty slot, for a function
    // that returns a new handle through an out-parameter.
    Handle* put() noexcept {
        reset();
        return &handle_;
    }

    // Gives up ownership: the caller closes the returned handle.
    Handle release() noexcept { return std::exchange(handle_, Traits::invalid()); }

    // Closes the current handle, if any, and takes |handle|.
    void reset(Handle handle = Traits::invalid()) noexcept {
        const Handle previous = std::exchange(handle_, handle);
        if (previous != Traits::invalid()) {
            Traits::close(previous);
        }
    }

    explicit operator bool() const noexcept { return handle_ != Traits::invalid(); }

  private:
    Handle handle_ = Traits::invalid();
};

}  // namespace orva
