#include "settings/TextForms.h"

#include <cstdio>

#include "common/Utf.h"

namespace pagelet {

namespace {

bool IsBlank(char16_t c) { return c == u' ' || c == u'\t'; }
bool IsDigit(char16_t c) { return c >= u'0' && c <= u'9'; }

char16_t AsciiUpper(char16_t c) { return (c >= u'a' && c <= u'z') ? static_cast<char16_t>(c - 32) : c; }

bool SameAsciiText(std::u16string_view a, std::u16string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (AsciiUpper(a[i]) != AsciiUpper(b[i])) return false;
    }
    return true;
}

int HexDigitValue(char16_t c) {
    if (c >= u'0' && c <= u'9') return c - u'0';
    if (c >= u'a' && c <= u'f') return c - u'a' + 10;
    if (c >= u'A' && c <= u'F') return c - u'A' + 10;
    return -1;
}

// A decimal number as a floating-point reader takes it: blanks around it, a
// sign, digits with at most one decimal point (at least one digit), and an
// optional exponent. Sets isZero when every digit of the mantissa is 0.
bool ParseDecimalNumber(std::u16string_view s, bool& isZero) {
    size_t i = 0;
    const size_t n = s.size();
    while (i < n && IsBlank(s[i])) ++i;
    if (i < n && (s[i] == u'+' || s[i] == u'-')) ++i;
    size_t digits = 0;
    bool nonZero = false;
    while (i < n && IsDigit(s[i])) {
        nonZero = nonZero || s[i] != u'0';
        ++digits;
        ++i;
    }
    if (i < n && s[i] == u'.') {
        ++i;
        while (i < n && IsDigit(s[i])) {
            nonZero = nonZero || s[i] != u'0';
            ++digits;
            ++i;
        }
    }
    if (digits == 0) return false;
    if (i < n && (s[i] == u'e' || s[i] == u'E')) {
        ++i;
        if (i < n && (s[i] == u'+' || s[i] == u'-')) ++i;
        size_t expDigits = 0;
        while (i < n && IsDigit(s[i])) {
            ++expDigits;
            ++i;
        }
        if (expDigits == 0) return false;
    }
    while (i < n && IsBlank(s[i])) ++i;
    if (i != n) return false;
    isZero = !nonZero;
    return true;
}

}  // namespace

bool ReadBoolText(std::u16string_view text, bool fallback) {
    bool isZero = false;
    if (ParseDecimalNumber(text, isZero)) return !isZero;
    if (SameAsciiText(text, u"True")) return true;
    if (SameAsciiText(text, u"False")) return false;
    return fallback;
}

std::u16string BoolText(bool value) { return value ? u"-1" : u"0"; }

int32_t ReadIntText(std::u16string_view text, int32_t fallback) {
    size_t i = 0;
    const size_t n = text.size();
    while (i < n && IsBlank(text[i])) ++i;
    bool negative = false;
    if (i < n && (text[i] == u'+' || text[i] == u'-')) {
        negative = text[i] == u'-';
        ++i;
    }
    if (i >= n) return fallback;

    // "$", "x", "X", "0x" or "0X" introduce a hexadecimal number.
    size_t hexStart = 0;
    if (text[i] == u'$' || text[i] == u'x' || text[i] == u'X') {
        hexStart = i + 1;
    } else if (text[i] == u'0' && i + 1 < n && (text[i + 1] == u'x' || text[i + 1] == u'X')) {
        hexStart = i + 2;
    }

    if (hexStart != 0) {
        // Hexadecimal: 1 to 8 digits, taken as a 32-bit pattern.
        const size_t digits = n - hexStart;
        if (digits == 0 || digits > 8) return fallback;
        uint32_t pattern = 0;
        for (size_t k = hexStart; k < n; ++k) {
            const int d = HexDigitValue(text[k]);
            if (d < 0) return fallback;
            pattern = (pattern << 4) | static_cast<uint32_t>(d);
        }
        if (negative) pattern = 0u - pattern;
        return static_cast<int32_t>(pattern);
    }

    // Decimal within the signed 32-bit range; the magnitude may reach 2^31 for a negative value.
    const uint64_t limit = negative ? 0x80000000ull : 0x7FFFFFFFull;
    uint64_t magnitude = 0;
    for (size_t k = i; k < n; ++k) {
        if (!IsDigit(text[k])) return fallback;
        magnitude = magnitude * 10 + static_cast<uint64_t>(text[k] - u'0');
        if (magnitude > limit) return fallback;
    }
    const uint32_t pattern =
        negative ? static_cast<uint32_t>(0u - static_cast<uint32_t>(magnitude)) : static_cast<uint32_t>(magnitude);
    return static_cast<int32_t>(pattern);
}

std::u16string IntText(int32_t value) { return AsciiToUtf16(std::to_string(value)); }

std::u16string NextToken(std::u16string& s) {
    const size_t comma = s.find(u',');
    std::u16string token;
    if (comma == std::u16string::npos) {
        token.swap(s);
        s.clear();
    } else {
        token = s.substr(0, comma);
        s.erase(0, comma + 1);
    }
    return token;
}

TFontStyles IntToStyle(int32_t v) { return static_cast<TFontStyles>(static_cast<uint32_t>(v) & 0xFFu); }

int32_t StyleToInt(TFontStyles style) { return static_cast<int32_t>(style); }

TFontSpec ReadFontText(std::u16string text) {
    TFontSpec font;
    font.Name = NextToken(text);
    font.Size = ReadIntText(NextToken(text), 10);
    font.Style = IntToStyle(ReadIntText(NextToken(text), 0));
    font.Color = ReadIntText(NextToken(text), 0);
    font.Charset = static_cast<uint8_t>(static_cast<uint32_t>(ReadIntText(NextToken(text), 1)) & 0xFFu);
    return font;
}

std::u16string FontText(const TFontSpec& font) {
    char numbers[64];
    std::snprintf(numbers, sizeof numbers, ",%d,%d,%d,%d", static_cast<int>(font.Size),
                  static_cast<int>(StyleToInt(font.Style)), static_cast<int>(font.Color),
                  static_cast<int>(font.Charset));
    return font.Name + AsciiToUtf16(numbers);
}

}  // namespace pagelet
