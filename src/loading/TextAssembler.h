#pragma once

// The reading layout's text, made of a document reader's events.
//
// A reader (loading/DocumentReader.h) walks a document in reading order and
// tells the assembler what it meets: stories and their parts, visible text,
// tabs, breaks, the ends of paragraphs, cells and rows, note references. The
// assembler knows no file format: it puts each table row whose cells hold a
// paragraph each on a line with its cells separated by tabs; a row where a
// cell holds several paragraphs, or a nested table, and a row of one cell (a
// table used for layout) show each paragraph on a line of its own, cell after
// cell, a nested table's rows after the text of its cell. It gives a
// paragraph its list label, and writes the stories after the main text, each
// under a heading line of its own and only when not empty. A document that
// shows no text but pictures, drawings or objects shows what stands for them.
//
// It also keeps the layout safe: the text it makes stays in proportion to the
// source's size (past that, a line says how much was not shown), it hands the
// text to the sink in parts, and it stops as soon as the text is no longer
// wanted; a reader asks Wanted() between its steps and stops once Stopped().

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_set>
#include <utility>
#include <vector>

#include "converter/WordConverter.h"

namespace pagelet {

// A paragraph as its first shown character opens it.
struct TParagraphProps {
    int tableDepth = 0;     // 0 outside tables, 1 in a cell, 2 in a nested table's cell...; -1 unknown
    std::u16string label;   // its list label, ready to show (the number already counted); empty for none
    int headingLevel = 0;   // 1-9 for a heading, 0 for body text (shown no differently today)
};

// Where a reader answers for its paragraphs. `at` is the reader's own
// position of a character (a file offset, a count: the assembler only hands
// it back), asked once per paragraph, when its first character is shown, in
// document order: a reader may count its list numbers here.
class TParagraphSource {
public:
    virtual ~TParagraphSource() = default;
    virtual TParagraphProps OpenParagraph(uint64_t at) = 0;
};

// The stories, in the order they are written.
enum class TStoryKind { Main, Footnotes, Endnotes, Comments, TextBoxes, Headers };

enum class TBreak { Line, Page, Column };

class TTextAssembler {
public:
    TTextAssembler(TTextSink& sink, const std::function<bool()>& full) : sink_(sink), full_(full) {}

    // --- Before the text ---
    // The source's size in bytes, which sets how much text may be made, and
    // where the paragraphs' properties come from.
    void Begin(uint64_t sourceBytes, TParagraphSource& paragraphs);
    // About how many code units will come: a hint for the sink.
    void Expect(size_t units) { sink_.Expect(units); }

    // --- Stories ---
    // A story of the given kind; its parts follow. The main text goes out as
    // it comes; the others are written at EndStory under their heading (the
    // headers' parts each once, the text boxes' and headers' without their
    // empty lines) when they show anything.
    void BeginStory(TStoryKind kind);
    // One part of the story walked on its own (a comment, a header, a
    // story of text boxes): false when the story takes no more parts. A
    // comment's label (its author's initials) comes before its text.
    bool BeginPart(std::u16string_view label = {});
    void EndPart();
    void EndStory();

    // --- Inside a part ---
    // Visible text: characters from U+0020 up.
    void Text(const char16_t* text, size_t n, uint64_t at);
    void Text(std::u16string_view text, uint64_t at) { Text(text.data(), text.size(), at); }
    // One visible character n times (a run of symbol characters).
    void Repeat(char16_t c, size_t n, uint64_t at);
    // A note reference's number or mark.
    void NoteReference(std::u16string_view number, uint64_t at) { Text(number, at); }
    // What stands for an object of the main text that shows no text of its
    // own (a picture, a drawing, an embedded object), e.g. "[picture]":
    // each on a line of its own, and only when the document shows nothing
    // else at all.
    void Placeholder(std::u16string_view text);
    // Whether a placeholder may still show: no text that shows something
    // (more than spaces and tabs) was made nor any handed to the sink, and
    // the placeholders kept are not too many.
    bool PlaceholdersWanted() const;
    void Tab(uint64_t at);
    // A break; tableDepth is that of the paragraph holding it.
    void Break(TBreak kind, int tableDepth, uint64_t at);
    // The end of a paragraph of the given table depth.
    void ParagraphEnd(int tableDepth);
    // A paragraph mark not shown: the paragraph goes on after a space.
    void JoinParagraph() {
        if (state_.paraStarted) state_.pendingSpace = true;
    }
    // The end of a cell, and the end of a row (after its last cell), of a
    // table at the given depth: 1 for a table in the text, 2 and more for
    // one nested in a cell (whose rows show as those of depth 2).
    void CellEnd(int tableDepth = 1);
    void RowEnd(int tableDepth = 1);

    // --- After the text ---
    // Writes what is left; `characters` and `walked` are the document's
    // characters and those the reader went through, for the line that says
    // how much the budget left out.
    void Finish(uint64_t characters, uint64_t walked);

    // --- Stopping ---
    // Asks whether the text is still wanted; false, and stopped, when not.
    bool Wanted() {
        if (!stop_ && full_()) stop_ = true;
        return !stop_;
    }
    // Whether the text is no longer wanted, without stopping.
    bool Full() const { return full_(); }
    bool Stopped() const { return stop_; }
    // Code units made.
    uint64_t Units() const { return units_; }

    // Calls watch with the properties of each paragraph as its reader hands
    // them over (for tests of what a reader tells; they change no text).
    void WatchParagraphs(std::function<void(const TParagraphProps&)> watch) { watch_ = std::move(watch); }

private:
    // A cell of the row being made: its paragraphs, and the lines of the
    // tables nested in it.
    struct TCell {
        std::vector<std::u16string> paragraphs;
        std::vector<std::u16string> nested;
    };
    // What the walk through one part keeps.
    struct TPartState {
        bool paraStarted = false;
        bool inRow = false;
        bool pendingSpace = false;   // a line break inside a cell's paragraph
        int depth = 0;               // where the open paragraph's text goes: 0, 1 (a cell), 2 (a nested cell)
        std::vector<TCell> cells;    // the row's ended cells
        TCell cell;                  // the open cell
        std::u16string paragraph;    // the open paragraph of a cell
        std::vector<std::u16string> innerCells;  // the open nested row's ended cells
        std::u16string innerCell;    // the open nested cell (its paragraphs joined by a space)
        std::u16string innerParagraph;
    };

    bool Spend(size_t n) {
        if (stop_) return false;
        if (n > budget_) {
            stop_ = true;
            overBudget_ = true;
            return false;
        }
        budget_ -= n;
        units_ += n;
        return true;
    }
    void Put(char16_t c);
    void Put(const char16_t* text, size_t n);
    void Put(const std::u16string& text) { Put(text.data(), text.size()); }
    void Flush();
    void BeginVisible(uint64_t at);
    // Where the open paragraph's text goes.
    std::u16string& Target();
    // Ends the open paragraph of a cell, the open nested cell, the open nested row.
    void EndCellParagraph();
    void EndInnerCell();
    void EndInnerRow();
    // Writes the row made so far (nothing when none is open); ended when
    // its end mark was seen.
    void EndRow(bool ended = false);
    // Writes text already counted against the budget.
    void Emit(const std::u16string& text);
    // Whether the text written so far ends inside a line.
    bool LineOpen() const;
    void EndOverBudget(uint64_t characters, uint64_t walked);
    void WriteSection(TStoryKind kind, std::u16string text);

    TTextSink& sink_;
    const std::function<bool()>& full_;
    TParagraphSource* paragraphs_ = nullptr;
    std::function<void(const TParagraphProps&)> watch_;
    bool stop_ = false;
    // Code units the layout may still make: in proportion to the source, so
    // that no document makes text far beyond its size (level texts, fields
    // and notes can repeat what the file holds once).
    uint64_t budget_ = 0;
    bool overBudget_ = false;
    uint64_t units_ = 0;

    TStoryKind story_ = TStoryKind::Main;
    TPartState state_;
    std::u16string main_;           // the text not yet handed to the sink
    std::u16string* out_ = &main_;  // where the text goes: main_, or the part
    bool lineOpen_ = false;         // the text handed to the sink ends inside a line
    bool sent_ = false;             // some text went to the sink
    bool shownText_ = false;        // Text or Repeat made more than spaces and tabs
    std::u16string placeholders_;   // the main text's placeholders, a line each
    std::u16string part_;
    std::u16string label_;          // the part's
    std::u16string section_;        // a story's parts so far
    std::unordered_set<std::u16string> seen_;  // the headers' parts written
};

}  // namespace pagelet
