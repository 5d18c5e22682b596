#pragma once

// Text files' bytes: their byte order mark, whether they are valid UTF-8,
// and their decoding. Shared by the readers of web pages and plain text.
// Internal to loading/.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace pagelet {

// Code pages the readers name besides the platform's 8-bit ones.
inline constexpr uint32_t kCodePageUtf16LE = 1200, kCodePageUtf16BE = 1201, kCodePageUtf8 = 65001;

// The encoding a byte order mark at the start of bytes names (kCodePageUtf8,
// kCodePageUtf16LE or kCodePageUtf16BE) and its length; 0 and 0 for none.
struct TByteOrderMark {
    uint32_t codePage = 0;
    size_t size = 0;
};
TByteOrderMark ByteOrderMarkOf(std::span<const uint8_t> bytes);

// Whether bytes are UTF-8 as the standard allows it (no overlong forms, no
// surrogates, nothing past U+10FFFF). A sequence cut by the end counts as
// valid when allowCutEnd is set (the bytes are a file's first part).
bool IsValidUtf8(std::span<const uint8_t> bytes, bool allowCutEnd = false);

// bytes in the code page: UTF-8 and UTF-16 by the project's own decoders,
// others by the platform's (throws "Invalid code page" for one it lacks).
std::u16string DecodeText(std::span<const uint8_t> bytes, uint32_t codePage);

// The code page of a charset name as web pages and mail name it
// ("utf-8", "windows-1251", "Shift_JIS", "koi8-r"...), the Latin-1 names
// read as 1252 as browsers read them; 0 for a name not known or a code page
// the platform lacks.
uint32_t CodePageOfCharset(std::string_view name);

// ASCII letters to lower case.
inline char AsciiLower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; }
inline char16_t AsciiLower(char16_t c) { return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c + 32) : c; }

}  // namespace pagelet
