#pragma once

// The text forms of settings values: every reader and writer of a setting
// goes through these.

#include <cstdint>
#include <string>
#include <string_view>

namespace pagelet {

// Boolean text: a number is true when not zero ("-1", "1", "2", "0.0"),
// else True/False in any case; anything else gives the fallback.
bool ReadBoolText(std::u16string_view text, bool fallback);
// "-1" for true, "0" for false.
std::u16string BoolText(bool value);

// Integer text: leading blanks, a sign, then decimal digits within the signed
// 32-bit range or a hexadecimal number ("$", "x", "X", "0x", "0X") of at most
// eight digits taken as a 32-bit pattern; nothing after. Else the fallback.
int32_t ReadIntText(std::u16string_view text, int32_t fallback);
// Signed decimal.
std::u16string IntText(int32_t value);

// Font styles: an 8-bit set.
using TFontStyles = uint8_t;
inline constexpr TFontStyles fsBold = 1;
inline constexpr TFontStyles fsItalic = 2;
inline constexpr TFontStyles fsUnderline = 4;
inline constexpr TFontStyles fsStrikeOut = 8;

// Takes the next comma-separated field off the front of s (the field and its
// comma are removed; without a comma the field is all of s and s becomes empty).
std::u16string NextToken(std::u16string& s);
// The low 8 bits of v as the style set.
TFontStyles IntToStyle(int32_t v);
// The style set's 8 bits as 0..255.
int32_t StyleToInt(TFontStyles style);

// The five fields of the "TextFont" setting.
struct TFontSpec {
    std::u16string Name;
    int32_t Size = 10;
    TFontStyles Style = 0;
    int32_t Color = 0;
    uint8_t Charset = 1;
};
// Reads "name,size,style,colour,charset"; missing or bad fields take 10, 0, 0, 1.
TFontSpec ReadFontText(std::u16string text);
// Writes "%s,%d,%d,%d,%d".
std::u16string FontText(const TFontSpec& font);

}  // namespace pagelet
