// The readers of files named .doc that hold web pages (HTML, MHTML) or plain
// text, through the reader registry as the viewer opens them: what shows,
// which encoding is taken, and which files no reader takes.

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "common/Error.h"
#include "common/Utf.h"
#include "loading/DocumentReader.h"
#include "loading/HtmlReader.h"
#include "loading/TextAssembler.h"
#include "loading/TextFileReader.h"
#include "support/CfbWriter.h"
#include "support/ShowText.h"

namespace pagelet {
namespace {

using namespace std::literals;

class TStringSink final : public TTextSink {
public:
    void Append(std::u16string_view part) override { text.append(part); }
    std::u16string text;
};

std::string Read(std::unique_ptr<TDocumentReader> reader) {
    if (!reader) return "<none>";
    TStringSink sink;
    const std::function<bool()> full = [] { return false; };
    TTextAssembler out(sink, full);
    try {
        if (reader->Read(out) != TReadingResult::Done) return "<not done>";
    } catch (const EPagelet& e) {
        return "error: " + Utf16ToUtf8(e.Message());
    }
    return test::ShowText(sink.text);
}

// The text the registry's reader makes of a file holding bytes.
std::string ReadFile(std::string_view bytes, TReaderOptions options = {}) {
    TTempFile file(std::vector<uint8_t>(bytes.begin(), bytes.end()));
    return Read(OpenDocumentReader(file.Path(), options));
}

struct TCase {
    const char* name;
    std::string bytes;
    std::string expected;  // as Show writes it, or "<none>"
    TReaderOptions options = {};
};

void RunCases(const std::vector<TCase>& cases) {
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(ReadFile(c.bytes, c.options), c.expected);
    }
}

std::string Utf16LE(std::u16string_view text, bool bigEndian = false) {
    std::string out = bigEndian ? "\xFE\xFF" : "\xFF\xFE";
    for (char16_t c : text) {
        const char lo = static_cast<char>(c & 0xFF), hi = static_cast<char>(c >> 8);
        out += bigEndian ? hi : lo;
        out += bigEndian ? lo : hi;
    }
    return out;
}

std::string Repeat(std::string_view text, size_t n) {
    std::string out;
    for (size_t k = 0; k < n; ++k) out += text;
    return out;
}

TEST(HtmlReader, MarkupAndWhatShows) {
    RunCases({
        {"blocks, br, head and script left out",
         "<!DOCTYPE html>\n<html><head><title>Title</title><style>p { color: red }</style>"
         "<script>var s = \"<p>not shown</p>\";</script></head>\n"
         "<body><p>One\n  two</p><div>Three<br>Four<br/></div><p><br></p><h2>Five</h2>Six</body></html>",
         "One two\\nThree\\nFour\\n\\nFive\\nSix\\n"},
        {"white space folds; pre keeps it but for its first line end",
         "<html><body><p>  a \t\r\n b  <span> c</span> </p><pre>\nx  y\n\tz\n\nw</pre></body>",
         "a b c\\nx  y\\n\\tz\\n\\nw\\n"},
        {"comments, Word's conditional comments and its revealed ones",
         "<html><body><!--[if gte mso 9]><xml><w:WordDocument>hidden</w:WordDocument></xml><![endif]-->"
         "<p class=MsoListParagraph><![if !supportLists]>1.&nbsp;<![endif]>Item<!-- a -- comment --></p>"
         "<!--> <p>after an empty comment</p><!-- not closed <p>lost",
         "1.\\u00A0Item\\nafter an empty comment\\n"},
        {"elements that show nothing, and text that is",
         "<html><body><template><p>t</p></template><noscript>n</noscript><xml><p>x</p></xml>"
         "<select><option>o</select><textarea>a <b>&amp; b</textarea><p>1 < 2 > 0 <3</p>",
         "a <b>& b\\n1 < 2 > 0 <3\\n"},
        {"a head left open ends at the body's first element or text",
         "<html><head><title>t</title><meta charset=utf-8><o:SmartTagType name=x/><p>shown", "shown\\n"},
        {"upper-case tags, attributes with quotes holding '>'",
         "<HTML><BODY><P title='a > b' class=\"x>y\">Text</P><BR><Div>More</DIV>",
         "Text\\n\\nMore\\n"},  // a <br> between blocks is an empty line
    });
}

TEST(HtmlReader, CharacterReferences) {
    RunCases({
        {"named",
         "<html><body>&amp;&lt;&gt;&quot;&apos;&nbsp;&copy;&reg;&trade;&hellip;&mdash;&ndash;&lsquo;&rsquo;"
         "&ldquo;&rdquo;&bull;&euro;&middot;&laquo;&raquo;&deg;&plusmn;&times;&divide;&eacute;&Uuml;&szlig;",
         "&<>\"'\\u00A0\\u00A9\\u00AE\\u2122\\u2026\\u2014\\u2013\\u2018\\u2019\\u201C\\u201D\\u2022\\u20AC"
         "\\u00B7\\u00AB\\u00BB\\u00B0\\u00B1\\u00D7\\u00F7\\u00E9\\u00DC\\u00DF\\n"},
        {"numeric; invalid ones are U+FFFD, 128-159 as windows-1252",
         "<html><body>&#65;&#x42;&#X43;&#x1F600;&#0;&#xD800;&#1114112;&#99999999999;&#150;&#1;&#9;x",
         "ABC\\uD83D\\uDE00\\uFFFD\\uFFFD\\uFFFD\\uFFFD\\u2013\\uFFFD x\\n"},
        {"not references, and the old names without their semicolon",
         "<html><body>&unknown; &amp AT&T &copy 2020 &#; &#x; & &hellip",
         "&unknown; & AT&T \\u00A9 2020 &#; &#x; & &hellip\\n"},
    });
}

TEST(HtmlReader, ListsAndTables) {
    RunCases({
        {"bullets by depth, numbers from start and value, nested numbers",
         "<html><body><ul><li>a<li><p>b</p><ul><li>c<ul><li>d<ul><li>e</ul></ul></ul></ul>"
         "<ol start=3><li>x</li><li value=7>y<ol><li>z<li>w</ol></li></ol><li>stray</li>",
         "\\u2022 a\\n\\u2022 b\\n\\u25E6 c\\n\\u25AA d\\n\\u2022 e\\n3. x\\n7. y\\n7.1. z\\n7.2. w\\n\\u2022 "
         "stray\\n"},
        {"rows, header cells, end tags left out, text around",
         "<html><body><p>before</p><table><tr><th>a<td>b<tr><td>c</td><td>d</td></tr></table>after",
         "before\\na\\tb\\nc\\td\\nafter\\n"},
        {"a nested table's rows after the text of its cell",
         "<html><body><table><tr><td>outer<table><tr><td>i1</td><td>i2</td></tr><tr><td>i3</td></tr>"
         "</table></td><td>x</td></tr></table>",
         "outer\\ni1\\ti2\\ni3\\nx\\n"},
        {"a line break in a cell", "<html><body><table><tr><td>a<br>b</td><td>c</td></tr></table>", "a\\nb\\nc\\n"},
        {"tables and lists nested past the caps",
         "<html><body>" + Repeat("<table><tr><td>", 200) + "deep" + Repeat("</td></tr></table>", 200) +
             Repeat("<ol>", 100) + "<li>item" + Repeat("</ol>", 100) + Repeat("<ol><li>", 12) + "nine levels" +
             "<p>end",
         "deep\\n1. item\\n1.1.1.1.1.1.1.1.1. nine levels\\nend\\n"},
    });
}

TEST(HtmlReader, Encodings) {
    const std::string cyrillic1251 = "\xCF\xF0\xE8\xE2\xE5\xF2";  // Привет
    const std::string cyrillicKoi8 = "\xF0\xD2\xC9\xD7\xC5\xD4";
    const std::string privet = "\\u041F\\u0440\\u0438\\u0432\\u0435\\u0442";
    TReaderOptions forced1251;
    forced1251.cp = 1251;
    forced1251.forceCP = true;
    RunCases({
        {"meta charset", "<html><head><meta charset=\"windows-1251\"></head><body>" + cyrillic1251, privet + "\\n"},
        {"meta http-equiv",
         "<!-- saved -->\n<html><head><meta http-equiv=\"Content-Type\" content=\"text/html; charset=koi8-r\">"
         "<body>" +
             cyrillicKoi8,
         privet + "\\n"},
        {"no charset, valid UTF-8",
         "<html><body>Gr\xC3\xBC\xC3\x9F"
         "e",
         "Gr\\u00FC\\u00DFe\\n"},
        {"no charset, not UTF-8: windows-1252", "<html><body>caf\xE9 \x93q\x94", "caf\\u00E9 \\u201Cq\\u201D\\n"},
        {"no charset, not UTF-8, a forced code page", "<html><body>" + cyrillic1251, privet + "\\n", forced1251},
        {"a charset named wins over a forced code page",
         "<html><meta charset=utf-8><body>Gr\xC3\xBC\xC3\x9F"
         "e",
         "Gr\\u00FC\\u00DFe\\n", forced1251},
        {"UTF-16 by its byte order mark", Utf16LE(u"<p>\u0416 &amp; \u0437</p>"), "\\u0416 & \\u0437\\n"},
        {"UTF-16 big-endian", Utf16LE(u"<html><body>\u0416", true), "\\u0416\\n"},
        {"UTF-8 byte order mark and any markup",
         "\xEF\xBB\xBF<div>Gr\xC3\xBC\xC3\x9F"
         "e</div>",
         "Gr\\u00FC\\u00DFe\\n"},
    });
}

TEST(HtmlReader, SingleFileWebPages) {
    RunCases({
        {"quoted-printable in a multipart/related, its charset from the part",
         "MIME-Version: 1.0\r\n"
         "Content-Type: multipart/related; boundary=\"----=_NextPart_01D\";\r\n"
         "\ttype=\"text/html\"\r\n"
         "\r\n"
         "This is a multi-part message in MIME format.\r\n"
         "\r\n"
         "------=_NextPart_01D\r\n"
         "Content-Location: file:///C:/report.htm\r\n"
         "Content-Transfer-Encoding: quoted-printable\r\n"
         "Content-Type: text/html; charset=\"windows-1251\"\r\n"
         "\r\n"
         "<html><head><meta http-equiv=3DContent-Type content=3D\"text/html; charset=3Dutf-8\"></head>\r\n"
         "<body><p class=3DMsoNormal>=CF=F0=E8=E2=E5=F2, a line cut by a soft=\r\n"
         " break =3D=\r\n"
         "</p></body></html>\r\n"
         "\r\n"
         "------=_NextPart_01D\r\n"
         "Content-Location: file:///C:/report_files/image001.png\r\n"
         "Content-Transfer-Encoding: base64\r\n"
         "Content-Type: image/png\r\n"
         "\r\n"
         "iVBORw0KGgo=\r\n"
         "\r\n"
         "------=_NextPart_01D--\r\n",
         "\\u041F\\u0440\\u0438\\u0432\\u0435\\u0442, a line cut by a soft break =\\n"},
        {"base64, a single part with mail headers first",
         "From: <Saved by a browser>\nSubject: Report\nMIME-Version: 1.0\n"
         "Content-Type: text/html; charset=utf-8\nContent-Transfer-Encoding: base64\n\n"
         "PGh0bWw+PGJvZHk+PHA+R3LDvMOfZTwvcD48cD\n5aZWlsZSAyPC9wPjwvYm9keT48L2h0bWw+\n",
         "Gr\\u00FC\\u00DFe\\nZeile 2\\n"},
        {"the first text/html part, in a nested multipart",
         "MIME-Version: 1.0\nContent-Type: multipart/mixed; boundary=outer\n\n"
         "--outer\nContent-Type: multipart/alternative; boundary=\"inner\"\n\n"
         "--inner\nContent-Type: text/plain\n\nplain version\n"
         "--inner\nContent-Type: text/html\n\n<p>html version</p>\n--inner--\n"
         "--outer\nContent-Type: text/html\n\n<p>second page</p>\n--outer--\n",
         "html version\\n"},
        {"a message cut short in its page",
         "MIME-Version: 1.0\nContent-Type: multipart/related; boundary=b\n\n--b\nContent-Type: text/html\n\n"
         "<p>cut sho",
         "cut sho\\n"},
        {"no text/html part: plain text", "MIME-Version: 1.0\nContent-Type: text/plain\n\nbody\n",
         "MIME-Version: 1.0\\nContent-Type: text/plain\\n\\nbody\\n"},
    });
}

TEST(TextFileReader, WhatIsTextAndHowItReads) {
    TReaderOptions forced1251;
    forced1251.cp = 1251;
    forced1251.forceCP = true;
    TReaderOptions unknownForced;
    unknownForced.cp = 12345;
    unknownForced.forceCP = true;
    RunCases({
        {"UTF-8, every line end, tabs, empty lines",
         "Hello\r\nWorld\tTab\n\n\xC3\x9C"
         "ber\rEnd",
         "Hello\\nWorld\\tTab\\n\\n\\u00DCber\\nEnd\\n"},
        {"a form feed ends the page, a DOS end mark closes the file", "page 1\fpage 2\r\n\x1A", "page 1\\npage 2\\n"},
        {"UTF-8 byte order mark",
         "\xEF\xBB\xBFZ\xC3\xBC"
         "rich",
         "Z\\u00FCrich\\n"},
        {"UTF-16 little-endian", Utf16LE(u"\u0416\u0443\u043A\r\nline 2"), "\\u0416\\u0443\\u043A\\nline 2\\n"},
        {"UTF-16 big-endian", Utf16LE(u"Big\u00E9", true), "Big\\u00E9\\n"},
        {"8-bit text: the system's code page (1252 in the C locale)", "caf\xE9", "caf\\u00E9\\n"},
        {"8-bit text: the forced code page", "\xCF\xF0\xE8", "\\u041F\\u0440\\u0438\\n", forced1251},
        {"UTF-8 text whatever the forced code page",
         "Gr\xC3\xBC\xC3\x9F"
         "e",
         "Gr\\u00FC\\u00DFe\\n", forced1251},
        {"a forced code page the platform lacks", "caf\xE9", "error: Invalid code page", unknownForced},
        {"a NUL byte", "text\0more"s, "<none>"},
        {"a NUL byte past the first block", Repeat("line of text\n", 1000) + "\0"s, "<none>"},
        {"another control character", "text\x01", "<none>"},
        {"escape", "\x1B[1mbold", "<none>"},
        {"UTF-16 holding a control character", Utf16LE(u"text\u0001"), "<none>"},
        {"empty", "", "<none>"},
        {"nothing but white space", " \r\n\t\n", "<none>"},
    });
}

// Every prefix of a page and of a message is read without harm (each at the
// very end of its buffer, for the address sanitizer).
TEST(HtmlReader, EveryPrefixReads) {
    const std::string page =
        "<!DOCTYPE html><html><head><meta charset=\"windows-1251\"><style>x</style></head><body>"
        "<table><tr><td>a&amp;b<td><ol start=2><li>&#x41;</ol></table><pre>\n x</pre><!-- c --></body></html>";
    const std::string message =
        "MIME-Version: 1.0\nContent-Type: multipart/related; boundary=\"b\"\n\n--b\n"
        "Content-Type: text/html; charset=utf-8\nContent-Transfer-Encoding: quoted-printable\n\n"
        "<p>a=3Db=\n</p>\n--b\nContent-Type: text/html\nContent-Transfer-Encoding: base64\n\nPHA+eDwvcD4=\n--b--\n";
    for (const std::string& whole : {page, message}) {
        for (size_t n = 0; n <= whole.size(); ++n) {
            std::vector<uint8_t> bytes(whole.begin(), whole.begin() + static_cast<ptrdiff_t>(n));
            Read(OpenHtmlReader(bytes, {}));
            Read(OpenTextReader(std::move(bytes), {}));
        }
    }
}

}  // namespace
}  // namespace pagelet
