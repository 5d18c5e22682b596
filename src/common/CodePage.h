#pragma once

// Platform seam: 8-bit text decoding.
// Windows: MultiByteToWideChar, GetCPInfo, GetACP (CodePage_win.cpp).
// Linux: iconv with a table from Windows code-page numbers to iconv names;
// the system's ANSI code page follows the locale's language
// (CodePage_posix.cpp).

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace pagelet {

// The system's ANSI code page (GetACP). Linux: that of a Windows system
// locale of the language the environment names (LC_ALL, else LC_CTYPE, else
// LANG; installed or not), read once: 1251 for Russian, 1250 for Polish, 932
// for Japanese, ...; 1252 for any other language and for C and POSIX.
uint32_t SystemAnsiCodePage();

#ifndef _WIN32
// The ANSI code page for a locale name ("ru_RU.UTF-8", "zh_TW", "C", ...).
uint32_t AnsiCodePageOfLocale(std::string_view locale);
// The one of the first of the three values that is set and not empty (1252
// when none is).
uint32_t AnsiCodePageOfEnvironment(const char* lcAll, const char* lcCtype, const char* lang);
#endif

// True when the platform can convert from the code page (GetCPInfo succeeds).
bool IsKnownCodePage(uint32_t codePage);

// True when the code page maps each byte to one UTF-16 code unit by itself,
// so that text may be decoded in pieces cut anywhere.
bool IsSingleByteCodePage(uint32_t codePage);

// Decodes bytes with the platform's conversion for a known code page, as
// MultiByteToWideChar does with no flags; with strict set, as with
// MB_ERR_INVALID_CHARS: nullopt when the bytes hold an invalid sequence.
// Throws EPagelet("Invalid code page") for a code page the platform lacks.
std::optional<std::u16string> PlatformDecode(uint32_t codePage, const uint8_t* data, size_t size, bool strict);

// Each byte's UTF-16 code unit in a code page that gives one unit per byte
// by itself (IsSingleByteCodePage; never UTF-16, UTF-7 or UTF-8), decoded
// once by the platform and kept for the life of the process (the pointer
// stays valid; any thread may ask); nullptr for any other code page. 0 is
// the system's ANSI code page.
using TSingleByteTable = std::array<char16_t, 256>;
const TSingleByteTable* SingleByteTable(uint32_t codePage);

// Text in the system's ANSI code page (file names and strings the host
// hands over as char) to UTF-16, as MultiByteToWideChar(CP_ACP) does.
inline std::u16string AnsiToUtf16(std::string_view text) {
    if (text.empty()) return {};
    return PlatformDecode(SystemAnsiCodePage(), reinterpret_cast<const uint8_t*>(text.data()), text.size(), false)
        .value_or(std::u16string());
}
inline std::u16string AnsiToUtf16(const char* text) {
    return text != nullptr ? AnsiToUtf16(std::string_view(text)) : std::u16string();
}

}  // namespace pagelet
