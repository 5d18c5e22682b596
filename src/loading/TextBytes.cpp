#include "loading/TextBytes.h"

#include <string>

#include "common/CodePage.h"
#include "common/Utf.h"

namespace pagelet {

TByteOrderMark ByteOrderMarkOf(std::span<const uint8_t> b) {
    if (b.size() >= 3 && b[0] == 0xEF && b[1] == 0xBB && b[2] == 0xBF) return {kCodePageUtf8, 3};
    if (b.size() >= 2 && b[0] == 0xFF && b[1] == 0xFE) return {kCodePageUtf16LE, 2};
    if (b.size() >= 2 && b[0] == 0xFE && b[1] == 0xFF) return {kCodePageUtf16BE, 2};
    return {};
}

bool IsValidUtf8(std::span<const uint8_t> b, bool allowCutEnd) {
    const size_t n = b.size();
    size_t i = 0;
    while (i < n) {
        const uint8_t c = b[i];
        if (c < 0x80) {
            ++i;
            continue;
        }
        size_t len;
        uint8_t lo = 0x80, hi = 0xBF;  // the second byte's range
        if (c >= 0xC2 && c <= 0xDF) {
            len = 2;
        } else if (c >= 0xE0 && c <= 0xEF) {
            len = 3;
            if (c == 0xE0) lo = 0xA0;  // no overlong forms
            if (c == 0xED) hi = 0x9F;  // no surrogates
        } else if (c >= 0xF0 && c <= 0xF4) {
            len = 4;
            if (c == 0xF0) lo = 0x90;
            if (c == 0xF4) hi = 0x8F;  // nothing past U+10FFFF
        } else {
            return false;
        }
        for (size_t k = 1; k < len; ++k) {
            if (i + k >= n) return allowCutEnd;
            const uint8_t t = b[i + k];
            if (k == 1 ? (t < lo || t > hi) : (t < 0x80 || t > 0xBF)) return false;
        }
        i += len;
    }
    return true;
}

std::u16string DecodeText(std::span<const uint8_t> bytes, uint32_t codePage) {
    if (codePage == kCodePageUtf8)
        return Utf8ToUtf16(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
    if (codePage == kCodePageUtf16LE || codePage == kCodePageUtf16BE)
        return DecodeUtf16Bytes(bytes.data(), bytes.size(), codePage == kCodePageUtf16BE);
    return PlatformDecode(codePage, bytes.data(), bytes.size(), false).value_or(std::u16string());
}

namespace {

struct TCharset {
    std::string_view name;
    uint32_t codePage;
};

// Names as the WHATWG encoding list and mail programs give them.
constexpr TCharset kCharsets[] = {
    {"utf-8", kCodePageUtf8},
    {"utf8", kCodePageUtf8},
    {"unicode-1-1-utf-8", kCodePageUtf8},
    {"utf-16", kCodePageUtf16LE},
    {"utf-16le", kCodePageUtf16LE},
    {"unicode", kCodePageUtf16LE},
    {"utf-16be", kCodePageUtf16BE},
    {"us-ascii", 1252},
    {"ascii", 1252},
    {"iso-8859-1", 1252},
    {"iso8859-1", 1252},
    {"latin1", 1252},
    {"l1", 1252},
    {"iso_8859-1", 1252},
    {"cp819", 1252},
    {"ibm819", 1252},
    {"iso-8859-2", 28592},
    {"iso-8859-3", 28593},
    {"iso-8859-4", 28594},
    {"iso-8859-5", 28595},
    {"iso-8859-6", 28596},
    {"iso-8859-7", 28597},
    {"iso-8859-8", 28598},
    {"iso-8859-8-i", 28598},
    {"iso-8859-9", 1254},
    {"iso-8859-11", 874},
    {"iso-8859-13", 28603},
    {"iso-8859-15", 28605},
    {"latin2", 28592},
    {"koi8-r", 20866},
    {"koi8r", 20866},
    {"koi8-u", 21866},
    {"ibm866", 866},
    {"cp866", 866},
    {"tis-620", 874},
    {"windows-874", 874},
    {"shift_jis", 932},
    {"shift-jis", 932},
    {"sjis", 932},
    {"x-sjis", 932},
    {"ms_kanji", 932},
    {"windows-31j", 932},
    {"cp932", 932},
    {"euc-jp", 20932},
    {"iso-2022-jp", 50220},
    {"gb2312", 936},
    {"gbk", 936},
    {"x-gbk", 936},
    {"cp936", 936},
    {"gb_2312-80", 936},
    {"chinese", 936},
    {"gb18030", 54936},
    {"big5", 950},
    {"big5-hkscs", 950},
    {"cp950", 950},
    {"x-x-big5", 950},
    {"euc-kr", 949},
    {"ks_c_5601-1987", 949},
    {"cp949", 949},
    {"windows-949", 949},
    {"macintosh", 10000},
    {"x-mac-roman", 10000},
    {"x-mac-cyrillic", 10007},
};

}  // namespace

uint32_t CodePageOfCharset(std::string_view name) {
    while (!name.empty() && (name.front() == ' ' || name.front() == '\t')) name.remove_prefix(1);
    while (!name.empty() && (name.back() == ' ' || name.back() == '\t')) name.remove_suffix(1);
    if (name.empty() || name.size() > 40) return 0;
    std::string lower;
    for (char c : name) lower += AsciiLower(c);
    uint32_t codePage = 0;
    // windows-1250 ... windows-1258, cp1250 ..., x-cp1250 ...
    for (std::string_view prefix : {"windows-", "x-cp", "cp"}) {
        if (lower.size() == prefix.size() + 4 && lower.compare(0, prefix.size(), prefix) == 0 &&
            lower.compare(prefix.size(), 3, "125") == 0 && lower.back() >= '0' && lower.back() <= '8') {
            codePage = 1250 + static_cast<uint32_t>(lower.back() - '0');
        }
    }
    for (const TCharset& charset : kCharsets) {
        if (charset.name == lower) codePage = charset.codePage;
    }
    if (codePage == 0) return 0;
    if (codePage == kCodePageUtf8 || codePage == kCodePageUtf16LE || codePage == kCodePageUtf16BE) return codePage;
    return IsKnownCodePage(codePage) ? codePage : 0;
}

}  // namespace pagelet
