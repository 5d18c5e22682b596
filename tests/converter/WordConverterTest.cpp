// TWordConverter::LoadText on documents made by TDocBuilder: the FIB, the
// CLX walk, the piece table, the decoding of pieces, Word 6/95 text, and
// damaged or truncated documents. The same cases run natively (own compound
// file reader, iconv) and under Wine (ole32, MultiByteToWideChar).

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "common/Error.h"
#include "common/Utf.h"
#include "converter/WordConverter.h"
#include "support/DocBuilder.h"
#include "support/ShowText.h"

namespace pagelet {
namespace {

using TBytes = std::vector<uint8_t>;

// A readable form of UTF-16 text for failure messages.
std::string Show(const std::u16string& text) { return test::ShowQuoted(text); }

// A document whose piece table is given by cps and pcds, placed at the
// default fcClx in "0Table".
TDocBuilder WithPieces(const std::vector<uint32_t>& cps, const std::vector<TPcd>& pcds) {
    TDocBuilder doc;
    doc.Clx(TClxBuilder().Pcdt(cps, pcds));
    return doc;
}

// One UTF-16 piece "Hello" at 0x800.
TDocBuilder HelloAt800() { return WithPieces({0, 5}, {{0x800}}).DocText16(0x800, u"Hello"); }

struct TCase {
    const char* name;
    std::function<TDocBuilder()> make;
    std::u16string expected;
    // Settings; CP 1251 is ignored unless forceCP is set.
    bool forceCP = false;
    int32_t cp = 1251;
    bool printable = false;
    // When set, LoadText must raise an error with this message (exact), or
    // containing it when errorIsPart is set.
    const char16_t* error = nullptr;
    bool errorIsPart = false;
};

void RunCase(const TCase& c) {
    SCOPED_TRACE(c.name);
    auto file = c.make().Write();
    TWordConverter converter;
    if (c.error != nullptr) {
        try {
            std::u16string text = converter.LoadText(file->Path(), c.printable, c.cp, c.forceCP);
            ADD_FAILURE() << "no error; text " << Show(text);
        } catch (const EPagelet& e) {
            if (c.errorIsPart) {
                EXPECT_NE(e.Message().find(c.error), std::u16string::npos) << Utf16ToUtf8(e.Message());
            } else {
                EXPECT_EQ(Utf16ToUtf8(e.Message()), Utf16ToUtf8(c.error));
            }
        }
        return;
    }
    std::u16string text;
    try {
        text = converter.LoadText(file->Path(), c.printable, c.cp, c.forceCP);
    } catch (const EPagelet& e) {
        ADD_FAILURE() << "error: " << Utf16ToUtf8(e.Message());
        return;
    }
    EXPECT_EQ(Show(text), Show(c.expected));
}

void RunCases(const std::vector<TCase>& cases) {
    for (const TCase& c : cases) RunCase(c);
}

TEST(WordConverter, PiecesAndTheirEncodings) {
    RunCases({
        {"UTF-16 piece at 0x800", HelloAt800, u"Hello"},
        {"8-bit piece: bit 30 set, offset 0x800 >> 1",
         [] {
             return WithPieces({0, 3}, {{CompressedFc(0x400)}}).DocBytes(0x400, "abc");
         },
         u"abc"},
        {"UTF-16 and 8-bit pieces concatenate in piece-table order",
         [] {
             return WithPieces({0, 3, 6}, {{CompressedFc(0x600)}, {0x800}})
                 .DocBytes(0x600, "one")
                 .DocText16(0x800, u"two");
         },
         u"onetwo"},
        {"control characters stay without the filter",
         [] {
             return WithPieces({0, 5}, {{0x800}}).DocText16(0x800, u"a\u0007b\u0013\r");
         },
         u"a\u0007b\u0013\r"},
        {.name = "the filter drops them",
         .make =
             [] {
                 return WithPieces({0, 5}, {{0x800}}).DocText16(0x800, u"a\u0007b\u0013\r");
             },
         .expected = u"ab\r",
         .printable = true},
        {"UTF-16 is copied as stored: NUL and a lone surrogate stay",
         [] {
             return WithPieces({0, 3}, {{0x800}}).DocText16(0x800, std::u16string(u"\0\xD800x", 3));
         },
         std::u16string(u"\0\xD800x", 3)},
        {.name = "two equal character positions: an empty piece, the code page not consulted",
         .make =
             [] {
                 return WithPieces({0, 2, 2}, {{0x800}, {CompressedFc(0x900)}})
                     .DocText16(0x800, u"ok")
                     .DocBytes(0x900, "x");
             },
         .expected = u"ok",
         .forceCP = true,
         .cp = 12345},
    });
}

TEST(WordConverter, EightBitCodePages) {
    auto byteC0 = [] { return WithPieces({0, 1}, {{CompressedFc(0x400)}}).DocBytes(0x400, "\xC0"); };
    auto bytes = [](std::string_view text) {
        return [text] {
            return WithPieces({0, static_cast<uint32_t>(text.size())}, {{CompressedFc(0x400)}}).DocBytes(0x400, text);
        };
    };
    RunCases({
        {.name = "ForceCP 1251: 0xC0 is Cyrillic A",
         .make = byteC0,
         .expected = u"\u0410",
         .forceCP = true,
         .cp = 1251},
        {.name = "without ForceCP the ANSI code page (1252) decodes, whatever CP",
         .make = byteC0,
         .expected = u"\u00C0"},
        {.name = "ForceCP with CP 0 is the ANSI code page",
         .make = byteC0,
         .expected = u"\u00C0",
         .forceCP = true,
         .cp = 0},
        {"1252: the euro sign and the unassigned 0x81 and 0x9D", bytes("\x80\x81\x9D"), u"\u20AC\u0081\u009D"},
        {.name = "ForceCP 1200: UTF-16 LE, odd byte dropped",
         .make = bytes(std::string_view("A\0B\0C", 5)),
         .expected = u"AB",
         .forceCP = true,
         .cp = 1200},
        {.name = "ForceCP 1201: UTF-16 BE",
         .make = bytes(std::string_view("\0A\0B", 4)),
         .expected = u"AB",
         .forceCP = true,
         .cp = 1201},
        {.name = "ForceCP 65001: valid UTF-8",
         .make = bytes("\xC3\xA9\xE2\x82\xAC"),
         .expected = u"\u00E9\u20AC",
         .forceCP = true,
         .cp = 65001},
        {.name = "ForceCP 65001: an invalid sequence empties the piece",
         .make = bytes("ab\xC3"),
         .expected = u"",
         .forceCP = true,
         .cp = 65001},
        {.name = "ForceCP 65000: UTF-7", .make = bytes("+BBA-"), .expected = u"\u0410", .forceCP = true, .cp = 65000},
        {.name = "ForceCP 866", .make = bytes("\x80"), .expected = u"\u0410", .forceCP = true, .cp = 866},
        {.name = "ForceCP 932: a double-byte character",
         .make = bytes("\x82\xA0"),
         .expected = u"\u3042",
         .forceCP = true,
         .cp = 932},
        {.name = "an unknown code page with 8-bit text",
         .make = byteC0,
         .expected = u"",
         .forceCP = true,
         .cp = 12345,
         .error = u"Invalid code page"},
        {.name = "a negative code page with 8-bit text",
         .make = byteC0,
         .expected = u"",
         .forceCP = true,
         .cp = -1,
         .error = u"Invalid code page"},
        {.name = "an unknown code page and only UTF-16 pieces: no error",
         .make = HelloAt800,
         .expected = u"Hello",
         .forceCP = true,
         .cp = 12345},
        {.name = "an unknown code page unforced", .make = byteC0, .expected = u"\u00C0", .cp = 12345},
    });
}

TEST(WordConverter, TableStreamSelection) {
    // Both table streams hold a CLX; each points at a different piece.
    auto twoTables = [](uint16_t flags) {
        return [flags] {
            TDocBuilder doc;
            doc.DocText16(0x800, u"zero").DocText16(0x900, u"one!");
            doc.Flags(0).Clx(TClxBuilder().Pcdt({0, 4}, {{0x800}}));
            doc.Flags(0x0200).Clx(TClxBuilder().Pcdt({0, 4}, {{0x900}}));
            doc.Flags(flags);
            return doc;
        };
    };
    RunCases({
        {"fWhichTblStm set: 1Table", twoTables(0x0200), u"one!"},
        {"flags 0: 0Table", twoTables(0x0000), u"zero"},
        {"every bit but fWhichTblStm: 0Table", twoTables(0xFDFF), u"zero"},
        {"the selected table stream is missing", [] { return HelloAt800().Omit(u"0Table"); }, u""},
    });
}

TEST(WordConverter, ClxWalk) {
    auto withClx = [](TClxBuilder clx) {
        return [clx] { return TDocBuilder().Clx(clx).DocText16(0x800, u"Hello, world"); };
    };
    const std::vector<TPcd> one = {{0x800}};
    const std::vector<TPcd> two = {{0x800}, {0x80A}};
    RunCases({
        {"Prc entries before the Pcdt are skipped",
         withClx(TClxBuilder().Prc({0x02, 0x02, 0x02}).Prc({}).Pcdt({0, 5}, one)), u"Hello"},
        {"clxt 0 consumes the byte after it", withClx(TClxBuilder().Raw({0x00, 0x02}).Pcdt({0, 5}, one)), u"Hello"},
        {"an unknown clxt is a single byte", withClx(TClxBuilder().Raw({0x07, 0xFF}).Pcdt({0, 5}, one)), u"Hello"},
        {"lcb 4: one character position, no piece", withClx(TClxBuilder().PcdtWithLcb(4, {0}, {})), u""},
        {"lcb 16: one piece", withClx(TClxBuilder().PcdtWithLcb(16, {0, 5}, one)), u"Hello"},
        {"lcb 28: two pieces", withClx(TClxBuilder().PcdtWithLcb(28, {0, 5, 6}, two)), u"Hello,"},
        {"lcb 20: one piece; the 4 bytes left over are walked as clxt",
         withClx(TClxBuilder().PcdtWithLcb(20, {0, 5}, one).Raw({0x03, 0x03, 0x03, 0x03})), u"Hello"},
        {.name = "lcb 20: a Prc among the left-over bytes is read",
         .make = withClx(TClxBuilder().PcdtWithLcb(20, {0, 5}, one).Raw({0x01, 0xFF, 0xFF, 0x00})),
         .expected = u"",
         .error = u"Range check error"},
        {"a second Pcdt replaces the first", withClx(TClxBuilder().Pcdt({0, 5}, one).Pcdt({0, 5}, {{0x80E}})),
         u"world"},
        {"no Pcdt: empty", withClx(TClxBuilder().Prc({0x01, 0x02})), u""},
        {.name = "a negative cbGrpprl",
         .make = withClx(TClxBuilder().PrcHeader(-1).Pcdt({0, 5}, one)),
         .expected = u"",
         .error = u"Range check error"},
        {"the walk ends at fcClx + lcbClx: a Pcdt after it is not read",
         [] {
             TClxBuilder clx = TClxBuilder().Pcdt({0, 5}, {{0x800}});
             const auto firstSize = static_cast<uint32_t>(clx.Bytes().size());
             clx.Pcdt({0, 5}, {{0x80E}});
             return TDocBuilder().Clx(clx, 0x20, firstSize).DocText16(0x800, u"Hello, world");
         },
         u"Hello"},
    });
}

TEST(WordConverter, DamagedPieceTables) {
    auto hello = [](TClxBuilder clx, uint32_t lcbClx) {
        return [clx, lcbClx] { return TDocBuilder().Clx(clx, 0x20, lcbClx).DocText16(0x800, u"Hello, world"); };
    };
    const std::vector<TPcd> one = {{0x800}};
    const auto big = 0xFFFFFFF0u;
    RunCases({
        {.name = "a Pcdt announcing more pieces than the table stream holds",
         .make = hello(TClxBuilder().PcdtWithLcb(12 * 1000 + 4, {0, 5}, one), big),
         .expected = u"",
         .error = u"damaged",
         .errorIsPart = true},
        {.name = "a Pcdt with the largest lcb",
         .make = hello(TClxBuilder().PcdtWithLcb(0x7FFFFFFF, {0, 5}, one), big),
         .expected = u"",
         .error = u"damaged",
         .errorIsPart = true},
        {"a negative lcb reads nothing", hello(TClxBuilder().PcdtWithLcb(-100, {}, {}), big), u""},
        {.name = "the PlcPcd cut by the end of the table stream",
         .make =
             [] {
                 return TDocBuilder().Clx(TClxBuilder().Pcdt({0, 5}, {{0x800}})).TableSize(0x20 + 5 + 8 + 6);
             },
         .expected = u"",
         .error = u"damaged",
         .errorIsPart = true},
        {"lcbClx past the table's end: the walk stops there", hello(TClxBuilder().Pcdt({0, 5}, one), big), u"Hello"},
        {"fcClx beyond the table stream", [] { return HelloAt800().FcLcbClx(0x10000, 100); }, u""},
        {"fcClx + lcbClx beyond 32 bits", [] { return HelloAt800().FcLcbClx(0xFFFFFFFF, 0xFFFFFFFF); }, u""},
        {"a Prc cut by the end of the table stream", hello(TClxBuilder().PrcHeader(0x7000), big), u""},
        {"a next character position below its own: the piece gives nothing",
         [] {
             return WithPieces({0, 5, 2, 4}, {{0x800}, {0x900}, {0x804}})
                 .DocText16(0x800, u"Hello")
                 .DocText16(0x900, u"X");
         },
         u"Helloll"},
        {"a UTF-16 piece running past the end of WordDocument is cut to whole code units",
         [] {
             return WithPieces({0, 10}, {{0x800}}).DocText16(0x800, u"abc").DocSize(0x805);
         },
         u"ab"},
        {"an 8-bit piece running past the end is cut",
         [] {
             return WithPieces({0, 10}, {{CompressedFc(0x400)}}).DocBytes(0x400, "abc");
         },
         u"abc"},
        {"a piece starting beyond WordDocument gives nothing",
         [] {
             return WithPieces({0, 3, 5}, {{0x100000}, {0x800}}).DocText16(0x800, u"ok");
         },
         u"ok"},
        {"bit 31 of an 8-bit piece's FcCompressed moves to bit 30 of its offset",
         [] {
             return WithPieces({0, 2, 4}, {{0x80000000u | CompressedFc(0x400)}, {0x800}}).DocText16(0x800, u"ok");
         },
         u"ok"},
        {"pieces covering the same bytes: text up to the stream's size",
         [] {
             return WithPieces({0, 5, 10}, {{0x800}, {0x800}}).DocText16(0x800, u"Hello");
         },
         u"HelloHello"},
        {.name = "pieces covering more bytes than the stream holds",
         .make =
             [] {
                 return WithPieces({0, 0x405, 0x80A}, {{0}, {0}}).DocText16(0x800, u"Hello");
             },
         .expected = u"",
         .error = u"damaged",
         .errorIsPart = true},
        {"a piece of 2^32 - 1 characters at a high offset",
         [] {
             return WithPieces({0, 0xFFFFFFFF}, {{0xFFFFFFF0}});
         },
         u""},
    });
}

TEST(WordConverter, Word6) {
    auto word6 = [](uint32_t fcMin, uint32_t fcMac, size_t docSize) {
        return [=] {
            TDocBuilder doc;
            doc.Word6(fcMin, fcMac);
            for (uint32_t i = 0x20; i < docSize; ++i) doc.DocBytes(i, std::string(1, static_cast<char>('a' + i % 26)));
            return doc.DocSize(docSize);
        };
    };
    auto letters = [](uint32_t from, uint32_t to) {
        std::u16string text;
        for (uint32_t i = from; i < to; ++i) text += static_cast<char16_t>(u'a' + i % 26);
        return text;
    };
    RunCases({
        {"the text runs from fcMin up to fcMac", word6(0x300, 0x340, 0x401), letters(0x300, 0x340)},
        {"fcMac at the very end of the stream", word6(0x300, 0x401, 0x401), letters(0x300, 0x401)},
        {"fcMac below fcMin (0x300, 0x100)", word6(0x300, 0x100, 0x401), u""},
        {"fcMac beyond the stream", word6(0x300, 0x402, 0x401), u""},
        {"fcMin = fcMac", word6(0x300, 0x300, 0x401), u""},
        {.name = "an empty run is still decoded: an unknown code page is reported",
         .make = word6(0x300, 0x300, 0x401),
         .expected = u"",
         .forceCP = true,
         .cp = 12345,
         .error = u"Invalid code page"},
        {.name = "8-bit text with a forced code page",
         .make = [] { return TDocBuilder().Word6(0x200, 0x202).DocBytes(0x200, "\xC0\xE0"); },
         .expected = u"\u0410\u0430",
         .forceCP = true,
         .cp = 1251},
        {"fields beyond a short stream read as zero: fcMac cut to its low half",
         [] { return TDocBuilder().Word6(4, 0x00010008).DocBytes(4, "WXYZ").DocSize(0x1E); }, u"WXYZ"},
    });
}

TEST(WordConverter, NotAWordDocument) {
    RunCases({
        {"wIdent one below Word 6/95", [] { return HelloAt800().WIdent(0xA5DB); }, u""},
        {"wIdent zero", [] { return HelloAt800().WIdent(0); }, u""},
        {"no WordDocument stream", [] { return HelloAt800().Omit(u"WordDocument"); }, u""},
        {"an empty WordDocument stream", [] { return HelloAt800().DocSize(0); }, u""},
    });

    TWordConverter converter;
    TTempFile text(TBytes{'h', 'e', 'l', 'l', 'o', '\r', '\n'});
    EXPECT_EQ(converter.LoadText(text.Path(), false, 0, false), u"") << "a text file named .doc";
    TTempFile empty(TBytes{});
    EXPECT_EQ(converter.LoadText(empty.Path(), false, 0, false), u"") << "an empty file";
    const std::u16string missing = text.Path() + u".missing";
    EXPECT_EQ(converter.LoadText(missing, false, 0, false), u"") << "a missing file";
    const std::u16string dir = std::filesystem::temp_directory_path().u16string();
    EXPECT_EQ(converter.LoadText(dir, false, 0, false), u"") << "a directory";
}

// Every prefix of a WordDocument stream at the very end of its own buffer:
// the text is cut, never read past the end, and no prefix fails.
TEST(WordConverter, TruncatedWordDocument) {
    const TDocBuilder full =
        WithPieces({0, 6, 9}, {{0x800}, {CompressedFc(0x900)}}).DocText16(0x800, u"Hello,").DocBytes(0x900, "abc");
    TWordConverter converter;
    const size_t fullSize = full.DocStream().size();
    for (size_t size = 0; size <= fullSize; ++size) {
        // Every byte of the FIB and the text; the long run of zeros between in steps.
        if (size > 0x1B0 && size < 0x7F0 && size % 0x100 != 0) continue;
        SCOPED_TRACE("WordDocument of " + std::to_string(size) + " bytes");
        auto file = TDocBuilder(full).DocSize(size).Write();
        std::u16string text;
        ASSERT_NO_THROW(text = converter.LoadText(file->Path(), false, 0, false));
        std::u16string expected;
        if (size >= 0x1AA) expected = std::u16string(u"Hello,").substr(0, size < 0x800 ? 0 : (size - 0x800) / 2);
        if (size > 0x900) expected += std::u16string(u"abc").substr(0, size - 0x900);
        EXPECT_EQ(Show(text), Show(expected));
    }
}

// A limit on the length gives the text of a full load cut there, for every
// setting that changes the text, also across pieces and across the parts a
// long piece is decoded in; the parts handed to a sink add up to the same.
TEST(WordConverter, MaxCharsCutsTheFullText) {
    std::u16string longText;
    for (int i = 0; i < 70000; ++i) longText += static_cast<char16_t>(i % 50 == 0 ? 0x0007 : u'a' + i % 26);
    std::string longBytes(100000, 'x');
    for (size_t i = 0; i < longBytes.size(); i += 7) longBytes[i] = '\xC0';
    const uint32_t units = static_cast<uint32_t>(longText.size());
    const uint32_t bytes = static_cast<uint32_t>(longBytes.size());
    const TDocBuilder doc =
        WithPieces({0, 6, 6 + units, 6 + units + bytes}, {{0x800}, {0x1000}, {CompressedFc(0x1000 + 2 * units)}})
            .DocText16(0x800, u"Hello\u0007")
            .DocText16(0x1000, longText)
            .DocBytes(0x1000 + 2 * units, longBytes);
    auto file = doc.Write();

    struct TSetting {
        bool printable;
        int32_t cp;
        bool forceCP;
    };
    for (const TSetting& s : {TSetting{.printable = false, .cp = 0, .forceCP = false},
                              TSetting{.printable = true, .cp = 0, .forceCP = false},
                              TSetting{.printable = false, .cp = 1251, .forceCP = true},
                              TSetting{.printable = false, .cp = 65001, .forceCP = true}}) {
        SCOPED_TRACE("printable " + std::to_string(s.printable) + ", code page " + std::to_string(s.cp));
        const std::u16string full = TWordConverter().LoadText(file->Path(), s.printable, s.cp, s.forceCP);
        ASSERT_GT(full.size(), 70000u);
        for (size_t limit : {size_t{0}, size_t{1}, size_t{5}, size_t{6}, size_t{7}, size_t{40000}, size_t{65536},
                             units + size_t{5}, full.size() - 1, full.size(), full.size() + 1}) {
            TWordConverter converter;
            converter.SetMaxChars(limit);
            const std::u16string text = converter.LoadText(file->Path(), s.printable, s.cp, s.forceCP);
            EXPECT_EQ(text, full.substr(0, limit)) << "limit " << limit;
        }

        struct TParts final : TTextSink {
            void Append(std::u16string_view part) override {
                EXPECT_FALSE(part.empty());
                text += part;
                ++count;
            }
            std::u16string text;
            size_t count = 0;
        } parts;
        EXPECT_TRUE(TWordConverter().ExtractText(file->Path(), s.printable, s.cp, s.forceCP, parts));
        EXPECT_EQ(parts.text, full);
        EXPECT_GT(parts.count, 2u);
    }
}

// The converter is reusable: nothing carries over from one call to the next.
TEST(WordConverter, OneInstanceManyCalls) {
    TWordConverter converter;
    auto good = HelloAt800().Write();
    auto bad = TDocBuilder().Clx(TClxBuilder().PrcHeader(-2)).Write();
    auto none = TDocBuilder().Clx(TClxBuilder().Prc({1})).Write();
    EXPECT_EQ(converter.LoadText(good->Path(), false, 0, false), u"Hello");
    EXPECT_THROW(converter.LoadText(bad->Path(), false, 0, false), EPagelet);
    EXPECT_EQ(converter.LoadText(none->Path(), false, 0, false), u"");
    EXPECT_EQ(converter.LoadText(good->Path(), true, 0, false), u"Hello");
}

// The storage's sector sizes and layouts reach the converter unchanged.
TEST(WordConverter, CompoundFileLayouts) {
    std::u16string longText;
    for (int i = 0; i < 5000; ++i) longText += static_cast<char16_t>(u'A' + i % 26);
    const TDocBuilder doc = WithPieces({0, 5000}, {{0x800}}).DocText16(0x800, longText);
    for (int version : {3, 4}) {
        TCfbOptions options;
        options.MajorVersion = version;
        auto file = doc.Write(options);
        EXPECT_EQ(TWordConverter().LoadText(file->Path(), false, 0, false), longText) << "version " << version;
    }
    TCfbOptions difat;
    difat.ForceDifat = true;
    auto file = HelloAt800().Write(difat);
    EXPECT_EQ(TWordConverter().LoadText(file->Path(), false, 0, false), u"Hello") << "with DIFAT sectors";
}

}  // namespace
}  // namespace pagelet
