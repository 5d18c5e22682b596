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
    if (state_.inRow) Put(u'\n');
    state_.inRow = false;
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
    BeginVisible(at);
    Put(text, n);
    state_.cellHasText = true;
}

void TTextAssembler::Repeat(char16_t c, size_t n, uint64_t at) {
    BeginVisible(at);
    for (size_t k = 0; k < n; ++k) Put(c);
    state_.cellHasText = true;
}

void TTextAssembler::Tab(uint64_t at) {
    BeginVisible(at);
    Put(u'\t');
}

void TTextAssembler::Break(TBreak kind, int tableDepth, uint64_t at) {
    if (tableDepth > 0) {
        if (state_.cellHasText) state_.pendingSpace = true;
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
    if (tableDepth > 0) {
        // A paragraph inside a cell, or the end of a cell or row of a
        // table nested in it: the cell's paragraphs are joined by a space.
        state_.inRow = true;
        if (state_.cellHasText) state_.pendingSpace = true;
        return;
    }
    if (state_.inRow) {
        // A row whose end mark was not found ends with the table.
        Put(u'\n');
        state_.inRow = false;
        state_.pendingTabs = 0;
    }
    state_.pendingSpace = false;
    state_.cellHasText = false;
    Put(u'\n');
}

void TTextAssembler::CellEnd() {
    state_.paraStarted = false;
    ++state_.pendingTabs;
    state_.pendingSpace = false;
    state_.inRow = true;
    state_.cellHasText = false;
}

void TTextAssembler::RowEnd() {
    // The cells so far, without a tab after the last.
    state_.paraStarted = false;
    if (state_.pendingTabs > 1) {
        for (size_t k = 1; k < state_.pendingTabs; ++k) Put(u'\t');
    }
    Put(u'\n');
    state_.pendingTabs = 0;
    state_.pendingSpace = false;
    state_.inRow = false;
    state_.cellHasText = false;
}

void TTextAssembler::BeginVisible(uint64_t at) {
    const bool starting = !state_.paraStarted;
    TParagraphProps paragraph;
    if (starting && paragraphs_ != nullptr) paragraph = paragraphs_->OpenParagraph(at);
    if (starting && state_.inRow && paragraph.tableDepth == 0) {
        // A row whose end mark was not found ends where the table does.
        Put(u'\n');
        state_.inRow = false;
        state_.pendingTabs = 0;
        state_.pendingSpace = false;
    }
    if (state_.pendingTabs > 0) {
        for (size_t k = 0; k < state_.pendingTabs; ++k) Put(u'\t');
        state_.pendingTabs = 0;
        state_.pendingSpace = false;
    } else if (state_.pendingSpace) {
        Put(u' ');
        state_.pendingSpace = false;
    }
    if (starting) {
        state_.paraStarted = true;
        if (!paragraph.label.empty()) Put(paragraph.label);
    }
}

void TTextAssembler::Put(char16_t c) {
    if (!Spend(1)) return;
    out_->push_back(c);
    if (out_ == &main_ && main_.size() >= kFlushUnits) Flush();
}

void TTextAssembler::Put(const char16_t* text, size_t n) {
    if (!Spend(n)) return;
    out_->append(text, n);
    if (out_ == &main_ && main_.size() >= kFlushUnits) Flush();
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
    if (overBudget_) EndOverBudget(characters, walked);
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
    sink_.Append(main_);
    main_.clear();
    if (full_()) stop_ = true;
}

}  // namespace pagelet
