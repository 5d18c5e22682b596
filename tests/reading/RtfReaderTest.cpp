// The RTF reader on small hand-written files: what each construct shows,
// the code pages of 8-bit text, tables, notes and the other stories, and
// files that are damaged or cut short.

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "common/Error.h"
#include "common/Utf.h"
#include "loading/RtfReader.h"
#include "loading/TextAssembler.h"

namespace pagelet {
namespace {

class TCollect final : public TTextSink {
public:
    void Append(std::u16string_view part) override { text += part; }
    std::u16string text;
};

std::vector<uint8_t> Bytes(std::string_view text) { return {text.begin(), text.end()}; }

// The layout of the RTF text as UTF-8, "<none>" when it is no RTF.
std::string Layout(std::string_view rtf, int32_t cp = 1252, bool forceCP = false) {
    auto reader = OpenRtfReader(Bytes(rtf), cp, forceCP);
    if (!reader) return "<none>";
    TCollect sink;
    const std::function<bool()> full = [] { return false; };
    TTextAssembler out(sink, full);
    EXPECT_EQ(reader->Read(out), TReadingResult::Done);
    return Utf16ToUtf8(sink.text);
}

TEST(RtfReader, WhatEachConstructShows) {
    const struct {
        const char* name;
        std::string rtf;
        std::string text;
    } cases[] = {
        {"paragraphs, breaks and escapes",
         R"({\rtf1 a\par b\line c\tab d\~e\-f\_g\{\}\\ \emdash\endash\bullet\lquote\rquote\ldblquote\rdblquote
h
i\
j})",
         "a\nb\nc\td\u00A0ef-g{}\\ \u2014\u2013\u2022\u2018\u2019\u201C\u201Dhi\nj\n"},
        {"\\uN skips \\ucN bytes, per group",
         R"({\rtf1\uc2 A\u1046\'3f\'3fB{\uc0\u1046}C\u-10179??\u-8704??D{\uc3\u1046 x}y\u1046 zz?})",
         "A\u0416B\u0416C\U0001F600D\u0416y\u0416?\n"},
        {"code page of \\ansicpg", R"({\rtf1\ansi\ansicpg1251 \'cf\'f0\'e8\'e2\'e5\'f2})",
         "\u041F\u0440\u0438\u0432\u0435\u0442\n"},
        {"code page of the font's charset",
         R"({\rtf1\ansi\ansicpg1252{\fonttbl{\f0\fswiss\fcharset0 Arial;}{\f1\fnil\fcharset204{\*\panose 0}Times;}}
\f0 \'e0 {\f1 \'e0\'e1}\'e0 \plain\f1 \'e2})",
         "\u00E0 \u0430\u0431\u00E0 \u0432\n"},
        {"double-byte code page", R"({\rtf1\ansi{\fonttbl{\f0\fcharset128 MS Mincho;}}\f0 \'82\'a0\'82\'a2})",
         "\u3042\u3044\n"},
        {"symbol font", R"({\rtf1{\fonttbl{\f1\ftech\fcharset2 Symbol;}}{\f1 \'b7\u-3913 ?}\u-3913 ?x})",
         "\u2022\u2022x\n"},
        {"field result, not its instruction",
         R"({\rtf1 See {\field{\*\fldinst HYPERLINK "http://x"}{\fldrslt {link}}} and {\field{\fldinst PAGE}{\fldrslt 3}}.})",
         "See link and 3.\n"},
        {"destinations without text",
         R"({\rtf1{\fonttbl{\f0 Arial;}}{\colortbl;\red0\green0\blue0;}{\stylesheet{\s1 Heading;}}{\info{\title T}{\author A}}
{\*\generator Writer;}{\*\unknown junk}{\pict\pngblip 89504e47}{\object\objemb{\*\objclass Word}{\objdata 0102}{\result kept}}
{\pict\bin4 {}\x}text{\xe index}{\*\bkmkstart b}})",
         "kepttext\n"},
        {"binary data counted past the end", "{\\rtf1 a{\\pict\\bin99999 b}", "a\n"},
        {"the Unicode half of \\upr", R"({\rtf1 {\upr{caf\'e9}{\*\ud{caf\u233?}}}!})", "caf\u00E9!\n"},
        {"\\ud outside \\upr shows nothing skipped", R"({\rtf1 a{\*\fldinst {\*\ud x}}{\upr{\*\fldinst{\*\ud y}}}b})",
         "ab\n"},
        {"hidden and deleted text out, \\plain shows again",
         R"({\rtf1 a{\v hidden}b{\deleted gone}c\v d\plain e\deleted f\deleted0 g\par x\v\par\v0 y})", "abceg\nx y\n"},
        {"rows", R"({\rtf1\pard\intbl a\cell b\cell\row\pard\intbl c\cell d\cell\row\pard after\par})",
         "a\tb\nc\td\nafter\n"},
        {"nested rows",
         R"({\rtf1\pard\intbl x\cell\pard\intbl\itap2 n1\nestcell n2\nestcell{\*\nesttableprops\trowd\nestrow}{\nonesttables\par}
\pard\intbl y\cell\row\pard after\par})",
         "x\ny\nn1\tn2\nafter\n"},
        {"list labels", R"({\rtf1{\fonttbl{\f0 Arial;}{\f1\fcharset2 Symbol;}}
\pard{\listtext\f1 \'b7\tab}One\par{\listtext 2.\tab}Two\par{\pntext\pard\plain (a)\tab}Three\par{\listtext x\tab}\par Four\par})",
         "\u2022\tOne\n2.\tTwo\n(a)\tThree\n\nFour\n"},
        {"footnotes and endnotes after the text",
         R"({\rtf1 Text{\super\chftn}{\footnote\pard{\super\chftn} Note one.}
and{\super\chftn}{\footnote\ftnalt\pard{\super\chftn} An endnote.} more{\super\chftn}{\footnote{\super\chftn} Two.}\par})",
         "Text1andi more2\n\n--- Footnotes ---\n1 Note one.\n2 Two.\n\n--- Endnotes ---\ni An endnote.\n"},
        {"headers, footers and comments after the text",
         R"({\rtf1{\header\pard Head\par}{\footer\pard Foot\par}{\headerf\pard Head\par}Body {\*\atnid JS}{\*\atnauthor John}\chatn{\*\annotation{\*\atnref 1}A remark.}end\par})",
         "Body end\n\n--- Comments ---\nJS: A remark.\n\n--- Headers and footers ---\nHead\nFoot\n"},
        {"a label without its paragraph stays out of the notes",
         R"({\rtf1 a{\super\chftn}{\footnote{\super\chftn} n}\par{\listtext 9.\tab}})",
         "a1\n\n--- Footnotes ---\n1 n\n"},
        {"text boxes", R"({\rtf1 a{\shp{\*\shpinst{\sp{\sn x}{\sv 1}}{\shptxt inside\par}}{\shprslt{\*\do box}}} b})",
         "a b\n\n--- Text boxes ---\ninside\n"},
        {"cut short", R"({\rtf1 a\par {\b b)", "a\nb\n"},
        {"nothing after the document's group", R"({\rtf1 a}junk {\par more})", "a\n"},
        {"after a byte-order mark and white space", "\xEF\xBB\xBF \r\n{\\rtf1 a}", "a\n"},
        {"no RTF", "{\\rt a}", "<none>"},
        {"no RTF after text", "x{\\rtf1 a}", "<none>"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(Layout(c.rtf), c.text);
    }
}

// Groups nest up to 1024 levels; a file nested deeper is damaged.
TEST(RtfReader, NestingDeeperThanTheCapIsDamage) {
    const auto nested = [](size_t levels) {
        return "{\\rtf1 " + std::string(levels - 1, '{') + "x" + std::string(levels - 1, '}') + "}";
    };
    EXPECT_EQ(Layout(nested(1024)), "x\n");
    try {
        Layout(nested(1025));
        ADD_FAILURE() << "no error";
    } catch (const EPagelet& e) {
        EXPECT_EQ(e.Message(), u"The document is damaged: its groups nest deeper than 1024 levels");
    }
}

// A forced code page decodes only the 8-bit text whose code page the file
// does not name; one the platform lacks is an error once it is needed.
TEST(RtfReader, ForcedCodePage) {
    const std::string unnamed = R"({\rtf1\ansi \'e0})";
    const std::string named = R"({\rtf1\ansi\ansicpg1252 \'e0})";
    EXPECT_EQ(Layout(unnamed, 1251, true), "\u0430\n");
    EXPECT_EQ(Layout(named, 1251, true), "\u00E0\n");
    EXPECT_EQ(Layout(R"({\rtf1\mac \'8a})", 1251, true), "\u00E4\n");
    EXPECT_EQ(Layout(named, 12345, true), "\u00E0\n");
    EXPECT_THROW(Layout(unnamed, 12345, true), EPagelet);
}

}  // namespace
}  // namespace pagelet
