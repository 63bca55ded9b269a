#pragma once

#include <windows.h>
#include <objbase.h>

#include <utility>

#include "base/LiveObjects.h"

namespace ravolen {

// Owns one handle and closes it exactly once. `Traits` names the invalid value and the closer.
template <typename Traits>
class UniqueHandle {
public:
    using Handle = typename Traits::Handle;

    UniqueHandle() = default;
    explicit UniqueHandle(Handle handle) : handle_(handle) { counted(handle_, true); }
    ~UniqueHandle() { reset(); }

    UniqueHandle(UniqueHandle&& other) noexcept
        : handle_(std::exchange(other.handle_, Traits::invalid())) {}
    UniqueHandle& operator=(UniqueHandle&& other) noexcept {
        if (this != &other) {
            reset();
            handle_ = std::exchange(other.handle_, Traits::invalid());
        }
        return *this;
    }
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;

    Handle get() const { return handle_; }
    Handle operator->() const { return handle_; }  // for interface pointers
    explicit operator bool() const { return handle_ != Traits::invalid(); }

    // Hands the handle to a new owner, which closes it.
    Handle release() {
        counted(handle_, false);
        return std::exchange(handle_, Traits::invalid());
    }
    // For a function that hands out a new handle through a pointer: the old one is closed first.
    // Not for counted objects, whose making would go unseen.
    Handle* put() {
        static_assert(!Counted, "a counted object's making would go unseen");
        reset();
        return &handle_;
    }
    void reset(Handle handle = Traits::invalid()) {
        if (handle_ != Traits::invalid()) {
            Traits::close(handle_);
            counted(handle_, false);
        }
        handle_ = handle;
        counted(handle_, true);
    }

private:
    static constexpr bool Counted = requires { Traits::Live; };

    static void counted(Handle handle, bool made) {
        if constexpr (Counted) {
            if (handle == Traits::invalid()) return;
            if (made) {
                LiveObjects::Made(Traits::Live);
            } else {
                LiveObjects::Released(Traits::Live);
            }
        }
    }

    Handle handle_ = Traits::invalid();
};

struct KernelHandleTraits {  // processes, threads, events
    using Handle = HANDLE;
    static Handle invalid() { return nullptr; }
    static void close(Handle h) { ::CloseHandle(h); }
};

struct FileHandleTraits {  // CreateFile reports failure as INVALID_HANDLE_VALUE, not null
    using Handle = HANDLE;
    static Handle invalid() { return INVALID_HANDLE_VALUE; }
    static void close(Handle h) { ::CloseHandle(h); }
};

template <typename T>
constexpr LiveKind GdiKind = LiveKind::Bitmap;
template <>
inline constexpr LiveKind GdiKind<HFONT> = LiveKind::Font;
template <>
inline constexpr LiveKind GdiKind<HBRUSH> = LiveKind::Brush;

template <typename T>
struct GdiObjectTraits {  // counted in LiveObjects while owned
    using Handle = T;
    static constexpr LiveKind Live = GdiKind<T>;
    static Handle invalid() { return nullptr; }
    static void close(Handle h) { ::DeleteObject(h); }
};

struct AcceleratorTraits {
    using Handle = HACCEL;
    static Handle invalid() { return nullptr; }
    static void close(Handle h) { ::DestroyAcceleratorTable(h); }
};

template <typename T>
struct ComTraits {  // a COM interface pointer, released once
    using Handle = T*;
    static Handle invalid() { return nullptr; }
    static void close(Handle h) { h->Release(); }
};

struct CoTaskMemTraits {  // memory the shell hands out: strings, item ID lists
    using Handle = void*;
    static Handle invalid() { return nullptr; }
    static void close(Handle h) { ::CoTaskMemFree(h); }
};

using KernelHandle = UniqueHandle<KernelHandleTraits>;
template <typename T>
using ComPtr = UniqueHandle<ComTraits<T>>;
using CoTaskMem = UniqueHandle<CoTaskMemTraits>;
using FileHandle = UniqueHandle<FileHandleTraits>;
using FontHandle = UniqueHandle<GdiObjectTraits<HFONT>>;
using BrushHandle = UniqueHandle<GdiObjectTraits<HBRUSH>>;
using BitmapHandle = UniqueHandle<GdiObjectTraits<HBITMAP>>;

}  // namespace ravolen
