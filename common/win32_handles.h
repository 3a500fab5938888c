#pragma once

// The owners of the kernel's handles that more than one folder closes.
// Windows only; see common/unique_handle.h for the pattern.

#include <windows.h>

#include "common/unique_handle.h"

namespace orva {

// A handle from CreateFileW, whose empty value is INVALID_HANDLE_VALUE (not null).
struct FileHandleTraits {
    using Handle = HANDLE;
    static Handle invalid() noexcept { return INVALID_HANDLE_VALUE; }
    static void close(Handle handle) noexcept { CloseHandle(handle); }
};
using FileHandle = UniqueHandle<FileHandleTraits>;

// A directory search from FindFirstFileW, ended with FindClose.
struct FindHandleTraits {
    using Handle = HANDLE;
    static Handle invalid() noexcept { return INVALID_HANDLE_VALUE; }
    static void close(Handle handle) noexcept { FindClose(handle); }
};
using FindHandle = UniqueHandle<FindHandleTraits>;

// Any other kernel handle closed with CloseHandle whose empty value is null:
// an event, a thread, an access token.
struct KernelHandleTraits {
    using Handle = HANDLE;
    static Handle invalid() noexcept { return nullptr; }
    static void close(Handle handle) noexcept { CloseHandle(handle); }
};
using KernelHandle = UniqueHandle<KernelHandleTraits>;

// Memory from LocalAlloc, as FormatMessageW hands out with
// FORMAT_MESSAGE_ALLOCATE_BUFFER.
struct LocalTextTraits {
    using Handle = wchar_t*;
    static Handle invalid() noexcept { return nullptr; }
    static void close(Handle text) noexcept { LocalFree(text); }
};
using LocalText = UniqueHandle<LocalTextTraits>;

// Any other memory from LocalAlloc, such as the security descriptors the
// SDDL and security-information functions hand out.
struct LocalMemoryTraits {
    using Handle = void*;
    static Handle invalid() noexcept { return nullptr; }
    static void close(Handle memory) noexcept { LocalFree(memory); }
};
using LocalMemory = UniqueHandle<LocalMemoryTraits>;

// A GDI object made for one use (a pen, a brush), deleted with DeleteObject.
// It must no longer be selected into a device context when its owner ends.
struct GdiObjectTraits {
    using Handle = HGDIOBJ;
    static Handle invalid() noexcept { return nullptr; }
    static void close(Handle object) noexcept { DeleteObject(object); }
};
using GdiObject = UniqueHandle<GdiObjectTraits>;

}  // namespace orva
