// The code-page seam: iconv on Linux, MultiByteToWideChar under Windows.
// Both must give the same answers for these cases.

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "common/Error.h"
#include "common/Utf.h"
#include "common/CodePage.h"

namespace pagelet {
namespace {

std::optional<std::u16string> Decode(uint32_t cp, const std::vector<uint8_t>& bytes, bool strict = false) {
    return PlatformDecode(cp, bytes.data(), bytes.size(), strict);
}

struct TCase {
    uint32_t cp;
    std::vector<uint8_t> bytes;
    bool strict;
    std::optional<std::u16string> expected;
};

TEST(CodePage, DecodesLikeWindows) {
    const TCase cases[] = {
        {1252, {'A', 'b', 0x80, 0xE9, 0x9F, 0xFF}, false, u"Ab\u20AC\u00E9\u0178\u00FF"},
        // The five bytes 1252 leaves unassigned become the C1 controls.
        {1252, {0x81, 0x8D, 0x8F, 0x90, 0x9D}, false, u"\u0081\u008D\u008F\u0090\u009D"},
        {1252, {'a', 0x81, 0x9D}, true, u"a\u0081\u009D"},  // mapped, so no error when strict
        {1252, {0x00, 0x07, 0x13, 0x0D}, false, std::u16string(u"\0\a\x13\r", 4)},
        {1251, {0xC0, 0xFF, 0xA8}, false, u"\u0410\u044F\u0401"},
        {1251, {0x98}, false, u"\u0098"},
        {1250, {0x8A, 0xE8}, false, u"\u0160\u010D"},
        {866, {0x80, 0xAF, 0xF0}, false, u"\u0410\u043F\u0401"},
        {437, {0x82, 0xDB}, false, u"\u00E9\u2588"},
        {850, {0x82}, false, u"\u00E9"},
        {874, {0xA1}, false, u"\u0E01"},
        {1253, {0xC1}, false, u"\u0391"},
        {1255, {0xE0}, false, u"\u05D0"},
        {1256, {0xC7}, false, u"\u0627"},
        {932, {'a', 0x82, 0xA0, 0x93, 0xFA}, false, u"a\u3042\u65E5"},
        {936, {0xC4, 0xE3}, false, u"\u4F60"},
        {949, {0xB0, 0xA1}, false, u"\uAC00"},
        {950, {0xA4, 0xA4}, false, u"\u4E2D"},
        {65001, {'o', 'k', 0xC3, 0xA9, 0xF0, 0x9F, 0x98, 0x80}, true, u"ok\u00E9\U0001F600"},
        {65001, {'o', 'k', 0xC3}, true, std::nullopt},
        {65001, {'o', 0xFF, 'k'}, true, std::nullopt},
        {65001, {0xC0, 0xAF}, true, std::nullopt},  // overlong
        {65000, {'H', 'i', ' ', '+', 'A', 'K', 'M', '-'}, false, u"Hi \u00A3"},
        {1200, {'a', 0, 0x16, 0x04, 'z'}, false, u"a\u0416"},  // an odd last byte is dropped
        {1201, {0, 'a', 0xD8, 0x3D, 0xDE, 0x00}, false, u"a\U0001F600"},
        {1252, {}, false, u""},
        {65001, {}, true, u""},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE("code page " + std::to_string(c.cp));
        EXPECT_EQ(Decode(c.cp, c.bytes, c.strict), c.expected);
    }
}

TEST(CodePage, InvalidUtf8IsReplacedWhenNotStrict) {
    std::optional<std::u16string> got = Decode(65001, {'a', 0xFF, 'b'});
    ASSERT_TRUE(got.has_value());
    EXPECT_EQ(*got, u"a\uFFFDb");
}

TEST(CodePage, UnknownCodePages) {
    for (uint32_t cp : {12345u, 1249u, 99999u}) {
        SCOPED_TRACE(cp);
        EXPECT_FALSE(IsKnownCodePage(cp));
        try {
            Decode(cp, {'a'});
            ADD_FAILURE() << "decoded with an unknown code page";
        } catch (const EPagelet& e) {
            EXPECT_EQ(e.Message(), u"Invalid code page");
        }
    }
    for (uint32_t cp : {437u,  850u,  866u,  874u,  932u,  936u,  949u,  950u,  1250u,  1251u, 1252u,
                        1253u, 1254u, 1255u, 1256u, 1257u, 1258u, 1200u, 1201u, 65000u, 65001u}) {
        SCOPED_TRACE(cp);
        EXPECT_TRUE(IsKnownCodePage(cp));
    }
}

// The byte table is the platform's decoding of each byte, built once per
// code page and shared; code pages that need more than one byte for a
// character (or two bytes for one) have none.
TEST(CodePage, SingleByteTables) {
    for (uint32_t cp : {1252u, 1251u, 866u, 437u, 10000u}) {
        SCOPED_TRACE(cp);
        const TSingleByteTable* table = SingleByteTable(cp);
        ASSERT_NE(table, nullptr);
        for (int b = 0; b < 256; ++b) {
            const auto one = Decode(cp, {static_cast<uint8_t>(b)});
            ASSERT_TRUE(one && one->size() == 1) << b;
            EXPECT_EQ((*table)[b], (*one)[0]) << b;
        }
        EXPECT_EQ(SingleByteTable(cp), table);
    }
    EXPECT_EQ(SingleByteTable(0), SingleByteTable(SystemAnsiCodePage()));
    for (uint32_t cp : {932u, 936u, 1200u, 1201u, 65000u, 65001u, 12345u})
        EXPECT_EQ(SingleByteTable(cp), nullptr) << cp;
}

TEST(CodePage, SystemAnsiCodePageIsKnown) {
    uint32_t acp = SystemAnsiCodePage();
    EXPECT_TRUE(IsKnownCodePage(acp));
    EXPECT_EQ(Decode(acp, {'a', 'b'}), u"ab");
}

#ifndef _WIN32
// Linux: the ANSI code page of a Windows system locale of the locale's
// language, whether or not that locale is installed.
TEST(CodePage, SystemAnsiCodePageFollowsTheLocalesLanguage) {
    struct TLocaleCase {
        const char* locale;
        uint32_t codePage;
    };
    const TLocaleCase cases[] = {
        {"ru_RU.UTF-8", 1251}, {"uk_UA.UTF-8", 1251}, {"be_BY", 1251},         {"bg_BG.CP1251", 1251},
        {"sr_RS", 1251},       {"mk_MK.UTF-8", 1251}, {"sr_RS@latin", 1250},   {"pl_PL.UTF-8", 1250},
        {"cs_CZ", 1250},       {"sk_SK", 1250},       {"hu_HU.UTF-8", 1250},   {"sl_SI", 1250},
        {"hr_HR", 1250},       {"ro_RO", 1250},       {"sq_AL.UTF-8", 1250},   {"bs_BA", 1250},
        {"el_GR.UTF-8", 1253}, {"tr_TR.UTF-8", 1254}, {"az_AZ", 1254},         {"he_IL.UTF-8", 1255},
        {"ar_EG.UTF-8", 1256}, {"fa_IR", 1256},       {"ur_PK", 1256},         {"et_EE", 1257},
        {"lv_LV", 1257},       {"lt_LT.UTF-8", 1257}, {"vi_VN", 1258},         {"th_TH.UTF-8", 874},
        {"ja_JP.UTF-8", 932},  {"ja_JP.eucJP", 932},  {"zh_CN.UTF-8", 936},    {"zh_SG", 936},
        {"zh_TW.UTF-8", 950},  {"zh_HK.Big5-HKSCS", 950}, {"ko_KR.UTF-8", 949}, {"RU_ru", 1251},
        {"ru", 1251},          {"en_US.UTF-8", 1252}, {"de_DE@euro", 1252},    {"fr_FR", 1252},
        {"C", 1252},           {"POSIX", 1252},       {"C.UTF-8", 1252},       {"", 1252},
        {"russian", 1252},     {"zz_ZZ", 1252},
    };
    for (const TLocaleCase& c : cases) EXPECT_EQ(AnsiCodePageOfLocale(c.locale), c.codePage) << c.locale;

    // LC_ALL, else LC_CTYPE, else LANG; an empty value counts as unset.
    EXPECT_EQ(AnsiCodePageOfEnvironment("pl_PL.UTF-8", "ru_RU.UTF-8", "ja_JP.UTF-8"), 1250u);
    EXPECT_EQ(AnsiCodePageOfEnvironment(nullptr, "ru_RU.UTF-8", "ja_JP.UTF-8"), 1251u);
    EXPECT_EQ(AnsiCodePageOfEnvironment("", "", "ja_JP.UTF-8"), 932u);
    EXPECT_EQ(AnsiCodePageOfEnvironment("C", "ru_RU.UTF-8", "ru_RU.UTF-8"), 1252u);
    EXPECT_EQ(AnsiCodePageOfEnvironment(nullptr, nullptr, nullptr), 1252u);

    // The process's own: from its environment, and what CP_ACP (0) decodes with.
    EXPECT_EQ(SystemAnsiCodePage(),
              AnsiCodePageOfEnvironment(std::getenv("LC_ALL"), std::getenv("LC_CTYPE"), std::getenv("LANG")));
    EXPECT_EQ(Decode(0, {0xC0}), Decode(SystemAnsiCodePage(), {0xC0}));
}
#endif

// A large 8-bit buffer with one unassigned byte in the middle decodes whole
// (its speed is a benchmark's business).
TEST(CodePage, LargeBuffer) {
    std::vector<uint8_t> bytes(8 << 20);
    for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(0x20 + i % 0xE0);
    bytes[12345] = 0x81;  // one unassigned byte in the middle
    std::optional<std::u16string> got = Decode(1252, bytes);
    ASSERT_TRUE(got.has_value());
    EXPECT_EQ(got->size(), bytes.size());
    EXPECT_EQ((*got)[12345], u'\u0081');
}

}  // namespace
}  // namespace pagelet
