#pragma once

// One small owner per Win32 resource kind: closed exactly once, movable, not copyable.

#include <windows.h>

#include <utility>

namespace pagelet {

template <typename THandle, typename TCloser>
class TOwnedHandle {
public:
    TOwnedHandle() = default;
    explicit TOwnedHandle(THandle h) : h_(h) {}
    ~TOwnedHandle() { Reset(); }
    TOwnedHandle(const TOwnedHandle&) = delete;
    TOwnedHandle& operator=(const TOwnedHandle&) = delete;
    TOwnedHandle(TOwnedHandle&& other) noexcept : h_(std::exchange(other.h_, THandle{})) {}
    TOwnedHandle& operator=(TOwnedHandle&& other) noexcept {
        if (this != &other) Reset(std::exchange(other.h_, THandle{}));
        return *this;
    }

    THandle Get() const { return h_; }
    explicit operator bool() const { return h_ != THandle{}; }
    THandle Release() { return std::exchange(h_, THandle{}); }
    void Reset(THandle h = THandle{}) {
        if (h_ != THandle{}) TCloser{}(h_);
        h_ = h;
    }

private:
    THandle h_{};
};

struct TMenuCloser {
    void operator()(HMENU h) const { DestroyMenu(h); }
};
struct TGdiCloser {
    void operator()(HGDIOBJ h) const { DeleteObject(h); }
};
struct TWindowCloser {
    void operator()(HWND h) const { DestroyWindow(h); }
};
struct TModuleCloser {
    void operator()(HMODULE h) const { FreeLibrary(h); }
};
struct TKernelCloser {
    void operator()(HANDLE h) const { CloseHandle(h); }
};

using TMenuHandle = TOwnedHandle<HMENU, TMenuCloser>;
using TGdiObject = TOwnedHandle<HGDIOBJ, TGdiCloser>;
using TWindowHandle = TOwnedHandle<HWND, TWindowCloser>;
using TModuleHandle = TOwnedHandle<HMODULE, TModuleCloser>;
using TKernelHandle = TOwnedHandle<HANDLE, TKernelCloser>;

// A window DC, released on scope exit.
class TWindowDC {
public:
    explicit TWindowDC(HWND wnd) : wnd_(wnd), dc_(GetWindowDC(wnd)) {}
    ~TWindowDC() {
        if (dc_) ReleaseDC(wnd_, dc_);
    }
    TWindowDC(const TWindowDC&) = delete;
    TWindowDC& operator=(const TWindowDC&) = delete;
    HDC Get() const { return dc_; }

private:
    HWND wnd_;
    HDC dc_;
};

}  // namespace pagelet
