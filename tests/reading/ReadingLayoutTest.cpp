// The reading layout (UseReadingLayout) on documents made by
// TRichDocBuilder: what the Word reader makes of Word's bytes (fields,
// tables, breaks and special characters, hidden and deleted text, lists,
// notes, stories, 8-bit text in its code page, damaged property tables). One
// table of cases per feature; how the assembler joins rows, cells and
// stories is TextAssemblerTest's.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "common/Error.h"
#include "common/Utf.h"
#include "converter/WordConverter.h"
#include "loading/DocumentReader.h"
#include "loading/Loaders.h"
#include "loading/ReadingLayout.h"
#include "loading/TextAssembler.h"
#include "support/DocBuilder.h"
#include "support/ShowText.h"

namespace pagelet {
namespace {

using TBytes = std::vector<uint8_t>;
using TB = TRichDocBuilder;
using namespace std::literals;

std::string Show(const std::u16string& text) { return test::ShowQuoted(text); }

std::u16string Reading(const std::vector<uint8_t>& file, int32_t cp = 0, bool forceCP = false) {
    TTempFile temp(file);
    TWordConverter converter;
    UseReadingLayout(converter, true);
    return converter.LoadText(temp.Path(), false, cp, forceCP);
}

struct TCase {
    const char* name;
    std::function<TB()> make;
    std::u16string expected;
};

// With PAGELET_READING_SEEDS set to a folder, every case's document is
// written there as well: the fuzz target's seeds.
void SaveSeed(const char* name, const std::vector<uint8_t>& file) {
    const char* dir = std::getenv("PAGELET_READING_SEEDS");
    if (dir == nullptr) return;
    std::ofstream out(std::filesystem::path(dir) / (std::string("reading-") + name + ".doc"), std::ios::binary);
    out.write(reinterpret_cast<const char*>(file.data()), static_cast<std::streamsize>(file.size()));
}

void RunCases(const std::vector<TCase>& cases) {
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.name);
        const std::vector<uint8_t> file = c.make().Build();
        SaveSeed(c.name, file);
        const std::u16string text = Reading(file);
        EXPECT_EQ(Show(text), Show(c.expected));
    }
}

const TBytes kSpec = Sprm(0x0855, {1});

// Document properties of `size` bytes (zeros) with these little-endian words at their offsets.
TBytes Dop(size_t size, const std::vector<std::pair<size_t, uint16_t>>& words) {
    TBytes dop(size, 0);
    for (const auto& [at, value] : words) {
        dop[at] = static_cast<uint8_t>(value);
        dop[at + 1] = static_cast<uint8_t>(value >> 8);
    }
    return dop;
}
// Word 97-2003 DOP (500 bytes): footnote first number and restart rule at 2,
// endnote ones at 0x34, the number formats at 492 and 494.
TBytes Dop97(uint16_t ftnStart, uint8_t ftnRestart, uint16_t nfcFtn, uint16_t ednStart, uint16_t nfcEdn) {
    return Dop(500, {{2, static_cast<uint16_t>(ftnStart << 2 | ftnRestart)},
                     {0x34, static_cast<uint16_t>(ednStart << 2)},
                     {492, nfcFtn},
                     {494, nfcEdn}});
}
const TBytes kVanish = Sprm(0x083C, {1});
const TBytes kDeleted = Sprm(0x0800, {1});
const TBytes kInTable = Sprm(0x2416, {1});

TEST(ReadingLayout, Fields) {
    RunCases({
        {"result", [] { return TB().Para(u"See \x13 HYPERLINK \\l \"_Toc1\" \x14the link\x15 here"); },
         u"See the link here\n"},
        {"no-separator", [] { return TB().Para(u"Page \x13 PAGE \x15.").Para(u"x\x13 SHAPE  \\* MERGEFORMAT \x15y"); },
         u"Page .\nxy\n"},
        {"nested-in-instruction",
         [] {
             return TB().Para(
                 u"\x13 IF \x13 DATE \x14"
                 u"2024\x15 = 1 \x14yes\x15!");
         },
         u"yes!\n"},
        {"nested-in-result",
         [] {
             return TB().Para(
                 u"\x13 A \x14"
                 u"a\x13 B \x14"
                 u"b\x15"
                 u"c\x15"
                 u"d");
         },
         u"abcd\n"},
        {"open-at-story-end-with-result", [] { return TB().Para(u"x\x13 REF y \x14result"); }, u"xresult\n"},
        {"open-at-story-end-without", [] { return TB().Para(u"x\x13 REF y "); }, u"x\n"},
        {"stray-ends",
         [] {
             return TB().Para(
                 u"a\x15"
                 u"b\x14"
                 u"c");
         },
         u"abc\n"},
        {"result-over-paragraphs", [] { return TB().Para(u"\x13 TOC \x14One").Para(u"Two\x15").Para(u"After"); },
         u"One\nTwo\nAfter\n"},
        {"deep",
         [] {
             std::u16string s(200, u'\x13');
             s += u"x";
             s += std::u16string(200, u'\x15');
             return TB().Para(s + u"after");
         },
         u"after\n"},
    });
}

TEST(ReadingLayout, Tables) {
    RunCases({
        {"rows",
         [] {
             return TB()
                 .Para(u"Before")
                 .Cell(u"a")
                 .Cell(u"b")
                 .Cell(u"c")
                 .RowEnd()
                 .Cell(u"1")
                 .Cell(u"2")
                 .Cell(u"3")
                 .RowEnd()
                 .Para(u"After");
         },
         u"Before\na\tb\tc\n1\t2\t3\nAfter\n"},
        {"nested-table",
         [] {
             const TBytes inner = kInTable + Sprm(0x6649, {2, 0, 0, 0});
             return TB()
                 .Cell(u"outer")
                 .Para(u"in1", inner + Sprm(0x244B, {1}))
                 .Para(u"in2", inner + Sprm(0x244B, {1}))
                 .Para(u"", inner + Sprm(0x244B, {1}) + Sprm(0x244C, {1}))
                 .Cell(u"")
                 .Cell(u"last")
                 .RowEnd();
         },
         u"outer\nin1\tin2\nlast\n"},
        {"paragraphs-in-a-cell",
         [] {
             return TB()
                 .Para(u"first", kInTable)
                 .Para(u"second", kInTable)
                 .Cell(u"third")
                 .Cell(u"other")
                 .RowEnd()
                 .Cell(u"a")
                 .Cell(u"b")
                 .RowEnd();
         },
         u"first\nsecond\nthird\nother\na\tb\n"},
        {"one-cell-table", [] { return TB().Para(u"Title", kInTable).Cell(u"Body").RowEnd().Para(u"After"); },
         u"Title\nBody\nAfter\n"},
        {"fast-saved-piece-in-table",
         [] {
             // The paragraph runs say nothing of the table: the second piece's modifier puts it in one.
             return TB()
                 .Para(u"Before")
                 .Run(u"a")
                 .End({}, u'\x07')
                 .Run(u"b")
                 .End({}, u'\x07')
                 .End(Sprm(0x2417, {1}), u'\x07')
                 .SecondPiece(7, 0 << 1 | 1, kInTable);
         },
         u"Before\na\tb\n"},
        {"row-without-its-end-mark", [] { return TB().Cell(u"a").Cell(u"b").Para(u"next"); }, u"a\tb\nnext\n"},
        {"line-break-in-a-cell",
         [] {
             return TB()
                 .Run(
                     u"a\x0B"
                     u"b")
                 .Cell(u"")
                 .Cell(u"c")
                 .RowEnd();
         },
         u"a b\tc\n"},
        {"only-empty-cells", [] { return TB().Cell(u"").Cell(u"").RowEnd().Cell(u"").Cell(u"").RowEnd().Para(u""); },
         u""},
        {"word6-rows", [] { return TB(TB::Word6).Cell(u"a").Cell(u"b").RowEnd().Cell(u"c").Cell(u"d").RowEnd(); },
         u"a\tb\nc\td\n"},
    });
}

// Pictures, drawings and embedded objects stand for themselves only in a
// document that shows nothing else; one with nothing at all is empty.
TEST(ReadingLayout, PlaceholdersWhenNothingElseShows) {
    const TBytes picture = kSpec + Sprm(0x6A03, {0, 0, 0, 0});
    auto equation = [](TB doc) {
        return doc.Run(u"\x13 EMBED Equation.3 \\* MERGEFORMAT \x14").Run(u"\x01", kSpec + Sprm(0x0856, {1})).Run(u"\x15");
    };
    RunCases({
        {"picture", [&] { return TB().Run(u" ").Run(u"\x01", picture).Para(u" "); }, u"[picture]\n"},
        {"drawing", [] { return TB().Run(u"\x08", kSpec).Para(u" "); }, u"[drawing]\n"},
        {"equation", [&] { return equation(TB()).Para(u""); }, u"[object: Equation.3]\n"},
        {"each-on-its-line",
         [&] { return equation(TB().Run(u"\x01", picture).Run(u"\x08", kSpec)).Para(u"").Para(u"").Run(u"\x01", picture).Para(u""); },
         u"[picture]\n[drawing]\n[object: Equation.3]\n[picture]\n"},
        {"object-classes",
         [] {
             return TB()
                 .Run(u"\x13 EMBED \"Equation\" \"Word Object2\" \\* mergeformat \x14\x15")
                 .Run(u"\x13 embed Excel.Sheet.8\\s\x15")
                 .Run(u"\x13 EMBED \x15")
                 .Para(u"");
         },
         u"[object: Equation]\n[object: Excel.Sheet.8]\n[object]\n"},
        {"picture-in-a-field-result", [&] { return TB().Run(u"\x13 INCLUDEPICTURE x.png \x14").Run(u"\x01", picture).Para(u"\x15"); },
         u"[picture]\n"},
        {"beside-text", [&] { return equation(TB().Run(u"\x01", picture).Run(u"\x08", kSpec)).Para(u"Caption"); }, u"Caption\n"},
        {"beside-a-note",
         [&] { return TB().Run(u"\x01", picture).NoteRef().Para(u"").Story(1).NoteRef().Para(u" note"); },
         u"1\n\n--- Footnotes ---\n1 note\n"},
        {"beside-a-text-box", [&] { return TB().Run(u"\x08", kSpec).Para(u"").Story(6).Para(u"Box"); },
         u"\n--- Text boxes ---\nBox\n"},
        {"hidden-picture", [&] { return TB().Run(u"\x01", picture + kVanish).Para(u""); }, u""},
        {"nothing-at-all", [] { return TB().Para(u"").Cell(u"").Cell(u"").RowEnd(); }, u""},
        {"alternative-text",
         [] {
             return TB()
                 .Picture(u"A red\tkite ")
                 .Para(u"")
                 .Picture(u"Logo", true)
                 .Para(u"")
                 .Picture()
                 .Para(u"")
                 .Picture(std::u16string(300, u'x'))
                 .Para(u"");
         },
         u"[picture: A red kite]\n[picture: Logo]\n[picture]\n[picture: " + std::u16string(255, u'x') + u"]\n"},
        {"drawn-objects",
         [] {
             return TB()
                 .Drawing()
                 .Para(u"")
                 .Drawing(true)
                 .Para(u"")
                 .Drawing(true, u"A floating photo")
                 .Drawing(false, u"An arrow")
                 .Para(u"")
                 .Run(u"\x08", kSpec)  // no anchor of its own
                 .Para(u"");
         },
         u"[drawing]\n[picture]\n[picture: A floating photo]\n[drawing: An arrow]\n[drawing]\n"},
        {"word6-picture-and-object",
         [] {
             return TB(TB::Word6)
                 .Run(u"\x01", Sprm6(117, {1}) + Sprm6(68, {4, 0, 0, 0, 0}))
                 .Para(u"")
                 .Run(u"\x13 EMBED MSDraw \x14")
                 .Run(u"\x01", Sprm6(117, {1}))
                 .Para(u"\x15");
         },
         u"[picture]\n[object: MSDraw]\n"},
    });
}

// Check boxes and drop-downs show their state from their data in the "Data"
// stream; a text field its result; a field whose data cannot be read, its
// result as any field.
TEST(ReadingLayout, FormFields) {
    const std::vector<std::u16string> entries = {u"One", u"Two", u"Three"};
    auto field = [](std::u16string_view name, const TBytes& data, std::u16string_view result = {},
                    uint32_t at = 0xFFFFFFFFu) { return TB().Run(u"[").FormField(name, data, result, at).Para(u"]"); };
    TBytes bad = FormFieldData(1, 1);
    bad[0] = 0;  // not the version every FFData has
    RunCases({
        {"check-boxes",
         [] {
             return TB()
                 .Run(u"Yes ")
                 .FormField(u"FORMCHECKBOX", FormFieldData(1, 1))
                 .Run(u" No ")
                 .FormField(u"FORMCHECKBOX", FormFieldData(1, 0))
                 .Run(u" Default ")
                 .FormField(u"FORMCHECKBOX", FormFieldData(1, 25, 1))
                 .FormField(u"FORMCHECKBOX", FormFieldData(1, 25, 0))
                 .Para(u"");
         },
         u"Yes \u2612 No \u2610 Default \u2612\u2610\n"},
        {"drop-down", [&] { return field(u"FORMDROPDOWN", FormFieldData(2, 1, 0, entries)); }, u"[Two]\n"},
        {"drop-down-default", [&] { return field(u"FORMDROPDOWN", FormFieldData(2, 25, 2, entries)); }, u"[Three]\n"},
        {"drop-down-state-over-its-result",
         [&] { return field(u" formdropdown", FormFieldData(2, 0, 0, entries), u"stale"); }, u"[One]\n"},
        {"text-field-shows-its-result", [&] { return field(u"FORMTEXT", FormFieldData(0, 0), u"typed"); },
         u"[typed]\n"},
        // Data that does not hold the field's state: its result.
        {"entry-beyond-the-list", [&] { return field(u"FORMDROPDOWN", FormFieldData(2, 3, 0, entries), u"r"); },
         u"[r]\n"},
        {"no-entries", [&] { return field(u"FORMDROPDOWN", FormFieldData(2, 0, 0, {})); }, u"[]\n"},
        {"data-of-another-type", [&] { return field(u"FORMCHECKBOX", FormFieldData(2, 0, 0, entries), u"r"); },
         u"[r]\n"},
        {"wrong-version", [&] { return field(u"FORMCHECKBOX", bad, u"r"); }, u"[r]\n"},
        {"cut-short",
         [&] {
             const TBytes data = FormFieldData(2, 2, 0, entries);
             return field(u"FORMDROPDOWN", TBytes(data.begin(), data.end() - 2), u"r");
         },
         u"[r]\n"},
        {"not-at-a-header", [&] { return field(u"FORMCHECKBOX", FormFieldData(1, 1), u"r", 2); }, u"[r]\n"},
        {"beyond-the-stream", [&] { return field(u"FORMCHECKBOX", FormFieldData(1, 1), u"r", 0x7FFFFFF0); },
         u"[r]\n"},
        {"in-hidden-text",
         [] {
             return TB().Run(u"a").FormField(u"FORMCHECKBOX", FormFieldData(1, 1)).Para(u"b").SecondPiece(1, 0x5C << 1 | 1 << 8);
         },
         u"a\n"},
    });
}

// Paragraphs Word shows as one: a drop cap's letter and the paragraph it
// starts; two paragraphs apart by a hidden mark, with a space.
TEST(ReadingLayout, JoinedParagraphs) {
    RunCases({
        {"drop-cap", [] { return TB().DropCap(u"O").Para(u"nce upon a time").Para(u"Next"); },
         u"Once upon a time\nNext\n"},
        {"drop-cap-word6", [] { return TB(TB::Word6).Para(u"Before").DropCap(u"O").Para(u"nce").Para(u"Next"); },
         u"Before\nOnce\nNext\n"},
        {"hidden-mark", [] { return TB().Run(u"one").HiddenEnd().Para(u"two").Para(u"three"); }, u"one two\nthree\n"},
        {"hidden-mark-word6", [] { return TB(TB::Word6).Run(u"one").HiddenEnd().Para(u"two"); }, u"one two\n"},
        {"hidden-mark-after-nothing", [] { return TB().Para(u"a").HiddenEnd().Para(u"b"); }, u"a\nb\n"},
        {"hidden-paragraph", [] { return TB().Para(u"a").Run(u"gone", kVanish).HiddenEnd().Para(u"b"); },
         u"a\nb\n"},
    });
}

TEST(ReadingLayout, BreaksAndSpecialCharacters) {
    RunCases({
        {"breaks",
         [] {
             return TB()
                 .Para(u"line\x0Bnext")
                 .Para(u"col\x0Enext")
                 .Para(
                     u"page\x0C"
                     u"after");
         },
         u"line\nnext\ncol\nnext\npage\nafter\n"},
        {"hyphens",
         [] {
             return TB().Para(
                 u"non\x1E"
                 u"breaking op\x1Ftional");
         },
         u"non-breaking optional\n"},
        {"anchors",
         [] {
             return TB()
                 .Run(u"a")
                 .Run(u"\x01\x08", kSpec)
                 .Run(
                     u"b\x01"
                     u"c")
                 .Run(u"\x05", kSpec)
                 .Para(u"d");
         },
         u"abcd\n"},
        {"controls-left",
         [] {
             return TB().Para(
                 u"a\x03\x04\x06\x10\x1D"
                 u"b\tc");
         },
         u"ab\tc\n"},
        {"symbols",
         [] {
             return TB()
                 .Font(u"Times New Roman", 0)
                 .Font(u"Symbol", 2)
                 .Font(u"Wingdings", 2)
                 .Font(u"Marlett", 2)
                 .Run(u"x")
                 .Run(u"(", Sprm(0x6A09, {1, 0, 0x61, 0xF0}) + kSpec)  // Symbol alpha
                 .Run(u"(", Sprm(0x6A09, {2, 0, 0xFC, 0xF0}) + kSpec)  // Wingdings check mark
                 .Run(u"(", Sprm(0x6A09, {3, 0, 0x61, 0xF0}) + kSpec)  // no Unicode equivalent
                 .Run(u"(", Sprm(0x6A09, {0, 0, 0xAC, 0x20}) + kSpec)  // a plain font: the character
                 .Run(u"\xF0B7\xF061", Sprm(0x4A4F, {1, 0}))           // text in the Symbol font
                 .Para(u"y");
         },
         u"x\u03B1\u2713\u20AC\u2022\u03B1y\n"},
    });
}

TEST(ReadingLayout, HiddenAndDeletedText) {
    RunCases({
        {"runs", [] { return TB().Run(u"shown ").Run(u"hidden ", kVanish).Run(u"deleted ", kDeleted).Para(u"end"); },
         u"shown end\n"},
        {"hidden-paragraph-mark-joins", [] { return TB().Run(u"one").Run(u"\r", kVanish).Para(u"two"); }, u"one two\n"},
        {"vanish-toggled-off-again", [] { return TB().Run(u"a", kVanish + Sprm(0x083C, {0})).Para(u"b"); }, u"ab\n"},
        {"hidden-by-style",
         [] {
             return TB()
                 .Style(0, 1, {}, {})
                 .Style(1, 1, {}, kVanish)
                 .Style(10, 2, {}, {})
                 .Style(11, 2, {}, kVanish, 10)
                 .Para(u"normal")
                 .Para(u"hidden paragraph", {}, 1)
                 .Run(u"x")
                 .Run(u"char style", Sprm(0x4A30, {11, 0}))
                 .Para(u"y");
         },
         u"normal\nxy\n"},
        {"fields-in-hidden-text",
         [] { return TB().Run(u"a").Run(u"\x13 X \x14", kVanish).Run(u"b").Run(u"\x15", kVanish).Para(u"c"); },
         u"abc\n"},
        {"hidden-by-the-piece-prm0",  // Prm0: isprm 0x5C (vanish), value 1
         [] { return TB().Para(u"shown").Para(u"hidden").SecondPiece(6, 0x5C << 1 | 1 << 8); }, u"shown\n"},
        {"deleted-by-the-piece-prc",  // Prm: the first Prc's grpprl
         [] { return TB().Para(u"kept").Para(u"gone").SecondPiece(5, 0 << 1 | 1, kDeleted); }, u"kept\n"},
        {"word6-hidden-and-deleted",
         [] { return TB(TB::Word6).Run(u"a").Run(u"b", Sprm6(92, {1})).Run(u"c", Sprm6(65, {1})).Para(u"d"); },
         u"ad\n"},
    });
}

// Number texts hold the level placeholders U+0000 to U+0008: string views keep them.
TB::TLevel Level(uint8_t nfc, std::u16string_view text, int32_t start = 1, uint8_t follow = 0) {
    return {nfc, start, std::u16string(text), follow};
}

TBytes ListPara(uint16_t ilfo, uint8_t ilvl) {
    return Sprm(0x460B, {uint8_t(ilfo), uint8_t(ilfo >> 8)}) + Sprm(0x260A, {ilvl});
}

TEST(ReadingLayout, Lists) {
    RunCases({
        {"decimal-and-levels",
         [] {
             return TB()
                 .List(1, {Level(0, u"\x00."sv, 1), Level(4, u"\x00.\x01)"sv, 1, 1), Level(2, u"(\x02)"sv, 1, 2)})
                 .Para(u"one", ListPara(1, 0))
                 .Para(u"two", ListPara(1, 0))
                 .Para(u"two a", ListPara(1, 1))
                 .Para(u"two b", ListPara(1, 1))
                 .Para(u"roman", ListPara(1, 2))
                 .Para(u"three", ListPara(1, 0))
                 .Para(u"three a", ListPara(1, 1))
                 .Para(u"plain");
         },
         std::u16string(u"1.\tone\n2.\ttwo\n2.a) two a\n2.b) two b\n(i)roman\n3.\tthree\n3.a) three a\nplain\n")},
        {"bullets-and-formats",
         [] {
             return TB()
                 .List(1, {Level(23, u"\xF0B7"sv)})
                 .List(2, {Level(1, u"\x00"sv, 4, 1)})
                 .List(3, {Level(3, u"\x00."sv, 26, 1)})
                 .Para(u"bullet", ListPara(1, 0))
                 .Para(u"IV", ListPara(2, 0))
                 .Para(u"V", ListPara(2, 0))
                 .Para(u"Z", ListPara(3, 0))
                 .Para(u"AA", ListPara(3, 0));
         },
         u"\u2022\tbullet\nIV IV\nV V\nZ. Z\nAA. AA\n"},
        {"list-from-style",
         [] {
             return TB()
                 .List(7, {Level(0, u"\x00."sv)})
                 .Style(0, 1, {}, {})
                 .Style(1, 1, ListPara(1, 0), {})
                 .Para(u"a", {}, 1)
                 .Para(u"b", {}, 1);
         },
         u"1.\ta\n2.\tb\n"},
        {"in-a-table",
         [] {
             return TB()
                 .List(1, {Level(0, u"\x00."sv, 1, 1)})
                 .Run(u"x")
                 .End(ListPara(1, 0) + kInTable, u'\x07')
                 .RowEnd();
         },
         u"1. x\n"},
        {"fast-saved-mark-in-a-later-piece",
         [] {
             // The paragraph's text starts in one piece and ends in the next, whose
             // modifier makes the paragraph a list item: the properties at its mark count.
             return TB().List(1, {Level(0, u"\x00."sv)}).Para(u"first").Para(u"item").SecondPiece(8, 0 << 1 | 1, ListPara(1, 0));
         },
         u"first\n1.\titem\n"},
        {"long-number-text",
         [] { return TB().List(1, {Level(0, std::u16string(5000, u'#'))}).Para(u"x", ListPara(1, 0)); },
         std::u16string(64, u'#') + u"\tx\n"},
        {"unknown-override",
         [] { return TB().List(1, {Level(0, u"\x00."sv)}).Para(u"x", ListPara(5, 0)).Para(u"y", ListPara(1, 12)); },
         u"x\ny\n"},
        {"damaged-list-table",
         [] {
             TBytes lst = {3, 0};
             for (int i = 0; i < 28; ++i) lst.push_back(0);  // one LSTF of three, no levels
             return TB().RawLists(lst, {1, 0, 0, 0, 0, 0, 0, 0}).Para(u"x", ListPara(1, 0));
         },
         u"x\n"},
    });
}

TEST(ReadingLayout, NotesAndStories) {
    RunCases({
        {"footnotes",
         [] {
             return TB()
                 .Run(u"Text")
                 .NoteRef()
                 .Run(u" and more")
                 .NoteRef()
                 .Para(u".")
                 .Story(1)
                 .NoteRef()
                 .Para(u" First note")
                 .NoteRef()
                 .Para(u" Second note");
         },
         u"Text1 and more2.\n\n--- Footnotes ---\n1 First note\n2 Second note\n"},
        {"endnotes",
         [] { return TB().Run(u"E").NoteRef(true).Para(u"").Story(5).NoteRef().Para(u" end").NoteRef().Para(u" two"); },
         u"Ei\n\n--- Endnotes ---\ni end\nii two\n"},
        {"dop-upper-letters-from-3-and-symbol-endnotes",
         [] {
             TB b;
             b.Dop(Dop97(3, 0, 3, 1, 9)).Run(u"a").NoteRef().Run(u"b").NoteRef();
             for (int k = 0; k < 5; ++k) b.Run(u" e").NoteRef(true);
             b.Para(u"").Story(1).NoteRef().Para(u" one").NoteRef().Para(u" two").Story(5);
             for (int k = 0; k < 5; ++k) b.NoteRef().Para(u" x");
             return b;
         },
         u"aCbD e* e\u2020 e\u2021 e\u00A7 e**\n\n--- Footnotes ---\nC one\nD two\n\n--- Endnotes ---\n* x\n\u2020 "
         u"x\n\u2021 x\n\u00A7 x\n** x\n"},
        {"custom-mark-takes-no-number",
         [] {
             return TB()
                 .Run(u"a")
                 .NoteRef()
                 .Run(u"b")
                 .CustomNoteRef(u"#")
                 .Run(u"c")
                 .NoteRef()
                 .Para(u"")
                 .Story(1)
                 .NoteRef()
                 .Para(u" one")
                 .CustomNoteRef(u"#")
                 .Para(u" own")
                 .NoteRef()
                 .Para(u" two");
         },
         u"a1b#c2\n\n--- Footnotes ---\n1 one\n# own\n2 two\n"},
        {"section-override-then-restart",
         // Restart at each section (DOP); the first section's own format and first number.
         [] {
             return TB()
                 .Dop(Dop97(1, 1, 0, 1, 2))
                 .Run(u"a")
                 .NoteRef()
                 .Run(u"b")
                 .NoteRef()
                 .Para(u"")
                 .SectionEnd(Sprm(0x5040, {4, 0}) + Sprm(0x503F, {5, 0}))
                 .Run(u"c")
                 .NoteRef()
                 .Para(u"")
                 .Story(1)
                 .NoteRef()
                 .Para(u" x")
                 .NoteRef()
                 .Para(u" y")
                 .NoteRef()
                 .Para(u" z");
         },
         u"aebf\nc1\n\n--- Footnotes ---\ne x\nf y\n1 z\n"},
        {"section-endnote-sprms-continuous",
         // Numbering runs on across sections; each section's format shows.
         [] {
             return TB()
                 .Run(u"a")
                 .NoteRef(true)
                 .Para(u"")
                 .SectionEnd(Sprm(0x5042, {3, 0}) + Sprm(0x303D, {0}) + Sprm(0x5041, {2, 0}))
                 .Run(u"b")
                 .NoteRef(true)
                 .Para(u"")
                 .Story(5)
                 .NoteRef()
                 .Para(u" x")
                 .NoteRef()
                 .Para(u" y");
         },
         u"aB\nbiii\n\n--- Endnotes ---\nB x\niii y\n"},
        {"section-sprm-cut-short",
         // The second sprm's operand runs past its SEPX: the first still counts.
         [] {
             return TB()
                 .Run(u"a")
                 .NoteRef()
                 .Para(u"")
                 .SectionEnd(Sprm(0x503F, {7, 0}) + TBytes{0x40, 0x50, 4})
                 .Story(1)
                 .NoteRef()
                 .Para(u" x");
         },
         u"a7\n\n--- Footnotes ---\n7 x\n"},
        {"short-dop-keeps-what-it-lacks",
         // 40 bytes hold the footnotes' first number, not the endnotes' nor the formats.
         [] {
             return TB()
                 .Dop(Dop(40, {{2, 4 << 2}}))
                 .Run(u"a")
                 .NoteRef()
                 .Run(u"b")
                 .NoteRef(true)
                 .Para(u"")
                 .Story(1)
                 .NoteRef()
                 .Para(u" f")
                 .Story(5)
                 .NoteRef()
                 .Para(u" e");
         },
         u"a4bi\n\n--- Footnotes ---\n4 f\n\n--- Endnotes ---\ni e\n"},
        {"word6-dop-formats-and-endnotes",
         // Word 6/95: 4-bit formats after the endnote position at 0x36 (upper roman, lower letters).
         [] {
             return TB(TB::Word6)
                 .Dop(Dop(84, {{2, 2 << 2}, {0x36, 3 | 1 << 2 | 4 << 6}}))
                 .Run(u"a")
                 .NoteRef()
                 .Run(u"b")
                 .NoteRef(true)
                 .Run(u"c")
                 .NoteRef(true)
                 .Para(u"")
                 .Story(1)
                 .NoteRef()
                 .Para(u" f")
                 .Story(5)
                 .NoteRef()
                 .Para(u" e")
                 .NoteRef()
                 .Para(u" g");
         },
         u"aIIbacb\n\n--- Footnotes ---\nII f\n\n--- Endnotes ---\na e\nb g\n"},
        {"word6-restart-at-each-section",
         [] {
             return TB(TB::Word6)
                 .Dop(Dop(84, {{2, 1 << 2 | 1}}))
                 .Run(u"a")
                 .NoteRef()
                 .Run(u"b")
                 .NoteRef()
                 .Para(u"")
                 .SectionEnd({})
                 .Run(u"c")
                 .NoteRef()
                 .Para(u"")
                 .Story(1)
                 .NoteRef()
                 .Para(u" x")
                 .NoteRef()
                 .Para(u" y")
                 .NoteRef()
                 .Para(u" z");
         },
         u"a1b2\nc1\n\n--- Footnotes ---\n1 x\n2 y\n1 z\n"},
        {"comments-with-initials",
         [] {
             return TB()
                 .Run(u"Body")
                 .CommentMark(u"AB")
                 .Run(u" text")
                 .CommentMark()
                 .Para(u"")
                 .Story(4)
                 .CommentMark()
                 .Para(u"First remark")
                 .CommentMark()
                 .Para(u"Second");
         },
         u"Body text\n\n--- Comments ---\nAB: First remark\nSecond\n"},
        {"word6-comments-with-initials",
         [] { return TB(TB::Word6).Run(u"Body").CommentMark(u"CD").Para(u"").Story(4).CommentMark().Para(u"Remark"); },
         u"Body\n\n--- Comments ---\nCD: Remark\n"},
        {"header-cps-going-back",
         [] {
             return TB().Para(u"Body").Story(2).Para(u"Head").Para(u"Foot").RawHeaderCps({0, 5, 0, 10, 5, 10, 0, 10});
         },
         u"Body\n\n--- Headers and footers ---\nHead\nFoot\n"},
        {"text-boxes", [] { return TB().Para(u"Body").Story(6).Para(u"Box one").Para(u""); },
         u"Body\n\n--- Text boxes ---\nBox one\n"},
    });
}

TEST(ReadingLayout, EightBitText) {
    const std::u16string privet = u"\u041F\u0440\u0438\u0432\u0435\u0442";
    const std::u16string privet1251 = u"\xCF\xF0\xE8\xE2\xE5\xF2";  // the same word's bytes in code page 1251
    RunCases({
        {"word97-compressed-is-1252", [] { return TB(TB::Word97EightBit).Para(u"caf\xE9 \x80"); },
         u"caf\u00E9 \u20AC\n"},
        {"word97-compressed-ignores-language",
         [] {
             return TB(TB::Word97EightBit).Run(u"\xE9", Sprm(0x486D, {0x19, 0x04})).Para(u"");
         },
         u"\u00E9\n"},
        {"word6-russian-language",
         [&] {
             return TB(TB::Word6).Run(privet1251, Sprm6(97, {0x19, 0x04})).Para(u" ok");
         },
         privet + u" ok\n"},
        {"word6-russian-by-style",
         [&] {
             return TB(TB::Word6).Style(0, 1, {}, Sprm6(97, {0x19, 0x04})).Para(privet1251);
         },
         privet + u"\n"},
        {"word6-cyrillic-charset",
         [&] {
             return TB(TB::Word6)
                 .Font(u"Times New Roman", 0)
                 .Font(u"Times New Roman Cyr", 204)
                 .Run(privet1251, Sprm6(93, {1, 0}))
                 .Para(u"");
         },
         privet + u"\n"},
        {"word6-greek-charset-before-language",
         [] {
             return TB(TB::Word6)
                 .Font(u"Arial", 0)
                 .Font(u"Arial Greek", 161)
                 .Run(u"\xE1", Sprm6(93, {1, 0}) + Sprm6(97, {0x19, 0x04}))
                 .Para(u"");
         },
         u"\u03B1\n"},
        {"word6-no-language-system-code-page", [] { return TB(TB::Word6).Para(u"caf\xE9"); }, u"caf\u00E9\n"},
        // Mac Word wrote 8-bit text in the Mac code page of its script.
        {"word6-mac-roman", [] { return TB(TB::Word6).Mac().Para(u"l\xD5"
                                                                  u"auteur strat\x8Egie"); },
         u"l\u2019auteur strat\u00E9gie\n"},
        {"word6-mac-cyrillic",
         [&] {
             return TB(TB::Word6).Mac().Run(u"\x8F\xF0\xE8\xE2\xE5\xF2", Sprm6(97, {0x19, 0x04})).Para(u"");
         },
         privet + u"\n"},
        {"word6-mac-central-european",
         [] { return TB(TB::Word6).Mac().Run(u"\x88", Sprm6(97, {0x15, 0x04})).Para(u""); }, u"\u0105\n"},
        {"word6-mac-font-charset-wins",
         [&] {
             return TB(TB::Word6)
                 .Mac()
                 .Font(u"Times New Roman", 0)
                 .Font(u"Times New Roman Cyr", 204)
                 .Run(privet1251, Sprm6(93, {1, 0}))
                 .Para(u"");
         },
         privet + u"\n"},
        {"word6-fields-and-notes",
         [] {
             return TB(TB::Word6)
                 .Run(
                     u"a\x13 PAGE \x14"
                     u"3\x15"
                     u"b")
                 .NoteRef()
                 .Para(u"")
                 .Story(1)
                 .NoteRef()
                 .Para(u" note");
         },
         u"a3b1\n\n--- Footnotes ---\n1 note\n"},
    });
    // A forced code page wins over the run's language.
    const auto file = TB(TB::Word6).Run(privet1251, Sprm6(97, {0x19, 0x04})).Para(u"").Build();
    EXPECT_EQ(Show(Reading(file, 1252, true)), Show(u"\u00CF\u00F0\u00E8\u00E2\u00E5\u00F2\n"));
    try {
        Reading(file, 12345, true);
        ADD_FAILURE() << "no error for an unknown code page";
    } catch (const EPagelet& e) {
        EXPECT_EQ(Utf16ToUtf8(e.Message()), "Invalid code page");
    }
}

// The heading level the Word reader hands over with each shown paragraph
// (the text shows it no differently). Word 97-2003: the outline level the
// paragraph or its style chain sets wins (9 is body text; other values set
// none), else the style being Heading 1-9 (sti 1-9); Word 6/95: the style.
TEST(ReadingLayout, HeadingLevels) {
    auto outline = [](uint8_t level) { return Sprm(0x2640, {level}); };
    const uint16_t kUserStyle = 0x0FFE, kNoBase = 0x0FFF;
    struct TLevelCase {
        const char* name;
        std::function<TB()> make;
        std::vector<int> expected;
    };
    const TLevelCase cases[] = {
        {"heading-styles",
         [] {
             return TB()
                 .Style(1, 1, {}, {}, kNoBase, 1)
                 .Style(2, 1, {}, {}, kNoBase, 9)
                 .Style(3, 1, {}, {}, kNoBase, 10)
                 .Para(u"one", {}, 1)
                 .Para(u"nine", {}, 2)
                 .Para(u"index", {}, 3)
                 .Para(u"body");
         },
         {1, 9, 0, 0}},
        {"outline-levels",
         [&] {
             return TB()
                 .Style(1, 1, outline(2), {}, kNoBase, kUserStyle)
                 .Style(2, 1, {}, {}, 1, kUserStyle)
                 .Style(3, 1, outline(9), {}, kNoBase, 1)
                 .Style(4, 1, {}, {}, kNoBase, 4)
                 .Para(u"own style", {}, 1)
                 .Para(u"its base's", {}, 2)
                 .Para(u"heading as body", {}, 3)
                 .Para(u"own level", outline(0))
                 .Para(u"over the style's", outline(8), 3)
                 .Para(u"no level", outline(12), 4)
                 .Para(u"body over heading", outline(9), 4)
                 .Para(u"none");
         },
         {3, 3, 0, 1, 9, 4, 0, 0}},
        {"table-and-eight-bit",
         [] {
             return TB(TB::Word97EightBit)
                 .Style(1, 1, {}, {}, kNoBase, 2)
                 .Cell(u"cell")
                 .RowEnd()
                 .Para(u"heading", {}, 1);
         },
         {0, 2}},
        {"word6",
         [] {
             return TB(TB::Word6)
                 .Style(1, 1, {}, {}, kNoBase, 3)
                 .Style(2, 1, {}, {}, 1, kUserStyle)
                 .Para(u"three", {}, 1)
                 .Para(u"based on it", {}, 2)
                 .Para(u"body");
         },
         {3, 0, 0}},
    };
    for (const TLevelCase& c : cases) {
        SCOPED_TRACE(c.name);
        const auto file = c.make().Write();
        const std::unique_ptr<TDocumentReader> reader = OpenDocumentReader(file->Path(), {});
        ASSERT_NE(reader, nullptr);
        struct : TTextSink {
            void Append(std::u16string_view) override {}
        } sink;
        const std::function<bool()> full = [] { return false; };
        TTextAssembler out(sink, full);
        std::vector<int> levels;
        out.WatchParagraphs([&](const TParagraphProps& paragraph) { levels.push_back(paragraph.headingLevel); });
        EXPECT_EQ(reader->Read(out), TReadingResult::Done);
        EXPECT_EQ(levels, c.expected);
    }
}

TEST(ReadingLayout, DamagedPropertyTablesDegrade) {
    RunCases({
        {"no-bin-tables",
         [] {
             return TB().RawBinTable(false, {}).RawBinTable(true, {}).Para(
                 u"a\x13 X \x14"
                 u"b\x15\x07"
                 u"c");
         },
         u"ab\tc\n"},
        {"bin-table-pages-beyond-the-stream",
         [] {
             return TB().RawBinTable(false, {0, 8, 0, 0, 0, 9, 0, 0, 0xFF, 0xFF, 0x3F, 0}).Para(u"text");
         },
         u"text\n"},
        {"word6-bin-table-leaves-its-pages-out",  // they follow pnChpFirst, cpnBteChp of them
         [] { return TB(TB::Word6).Run(u"a").Run(u"b", Sprm6(92, {1})).Para(u"c").RawBinTable(false, {}); }, u"ac\n"},
        {"bin-table-odd-size",
         [] {
             return TB().RawBinTable(true, {1, 2, 3}).Para(u"text");
         },
         u"text\n"},
        // The runs end before the text does (their pages cover its first
        // paragraph only): the rest is read as plain paragraphs, not dropped.
        {"runs-end-before-the-text",
         [] {
             // One run of a page each, from FC 0x800 (where the builder puts
             // the text): a paragraph run over "one\r" (8 bytes of UTF-16)
             // without properties, a character run over "on" that hides it.
             TBytes paragraphs(512, 0);
             paragraphs[0x01] = 0x08;
             paragraphs[0x04] = 0x08;
             paragraphs[0x05] = 0x08;
             paragraphs[511] = 1;
             TBytes characters = paragraphs;
             characters[0x04] = 0x04;
             characters[0x08] = 480 / 2;
             characters[480] = static_cast<uint8_t>(kVanish.size());
             std::copy(kVanish.begin(), kVanish.end(), characters.begin() + 481);
             return TB().Para(u"one").Para(u"two").Para(u"three").RawFkpPages(true, paragraphs).RawFkpPages(
                 false, characters);
         },
         u"e\ntwo\nthree\n"},
    });
}

// The converter's own text stays as it was: without the option nothing changes.
TEST(ReadingLayout, OffByDefault) {
    TTempFile file(TB().Para(u"a\x13 X \x14"
                             u"b\x15")
                       .Build());
    TWordConverter converter;
    EXPECT_EQ(Show(converter.LoadText(file.Path(), false, 0, false)), Show(u"a\x13 X \x14"
                                                                           u"b\x15\r"));
}

// A piece table that cannot be laid out gives the converter's own text (here, its error).
TEST(ReadingLayout, DamagedPieceTableFallsBack) {
    TDocBuilder doc;
    doc.Clx(TClxBuilder().Pcdt({0, 100000}, {{0x800}})).DocText16(0x800, u"Hello");
    auto file = doc.Write();
    TWordConverter plain, reading;
    UseReadingLayout(reading, true);
    std::string plainError, readingError;
    try {
        plain.LoadText(file->Path(), false, 0, false);
    } catch (const EPagelet& e) {
        plainError = Utf16ToUtf8(e.Message());
    }
    try {
        reading.LoadText(file->Path(), false, 0, false);
    } catch (const EPagelet& e) {
        readingError = Utf16ToUtf8(e.Message());
    }
    EXPECT_EQ(readingError, plainError);
    // Not a Word document: no text either way.
    TTempFile notWord(std::vector<uint8_t>{'h', 'i'});
    EXPECT_EQ(reading.LoadText(notWord.Path(), false, 0, false), u"");
}

TEST(ReadingLayout, LimitAndPrintable) {
    TTempFile file(TB().Cell(u"abc").Cell(u"def").RowEnd().Para(u"ghi").Build());
    TWordConverter converter;
    UseReadingLayout(converter, true);
    converter.SetMaxChars(5);
    EXPECT_EQ(Show(converter.LoadText(file.Path(), false, 0, false)), Show(u"abc\td"));
    TWordConverter printable;
    UseReadingLayout(printable, true);
    EXPECT_EQ(Show(printable.LoadText(file.Path(), true, 0, false)),
              Show(u"abcdef\nghi\n"));  // the filter keeps no tab
}

// The viewer's layout thread picks its reader by what the file holds and
// gives what the converter's text stage gives: the layout through the
// printable filter, the converter's own text for a document the reader
// cannot lay out, none for a file no reader reads.
TEST(ReadingLayout, ViewerThreadReadsWithTheDocumentsReader) {
    TLoadSettings settings;
    settings.ReadingLayout = true;
    auto opened = [&](const std::u16string& path) -> std::string {
        try {
            std::optional<TLoadedDocument> document = OpenDocument(path, settings, std::chrono::minutes(10));
            if (!document) return "<none>";
            std::u16string text = std::move(document->Text);
            while (document->Rest && document->Rest->Produce(text, 1000)) {}
            return Show(text);
        } catch (const EPagelet& e) {
            return "error: " + Utf16ToUtf8(e.Message());
        }
    };
    TTempFile table(TB().Cell(u"abc").Cell(u"def").RowEnd().Para(u"ghi").Build());
    EXPECT_EQ(opened(table.Path()), Show(u"abc\tdef\r\nghi\r\n"));
    settings.Printable = true;
    EXPECT_EQ(opened(table.Path()), Show(u"abcdef\r\nghi\r\n"));  // the filter keeps no tab
    settings.Printable = false;

    TDocBuilder damaged;
    damaged.Clx(TClxBuilder().Pcdt({0, 100000}, {{0x800}})).DocText16(0x800, u"Hello");
    auto file = damaged.Write();
    const std::string layout = opened(file->Path());
    EXPECT_EQ(layout, Show(u"Hello\r\n"));
    settings.ReadingLayout = false;
    EXPECT_EQ(layout, opened(file->Path()));
    settings.ReadingLayout = true;

    // Another format is read by its own reader; a file no reader knows is none.
    const std::string rtf = "{\\rtf1 text}";
    TTempFile notWord(std::vector<uint8_t>(rtf.begin(), rtf.end()));
    EXPECT_EQ(opened(notWord.Path()), Show(u"text\r\n"));
    TTempFile unknown(std::vector<uint8_t>{'{', 0, 1, 0});
    EXPECT_EQ(opened(unknown.Path()), "<none>");
}

}  // namespace
}  // namespace pagelet
