#pragma once
// Owning wrappers for the Win32 handles the installer opens, so that no early return leaks one.
#include <windows.h>
#include <wrl/client.h>

#include <utility>

namespace kav {

// A movable, non-copyable owner of one handle value. Traits give the empty value and the close call.
template <typename Traits>
class UniqueResource {
public:
    using Value = typename Traits::Value;

    UniqueResource() noexcept = default;
    explicit UniqueResource(Value value) noexcept : value_(value) {}
    ~UniqueResource() { Reset(); }

    UniqueResource(const UniqueResource&) = delete;
    UniqueResource& operator=(const UniqueResource&) = delete;
    UniqueResource(UniqueResource&& other) noexcept : value_(other.Release()) {}
    UniqueResource& operator=(UniqueResource&& other) noexcept {
        if (this != &other) Reset(other.Release());
        return *this;
    }

    Value Get() const noexcept { return value_; }
    bool IsValid() const noexcept { return Traits::IsValid(value_); }
    explicit operator bool() const noexcept { return IsValid(); }

    // Address for an out-parameter; closes what is held first.
    Value* Put() noexcept {
        Reset();
        return &value_;
    }

    Value Release() noexcept { return std::exchange(value_, Traits::Empty()); }

    void Reset(Value value = Traits::Empty()) noexcept {
        if (Traits::IsValid(value_)) Traits::Close(value_);
        value_ = value;
    }

private:
    Value value_ = Traits::Empty();
};

// Kernel handles. Both null and INVALID_HANDLE_VALUE count as empty, since APIs use either.
struct KernelHandleTraits {
    using Value = HANDLE;
    static Value Empty() noexcept { return nullptr; }
    static bool IsValid(Value v) noexcept { return v != nullptr && v != INVALID_HANDLE_VALUE; }
    static void Close(Value v) noexcept { ::CloseHandle(v); }
};
using UniqueHandle = UniqueResource<KernelHandleTraits>;

struct RegKeyTraits {
    using Value = HKEY;
    static Value Empty() noexcept { return nullptr; }
    static bool IsValid(Value v) noexcept { return v != nullptr; }
    static void Close(Value v) noexcept { ::RegCloseKey(v); }
};
using UniqueRegKey = UniqueResource<RegKeyTraits>;

template <typename Object>
struct GdiObjectTraits {
    using Value = Object;
    static Value Empty() noexcept { return nullptr; }
    static bool IsValid(Value v) noexcept { return v != nullptr; }
    static void Close(Value v) noexcept { ::DeleteObject(v); }
};
using UniqueBrush = UniqueResource<GdiObjectTraits<HBRUSH>>;
using UniquePen = UniqueResource<GdiObjectTraits<HPEN>>;
using UniqueFont = UniqueResource<GdiObjectTraits<HFONT>>;
using UniqueBitmap = UniqueResource<GdiObjectTraits<HBITMAP>>;

// A memory device context from CreateCompatibleDC.
struct MemoryDcTraits {
    using Value = HDC;
    static Value Empty() noexcept { return nullptr; }
    static bool IsValid(Value v) noexcept { return v != nullptr; }
    static void Close(Value v) noexcept { ::DeleteDC(v); }
};
using UniqueMemoryDc = UniqueResource<MemoryDcTraits>;

struct FindHandleTraits {
    using Value = HANDLE;
    static Value Empty() noexcept { return INVALID_HANDLE_VALUE; }
    static bool IsValid(Value v) noexcept { return v != INVALID_HANDLE_VALUE && v != nullptr; }
    static void Close(Value v) noexcept { ::FindClose(v); }
};
using UniqueFindHandle = UniqueResource<FindHandleTraits>;

struct LibraryTraits {
    using Value = HMODULE;
    static Value Empty() noexcept { return nullptr; }
    static bool IsValid(Value v) noexcept { return v != nullptr; }
    static void Close(Value v) noexcept { ::FreeLibrary(v); }
};
using UniqueLibrary = UniqueResource<LibraryTraits>;

struct LocalMemoryTraits {
    using Value = HLOCAL;
    static Value Empty() noexcept { return nullptr; }
    static bool IsValid(Value v) noexcept { return v != nullptr; }
    static void Close(Value v) noexcept { ::LocalFree(v); }
};
using UniqueLocalMemory = UniqueResource<LocalMemoryTraits>;

// Memory that an API hands over to be released with GlobalFree (WinHTTP's proxy strings).
struct GlobalMemoryTraits {
    using Value = HGLOBAL;
    static Value Empty() noexcept { return nullptr; }
    static bool IsValid(Value v) noexcept { return v != nullptr; }
    static void Close(Value v) noexcept { ::GlobalFree(v); }
};
using UniqueGlobalMemory = UniqueResource<GlobalMemoryTraits>;

// Restores the object that was selected into a device context before.
class ScopedSelectObject {
public:
    ScopedSelectObject(HDC dc, HGDIOBJ object) noexcept : dc_(dc), previous_(::SelectObject(dc, object)) {}
    ~ScopedSelectObject() {
        if (previous_ != nullptr && previous_ != HGDI_ERROR) ::SelectObject(dc_, previous_);
    }
    ScopedSelectObject(const ScopedSelectObject&) = delete;
    ScopedSelectObject& operator=(const ScopedSelectObject&) = delete;

private:
    HDC dc_;
    HGDIOBJ previous_;
};

template <typename Interface>
using ComPtr = Microsoft::WRL::ComPtr<Interface>;

}  // namespace kav
