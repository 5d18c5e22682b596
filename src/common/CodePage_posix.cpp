// Code pages on Linux: iconv (glibc) with a table from Windows code-page
// numbers to iconv names. The system's ANSI code page is 1252.

#include <iconv.h>

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

constexpr uint32_t kAnsiCodePage = 1252;
constexpr char16_t kReplacement = 0xFFFD;

// CP_ACP, CP_OEMCP, CP_MACCP and CP_THREAD_ACP stand for the system's code pages.
uint32_t Resolve(uint32_t codePage) {
    switch (codePage) {
    case 0:
        return kAnsiCodePage;
    case 1:
        return 437;
    case 2:
        return 10000;
    case 3:
        return kAnsiCodePage;
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

uint32_t SystemAnsiCodePage() { return kAnsiCodePage; }

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
