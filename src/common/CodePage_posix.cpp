// Code pages on Linux: iconv (glibc) with a table from Windows code-page
// numbers to iconv names. The system's ANSI code page is the one a Windows
// system locale of the same language has (LC_ALL, LC_CTYPE, LANG).

#include <iconv.h>

#include <cstdlib>
#include <string_view>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <memory>
#include <unordered_map>

#include "common/Error.h"
#include "common/CodePage.h"
#include "common/Utf.h"

namespace pagelet {

namespace {

struct TCodePageName {
    uint32_t codePage;
    const char* iconvName;
};

// Windows code pages and the glibc converters that match them.
constexpr TCodePageName kCodePages[] = {
    {437, "CP437"},        {737, "CP737"},         {775, "CP775"},         {850, "CP850"},
    {852, "CP852"},        {855, "CP855"},         {857, "CP857"},         {860, "CP860"},
    {861, "CP861"},        {862, "CP862"},         {863, "CP863"},         {864, "CP864"},
    {865, "CP865"},        {866, "CP866"},         {869, "CP869"},         {874, "CP874"},
    {932, "CP932"},        {936, "CP936"},         {949, "CP949"},         {950, "CP950"},
    {1250, "CP1250"},      {1251, "CP1251"},       {1252, "CP1252"},       {1253, "CP1253"},
    {1254, "CP1254"},      {1255, "CP1255"},       {1256, "CP1256"},       {1257, "CP1257"},
    {1258, "CP1258"},      {1361, "JOHAB"},        {10000, "MACINTOSH"},   {10007, "MAC-CYRILLIC"},
    {10017, "MAC-UK"},     {10029, "MAC-CENTRALEUROPE"}, {10079, "MAC-IS"},
    {20127, "ASCII"},      {20866, "KOI8-R"},      {20932, "EUC-JP"},      {21866, "KOI8-U"},
    {28591, "ISO-8859-1"}, {28592, "ISO-8859-2"},  {28593, "ISO-8859-3"},  {28594, "ISO-8859-4"},
    {28595, "ISO-8859-5"}, {28596, "ISO-8859-6"},  {28597, "ISO-8859-7"},  {28598, "ISO-8859-8"},
    {28599, "ISO-8859-9"}, {28603, "ISO-8859-13"}, {28605, "ISO-8859-15"}, {50220, "ISO-2022-JP"},
    {51932, "EUC-JP"},     {51936, "EUC-CN"},      {51949, "EUC-KR"},      {54936, "GB18030"},
    {65000, "UTF-7"},      {65001, "UTF-8"},
};

constexpr char16_t kReplacement = 0xFFFD;

struct TLanguageCodePage {
    std::string_view language;  // ISO 639 code, as a locale name begins
    uint32_t codePage;
};

// The ANSI code page of the Windows system locales of each language; a
// language not named here has 1252.
constexpr TLanguageCodePage kLanguageCodePages[] = {
    {"ru", 1251}, {"uk", 1251}, {"be", 1251}, {"bg", 1251}, {"sr", 1251}, {"mk", 1251}, {"pl", 1250},
    {"cs", 1250}, {"sk", 1250}, {"hu", 1250}, {"sl", 1250}, {"hr", 1250}, {"ro", 1250}, {"sq", 1250},
    {"bs", 1250}, {"el", 1253}, {"tr", 1254}, {"az", 1254}, {"he", 1255}, {"iw", 1255}, {"ar", 1256},
    {"fa", 1256}, {"ur", 1256}, {"et", 1257}, {"lv", 1257}, {"lt", 1257}, {"vi", 1258}, {"th", 874},
    {"ja", 932},  {"zh", 936},  {"ko", 949},
};

// CP_ACP, CP_OEMCP, CP_MACCP and CP_THREAD_ACP stand for the system's code pages.
uint32_t Resolve(uint32_t codePage) {
    switch (codePage) {
    case 0:
        return SystemAnsiCodePage();
    case 1:
        return 437;
    case 2:
        return 10000;
    case 3:
        return SystemAnsiCodePage();
    default:
        return codePage;
    }
}

const char* IconvName(uint32_t codePage) {
    for (const TCodePageName& entry : kCodePages)
        if (entry.codePage == codePage) return entry.iconvName;
    return nullptr;
}

// What the Windows conversion gives for a byte the code page leaves
// unassigned: the single-byte Windows code pages map their unassigned bytes
// 0x80-0x9F to the C1 control of the same value (1252: 0x81, 0x8D, 0x8F,
// 0x90, 0x9D); elsewhere U+FFFD. nullopt in strict mode for anything else.
std::optional<char16_t> Unmapped(uint32_t codePage, uint8_t byte, bool strict) {
    bool windowsSingleByte = codePage >= 1250 && codePage <= 1258;
    if (windowsSingleByte && byte >= 0x80 && byte <= 0x9F) return static_cast<char16_t>(byte);
    if (strict) return std::nullopt;
    return kReplacement;
}

bool IsSingleByte(uint32_t codePage) {
    return (codePage >= 437 && codePage <= 874) || (codePage >= 1250 && codePage <= 1258) || codePage == 10000 ||
           codePage == 10007 || codePage == 10017 || codePage == 10029 || codePage == 10079 || codePage == 20127 || codePage == 20866 || codePage == 21866 ||
           (codePage >= 28591 && codePage <= 28605);
}

struct TIconvCloser {
    void operator()(void* cd) const noexcept { iconv_close(static_cast<iconv_t>(cd)); }
};
using TIconvPtr = std::unique_ptr<void, TIconvCloser>;

// A converter for one code page. Single-byte code pages decode through a
// 256-entry table built once from iconv (fast, and each byte stands alone
// as in the Windows conversion); the others convert whole buffers.
struct TDecoder {
    TIconvPtr cd;
    bool singleByte = false;
    std::array<char16_t, 256> table{};
    std::array<bool, 256> mapped{};  // false: no mapping, so strict decoding fails
};

iconv_t Handle(const TDecoder& decoder) { return static_cast<iconv_t>(decoder.cd.get()); }

void BuildTable(uint32_t codePage, TDecoder& decoder) {
    iconv_t cd = Handle(decoder);
    for (int b = 0; b < 256; ++b) {
        char byte = static_cast<char>(b);
        char* in = &byte;
        size_t inLeft = 1;
        char16_t units[8] = {};
        char* out = reinterpret_cast<char*>(units);
        size_t outLeft = sizeof(units);
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
        bool ok = iconv(cd, &in, &inLeft, &out, &outLeft) != static_cast<size_t>(-1) && inLeft == 0 &&
                  iconv(cd, nullptr, nullptr, &out, &outLeft) != static_cast<size_t>(-1);
        if (ok && sizeof(units) - outLeft == sizeof(char16_t)) {
            decoder.table[b] = units[0];
            decoder.mapped[b] = true;
        } else {
            std::optional<char16_t> substitute = Unmapped(codePage, static_cast<uint8_t>(b), true);
            decoder.table[b] = substitute.value_or(kReplacement);
            decoder.mapped[b] = substitute.has_value();
        }
    }
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
}

// One decoder per code page and thread: opening a converter costs far more
// than converting a short piece, and a document may have many pieces.
const TDecoder* Decoder(uint32_t codePage) {
    thread_local std::unordered_map<uint32_t, std::unique_ptr<TDecoder>> cache;
    auto it = cache.find(codePage);
    if (it != cache.end()) return it->second.get();
    const char* name = IconvName(codePage);
    if (name == nullptr) return nullptr;
    iconv_t cd = iconv_open("UTF-16LE", name);
    if (cd == reinterpret_cast<iconv_t>(-1)) return nullptr;
    auto decoder = std::make_unique<TDecoder>();
    decoder->cd.reset(cd);
    decoder->singleByte = IsSingleByte(codePage);
    if (decoder->singleByte) BuildTable(codePage, *decoder);
    return cache.emplace(codePage, std::move(decoder)).first->second.get();
}

std::optional<std::u16string> DecodeByTable(const TDecoder& decoder, const uint8_t* data, size_t size, bool strict) {
    std::u16string out(size, u'\0');
    for (size_t i = 0; i < size; ++i) {
        if (strict && !decoder.mapped[data[i]]) return std::nullopt;
        out[i] = decoder.table[data[i]];
    }
    return out;
}

}  // namespace

uint32_t AnsiCodePageOfLocale(std::string_view locale) {
    // language[_territory][.codeset][@modifier]
    const size_t languageEnd = std::min(locale.find_first_of("_.@"), locale.size());
    std::string language(locale.substr(0, languageEnd));
    for (char& c : language)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    std::string_view territory;
    if (languageEnd < locale.size() && locale[languageEnd] == '_') {
        const std::string_view rest = locale.substr(languageEnd + 1);
        territory = rest.substr(0, std::min(rest.find_first_of(".@"), rest.size()));
    }
    const size_t at = locale.find('@');
    const std::string_view modifier = at == std::string_view::npos ? std::string_view() : locale.substr(at + 1);
    // Serbian in Latin letters has the Latin code page of its neighbours;
    // traditional Chinese has Big5.
    if (language == "sr" && modifier == "latin") return 1250;
    if (language == "zh" && (territory == "TW" || territory == "HK" || territory == "MO")) return 950;
    for (const TLanguageCodePage& entry : kLanguageCodePages)
        if (entry.language == language) return entry.codePage;
    return 1252;
}

uint32_t AnsiCodePageOfEnvironment(const char* lcAll, const char* lcCtype, const char* lang) {
    // As setlocale(LC_CTYPE, "") takes them: the first that is set and not empty.
    for (const char* value : {lcAll, lcCtype, lang})
        if (value != nullptr && *value != '\0') return AnsiCodePageOfLocale(value);
    return 1252;
}

// Fixed for the life of the process, as GetACP's is.
uint32_t SystemAnsiCodePage() {
    static const uint32_t codePage =
        AnsiCodePageOfEnvironment(std::getenv("LC_ALL"), std::getenv("LC_CTYPE"), std::getenv("LANG"));
    return codePage;
}

bool IsKnownCodePage(uint32_t codePage) {
    codePage = Resolve(codePage);
    if (codePage == 1200 || codePage == 1201) return true;
    return Decoder(codePage) != nullptr;
}

bool IsSingleByteCodePage(uint32_t codePage) {
    codePage = Resolve(codePage);
    return IsSingleByte(codePage) && Decoder(codePage) != nullptr;
}

std::optional<std::u16string> PlatformDecode(uint32_t codePage, const uint8_t* data, size_t size, bool strict) {
    codePage = Resolve(codePage);
    // UTF-16 passes through as it stands; an odd last byte is dropped.
    if (codePage == 1200 || codePage == 1201) return DecodeUtf16Bytes(data, size, codePage == 1201);
    const TDecoder* decoder = Decoder(codePage);
    if (decoder == nullptr) throw EPagelet(u"Invalid code page");
    if (size == 0) return std::u16string();
    if (decoder->singleByte) return DecodeByTable(*decoder, data, size, strict);
    iconv_t cd = Handle(*decoder);
    iconv(cd, nullptr, nullptr, nullptr, nullptr);

    // Whole buffers go through iconv; only an unmappable byte is handled by
    // itself. These code pages give at most one UTF-16 unit per byte, so the
    // first output buffer is nearly always large enough.
    std::u16string out(size + 8, u'\0');
    size_t used = 0;
    char* in = reinterpret_cast<char*>(const_cast<uint8_t*>(data));
    size_t inLeft = size;
    for (;;) {
        char* dest = reinterpret_cast<char*>(out.data() + used);
        size_t destLeft = (out.size() - used) * sizeof(char16_t);
        size_t rc = iconv(cd, &in, &inLeft, &dest, &destLeft);
        used = out.size() - destLeft / sizeof(char16_t);
        if (rc != static_cast<size_t>(-1)) {
            if (inLeft > 0) continue;
            // Flush a converter that holds back state (UTF-7, ISO-2022-JP).
            if (out.size() - used < 16) out.resize(used + 16);
            dest = reinterpret_cast<char*>(out.data() + used);
            destLeft = (out.size() - used) * sizeof(char16_t);
            iconv(cd, nullptr, nullptr, &dest, &destLeft);
            used = out.size() - destLeft / sizeof(char16_t);
            break;
        }
        if (errno == E2BIG) {
            out.resize(out.size() + inLeft + 16);
            continue;
        }
        // EILSEQ: a byte without mapping; EINVAL: a sequence cut off at the end.
        std::optional<char16_t> substitute = Unmapped(codePage, static_cast<uint8_t>(*in), strict);
        if (!substitute) return std::nullopt;
        if (used == out.size()) out.resize(out.size() + inLeft + 16);
        out[used++] = *substitute;
        ++in;
        --inLeft;
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
        if (inLeft == 0) break;
    }
    out.resize(used);
    return out;
}

}  // namespace pagelet
