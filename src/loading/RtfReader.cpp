#include "loading/RtfReader.h"

#include <algorithm>
#include <array>
#include <climits>
#include <optional>
#include <string_view>
#include <unordered_map>
#include <utility>

#include "common/CodePage.h"
#include "common/Error.h"
#include "converter/WordFormat.h"
#include "loading/FileBytes.h"
#include "loading/ReadingTables.h"

namespace pagelet {

namespace {

using reading::TSymbolFont;

// Groups nest at most this deep. Real files stay far below it; a file
// nested deeper is taken as damaged, which also bounds the state kept for
// the open groups.
constexpr size_t kMaxDepth = 1024;
// A control word's letters beyond this many make it one no reader knows.
constexpr size_t kMaxWordLetters = 32;
// How far after a note reference (\chftn) its note is looked for, to tell a
// footnote from an endnote (\ftnalt right after \footnote).
constexpr size_t kNoteLookahead = 512;
constexpr std::string_view kNoteWord = "\\footnote";
constexpr uint64_t kNone = UINT64_MAX;
// A file that names more fonts than kMaxFonts, or more notes, comments, text
// boxes, headers and footers than kMaxParts, has the rest left out: what is
// kept of each stays small, and no real document comes near.
constexpr size_t kMaxFonts = 16 * 1024;
constexpr size_t kMaxParts = 64 * 1024;
// The most characters kept of a font's name, a list label and a comment's initials.
constexpr size_t kMaxFontName = 64;
constexpr size_t kMaxLabel = 256;
constexpr size_t kMaxInitials = 16;
// The text of a run goes to the assembler in parts of at most this many units.
constexpr size_t kRunUnits = 16 * 1024;
// Text bytes are decoded this many at a time at most.
constexpr uint64_t kMaxRunBytes = 64 * 1024;

[[noreturn]] void ThrowDamaged(const char16_t* what) {
    throw EPagelet(std::u16string(u"The document is damaged: ") + what);
}

// Where the characters of a group go.
enum class TDest : uint8_t {
    Text,       // the story's text
    Skip,       // nowhere: a destination that carries no text
    FontTable,  // the font table: font numbers, charsets and names
    Label,      // a paragraph's list label (\listtext, \pntext)
    Initials,   // the initials of the next comment's author (\atnid)
};

// What a control word does.
// clang-format off
enum class TWord : uint8_t {
    // Destinations.
    SkipDest, Transparent, FontTable, Label, Initials, Footnote, Header, Annotation, TextBox, Upr, Ud,
    // Characters and marks.
    Par, Line, Page, Column, Tab, Cell, Row, NestCell, NestRow, Char, NoteRef,
    // Properties.
    Font, Charset, Cpg, Deff, AnsiCpg, Mac, Pc, Pca, Uc, U, Bin, Plain, Pard, Intbl, Itap, Hidden, Deleted, FtnAlt,
    FtnFormat, AftnFormat,
};

// clang-format on

bool IsDestination(TWord word) { return word <= TWord::Ud; }

struct TWordEntry {
    std::string_view name;
    TWord word;
    char16_t value = 0;  // the character of a Char; the number format of a note format
};

// clang-format off
constexpr auto kWords = [] {
    std::array<TWordEntry, 119> words{{
        // Destinations without text.
        {"aftncn", TWord::SkipDest}, {"aftnsep", TWord::SkipDest}, {"aftnsepc", TWord::SkipDest},
        {"atnauthor", TWord::SkipDest}, {"atndate", TWord::SkipDest}, {"atnicn", TWord::SkipDest},
        {"atnparent", TWord::SkipDest}, {"atnref", TWord::SkipDest}, {"bkmkend", TWord::SkipDest},
        {"bkmkstart", TWord::SkipDest}, {"colortbl", TWord::SkipDest}, {"colorschememapping", TWord::SkipDest},
        {"datafield", TWord::SkipDest}, {"datastore", TWord::SkipDest}, {"docvar", TWord::SkipDest},
        {"falt", TWord::SkipDest}, {"filetbl", TWord::SkipDest}, {"fldinst", TWord::SkipDest},
        {"ftncn", TWord::SkipDest}, {"ftnsep", TWord::SkipDest}, {"ftnsepc", TWord::SkipDest},
        {"generator", TWord::SkipDest}, {"info", TWord::SkipDest}, {"latentstyles", TWord::SkipDest},
        {"listoverridetable", TWord::SkipDest}, {"listtable", TWord::SkipDest}, {"mmathPr", TWord::SkipDest},
        {"nonesttables", TWord::SkipDest}, {"nonshppict", TWord::SkipDest}, {"objclass", TWord::SkipDest},
        {"objdata", TWord::SkipDest}, {"objname", TWord::SkipDest}, {"panose", TWord::SkipDest},
        {"pgdsctbl", TWord::SkipDest}, {"pict", TWord::SkipDest}, {"pn", TWord::SkipDest},
        {"private", TWord::SkipDest}, {"revtbl", TWord::SkipDest}, {"rsidtbl", TWord::SkipDest},
        {"shprslt", TWord::SkipDest}, {"sp", TWord::SkipDest}, {"stylesheet", TWord::SkipDest},
        {"tc", TWord::SkipDest}, {"template", TWord::SkipDest}, {"themedata", TWord::SkipDest},
        {"userprops", TWord::SkipDest}, {"xe", TWord::SkipDest}, {"xmlnstbl", TWord::SkipDest},
        // Destinations whose text is the story's.
        {"fldrslt", TWord::Transparent}, {"nesttableprops", TWord::Transparent}, {"result", TWord::Transparent},
        {"shpinst", TWord::Transparent}, {"shppict", TWord::Transparent},
        // Destinations of their own.
        {"fonttbl", TWord::FontTable}, {"listtext", TWord::Label}, {"pntext", TWord::Label},
        {"atnid", TWord::Initials}, {"footnote", TWord::Footnote}, {"header", TWord::Header},
        {"headerf", TWord::Header}, {"headerl", TWord::Header}, {"headerr", TWord::Header},
        {"footer", TWord::Header}, {"footerf", TWord::Header}, {"footerl", TWord::Header},
        {"footerr", TWord::Header}, {"annotation", TWord::Annotation}, {"shptxt", TWord::TextBox},
        {"upr", TWord::Upr}, {"ud", TWord::Ud},
        // Characters and marks.
        {"par", TWord::Par}, {"sect", TWord::Par}, {"line", TWord::Line}, {"page", TWord::Page},
        {"column", TWord::Column}, {"tab", TWord::Tab}, {"cell", TWord::Cell}, {"row", TWord::Row},
        {"nestcell", TWord::NestCell}, {"nestrow", TWord::NestRow}, {"chftn", TWord::NoteRef},
        {"emdash", TWord::Char, u'\u2014'}, {"endash", TWord::Char, u'\u2013'}, {"emspace", TWord::Char, u'\u2003'},
        {"enspace", TWord::Char, u'\u2002'}, {"qmspace", TWord::Char, u'\u2005'}, {"bullet", TWord::Char, u'\u2022'},
        {"lquote", TWord::Char, u'\u2018'}, {"rquote", TWord::Char, u'\u2019'},
        {"ldblquote", TWord::Char, u'\u201C'}, {"rdblquote", TWord::Char, u'\u201D'},
        // Properties.
        {"f", TWord::Font}, {"fcharset", TWord::Charset}, {"cpg", TWord::Cpg}, {"deff", TWord::Deff},
        {"ansicpg", TWord::AnsiCpg}, {"mac", TWord::Mac}, {"pc", TWord::Pc}, {"pca", TWord::Pca},
        {"uc", TWord::Uc}, {"u", TWord::U}, {"bin", TWord::Bin}, {"plain", TWord::Plain}, {"pard", TWord::Pard},
        {"intbl", TWord::Intbl}, {"itap", TWord::Itap}, {"v", TWord::Hidden}, {"deleted", TWord::Deleted},
        {"ftnalt", TWord::FtnAlt},
        // Note number formats: decimal, upper and lower roman, upper and lower letter.
        {"ftnnar", TWord::FtnFormat, 0}, {"ftnnruc", TWord::FtnFormat, 1}, {"ftnnrlc", TWord::FtnFormat, 2},
        {"ftnnauc", TWord::FtnFormat, 3}, {"ftnnalc", TWord::FtnFormat, 4},
        {"aftnnar", TWord::AftnFormat, 0}, {"aftnnruc", TWord::AftnFormat, 1}, {"aftnnrlc", TWord::AftnFormat, 2},
        {"aftnnauc", TWord::AftnFormat, 3}, {"aftnnalc", TWord::AftnFormat, 4},
    }};
    std::sort(words.begin(), words.end(), [](const TWordEntry& a, const TWordEntry& b) { return a.name < b.name; });
    return words;
}();
// clang-format on

const TWordEntry* FindWord(std::string_view name) {
    const auto it = std::lower_bound(kWords.begin(), kWords.end(), name,
                                     [](const TWordEntry& e, std::string_view n) { return e.name < n; });
    return it != kWords.end() && it->name == name ? &*it : nullptr;
}

bool IsLetter(uint8_t c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool IsDigit(uint8_t c) { return c >= '0' && c <= '9'; }
int HexValue(uint8_t c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// What a group keeps: where its characters go and the properties that the
// group's end restores.
struct TGroup {
    TDest dest = TDest::Text;
    TDest uprOuter = TDest::Text;  // where the Unicode half of a \upr group goes
    bool inUpr = false;            // a \upr group, or one of its halves
    int uc = 1;                    // bytes that stand in for each \uN
    int32_t font = -1;
    int itap = -1;  // the table depth \itap gave; -1 none
    bool intbl = false;
    bool hidden = false;
    bool deleted = false;
    uint64_t start = 0;  // the offset of its "{"
};

struct TFont {
    int charset = -1;
    int32_t cpg = 0;
    std::u16string name;
    bool named = false;  // its name ended (";")
};

// How 8-bit text is decoded: a code page, or a symbol font's own table.
struct TDecoding {
    uint32_t codePage = 0;
    TSymbolFont symbol = TSymbolFont::None;
    bool operator==(const TDecoding&) const = default;
};

// A story's group met in the main text, walked after it.
struct TPart {
    TStoryKind kind;
    uint64_t start;        // the offset of its "{"
    TGroup outer;          // the state of the group around it
    std::u16string label;  // a comment's initials
    int number = 0;        // a note's number
};

class TRtfReader final : public TDocumentReader, private TParagraphSource {
public:
    TRtfReader(std::vector<uint8_t> bytes, int32_t cp, bool forceCP)
        : bytes_(std::move(bytes)), cp_(cp), forceCP_(forceCP) {}

    TReadingResult Read(TTextAssembler& out) override;

private:
    TParagraphProps OpenParagraph(uint64_t at) override;

    // Walks from pos (a "{") to the end of its group, or of the data.
    void Walk(uint64_t pos);
    // The control word or symbol at pos (a "\"); returns the position after it.
    uint64_t Control(uint64_t pos);
    void Apply(const TWordEntry& entry, bool hasParam, int32_t param, uint64_t at, uint64_t& next);
    void OpenGroup(uint64_t pos);
    // False once the walk's outermost group has closed.
    bool CloseGroup();
    void StoryGroup(TStoryKind kind);

    void AddBytes(const uint8_t* data, size_t n, uint64_t at);
    void AddChar(char16_t c, uint64_t at);
    void AppendText(const char16_t* text, size_t n);
    void FlushBytes();
    void FlushRun();
    TDecoding CurrentDecoding();
    // The font table's entry of a font number, made when new; nullptr for
    // none (a negative number, or a table already holding kMaxFonts).
    TFont* Font(int32_t id);
    uint32_t DocumentCodePage();
    const std::array<char16_t, 256>* ByteTable(uint32_t codePage);

    bool Visible() const { return !cur_.hidden && !cur_.deleted; }
    bool Showing() const { return cur_.dest == TDest::Text && Visible(); }
    int Depth() const { return cur_.itap >= 0 ? std::min(cur_.itap, 64) : (cur_.intbl ? 1 : 0); }
    void EndParagraph();
    void NoteReference(uint64_t at);
    // Where the first "\footnote" at or after `at` begins, within
    // kNoteLookahead bytes; kNone for none.
    uint64_t NextNote(uint64_t at);

    std::vector<uint8_t> bytes_;
    int32_t cp_;
    bool forceCP_;
    bool forcedChecked_ = false;

    // The document's.
    uint32_t documentCodePage_ = 0;  // named by \ansicpg, \mac, \pc or \pca; 0 none
    int32_t defaultFont_ = -1;
    std::unordered_map<int32_t, TFont> fonts_;
    uint8_t footnoteFormat_ = 0;
    uint8_t endnoteFormat_ = 2;
    std::unordered_map<uint32_t, std::optional<std::array<char16_t, 256>>> tables_;
    // The last font's decoding, until the fonts or the document's code page change.
    int32_t decodingFont_ = INT32_MIN;
    TDecoding decoding_;

    // The walk's.
    TTextAssembler* out_ = nullptr;
    std::vector<TGroup> stack_;
    TGroup cur_;
    const TPart* part_ = nullptr;  // the part walked; null in the main text
    bool partEntered_ = false;
    std::vector<TPart> parts_;
    size_t noteDepth_ = 0;       // the depth of the note group passed over in the main text; 0 none
    uint64_t nextNote_ = kNone;  // the last "\footnote" found
    uint64_t searched_ = 0;      // where the search for it goes on
    int footnotes_ = 0;
    int endnotes_ = 0;
    int skip_ = 0;  // bytes still to skip after a \uN
    bool ignorable_ = false;
    uint64_t steps_ = 0;
    uint64_t walked_ = 0;

    std::string pending_;  // 8-bit text not yet decoded
    TDecoding pendingDecoding_;
    uint64_t pendingAt_ = 0;
    std::u16string run_;  // visible text not yet handed over
    uint64_t runAt_ = 0;
    std::u16string label_;         // the list label being read
    std::u16string pendingLabel_;  // the next paragraph's
    std::u16string initials_;
    std::u16string decoded_;
};

TReadingResult TRtfReader::Read(TTextAssembler& out) {
    out_ = &out;
    out.Begin(bytes_.size(), *this);
    uint64_t start = 0;
    while (start < bytes_.size() && bytes_[start] != '{') ++start;

    out.BeginStory(TStoryKind::Main);
    if (out.BeginPart()) {
        Walk(start);
        out.EndPart();
    }
    out.EndStory();

    // The notes in their order, each kind counted on its own.
    int footnotes = 0, endnotes = 0;
    for (TPart& part : parts_) {
        if (part.kind == TStoryKind::Footnotes) part.number = ++footnotes;
        if (part.kind == TStoryKind::Endnotes) part.number = ++endnotes;
    }
    for (TStoryKind kind : {TStoryKind::Footnotes, TStoryKind::Endnotes, TStoryKind::Comments, TStoryKind::TextBoxes,
                            TStoryKind::Headers}) {
        out.BeginStory(kind);
        for (const TPart& part : parts_) {
            if (part.kind != kind) continue;
            if (out.Stopped() || !out.BeginPart(part.label)) break;
            part_ = &part;
            partEntered_ = false;
            cur_ = part.outer;
            Walk(part.start);
            out.EndPart();
        }
        out.EndStory();
    }
    part_ = nullptr;
    out.Finish(bytes_.size(), std::min<uint64_t>(walked_, bytes_.size()));
    return TReadingResult::Done;
}

TParagraphProps TRtfReader::OpenParagraph(uint64_t) {
    TParagraphProps props;
    props.tableDepth = Depth();
    props.label = std::move(pendingLabel_);
    pendingLabel_.clear();
    return props;
}

void TRtfReader::Walk(uint64_t pos) {
    stack_.clear();
    skip_ = 0;
    ignorable_ = false;
    // A label read before the end of the last walk belongs to no paragraph of this one.
    label_.clear();
    pendingLabel_.clear();
    const uint8_t* const d = bytes_.data();
    const uint64_t n = bytes_.size();
    while (pos < n) {
        if ((++steps_ & 0x3FF) == 0 && !out_->Wanted()) break;
        if (out_->Stopped()) break;
        const uint8_t c = d[pos];
        if (c == '{') {
            OpenGroup(pos++);
        } else if (c == '}') {
            ++pos;
            if (!CloseGroup()) break;
        } else if (c == '\\') {
            pos = Control(pos);
        } else if (c == '\r' || c == '\n') {
            ++pos;
        } else if (c == '\t') {
            if (skip_ > 0) {
                --skip_;
            } else if (Showing()) {
                FlushRun();
                out_->Tab(pos);
            } else if (cur_.dest == TDest::Label && Visible()) {
                FlushBytes();
                label_ += u'\t';
            }
            ++pos;
        } else {
            // A run of text bytes, in pieces of at most kMaxRunBytes.
            uint64_t end = pos + 1;
            const uint64_t last = std::min<uint64_t>(n, pos + kMaxRunBytes);
            while (end < last && d[end] != '\\' && d[end] != '{' && d[end] != '}' && d[end] != '\r' && d[end] != '\n' &&
                   d[end] != '\t')
                ++end;
            if (skip_ > 0) {
                const uint64_t k = std::min<uint64_t>(static_cast<uint64_t>(skip_), end - pos);
                skip_ -= static_cast<int>(k);
                pos += k;
                continue;
            }
            AddBytes(d + pos, static_cast<size_t>(end - pos), pos);
            pos = end;
        }
    }
    FlushRun();
    walked_ = std::max(walked_, pos);
}

void TRtfReader::OpenGroup(uint64_t pos) {
    FlushRun();
    skip_ = 0;
    ignorable_ = false;
    if (stack_.size() >= kMaxDepth) ThrowDamaged(u"its groups nest deeper than 1024 levels");
    stack_.push_back(cur_);
    cur_.start = pos;
}

bool TRtfReader::CloseGroup() {
    FlushRun();
    skip_ = 0;
    ignorable_ = false;
    if (stack_.empty()) return false;  // a "}" before any "{"
    const TGroup& outer = stack_.back();
    if (cur_.dest == TDest::Label && outer.dest != TDest::Label) {
        pendingLabel_ = std::move(label_);
        label_.clear();
    }
    if (noteDepth_ == stack_.size()) noteDepth_ = 0;
    cur_ = outer;
    stack_.pop_back();
    return !stack_.empty();
}

uint64_t TRtfReader::Control(uint64_t pos) {
    const uint8_t* const d = bytes_.data();
    const uint64_t n = bytes_.size();
    if (pos + 1 >= n) return n;
    const uint8_t c = d[pos + 1];
    if (!IsLetter(c)) {
        // A control symbol.
        if (c == '\'') {
            if (pos + 3 < n && HexValue(d[pos + 2]) >= 0 && HexValue(d[pos + 3]) >= 0) {
                const auto byte = static_cast<uint8_t>(HexValue(d[pos + 2]) << 4 | HexValue(d[pos + 3]));
                if (skip_ > 0) {
                    --skip_;
                } else {
                    AddBytes(&byte, 1, pos);
                }
                return pos + 4;
            }
            return pos + 2;
        }
        if (skip_ > 0) {
            --skip_;
            return pos + 2;
        }
        switch (c) {
        case '*':
            ignorable_ = true;
            break;
        case '\\':
        case '{':
        case '}':
            AddBytes(&c, 1, pos);
            break;
        case '~':
            AddChar(u'\u00A0', pos);
            break;
        case '_':
            AddChar(u'-', pos);
            break;
        case '\r':
        case '\n':
            FlushBytes();
            if (cur_.dest == TDest::Text) EndParagraph();
            break;
        default:
            break;  // \- (an optional hyphen), \: and the rest show nothing
        }
        return pos + 2;
    }
    uint64_t p = pos + 1;
    while (p < n && IsLetter(d[p])) ++p;
    const std::string_view name(reinterpret_cast<const char*>(d + pos + 1), static_cast<size_t>(p - pos - 1));
    bool negative = false, hasParam = false;
    if (p + 1 < n && d[p] == '-' && IsDigit(d[p + 1])) {
        negative = true;
        ++p;
    }
    int64_t value = 0;
    while (p < n && IsDigit(d[p])) {
        hasParam = true;
        if (value < 100000000000) value = value * 10 + (d[p] - '0');
        ++p;
    }
    if (p < n && d[p] == ' ') ++p;
    if (negative) value = -value;
    const auto param = static_cast<int32_t>(std::clamp<int64_t>(value, INT32_MIN, INT32_MAX));
    const TWordEntry* entry = name.size() <= kMaxWordLetters ? FindWord(name) : nullptr;
    if (skip_ > 0) {
        --skip_;
        // A \bin in the bytes that stand in for a character takes its data along.
        if (entry != nullptr && entry->word == TWord::Bin && param > 0) p += std::min<uint64_t>(param, n - p);
        return p;
    }
    const bool ignorable = ignorable_;
    ignorable_ = false;
    FlushBytes();
    if (entry == nullptr || (ignorable && !IsDestination(entry->word))) {
        // An unknown destination behind "\*" carries nothing to show.
        if (ignorable) cur_.dest = TDest::Skip;
        return p;
    }
    Apply(*entry, hasParam, param, pos, p);
    return p;
}

void TRtfReader::Apply(const TWordEntry& entry, bool hasParam, int32_t param, uint64_t at, uint64_t& next) {
    const bool on = !hasParam || param != 0;
    if (entry.word == TWord::Ud) {
        // Only a \upr group's own: elsewhere it shows nothing it hides.
        if (cur_.inUpr) cur_.dest = cur_.uprOuter;
        cur_.inUpr = false;
        return;
    }
    if (IsDestination(entry.word)) cur_.inUpr = false;
    if (IsDestination(entry.word) && cur_.dest == TDest::Skip) return;
    switch (entry.word) {
    case TWord::SkipDest:
        cur_.dest = TDest::Skip;
        break;
    case TWord::Transparent:
        break;
    case TWord::FontTable:
        cur_.dest = TDest::FontTable;
        break;
    case TWord::Label:
        label_.clear();
        cur_.dest = TDest::Label;
        break;
    case TWord::Initials:
        initials_.clear();
        cur_.dest = TDest::Initials;
        break;
    case TWord::Footnote:
        StoryGroup(TStoryKind::Footnotes);
        break;
    case TWord::Header:
        StoryGroup(TStoryKind::Headers);
        break;
    case TWord::Annotation:
        StoryGroup(TStoryKind::Comments);
        break;
    case TWord::TextBox:
        StoryGroup(TStoryKind::TextBoxes);
        break;
    case TWord::Upr:
        cur_.inUpr = true;
        cur_.uprOuter = cur_.dest;
        cur_.dest = TDest::Skip;
        break;
    case TWord::Par:
        if (cur_.dest == TDest::Text) EndParagraph();
        break;
    case TWord::Line:
    case TWord::Page:
    case TWord::Column:
        if (Showing()) {
            FlushRun();
            out_->Break(entry.word == TWord::Line   ? TBreak::Line
                        : entry.word == TWord::Page ? TBreak::Page
                                                    : TBreak::Column,
                        Depth(), at);
        }
        break;
    case TWord::Tab:
        if (Showing()) {
            FlushRun();
            out_->Tab(at);
        } else if (cur_.dest == TDest::Label && Visible()) {
            label_ += u'\t';
        }
        break;
    case TWord::Cell:
    case TWord::Row:
    case TWord::NestCell:
    case TWord::NestRow:
        if (cur_.dest == TDest::Text) {
            FlushRun();
            const int depth = entry.word == TWord::Cell || entry.word == TWord::Row ? 1 : std::max(2, Depth());
            if (entry.word == TWord::Cell || entry.word == TWord::NestCell) {
                out_->CellEnd(depth);
            } else {
                out_->RowEnd(depth);
            }
            pendingLabel_.clear();
        }
        break;
    case TWord::Char:
        AddChar(entry.value, at);
        break;
    case TWord::NoteRef:
        NoteReference(at);
        break;
    case TWord::Font:
        cur_.font = param;
        if (cur_.dest == TDest::FontTable) {
            Font(param);
            decodingFont_ = INT32_MIN;
        }
        break;
    case TWord::Charset:
    case TWord::Cpg:
        if (TFont* font = cur_.dest == TDest::FontTable ? Font(cur_.font) : nullptr) {
            (entry.word == TWord::Charset ? font->charset : font->cpg) = param;
            decodingFont_ = INT32_MIN;
        }
        break;
    case TWord::Deff:
        defaultFont_ = param;
        break;
    case TWord::AnsiCpg:
        if (param > 0) documentCodePage_ = static_cast<uint32_t>(param);
        decodingFont_ = INT32_MIN;
        break;
    case TWord::Mac:
    case TWord::Pc:
    case TWord::Pca:
        documentCodePage_ = entry.word == TWord::Mac ? 10000 : entry.word == TWord::Pc ? 437 : 850;
        decodingFont_ = INT32_MIN;
        break;
    case TWord::Uc:
        cur_.uc = std::clamp(param, 0, 255);
        break;
    case TWord::U: {
        AddChar(static_cast<char16_t>(static_cast<uint32_t>(param) & 0xFFFF), at);
        skip_ = cur_.uc;
        break;
    }
    case TWord::Bin:
        // Binary data, whatever it holds, is no text.
        if (param > 0) next += std::min<uint64_t>(static_cast<uint64_t>(param), bytes_.size() - next);
        break;
    case TWord::Plain:
        FlushRun();
        cur_.hidden = false;
        cur_.deleted = false;
        cur_.font = defaultFont_;
        break;
    case TWord::Pard:
        FlushRun();
        cur_.intbl = false;
        cur_.itap = -1;
        break;
    case TWord::Intbl:
        FlushRun();
        cur_.intbl = on;
        break;
    case TWord::Itap:
        FlushRun();
        cur_.itap = hasParam ? std::max(param, 0) : 1;
        break;
    case TWord::Hidden:
        FlushRun();
        cur_.hidden = on;
        break;
    case TWord::Deleted:
        FlushRun();
        cur_.deleted = on;
        break;
    case TWord::FtnAlt:
        if (part_ == nullptr && noteDepth_ != 0 && noteDepth_ == stack_.size() && !parts_.empty() &&
            parts_.back().kind == TStoryKind::Footnotes) {
            parts_.back().kind = TStoryKind::Endnotes;
            --footnotes_;
            ++endnotes_;
        }
        break;
    case TWord::FtnFormat:
        footnoteFormat_ = static_cast<uint8_t>(entry.value);
        break;
    case TWord::AftnFormat:
        endnoteFormat_ = static_cast<uint8_t>(entry.value);
        break;
    case TWord::Ud:
        break;
    }
}

void TRtfReader::StoryGroup(TStoryKind kind) {
    if (cur_.dest != TDest::Text) {
        cur_.dest = TDest::Skip;
        return;
    }
    if (part_ != nullptr) {
        // The part's own group is read; a story's group inside it is not.
        if (!partEntered_ && stack_.size() == 1) {
            partEntered_ = true;
        } else {
            cur_.dest = TDest::Skip;
        }
        return;
    }
    // In the main text, a story's group of its own (never the document's
    // group) is passed over now and walked after the main text.
    if (stack_.size() < 2) return;
    FlushRun();
    if (parts_.size() >= kMaxParts) {
        cur_.dest = TDest::Skip;
        return;
    }
    TPart part{kind, cur_.start, stack_.back(), {}, 0};
    if (kind == TStoryKind::Comments) part.label = initials_;
    parts_.push_back(std::move(part));
    if (kind == TStoryKind::Footnotes) {
        ++footnotes_;
        noteDepth_ = stack_.size();
    }
    cur_.dest = TDest::Skip;
}

void TRtfReader::NoteReference(uint64_t at) {
    if (!Showing()) return;
    int number = 0;
    uint8_t format = footnoteFormat_;
    if (part_ != nullptr) {
        if (part_->kind != TStoryKind::Footnotes && part_->kind != TStoryKind::Endnotes) return;
        number = part_->number;
        if (part_->kind == TStoryKind::Endnotes) format = endnoteFormat_;
    } else {
        // The reference comes before its note's group: an endnote's says so
        // (\ftnalt) right after \footnote.
        bool endnote = false;
        if (const uint64_t note = NextNote(at); note != kNone) {
            const std::string_view rest(reinterpret_cast<const char*>(bytes_.data() + note),
                                        static_cast<size_t>(std::min<uint64_t>(bytes_.size() - note, 64)));
            size_t i = kNoteWord.size();
            while (i < rest.size() && (rest[i] == ' ' || rest[i] == '\r' || rest[i] == '\n')) ++i;
            endnote = rest.substr(i).starts_with("\\ftnalt");
        }
        number = endnote ? endnotes_ + 1 : footnotes_ + 1;
        if (endnote) format = endnoteFormat_;
    }
    FlushRun();
    out_->NoteReference(reading::FormatNumber(number, format), at);
}

uint64_t TRtfReader::NextNote(uint64_t at) {
    const uint64_t end = std::min<uint64_t>(bytes_.size(), at + kNoteLookahead);
    // The bytes before searched_ were looked through once: each is looked at
    // once however many references there are.
    if (nextNote_ == kNone || nextNote_ < at) {
        const uint64_t from = std::max(at, searched_);
        nextNote_ = kNone;
        if (from < end) {
            const std::string_view window(reinterpret_cast<const char*>(bytes_.data() + from),
                                          static_cast<size_t>(end - from));
            const size_t found = window.find(kNoteWord);
            if (found != std::string_view::npos) {
                nextNote_ = from + found;
                searched_ = nextNote_ + 1;
            } else {
                searched_ = std::max<uint64_t>(from, end - std::min<uint64_t>(end, kNoteWord.size() - 1));
            }
        }
    }
    return nextNote_ != kNone && nextNote_ + kNoteWord.size() <= end ? nextNote_ : kNone;
}

void TRtfReader::EndParagraph() {
    FlushRun();
    // A hidden or deleted paragraph mark joins its paragraph to the next.
    if (Visible()) {
        out_->ParagraphEnd(Depth());
    } else {
        out_->JoinParagraph();
    }
    pendingLabel_.clear();
}

void TRtfReader::AddBytes(const uint8_t* data, size_t n, uint64_t at) {
    switch (cur_.dest) {
    case TDest::Skip:
        return;
    case TDest::FontTable: {
        TFont* font = Font(cur_.font);
        for (size_t i = 0; font != nullptr && i < n && !font->named; ++i) {
            if (data[i] == ';') {
                font->named = true;
                decodingFont_ = INT32_MIN;
            } else if (font->name.size() < kMaxFontName) {
                font->name += static_cast<char16_t>(data[i]);
            }
        }
        return;
    }
    case TDest::Initials:
        break;
    case TDest::Text:
    case TDest::Label:
        if (!Visible()) return;
        break;
    }
    const TDecoding decoding = CurrentDecoding();
    if (!pending_.empty() && !(decoding == pendingDecoding_)) FlushBytes();
    if (pending_.empty()) {
        pendingDecoding_ = decoding;
        pendingAt_ = at;
    }
    pending_.append(reinterpret_cast<const char*>(data), n);
}

void TRtfReader::AddChar(char16_t c, uint64_t at) {
    if (cur_.dest == TDest::Skip || cur_.dest == TDest::FontTable) return;
    if (cur_.dest != TDest::Initials && !Visible()) return;
    FlushBytes();
    // A symbol font's character in U+F020-U+F0FF shows as its Unicode
    // character, or not at all (as in Word documents).
    if (c >= 0xF000 && c <= 0xF0FF) {
        c = reading::SymbolToUnicode(CurrentDecoding().symbol, c);
        if (c == 0) return;
    }
    if (run_.empty()) runAt_ = at;
    AppendText(&c, 1);
}

void TRtfReader::AppendText(const char16_t* text, size_t n) {
    std::u16string* target = &run_;
    size_t cap = SIZE_MAX;
    if (cur_.dest == TDest::Label) {
        target = &label_;
        cap = kMaxLabel;
    } else if (cur_.dest == TDest::Initials) {
        target = &initials_;
        cap = kMaxInitials;
    } else if (cur_.dest != TDest::Text) {
        return;
    }
    for (size_t i = 0; i < n && target->size() < cap; ++i) {
        const char16_t c = text[i];
        // Control characters (C0, DEL, C1) show nothing.
        if (c < 0x20 || (c >= 0x7F && c < 0xA0)) continue;
        target->push_back(c);
    }
    if (target == &run_ && run_.size() >= kRunUnits) FlushRun();
}

void TRtfReader::FlushBytes() {
    if (pending_.empty()) return;
    const auto* data = reinterpret_cast<const uint8_t*>(pending_.data());
    const size_t n = pending_.size();
    if (run_.empty()) runAt_ = pendingAt_;
    decoded_.clear();
    if (pendingDecoding_.symbol != TSymbolFont::None) {
        for (size_t i = 0; i < n; ++i) {
            const char16_t c = reading::SymbolToUnicode(pendingDecoding_.symbol, data[i]);
            if (c != 0) decoded_ += c;
        }
    } else if (const auto* table = ByteTable(pendingDecoding_.codePage)) {
        decoded_.resize(n);
        for (size_t i = 0; i < n; ++i) decoded_[i] = (*table)[data[i]];
    } else {
        decoded_ = PlatformDecode(pendingDecoding_.codePage, data, n, false).value_or(std::u16string());
    }
    pending_.clear();
    AppendText(decoded_.data(), decoded_.size());
}

void TRtfReader::FlushRun() {
    FlushBytes();
    if (run_.empty()) return;
    out_->Text(run_.data(), run_.size(), runAt_);
    run_.clear();
}

TFont* TRtfReader::Font(int32_t id) {
    if (id < 0) return nullptr;
    if (const auto it = fonts_.find(id); it != fonts_.end()) return &it->second;
    if (fonts_.size() >= kMaxFonts) return nullptr;
    return &fonts_[id];
}

uint32_t TRtfReader::DocumentCodePage() {
    if (documentCodePage_ != 0 && IsKnownCodePage(documentCodePage_)) return documentCodePage_;
    // Text whose code page the file does not name.
    if (forceCP_) {
        if (!forcedChecked_) word::CheckForcedCodePage(cp_, forceCP_);
        forcedChecked_ = true;
        return static_cast<uint32_t>(cp_);
    }
    return SystemAnsiCodePage();
}

TDecoding TRtfReader::CurrentDecoding() {
    if (cur_.font == decodingFont_) return decoding_;
    TDecoding decoding;
    const auto it = fonts_.find(cur_.font);
    if (it != fonts_.end()) {
        const TFont& font = it->second;
        const auto charset = static_cast<uint8_t>(font.charset < 0 ? 1 : font.charset);
        decoding.symbol = reading::SymbolFontOf(font.name, charset);
        if (decoding.symbol == TSymbolFont::None) {
            if (font.cpg > 0 && IsKnownCodePage(static_cast<uint32_t>(font.cpg))) {
                decoding.codePage = static_cast<uint32_t>(font.cpg);
            } else if (const uint32_t cp = reading::CodePageOfCharset(charset); cp != 0 && IsKnownCodePage(cp)) {
                decoding.codePage = cp;
            } else if (charset == 77 && IsKnownCodePage(10000)) {
                decoding.codePage = 10000;  // Mac Roman
            }
        }
    }
    // ANSI and default charsets are the document's code page.
    if (decoding.symbol == TSymbolFont::None && decoding.codePage == 0) decoding.codePage = DocumentCodePage();
    decodingFont_ = cur_.font;
    decoding_ = decoding;
    return decoding;
}

const std::array<char16_t, 256>* TRtfReader::ByteTable(uint32_t codePage) {
    auto [it, added] = tables_.try_emplace(codePage);
    if (added && IsSingleByteCodePage(codePage)) {
        std::array<uint8_t, 256> all;
        for (size_t b = 0; b < 256; ++b) all[b] = static_cast<uint8_t>(b);
        std::array<char16_t, 256> table{};
        const std::optional<std::u16string> whole = PlatformDecode(codePage, all.data(), all.size(), false);
        if (whole && whole->size() == 256) {
            std::copy(whole->begin(), whole->end(), table.begin());
        } else {
            // A byte the code page does not map shows nothing.
            for (size_t b = 0; b < 256; ++b) {
                const std::optional<std::u16string> one = PlatformDecode(codePage, &all[b], 1, true);
                table[b] = one && one->size() == 1 ? (*one)[0] : u'\0';
            }
        }
        it->second = table;
    }
    return it->second ? &*it->second : nullptr;
}

}  // namespace

bool LooksLikeRtf(std::span<const uint8_t> head) {
    size_t i = 0;
    if (head.size() >= 3 && head[0] == 0xEF && head[1] == 0xBB && head[2] == 0xBF) i = 3;
    while (i < head.size() && (head[i] == ' ' || head[i] == '\t' || head[i] == '\r' || head[i] == '\n')) ++i;
    constexpr std::string_view kStart = "{\\rtf";
    if (head.size() - i < kStart.size()) return false;
    return std::equal(kStart.begin(), kStart.end(), head.begin() + static_cast<std::ptrdiff_t>(i));
}

std::unique_ptr<TDocumentReader> OpenRtfReader(std::vector<uint8_t> bytes, int32_t cp, bool forceCP) {
    if (!LooksLikeRtf(std::span<const uint8_t>(bytes).first(std::min<size_t>(bytes.size(), 64)))) return nullptr;
    return std::make_unique<TRtfReader>(std::move(bytes), cp, forceCP);
}

std::unique_ptr<TDocumentReader> OpenRtfFile(const std::u16string& fileName, const TReaderOptions& options) {
    std::vector<uint8_t> head;
    if (!ReadFileHead(fileName, 64, head) || !LooksLikeRtf(head)) return nullptr;
    std::vector<uint8_t> bytes;
    if (!ReadFileBytes(fileName, bytes)) throw EPagelet(u"Stream read error");
    return OpenRtfReader(std::move(bytes), options.cp, options.forceCP);
}

}  // namespace pagelet
