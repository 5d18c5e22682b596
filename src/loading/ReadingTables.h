#pragma once

// Tables of the reading layout: code pages of font charsets and of
// languages, symbol fonts to Unicode, list number formats.

#include <cstdint>
#include <string>
#include <string_view>

namespace pagelet::reading {

// The Windows code page of a font charset; 0 when the charset names none
// (ANSI, default, symbol, OEM and the rest).
uint32_t CodePageOfCharset(uint8_t charset);

// The Windows ANSI code page of a language id; 0 when unknown or none.
uint32_t CodePageOfLanguage(uint16_t lid);

// What a character of a symbol font shows as: the Unicode character of
// Symbol and Wingdings where one exists; 0 when none (or not such a font).
enum class TSymbolFont { None, Symbol, Wingdings, OtherSymbol };
TSymbolFont SymbolFontOf(std::u16string_view name, uint8_t charset);
char16_t SymbolToUnicode(TSymbolFont font, char16_t ch);

// A number in a list or note number format (nfc).
std::u16string FormatNumber(int32_t value, uint8_t nfc);

}  // namespace pagelet::reading
