#include <gtest/gtest.h>

#include <string>

#include "converter/PrintableFilter.h"

namespace pagelet {
namespace {

// Each code unit at the edge of a kept range, and what becomes of it.
TEST(PrintableFilter, RangeEdges) {
    struct TEdge {
        char16_t unit;
        bool kept;
    };
    const TEdge edges[] = {
        {0x0000, false}, {0x0007, false}, {0x0009, false}, {0x000A, true},  {0x000B, false}, {0x000C, false},
        {0x000D, true},  {0x000E, false}, {0x0013, false}, {0x0014, false}, {0x0015, false}, {0x001E, false},
        {0x001F, false}, {0x0020, true},  {0x007E, true},  {0x007F, false}, {0x0080, false}, {0x009F, false},
        {0x00A0, true},  {0x00AD, true},  {0x00FF, true},  {0x0100, false}, {0x03A9, false}, {0x03FF, false},
        {0x0400, true},  {0x0410, true},  {0x05D0, true},  {0x2019, true},  {0x20AC, true},  {0x4E2D, true},
        {0xA69F, true},  {0xA6A0, false}, {0xA6FF, false}, {0xAC00, false}, {0xD800, false}, {0xDFFF, false},
        {0xE000, false}, {0xFFFD, false}, {0xFFFF, false},
    };
    for (const TEdge& e : edges) {
        const std::u16string in{u'<', e.unit, u'>'};
        const std::u16string expected = e.kept ? in : u"<>";
        EXPECT_EQ(FilterPrintable(in), expected) << std::hex << "U+" << static_cast<unsigned>(e.unit);
    }
}

TEST(PrintableFilter, Texts) {
    struct TCase {
        std::u16string in;
        std::u16string out;
    };
    const TCase cases[] = {
        {u"", u""},
        {u"A\tB", u"AB"},
        {u"one\rtwo\nthree\r\nfour", u"one\rtwo\nthree\r\nfour"},
        {u"\u0013 HYPERLINK \u0014link\u0015\u0007\r", u" HYPERLINK link\r"},
        {u"a\U0001F600b", u"ab"},
        {u"\u0007\u0013\u0100\uFFFD", u""},
        {u"\u041F\u0440\u0438\u0432\u0435\u0442 \u20AC5", u"\u041F\u0440\u0438\u0432\u0435\u0442 \u20AC5"},
    };
    for (const TCase& c : cases) {
        EXPECT_EQ(FilterPrintable(c.in), c.out);
        std::u16string inPlace = c.in;
        FilterPrintableInPlace(inPlace);
        EXPECT_EQ(inPlace, c.out);
    }
}

}  // namespace
}  // namespace pagelet
