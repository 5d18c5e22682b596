#include "loading/TextAssembler.h"

#include <string>

namespace pagelet {

namespace {

// Text goes to the sink in parts of at most this many code units.
constexpr size_t kFlushUnits = 16 * 1024;
// The layout makes at most this many code units a byte of the source, and
// this many more (16 bytes of UTF-16 a byte, and 1 MB).
constexpr uint64_t kBudgetPerByte = 8;
constexpr uint64_t kBudgetBase = 512 * 1024;

const char16_t* HeadingOf(TStoryKind kind) {
    switch (kind) {
    case TStoryKind::Footnotes:
        return u"Footnotes";
    case TStoryKind::Endnotes:
        return u"Endnotes";
    case TStoryKind::Comments:
        return u"Comments";
    case TStoryKind::TextBoxes:
        return u"Text boxes";
    case TStoryKind::Headers:
        return u"Headers and footers";
    case TStoryKind::Main:
        break;
    }
    return u"";
}

// Drops the line ends at the end of a story's text.
void TrimEnd(std::u16string& text) {
    while (!text.empty() && text.back() == u'\n') text.pop_back();
}

// Drops the lines that show nothing: empty ones and those of nothing but
// tabs and spaces (an empty table row).
void DropEmptyLines(std::u16string& text) {
    std::u16string kept;
    size_t lineStart = 0;
    while (lineStart < text.size()) {
        size_t lineEnd = text.find(u'\n', lineStart);
        if (lineEnd == std::u16string::npos) lineEnd = text.size();
        const std::u16string_view line(text.data() + lineStart, lineEnd - lineStart);
        if (line.find_first_not_of(u" \t") != std::u16string_view::npos) {
            kept.append(line);
            kept += u'\n';
        }
        lineStart = lineEnd + 1;
    }
    text = std::move(kept);
}

// The headers keep this many different parts at most.
constexpr size_t kMaxHeaderParts = 1024;
// The placeholders kept for a document that shows nothing else: this many code units at most.
constexpr size_t kMaxPlaceholderUnits = 64 * 1024;

bool Blank(std::u16string_view text) { return text.find_first_not_of(u" \t\n") == std::u16string_view::npos; }

}  // namespace

void TTextAssembler::Begin(uint64_t sourceBytes, TParagraphSource& paragraphs) {
    budget_ = kBudgetPerByte * sourceBytes + kBudgetBase;
    paragraphs_ = &paragraphs;
}

void TTextAssembler::BeginStory(TStoryKind kind) {
    story_ = kind;
    section_.clear();
    seen_.clear();
    out_ = &main_;
    state_ = {};
}

bool TTextAssembler::BeginPart(std::u16string_view label) {
    if (stop_) return false;
    state_ = {};
    if (story_ == TStoryKind::Main) {
        out_ = &main_;
        return true;
    }
    if (story_ == TStoryKind::Headers && seen_.size() >= kMaxHeaderParts) return false;
    part_.clear();
    label_.assign(label);  // written before the part's text, once that shows anything
    out_ = &part_;
    return true;
}

void TTextAssembler::EndPart() {
    // An unended row ends with the part.
    EndRow();
    if (story_ == TStoryKind::Main) return;
    out_ = &main_;
    // Text boxes and headers hold many empty paragraphs: their lines show without them.
    if (story_ == TStoryKind::TextBoxes || story_ == TStoryKind::Headers) DropEmptyLines(part_);
    TrimEnd(part_);
    if (part_.empty()) return;
    if (story_ == TStoryKind::Headers && !seen_.insert(part_).second) return;
    if (!label_.empty()) {
        section_ += label_;
        section_ += u": ";
    }
    section_ += part_;
    section_ += u'\n';
}

void TTextAssembler::EndStory() {
    if (story_ == TStoryKind::Main) {
        TrimEnd(main_);
        if (!main_.empty()) main_ += u'\n';
        return;
    }
    WriteSection(story_, std::move(section_));
    section_.clear();
}

void TTextAssembler::Text(const char16_t* text, size_t n, uint64_t at) {
    if (!shownText_) shownText_ = !Blank(std::u16string_view(text, n));
    BeginVisible(at);
    Put(text, n);
}

void TTextAssembler::Repeat(char16_t c, size_t n, uint64_t at) {
    if (!shownText_) shownText_ = n != 0 && !Blank(std::u16string_view(&c, 1));
    BeginVisible(at);
    for (size_t k = 0; k < n; ++k) Put(c);
}

bool TTextAssembler::PlaceholdersWanted() const {
    return !shownText_ && !sent_ && story_ == TStoryKind::Main && placeholders_.size() < kMaxPlaceholderUnits;
}

void TTextAssembler::Placeholder(std::u16string_view text) {
    if (!PlaceholdersWanted() || placeholders_.size() + text.size() >= kMaxPlaceholderUnits) return;
    placeholders_.append(text);
    placeholders_ += u'\n';
}

void TTextAssembler::Tab(uint64_t at) {
    BeginVisible(at);
    Put(u'\t');
}

void TTextAssembler::Break(TBreak kind, int tableDepth, uint64_t at) {
    if (tableDepth > 0 || (state_.paraStarted && state_.depth > 0)) {
        // Inside a cell a break keeps the paragraph on its line.
        if (state_.paraStarted && state_.depth > 0 && !Target().empty()) state_.pendingSpace = true;
        return;
    }
    if (kind == TBreak::Page) {
        // A page or section break stands for a paragraph of its own when it
        // opens the line; otherwise it ends the line it is on.
        if (state_.paraStarted) Put(u'\n');
        state_.paraStarted = false;
        return;
    }
    BeginVisible(at);
    Put(u'\n');
}

void TTextAssembler::ParagraphEnd(int tableDepth) {
    state_.paraStarted = false;
    state_.pendingSpace = false;
    if (tableDepth >= 2) {
        // A paragraph of a nested table's cell: the cell's paragraphs share its place in the nested row.
        state_.inRow = true;
        if (!state_.innerParagraph.empty()) {
            if (!state_.innerCell.empty()) state_.innerCell += u' ';
            state_.innerCell += state_.innerParagraph;
            state_.innerParagraph.clear();
        }
        return;
    }
    if (tableDepth == 1) {
        state_.inRow = true;
        EndCellParagraph();
        return;
    }
    // A row whose end mark was not found ends with the table.
    EndRow();
    Put(u'\n');
}

void TTextAssembler::CellEnd(int tableDepth) {
    state_.paraStarted = false;
    state_.pendingSpace = false;
    state_.inRow = true;
    if (tableDepth >= 2) {
        ParagraphEnd(tableDepth);
        EndInnerCell();
        return;
    }
    EndCellParagraph();
    EndInnerRow();
    state_.cells.push_back(std::move(state_.cell));
    state_.cell = {};
}

void TTextAssembler::RowEnd(int tableDepth) {
    state_.paraStarted = false;
    state_.pendingSpace = false;
    if (tableDepth >= 2) {
        state_.inRow = true;
        ParagraphEnd(tableDepth);
        if (!state_.innerCell.empty()) EndInnerCell();
        EndInnerRow();
        return;
    }
    state_.inRow = true;
    EndRow(true);
}

std::u16string& TTextAssembler::Target() {
    if (state_.depth >= 2) return state_.innerParagraph;
    if (state_.depth == 1) return state_.paragraph;
    return *out_;
}

void TTextAssembler::EndCellParagraph() {
    if (state_.paragraph.empty()) return;
    state_.cell.paragraphs.push_back(std::move(state_.paragraph));
    state_.paragraph.clear();
}

void TTextAssembler::EndInnerCell() {
    state_.innerCells.push_back(std::move(state_.innerCell));
    state_.innerCell.clear();
}

void TTextAssembler::EndInnerRow() {
    if (!state_.innerParagraph.empty()) ParagraphEnd(2);
    if (!state_.innerCell.empty()) EndInnerCell();
    if (state_.innerCells.empty()) return;
    std::u16string line;
    for (size_t k = 0; k < state_.innerCells.size(); ++k) {
        if (k > 0) line += u'\t';
        line += state_.innerCells[k];
    }
    state_.innerCells.clear();
    if (line.find_first_not_of(u" \t") != std::u16string::npos) state_.cell.nested.push_back(std::move(line));
}

void TTextAssembler::EndRow(bool ended) {
    if (!state_.inRow) return;
    state_.inRow = false;
    state_.paraStarted = false;
    state_.pendingSpace = false;
    state_.depth = 0;
    EndCellParagraph();
    EndInnerRow();
    if (!state_.cell.paragraphs.empty() || !state_.cell.nested.empty()) state_.cells.push_back(std::move(state_.cell));
    state_.cell = {};
    std::vector<TCell> cells = std::move(state_.cells);
    state_.cells.clear();
    // A row whose end mark was not found shows no empty cells after its last text.
    while (!ended && !cells.empty() && cells.back().paragraphs.empty() && cells.back().nested.empty())
        cells.pop_back();
    bool lines = cells.size() == 1;  // a table of one cell only lays out its paragraphs
    for (const TCell& cell : cells) {
        if (cell.paragraphs.size() > 1 || !cell.nested.empty()) lines = true;
    }
    std::u16string text;
    if (lines) {
        // Each paragraph on a line of its own, cell after cell.
        for (const TCell& cell : cells) {
            for (const auto& paragraph : cell.paragraphs) {
                text += paragraph;
                text += u'\n';
            }
            for (const auto& line : cell.nested) {
                text += line;
                text += u'\n';
            }
        }
        if (text.empty()) text += u'\n';
    } else {
        // One line, the cells apart by tabs; a row whose cells show nothing
        // is no line of bare tabs.
        for (size_t k = 0; k < cells.size(); ++k) {
            if (k > 0) text += u'\t';
            if (!cells[k].paragraphs.empty()) text += cells[k].paragraphs.front();
        }
        if (cells.size() > 1 && text.find_first_not_of(u" \t") == std::u16string::npos) {
            // Still the end of a line that text outside the row left open.
            if (LineOpen()) Emit(u"\n");
            return;
        }
        text += u'\n';
    }
    Emit(text);
}

bool TTextAssembler::LineOpen() const {
    if (!out_->empty()) return out_->back() != u'\n';
    return out_ == &main_ && lineOpen_;
}

void TTextAssembler::Emit(const std::u16string& text) {
    if (stop_ && !overBudget_) return;
    // The row's end marks are not counted: the text itself was.
    if (!Spend(0)) return;
    out_->append(text);
    if (out_ == &main_ && main_.size() >= kFlushUnits) Flush();
}

void TTextAssembler::BeginVisible(uint64_t at) {
    const bool starting = !state_.paraStarted;
    TParagraphProps paragraph;
    if (starting && paragraphs_ != nullptr) {
        paragraph = paragraphs_->OpenParagraph(at);
        if (watch_) watch_(paragraph);
    }
    if (starting) {
        if (paragraph.tableDepth == 0) {
            // A row whose end mark was not found ends where the table does.
            EndRow();
            state_.depth = 0;
        } else if (paragraph.tableDepth > 0) {
            state_.inRow = true;
            state_.depth = paragraph.tableDepth >= 2 ? 2 : 1;
        } else {
            // Not known: a paragraph after a cell is taken as the row's.
            state_.depth = state_.inRow ? 1 : 0;
        }
        state_.paraStarted = true;
        state_.pendingSpace = false;
        if (!paragraph.label.empty()) Put(paragraph.label);
    } else if (state_.pendingSpace) {
        Put(u' ');
        state_.pendingSpace = false;
    }
}

void TTextAssembler::Put(char16_t c) {
    if (!Spend(1)) return;
    std::u16string& target = Target();
    target.push_back(c);
    if (&target == &main_ && main_.size() >= kFlushUnits) Flush();
}

void TTextAssembler::Put(const char16_t* text, size_t n) {
    if (!Spend(n)) return;
    std::u16string& target = Target();
    target.append(text, n);
    if (&target == &main_ && main_.size() >= kFlushUnits) Flush();
}

void TTextAssembler::WriteSection(TStoryKind kind, std::u16string text) {
    TrimEnd(text);
    if (text.empty()) return;
    main_ += u'\n';
    main_ += u"--- ";
    main_ += HeadingOf(kind);
    main_ += u" ---\n";
    Flush();
    for (size_t at = 0; at < text.size() && (!stop_ || overBudget_); at += kFlushUnits) {
        main_.append(text, at, kFlushUnits);
        Flush();
    }
    if (!stop_) main_ += u'\n';
}

void TTextAssembler::Finish(uint64_t characters, uint64_t walked) {
    if (overBudget_) {
        EndOverBudget(characters, walked);
    } else if (!sent_ && !stop_ && !placeholders_.empty() && Blank(main_)) {
        // Nothing but objects without text: what stands for them.
        main_ = std::move(placeholders_);
    }
    Flush();
}

void TTextAssembler::EndOverBudget(uint64_t characters, uint64_t walked) {
    // What was made goes out, then the line the viewer also shows for text it leaves out.
    Flush();
    if (full_()) return;
    const uint64_t rest = characters > walked ? characters - walked : 0;
    const std::string line = "[" + std::to_string(rest) + " characters (" +
                             std::to_string(characters ? rest * 100 / characters : 0) +
                             "%) of the document are not shown: laid out they would be far larger than the file]\n";
    main_ += u'\n';
    main_.append(line.begin(), line.end());
}

void TTextAssembler::Flush() {
    if (main_.empty()) return;
    // Text made within the budget still goes out once the budget stopped the layout.
    if ((stop_ && !overBudget_) || full_()) {
        stop_ = true;
        main_.clear();
        return;
    }
    lineOpen_ = main_.back() != u'\n';
    sent_ = true;
    sink_.Append(main_);
    main_.clear();
    if (full_()) stop_ = true;
}

}  // namespace pagelet
