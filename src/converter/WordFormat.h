#pragma once

// The structures of a Word binary document, read in one place for the plain
// text (converter/WordConverter.h), the FIB pre-check (converter/WordFib.h)
// and the reading layout (loading/ReadingLayout.h): the FIB with its story
// lengths and table locations, the CLX and its piece table, the rule for a
// forced code page, the character and paragraph runs of the FKPs, the
// stylesheet, the font table and the PLCs, in the Word 97-2003 layout and
// in the Word 6/95 layout. Every structure is read through checked reads
// (common/ByteReader.h). The reading layout leaves out what does not fit in
// its stream (a run, a style, a font); the plain text reads the fields of
// the FIB and the CLX that the end of their stream cuts short as zeros.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "common/ByteReader.h"
#include "converter/CompoundFile.h"

namespace pagelet::word {

using TBytes = std::vector<uint8_t>;

// Which layout the document's structures have.
enum class TFormat { Word97, Word6 };

// A block of a stream: [fc, fc + lcb) when it lies wholly in the stream and
// is no larger than maxBytes; otherwise empty.
TBytes ReadBlock(TStorageStream& stream, uint64_t fc, uint64_t lcb, uint64_t maxBytes = 64u << 20);

// --- FIB -------------------------------------------------------------------

constexpr uint16_t kWIdentWord97 = 0xA5EC;
constexpr uint16_t kWIdentWord6 = 0xA5DC;

// Bits of the FIB's flags word (at 0x0A in both layouts).
constexpr uint16_t kFibComplex = 0x0004;             // fComplex (Word 6/95: a piece table)
constexpr uint16_t kFibEncrypted = 0x0100;           // fEncrypted: a password opens the document
constexpr uint16_t kFibWhichTblStm = 0x0200;         // fWhichTblStm: "1Table", else "0Table"
constexpr uint16_t kFibWriteReservation = 0x0800;    // fWriteReservation: a password opens it for writing

// The head of the FIB as the plain text and the pre-check read it: fields at
// their fixed offsets, the bytes beyond the end of the stream read as zero.
struct TFibHead {
    size_t bytes = 0;  // how many bytes of the head the stream holds
    uint16_t wIdent = 0;
    uint16_t flags = 0;
    uint32_t fcMin = 0, fcMac = 0;   // Word 6/95: the text when there is no piece table
    uint32_t fcClx = 0, lcbClx = 0;  // Word 97-2003: the CLX in the table stream
    std::u16string TableName() const;
};
TFibHead ReadFibHead(TStorageStream& doc);


// The stories of the document in character-position order.
enum TStory { kMain, kFootnotes, kHeaders, kMacros, kComments, kEndnotes, kTextBoxes, kHeaderTextBoxes, kStoryCount };

struct TFcLcb {
    uint32_t fc = 0;
    uint32_t lcb = 0;
};

struct TFibInfo {
    TFormat format = TFormat::Word97;
    bool complex = false;           // Word 6/95: the text is given by a piece table
    std::u16string tableName;       // Word 97-2003: "0Table" or "1Table"
    uint32_t fcMin = 0, fcMac = 0;  // Word 6/95: the text when there is no piece table
    bool encrypted = false;         // fEncrypted: the streams are not readable without the password
    bool mac = false;               // Word 6/95: envr 1, made by Mac Word (8-bit text in a Mac code page)
    uint32_t ccp[kStoryCount] = {};
    TFcLcb clx, stshf, plcfBteChpx, plcfBtePapx, sttbfFfn;
    TFcLcb plcffndRef, plcffndTxt, plcfendRef, plcfendTxt, plcfandRef, plcfandTxt, plcfHdd;
    TFcLcb plfLst, plfLfo, grpXstAtnOwners;
    TFcLcb dop, plcfSed;
    TFcLcb plcSpaMom, dggInfo;  // Word 97-2003: the main text's shapes and their drawing records
    // Word 6/95: pages of the FKPs that the bin tables may leave out.
    uint16_t pnChpFirst = 0, cpnBteChp = 0, pnPapFirst = 0, cpnBtePap = 0;
};

// Reads the FIB of "WordDocument"; false for a wIdent that is neither layout.
bool ReadFibInfo(TStorageStream& doc, TFibInfo& fib);

// --- sprms and properties --------------------------------------------------

// The character properties the reading layout looks at.
struct TChp {
    bool vanish = false;
    bool rmarkDel = false;
    bool spec = false;
    bool obj = false;
    bool symbol = false;
    uint16_t symbolFont = 0;
    char16_t symbolChar = 0;
    uint16_t font = 0;      // the font of ASCII text (ftc / rgftc[0])
    uint16_t lid = 0x0400;  // language; 0x0400 is none
    uint16_t istd = 10;     // character style
    // A picture or field data character's place: an offset in the "Data"
    // stream (Word 97-2003) or in "WordDocument" (Word 6/95); kNoPicLocation for none.
    uint32_t picLocation = 0xFFFFFFFFu;
};
constexpr uint32_t kNoPicLocation = 0xFFFFFFFFu;

// An outline level no property list set.
constexpr uint8_t kNoOutlineLevel = 0xFF;

// The paragraph properties the reading layout looks at.
struct TPap {
    uint16_t istd = 0;
    bool inTable = false;
    bool ttp = false;
    bool innerCell = false;
    bool innerTtp = false;
    int32_t itap = 0;
    uint16_t ilfo = 0;
    uint8_t ilvl = 0;
    uint8_t dropCap = 0;  // the drop cap's kind (fdct): 0 none, 1 in the text, 2 in the margin
    uint8_t outlineLevel = kNoOutlineLevel;  // 0-8 a heading's, 9 body text (Word 97-2003)
};

// What a property list (or a chain of them) does to the properties, worked
// out once so that applying it costs the same however long the lists are.
// Each sprm the layout reads sets its field, leaves it, toggles it (vanish)
// or adds to it (table depth), and a field depends on no other field: so the
// lists applied over two different starting points tell each field's effect.
struct TChpEffect {
    TChp low, high;
};
struct TPapEffect {
    TPap low, high;
};
TChpEffect NoChpEffect();
TPapEffect NoPapEffect();
// Applies the grpprl after what the effect already does.
void AddChpGrpprl(TChpEffect& effect, std::span<const uint8_t> grpprl, TFormat format);
void AddPapGrpprl(TPapEffect& effect, std::span<const uint8_t> grpprl, TFormat format);
void ApplyChpEffect(TChp& chp, const TChpEffect& effect);
void ApplyPapEffect(TPap& pap, const TPapEffect& effect);

// Calls apply(opcode, operand) for each sprm of grpprl, in order, and stops
// at one whose operand runs past the end (or, in the Word 6/95 layout, an
// opcode of unknown size). Word 6/95 opcodes are one byte.
template <typename F>
void ForEachSprm(std::span<const uint8_t> grpprl, TFormat format, F&& apply);

size_t SprmOperandSize(std::span<const uint8_t> grpprl, size_t at, TFormat format, uint16_t& opcode,
                       size_t& operandStart);

void ApplyChpSprm(TChp& chp, uint16_t opcode, std::span<const uint8_t> operand, TFormat format);
void ApplyPapSprm(TPap& pap, uint16_t opcode, std::span<const uint8_t> operand, TFormat format);
void ApplyChpGrpprl(TChp& chp, std::span<const uint8_t> grpprl, TFormat format);
void ApplyPapGrpprl(TPap& pap, std::span<const uint8_t> grpprl, TFormat format);

// A Prm0 (a piece's single sprm): its index names a Word 6/95 opcode.
void ApplyPrm0(TChp* chp, TPap* pap, uint8_t isprm, uint8_t value);

template <typename F>
void ForEachSprm(std::span<const uint8_t> grpprl, TFormat format, F&& apply) {
    size_t at = 0;
    while (at < grpprl.size()) {
        uint16_t opcode = 0;
        size_t start = 0;
        const size_t size = SprmOperandSize(grpprl, at, format, opcode, start);
        if (size == SIZE_MAX || start > grpprl.size() || size > grpprl.size() - start) return;
        apply(opcode, grpprl.subspan(start, size));
        at = start + size;
    }
}

// --- code page -------------------------------------------------------------

// Whether 8-bit text can be decoded in a forced code page: 0 (the system's),
// UTF-16 (1200, 1201), UTF-8 (65001) and the code pages the platform knows;
// "Invalid code page" (EPagelet) otherwise. Nothing to check without forceCP.
void CheckForcedCodePage(int32_t cp, bool forceCP);

// --- CLX and piece table ----------------------------------------------------

// clxt values of the CLX entries.
constexpr uint8_t kClxtSkip = 0x00;  // a padding byte follows
constexpr uint8_t kClxtPrc = 0x01;   // cbGrpprl, then a grpprl
constexpr uint8_t kClxtPcdt = 0x02;  // lcb, then the PlcPcd

// An 8-bit piece of a Word 97-2003 piece table (FcCompressed) stores twice
// its offset with this bit set.
constexpr uint32_t kFcCompressed = 0x40000000;
inline bool IsCompressedFc(uint32_t fc) { return (fc & kFcCompressed) != 0; }
// Where a piece's text starts in "WordDocument": only the FcCompressed bit is
// cleared, so bit 31 moves to bit 30.
inline uint32_t PieceFileOffset(uint32_t fc) { return IsCompressedFc(fc) ? (fc & ~kFcCompressed) >> 1 : fc; }

constexpr size_t kPcdSize = 8;  // a piece descriptor in the PlcPcd
constexpr size_t kCpSize = 4;

// Walks the CLX entries that start below `end`, from the reader's position:
// calls prc(entryAt, cbGrpprl) with the reader after the count word and
// pcdt(entryAt, lcb) with the reader after the length, each leaving the
// reader where the next entry starts or answering false to end the walk. A
// clxt 0 entry is two bytes, any other unknown one byte. The fields of an
// entry that the end of the bytes cuts short read as zero.
template <typename Prc, typename Pcdt>
void WalkClx(TByteReader& clx, uint64_t end, Prc&& prc, Pcdt&& pcdt) {
    while (clx.Position() < end) {
        const uint64_t at = clx.Position();
        const uint8_t clxt = clx.ReadZeroFilled<uint8_t>();
        if (clxt == kClxtPrc) {
            if (!prc(at, static_cast<int16_t>(clx.ReadZeroFilled<uint16_t>()))) return;
        } else if (clxt == kClxtPcdt) {
            if (!pcdt(at, clx.ReadZeroFilled<uint32_t>())) return;
        } else if (clxt == kClxtSkip) {
            clx.Seek(at + 2);
        }
    }
}

// A piece of the plain text: [start, end) of "WordDocument".
struct TTextPiece {
    uint64_t start = 0;
    uint64_t end = 0;
    bool unicode = false;
};

struct TTextPieces {
    std::vector<TTextPiece> pieces;  // in piece-table order, none empty
    uint64_t totalUnits = 0;         // code units before decoding: 8-bit bytes and UTF-16 units
    bool eightBit = false;
};

// The pieces of the plain text from the CLX at [fcClx, fcClx + lcbClx) of the
// table stream (Word 97-2003). The walk ends there or at the end of the
// table stream; an entry that starts below that bound is read in full; a
// later Pcdt replaces an earlier one. A piece that runs past the end of
// "WordDocument" (docSize bytes) is cut there (a UTF-16 piece to whole code
// units); one whose next character position lies below its own, or that
// starts beyond the stream, is left out. Throws EPagelet: "Range check
// error" for a negative cbGrpprl; a note on the damage for a piece table that
// does not fit in the table stream or whose pieces cover more bytes than
// "WordDocument" holds.
TTextPieces ReadTextPieces(std::span<const uint8_t> table, uint32_t fcClx, uint32_t lcbClx, uint64_t docSize);


struct TPiece {
    uint32_t cpStart = 0, cpEnd = 0;
    uint32_t fc = 0;  // where the text starts in "WordDocument"
    bool unicode = false;
    uint16_t prm = 0;
};

struct TPieceTable {
    std::vector<TPiece> pieces;  // in CP order, without empty pieces
    std::vector<TBytes> prcs;    // the grpprls of the CLX's Prc entries
    uint64_t totalBytes = 0;     // what all pieces cover in "WordDocument"
    bool anyEightBit = false;
};

// Reads the CLX (clx lies in `table`). False when there is no usable piece table.
bool ReadPieceTable(const TBytes& clx, TFormat format, uint64_t docSize, TPieceTable& out);

// --- FKP runs --------------------------------------------------------------

struct TRun {
    uint32_t fcStart = 0, fcEnd = 0;
    uint32_t offset = 0;  // of the grpprl in the pool of pages
    uint16_t size = 0;
    uint16_t istd = 0;  // paragraph runs: the paragraph's style
};

// The runs of the CHPX or PAPX FKPs, sorted by fcStart. A page's property
// lists are kept once and its runs point into them, however they overlap.
class TRunTable {
public:
    // Reads the bin table (plcfBte lies in `table`) and its FKPs from doc.
    void Read(TStorageStream& doc, const TBytes& plcfBte, TFormat format, bool paragraphs, uint16_t pnFirst,
              uint16_t cpnBte);
    // The run holding fc, or nullptr; `limit` becomes the FC where the answer changes.
    const TRun* Find(uint32_t fc, uint32_t& limit) const;
    std::span<const uint8_t> Grpprl(const TRun& run) const { return {pool_.data() + run.offset, run.size}; }
    size_t Count() const { return runs_.size(); }
    size_t PageBytes() const { return pool_.size(); }

private:
    void ReadPage(const uint8_t* page, TFormat format, bool paragraphs);
    std::vector<TRun> runs_;
    TBytes pool_;
    mutable size_t hint_ = 0;  // where the last answer was: text is read in order
};

// --- stylesheet and fonts --------------------------------------------------

class TStyleSheet {
public:
    void Read(const TBytes& stsh, TFormat format);
    // The properties a paragraph of style istd starts from.
    TChp ParagraphChp(uint16_t istd) const;
    TPap ParagraphPap(uint16_t istd) const;
    // Applies character style istd (and its bases) on top of chp.
    void ApplyCharacterStyle(uint16_t istd, TChp& chp) const;
    // The style's built-in identifier (sti: 0 Normal, 1-9 Heading 1-9, 0x0FFE
    // a user's style); 0x0FFF for no style.
    uint16_t Sti(uint16_t istd) const;
    size_t Count() const { return styles_.size(); }

private:
    struct TStyle {
        bool present = false;
        uint8_t sgc = 0;
        uint16_t sti = 0x0FFF;
        uint16_t istdBase = 0x0FFF;
        TBytes papx;  // grpprl
        TBytes chpx;
    };
    // A style's effect with its bases', worked out once per style: a chain
    // costs its own bytes once, however many runs and styles use it.
    struct TChain {
        int8_t state = 0;  // 0 not yet, 1 being worked out (a loop ends there), 2 ready
        TChpEffect chp;
        TPapEffect pap;
    };
    const TChain& Chain(uint16_t istd) const;
    std::vector<TStyle> styles_;
    TFormat format_ = TFormat::Word97;
    uint16_t defaultFont_ = 0;
    mutable std::vector<TChain> chains_;
};

struct TFont {
    uint8_t charset = 0;
    std::u16string name;
};

std::vector<TFont> ReadFonts(const TBytes& sttbf, TFormat format);

// --- note numbering ---------------------------------------------------------

// How auto-numbered notes of one kind are numbered: the number format (an
// nfc as lists have), the first number and when numbering starts again
// (0 never, 1 at each section, 2 at each page).
struct TNoteNumbering {
    uint8_t nfc = 0;
    uint16_t start = 1;
    uint8_t restart = 0;
};

struct TNoteSettings {
    TNoteNumbering footnotes{0, 1, 0};
    TNoteNumbering endnotes{2, 1, 0};
};

// The document's note settings from its DOP; what the DOP is too short to
// hold keeps Word's defaults (footnotes 1, 2, 3 …; endnotes i, ii, iii …).
TNoteSettings ReadNoteSettings(const TBytes& dop, TFormat format);

// A section's own note settings (Word 97-2003 SEPX sprms) over the document's.
void ApplySectionNoteSprms(TNoteSettings& settings, std::span<const uint8_t> grpprl);

// Word's CP range per FIB: [start, end) of each story.
struct TStoryRange {
    uint32_t start = 0, end = 0;
};

// A PLC: the CPs (n + 1 of them) and the data of its n entries, read in
// place from its block, which several PLCs may share.
class TPlc {
public:
    TPlc() = default;
    TPlc(std::shared_ptr<const TBytes> bytes, size_t dataSize);
    // How many CPs there are: n + 1, or 0 for a block too short for one.
    size_t CpCount() const { return bytes_ ? count_ + 1 : 0; }
    size_t Count() const { return count_; }
    uint32_t Cp(size_t i) const;
    std::span<const uint8_t> Data(size_t i) const;
    // The entry whose range holds value: the last of the first n CPs at most
    // value; with exact, only one that equals it.
    std::optional<size_t> EntryAt(uint32_t value, bool exact) const;

private:
    std::shared_ptr<const TBytes> bytes_;
    size_t count_ = 0;
    size_t dataSize_ = 0;
};

}  // namespace pagelet::word

// The reading layout names the format's structures unqualified.
namespace pagelet::reading {
using namespace word;
}  // namespace pagelet::reading
