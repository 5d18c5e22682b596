// The built pagelet-cat binary: what it prints, and its exit status.

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include "support/DocBuilder.h"

namespace pagelet {
namespace {

struct TResult {
    int status = -1;
    std::string out;
    std::string err;
};

std::string Quote(const std::string& s) {
    std::string q = "'";
    for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

// asUser: as an unprivileged user when the test runs as root (who may read
// any file), so that a file without read permission stays unreadable. env:
// variables set for the run ("LC_ALL=ru_RU.UTF-8").
TResult RunCat(const std::string& args, bool asUser = false, const std::string& env = "") {
    const std::string errFile = testing::TempDir() + "pagelet-cat-stderr.txt";
    const std::string user = asUser && ::geteuid() == 0 ? "setpriv --reuid=65534 --regid=65534 --clear-groups " : "";
    const std::string command = user + (env.empty() ? "" : "env " + env + " ") + Quote(PAGELET_CAT_EXE) + " " + args + " 2>" + Quote(errFile);
    TResult result;
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) return result;
    char buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, pipe)) > 0) result.out.append(buf, n);
    const int raw = pclose(pipe);
    result.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    std::ifstream err(errFile, std::ios::binary);
    std::ostringstream s;
    s << err.rdbuf();
    result.err = s.str();
    return result;
}

// The converter's plain text, which most tests here are about.
TResult RunRaw(const std::string& args, bool asUser = false) { return RunCat("--raw " + args, asUser); }

std::string PathOf(const TTempFile& file) {
    return Quote(std::string(file.Path().begin(), file.Path().end()));  // ASCII temp paths
}

TDocBuilder Utf16Doc(std::u16string_view text) {
    TDocBuilder doc;
    doc.Clx(TClxBuilder().Pcdt({0, static_cast<uint32_t>(text.size())}, {{0x800}})).DocText16(0x800, text);
    return doc;
}

TEST(PageletCat, NewlinesNulsAndSurrogates) {
    const char16_t raw[] =
        u"a\rb\nc\r\nd\r\r\0e\xD800"
        u"f\u20AC\U0001F600\u0007";
    auto file = Utf16Doc(std::u16string(raw, std::size(raw) - 1)).Write();
    const TResult r = RunRaw(PathOf(*file));
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out,
              "a\nb\nc\nd\n\ne\xEF\xBF\xBD"
              "f\xE2\x82\xAC\xF0\x9F\x98\x80\x07");
    EXPECT_EQ(r.err, "");
}

TEST(PageletCat, Options) {
    TDocBuilder doc;
    doc.Clx(TClxBuilder().Pcdt({0, 3}, {{CompressedFc(0x400)}})).DocBytes(0x400, "\xC0\x07z");
    auto file = doc.Write();
    EXPECT_EQ(RunRaw(PathOf(*file)).out, "\xC3\x80\x07z");
    EXPECT_EQ(RunRaw("--codepage 1251 " + PathOf(*file)).out, "\xD0\x90\x07z");
    EXPECT_EQ(RunRaw("--codepage=1251 --printable " + PathOf(*file)).out, "\xD0\x90z");
    // Without --codepage: the code page of the locale's language, LC_ALL first.
    EXPECT_EQ(RunCat("--raw " + PathOf(*file), false, "LC_ALL= LC_CTYPE=ru_RU.UTF-8 LANG=el_GR.UTF-8").out,
              "\xD0\x90\x07z");
    EXPECT_EQ(RunCat("--raw " + PathOf(*file), false, "LC_ALL=C LC_CTYPE=ru_RU.UTF-8").out, "\xC3\x80\x07z");
    const TResult help = RunCat("--help");
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("Usage: pagelet-cat"), std::string::npos);
    EXPECT_NE(help.out.find("--reading"), std::string::npos);
    EXPECT_NE(help.out.find("--raw"), std::string::npos);
}

// The reading layout by default and with --reading; --raw gives the plain
// text; of the two options the last counts.
TEST(PageletCat, ReadingByDefaultAndRawOnRequest) {
    auto file = TRichDocBuilder()
                    .Run(u"See \x13 HYPERLINK \"x\" \x14link\x15")
                    .NoteRef()
                    .Para(u"")
                    .Cell(u"a")
                    .Cell(u"\u20AC")
                    .RowEnd()
                    .Story(1)
                    .NoteRef()
                    .Para(u" note")
                    .Write();
    const std::string reading = "See link1\na\t\xE2\x82\xAC\n\n--- Footnotes ---\n1 note\n";
    for (const char* options : {"", "--reading ", "--raw --reading "}) {
        SCOPED_TRACE(options);
        const TResult r = RunCat(options + PathOf(*file));
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.out, reading);
    }
    for (const char* options : {"--raw ", "--reading --raw "}) {
        SCOPED_TRACE(options);
        const TResult r = RunCat(options + PathOf(*file));
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_NE(r.out.find("HYPERLINK"), std::string::npos) << r.out;
        EXPECT_EQ(r.out.find("--- Footnotes ---"), std::string::npos) << r.out;
    }
}

TEST(PageletCat, ExitStatus) {
    auto good = Utf16Doc(u"text\r").Write();
    // Binary content: no reader reads it (a text file named .doc is shown as text).
    TTempFile binary(std::vector<uint8_t>{'b', 'i', 'n', 0x00, 0x01, 0x02});
    auto damaged = TDocBuilder().Clx(TClxBuilder().PrcHeader(-1)).Write();
    auto unknownCp = TDocBuilder().Word6(0x200, 0x201).DocBytes(0x200, "x").Write();
    // fEncrypted: the stream holds no readable text, whatever it seems to say.
    auto encrypted = Utf16Doc(u"noise\r").Flags(0x0100).Write();
    // A valid document with nothing visible in it: a field without a result.
    auto blank = TRichDocBuilder().Run(u"\x13 SEQ \x14\x15").Write();
    // A row of empty cells shows nothing either; an equation alone stands for itself.
    auto emptyRow = TRichDocBuilder().Cell(u"").Cell(u"").RowEnd().Write();
    auto equation = TRichDocBuilder().Run(u"\x13 EMBED Equation.3 \x14\x15").Para(u"").Write();

    auto unreadable = Utf16Doc(u"secret").Write();
    const std::string unreadablePath(unreadable->Path().begin(), unreadable->Path().end());
    ASSERT_EQ(::chmod(unreadablePath.c_str(), 0), 0);
    const std::string longName = "/tmp/" + std::string(300, 'n') + ".doc";

    struct TCase {
        std::string args;
        int status;
        std::string out;
        std::string errPart;
        bool asUser = false;
    };
    const std::string damagedPath(damaged->Path().begin(), damaged->Path().end());
    const TCase cases[] = {
        {.args = PathOf(*good), .status = 0, .out = "text\n", .errPart = ""},
        {.args = PathOf(binary), .status = 1, .out = "", .errPart = ": no text"},
        {.args = PathOf(*good) + " " + PathOf(binary), .status = 1, .out = "text\n", .errPart = ": no text"},
        {.args = PathOf(*damaged),
         .status = 2,
         .out = "",
         .errPart = "pagelet-cat: " + damagedPath + ": Range check error\n"},
        {.args = PathOf(*damaged) + " " + PathOf(binary) + " " + PathOf(*good),
         .status = 2,
         .out = "text\n",
         .errPart = "Range check error"},
        {.args = PathOf(*encrypted), .status = 3, .out = "", .errPart = ": encrypted with a password\n"},
        {.args = "--reading " + PathOf(*encrypted), .status = 3, .out = "", .errPart = ": encrypted with a password\n"},
        {.args = PathOf(*encrypted) + " " + PathOf(binary) + " " + PathOf(*good),
         .status = 3,
         .out = "text\n",
         .errPart = "encrypted with a password"},
        {.args = PathOf(*encrypted) + " " + PathOf(*damaged), .status = 2, .out = "", .errPart = "Range check error"},
        {.args = "--reading " + PathOf(*blank), .status = 0, .out = "", .errPart = ""},
        {.args = "--reading " + PathOf(*emptyRow), .status = 0, .out = "", .errPart = ""},
        {.args = "--reading " + PathOf(*equation), .status = 0, .out = "[object: Equation.3]\n", .errPart = ""},
        {.args = "--reading " + PathOf(binary), .status = 1, .out = "", .errPart = ": no text"},
        {.args = "--codepage 12345 " + PathOf(*unknownCp), .status = 2, .out = "", .errPart = ": Invalid code page"},
        {.args = Quote("/nonexistent/file.doc"),
         .status = 2,
         .out = "",
         .errPart = "pagelet-cat: /nonexistent/file.doc: no such file"},
        {.args = PathOf(*unreadable),
         .status = 2,
         .out = "",
         .errPart = "pagelet-cat: " + unreadablePath + ": permission denied\n",
         .asUser = true},
        {.args = Quote(longName), .status = 2, .out = "", .errPart = ": file name too long: the system allows"},
        {.args = "", .status = 2, .out = "", .errPart = "no file given"},
        {.args = "--bogus " + PathOf(*good), .status = 2, .out = "", .errPart = "unknown option --bogus"},
        {.args = "--codepage x " + PathOf(*good), .status = 2, .out = "", .errPart = "not a code page number"},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.args);
        const TResult r = RunRaw(c.args, c.asUser);
        EXPECT_EQ(r.status, c.status);
        EXPECT_EQ(r.out, c.out);
        if (c.errPart.empty())
            EXPECT_EQ(r.err, "");
        else
            EXPECT_NE(r.err.find(c.errPart), std::string::npos) << r.err;
    }
}

// A file that no converter reads but a reader does (RTF): the same text
// with --raw and without, the printable filter and a forced code page
// where the file names none; its damage an error, as a Word document's.
TEST(PageletCat, FileOfAnotherFormat) {
    auto bytes = [](std::string_view text) { return std::vector<uint8_t>(text.begin(), text.end()); };
    const TTempFile rtf(bytes("{\\rtf1\\ansi\\ansicpg1252 Caf\\'e9 \\u945?{\\footnote note}\\par\\intbl a\\cell b\\cell\\row}"));
    const TTempFile unnamed(bytes("{\\rtf1\\ansi \\'e9}"));
    const TTempFile deep(bytes("{\\rtf1 " + std::string(1100, '{') + "x}"));
    const TTempFile empty(bytes("{\\rtf1{\\fonttbl{\\f0 Arial;}}}"));
    const std::string text = "Caf\xC3\xA9 \xCE\xB1\na\tb\n\n--- Footnotes ---\nnote\n";
    struct TCase {
        std::string args;
        int status;
        std::string out;
        std::string errPart;
    };
    const TCase cases[] = {
        {PathOf(rtf), 0, text, ""},
        {"--raw " + PathOf(rtf), 0, text, ""},
        {"--raw --printable " + PathOf(rtf), 0, "Caf\xC3\xA9 \nab\n\n--- Footnotes ---\nnote\n", ""},
        {"--codepage 1251 " + PathOf(rtf), 0, text, ""},
        {"--raw --codepage 1251 " + PathOf(unnamed), 0, "\xD0\xB9\n", ""},
        {"--codepage 12345 " + PathOf(unnamed), 2, "", ": Invalid code page"},
        {"--raw " + PathOf(deep), 2, "", ": The document is damaged"},
        // Read whole and nothing in it to show: no fault.
        {"--raw " + PathOf(empty), 0, "", ""},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.args);
        const TResult r = RunCat(c.args);
        EXPECT_EQ(r.status, c.status);
        EXPECT_EQ(r.out, c.out);
        if (c.errPart.empty())
            EXPECT_EQ(r.err, "");
        else
            EXPECT_NE(r.err.find(c.errPart), std::string::npos) << r.err;
    }
}

// The converter hands the text over in parts of 32768 code units: a CR LF
// and a surrogate pair cut between two parts come out as when whole, and a
// high surrogate at the very end becomes U+FFFD.
TEST(PageletCat, PairsCutBetweenParts) {
    std::u16string text(32767, u'a');
    text += u"\r\n";
    text.append(32766, u'b');
    text += u"\U0001F600";  // its high half ends the second part
    text += u"c\xD800";
    auto file = Utf16Doc(text).Write();
    const TResult r = RunRaw(PathOf(*file));
    EXPECT_EQ(r.status, 0) << r.err;
    const std::string expected =
        std::string(32767, 'a') + "\n" + std::string(32766, 'b') + "\xF0\x9F\x98\x80" + "c\xEF\xBF\xBD";
    EXPECT_TRUE(r.out == expected) << r.out.size() << " bytes";
}

// Each kind of character at each place of the encoder's groups of printable
// ASCII characters (eight, then four, at a time).
TEST(PageletCat, EveryKindOfCharacterAtEveryPlaceOfAGroup) {
    struct TKind {
        char16_t unit;
        std::string utf8;
    };
    const TKind kinds[] = {{u'\u001F', "\x1F"},
                           {u' ', " "},
                           {u'\u007F', "\x7F"},
                           {u'\u0080', "\xC2\x80"},
                           {u'\u00E9', "\xC3\xA9"},
                           {u'\u20AC', "\xE2\x82\xAC"},
                           {u'\r', "\n"}};
    std::u16string text;
    std::string expected;
    for (const TKind& kind : kinds) {
        for (size_t before = 0; before < 17; ++before) {
            text += std::u16string(before, u'a') + kind.unit + std::u16string(19, u'b') + u'\r';
            expected += std::string(before, 'a') + kind.utf8 + std::string(19, 'b') + "\n";
        }
    }
    auto file = Utf16Doc(text).Write();
    const TResult r = RunRaw(PathOf(*file));
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, expected);
}

// Where a group of the encoder stops, the characters before the one that
// stops it (one- and two-byte ones) are written once, each kind of stop (and
// a CR, alone or before an LF) at each place of a group of sixteen and of
// eight.
TEST(PageletCat, GroupsStopAfterTwoByteCharacters) {
    const std::u16string stops[] = {u"\r", u"\r\n", u"\r\r\n", u"\n", u"\u20AC", u"\u0001"};
    const char* const stopUtf8[] = {"\n", "\n", "\n\n", "\n", "\xE2\x82\xAC", "\x01"};
    std::u16string text;
    std::string expected;
    for (size_t s = 0; s < std::size(stops); ++s) {
        for (size_t before = 0; before < 33; ++before) {
            for (size_t k = 0; k < before; ++k) {
                text += k % 3 == 0 ? u'z' : u'\u00E0';
                expected += k % 3 == 0 ? "z" : "\xC3\xA0";
            }
            text += stops[s];
            expected += stopUtf8[s];
            text += u"\u0436\u0436\u0436\u0436\u0436\u0436\u0436\u0436 ";
            expected += "\xD0\xB6\xD0\xB6\xD0\xB6\xD0\xB6\xD0\xB6\xD0\xB6\xD0\xB6\xD0\xB6 ";
        }
    }
    auto file = Utf16Doc(text).Write();
    const TResult r = RunRaw(PathOf(*file));
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, expected);
}

// A standard output that refuses the text fails the run, whether the text
// fits in the writer's buffer or not.
TEST(PageletCat, OutputThatRefusesTheText) {
    for (const size_t lines : {size_t{1}, size_t{300000}}) {
        std::u16string text;
        for (size_t i = 0; i < lines; ++i) text += u"\u0416x\r";
        auto file = Utf16Doc(text).Write();
        const TResult r = RunRaw(PathOf(*file) + " " + PathOf(*file) + " >/dev/full");
        EXPECT_EQ(r.status, 2) << lines;
        EXPECT_NE(r.err.find("cannot write the text to the standard output"), std::string::npos) << r.err;
    }
}

// Text longer than the output buffer comes out whole.
TEST(PageletCat, LongText) {
    std::u16string text;
    std::string expected;
    for (int i = 0; i < 100000; ++i) {
        text += u"\u0416x\r\n";
        expected += "\xD0\x96x\n";
    }
    auto file = Utf16Doc(text).Write();
    const TResult r = RunRaw(PathOf(*file));
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out.size(), expected.size());
    EXPECT_TRUE(r.out == expected);
}

}  // namespace
}  // namespace pagelet
