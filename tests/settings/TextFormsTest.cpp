// The text forms of settings values and the settings keys read through them.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/Utf.h"
#include "settings/IniFile.h"
#include "settings/ScratchDir.h"
#include "settings/Settings.h"
#include "settings/TextForms.h"

namespace pagelet {
namespace {

struct TIntCase {
    const char16_t* Text;
    int32_t Expected;  // with fallback 1251
};

TEST(TextForms, IntegerText) {
    const std::vector<TIntCase> cases = {
        {u"866", 866},
        {u"   866", 866},
        {u"\t866", 866},
        {u"+866", 866},
        {u"-16777201", -16777201},
        {u"2147483647", 2147483647},
        {u"-2147483648", INT32_MIN},
        {u"0", 0},
        {u"007", 7},
        {u"$4E3", 1251},
        {u"$4e3", 1251},
        {u"x4E3", 1251},
        {u"X4E3", 1251},
        {u"0x4E3", 1251},
        {u"0X4E3", 1251},
        {u"$FFFFFFFF", -1},
        {u"$FF00000F", -16777201},
        {u"-$10", -16},
        {u"  $7FFFFFFF", INT32_MAX},
        // fallbacks
        {u"abc", 1251},
        {u"", 1251},
        {u"   ", 1251},
        {u"-", 1251},
        {u"$", 1251},
        {u"0x", 1251},
        {u"$123456789", 1251},  // nine digits
        {u"$12G", 1251},
        {u"2147483648", 1251},
        {u"-2147483649", 1251},
        {u"99999999999999999999", 1251},
        {u"866 ", 1251},  // nothing may follow
        {u"866abc", 1251},
        {u"8 66", 1251},
        {u"1.5", 1251},
        {u"--1", 1251},
    };
    for (const TIntCase& c : cases) {
        EXPECT_EQ(ReadIntText(c.Text, 1251), c.Expected) << Utf16ToUtf8(c.Text);
    }
    EXPECT_EQ(IntText(-16777201), u"-16777201");
    EXPECT_EQ(IntText(INT32_MIN), u"-2147483648");
}

struct TBoolCase {
    const char16_t* Text;
    bool Expected;  // with fallback false
};

TEST(TextForms, BooleanText) {
    const std::vector<TBoolCase> cases = {
        {u"True", true},   {u"TRUE", true}, {u"true", true}, {u"1", true},      {u"-1", true},
        {u"2", true},      {u"0.5", true},  {u" 1 ", true},  {u"1e3", true},    {u"False", false},
        {u"FALSE", false}, {u"0", false},   {u"0.0", false}, {u"-0", false},    {u".0", false},
        {u"yes", false},   {u"", false},    {u"on", false},  {u" True", false}, {u"1.", true},
    };
    for (const TBoolCase& c : cases) {
        EXPECT_EQ(ReadBoolText(c.Text, false), c.Expected) << Utf16ToUtf8(c.Text);
    }
    // The fallback shows for text that is no boolean only.
    EXPECT_TRUE(ReadBoolText(u"yes", true));
    EXPECT_TRUE(ReadBoolText(u"", true));
    EXPECT_FALSE(ReadBoolText(u"0.0", true));
    EXPECT_FALSE(ReadBoolText(u"false", true));
    EXPECT_EQ(BoolText(true), u"-1");
    EXPECT_EQ(BoolText(false), u"0");
}

TEST(TextForms, NextTokenTakesFieldsFromTheFront) {
    std::u16string s = u"a,,b c";
    EXPECT_EQ(NextToken(s), u"a");
    EXPECT_EQ(s, u",b c");
    EXPECT_EQ(NextToken(s), u"");
    EXPECT_EQ(NextToken(s), u"b c");
    EXPECT_EQ(s, u"");
    EXPECT_EQ(NextToken(s), u"");
}

struct TFontCase {
    const char16_t* Text;
    const char16_t* Name;
    int32_t Size;
    int Style;
    int32_t Color;
    int Charset;
};

TEST(TextForms, FontText) {
    const std::vector<TFontCase> cases = {
        {u"Tahoma,10,0,0", u"Tahoma", 10, 0, 0, 1},
        {u"Courier New,12", u"Courier New", 12, 0, 0, 1},
        {u",,,,", u"", 10, 0, 0, 1},
        {u"", u"", 10, 0, 0, 1},
        {u"Verdana,11,3,255,0", u"Verdana", 11, fsBold | fsItalic, 255, 0},
        {u"Arial,9,259,-16777201,460", u"Arial", 9, fsBold | fsItalic, -16777201, 204},  // low 8 bits
        {u"Arial,big,x,$FF,y,extra,fields", u"Arial", 10, 0, 255, 1},
        {u" Lucida Console ,8,15", u" Lucida Console ", 8, 15, 0, 1},
    };
    for (const TFontCase& c : cases) {
        SCOPED_TRACE(Utf16ToUtf8(c.Text));
        const TFontSpec font = ReadFontText(c.Text);
        EXPECT_EQ(font.Name, c.Name);
        EXPECT_EQ(font.Size, c.Size);
        EXPECT_EQ(font.Style, c.Style);
        EXPECT_EQ(font.Color, c.Color);
        EXPECT_EQ(font.Charset, c.Charset);
    }
    EXPECT_EQ(IntToStyle(259), fsBold | fsItalic);
    EXPECT_EQ(IntToStyle(-1), 255);
    EXPECT_EQ(StyleToInt(fsBold | fsStrikeOut), 9);

    TFontSpec arial;
    arial.Name = u"Arial";
    arial.Size = 12;
    arial.Style = fsBold;
    arial.Color = 255;
    arial.Charset = 204;
    EXPECT_EQ(FontText(arial), u"Arial,12,1,255,204");
    EXPECT_EQ(FontText(ReadFontText(u"Tahoma,10,0,0")), u"Tahoma,10,0,0,1");
    EXPECT_EQ(FontText(ReadFontText(u"X,1,255,-16777201,255")), u"X,1,255,-16777201,255");
}

// The reading layout when Pagelet.ini does not say: off on Windows (the
// host's check sees the converter's text), on on Linux.
#ifdef _WIN32
constexpr bool kReadingByDefault = false;
#else
constexpr bool kReadingByDefault = true;
#endif

// The keys as every reader uses them, through a real settings file.
TEST(SettingsKeys, DefaultsFallbacksAndStoredValues) {
    test::TScratchDir dir;
    const std::u16string missing = dir.Name("missing.ini");
    EXPECT_EQ(ReadIntSetting(kBackColor, missing), 16777215);
    EXPECT_EQ(ReadIntSetting(kCP, missing), 1251);
    EXPECT_EQ(ReadSettingText(kTextFont, missing), u"Tahoma,10,0,0");
    const TLoadSettings defaults = ReadLoadSettings(missing);
    EXPECT_FALSE(defaults.MSWord);
    EXPECT_FALSE(defaults.Printable);
    EXPECT_EQ(defaults.CP, 1251);
    EXPECT_FALSE(defaults.ForceCP);
    EXPECT_EQ(defaults.ReadingLayout, kReadingByDefault);

    const std::u16string stored = dir.Name("Pagelet.ini");
    test::WriteText(dir.Path() / "Pagelet.ini",
                    "[Options]\r\nMSWord=True\r\nPrintable=2\r\nCP=  866\r\nForceCP=-1\r\nBackColor=-16777201\r\nReadingLayout=-1\r\n");
    const TLoadSettings read = ReadLoadSettings(stored);
    EXPECT_TRUE(read.MSWord);
    EXPECT_TRUE(read.Printable);
    EXPECT_EQ(read.CP, 866);
    EXPECT_TRUE(read.ForceCP);
    EXPECT_TRUE(read.ReadingLayout);
    EXPECT_EQ(ReadIntSetting(kBackColor, stored), -16777201);

    // Present but no valid value: the fallback, also for an empty value.
    const std::u16string bad = dir.Name("bad.ini");
    test::WriteText(dir.Path() / "bad.ini", "[Options]\r\nMSWord=yes\r\nCP=abc\r\nBackColor=\r\nForceCP=\r\nReadingLayout=on\r\n");
    EXPECT_FALSE(ReadBoolSetting(kMSWord, bad));
    EXPECT_EQ(ReadIntSetting(kCP, bad), 1251);
    EXPECT_EQ(ReadIntSetting(kBackColor, bad), 16777215);
    EXPECT_FALSE(ReadBoolSetting(kForceCP, bad));
    EXPECT_EQ(ReadBoolSetting(kReadingLayout, bad), kReadingByDefault);

    // Written forms read back: the fallbacks read from the bad file are
    // written as valid values.
    TViewerOptions options = ReadViewerOptions(bad);
    options.Load.MSWord = true;
    WriteViewerOptions(options, bad);
    EXPECT_EQ(ReadSettingText(kCP, bad), u"1251");
    EXPECT_EQ(ReadSettingText(kBackColor, bad), u"16777215");
    EXPECT_TRUE(ReadBoolSetting(kMSWord, bad));
    EXPECT_EQ(ReadSettingText(kForceCP, bad), u"0");
    EXPECT_EQ(ReadSettingText(kReadingLayout, bad), kReadingByDefault ? u"-1" : u"0");

    // Turned off (as the options dialog writes it, or by hand) it stays off
    // on every platform.
    for (const char* off : {"0", "False", "false"}) {
        SCOPED_TRACE(off);
        test::WriteText(dir.Path() / "off.ini", std::string("[Options]\r\nReadingLayout=") + off + "\r\n");
        EXPECT_FALSE(ReadLoadSettings(dir.Name("off.ini")).ReadingLayout);
    }
}

// The options dialog's seven keys: all written, in order, in their text forms,
// and read back as they were.
TEST(SettingsKeys, ViewerOptionsRoundTrip) {
    test::TScratchDir dir;
    const std::u16string path = dir.Name("Pagelet.ini");
    const TViewerOptions written{.Font = ReadFontText(u"Arial,12,1,255,204"),
                                 .BackColor = -16777201,
                                 .Load = {.MSWord = true, .Printable = false, .CP = 866, .ForceCP = true, .ReadingLayout = true}};
    WriteViewerOptions(written, path);
    std::string text = test::ReadText(dir.Path() / "Pagelet.ini");
    std::erase(text, '\r');  // new files end lines as the platform does
    EXPECT_EQ(
        text,
        "[Options]\nTextFont=Arial,12,1,255,204\nBackColor=-16777201\nMSWord=-1\nPrintable=0\nCP=866\nForceCP=-1\nReadingLayout=-1\n");
    const TViewerOptions read = ReadViewerOptions(path);
    EXPECT_EQ(FontText(read.Font), u"Arial,12,1,255,204");
    EXPECT_EQ(read.BackColor, -16777201);
    EXPECT_TRUE(read.Load.MSWord);
    EXPECT_FALSE(read.Load.Printable);
    EXPECT_EQ(read.Load.CP, 866);
    EXPECT_TRUE(read.Load.ForceCP);
    EXPECT_TRUE(read.Load.ReadingLayout);

    // With no file: the defaults the viewer starts from.
    const TViewerOptions defaults = ReadViewerOptions(dir.Name("missing.ini"));
    EXPECT_EQ(FontText(defaults.Font), u"Tahoma,10,0,0,1");
    EXPECT_EQ(defaults.BackColor, 16777215);
    EXPECT_FALSE(defaults.Load.MSWord);
    EXPECT_EQ(defaults.Load.CP, 1251);
    EXPECT_EQ(defaults.Load.ReadingLayout, kReadingByDefault);
}

}  // namespace
}  // namespace pagelet
