#include "HostText.h"

#include <cwchar>

namespace pagelet {

std::wstring FullPath(const std::wstring& path) {
    const DWORD size = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    if (size == 0) return path;
    std::wstring result(size, L'\0');
    const DWORD length = GetFullPathNameW(path.c_str(), size, result.data(), nullptr);
    if (length == 0 || length >= size) return path;
    result.resize(length);
    return result;
}

std::string ToAnsi(const std::wstring& text) {
    const int size = WideCharToMultiByte(CP_ACP, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
    if (size <= 0) return {};
    std::string result(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_ACP, 0, text.c_str(), -1, result.data(), size, nullptr, nullptr);
    result.resize(static_cast<size_t>(size - 1));
    return result;
}

std::wstring FromAnsi(const char* text) {
    const int size = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
    if (size <= 0) return {};
    std::wstring result(static_cast<size_t>(size), L'\0');
    MultiByteToWideChar(CP_ACP, 0, text, -1, result.data(), size);
    result.resize(static_cast<size_t>(size - 1));
    return result;
}

std::string AnsiPath(const std::wstring& path) {
    BOOL lossy = FALSE;
    WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, path.c_str(), -1, nullptr, 0, nullptr, &lossy);
    if (lossy) {
        const DWORD size = GetShortPathNameW(path.c_str(), nullptr, 0);
        if (size > 0) {
            std::wstring shortPath(size, L'\0');
            const DWORD length = GetShortPathNameW(path.c_str(), shortPath.data(), size);
            if (length > 0 && length < size) {
                shortPath.resize(length);
                return ToAnsi(shortPath);
            }
        }
    }
    return ToAnsi(path);
}

std::wstring ClassName(HWND window) {
    wchar_t name[64] = {};
    GetClassNameW(window, name, 64);
    return name;
}

std::wstring WindowText(HWND window) {
    const int length = GetWindowTextLengthW(window);
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    const int got = GetWindowTextW(window, text.data(), length + 1);
    text.resize(static_cast<size_t>(got > 0 ? got : 0));
    return text;
}

bool IsRichEdit(HWND window) { return _wcsnicmp(ClassName(window).c_str(), L"RichEdit", 8) == 0; }

}  // namespace pagelet
