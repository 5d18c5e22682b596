#pragma once

// Platform seam: 8-bit text decoding.
// Windows: MultiByteToWideChar, GetCPInfo, GetACP (CodePage_win.cpp).
// Linux: iconv with a table from Windows code-page numbers to iconv names;
// the system's ANSI code page is 1252 (CodePage_posix.cpp).

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace pagelet {

// The system's ANSI code page (GetACP).
uint32_t SystemAnsiCodePage();

// True when the platform can convert from the code page (GetCPInfo succeeds).
bool IsKnownCodePage(uint32_t codePage);

// Decodes bytes with the platform's conversion for a known code page, as
// MultiByteToWideChar does with no flags; with strict set, as with
// MB_ERR_INVALID_CHARS: nullopt when the bytes hold an invalid sequence.
// Throws EPagelet("Invalid code page") for a code page the platform lacks.
std::optional<std::u16string> PlatformDecode(uint32_t codePage, const uint8_t* data, size_t size, bool strict);

}  // namespace pagelet
