// Writes a small Word 97-2003 document about Pagelet: one UTF-16 piece with
// text in several scripts, then one 8-bit piece in code page 1252.
//
//   make-sample-doc samples/sample.doc

#include <cstdio>
#include <exception>
#include <string>
#include <string_view>

#include "support/CfbWriter.h"
#include "support/DocBuilder.h"

namespace {

constexpr std::u16string_view kUnicodeText =
    u"Pagelet sample document\r"
    u"Pagelet shows the plain text of Word 97-2003 and Word 6/95 documents in the lister of a "
    u"Windows file manager. It reads the compound file, the File Information Block and the piece "
    u"table itself, so no office suite needs to be installed.\r"
    u"This paragraph is stored as UTF-16 and holds text in other scripts: "
    u"\u041F\u0440\u0438\u0432\u0435\u0442, \u043C\u0438\u0440! (Russian), "
    u"\u0395\u03BB\u03BB\u03B7\u03BD\u03B9\u03BA\u03AC (Greek), and a caf\u00E9 that costs 3,50 \u20AC.\r";

// Windows-1252 bytes: 0xEF i diaeresis, 0xE7 c cedilla, 0xE9 e acute,
// 0x80 euro sign, 0x97 em dash.
constexpr std::string_view kEightBitText =
    "This paragraph is stored as 8-bit text in a compressed piece and decoded with code page 1252: "
    "na\xEFve fa\xE7"
    "ade, r\xE9sum\xE9, 10 \x80 \x97 all in one byte each.\r"
    "The command-line tool pagelet-cat prints the same text as UTF-8.\r";

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make-sample-doc OUTPUT.doc\n");
        return 2;
    }
    try {
        using namespace pagelet;
        const auto unicodeChars = static_cast<uint32_t>(kUnicodeText.size());
        const auto eightBitChars = static_cast<uint32_t>(kEightBitText.size());
        constexpr uint32_t kUnicodeAt = 0x800;
        const uint32_t eightBitAt = kUnicodeAt + 2 * unicodeChars;

        TDocBuilder doc;
        doc.Flags(0x0200);                               // fWhichTblStm: the CLX is in "1Table"
        doc.DocBytes(0x02, std::string("\xC1\x00", 2));  // nFib 0x00C1, Word 97
        doc.DocText16(kUnicodeAt, kUnicodeText);
        doc.DocBytes(eightBitAt, kEightBitText);
        doc.Clx(TClxBuilder().Pcdt({0, unicodeChars, unicodeChars + eightBitChars},
                                   {{kUnicodeAt}, {CompressedFc(eightBitAt)}}));
        WriteFileBytes(std::u16string(argv[1], argv[1] + std::char_traits<char>::length(argv[1])), doc.Build());
    } catch (const std::exception& e) {
        std::fprintf(stderr, "make-sample-doc: %s\n", e.what());
        return 1;
    }
    return 0;
}
