// One owner template for every kind of handle: the invalid value and the way
// to close are a policy, so that a handle opened in a function is closed on
// every path by its owner.
#pragma once

#include <windows.h>
#include <shlobj.h>

namespace sys {

template <typename Policy>
class Unique {
public:
    using Type = typename Policy::Type;

    Unique() = default;
    explicit Unique(Type value)
        : value_(value)
    {
    }
    ~Unique() { Reset(); }
    Unique(const Unique&) = delete;
    Unique& operator=(const Unique&) = delete;
    Unique(Unique&& other) noexcept
        : value_(other.Release())
    {
    }
    Unique& operator=(Unique&& other) noexcept
    {
        if (this != &other)
            Reset(other.Release());
        return *this;
    }

    Type Get() const { return value_; }
    explicit operator bool() const { return value_ != Policy::Invalid(); }
    // For out-parameters: closes what is held and hands out the slot.
    Type* Put()
    {
        Reset();
        return &value_;
    }
    Type Release()
    {
        Type v = value_;
        value_ = Policy::Invalid();
        return v;
    }
    // Closes what is held; returns the close's own result (true when nothing was held).
    bool Reset(Type value = Policy::Invalid())
    {
        bool ok = true;
        if (value_ != Policy::Invalid())
            ok = Policy::Close(value_);
        value_ = value;
        return ok;
    }

private:
    Type value_ = Policy::Invalid();
};

struct FilePolicy {
    using Type = HANDLE;
    static Type Invalid() { return INVALID_HANDLE_VALUE; }
    static bool Close(Type h) { return CloseHandle(h) != 0; }
};
// Process, thread and event handles, for which null is the invalid value.
struct KernelPolicy {
    using Type = HANDLE;
    static Type Invalid() { return nullptr; }
    static bool Close(Type h) { return CloseHandle(h) != 0; }
};
struct FindPolicy {
    using Type = HANDLE;
    static Type Invalid() { return INVALID_HANDLE_VALUE; }
    static bool Close(Type h) { return FindClose(h) != 0; }
};
struct RegKeyPolicy {
    using Type = HKEY;
    static Type Invalid() { return nullptr; }
    static bool Close(Type h) { return RegCloseKey(h) == ERROR_SUCCESS; }
};
struct ModulePolicy {
    using Type = HMODULE;
    static Type Invalid() { return nullptr; }
    static bool Close(Type h) { return FreeLibrary(h) != 0; }
};
struct GdiPolicy {
    using Type = HGDIOBJ;
    static Type Invalid() { return nullptr; }
    static bool Close(Type h) { return DeleteObject(h) != 0; }
};
struct IconPolicy {
    using Type = HICON;
    static Type Invalid() { return nullptr; }
    static bool Close(Type h) { return DestroyIcon(h) != 0; }
};
// Memory the system allocated with LocalAlloc for the caller (CommandLineToArgvW,
// FormatMessage, security descriptors).
struct LocalPolicy {
    using Type = HLOCAL;
    static Type Invalid() { return nullptr; }
    static bool Close(Type h) { return LocalFree(h) == nullptr; }
};
struct IdListPolicy {
    using Type = LPITEMIDLIST;
    static Type Invalid() { return nullptr; }
    static bool Close(Type h)
    {
        CoTaskMemFree(h);
        return true;
    }
};
template <typename Interface>
struct ComPolicy {
    using Type = Interface*;
    static Type Invalid() { return nullptr; }
    static bool Close(Type p)
    {
        p->Release();
        return true;
    }
};

using UniqueFile = Unique<FilePolicy>;
using UniqueFind = Unique<FindPolicy>;
using UniqueHandle = Unique<KernelPolicy>;
using UniqueKey = Unique<RegKeyPolicy>;
using UniqueModule = Unique<ModulePolicy>;
using UniqueGdi = Unique<GdiPolicy>;
using UniqueIcon = Unique<IconPolicy>;
using UniqueLocal = Unique<LocalPolicy>;
using UniqueIdList = Unique<IdListPolicy>;
template <typename Interface>
using UniqueCom = Unique<ComPolicy<Interface>>;

// A window's device context from GetDC, released to the same window.
class WindowDc {
public:
    explicit WindowDc(HWND window)
        : window_(window)
        , dc_(GetDC(window))
    {
    }
    ~WindowDc()
    {
        if (dc_ != nullptr)
            (void)ReleaseDC(window_, dc_);
    }
    WindowDc(const WindowDc&) = delete;
    WindowDc& operator=(const WindowDc&) = delete;

    HDC Get() const { return dc_; }
    explicit operator bool() const { return dc_ != nullptr; }

private:
    HWND window_;
    HDC dc_;
};

} // namespace sys
