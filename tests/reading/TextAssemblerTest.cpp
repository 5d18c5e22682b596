// The text assembler on sequences of reader events, with no document behind
// them: rows and nested rows, paragraphs in cells, list labels, breaks,
// notes, stories and their parts, empty documents, the output budget and a
// stop. One table of cases; the Word reader's own tests start from bytes.

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "common/Utf.h"
#include "loading/TextAssembler.h"

namespace pagelet {
namespace {

// The paragraphs' properties by position; a position not listed below 10
// is the table depth of its paragraph, one from 10 up opens a body paragraph.
// Remembers what it was asked.
class TParagraphs final : public TParagraphSource {
public:
    std::map<uint64_t, TParagraphProps> props;
    std::vector<uint64_t> asked;
    TParagraphProps OpenParagraph(uint64_t at) override {
        asked.push_back(at);
        auto it = props.find(at);
        if (it != props.end()) return it->second;
        TParagraphProps paragraph;
        if (at < 10) paragraph.tableDepth = static_cast<int>(at);
        return paragraph;
    }
};

class TCollect final : public TTextSink {
public:
    void Append(std::u16string_view part) override {
        text += part;
        ++parts;
    }
    std::u16string text;
    size_t parts = 0;
};

using TEvents = std::function<void(TTextAssembler&)>;

// Runs the events in a main story (and whatever stories they add) and gives
// the text. sourceBytes sets the budget.
std::string Assemble(const TEvents& events, TParagraphs& paragraphs, uint64_t sourceBytes = 1000,
                     const std::function<bool()>& full = [] { return false; }) {
    TCollect sink;
    TTextAssembler out(sink, full);
    out.Begin(sourceBytes, paragraphs);
    events(out);
    out.Finish(100, 40);
    return Utf16ToUtf8(sink.text);
}

// The events of one main-story part.
TEvents Main(const TEvents& body) {
    return [body](TTextAssembler& out) {
        out.BeginStory(TStoryKind::Main);
        if (out.BeginPart()) {
            body(out);
            out.EndPart();
        }
        out.EndStory();
    };
}

// A paragraph of text at this table depth.
void Para(TTextAssembler& out, std::u16string_view text, int depth = 0) {
    out.Text(text, static_cast<uint64_t>(depth));
    out.ParagraphEnd(depth);
}

// A cell of a table's row.
void Cell(TTextAssembler& out, std::u16string_view text) {
    if (!text.empty()) out.Text(text, 1);
    out.CellEnd();
}

// A story of parts, each a paragraph of text (and its label).
TEvents Story(TStoryKind kind, std::vector<std::pair<std::u16string, std::u16string>> parts) {
    return [kind, parts](TTextAssembler& out) {
        out.BeginStory(kind);
        for (const auto& [label, text] : parts) {
            if (!out.BeginPart(label)) break;
            size_t start = 0;
            while (start <= text.size()) {
                size_t end = text.find(u'\n', start);
                if (end == std::u16string::npos) end = text.size();
                if (end > start) out.Text(std::u16string_view(text).substr(start, end - start), 0);
                out.ParagraphEnd(0);
                start = end + 1;
            }
            out.EndPart();
        }
        out.EndStory();
    };
}

TEvents Then(std::vector<TEvents> all) {
    return [all](TTextAssembler& out) {
        for (const auto& events : all) events(out);
    };
}

struct TCase {
    const char* name;
    TEvents events;
    std::string expected;
};

TEST(TextAssembler, EventsToText) {
    const std::vector<TCase> cases = {
        {"empty-document", [](TTextAssembler&) {}, ""},
        {"empty-stories", Then({Main([](TTextAssembler&) {}), Story(TStoryKind::Footnotes, {{u"", u""}}),
                                Story(TStoryKind::Headers, {}), Story(TStoryKind::TextBoxes, {{u"", u"\n\n"}})}),
         ""},
        {"only-empty-paragraphs", Main([](TTextAssembler& out) {
             out.ParagraphEnd(0);
             out.ParagraphEnd(0);
         }),
         ""},
        {"paragraphs-and-trailing-ends", Main([](TTextAssembler& out) {
             Para(out, u"one");
             out.ParagraphEnd(0);
             Para(out, u"two");
             out.ParagraphEnd(0);
         }),
         "one\n\ntwo\n"},
        {"rows", Main([](TTextAssembler& out) {
             Para(out, u"Before");
             Cell(out, u"a");
             Cell(out, u"b");
             Cell(out, u"c");
             out.RowEnd();
             Cell(out, u"1");
             Cell(out, u"2");
             out.RowEnd();
             Para(out, u"After");
         }),
         "Before\na\tb\tc\n1\t2\nAfter\n"},
        {"empty-cells", Main([](TTextAssembler& out) {
             Cell(out, u"");
             Cell(out, u"b");
             Cell(out, u"");
             out.RowEnd();
         }),
         "\tb\t\n"},
        {"rows-of-empty-cells-show-no-line", Main([](TTextAssembler& out) {
             Para(out, u"a");
             Cell(out, u"");
             Cell(out, u"");
             out.RowEnd();
             Cell(out, u" ");
             Cell(out, u"");
             out.RowEnd();
             Para(out, u"b");
             // Text outside the table whose mark ends a cell: the empty row still ends its line.
             out.Text(u"c", 0);
             out.CellEnd();
             Cell(out, u"");
             out.RowEnd();
             Para(out, u"d");
         }),
         "a\nb\nc\nd\n"},
        {"only-a-row-of-empty-cells", Main([](TTextAssembler& out) {
             Cell(out, u"");
             Cell(out, u"");
             out.RowEnd();
         }),
         ""},
        {"paragraphs-in-a-cell", Main([](TTextAssembler& out) {
             // A cell of several paragraphs: each on its line, the cells in order.
             Para(out, u"one", 1);
             Para(out, u"two", 1);
             Cell(out, u"three");
             Cell(out, u"x");
             out.RowEnd();
             Cell(out, u"a");
             Cell(out, u"b");
             out.RowEnd();
         }),
         "one\ntwo\nthree\nx\na\tb\n"},
        {"one-cell-rows-read-as-paragraphs", Main([](TTextAssembler& out) {
             Para(out, u"Title", 1);
             out.ParagraphEnd(1);  // an empty paragraph shows nothing
             Cell(out, u"Body");
             out.RowEnd();
             Cell(out, u"Single");
             out.RowEnd();
             Cell(out, u"");
             out.RowEnd();
             Para(out, u"After");
         }),
         "Title\nBody\nSingle\n\nAfter\n"},
        {"nested-rows", Main([](TTextAssembler& out) {
             // The nested rows follow their outer cell's text, each on its line.
             Para(out, u"outer", 1);
             out.Text(u"in1", 2);
             out.CellEnd(2);
             Para(out, u"in2a", 2);
             out.Text(u"in2b", 2);
             out.CellEnd(2);
             out.RowEnd(2);
             out.Text(u"r2", 2);
             out.CellEnd(2);
             out.RowEnd(2);
             Cell(out, u"");
             Cell(out, u"next");
             out.RowEnd();
             Cell(out, u"a");
             Cell(out, u"b");
             out.RowEnd();
         }),
         "outer\nin1\tin2a in2b\nr2\nnext\na\tb\n"},
        {"row-without-its-end-ends-with-a-body-paragraph", Main([](TTextAssembler& out) {
             Cell(out, u"a");
             Cell(out, u"b");
             Para(out, u"next");
         }),
         "a\tb\nnext\n"},
        {"row-without-its-end-ends-with-the-story", Main([](TTextAssembler& out) {
             Cell(out, u"a");
             Para(out, u"in", 1);
         }),
         "a\tin\n"},
        {"breaks", Main([](TTextAssembler& out) {
             out.Text(u"line", 0);
             out.Break(TBreak::Line, 0, 0);
             out.Text(u"col", 0);
             out.Break(TBreak::Column, 0, 0);
             out.Text(u"page", 0);
             out.Break(TBreak::Page, 0, 0);
             out.Break(TBreak::Page, 0, 0);  // at a paragraph's start: a paragraph of its own
             Para(out, u"after");
             out.Text(u"cell", 1);
             out.Break(TBreak::Line, 1, 1);  // in a table: a space
             out.Text(u"text", 1);
             out.CellEnd();
             out.RowEnd();
         }),
         "line\ncol\npage\nafter\ncell text\n"},
        {"tabs-symbols-and-notes", Main([](TTextAssembler& out) {
             out.Text(u"a", 0);
             out.Tab(0);
             out.Repeat(u'*', 3, 0);
             out.NoteReference(u"1", 0);
             out.ParagraphEnd(0);
         }),
         "a\t***1\n"},
        {"notes-and-stories",
         Then({Main([](TTextAssembler& out) {
                   out.Text(u"Text", 0);
                   out.NoteReference(u"1", 0);
                   out.ParagraphEnd(0);
               }),
               Story(TStoryKind::Footnotes, {{u"", u"1 First\n1 Second\n\n"}}),
               Story(TStoryKind::Endnotes, {{u"", u"i end"}}),
               Story(TStoryKind::Comments, {{u"AB", u"First remark\n"}, {u"", u""}, {u"", u"Second"}}),
               Story(TStoryKind::TextBoxes, {{u"", u"\nBox\n \t \n\nTwo"}, {u"", u""}, {u"", u"Header box"}}),
               Story(TStoryKind::Headers, {{u"", u"Header"}, {u"", u"Footer\n\n"}, {u"", u"Header"}, {u"", u""}})}),
         "Text1\n"
         "\n--- Footnotes ---\n1 First\n1 Second\n"
         "\n--- Endnotes ---\ni end\n"
         "\n--- Comments ---\nAB: First remark\nSecond\n"
         "\n--- Text boxes ---\nBox\nTwo\nHeader box\n"
         "\n--- Headers and footers ---\nHeader\nFooter\n"},
        {"placeholders-when-nothing-else-shows", Main([](TTextAssembler& out) {
             out.Placeholder(u"[picture]");
             out.ParagraphEnd(0);
             out.Placeholder(u"[object: Equation.3]");
             out.Tab(0);
             out.ParagraphEnd(0);
         }),
         "[picture]\n[object: Equation.3]\n"},
        {"placeholders-beside-text", Main([](TTextAssembler& out) {
             out.Placeholder(u"[picture]");
             Para(out, u"Caption");
         }),
         "Caption\n"},
        {"placeholders-beside-a-story",
         Then({Main([](TTextAssembler& out) { out.Placeholder(u"[drawing]"); }),
               Story(TStoryKind::Headers, {{u"", u"Header"}})}),
         "\n--- Headers and footers ---\nHeader\n"},
        {"stories-without-main-text", Story(TStoryKind::Footnotes, {{u"", u"note"}}),
         "\n--- Footnotes ---\nnote\n"},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.name);
        TParagraphs paragraphs;
        EXPECT_EQ(Assemble(c.events, paragraphs), c.expected);
    }
}

// A paragraph's properties are asked once, when its first character shows,
// at that character's position: its label goes first, and a paragraph
// outside tables ends a row left open; one whose depth is not known does not.
TEST(TextAssembler, ParagraphProperties) {
    TParagraphs paragraphs;
    paragraphs.props[10] = {0, u"1.\t", 0};
    paragraphs.props[20] = {0, u"\u2022 ", 0};
    paragraphs.props[40] = {-1, u"", 0};
    const std::string text = Assemble(Main([](TTextAssembler& out) {
                                          out.Text(u"first", 10);
                                          out.Text(u" more", 11);
                                          out.ParagraphEnd(0);
                                          out.Tab(20);
                                          out.Text(u"bullet", 21);
                                          out.ParagraphEnd(0);
                                          out.Text(u"x", 30);
                                          out.CellEnd();
                                          out.Text(u"unknown depth", 40);
                                          out.ParagraphEnd(1);
                                          out.Text(u"y", 50);
                                          out.ParagraphEnd(0);
                                      }),
                                      paragraphs);
    EXPECT_EQ(text, "1.\tfirst more\n\u2022 \tbullet\nx\tunknown depth\ny\n");
    EXPECT_EQ(paragraphs.asked, (std::vector<uint64_t>{10, 20, 30, 40, 50}));
}

// Text beyond the budget (8 code units a byte of the source and 512 Ki
// more) is not made: what was made goes out, then a line saying how much of
// the document was left out.
TEST(TextAssembler, BudgetEndsTheText) {
    TParagraphs paragraphs;
    const std::u16string block(64 * 1024, u'x');
    size_t blocks = 0;
    const std::string text = Assemble(Main([&](TTextAssembler& out) {
                                          while (!out.Stopped() && blocks < 100) {
                                              out.Text(block, 0);
                                              ++blocks;
                                          }
                                      }),
                                      paragraphs, 0);
    EXPECT_EQ(blocks, 9u);  // the ninth block is past the budget
    EXPECT_EQ(text, std::string(8 * 64 * 1024, 'x') +
                        "\n[60 characters (60%) of the document are not shown: laid out they would be far larger "
                        "than the file]\n");
}

// Once the sink wants no more the assembler stops: Wanted() says so and
// nothing more goes out.
TEST(TextAssembler, StopsWhenNotWanted) {
    TParagraphs paragraphs;
    TCollect sink;
    bool full = false;
    const std::function<bool()> isFull = [&] { return full; };
    TTextAssembler out(sink, isFull);
    out.Begin(1u << 20, paragraphs);
    out.BeginStory(TStoryKind::Main);
    ASSERT_TRUE(out.BeginPart());
    const std::u16string block(16 * 1024, u'a');
    out.Text(block, 0);  // a full part goes out at once
    EXPECT_EQ(sink.parts, 1u);
    EXPECT_TRUE(out.Wanted());
    full = true;
    EXPECT_FALSE(out.Wanted());
    EXPECT_TRUE(out.Stopped());
    out.Text(u"more", 0);
    out.EndPart();
    out.EndStory();
    out.BeginStory(TStoryKind::Footnotes);
    EXPECT_FALSE(out.BeginPart());
    out.EndStory();
    out.Finish(10, 5);
    EXPECT_EQ(sink.text.size(), block.size());
}

}  // namespace
}  // namespace pagelet
