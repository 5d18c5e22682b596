#include "loading/ReadingTables.h"

#include <algorithm>
#include <string>

namespace pagelet::reading {

uint32_t CodePageOfCharset(uint8_t charset) {
    switch (charset) {
    case 128:
        return 932;  // Shift-JIS
    case 129:
        return 949;  // Hangul
    case 134:
        return 936;  // GB2312
    case 136:
        return 950;  // Big5
    case 161:
        return 1253;  // Greek
    case 162:
        return 1254;  // Turkish
    case 163:
        return 1258;  // Vietnamese
    case 177:
        return 1255;  // Hebrew
    case 178:
        return 1256;  // Arabic
    case 186:
        return 1257;  // Baltic
    case 204:
        return 1251;  // Cyrillic
    case 222:
        return 874;  // Thai
    case 238:
        return 1250;  // Central European
    default:
        return 0;
    }
}

uint32_t CodePageOfLanguage(uint16_t lid) {
    const uint16_t primary = lid & 0x03FF;
    switch (primary) {
    case 0x19:  // Russian
    case 0x22:  // Ukrainian
    case 0x02:  // Bulgarian
    case 0x23:  // Belarusian
    case 0x2F:  // Macedonian
    case 0x3F:  // Kazakh
    case 0x40:  // Kyrgyz
    case 0x44:  // Tatar
    case 0x50:  // Mongolian
    case 0x28:  // Tajik
    case 0x6D:  // Bashkir
        return 1251;
    case 0x1A:  // Serbian Cyrillic, Bosnian Cyrillic; Croatian and Serbian Latin
        return (lid == 0x0C1A || lid == 0x1C1A || lid == 0x201A) ? 1251 : 1250;
    case 0x43:  // Uzbek: Cyrillic or Latin
        return lid == 0x0843 ? 1251 : 1254;
    case 0x2C:  // Azeri: Cyrillic or Latin
        return lid == 0x082C ? 1251 : 1254;
    case 0x05:  // Czech
    case 0x0E:  // Hungarian
    case 0x15:  // Polish
    case 0x18:  // Romanian
    case 0x1B:  // Slovak
    case 0x24:  // Slovenian
    case 0x1C:  // Albanian
        return 1250;
    case 0x08:
        return 1253;  // Greek
    case 0x1F:
        return 1254;  // Turkish
    case 0x0D:
        return 1255;  // Hebrew
    case 0x01:        // Arabic
    case 0x29:        // Farsi
    case 0x20:        // Urdu
        return 1256;
    case 0x25:  // Estonian
    case 0x26:  // Latvian
    case 0x27:  // Lithuanian
        return 1257;
    case 0x2A:
        return 1258;  // Vietnamese
    case 0x1E:
        return 874;  // Thai
    case 0x11:
        return 932;  // Japanese
    case 0x12:
        return 949;  // Korean
    case 0x04:       // Chinese: Taiwan, Hong Kong, Macao traditional; else simplified
        return (lid == 0x0404 || lid == 0x0C04 || lid == 0x1404) ? 950 : 936;
    case 0x03:
    case 0x06:
    case 0x07:
    case 0x09:
    case 0x0A:
    case 0x0B:
    case 0x0C:
    case 0x0F:
    case 0x10:
    case 0x13:
    case 0x14:
    case 0x16:
    case 0x1D:
    case 0x21:
    case 0x2D:
    case 0x36:
    case 0x38:
    case 0x3E:
    case 0x41:
    case 0x56:
        return 1252;  // Western European and others written in Latin-1
    default:
        return 0;
    }
}

namespace {

bool SameName(std::u16string_view a, std::u16string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        char16_t x = a[i], y = b[i];
        if (x >= u'A' && x <= u'Z') x = static_cast<char16_t>(x + 32);
        if (y >= u'A' && y <= u'Z') y = static_cast<char16_t>(y + 32);
        if (x != y) return false;
    }
    return true;
}

// The Symbol font from 0x20 to 0xFF; 0 where there is no Unicode character.
constexpr char16_t kSymbol[224] = {
    // 0x20
    0x0020, 0x0021, 0x2200, 0x0023, 0x2203, 0x0025, 0x0026, 0x220B, 0x0028, 0x0029, 0x2217, 0x002B, 0x002C, 0x2212,
    0x002E, 0x002F,
    // 0x30
    0x0030, 0x0031, 0x0032, 0x0033, 0x0034, 0x0035, 0x0036, 0x0037, 0x0038, 0x0039, 0x003A, 0x003B, 0x003C, 0x003D,
    0x003E, 0x003F,
    // 0x40
    0x2245, 0x0391, 0x0392, 0x03A7, 0x0394, 0x0395, 0x03A6, 0x0393, 0x0397, 0x0399, 0x03D1, 0x039A, 0x039B, 0x039C,
    0x039D, 0x039F,
    // 0x50
    0x03A0, 0x0398, 0x03A1, 0x03A3, 0x03A4, 0x03A5, 0x03C2, 0x03A9, 0x039E, 0x03A8, 0x0396, 0x005B, 0x2234, 0x005D,
    0x22A5, 0x005F,
    // 0x60
    0x203E, 0x03B1, 0x03B2, 0x03C7, 0x03B4, 0x03B5, 0x03C6, 0x03B3, 0x03B7, 0x03B9, 0x03D5, 0x03BA, 0x03BB, 0x03BC,
    0x03BD, 0x03BF,
    // 0x70
    0x03C0, 0x03B8, 0x03C1, 0x03C3, 0x03C4, 0x03C5, 0x03D6, 0x03C9, 0x03BE, 0x03C8, 0x03B6, 0x007B, 0x007C, 0x007D,
    0x223C, 0,
    // 0x80
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
    // 0x90
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
    // 0xA0
    0x20AC, 0x03D2, 0x2032, 0x2264, 0x2044, 0x221E, 0x0192, 0x2663, 0x2666, 0x2665, 0x2660, 0x2194, 0x2190, 0x2191,
    0x2192, 0x2193,
    // 0xB0
    0x00B0, 0x00B1, 0x2033, 0x2265, 0x00D7, 0x221D, 0x2202, 0x2022, 0x00F7, 0x2260, 0x2261, 0x2248, 0x2026, 0x23D0,
    0x23AF, 0x21B5,
    // 0xC0
    0x2135, 0x2111, 0x211C, 0x2118, 0x2297, 0x2295, 0x2205, 0x2229, 0x222A, 0x2283, 0x2287, 0x2284, 0x2282, 0x2286,
    0x2208, 0x2209,
    // 0xD0
    0x2220, 0x2207, 0x00AE, 0x00A9, 0x2122, 0x220F, 0x221A, 0x22C5, 0x00AC, 0x2227, 0x2228, 0x21D4, 0x21D0, 0x21D1,
    0x21D2, 0x21D3,
    // 0xE0
    0x25CA, 0x2329, 0x00AE, 0x00A9, 0x2122, 0x2211, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
    // 0xF0
    0, 0x232A, 0x222B, 0x2320, 0x23AE, 0x2321, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};

struct TPair {
    uint8_t code;
    char16_t unicode;
};
// The Wingdings characters that have a plain Unicode equivalent.
constexpr TPair kWingdings[] = {
    {0x21, 0x270F}, {0x22, 0x2702}, {0x23, 0x2701}, {0x28, 0x260E}, {0x29, 0x2706}, {0x2A, 0x2709}, {0x36, 0x231B},
    {0x37, 0x2328}, {0x3E, 0x2707}, {0x3F, 0x270D}, {0x41, 0x270C}, {0x45, 0x261C}, {0x46, 0x261E}, {0x47, 0x261D},
    {0x48, 0x261F}, {0x4A, 0x263A}, {0x4B, 0x2610}, {0x4C, 0x2639}, {0x4E, 0x2620}, {0x4F, 0x2690}, {0x51, 0x2708},
    {0x52, 0x263C}, {0x54, 0x2744}, {0x56, 0x271E}, {0x58, 0x2720}, {0x59, 0x2721}, {0x5A, 0x262A}, {0x5B, 0x262F},
    {0x5C, 0x0950}, {0x5D, 0x2638}, {0x5E, 0x2648}, {0x5F, 0x2649}, {0x60, 0x264A}, {0x61, 0x264B}, {0x62, 0x264C},
    {0x63, 0x264D}, {0x64, 0x264E}, {0x65, 0x264F}, {0x66, 0x2650}, {0x67, 0x2651}, {0x68, 0x2652}, {0x69, 0x2653},
    {0x6C, 0x25CF}, {0x6D, 0x274D}, {0x6E, 0x25A0}, {0x6F, 0x25A1}, {0x71, 0x2751}, {0x72, 0x2752}, {0x73, 0x2B27},
    {0x74, 0x29EB}, {0x75, 0x25C6}, {0x76, 0x2756}, {0x77, 0x2B25}, {0x78, 0x2327}, {0x79, 0x2353}, {0x7A, 0x2318},
    {0x7B, 0x2740}, {0x7C, 0x273F}, {0x7D, 0x275D}, {0x7E, 0x275E}, {0x9F, 0x2022}, {0xA1, 0x25CB}, {0xA2, 0x2B55},
    {0xA4, 0x25C9}, {0xA5, 0x25CE}, {0xA7, 0x25AA}, {0xA8, 0x25FB}, {0xAA, 0x2726}, {0xAB, 0x2605}, {0xAC, 0x2736},
    {0xAD, 0x2734}, {0xAE, 0x2739}, {0xAF, 0x2735}, {0xB1, 0x2316}, {0xB2, 0x27E1}, {0xB3, 0x2311}, {0xD5, 0x232B},
    {0xD6, 0x2326}, {0xD8, 0x27A2}, {0xDF, 0x2190}, {0xE0, 0x2192}, {0xE1, 0x2191}, {0xE2, 0x2193}, {0xE8, 0x2794},
    {0xEF, 0x21E6}, {0xF0, 0x21E8}, {0xF1, 0x21E7}, {0xF2, 0x21E9}, {0xFB, 0x2717}, {0xFC, 0x2713}, {0xFD, 0x2612},
    {0xFE, 0x2611}};

}  // namespace

TSymbolFont SymbolFontOf(std::u16string_view name, uint8_t charset) {
    if (SameName(name, u"Symbol")) return TSymbolFont::Symbol;
    if (SameName(name, u"Wingdings")) return TSymbolFont::Wingdings;
    if (charset == 2) return TSymbolFont::OtherSymbol;
    return TSymbolFont::None;
}

char16_t SymbolToUnicode(TSymbolFont font, char16_t ch) {
    // Symbol fonts are written either as their own codes or in U+F020-U+F0FF.
    uint16_t code = ch;
    if (code >= 0xF000 && code <= 0xF0FF) code = static_cast<uint16_t>(code - 0xF000);
    switch (font) {
    case TSymbolFont::Symbol:
        return code >= 0x20 && code <= 0xFF ? kSymbol[code - 0x20] : 0;
    case TSymbolFont::Wingdings:
        for (const TPair& p : kWingdings)
            if (p.code == code) return p.unicode;
        return 0;
    case TSymbolFont::OtherSymbol:
        return 0;
    case TSymbolFont::None:
    default:
        return ch >= 0xF000 && ch <= 0xF0FF ? 0 : ch;
    }
}

namespace {

std::u16string Roman(int32_t value, bool upper) {
    if (value <= 0 || value >= 4000) return std::u16string(u"0");
    static const struct {
        int32_t v;
        const char* s;
    } kParts[] = {{1000, "m"}, {900, "cm"}, {500, "d"}, {400, "cd"}, {100, "c"}, {90, "xc"}, {50, "l"},
                  {40, "xl"},  {10, "x"},   {9, "ix"},  {5, "v"},    {4, "iv"},  {1, "i"}};
    std::u16string out;
    for (const auto& p : kParts) {
        while (value >= p.v) {
            for (const char* c = p.s; *c != 0; ++c) out += static_cast<char16_t>(upper ? *c - 32 : *c);
            value -= p.v;
        }
    }
    return out;
}

std::u16string Letters(int32_t value, bool upper) {
    if (value <= 0) return std::u16string(u"0");
    // A ... Z, AA ... ZZ, AAA ...: the letter repeated; no more than 26 times here.
    const int32_t repeat = std::min<int32_t>((value - 1) / 26 + 1, 26);
    const char16_t letter = static_cast<char16_t>((upper ? u'A' : u'a') + (value - 1) % 26);
    return std::u16string(static_cast<size_t>(repeat), letter);
}

std::u16string Symbols(int32_t value) {
    if (value <= 0) return std::u16string(u"0");
    // *, †, ‡, §, then each doubled, tripled …; no more than 26 times here.
    static constexpr char16_t kMarks[] = {u'*', u'\u2020', u'\u2021', u'\u00A7'};
    const int32_t repeat = std::min<int32_t>((value - 1) / 4 + 1, 26);
    return std::u16string(static_cast<size_t>(repeat), kMarks[(value - 1) % 4]);
}

std::u16string Decimal(int64_t value) {
    const std::string s = std::to_string(value);
    return std::u16string(s.begin(), s.end());
}

}  // namespace

std::u16string FormatNumber(int32_t value, uint8_t nfc) {
    switch (nfc) {
    case 1:
        return Roman(value, true);
    case 2:
        return Roman(value, false);
    case 3:
        return Letters(value, true);
    case 4:
        return Letters(value, false);
    case 5: {  // ordinal
        const int32_t lastTwo = value % 100;
        const int32_t last = value % 10;
        const char16_t* suffix = (lastTwo >= 11 && lastTwo <= 13) ? u"th"
                                 : last == 1                      ? u"st"
                                 : last == 2                      ? u"nd"
                                 : last == 3                      ? u"rd"
                                                                  : u"th";
        return Decimal(value) + suffix;
    }
    case 9:  // symbols
        return Symbols(value);
    case 22:  // leading zero
        return value >= 0 && value < 10 ? u"0" + Decimal(value) : Decimal(value);
    case 23:
        return u"\u2022";
    case 255:
        return {};
    default:
        return Decimal(value);
    }
}

}  // namespace pagelet::reading
