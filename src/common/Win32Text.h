#pragma once

// Windows only: passes UTF-16 strings to Win32 calls (wchar_t is 16 bits there).
#include <string>

namespace pagelet {

inline const wchar_t* WStr(const std::u16string& s) { return reinterpret_cast<const wchar_t*>(s.c_str()); }
inline wchar_t* WBuf(std::u16string& s) { return reinterpret_cast<wchar_t*>(s.data()); }
inline std::u16string FromW(const wchar_t* s) {
    return s ? std::u16string(reinterpret_cast<const char16_t*>(s)) : std::u16string();
}
inline std::u16string FromW(const wchar_t* s, size_t n) {
    return std::u16string(reinterpret_cast<const char16_t*>(s), n);
}

}  // namespace pagelet
