#pragma once

// Windows only: one small owner per Win32 resource kind (closed exactly once,
// movable, not copyable), a COM interface holder, and the one check of an
// HRESULT that turns a failure into EPagelet.

#include <windows.h>

#include <cstdio>
#include <memory>
#include <string>
#include <utility>

#include "common/Error.h"
#include "common/Win32Text.h"

namespace pagelet {

// Holds one handle; a closer with a static Empty(h) decides itself which
// values hold nothing, otherwise only the zero value does.
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
    explicit operator bool() const { return !IsEmpty(h_); }
    THandle Release() { return std::exchange(h_, THandle{}); }
    void Reset(THandle h = THandle{}) {
        if (!IsEmpty(h_)) TCloser{}(h_);
        h_ = h;
    }

private:
    static bool IsEmpty(THandle h) {
        if constexpr (requires { TCloser::Empty(h); })
            return TCloser::Empty(h);
        else
            return h == THandle{};
    }

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
struct TMemoryDcCloser {
    void operator()(HDC h) const { DeleteDC(h); }
};
struct TGlobalCloser {
    void operator()(HGLOBAL h) const { GlobalFree(h); }
};
struct TModuleCloser {
    void operator()(HMODULE h) const { FreeLibrary(h); }
};
// Kernel calls answer failure with 0 (CreateEvent, OpenProcess...) or with
// INVALID_HANDLE_VALUE (CreateFile...): neither is closed.
struct TKernelCloser {
    static bool Empty(HANDLE h) { return h == nullptr || h == INVALID_HANDLE_VALUE; }
    void operator()(HANDLE h) const { CloseHandle(h); }
};

using TMenuHandle = TOwnedHandle<HMENU, TMenuCloser>;
using TGdiObject = TOwnedHandle<HGDIOBJ, TGdiCloser>;
using TWindowHandle = TOwnedHandle<HWND, TWindowCloser>;
using TModuleHandle = TOwnedHandle<HMODULE, TModuleCloser>;
using TMemoryDC = TOwnedHandle<HDC, TMemoryDcCloser>;  // CreateCompatibleDC
using TKernelHandle = TOwnedHandle<HANDLE, TKernelCloser>;
using TGlobalMemory = TOwnedHandle<HGLOBAL, TGlobalCloser>;  // GlobalAlloc

// A device context of a window, released on scope exit: the whole window's
// (GetWindowDC) or its client area's (GetDC; a null window is the screen).
class TWindowDC {
public:
    enum TArea { WholeWindow, ClientArea };
    explicit TWindowDC(HWND wnd, TArea area = WholeWindow)
        : wnd_(wnd), dc_(area == WholeWindow ? GetWindowDC(wnd) : GetDC(wnd)) {}
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

// Holds one COM interface reference and releases it.
template <typename T>
class TComPtr {
public:
    TComPtr() = default;
    // Takes over a reference the caller owns.
    explicit TComPtr(T* p) : ptr_(p) {}
    ~TComPtr() { Reset(); }
    TComPtr(const TComPtr&) = delete;
    TComPtr& operator=(const TComPtr&) = delete;
    TComPtr(TComPtr&& other) noexcept : ptr_(std::exchange(other.ptr_, nullptr)) {}
    TComPtr& operator=(TComPtr&& other) noexcept {
        if (this != &other) {
            Reset();
            ptr_ = std::exchange(other.ptr_, nullptr);
        }
        return *this;
    }

    T* Get() const { return ptr_; }
    T* operator->() const { return ptr_; }
    explicit operator bool() const { return ptr_ != nullptr; }
    // The slot for a call that hands out a reference; what was held goes first.
    T** Out() {
        Reset();
        return &ptr_;
    }
    T* Detach() { return std::exchange(ptr_, nullptr); }
    void Reset() {
        if (ptr_ != nullptr) std::exchange(ptr_, nullptr)->Release();
    }

private:
    T* ptr_ = nullptr;
};

// The system's text for an HRESULT without its trailing white space,
// control characters and full stops; "OLE error %.8x" when there is none.
inline std::u16string HResultMessage(HRESULT hr) {
    wchar_t* buffer = nullptr;
    const DWORD length =
        FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_ALLOCATE_BUFFER,
                       nullptr, static_cast<DWORD>(hr), 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    struct TLocalFree {
        void operator()(wchar_t* p) const noexcept { LocalFree(p); }
    };
    const std::unique_ptr<wchar_t, TLocalFree> owner(buffer);
    std::u16string text = length != 0 && buffer != nullptr ? FromW(buffer, length) : std::u16string();
    while (!text.empty() && (text.back() <= u' ' || text.back() == u'.')) text.pop_back();
    if (!text.empty()) return text;
    char ascii[32];
    std::snprintf(ascii, sizeof(ascii), "OLE error %.8lx", static_cast<unsigned long>(static_cast<DWORD>(hr)));
    return std::u16string(ascii, ascii + std::char_traits<char>::length(ascii));
}

// Throws EPagelet with the HRESULT's text and code when hr is a failure.
inline void ThrowIfFailed(HRESULT hr) {
    if (FAILED(hr)) throw EPagelet(HResultMessage(hr), static_cast<int32_t>(hr));
}

}  // namespace pagelet
