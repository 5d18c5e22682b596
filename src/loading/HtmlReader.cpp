#include "loading/HtmlReader.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <optional>
#include <string_view>
#include <unordered_map>

#include "common/CodePage.h"
#include "common/Error.h"
#include "converter/WordFormat.h"
#include "loading/FileBytes.h"
#include "loading/Mime.h"
#include "loading/TextBytes.h"

namespace pagelet {

namespace {

// A file's format is told by its first bytes, at most this many.
constexpr size_t kHeadBytes = 4096;
// A <meta> charset counts only in the page's first bytes, as in browsers.
constexpr size_t kMetaPrescanBytes = 8192;
// Tables nested deeper than this show their cells' text as lines of the
// table that holds them; lists nested deeper number on in the deepest kept.
constexpr size_t kMaxTableDepth = 32;
constexpr size_t kMaxListDepth = 32;
// A nested number shows at most this many levels (9.8.7.6.5.4.3.2.1.), as in Word.
constexpr size_t kMaxNumberLevels = 9;
// The reader asks whether the text is still wanted every this many characters.
constexpr size_t kCheckEvery = 16 * 1024;
// Tag and attribute names longer than this match nothing; attribute values
// longer than this are cut (only numbers and charsets are read from them).
constexpr size_t kMaxName = 32;
constexpr size_t kMaxValue = 256;

constexpr char16_t kReplacement = 0xFFFD;

bool IsSpace(char16_t c) { return c == u' ' || c == u'\t' || c == u'\n' || c == u'\r' || c == u'\f'; }
bool IsAsciiLetter(char16_t c) { return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z'); }
bool IsAsciiDigit(char16_t c) { return c >= u'0' && c <= u'9'; }
bool IsAsciiAlnum(char16_t c) { return IsAsciiLetter(c) || IsAsciiDigit(c); }

// Whether s[i...] begins with the ASCII word (lower case), in any case.
bool StartsWithNoCase(const char16_t* s, size_t n, size_t i, std::string_view word) {
    if (n - i < word.size()) return false;
    for (size_t k = 0; k < word.size(); ++k) {
        if (AsciiLower(s[i + k]) != static_cast<char16_t>(word[k])) return false;
    }
    return true;
}

// ---- Character references ---------------------------------------------------

struct TEntity {
    std::string_view name;
    char16_t value;
};

// U+00A0 to U+00FF by name, in code order.
constexpr std::string_view kLatin1Names[96] = {
    "nbsp",   "iexcl",  "cent",   "pound",  "curren", "yen",    "brvbar", "sect",   "uml",    "copy",   "ordf",
    "laquo",  "not",    "shy",    "reg",    "macr",   "deg",    "plusmn", "sup2",   "sup3",   "acute",  "micro",
    "para",   "middot", "cedil",  "sup1",   "ordm",   "raquo",  "frac14", "frac12", "frac34", "iquest", "Agrave",
    "Aacute", "Acirc",  "Atilde", "Auml",   "Aring",  "AElig",  "Ccedil", "Egrave", "Eacute", "Ecirc",  "Euml",
    "Igrave", "Iacute", "Icirc",  "Iuml",   "ETH",    "Ntilde", "Ograve", "Oacute", "Ocirc",  "Otilde", "Ouml",
    "times",  "Oslash", "Ugrave", "Uacute", "Ucirc",  "Uuml",   "Yacute", "THORN",  "szlig",  "agrave", "aacute",
    "acirc",  "atilde", "auml",   "aring",  "aelig",  "ccedil", "egrave", "eacute", "ecirc",  "euml",   "igrave",
    "iacute", "icirc",  "iuml",   "eth",    "ntilde", "ograve", "oacute", "ocirc",  "otilde", "ouml",   "divide",
    "oslash", "ugrave", "uacute", "ucirc",  "uuml",   "yacute", "thorn",  "yuml",
};

constexpr TEntity kEntities[] = {
    {"amp", u'&'},      {"lt", u'<'},       {"gt", u'>'},        {"quot", u'"'},     {"apos", u'\''},
    {"trade", 0x2122},  {"hellip", 0x2026}, {"mdash", 0x2014},   {"ndash", 0x2013},  {"lsquo", 0x2018},
    {"rsquo", 0x2019},  {"sbquo", 0x201A},  {"ldquo", 0x201C},   {"rdquo", 0x201D},  {"bdquo", 0x201E},
    {"bull", 0x2022},   {"euro", 0x20AC},   {"dagger", 0x2020},  {"Dagger", 0x2021}, {"permil", 0x2030},
    {"lsaquo", 0x2039}, {"rsaquo", 0x203A}, {"OElig", 0x0152},   {"oelig", 0x0153},  {"Scaron", 0x0160},
    {"scaron", 0x0161}, {"Yuml", 0x0178},   {"fnof", 0x0192},    {"circ", 0x02C6},   {"tilde", 0x02DC},
    {"ensp", 0x2002},   {"emsp", 0x2003},   {"thinsp", 0x2009},  {"zwnj", 0x200C},   {"zwj", 0x200D},
    {"lrm", 0x200E},    {"rlm", 0x200F},    {"prime", 0x2032},   {"Prime", 0x2033},  {"oline", 0x203E},
    {"frasl", 0x2044},  {"larr", 0x2190},   {"uarr", 0x2191},    {"rarr", 0x2192},   {"darr", 0x2193},
    {"harr", 0x2194},   {"minus", 0x2212},  {"lowast", 0x2217},  {"radic", 0x221A},  {"infin", 0x221E},
    {"asymp", 0x2248},  {"ne", 0x2260},     {"equiv", 0x2261},   {"le", 0x2264},     {"ge", 0x2265},
    {"sum", 0x2211},    {"prod", 0x220F},   {"part", 0x2202},    {"loz", 0x25CA},    {"spades", 0x2660},
    {"clubs", 0x2663},  {"hearts", 0x2665}, {"diams", 0x2666},   {"alpha", 0x03B1},  {"beta", 0x03B2},
    {"gamma", 0x03B3},  {"delta", 0x03B4},  {"epsilon", 0x03B5}, {"lambda", 0x03BB}, {"mu", 0x03BC},
    {"pi", 0x03C0},     {"sigma", 0x03C3},  {"tau", 0x03C4},     {"phi", 0x03C6},    {"omega", 0x03C9},
    {"Delta", 0x0394},  {"Sigma", 0x03A3},  {"Pi", 0x03A0},      {"Omega", 0x03A9},  {"AMP", u'&'},
    {"LT", u'<'},       {"GT", u'>'},       {"QUOT", u'"'},      {"COPY", 0x00A9},   {"REG", 0x00AE},
};

// The character a name stands for; legacy is set for the names browsers
// also take without their semicolon (Latin-1's and the markup characters).
std::optional<char16_t> EntityValue(std::string_view name, bool& legacy) {
    struct TValue {
        char16_t value;
        bool legacy;
    };
    // Made once, read only after that.
    static const std::unordered_map<std::string_view, TValue> kByName = [] {
        std::unordered_map<std::string_view, TValue> byName;
        for (size_t k = 0; k < 96; ++k) byName.emplace(kLatin1Names[k], TValue{static_cast<char16_t>(0xA0 + k), true});
        for (const TEntity& entity : kEntities) {
            const bool old = entity.value < 0x80 || entity.name == "COPY" || entity.name == "REG";
            byName.emplace(entity.name, TValue{entity.value, old});
        }
        return byName;
    }();
    const auto it = kByName.find(name);
    if (it == kByName.end()) return std::nullopt;
    legacy = it->second.legacy;
    return it->second.value;
}

// What browsers show for the references &#128; to &#159;: the characters of
// those bytes in windows-1252.
constexpr char16_t kC1As1252[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

// Reads a character reference at s[i] ('&'): its text into out and true,
// i moved past it; false (i unmoved) when it is none, the '&' then being text.
bool ReadReference(const char16_t* s, size_t n, size_t& i, std::u16string& out) {
    size_t j = i + 1;
    if (j < n && s[j] == u'#') {
        ++j;
        const bool hex = j < n && (s[j] == u'x' || s[j] == u'X');
        if (hex) ++j;
        const size_t first = j;
        uint32_t value = 0;
        bool tooBig = false;
        while (j < n) {
            const char16_t c = s[j];
            uint32_t digit;
            if (IsAsciiDigit(c)) {
                digit = c - u'0';
            } else if (hex && c >= u'a' && c <= u'f') {
                digit = c - u'a' + 10;
            } else if (hex && c >= u'A' && c <= u'F') {
                digit = c - u'A' + 10;
            } else {
                break;
            }
            value = value * (hex ? 16 : 10) + digit;
            if (value > 0x10FFFF) {
                tooBig = true;
                value = 0x110000;  // stays out of range however many digits follow
            }
            ++j;
        }
        if (j == first) return false;
        if (j < n && s[j] == u';') ++j;
        i = j;
        if (tooBig || value == 0 || (value >= 0xD800 && value <= 0xDFFF)) {
            out += kReplacement;
        } else if (value >= 0x80 && value <= 0x9F) {
            out += kC1As1252[value - 0x80];
        } else if ((value < 0x20 && !IsSpace(static_cast<char16_t>(value))) || value == 0x7F) {
            out += kReplacement;
        } else if (value >= 0x10000) {
            value -= 0x10000;
            out += static_cast<char16_t>(0xD800 + (value >> 10));
            out += static_cast<char16_t>(0xDC00 + (value & 0x3FF));
        } else {
            out += static_cast<char16_t>(value);
        }
        return true;
    }
    std::string name;
    while (j < n && IsAsciiAlnum(s[j]) && name.size() <= kMaxName) name += static_cast<char>(s[j++]);
    if (name.empty() || name.size() > kMaxName) return false;
    bool legacy = false;
    const std::optional<char16_t> value = EntityValue(name, legacy);
    if (!value) return false;
    if (j < n && s[j] == u';') {
        ++j;
    } else if (!legacy) {
        return false;
    }
    i = j;
    out += *value;
    return true;
}

// ---- Tags ------------------------------------------------------------------

// A tag as the reader needs it: its name and the attributes it reads.
struct TTag {
    std::string name;  // in lower case; empty for a name longer than kMaxName
    bool end = false;
    bool selfClosing = false;
    std::optional<int64_t> start, value;         // <ol start>, <li value>
    std::u16string charset, httpEquiv, content;  // <meta>
};

std::optional<int64_t> NumberOf(std::u16string_view text) {
    size_t k = 0;
    while (k < text.size() && IsSpace(text[k])) ++k;
    bool negative = false;
    if (k < text.size() && (text[k] == u'-' || text[k] == u'+')) negative = text[k++] == u'-';
    if (k == text.size() || !IsAsciiDigit(text[k])) return std::nullopt;
    int64_t v = 0;
    for (; k < text.size() && IsAsciiDigit(text[k]); ++k) v = std::min<int64_t>(v * 10 + (text[k] - u'0'), 1000000000);
    return negative ? -v : v;
}

// Reads a tag from s[i], just after its "<" or "</", up to and past its
// ">" (or to the end); its name was checked to begin with a letter.
void ReadTag(const char16_t* s, size_t n, size_t& i, TTag& tag) {
    while (i < n && !IsSpace(s[i]) && s[i] != u'/' && s[i] != u'>') {
        if (tag.name.size() <= kMaxName) tag.name += static_cast<char>(AsciiLower(s[i]) & 0x7F);
        ++i;
    }
    if (tag.name.size() > kMaxName) tag.name.clear();
    char attribute[kMaxName + 2];
    std::u16string value;
    while (i < n) {
        const char16_t c = s[i];
        if (c == u'>') {
            ++i;
            return;
        }
        if (IsSpace(c)) {
            ++i;
            continue;
        }
        if (c == u'/') {
            ++i;
            if (i < n && s[i] == u'>') tag.selfClosing = true;
            continue;
        }
        // An attribute's name, then its value when an '=' follows.
        size_t length = 0;
        value.clear();
        do {
            if (length <= kMaxName) attribute[length++] = static_cast<char>(AsciiLower(s[i]) & 0x7F);
            ++i;
        } while (i < n && !IsSpace(s[i]) && s[i] != u'/' && s[i] != u'>' && s[i] != u'=');
        const std::string_view name(attribute, length);
        // Only these values are kept (style and the like are passed over).
        const bool kept =
            name == "start" || name == "value" || name == "charset" || name == "http-equiv" || name == "content";
        size_t k = i;
        while (k < n && IsSpace(s[k])) ++k;
        if (k < n && s[k] == u'=') {
            i = k + 1;
            while (i < n && IsSpace(s[i])) ++i;
            if (i < n && (s[i] == u'"' || s[i] == u'\'')) {
                const char16_t quote = s[i++];
                const size_t first = i;
                while (i < n && s[i] != quote) ++i;
                if (kept) value.assign(s + first, std::min(i - first, kMaxValue));
                if (i < n) ++i;
            } else {
                const size_t first = i;
                while (i < n && !IsSpace(s[i]) && s[i] != u'>') ++i;
                if (kept) value.assign(s + first, std::min(i - first, kMaxValue));
            }
        }
        if (!kept) continue;
        if (name == "start")
            tag.start = NumberOf(value);
        else if (name == "value")
            tag.value = NumberOf(value);
        else if (name == "charset")
            tag.charset = value;
        else if (name == "http-equiv")
            tag.httpEquiv = value;
        else if (name == "content")
            tag.content = value;
    }
}

// Moves i past the end of a comment ("<!--" at i): its "-->", else the end.
void SkipComment(const char16_t* s, size_t n, size_t& i) {
    size_t j = i + 4;
    // "<!-->" and "<!--->" end at once, as in browsers.
    if (j < n && s[j] == u'>') {
        i = j + 1;
        return;
    }
    if (j + 1 < n && s[j] == u'-' && s[j + 1] == u'>') {
        i = j + 2;
        return;
    }
    for (; j + 2 < n; ++j) {
        if (s[j] == u'-' && s[j + 1] == u'-' && s[j + 2] == u'>') {
            i = j + 3;
            return;
        }
    }
    i = n;
}

// Moves i past the next '>' (or to the end).
void SkipPastGreater(const char16_t* s, size_t n, size_t& i) {
    while (i < n && s[i] != u'>') ++i;
    if (i < n) ++i;
}

// The charset a <meta> names: charset="..." or http-equiv="Content-Type"
// content="text/html; charset=...".
std::string MetaCharset(const TTag& tag) {
    std::u16string_view name;
    if (!tag.charset.empty()) {
        name = tag.charset;
    } else {
        std::string equiv;
        for (char16_t c : tag.httpEquiv) equiv += static_cast<char>(AsciiLower(c) & 0x7F);
        if (equiv != "content-type") return {};
        std::u16string lower;
        for (char16_t c : tag.content) lower += AsciiLower(c);
        const size_t at = lower.find(u"charset");
        if (at == std::u16string::npos) return {};
        size_t k = at + 7;
        while (k < lower.size() && IsSpace(lower[k])) ++k;
        if (k == lower.size() || lower[k] != u'=') return {};
        ++k;
        while (k < lower.size() && (IsSpace(lower[k]) || lower[k] == u'"' || lower[k] == u'\'')) ++k;
        size_t e = k;
        while (e < lower.size() && !IsSpace(lower[e]) && lower[e] != u';' && lower[e] != u'"' && lower[e] != u'\'') ++e;
        name = std::u16string_view(tag.content).substr(k, e - k);
    }
    std::string ascii;
    for (char16_t c : name) ascii += c < 0x80 ? static_cast<char>(c) : '?';
    return ascii;
}

// The code page a <meta> in the page's first bytes names; 0 for none.
uint32_t PrescanMetaCharset(std::span<const uint8_t> bytes) {
    const size_t n = std::min(bytes.size(), kMetaPrescanBytes);
    // The markup is ASCII in every encoding that a <meta> may name.
    std::u16string text(bytes.begin(), bytes.begin() + static_cast<ptrdiff_t>(n));
    const char16_t* s = text.data();
    size_t i = 0;
    while (i < n) {
        if (s[i] != u'<') {
            ++i;
            continue;
        }
        if (StartsWithNoCase(s, n, i, "<!--")) {
            SkipComment(s, n, i);
        } else if (StartsWithNoCase(s, n, i, "<meta") && i + 5 < n && (IsSpace(s[i + 5]) || s[i + 5] == u'/')) {
            i += 1;
            TTag tag;
            ReadTag(s, n, i, tag);
            if (const uint32_t codePage = CodePageOfCharset(MetaCharset(tag))) {
                // A page cannot say it is UTF-16 in its own bytes that read as ASCII.
                return codePage == kCodePageUtf16LE || codePage == kCodePageUtf16BE ? kCodePageUtf8 : codePage;
            }
        } else {
            ++i;
        }
    }
    return 0;
}

// ---- Elements --------------------------------------------------------------

enum class TKind : uint8_t {
    Inline,  // no effect on the layout (also any element not known)
    Block,   // ends the line before and after it
    Break,   // <br>
    Table,
    Row,
    Cell,
    List,         // <ul>, <menu>, <dir>
    OrderedList,  // <ol>
    Item,         // <li>
    Pre,          // <pre>, <listing>, <plaintext>
    Heading,      // <h1> to <h6>
    Hidden,       // elements whose content shows nothing: skipped with what they hold
    HiddenRaw,    // the same, their content not markup (script, style...)
    ShownRaw,     // content not markup, shown (textarea, xmp)
    Head,
    Body,
};

struct TElementKind {
    std::string_view name;
    TKind kind;
};

constexpr TElementKind kElements[] = {
    {"p", TKind::Block},
    {"div", TKind::Block},
    {"br", TKind::Break},
    {"table", TKind::Table},
    {"tr", TKind::Row},
    {"td", TKind::Cell},
    {"th", TKind::Cell},
    {"ul", TKind::List},
    {"ol", TKind::OrderedList},
    {"li", TKind::Item},
    {"menu", TKind::List},
    {"dir", TKind::List},
    {"pre", TKind::Pre},
    {"listing", TKind::Pre},
    {"blockquote", TKind::Block},
    {"h1", TKind::Heading},
    {"h2", TKind::Heading},
    {"h3", TKind::Heading},
    {"h4", TKind::Heading},
    {"h5", TKind::Heading},
    {"h6", TKind::Heading},
    {"dl", TKind::Block},
    {"dt", TKind::Block},
    {"dd", TKind::Block},
    {"section", TKind::Block},
    {"article", TKind::Block},
    {"header", TKind::Block},
    {"footer", TKind::Block},
    {"aside", TKind::Block},
    {"nav", TKind::Block},
    {"main", TKind::Block},
    {"address", TKind::Block},
    {"center", TKind::Block},
    {"hr", TKind::Block},
    {"figure", TKind::Block},
    {"figcaption", TKind::Block},
    {"caption", TKind::Block},
    {"fieldset", TKind::Block},
    {"legend", TKind::Block},
    {"form", TKind::Block},
    {"details", TKind::Block},
    {"summary", TKind::Block},
    {"hgroup", TKind::Block},
    {"tbody", TKind::Inline},
    {"thead", TKind::Inline},
    {"tfoot", TKind::Inline},
    {"html", TKind::Block},
    {"body", TKind::Body},
    {"head", TKind::Head},
    {"title", TKind::HiddenRaw},
    {"script", TKind::HiddenRaw},
    {"style", TKind::HiddenRaw},
    {"noscript", TKind::HiddenRaw},
    {"noembed", TKind::HiddenRaw},
    {"noframes", TKind::HiddenRaw},
    {"iframe", TKind::HiddenRaw},
    {"textarea", TKind::ShownRaw},
    {"xmp", TKind::ShownRaw},
    {"template", TKind::Hidden},
    {"xml", TKind::Hidden},
    {"object", TKind::Hidden},
    {"applet", TKind::Hidden},
    {"select", TKind::Hidden},
    {"datalist", TKind::Hidden},
    {"option", TKind::Block},
};

TKind KindOf(std::string_view name) {
    // Made once, read only after that.
    static const std::unordered_map<std::string_view, TKind> kByName = [] {
        std::unordered_map<std::string_view, TKind> byName;
        for (const TElementKind& element : kElements) byName.emplace(element.name, element.kind);
        return byName;
    }();
    const auto it = kByName.find(name);
    return it == kByName.end() ? TKind::Inline : it->second;
}

// Whether a start tag met in a head not closed begins the body. Office
// programs' own elements (with a ':' in their names) stay in the head.
bool LeavesHead(TKind kind, std::string_view name) {
    switch (kind) {
    case TKind::Hidden:
    case TKind::HiddenRaw:
    case TKind::Head:
        return false;
    case TKind::Inline:
        return !name.empty() && name.find(':') == std::string_view::npos && name != "meta" && name != "link" &&
               name != "base" && name != "basefont" && name != "bgsound";
    default:
        return true;
    }
}

// ---- The reader ------------------------------------------------------------

class THtmlReader final : public TDocumentReader, private TParagraphSource {
public:
    // body: the page's bytes; codePage: its encoding when known (0: UTF-8
    // if valid, else the fallback).
    THtmlReader(std::vector<uint8_t> bytes, size_t bodyStart, size_t bodySize, uint32_t codePage,
                const TReaderOptions& options)
        : bytes_(std::move(bytes)),
          bodyStart_(bodyStart),
          bodySize_(bodySize),
          codePage_(codePage),
          options_(options) {}

    TReadingResult Read(TTextAssembler& out) override;

private:
    struct TTableLevel {
        bool rowOpen = false;
        bool cellOpen = false;
    };
    static constexpr int64_t kNoItem = INT64_MIN;
    struct TListLevel {
        bool ordered = false;
        int64_t next = 1;
        int64_t current = kNoItem;  // the number of its item open, if any
    };

    TParagraphProps OpenParagraph(uint64_t) override {
        TParagraphProps props;
        props.tableDepth = Depth();
        props.label = std::move(label_);
        label_.clear();
        props.headingLevel = heading_;
        return props;
    }

    uint32_t ChooseCodePage(std::span<const uint8_t> body) const;
    // Hands the text's events to the assembler; where it stopped.
    size_t Parse(const char16_t* s, size_t n);
    static size_t TextEnd(const char16_t* s, size_t n, size_t i);
    void TextRange(const char16_t* s, size_t i, size_t end);
    void TextChar(char16_t c) {
        if (pre_ > 0)
            PreChar(c);
        else
            Char(c);
    }
    void StartTag(const TTag& tag, TKind kind);
    void EndTag(const TTag& tag, TKind kind);
    // The table depth of the text that comes now: that of the innermost
    // table with an open cell.
    int Depth() const {
        for (size_t k = tables_.size(); k > 0; --k) {
            if (tables_[k - 1].cellOpen) return static_cast<int>(k);
        }
        return 0;
    }
    void Char(char16_t c);
    void PreChar(char16_t c);
    void Flush();
    void EndLine();
    void BreakLine();
    void EndCell();
    void EndRow();
    void CloseTable();

    std::vector<uint8_t> bytes_;
    size_t bodyStart_, bodySize_;
    uint32_t codePage_;
    TReaderOptions options_;
    TTextAssembler* out_ = nullptr;

    std::u16string run_;     // text not yet handed to the assembler
    bool lineOpen_ = false;  // text shown since the last line end
    bool pendingSpace_ = false;
    bool preStart_ = false;  // just after <pre>: a line end there is not shown
    size_t pre_ = 0;         // open <pre> elements
    int heading_ = 0;
    std::u16string label_;  // the next paragraph's list label
    std::vector<TTableLevel> tables_;
    size_t tablesBeyond_ = 0;  // open tables past kMaxTableDepth
    std::vector<TListLevel> lists_;
    size_t listsBeyond_ = 0;
    std::string hidden_;  // the hidden element being skipped, and how deep it nests
    size_t hiddenDepth_ = 0;
};

uint32_t THtmlReader::ChooseCodePage(std::span<const uint8_t> body) const {
    if (codePage_ != 0) return codePage_;
    if (IsValidUtf8(body)) return kCodePageUtf8;
    // 8-bit text in no code page the page names: a forced code page, else
    // what browsers take.
    if (options_.forceCP) {
        word::CheckForcedCodePage(options_.cp, true);
        return options_.cp != 0 ? static_cast<uint32_t>(options_.cp) : SystemAnsiCodePage();
    }
    return 1252;
}

TReadingResult THtmlReader::Read(TTextAssembler& out) {
    out_ = &out;
    out.Begin(bytes_.size(), *this);
    const std::span<const uint8_t> body(bytes_.data() + bodyStart_, bodySize_);
    const std::u16string text = DecodeText(body, ChooseCodePage(body));
    std::vector<uint8_t>().swap(bytes_);
    out.Expect(text.size());
    out.BeginStory(TStoryKind::Main);
    size_t walked = 0;
    if (out.BeginPart()) {
        walked = Parse(text.data(), text.size());
        Flush();
        EndLine();
        while (!tables_.empty()) CloseTable();
        out.EndPart();
    }
    out.EndStory();
    out.Finish(text.size(), walked);
    return TReadingResult::Done;
}

size_t THtmlReader::Parse(const char16_t* s, size_t n) {
    size_t i = 0;
    size_t check = kCheckEvery;
    while (i < n) {
        if (i >= check) {
            check = i + kCheckEvery;
            if (!out_->Wanted()) return i;
        }
        const char16_t c = s[i];
        if (c == u'<' && i + 1 < n) {
            const char16_t next = s[i + 1];
            if (next == u'!') {
                // A comment (Word's conditional ones too), a doctype, or
                // "<![if ...]>": the text between Word's "<![if ...]>" and
                // "<![endif]>" shows, as in browsers.
                if (StartsWithNoCase(s, n, i, "<!--"))
                    SkipComment(s, n, i);
                else
                    SkipPastGreater(s, n, i);
                continue;
            }
            if (next == u'?') {
                SkipPastGreater(s, n, i);
                continue;
            }
            const bool end = next == u'/';
            if (IsAsciiLetter(next) || (end && i + 2 < n && IsAsciiLetter(s[i + 2]))) {
                TTag tag;
                tag.end = end;
                i += end ? 2 : 1;
                ReadTag(s, n, i, tag);
                const TKind kind = KindOf(tag.name);
                Flush();
                if (end)
                    EndTag(tag, kind);
                else
                    StartTag(tag, kind);
                // Elements whose content is no markup: it runs to their end tag.
                if (!end && (kind == TKind::HiddenRaw || kind == TKind::ShownRaw) && !tag.selfClosing) {
                    const std::string close = "</" + tag.name;
                    size_t j = i;
                    while (j < n && !(s[j] == u'<' && StartsWithNoCase(s, n, j, close) &&
                                      (j + close.size() == n || IsSpace(s[j + close.size()]) ||
                                       s[j + close.size()] == u'>' || s[j + close.size()] == u'/'))) {
                        ++j;
                    }
                    if (kind == TKind::ShownRaw && hidden_.empty()) TextRange(s, i, j);
                    i = j;
                }
                continue;
            }
        }
        if (!hidden_.empty()) {
            // Text ends a head left open, as in browsers.
            if (hidden_ != "head" || IsSpace(c)) {
                ++i;
                continue;
            }
            hidden_.clear();
        }
        const size_t end = TextEnd(s, n, i);
        TextRange(s, i, end);
        i = end;
    }
    return i;
}

size_t THtmlReader::TextEnd(const char16_t* s, size_t n, size_t i) {
    // Up to the next '<' (a '<' that opens no markup is text); a long text
    // is cut at a space (never inside a reference) so that the walk asks
    // now and then whether it is still wanted.
    const size_t start = i++;
    while (i < n && s[i] != u'<' && !(i - start >= kCheckEvery && IsSpace(s[i]))) ++i;
    return i;
}

void THtmlReader::TextRange(const char16_t* s, size_t i, size_t end) {
    std::u16string ref;
    while (i < end) {
        const char16_t c = s[i];
        if (c == u'&') {
            ref.clear();
            if (ReadReference(s, end, i, ref)) {
                // A referenced space folds as any other; a no-break one stays.
                for (char16_t r : ref) TextChar(r);
                continue;
            }
        }
        TextChar(c);
        ++i;
    }
}

void THtmlReader::Char(char16_t c) {
    if (IsSpace(c)) {
        if (lineOpen_) pendingSpace_ = true;
        return;
    }
    // Control characters show nothing.
    if (c < 0x20 || c == 0x7F) return;
    if (pendingSpace_) {
        run_ += u' ';
        pendingSpace_ = false;
    }
    run_ += c;
    lineOpen_ = true;
    preStart_ = false;
}

void THtmlReader::PreChar(char16_t c) {
    if (c == u'\r') return;  // CR LF and CR alone: the LF ends the line, a lone CR shows nothing
    if (c == u'\n') {
        if (preStart_) {
            preStart_ = false;
            return;
        }
        BreakLine();
        return;
    }
    preStart_ = false;
    if (c == u'\t' || c == u'\f') {
        if (Depth() > 0) {
            // A tab in a cell would read as the next cell.
            run_ += u' ';
            lineOpen_ = true;
            return;
        }
        Flush();
        out_->Tab(0);
        lineOpen_ = true;
        return;
    }
    if (c < 0x20 || c == 0x7F) return;
    if (pendingSpace_) {
        run_ += u' ';
        pendingSpace_ = false;
    }
    run_ += c;
    lineOpen_ = true;
}

void THtmlReader::Flush() {
    if (run_.empty()) return;
    out_->Text(run_, 0);
    run_.clear();
}

void THtmlReader::EndLine() {
    Flush();
    pendingSpace_ = false;
    if (!lineOpen_) return;
    lineOpen_ = false;
    out_->ParagraphEnd(Depth());
}

void THtmlReader::BreakLine() {
    Flush();
    pendingSpace_ = false;
    if (lineOpen_) {
        EndLine();
    } else if (Depth() == 0 && tables_.empty()) {
        // A line of its own: an empty one.
        out_->ParagraphEnd(0);
    }
}

void THtmlReader::EndCell() {
    TTableLevel& table = tables_.back();
    if (!table.cellOpen) return;
    EndLine();
    table.cellOpen = false;
    out_->CellEnd(static_cast<int>(tables_.size()));
}

void THtmlReader::EndRow() {
    EndCell();
    TTableLevel& table = tables_.back();
    if (!table.rowOpen) return;
    table.rowOpen = false;
    out_->RowEnd(static_cast<int>(tables_.size()));
}

void THtmlReader::CloseTable() {
    EndRow();
    tables_.pop_back();
}

void THtmlReader::StartTag(const TTag& tag, TKind kind) {
    if (!hidden_.empty()) {
        if (hidden_ != "head" || !LeavesHead(kind, tag.name)) {
            if (tag.name == hidden_ && !tag.selfClosing) ++hiddenDepth_;
            return;
        }
        // An element of the body ends a head left open, as in browsers.
        hidden_.clear();
    }
    switch (kind) {
    case TKind::Inline:
    case TKind::ShownRaw:
        return;
    case TKind::Hidden:
    case TKind::Head:
        if (tag.selfClosing) return;
        EndLine();
        hidden_ = tag.name;
        hiddenDepth_ = 1;
        return;
    case TKind::HiddenRaw:
    case TKind::Body:
        return;
    case TKind::Break:
        BreakLine();
        return;
    case TKind::Block:
        EndLine();
        return;
    case TKind::Heading:
        EndLine();
        heading_ = tag.name[1] - '0';
        return;
    case TKind::Pre:
        EndLine();
        ++pre_;
        preStart_ = true;
        return;
    case TKind::Table:
        EndLine();
        if (tables_.size() < kMaxTableDepth)
            tables_.emplace_back();
        else
            ++tablesBeyond_;
        return;
    case TKind::Row:
        EndLine();
        if (tables_.empty() || tablesBeyond_ > 0) return;
        EndRow();
        tables_.back().rowOpen = true;
        return;
    case TKind::Cell:
        EndLine();
        if (tables_.empty() || tablesBeyond_ > 0) return;
        EndCell();
        tables_.back().rowOpen = true;
        tables_.back().cellOpen = true;
        return;
    case TKind::List:
    case TKind::OrderedList:
        EndLine();
        if (lists_.size() < kMaxListDepth) {
            TListLevel list;
            list.ordered = kind == TKind::OrderedList;
            if (list.ordered && tag.start) list.next = *tag.start;
            lists_.push_back(list);
        } else {
            ++listsBeyond_;
        }
        return;
    case TKind::Item: {
        EndLine();
        if (lists_.empty() || !lists_.back().ordered) {
            // Bullets by how deep the list is: a disc, a circle, a square, and again.
            static constexpr char16_t kBullets[] = {0x2022, 0x25E6, 0x25AA};
            const size_t level = lists_.empty() ? 0 : lists_.size() - 1 + listsBeyond_;
            label_.assign(1, kBullets[level % 3]);
            label_ += u' ';
            return;
        }
        TListLevel& list = lists_.back();
        if (tag.value) list.next = *tag.value;
        list.current = list.next;
        list.next = std::min<int64_t>(list.next + 1, 1000000000);
        // A numbered list in a numbered item carries the item's number
        // (2.1., 2.2.), as the word processors that write such pages number it.
        size_t first = lists_.size() - 1;
        while (first > 0 && lists_[first - 1].ordered && lists_[first - 1].current != kNoItem &&
               lists_.size() - first < kMaxNumberLevels) {
            --first;
        }
        std::string number;
        for (size_t k = first; k < lists_.size(); ++k) number += std::to_string(lists_[k].current) + ".";
        number += ' ';
        label_.assign(number.begin(), number.end());
        return;
    }
    }
}

void THtmlReader::EndTag(const TTag& tag, TKind kind) {
    if (!hidden_.empty()) {
        if (tag.name == hidden_ && --hiddenDepth_ == 0) hidden_.clear();
        return;
    }
    switch (kind) {
    case TKind::Inline:
    case TKind::Hidden:
    case TKind::HiddenRaw:
    case TKind::ShownRaw:
    case TKind::Head:
    case TKind::Body:
        return;
    case TKind::Break:
        // Browsers take </br> for <br>.
        BreakLine();
        return;
    case TKind::Block:
        EndLine();
        return;
    case TKind::Heading:
        EndLine();
        heading_ = 0;
        return;
    case TKind::Pre:
        EndLine();
        if (pre_ > 0) --pre_;
        preStart_ = false;
        return;
    case TKind::Table:
        EndLine();
        if (tablesBeyond_ > 0)
            --tablesBeyond_;
        else if (!tables_.empty())
            CloseTable();
        return;
    case TKind::Row:
        EndLine();
        if (!tables_.empty() && tablesBeyond_ == 0) EndRow();
        return;
    case TKind::Cell:
        EndLine();
        if (!tables_.empty() && tablesBeyond_ == 0) EndCell();
        return;
    case TKind::List:
    case TKind::OrderedList:
        EndLine();
        label_.clear();
        if (listsBeyond_ > 0)
            --listsBeyond_;
        else if (!lists_.empty())
            lists_.pop_back();
        return;
    case TKind::Item:
        EndLine();
        label_.clear();
        return;
    }
}

// Skips white space and comments (and an XML declaration) at the start of
// text; i is left at the first other character.
void SkipProlog(const char16_t* s, size_t n, size_t& i) {
    for (;;) {
        while (i < n && IsSpace(s[i])) ++i;
        if (StartsWithNoCase(s, n, i, "<!--")) {
            SkipComment(s, n, i);
        } else if (StartsWithNoCase(s, n, i, "<?")) {
            SkipPastGreater(s, n, i);
        } else {
            return;
        }
    }
}

// The first bytes as text, by their byte order mark (ASCII markup reads the
// same in any other encoding).
std::u16string HeadText(std::span<const uint8_t> head, TByteOrderMark& bom) {
    bom = ByteOrderMarkOf(head);
    const auto rest = head.subspan(bom.size);
    if (bom.codePage == kCodePageUtf16LE || bom.codePage == kCodePageUtf16BE) return DecodeText(rest, bom.codePage);
    return std::u16string(rest.begin(), rest.end());
}

}  // namespace

bool LooksLikeHtml(std::span<const uint8_t> head) {
    TByteOrderMark bom;
    const std::u16string text = HeadText(head.first(std::min(head.size(), kHeadBytes)), bom);
    const char16_t* s = text.data();
    const size_t n = text.size();
    size_t i = 0;
    SkipProlog(s, n, i);
    if (i >= n || s[i] != u'<') return false;
    // After a byte order mark any markup will do.
    if (bom.size != 0 && i + 1 < n && (IsAsciiLetter(s[i + 1]) || s[i + 1] == u'!')) return true;
    if (StartsWithNoCase(s, n, i, "<!doctype")) {
        size_t k = i + 9;
        while (k < n && IsSpace(s[k])) ++k;
        return StartsWithNoCase(s, n, k, "html");
    }
    for (std::string_view name : {"<html", "<head", "<body", "<meta", "<title"}) {
        if (StartsWithNoCase(s, n, i, name)) {
            const size_t k = i + name.size();
            return k == n || IsSpace(s[k]) || s[k] == u'>' || s[k] == u'/';
        }
    }
    return false;
}

bool LooksLikeMime(std::span<const uint8_t> head) {
    TMimeEntity entity;
    return ReadMimeEntity(head.first(std::min(head.size(), kHeadBytes)), entity) && entity.mimeVersion;
}

std::unique_ptr<TDocumentReader> OpenHtmlReader(std::vector<uint8_t> bytes, const TReaderOptions& options) {
    if (LooksLikeHtml(bytes)) {
        const TByteOrderMark bom = ByteOrderMarkOf(bytes);
        const std::span<const uint8_t> body = std::span<const uint8_t>(bytes).subspan(bom.size);
        uint32_t codePage = bom.codePage != 0 ? bom.codePage : PrescanMetaCharset(body);
        const size_t size = body.size();
        return std::make_unique<THtmlReader>(std::move(bytes), bom.size, size, codePage, options);
    }
    TMimeEntity message;
    if (!ReadMimeEntity(bytes, message) || !message.mimeVersion) return nullptr;
    std::vector<uint8_t> html;
    std::string charset;
    if (!FindMimePart(message, "text/html", html, charset)) return nullptr;
    // The page's own byte order mark wins over the part's charset, which wins over its <meta>.
    const TByteOrderMark bom = ByteOrderMarkOf(html);
    const std::span<const uint8_t> body = std::span<const uint8_t>(html).subspan(bom.size);
    uint32_t codePage = bom.codePage;
    if (codePage == 0) codePage = CodePageOfCharset(charset);
    if (codePage == 0) codePage = PrescanMetaCharset(body);
    const size_t size = body.size();
    return std::make_unique<THtmlReader>(std::move(html), bom.size, size, codePage, options);
}

std::unique_ptr<TDocumentReader> OpenHtmlFile(const std::u16string& fileName, const TReaderOptions& options) {
    std::vector<uint8_t> bytes;
    if (!ReadFileHead(fileName, kHeadBytes, bytes)) return nullptr;
    if (!LooksLikeHtml(bytes) && !LooksLikeMime(bytes)) return nullptr;
    if (!ReadFileBytes(fileName, bytes)) return nullptr;
    return OpenHtmlReader(std::move(bytes), options);
}

}  // namespace pagelet
