#include "loading/ReadingLayout.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <map>
#include <memory>
#include <optional>
#include <unordered_map>

#include "common/ByteReader.h"
#include "common/Error.h"
#include "common/Utf.h"
#include "common/CodePage.h"
#include "converter/WordFormat.h"
#include "loading/ReadingTables.h"
#include "loading/TextAssembler.h"
#include "loading/WordLists.h"

namespace pagelet {

using namespace reading;

namespace {

// Text is read from "WordDocument" this many characters at a time.
constexpr size_t kChunkChars = 32 * 1024;
// Fields nest at most this deep; deeper ones are counted, not kept.
constexpr size_t kMaxFieldDepth = 64;

constexpr char16_t kCellMark = 0x07, kParaMark = 0x0D, kLineBreak = 0x0B, kPageBreak = 0x0C, kColumnBreak = 0x0E,
                   kFieldBegin = 0x13, kFieldSeparator = 0x14, kFieldEnd = 0x15, kNoteRef = 0x02,
                   kNonBreakingHyphen = 0x1E, kTab = 0x09, kPicture = 0x01, kDrawnObject = 0x08;

// A field as the walk keeps it: whether it has seen its separator, and the
// first characters of its instruction, which tell its kind.
enum class TFieldKind : uint8_t { Unknown, Other, Embed, CheckBox, DropDown };
struct TField {
    static constexpr size_t kKept = 48;
    bool separated = false;
    bool replaced = false;  // its state shows in place of its result
    TFieldKind kind = TFieldKind::Unknown;
    uint8_t length = 0;
    std::array<char16_t, kKept> instruction{};
    uint32_t data = kNoPicLocation;  // a form field's: where its FFData is in the "Data" stream
    std::u16string state;            // a form field's state as shown

    void Keep(const char16_t* text, size_t n) {
        n = std::min(n, kKept - length);
        std::copy(text, text + n, instruction.begin() + length);
        length = static_cast<uint8_t>(length + n);
    }
    // The instruction's n-th word (from 0), as far as it was kept: up to a
    // space or a switch, or between quotes.
    std::u16string_view Word(size_t n) const {
        const std::u16string_view s(instruction.data(), length);
        size_t at = 0;
        for (size_t k = 0;; ++k) {
            while (at < s.size() && s[at] == u' ') ++at;
            const bool quoted = at < s.size() && s[at] == u'"';
            if (quoted) ++at;
            size_t end = at;
            while (end < s.size() && (quoted ? s[end] != u'"' : s[end] > u' ' && s[end] != u'\\' && s[end] != u'"'))
                ++end;
            if (k == n || end == at) return s.substr(at, end - at);
            at = end + (quoted ? 1 : 0);
        }
    }
    void Classify() {
        if (kind != TFieldKind::Unknown) return;
        kind = TFieldKind::Other;
        const std::u16string_view name = Word(0);
        auto is = [&](std::u16string_view upper) {
            if (name.size() != upper.size()) return false;
            for (size_t k = 0; k < name.size(); ++k) {
                const char16_t c = name[k] >= u'a' && name[k] <= u'z' ? char16_t(name[k] - 32) : name[k];
                if (c != upper[k]) return false;
            }
            return true;
        };
        if (is(u"EMBED")) kind = TFieldKind::Embed;
        if (is(u"FORMCHECKBOX")) kind = TFieldKind::CheckBox;
        if (is(u"FORMDROPDOWN")) kind = TFieldKind::DropDown;
    }
};

// A picture's shape is looked for in its first this many bytes.
constexpr uint32_t kMaxShapeBytes = 64 * 1024;
// The drawing records are read when no larger than this.
constexpr uint64_t kMaxDrawingBytes = 16u << 20;
// The longest alternative text shown.
constexpr size_t kMaxAltChars = 255;

// What the drawing records of a shape tell: its id, whether it shows a
// picture, its alternative text.
struct TShape {
    uint32_t id = 0;
    bool picture = false;
    std::u16string alt;
};

// A drawing record's header: version and instance, type, length.
struct TRecord {
    uint16_t verInst = 0, type = 0;
    uint32_t length = 0;
    bool container() const { return (verInst & 0x0F) == 0x0F; }
};
bool ReadRecord(TByteReader& r, uint64_t end, TRecord& record) {
    return r.Position() + 8 <= end && r.ReadU16(record.verInst) && r.ReadU16(record.type) &&
           r.ReadU32(record.length) && record.length <= end - r.Position();
}
constexpr uint16_t kSpContainer = 0xF004, kFsp = 0xF00A;

// The shape of a shape container's records (what follows its header):
// its id, and from its property tables (primary, secondary, tertiary)
// whether it has a picture (pib, 0x0104) and its description (wzDescription, 0x0381).
TShape ReadShape(std::span<const uint8_t> records) {
    TShape shape;
    TByteReader r(records);
    TRecord header;
    while (ReadRecord(r, records.size(), header)) {
        std::span<const uint8_t> body;
        r.ReadBytes(header.length, body);
        if (header.type == kFsp && body.size() >= 4) shape.id = LoadU32(body.data());
        if (header.type != 0xF00B && header.type != 0xF121 && header.type != 0xF122) continue;
        const size_t count = header.verInst >> 4;
        if (count * 6 > body.size()) continue;
        size_t complex = count * 6;  // the complex properties' data follows the table, in its order
        for (size_t k = 0; k < count; ++k) {
            const uint16_t id = static_cast<uint16_t>(body[k * 6] | body[k * 6 + 1] << 8);
            const uint32_t value = LoadU32(body.data() + k * 6 + 2);
            if ((id & 0x3FFF) == 0x0104) shape.picture = true;
            if ((id & 0x8000) == 0) continue;
            if (value > body.size() - complex) break;
            if ((id & 0x3FFF) == 0x0381 && shape.alt.empty()) {
                std::u16string text;
                for (size_t i = complex; i + 1 < complex + value && text.size() < kMaxAltChars; i += 2) {
                    const auto c = static_cast<char16_t>(body[i] | body[i + 1] << 8);
                    if (c == 0) break;
                    text += c < 0x20 ? u' ' : c;
                }
                const size_t first = text.find_first_not_of(u' ');
                if (first != std::u16string::npos) shape.alt = text.substr(first, text.find_last_not_of(u' ') - first + 1);
            }
            complex += value;
        }
    }
    return shape;
}

// The shape container at the start of bytes (after a picture's header).
std::optional<TShape> ShapeAt(std::span<const uint8_t> bytes) {
    TByteReader r(bytes);
    TRecord header;
    if (!ReadRecord(r, bytes.size(), header) || header.type != kSpContainer) return std::nullopt;
    return ReadShape(bytes.subspan(8, header.length));
}

// The shapes among the drawing records (containers nest; a byte that tells
// the main text's drawing from the headers' goes before each), by id, this
// many at most.
constexpr size_t kMaxShapes = 8192;
std::unordered_map<uint32_t, TShape> ReadShapes(std::span<const uint8_t> bytes) {
    std::unordered_map<uint32_t, TShape> shapes;
    TByteReader r(bytes);
    TRecord header;
    while (shapes.size() < kMaxShapes && r.Remaining() >= 8) {
        const uint64_t start = r.Position();
        if (!ReadRecord(r, bytes.size(), header) || header.type < 0xF000) {
            r.Seek(start + 1);  // not a record: the byte before a drawing, or damage
            continue;
        }
        const auto at = static_cast<size_t>(r.Position());
        if (header.type == kSpContainer) {
            TShape shape = ReadShape(bytes.subspan(at, header.length));
            shapes.emplace(shape.id, std::move(shape));
            r.Seek(at + header.length);
        } else if (!header.container()) {
            r.Seek(at + header.length);
        }
        // Another container: its records follow.
    }
    return shapes;
}

// A form field's data (FFData) is read at most this large.
constexpr uint32_t kMaxFormFieldBytes = 64 * 1024;
// The longest drop-down entry shown.
constexpr size_t kMaxEntryChars = 255;

// The state a check box (U+2610 or U+2612) or a drop-down (its selected
// entry) shows, from its FFData; nullopt where the data is not that of such
// a field, is cut short or names no entry.
std::optional<std::u16string> FormFieldState(std::span<const uint8_t> bytes, TFieldKind kind) {
    TByteReader r(bytes);
    uint32_t version = 0;
    uint16_t bits = 0, cch = 0, hps = 0, wDef = 0;
    if (!r.ReadU32(version) || version != 0xFFFFFFFFu || !r.ReadU16(bits) || !r.ReadU16(cch) || !r.ReadU16(hps))
        return std::nullopt;
    const unsigned type = bits & 3u, res = (bits >> 2) & 0x1Fu;
    if ((kind == TFieldKind::CheckBox) != (type == 1) || (kind == TFieldKind::DropDown) != (type == 2))
        return std::nullopt;
    // An Xstz: a count, the UTF-16 characters and a terminating zero.
    auto skipXstz = [&] {
        uint16_t n = 0;
        std::span<const uint8_t> skipped;
        return r.ReadU16(n) && r.ReadBytes(uint64_t{n} * 2 + 2, skipped);
    };
    if (!skipXstz() || !r.ReadU16(wDef)) return std::nullopt;  // the name, then the default state
    const unsigned value = res == 25 ? wDef : res;                // 25: the default counts
    if (kind == TFieldKind::CheckBox) return std::u16string(1, value != 0 ? u'\u2612' : u'\u2610');
    // Format, help, status, entry and exit macros; then the entries (an STTB of UTF-16 strings).
    for (int k = 0; k < 5; ++k)
        if (!skipXstz()) return std::nullopt;
    uint16_t extend = 0, count = 0, extra = 0;
    if (!r.ReadU16(extend) || extend != 0xFFFF || !r.ReadU16(count) || !r.ReadU16(extra) || value >= count)
        return std::nullopt;
    for (unsigned k = 0;; ++k) {
        uint16_t n = 0;
        std::span<const uint8_t> chars, skipped;
        if (!r.ReadU16(n) || !r.ReadBytes(uint64_t{n} * 2, chars) || !r.ReadBytes(extra, skipped))
            return std::nullopt;
        if (k < value) continue;
        std::u16string entry;
        for (size_t i = 0; i + 1 < chars.size() && entry.size() < kMaxEntryChars; i += 2) {
            const auto c = static_cast<char16_t>(chars[i] | chars[i + 1] << 8);
            if (c >= 0x20) entry += c;
        }
        return entry;
    }
}


// The end of the characters from U+0020 up that begin at i: four at a time
// while none of the four is below U+0020.
size_t PlainRunEnd(const char16_t* text, size_t i, size_t n) {
    constexpr uint64_t kHigh = 0xFFE0FFE0FFE0FFE0u, kOnes = 0x0001000100010001u, kTops = 0x8000800080008000u;
    while (i + 4 <= n) {
        uint64_t v;
        std::memcpy(&v, text + i, 8);
        const uint64_t t = v & kHigh;  // a lane is 0 for a character below U+0020
        if (((t - kOnes) & ~t & kTops) != 0) break;
        i += 4;
    }
    while (i < n && text[i] >= 0x20) ++i;
    return i;
}

// The Mac code page of the script of a Windows ANSI code page (0: none
// known, Roman).
uint32_t MacCodePageOf(uint32_t windowsCodePage) {
    switch (windowsCodePage) {
    case 1250:
        return 10029;  // Central European
    case 1251:
        return 10007;  // Cyrillic
    case 1253:
        return 10006;  // Greek
    case 1254:
        return 10081;  // Turkish
    case 1255:
        return 10005;  // Hebrew
    case 1256:
        return 10004;  // Arabic
    case 874:
        return 10021;  // Thai
    case 932:
        return 10001;  // Japanese
    case 936:
        return 10008;  // Simplified Chinese
    case 949:
        return 10003;  // Korean
    case 950:
        return 10002;  // Traditional Chinese
    default:
        return 10000;  // Roman
    }
}

// The Word reader: walks a Word 97-2003 or Word 6/95 document's stories
// by their pieces and runs, reads the properties of each run and paragraph
// by its file offset, keeps fields, hidden text, symbols and note numbers to
// itself and hands the assembler what shows.
class TWordReader final : public TDocumentReader, private TParagraphSource {
public:
    TWordReader(TStorage& storage, int32_t cp, bool forceCP, TStreamReading reading)
        : storage_(storage), cp_(cp), forceCP_(forceCP), reading_(reading) {}
    TWordReader(TStoragePtr storage, int32_t cp, bool forceCP, TStreamReading reading)
        : owned_(std::move(storage)), storage_(*owned_), cp_(cp), forceCP_(forceCP), reading_(reading) {}

    // Opens "WordDocument" and the table stream and reads the FIB: false
    // when the storage holds no Word document this reader reads.
    bool Open();
    TReadingResult Read(TTextAssembler& out) override;
    const TReadingCost& Cost() const { return cost_; }
    uint64_t Walked() const { return cpsWalked_; }

private:
    struct TSegmentProps {
        TChp chp;
        uint32_t codePage = 0;  // 8-bit text
        TSymbolFont symbolFont = TSymbolFont::None;
    };

    // What the walk through one story keeps.
    struct TStoryState {
        TStory story = kMain;
        uint32_t storyStart = 0;
        std::vector<TField> fields;  // the open fields, the innermost last
        size_t fieldOverflow = 0;
        size_t hiding = 0;  // open fields still in their instruction
        uint32_t noteCounter = 0;
    };

    bool Setup();
    bool WalkPart(TStory story, uint32_t start, uint32_t end, std::u16string_view label = {});
    // Calls part(i, start, end) for each entry of a story's PLC, in CP order
    // within the story's range (a PLC whose CPs go back shows no text twice),
    // until part answers false or the text is no longer wanted; the whole
    // range as one part where the PLC has no entry.
    template <typename F>
    void ForEachPart(const TPlc& plc, const TStoryRange& range, F&& part) {
        if (plc.Count() == 0) {
            part(SIZE_MAX, range.start, range.end);
            return;
        }
        uint64_t done = range.start;
        for (size_t i = 0; i < plc.Count() && !out_->Stopped(); ++i) {
            const uint64_t a = std::max<uint64_t>(uint64_t{range.start} + plc.Cp(i), done);
            const uint64_t b = std::min<uint64_t>(uint64_t{range.start} + plc.Cp(i + 1), range.end);
            if (a >= b) continue;
            done = b;
            if (!part(i, static_cast<uint32_t>(a), static_cast<uint32_t>(b))) return;
        }
    }
    void WalkRange(uint32_t cpStart, uint32_t cpEnd, TStoryState& state);
    void Feed(const char16_t* text, size_t n, const TSegmentProps& props, uint32_t fcFirst, uint32_t fcStep,
              uint32_t cpFirst, TStoryState& state);
    void FeedEightBit(const uint8_t* bytes, size_t n, const TSegmentProps& props, uint32_t fc, uint32_t cp,
                      TStoryState& state);
    TSegmentProps PropsAt(const TPiece& piece, uint32_t fc, uint32_t& limit);
    TPap PapAt(const TPiece* piece, uint32_t fc);
    void ApplyPrm(const TPiece& piece, TChp* chp, TPap* pap);
    void DecodeMultiByte(const uint8_t* bytes, size_t n, uint32_t codePage, std::u16string& out) const;
    TParagraphProps OpenParagraph(uint64_t at) override;
    // 1-9 for a heading, 0 for body text.
    int HeadingLevel(const TPap& pap) const;
    void EndParagraph(char16_t mark, uint32_t fc);
    // The piece holding the mark of the paragraph that goes on at fc, in the piece walked.
    const TPiece* MarkPiece(uint32_t fc) const;
    static constexpr int kMaxMarkHops = 64;
    void LineBreak(char16_t c, uint32_t fc);
    void NoteNumber(uint32_t cp, uint32_t fc, TStoryState& state);
    // A field's instruction or its end was read: its kind, and a form field's state.
    void FieldKnown(TField& field);
    // A note's number as Word shows it: its value and number format.
    struct TNoteNumber {
        int32_t value = 1;
        uint8_t nfc = 0;
    };
    std::vector<TNoteNumber> NumberNotes(const TPlc& refs, bool endnotes);
    const TNoteSettings& SectionNotes(size_t section);

    TStoragePtr owned_;  // the storage, when the reader opened it
    TStorage& storage_;
    int32_t cp_;
    bool forceCP_;
    TStreamReading reading_;
    bool opened_ = false;
    TTextAssembler* out_ = nullptr;
    TReadingCost cost_;
    uint64_t cpsTotal_ = 0, cpsWalked_ = 0;  // of the stories, for the line that ends a cut

    TFibInfo fib_;
    std::unique_ptr<TStorageStream> doc_;
    std::unique_ptr<TStorageStream> table_;  // the table stream; Word 6/95: "WordDocument"
    std::unique_ptr<TStorageStream> data_;   // "Data", once a form field or a picture asks for it
    bool dataOpened_ = false;
    TStorageStream* DataStream();
    // A block of the "Data" stream while what all of them cost stays within
    // a budget; past it, empty (fields show their result, pictures no
    // alternative text).
    TBytes ReadData(uint64_t offset, uint64_t size);
    uint64_t dataBudget_ = 16u << 20;
    // A picture's placeholder, with its alternative text where its shape has one.
    std::u16string PicturePlaceholder(uint32_t location);
    // A drawn object's placeholder at a CP of the main text: a picture, or
    // a drawing, with its alternative text where its shape has one.
    std::u16string DrawingPlaceholder(uint32_t cp);
    TPlc spaMom_;
    std::unordered_map<uint32_t, TShape> shapes_;  // of the drawing records, once a drawing asks for them
    bool drawingsRead_ = false;
    TPieceTable pieces_;
    std::vector<std::optional<std::pair<TChpEffect, TPapEffect>>> prcEffects_;
    TRunTable chpx_, papx_;
    TStyleSheet styles_;
    std::vector<TFont> fonts_;
    std::vector<TSymbolFont> symbolFonts_;
    TListTable lists_;
    TPlc ftnRef_, ftnTxt_, ednRef_, ednTxt_, atnRef_, atnTxt_, hdd_;
    TPlc sed_;  // the sections: their CPs and SEDs
    TNoteSettings docNotes_;
    size_t lastSection_ = SIZE_MAX;  // the section whose note settings are at hand
    TNoteSettings lastSectionNotes_;
    uint64_t sepxBudget_ = 16u << 20;                   // bytes of SEPXs still to read at most
    std::vector<TNoteNumber> ftnNumbers_, ednNumbers_;  // per note of the reference PLCs
    TStoryRange ranges_[kStoryCount];

    uint64_t papKey_ = UINT64_MAX - 1;
    TPap papValue_;
    // The piece being walked: its property modifier applies to the paragraph marks in it.
    const TPiece* piece_ = nullptr;

    std::vector<uint8_t> bytes_;
    std::u16string units_;
    std::u16string decoded_;
};

bool TWordReader::Open() {
    if (opened_) return true;
    doc_ = StorageOpenStream(storage_, u"WordDocument", reading_);
    if (!doc_) return false;
    if (!ReadFibInfo(*doc_, fib_)) return false;
    if (fib_.format == TFormat::Word97) {
        table_ = StorageOpenStream(storage_, fib_.tableName);
        if (!table_) return false;
    }
    opened_ = true;
    return true;
}

TReadingResult TWordReader::Read(TTextAssembler& out) {
    out_ = &out;
    if (!Open()) return TReadingResult::NotWord;
    cost_.streamBytes = doc_->Size();
    out.Begin(doc_->Size(), *this);
    // An encrypted document's streams hold no readable text: the converter
    // answers for it as it would without the layout.
    if (fib_.encrypted || !Setup()) return TReadingResult::Fallback;
    if (forceCP_ && pieces_.anyEightBit) CheckForcedCodePage(cp_, forceCP_);

    out.BeginStory(TStoryKind::Main);
    WalkPart(kMain, ranges_[kMain].start, ranges_[kMain].end);
    out.EndStory();

    // The other stories, each under its heading when it shows anything.
    out.BeginStory(TStoryKind::Footnotes);
    WalkPart(kFootnotes, ranges_[kFootnotes].start, ranges_[kFootnotes].end);
    out.EndStory();
    out.BeginStory(TStoryKind::Endnotes);
    WalkPart(kEndnotes, ranges_[kEndnotes].start, ranges_[kEndnotes].end);
    out.EndStory();

    // Each comment with its author's initials.
    out.BeginStory(TStoryKind::Comments);
    ForEachPart(atnTxt_, ranges_[kComments], [&](size_t i, uint32_t a, uint32_t b) {
        std::u16string initials;
        if (i < atnRef_.Count()) {
            // The ATRD begins with the initials: UTF-16 with a count word
            // (Word 97-2003), 8-bit with a count byte (Word 6/95).
            const auto d = atnRef_.Data(i);
            if (fib_.format == TFormat::Word97) {
                const size_t cch = std::min<size_t>(d[0] | d[1] << 8, 9);
                for (size_t k = 0; k < cch; ++k) initials += static_cast<char16_t>(d[2 + 2 * k] | d[3 + 2 * k] << 8);
            } else {
                const size_t cch = std::min<size_t>(d[0], 9);
                if (cch != 0) {
                    if (auto text = PlatformDecode(SystemAnsiCodePage(), d.data() + 1, cch, false))
                        initials = std::move(*text);
                }
            }
            for (char16_t& c : initials)
                if (c < 0x20) c = u' ';
        }
        return WalkPart(kComments, a, b, initials);
    });
    out.EndStory();

    out.BeginStory(TStoryKind::TextBoxes);
    WalkPart(kTextBoxes, ranges_[kTextBoxes].start, ranges_[kTextBoxes].end);
    WalkPart(kHeaderTextBoxes, ranges_[kHeaderTextBoxes].start, ranges_[kHeaderTextBoxes].end);
    out.EndStory();

    // Each header and footer on its own; the separators render empty.
    out.BeginStory(TStoryKind::Headers);
    ForEachPart(hdd_, ranges_[kHeaders],
                [&](size_t, uint32_t a, uint32_t b) { return WalkPart(kHeaders, a, b); });
    out.EndStory();

    out.Finish(cpsTotal_, cpsWalked_);
    cost_.units = out.Units();
    return TReadingResult::Done;
}

bool TWordReader::Setup() {
    const uint64_t docSize = doc_->Size();
    TStorageStream& table = fib_.format == TFormat::Word97 ? *table_ : *doc_;
    auto block = [&](const TFcLcb& at) {
        TBytes bytes = ReadBlock(table, at.fc, at.lcb);
        cost_.blockBytes += bytes.size();
        return bytes;
    };
    // The PLCs read their blocks in place; a block that several of them name is read once.
    std::map<std::pair<uint32_t, uint32_t>, std::shared_ptr<const TBytes>> shared;
    auto plc = [&](const TFcLcb& at, size_t dataSize) {
        auto& bytes = shared[{at.fc, at.lcb}];
        if (!bytes) bytes = std::make_shared<const TBytes>(block(at));
        return TPlc(bytes, dataSize);
    };

    // The piece table; Word 6/95 without one has its text from fcMin to fcMac.
    bool havePieces = false;
    if (fib_.complex) {
        const TBytes clx = block(fib_.clx);
        if (clx.empty() && fib_.format == TFormat::Word97) return false;
        havePieces = !clx.empty() && ReadPieceTable(clx, fib_.format, docSize, pieces_);
        if (!havePieces && fib_.format == TFormat::Word97) return false;
    }
    if (!havePieces) {
        if (fib_.fcMin > fib_.fcMac || fib_.fcMac > docSize || fib_.fcMac == fib_.fcMin) return false;
        pieces_ = {};
        pieces_.pieces.push_back({0, fib_.fcMac - fib_.fcMin, fib_.fcMin, false, 0});
        pieces_.totalBytes = fib_.fcMac - fib_.fcMin;
        pieces_.anyEightBit = true;
    }
    // Pieces that cover the same bytes again and again would make the text
    // grow far beyond the file: the converter reports such a document.
    if (pieces_.totalBytes > docSize) return false;

    chpx_.Read(*doc_, block(fib_.plcfBteChpx), fib_.format, false, fib_.pnChpFirst, fib_.cpnBteChp);
    papx_.Read(*doc_, block(fib_.plcfBtePapx), fib_.format, true, fib_.pnPapFirst, fib_.cpnBtePap);
    cost_.pageBytes = chpx_.PageBytes() + papx_.PageBytes();
    styles_.Read(block(fib_.stshf), fib_.format);
    fonts_ = ReadFonts(block(fib_.sttbfFfn), fib_.format);
    for (const TFont& font : fonts_) symbolFonts_.push_back(SymbolFontOf(font.name, font.charset));
    if (fib_.format == TFormat::Word97 && fib_.plfLst.lcb >= 2) {
        // The levels of the lists follow PlfLst in the table stream, outside lcbPlfLst.
        const uint64_t rest = table.Size() > fib_.plfLst.fc ? table.Size() - fib_.plfLst.fc : 0;
        const TBytes lists = ReadBlock(table, fib_.plfLst.fc, std::min<uint64_t>(rest, 16u << 20));
        cost_.blockBytes += lists.size();
        lists_.Read(lists, block(fib_.plfLfo));
    }

    ftnRef_ = plc(fib_.plcffndRef, 2);
    ftnTxt_ = plc(fib_.plcffndTxt, 0);
    ednRef_ = plc(fib_.plcfendRef, 2);
    ednTxt_ = plc(fib_.plcfendTxt, 0);
    atnRef_ = plc(fib_.plcfandRef, fib_.format == TFormat::Word97 ? 30 : 20);
    atnTxt_ = plc(fib_.plcfandTxt, 0);
    hdd_ = plc(fib_.plcfHdd, 0);

    // The numbers of the auto-numbered notes, by the document's and its sections' settings.
    docNotes_ = ReadNoteSettings(block(fib_.dop), fib_.format);
    if (ftnRef_.Count() != 0 || ednRef_.Count() != 0) sed_ = plc(fib_.plcfSed, 12);
    ftnNumbers_ = NumberNotes(ftnRef_, false);
    ednNumbers_ = NumberNotes(ednRef_, true);

    // The stories follow each other; what the piece table does not cover is not there.
    const uint32_t textEnd = pieces_.pieces.back().cpEnd;
    uint64_t at = 0;
    uint64_t total = 0;
    for (uint32_t ccp : fib_.ccp) total += ccp;
    for (int k = 0; k < kStoryCount; ++k) {
        const uint64_t length = total == 0 && k == kMain ? textEnd : fib_.ccp[k];
        ranges_[k].start = static_cast<uint32_t>(std::min<uint64_t>(at, textEnd));
        ranges_[k].end = static_cast<uint32_t>(std::min<uint64_t>(at + length, textEnd));
        cpsTotal_ += ranges_[k].end - ranges_[k].start;
        at += length;
    }
    // About as long as the text the pieces cover: a hint for the sink's
    // block. Every character takes at least one byte of the stream, so a
    // piece table that claims more says nothing and asks for no block.
    if (textEnd <= doc_->Size()) out_->Expect(textEnd);
    return true;
}

void TWordReader::ApplyPrm(const TPiece& piece, TChp* chp, TPap* pap) {
    if (piece.prm == 0) return;
    if ((piece.prm & 1) != 0) {
        // A Prc's effect is worked out once, however many runs its pieces hold.
        const size_t index = piece.prm >> 1;
        if (index >= pieces_.prcs.size()) return;
        if (prcEffects_.empty()) prcEffects_.resize(pieces_.prcs.size());
        auto& effect = prcEffects_[index];
        if (!effect) {
            effect.emplace(NoChpEffect(), NoPapEffect());
            AddChpGrpprl(effect->first, pieces_.prcs[index], fib_.format);
            AddPapGrpprl(effect->second, pieces_.prcs[index], fib_.format);
        }
        if (chp != nullptr) ApplyChpEffect(*chp, effect->first);
        if (pap != nullptr) ApplyPapEffect(*pap, effect->second);
        return;
    }
    ApplyPrm0(chp, pap, static_cast<uint8_t>((piece.prm >> 1) & 0x7F), static_cast<uint8_t>(piece.prm >> 8));
}

TWordReader::TSegmentProps TWordReader::PropsAt(const TPiece& piece, uint32_t fc, uint32_t& limit) {
    uint32_t chpLimit = UINT32_MAX, papLimit = UINT32_MAX;
    const TRun* chpRun = chpx_.Find(fc, chpLimit);
    const TRun* papRun = papx_.Find(fc, papLimit);
    limit = std::min(chpLimit, papLimit);
    TSegmentProps props;
    props.chp = styles_.ParagraphChp(papRun != nullptr ? papRun->istd : 0);
    if (chpRun != nullptr && chpRun->size != 0) {
        const auto grpprl = chpx_.Grpprl(*chpRun);
        TChp probe;
        ApplyChpGrpprl(probe, grpprl, fib_.format);
        if (probe.istd != 10) styles_.ApplyCharacterStyle(probe.istd, props.chp);
        ApplyChpGrpprl(props.chp, grpprl, fib_.format);
    }
    ApplyPrm(piece, &props.chp, nullptr);
    if (props.chp.font < fonts_.size()) props.symbolFont = symbolFonts_[props.chp.font];
    if (!piece.unicode) {
        if (forceCP_) {
            props.codePage = static_cast<uint32_t>(cp_);
        } else if (fib_.format == TFormat::Word97) {
            props.codePage = 1252;  // compressed text is code page 1252 by definition
        } else {
            uint32_t codePage = 0;
            if (props.chp.font < fonts_.size()) codePage = CodePageOfCharset(fonts_[props.chp.font].charset);
            if (codePage == 0 && fib_.mac) {
                // Mac Word wrote its text in the Mac code page of the script.
                codePage = MacCodePageOf(CodePageOfLanguage(props.chp.lid));
                if (!IsKnownCodePage(codePage)) codePage = 0;
            }
            if (codePage == 0) codePage = CodePageOfLanguage(props.chp.lid);
            if (codePage == 0 || !IsKnownCodePage(codePage)) codePage = SystemAnsiCodePage();
            props.codePage = codePage;
        }
    }
    return props;
}

TPap TWordReader::PapAt(const TPiece* piece, uint32_t fc) {
    uint32_t limit = 0;
    const TRun* run = papx_.Find(fc, limit);
    // Paragraphs one after another mostly have the same properties.
    const uint64_t key =
        run == nullptr ? UINT64_MAX : (uint64_t{run->offset} << 32 | uint64_t{run->size} << 16 | run->istd);
    TPap pap;
    if (key == papKey_) {
        pap = papValue_;
    } else {
        pap = styles_.ParagraphPap(run != nullptr ? run->istd : 0);
        if (run != nullptr) ApplyPapGrpprl(pap, papx_.Grpprl(*run), fib_.format);
        papKey_ = key;
        papValue_ = pap;
    }
    if (piece != nullptr) ApplyPrm(*piece, nullptr, &pap);
    if (pap.inTable && pap.itap <= 0) pap.itap = 1;
    return pap;
}

void TWordReader::DecodeMultiByte(const uint8_t* bytes, size_t n, uint32_t codePage, std::u16string& out) const {
    out.clear();
    if (n == 0) return;
    switch (codePage) {
    case 1200:
        AppendUtf16Bytes(bytes, n, false, out);
        return;
    case 1201:
        AppendUtf16Bytes(bytes, n, true, out);
        return;
    case 65001:
        if (auto text = PlatformDecode(65001, bytes, n, true)) out = std::move(*text);
        return;
    default:
        if (auto text = PlatformDecode(codePage == 0 ? SystemAnsiCodePage() : codePage, bytes, n, false))
            out = std::move(*text);
        return;
    }
}

void TWordReader::WalkRange(uint32_t cpStart, uint32_t cpEnd, TStoryState& state) {
    state.storyStart = cpStart;
    const auto& pieces = pieces_.pieces;
    auto it = std::upper_bound(pieces.begin(), pieces.end(), cpStart,
                               [](uint32_t cp, const TPiece& p) { return cp < p.cpEnd; });
    const uint64_t docSize = doc_->Size();
    for (; it != pieces.end() && it->cpStart < cpEnd && !out_->Stopped(); ++it) {
        const TPiece& piece = *it;
        piece_ = &piece;
        const uint32_t a = std::max(cpStart, piece.cpStart);
        const uint32_t b = std::min(cpEnd, piece.cpEnd);
        const uint32_t step = piece.unicode ? 2 : 1;
        uint64_t fc = piece.fc + uint64_t{a - piece.cpStart} * step;
        uint32_t cp = a;
        while (cp < b && !out_->Stopped()) {
            // The text is read in large parts, whatever its runs.
            if (fc >= docSize || fc > UINT32_MAX - step) return;
            const size_t chars = static_cast<size_t>(
                std::min<uint64_t>({uint64_t{b - cp}, kChunkChars, (docSize - fc) / step, (UINT32_MAX - fc) / step}));
            if (chars == 0) return;
            const size_t bytes = chars * step;
            if (piece.unicode) {
                units_.resize(chars);
                if (doc_->ReadAt(fc, units_.data(), bytes) != bytes) return;
                if constexpr (std::endian::native == std::endian::big) {
                    for (char16_t& u : units_) u = static_cast<char16_t>(u >> 8 | u << 8);
                }
            } else {
                bytes_.resize(bytes);
                if (doc_->ReadAt(fc, bytes_.data(), bytes) != bytes) return;
            }
            // Then handed on run by run, each with its properties; between
            // runs the layout asks whether it is still wanted, so that hidden
            // text, which is never handed over, does not keep it going.
            size_t at = 0;
            while (at < chars && !out_->Stopped()) {
                if (!out_->Wanted()) break;
                const auto fcHere = static_cast<uint32_t>(fc + at * step);
                uint32_t limit = 0;
                const TSegmentProps props = PropsAt(piece, fcHere, limit);
                size_t n = chars - at;
                if (limit > fcHere) n = std::min<size_t>(n, std::max<size_t>((limit - fcHere) / step, 1));
                const auto cpHere = static_cast<uint32_t>(cp + at);
                if (piece.unicode) {
                    Feed(units_.data() + at, n, props, fcHere, 2, cpHere, state);
                } else {
                    FeedEightBit(bytes_.data() + at, n, props, fcHere, cpHere, state);
                }
                at += n;
            }
            fc += bytes;
            cp += static_cast<uint32_t>(chars);
            cpsWalked_ += chars;
        }
    }
}

void TWordReader::FeedEightBit(const uint8_t* bytes, size_t n, const TSegmentProps& props, uint32_t fc, uint32_t cp,
                           TStoryState& state) {
    if (const TSingleByteTable* table = SingleByteTable(props.codePage)) {
        decoded_.resize(n);
        for (size_t i = 0; i < n; ++i) decoded_[i] = (*table)[bytes[i]];
        Feed(decoded_.data(), n, props, fc, 1, cp, state);
        return;
    }
    // A code page of several bytes a character: decoded a paragraph at a
    // time, each part ending at its mark, whose position is then known.
    size_t start = 0;
    while (start < n && !out_->Stopped()) {
        size_t end = start;
        while (end < n && bytes[end] != kParaMark && bytes[end] != kCellMark) ++end;
        if (end < n) ++end;
        DecodeMultiByte(bytes + start, end - start, props.codePage, decoded_);
        Feed(decoded_.data(), decoded_.size(), props, fc + static_cast<uint32_t>(end - 1), 0,
             cp + static_cast<uint32_t>(start), state);
        start = end;
    }
}

void TWordReader::Feed(const char16_t* text, size_t n, const TSegmentProps& props, uint32_t fcFirst, uint32_t fcStep,
                   uint32_t cpFirst, TStoryState& state) {
    const TChp& chp = props.chp;
    const bool hidden = chp.vanish || chp.rmarkDel;
    const bool symbolRun = props.symbolFont != TSymbolFont::None;
    size_t i = 0;
    while (i < n) {
        // Plain text up to the next character that needs a look.
        size_t j = i;
        if (!symbolRun) {
            j = PlainRunEnd(text, i, n);
        } else {
            while (j < n && text[j] >= 0x20 && !(text[j] >= 0xF000 && text[j] <= 0xF0FF)) ++j;
        }
        if (j > i) {
            if (state.hiding != 0 && state.fieldOverflow == 0 && !state.fields.back().separated)
                state.fields.back().Keep(text + i, j - i);
            if (!hidden && state.hiding == 0 && !chp.spec && !chp.symbol) {
                out_->Text(text + i, j - i, fcFirst + static_cast<uint32_t>(i) * fcStep);
            } else if (!hidden && state.hiding == 0 && chp.symbol) {
                // A symbol character shows as its font's Unicode character or not at all.
                TSymbolFont font = TSymbolFont::None;
                if (chp.symbolFont < symbolFonts_.size()) font = symbolFonts_[chp.symbolFont];
                const char16_t shown = SymbolToUnicode(font, chp.symbolChar);
                if (shown >= 0x20) out_->Repeat(shown, j - i, fcFirst + static_cast<uint32_t>(i) * fcStep);
            }
            i = j;
            if (i == n) break;
        }
        const char16_t c = text[i];
        const uint32_t fc = fcFirst + static_cast<uint32_t>(i) * fcStep;
        const uint32_t cp = cpFirst + static_cast<uint32_t>(i);
        ++i;
        if (c == kFieldBegin) {
            if (state.fields.size() < kMaxFieldDepth) {
                state.fields.emplace_back();
                ++state.hiding;
            } else {
                ++state.fieldOverflow;
            }
            continue;
        }
        if (c == kFieldSeparator) {
            if (state.fieldOverflow == 0 && !state.fields.empty() && !state.fields.back().separated) {
                TField& field = state.fields.back();
                field.separated = true;
                FieldKnown(field);
                // A form field that shows its state keeps its result to itself.
                if (!field.replaced) --state.hiding;
            }
            continue;
        }
        if (c == kFieldEnd) {
            if (state.fieldOverflow > 0) {
                --state.fieldOverflow;
            } else if (!state.fields.empty()) {
                TField& field = state.fields.back();
                if (!field.separated) FieldKnown(field);
                if (!field.separated || field.replaced) --state.hiding;
                if (field.replaced && !field.state.empty() && !hidden && state.hiding == 0) out_->Text(field.state, fc);
                if (field.kind == TFieldKind::Embed && !hidden && state.hiding == 0) {
                    // An embedded object stands for its class: "[object: Equation.3]".
                    const std::u16string_view name = field.Word(1);
                    out_->Placeholder(name.empty() ? u"[object]" : u"[object: " + std::u16string(name) + u"]");
                }
                state.fields.pop_back();
            }
            continue;
        }
        if (c == kPicture && state.hiding != 0 && state.fieldOverflow == 0 && !state.fields.back().separated &&
            chp.picLocation != kNoPicLocation) {
            // A form field's data character.
            state.fields.back().data = chp.picLocation;
            continue;
        }
        if (c == kCellMark) {
            EndParagraph(c, fc);
            continue;
        }
        if (c == kParaMark && chp.vanish && !chp.rmarkDel && state.hiding == 0) {
            // A hidden paragraph mark: Word shows the two paragraphs as one.
            out_->JoinParagraph();
            continue;
        }
        if (hidden || state.hiding != 0) continue;
        if (c == kParaMark) {
            EndParagraph(c, fc);
            continue;
        }
        if (chp.symbol) continue;
        if (chp.spec) {
            if (c == kNoteRef) {
                NoteNumber(cp, fc, state);
            } else if (c == kPicture) {
                // An embedded object's picture is the object's.
                const bool object = state.fieldOverflow == 0 && !state.fields.empty() &&
                                    state.fields.back().kind == TFieldKind::Embed;
                // Looked up only while the document shows no text: past that it will not show.
                if (!object && out_->PlaceholdersWanted()) out_->Placeholder(PicturePlaceholder(chp.picLocation));
            } else if (c == kDrawnObject) {
                if (out_->PlaceholdersWanted())
                    out_->Placeholder(state.story == kMain ? DrawingPlaceholder(cp) : std::u16string(u"[drawing]"));
            }
            continue;  // annotation marks and the rest
        }
        switch (c) {
        case kTab:
            out_->Tab(fc);
            break;
        case kLineBreak:
        case kPageBreak:
        case kColumnBreak:
            LineBreak(c, fc);
            break;
        case kNonBreakingHyphen:
            out_->Text(u"-", fc);
            break;
        default:
            if (c >= 0xF000 && c <= 0xF0FF) {
                const char16_t shown = SymbolToUnicode(props.symbolFont, c);
                if (shown >= 0x20) out_->Text(&shown, 1, fc);
            }
            break;  // other control characters are not shown
        }
    }
}

TParagraphProps TWordReader::OpenParagraph(uint64_t at) {
    TParagraphProps paragraph;
    const bool lists = fib_.format == TFormat::Word97 && lists_.ListCount() != 0;
    // Without paragraph runs, whether the paragraph is in a table is not known.
    paragraph.tableDepth = -1;
    if (papx_.Count() == 0 && !lists) return paragraph;
    const auto fc = static_cast<uint32_t>(at);
    const TPiece* piece = MarkPiece(fc);
    const TPap pap = PapAt(piece, piece == piece_ ? fc : piece->fc);
    if (papx_.Count() != 0) paragraph.tableDepth = pap.itap > 0 ? pap.itap : 0;
    if (lists && pap.ilfo != 0) paragraph.label = lists_.Number(pap.ilfo, pap.ilvl);
    paragraph.headingLevel = HeadingLevel(pap);
    return paragraph;
}

int TWordReader::HeadingLevel(const TPap& pap) const {
    // Word 97-2003: the outline level the paragraph or its styles set (a
    // heading's 0-8, or body text) wins over its style being a heading.
    if (fib_.format == TFormat::Word97 && pap.outlineLevel <= 9) return pap.outlineLevel < 9 ? pap.outlineLevel + 1 : 0;
    const uint16_t sti = styles_.Sti(pap.istd);
    return sti >= 1 && sti <= 9 ? sti : 0;  // Heading 1-9
}

const TPiece* TWordReader::MarkPiece(uint32_t fc) const {
    // A paragraph run ends after its mark: while the run at fc goes past the
    // piece's text, the paragraph goes on in the next piece (a fast-saved
    // document's text is out of file order).
    const TPiece* piece = piece_;
    if (piece == nullptr) return piece;
    const TPiece* const end = pieces_.pieces.data() + pieces_.pieces.size();
    for (int hop = 0; hop < kMaxMarkHops; ++hop) {
        uint32_t limit = 0;
        const TRun* run = papx_.Find(fc, limit);
        if (run == nullptr) break;
        const uint64_t pieceEnd = uint64_t{piece->fc} + uint64_t{piece->cpEnd - piece->cpStart} * (piece->unicode ? 2 : 1);
        if (run->fcEnd <= pieceEnd || piece + 1 >= end) break;
        ++piece;
        fc = piece->fc;
    }
    return piece;
}

void TWordReader::EndParagraph(char16_t mark, uint32_t fc) {
    const TPap pap = PapAt(piece_, fc);
    // A drop cap's letter is a paragraph of its own that Word shows as the next one's start.
    if (mark != kCellMark && pap.dropCap != 0 && pap.itap <= 0) return;
    if (mark != kCellMark) {
        // A nested table's cells and rows end with paragraph marks.
        if (pap.itap >= 2 && pap.innerTtp) {
            out_->RowEnd(pap.itap);
        } else if (pap.itap >= 2 && pap.innerCell) {
            out_->CellEnd(pap.itap);
        } else {
            out_->ParagraphEnd(pap.itap > 0 ? pap.itap : 0);
        }
    } else if (pap.ttp || (pap.itap <= 1 && pap.innerTtp)) {
        out_->RowEnd();
    } else {
        out_->CellEnd();
    }
}

void TWordReader::LineBreak(char16_t c, uint32_t fc) {
    const TPap pap = PapAt(piece_, fc);
    const TBreak kind = c == kPageBreak ? TBreak::Page : c == kColumnBreak ? TBreak::Column : TBreak::Line;
    out_->Break(kind, pap.itap > 0 ? pap.itap : 0, fc);
}

const TNoteSettings& TWordReader::SectionNotes(size_t section) {
    // Word 6/95 sections hold no note settings; a reference before or past the
    // sections takes the document's.
    if (fib_.format != TFormat::Word97 || section >= sed_.Count()) return docNotes_;
    // Notes come in CP order, section after section: the last one's settings are kept.
    if (section == lastSection_) return lastSectionNotes_;
    lastSection_ = section;
    lastSectionNotes_ = docNotes_;
    const uint32_t fcSepx = LoadU32(sed_.Data(section).data() + 2);  // after fn; then fnMpr, fcMpr
    // The SEPX: a count word, then the grpprl; none for 0xFFFFFFFF. What the
    // SEPXs may cost in all is bounded: past it, sections take the document's settings.
    const TBytes cb = fcSepx == 0xFFFFFFFFu || sepxBudget_ < 2 ? TBytes{} : ReadBlock(*doc_, fcSepx, 2);
    if (cb.size() != 2) return lastSectionNotes_;
    const size_t size = cb[0] | cb[1] << 8;
    if (2 + size > sepxBudget_) {
        sepxBudget_ = 0;
        return lastSectionNotes_;
    }
    sepxBudget_ -= 2 + size;
    ApplySectionNoteSprms(lastSectionNotes_, ReadBlock(*doc_, uint64_t{fcSepx} + 2, size));
    return lastSectionNotes_;
}

std::vector<TWordReader::TNoteNumber> TWordReader::NumberNotes(const TPlc& refs, bool endnotes) {
    std::vector<TNoteNumber> numbers;
    numbers.reserve(refs.Count());
    int64_t last = 0;  // the last number given
    bool started = false;
    size_t lastSection = SIZE_MAX;
    for (size_t i = 0; i < refs.Count(); ++i) {
        if (i % 4096 == 0 && out_->Full()) break;  // not wanted any more: nothing will be shown
        // The section holding the reference.
        size_t section = SIZE_MAX;
        if (sed_.Count() != 0) section = sed_.EntryAt(refs.Cp(i), false).value_or(0);
        const TNoteSettings& settings = SectionNotes(section);
        const TNoteNumbering& rule = endnotes ? settings.endnotes : settings.footnotes;
        // Numbering starts again at a new section when the section asks for it;
        // a restart at each page is beyond a layout without pages: it counts on.
        const bool restart = !started || (rule.restart == 1 && section != lastSection);
        const int64_t value = restart ? int64_t{rule.start} : std::min<int64_t>(last + 1, INT32_MAX);
        numbers.push_back({static_cast<int32_t>(value), rule.nfc});
        // A note with a mark of its own (a zero in the PLC) takes no number.
        const auto d = refs.Data(i);
        if ((d[0] | d[1]) != 0) {
            last = value;
            started = true;
            lastSection = section;
        }
    }
    return numbers;
}

void TWordReader::NoteNumber(uint32_t cp, uint32_t fc, TStoryState& state) {
    auto shown = [](const std::vector<TNoteNumber>& numbers, size_t i, const TNoteNumbering& rule) {
        if (i < numbers.size()) return FormatNumber(numbers[i].value, numbers[i].nfc);
        // A note the reference PLC does not hold: counted from the document's first number.
        return FormatNumber(static_cast<int32_t>(std::min<uint64_t>(uint64_t{rule.start} + i, INT32_MAX)), rule.nfc);
    };
    std::u16string number;
    switch (state.story) {
    case kMain:
        if (auto i = ftnRef_.EntryAt(cp, true)) {
            number = shown(ftnNumbers_, *i, docNotes_.footnotes);
        } else if (auto k = ednRef_.EntryAt(cp, true)) {
            number = shown(ednNumbers_, *k, docNotes_.endnotes);
        } else {
            number = shown({}, state.noteCounter++, docNotes_.footnotes);
        }
        break;
    case kFootnotes:
    case kEndnotes: {
        const bool foot = state.story == kFootnotes;
        const TPlc& txt = foot ? ftnTxt_ : ednTxt_;
        const auto& numbers = foot ? ftnNumbers_ : ednNumbers_;
        const TNoteNumbering& rule = foot ? docNotes_.footnotes : docNotes_.endnotes;
        if (auto i = txt.EntryAt(cp - ranges_[state.story].start, false)) {
            number = shown(numbers, *i, rule);
        } else {
            number = shown({}, state.noteCounter++, rule);
        }
        break;
    }
    default:
        return;
    }
    out_->NoteReference(number, fc);
}

TStorageStream* TWordReader::DataStream() {
    if (!dataOpened_) {
        dataOpened_ = true;
        data_ = StorageOpenStream(storage_, u"Data");
    }
    return data_.get();
}

TBytes TWordReader::ReadData(uint64_t offset, uint64_t size) {
    if (size > dataBudget_) {
        dataBudget_ = 0;
        return {};
    }
    dataBudget_ -= size;
    TBytes bytes = ReadBlock(*data_, offset, size);
    cost_.blockBytes += bytes.size();
    return bytes;
}

std::u16string TWordReader::PicturePlaceholder(uint32_t location) {
    std::u16string alt;
    if (fib_.format == TFormat::Word97 && location != kNoPicLocation && DataStream() != nullptr) {
        // The picture's header (PICF, 0x44 bytes: its size, its own size, the
        // mapping mode), then its shape; what follows, the picture itself, is not read.
        const TBytes head = ReadData(location, 8);
        constexpr uint32_t kHeader = 0x44;
        if (head.size() == 8 && (head[4] | head[5] << 8) == kHeader && LoadU32(head.data()) > kHeader) {
            // As much of it as the stream holds.
            const uint64_t size = std::min<uint64_t>({LoadU32(head.data()), kMaxShapeBytes, data_->Size() - location});
            const TBytes bytes = ReadData(location, size);
            // In the shape file format a name comes first: its length, then its bytes.
            size_t at = kHeader;
            if ((head[6] | head[7] << 8) == 0x66 && at < bytes.size()) at += 1 + bytes[at];
            if (at < bytes.size()) {
                if (auto shape = ShapeAt(std::span<const uint8_t>(bytes).subspan(at))) alt = std::move(shape->alt);
            }
        }
    }
    return alt.empty() ? u"[picture]" : u"[picture: " + alt + u"]";
}

std::u16string TWordReader::DrawingPlaceholder(uint32_t cp) {
    const TShape* shape = nullptr;
    if (fib_.format == TFormat::Word97) {
        if (!drawingsRead_) {
            drawingsRead_ = true;
            // The anchors (FSPA: the shape's id first) and the drawing records, both in the table stream.
            spaMom_ = TPlc(std::make_shared<const TBytes>(ReadBlock(*table_, fib_.plcSpaMom.fc, fib_.plcSpaMom.lcb)), 26);
            if (spaMom_.Count() != 0) {
                const TBytes drawings = ReadBlock(*table_, fib_.dggInfo.fc, fib_.dggInfo.lcb, kMaxDrawingBytes);
                cost_.blockBytes += drawings.size();
                shapes_ = ReadShapes(drawings);
            }
        }
        if (auto i = spaMom_.EntryAt(cp, true)) {
            auto it = shapes_.find(LoadU32(spaMom_.Data(*i).data()));
            if (it != shapes_.end()) shape = &it->second;
        }
    }
    const std::u16string kind = shape != nullptr && shape->picture ? u"picture" : u"drawing";
    if (shape == nullptr || shape->alt.empty()) return u"[" + kind + u"]";
    return u"[" + kind + u": " + shape->alt + u"]";
}

void TWordReader::FieldKnown(TField& field) {
    field.Classify();
    if ((field.kind != TFieldKind::CheckBox && field.kind != TFieldKind::DropDown) || field.data == kNoPicLocation ||
        fib_.format != TFormat::Word97)
        return;
    if (DataStream() == nullptr) return;
    // The FFData follows a header of 0x44 bytes that begins with the size of both.
    const TBytes head = ReadData(field.data, 6);
    if (head.size() != 6) return;
    const uint32_t size = LoadU32(head.data());
    constexpr uint32_t kHeader = 0x44;
    if ((head[4] | head[5] << 8) != kHeader || size <= kHeader || size > kMaxFormFieldBytes) return;
    const TBytes bytes = ReadData(uint64_t{field.data} + kHeader, size - kHeader);
    if (auto state = FormFieldState(bytes, field.kind)) {
        field.state = std::move(*state);
        field.replaced = true;
    }
}

bool TWordReader::WalkPart(TStory story, uint32_t start, uint32_t end, std::u16string_view label) {
    if (!out_->BeginPart(label)) return false;
    // Fields left open end with the part.
    TStoryState state;
    state.story = story;
    if (start < end) WalkRange(start, end, state);
    out_->EndPart();
    return true;
}

}  // namespace

std::unique_ptr<TDocumentReader> OpenWordReader(TStoragePtr storage, int32_t cp, bool forceCP,
                                                TStreamReading reading) {
    auto reader = std::make_unique<TWordReader>(std::move(storage), cp, forceCP, reading);
    if (!reader->Open()) return nullptr;
    return reader;
}

TReadingResult ExtractReadingLayout(TStorage& storage, int32_t cp, bool forceCP, TTextSink& sink,
                                    const std::function<bool()>& full, TStreamReading reading) {
    TReadingCost cost;
    return ExtractReadingLayout(storage, cp, forceCP, sink, full, reading, cost);
}

TReadingResult ExtractReadingLayout(TStorage& storage, int32_t cp, bool forceCP, TTextSink& sink,
                                    const std::function<bool()>& full, TStreamReading reading, TReadingCost& cost) {
    TWordReader reader(storage, cp, forceCP, reading);
    TTextAssembler out(sink, full);
    const TReadingResult result = reader.Read(out);
    cost = reader.Cost();
    cost.characters = reader.Walked();
    return result;
}

void UseReadingLayout(TWordConverter& converter, bool on) {
    converter.SetTextStage(on ? TTextStage(
                                    [](TStorage& storage, int32_t cp, bool forceCP, TTextSink& sink,
                                       const std::function<bool()>& full, TStreamReading reading) {
                                        return ExtractReadingLayout(storage, cp, forceCP, sink, full, reading);
                                    })
                              : TTextStage());
}

}  // namespace pagelet
