#pragma once

// The walk through Word's XML vocabulary (w:), shared by the Word 2007+
// package reader and the Word 2003 XML reader: paragraphs, runs, tables,
// fields, notes, comments, lists and styles become the assembler's events,
// as the Word reader makes them. Internal to loading/.

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "loading/TextAssembler.h"
#include "loading/Xml.h"

namespace pagelet {

// Items read once and walked later (a Word 2003 note or header met inside
// the main text, a part of a flat package): a reader of them.
class TRecordedXml final : public TXmlReader {
public:
    explicit TRecordedXml(std::shared_ptr<const std::vector<TXmlItem>> items) : items_(std::move(items)) {}
    void Next(TXmlItem& item) override {
        if (at_ >= items_->size()) {
            item.node = TXmlNode::Finished;
            return;
        }
        item = (*items_)[at_++];
    }

private:
    std::shared_ptr<const std::vector<TXmlItem>> items_;
    size_t at_ = 0;
};

class TWordMlWalker final : public TParagraphSource {
public:
    explicit TWordMlWalker(TTextAssembler& out) : out_(out) {}

    // Walks a part (a whole XML document, or recorded items) and hands its
    // text to the assembler; styles, lists and note settings met on the way
    // are kept for what follows. The part's last paragraph ends with it.
    void Walk(TXmlReader& in);

    // What a part held for the stories after the main text: text boxes;
    // in Word 2003 XML also notes, comments, headers and footers.
    struct TRecord {
        std::shared_ptr<const std::vector<TXmlItem>> items;
        std::u16string number;  // a note's number, a comment's initials
    };
    std::vector<TRecord> footnotes, endnotes, comments, textBoxes, headers;
    // The header and footer parts the main text names (relationship ids), in order.
    std::vector<std::u16string> headerIds;
    // Notes in walks to come: the one whose text is walked (its number shown
    // at its mark).
    void SetNote(std::u16string number) { note_ = std::move(number); }

    TParagraphProps OpenParagraph(uint64_t at) override;

private:
    struct TLevel {
        int32_t start = 1;
        uint8_t nfc = 0;
        uint8_t follow = 0;  // 0 tab, 1 space, 2 nothing
        std::u16string text;  // with levels 0-8 as the characters 0-8
    };
    struct TAbstractList {
        TLevel levels[9];
        int32_t counters[9] = {};
        bool started[9] = {};
    };
    struct TList {
        std::u16string abstractId;
        int32_t start[9] = {};
        bool hasStart[9] = {};
        bool startUsed[9] = {};
    };
    struct TStyle {
        std::u16string basedOn;
        int hidden = -1;  // -1 not said, 0 shown, 1 hidden
        std::u16string listId;
        int level = -1;
    };
    struct TParagraph {
        int depth = 0;
        std::u16string style;
        std::u16string listId;  // empty: from the style
        int level = -1;
        bool markHidden = false;
    };
    struct TRun {
        int hidden = -1;
        std::u16string style;
    };
    enum class TKind : uint8_t;

    void Start(TXmlReader& in, const TXmlItem& item);
    void End();
    void Characters(const std::u16string& text);
    bool Visible() const;
    bool StyleHidden(const std::u16string& id) const;
    const TStyle* StyleOf(const std::u16string& id) const;
    std::u16string Label();
    // Ends the paragraph whose end is pending: as a paragraph, or as its cell's last.
    void FlushParagraph();
    void Record(TXmlReader& in, const TXmlItem& root, std::vector<TRecord>& to, std::u16string number);
    void Skip(TXmlReader& in, const TXmlItem& root);
    void ReadStyles(TXmlReader& in, const TXmlItem& root);
    void ReadLists(TXmlReader& in, const TXmlItem& root);
    void ReadNoteSettings(TXmlReader& in, const TXmlItem& root);
    std::u16string NoteNumber(bool endnote, const std::u16string* id);

    TTextAssembler& out_;
    std::vector<TKind> open_;  // the elements open in the walk
    TXmlItem item_;
    TParagraph para_;
    TRun run_;
    int runDepth_ = 0, pPrDepth_ = 0, rPrDepth_ = 0, textDepth_ = 0;
    int tableDepth_ = 0;
    bool pending_ = false;  // a paragraph has ended and its end is not yet given
    int pendingDepth_ = 0;
    bool pendingJoin_ = false;
    std::vector<bool> fields_;  // open fields: whether each has seen its separator
    size_t fieldOverflow_ = 0, hiding_ = 0;
    uint64_t items_ = 0;

    std::unordered_map<std::u16string, TStyle> styles_;
    std::map<std::u16string, TAbstractList> abstracts_;
    std::map<std::u16string, TList> lists_;
    uint8_t footNfc_ = 0, endNfc_ = 2;  // decimal, lower Roman: Word's own defaults
    int32_t footCount_ = 0, endCount_ = 0;
    std::map<std::u16string, std::u16string> footNumbers_, endNumbers_;  // by note id
    std::u16string note_;
};

}  // namespace pagelet
