#pragma once

// Test-only builder of Word binary documents: a "WordDocument" stream with
// the few FIB fields the converter reads, a table stream with a CLX, and
// piece text placed at chosen offsets, written as a compound file.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "support/CfbWriter.h"

namespace pagelet {

// FcCompressed of an 8-bit piece whose text starts at this offset.
constexpr uint32_t CompressedFc(uint32_t offset) { return 0x40000000u | (offset << 1); }

struct TPcd {
    uint32_t Fc = 0;  // FcCompressed
    uint8_t Flags = 0;
    uint8_t Fn = 0;
    int16_t Prm = 0;
};

// The bytes of a CLX: Prc and Pcdt entries in the order they are added.
class TClxBuilder {
public:
    // clxt 1, cbGrpprl = grpprl.size(), then the bytes.
    TClxBuilder& Prc(const std::vector<uint8_t>& grpprl);
    // clxt 1 with an arbitrary cbGrpprl and nothing after it.
    TClxBuilder& PrcHeader(int16_t cbGrpprl);
    // clxt 2, lcb = 4 * cps + 8 * pcds, then the PlcPcd.
    TClxBuilder& Pcdt(const std::vector<uint32_t>& cps, const std::vector<TPcd>& pcds);
    // clxt 2 with the given lcb; the cps and pcds follow as given.
    TClxBuilder& PcdtWithLcb(int32_t lcb, const std::vector<uint32_t>& cps, const std::vector<TPcd>& pcds);
    TClxBuilder& Raw(const std::vector<uint8_t>& bytes);

    const std::vector<uint8_t>& Bytes() const { return bytes_; }

private:
    std::vector<uint8_t> bytes_;
};

class TDocBuilder {
public:
    // A Word 97-2003 document (wIdent 0xA5EC, "0Table") with an empty table.
    TDocBuilder();

    TDocBuilder& WIdent(uint16_t wIdent);
    // The FIB flags word at 0x0A; bit 9 (fWhichTblStm) selects "1Table".
    TDocBuilder& Flags(uint16_t flags);
    // Places the CLX in the selected table stream at fcClx and sets fcClx
    // and lcbClx (lcbClx = its size unless given).
    TDocBuilder& Clx(const TClxBuilder& clx, uint32_t fcClx = 0x20);
    TDocBuilder& Clx(const TClxBuilder& clx, uint32_t fcClx, uint32_t lcbClx);
    // Overrides fcClx and lcbClx in the FIB without touching the table.
    TDocBuilder& FcLcbClx(uint32_t fcClx, uint32_t lcbClx);
    // A Word 6/95 document: wIdent 0xA5DC, fcMin at 0x18 and fcMac at 0x1C.
    TDocBuilder& Word6(uint32_t fcMin, uint32_t fcMac);

    // Bytes of "WordDocument" at an offset (the stream grows as needed).
    TDocBuilder& DocBytes(uint32_t offset, std::string_view bytes);
    TDocBuilder& DocBytes(uint32_t offset, const std::vector<uint8_t>& bytes);
    TDocBuilder& DocText16(uint32_t offset, std::u16string_view text);
    // Cuts or pads "WordDocument" to exactly this size.
    TDocBuilder& DocSize(size_t size);

    // The raw content of a table stream ("0Table" or "1Table"), replacing
    // what Clx put there.
    TDocBuilder& Table(const std::u16string& name, const std::vector<uint8_t>& bytes);
    // Cuts the selected table stream to this size.
    TDocBuilder& TableSize(size_t size);
    // Leaves a stream out of the file ("WordDocument", "0Table", "1Table").
    TDocBuilder& Omit(const std::u16string& name);
    // Another stream of the file ("Data", ...).
    TDocBuilder& Stream(const std::u16string& name, const std::vector<uint8_t>& bytes);

    std::vector<uint8_t> Build(const TCfbOptions& options = {}) const;
    std::unique_ptr<TTempFile> Write(const TCfbOptions& options = {}) const;

    const std::vector<uint8_t>& DocStream() const { return doc_; }

private:
    std::u16string SelectedTable() const;
    void Put(uint32_t offset, const uint8_t* data, size_t size);

    std::vector<uint8_t> doc_;
    std::vector<uint8_t> table0_;
    std::vector<uint8_t> table1_;
    std::vector<std::u16string> omitted_;
    std::vector<std::pair<std::u16string, std::vector<uint8_t>>> streams_;
};

// A document whose text is one UTF-16 piece at 0x800 (CR: a paragraph mark).
std::vector<uint8_t> TextDocBytes(std::u16string_view text);
std::unique_ptr<TTempFile> TextDoc(std::u16string_view text, std::string_view suffix = ".doc");

}  // namespace pagelet

namespace pagelet {

// A sprm of Word 97-2003 (two-byte opcode) or Word 6/95 (one-byte opcode)
// with its operand bytes, as it stands in a grpprl.
std::vector<uint8_t> Sprm(uint16_t opcode, const std::vector<uint8_t>& operand);
std::vector<uint8_t> Sprm6(uint8_t opcode, const std::vector<uint8_t>& operand);
std::vector<uint8_t> operator+(std::vector<uint8_t> a, const std::vector<uint8_t>& b);

// A form field's data (FFData): its type (0 text, 1 check box, 2 drop-down),
// its state (res: 0/1 for a check box, the selected entry of a drop-down,
// 25 for the default), the default state (wDef, check boxes and
// drop-downs) and a drop-down's entries.
std::vector<uint8_t> FormFieldData(uint8_t type, uint8_t res, uint16_t wDef = 0,
                                   const std::vector<std::u16string>& entries = {});

// Test-only builder of formatted Word documents for the reading layout: the
// text of the stories in a piece table, character runs and paragraphs with
// their properties in CHPX and PAPX FKPs, a stylesheet, a font table, list
// tables (LST, LFO), note and header PLCs, in the Word 97-2003 layout
// (UTF-16 or 8-bit pieces) or the Word 6/95 layout (one 8-bit run).
class TRichDocBuilder {
public:
    enum TLayout { Word97, Word97EightBit, Word6 };
    explicit TRichDocBuilder(TLayout layout = Word97);

    // Text with character properties (a grpprl) in the current story.
    TRichDocBuilder& Run(std::u16string_view text, const std::vector<uint8_t>& chpx = {});
    // Ends a paragraph with mark (CR, or BEL for a cell or row end) and its
    // properties: style istd and a grpprl.
    TRichDocBuilder& End(const std::vector<uint8_t>& papx = {}, char16_t mark = u'\r', uint16_t istd = 0);
    // Text and its paragraph end in one.
    TRichDocBuilder& Para(std::u16string_view text, const std::vector<uint8_t>& papx = {}, uint16_t istd = 0);
    // Ends a paragraph with a hidden (vanished) paragraph mark.
    TRichDocBuilder& HiddenEnd(const std::vector<uint8_t>& papx = {});
    // A drop cap: the letter as a paragraph of its own with sprmPDcs, in the format's own opcode.
    TRichDocBuilder& DropCap(std::u16string_view letter);
    // A table cell (text ended by BEL with fInTable) and a row end mark (BEL
    // with fInTable and fTtp), in the format's own sprms.
    TRichDocBuilder& Cell(std::u16string_view text);
    TRichDocBuilder& RowEnd();
    // Text added from here on belongs to this story (stories in FIB order:
    // 0 main, 1 footnotes, 2 headers, 4 comments, 5 endnotes, 6 text boxes).
    TRichDocBuilder& Story(int story);
    // An auto-numbered note reference (U+0002 with fSpec). In the main text
    // it is recorded in the footnote (or endnote) reference PLC; in a note
    // story it starts the next note in the note text PLC.
    TRichDocBuilder& NoteRef(bool endnote = false);
    // A note reference with a mark of its own (text, not auto-numbered):
    // recorded like NoteRef but with a zero in the reference PLC.
    TRichDocBuilder& CustomNoteRef(std::u16string_view mark, bool endnote = false);
    // The document properties (DOP) as these bytes.
    TRichDocBuilder& Dop(const std::vector<uint8_t>& dop);
    // Ends a section of the main text at the current CP, its SEPX holding
    // this grpprl; the text after the last one is a section without a SEPX.
    TRichDocBuilder& SectionEnd(const std::vector<uint8_t>& sepx);
    // Starts the next header story (PlcfHdd).
    TRichDocBuilder& HeaderStory();
    // The header PLC's CPs as given instead (damaged ones).
    TRichDocBuilder& RawHeaderCps(const std::vector<uint32_t>& cps);
    // A form field (FORMCHECKBOX, FORMDROPDOWN, FORMTEXT): its instruction
    // with the data character (U+0001 with fSpec, fData and
    // sprmCPicLocation) that points at this FFData in the "Data" stream, then
    // its result, with a separator only when there is one. At: the data
    // character points there instead (the data still goes to the stream).
    TRichDocBuilder& FormField(std::u16string_view name, const std::vector<uint8_t>& ffdata,
                               std::u16string_view result = {}, uint32_t at = 0xFFFFFFFFu);
    // An inline picture: U+0001 with fSpec and sprmCPicLocation pointing at
    // its header (PICF) in the "Data" stream, followed by its shape (a name
    // first when named), whose properties hold a name and, when not empty,
    // the alternative text (wzDescription), then a few bytes for the picture.
    TRichDocBuilder& Picture(std::u16string_view altText = {}, bool named = false);
    // A drawn object of the main text (Word 97-2003): U+0008 with fSpec, its
    // anchor in the PlcSpaMom and its shape among the drawing records (a
    // picture's or another's), with its alternative text when not empty.
    TRichDocBuilder& Drawing(bool picture = false, std::u16string_view altText = {});
    // A comment's mark (U+0005 with fSpec): in the main text it records the
    // reference with the author's initials; in the comment story it starts
    // the next comment.
    TRichDocBuilder& CommentMark(std::u16string_view initials = {});

    // Stylesheet entries (istd = index): paragraph (sgc 1) or character (sgc 2)
    // styles; sti the built-in style it is (0 Normal, 1-9 Heading 1-9, 0x0FFE a user's).
    TRichDocBuilder& Style(uint16_t istd, uint8_t sgc, const std::vector<uint8_t>& papx,
                           const std::vector<uint8_t>& chpx, uint16_t istdBase = 0x0FFF, uint16_t sti = 0);
    // Fonts of the font table, in order: name and charset.
    TRichDocBuilder& Font(std::u16string_view name, uint8_t charset);
    // One list (LSTF + levels) and one override for it; returns its ilfo
    // through the count of calls (1 for the first). Each level: nfc, start,
    // number text (level placeholders as U+0000 to U+0008), follow.
    struct TLevel {
        uint8_t nfc = 0;
        int32_t start = 1;
        std::u16string text;
        uint8_t follow = 0;
    };
    TRichDocBuilder& List(uint32_t lsid, const std::vector<TLevel>& levels);
    // Raw list tables instead of the ones List made (damaged ones).
    TRichDocBuilder& RawLists(const std::vector<uint8_t>& plfLst, const std::vector<uint8_t>& plfLfo);
    // Splits the text into two pieces at cp; the second carries this Prm
    // (with its Prc's grpprl when the Prm names one).
    TRichDocBuilder& SecondPiece(uint32_t cp, uint16_t prm, const std::vector<uint8_t>& prc = {});
    // Replaces the bin table of the CHPX or PAPX FKPs by these bytes.
    TRichDocBuilder& RawBinTable(bool paragraphs, const std::vector<uint8_t>& bytes);
    // Replaces the CHPX or PAPX FKP pages by these (512 bytes each), all
    // listed by the bin table in order.
    TRichDocBuilder& RawFkpPages(bool paragraphs, const std::vector<uint8_t>& pages);
    // Points every note, comment and header PLC at one block of this many
    // zero bytes in the table stream.
    TRichDocBuilder& SharedPlcBlock(uint32_t bytes);

    // The FIB's flags word (fEncrypted 0x0100, ...) with the builder's own bits.
    TRichDocBuilder& FibFlags(uint16_t flags);
    // Word 6/95: envr 1, a document made by Mac Word.
    TRichDocBuilder& Mac();

    std::unique_ptr<TTempFile> Write() const;
    std::vector<uint8_t> Build() const;

private:
    struct TRunInfo {
        size_t start = 0, end = 0;  // in text_
        std::vector<uint8_t> chpx;
    };
    struct TParaInfo {
        size_t start = 0, end = 0;  // end is after the mark
        uint16_t istd = 0;
        std::vector<uint8_t> papx;
    };
    struct TStyleInfo {
        uint16_t istd;
        uint8_t sgc;
        uint16_t istdBase;
        uint16_t sti;
        std::vector<uint8_t> papx, chpx;
    };
    bool word6() const { return layout_ == Word6; }
    std::vector<uint8_t> BuildFkps(bool paragraphs, uint32_t fcText, uint32_t bytesPerChar, uint32_t firstPage,
                                   std::vector<uint8_t>& bte) const;
    std::vector<uint8_t> BuildStylesheet() const;
    std::vector<uint8_t> BuildFonts() const;

    TLayout layout_;
    std::u16string text_;
    std::vector<TRunInfo> runs_;
    std::vector<TParaInfo> paras_;
    size_t paraStart_ = 0;
    int story_ = 0;
    uint32_t ccp_[8] = {};
    std::vector<uint32_t> ftnRefs_, ednRefs_, ftnTxt_, ednTxt_, hdd_, atnRefs_, atnTxt_;
    std::vector<uint16_t> ftnAuto_, ednAuto_;  // per reference: 1 auto-numbered, 0 a mark of its own
    std::vector<uint8_t> dop_;
    std::vector<std::pair<uint32_t, std::vector<uint8_t>>> sections_;  // CP where each ends, its SEPX grpprl
    std::vector<std::u16string> initials_;
    bool rawHdd_ = false;
    uint32_t splitCp_ = 0;
    uint16_t splitPrm_ = 0;
    std::vector<uint8_t> prc_;
    std::vector<TStyleInfo> styles_;
    std::vector<std::pair<std::u16string, uint8_t>> fonts_;
    std::vector<uint8_t> lst_, lvls_, lfo_;
    uint32_t lists_ = 0;
    bool rawLists_ = false;
    std::vector<uint8_t> rawLst_, rawLfo_;
    bool rawBte_[2] = {false, false};
    std::vector<uint8_t> rawBteBytes_[2];
    bool rawPages_[2] = {false, false};
    std::vector<uint8_t> rawPageBytes_[2];
    uint32_t sharedPlc_ = 0;
    uint16_t fibFlags_ = 0;
    bool mac_ = false;
    std::vector<uint8_t> data_;  // the "Data" stream
    std::vector<std::pair<uint32_t, uint32_t>> anchors_;  // the drawn objects' CPs and shape ids
    std::vector<std::vector<uint8_t>> shapes_;            // their shape containers
};

}  // namespace pagelet
