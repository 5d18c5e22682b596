// The INI behaviour the settings rely on. The same table runs against the
// Windows profile functions (under Wine) and against the Linux reader and
// writer, so both must give the same answers.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "common/Utf.h"
#include "settings/IniFile.h"
#include "settings/ScratchDir.h"

namespace pagelet {
namespace {

using test::TScratchDir;

const std::string k300(300, 'v');
const std::string k400 = std::string(300, 'w') + std::string(100, 'z');

struct TReadCase {
    const char* Title;
    std::optional<std::string> Content;  // nullopt: no file at all
    const char16_t* Section;
    const char16_t* Key;
    std::string Expected;  // UTF-8; the default is "dflt"
};

const std::vector<TReadCase> kReadCases = {
    {"plain value", "[Options]\r\nCP=866\r\n", u"Options", u"CP", "866"},
    {"LF line ends", "[Options]\nCP=866\n", u"Options", u"CP", "866"},
    {"no line end at the end", "[Options]\r\nCP=866", u"Options", u"CP", "866"},
    {"section name in other case", "[oPTIONs]\r\nCP=866\r\n", u"OPTIONS", u"CP", "866"},
    {"key name in other case", "[Options]\r\ncp=866\r\n", u"Options", u"Cp", "866"},
    {"blanks around key and value", "[Options]\r\n  CP   =   866   \r\n", u"Options", u"CP", "866"},
    {"tab before the value", "[Options]\r\nCP=\t866\r\n", u"Options", u"CP", "866"},
    {"blanks inside the value stay", "[Options]\r\nTextFont=  Courier New,12  \r\n", u"Options", u"TextFont",
     "Courier New,12"},
    {"double quotes removed", "[Options]\r\nTextFont=\"  Arial,9 \"\r\n", u"Options", u"TextFont", "  Arial,9 "},
    {"single quotes removed", "[Options]\r\nTextFont='Arial,9'\r\n", u"Options", u"TextFont", "Arial,9"},
    {"only one pair of quotes removed", "[Options]\r\nTextFont=\"\"x\"\"\r\n", u"Options", u"TextFont", "\"x\""},
    {"unbalanced quote kept", "[Options]\r\nTextFont=\"x\r\n", u"Options", u"TextFont", "\"x"},
    {"empty value is not the default", "[Options]\r\nCP=\r\n", u"Options", u"CP", ""},
    {"blank value is empty", "[Options]\r\nCP=   \r\n", u"Options", u"CP", ""},
    {"missing file", std::nullopt, u"Options", u"CP", "dflt"},
    {"empty file", "", u"Options", u"CP", "dflt"},
    {"missing section", "[Other]\r\nCP=866\r\n", u"Options", u"CP", "dflt"},
    {"missing key", "[Options]\r\nBackColor=0\r\n", u"Options", u"CP", "dflt"},
    {"key of another section", "[Other]\r\nCP=1\r\n[Options]\r\nMSWord=0\r\n", u"Options", u"CP", "dflt"},
    {"comment line", "[Options]\r\n;CP=1\r\n", u"Options", u"CP", "dflt"},
    {"blanks around the section name", "  [ Options ]  \r\nCP=866\r\n", u"Options", u"CP", "866"},
    {"line without '='", "[Options]\r\nCP\r\n", u"Options", u"CP", "dflt"},
    {"first of two equal keys", "[Options]\r\nCP=1\r\nCP=2\r\n", u"Options", u"CP", "1"},
    {"second section", "[Other]\r\nCP=1\r\n\r\n[Options]\r\nCP=2\r\n", u"Options", u"CP", "2"},
    {"value of 300 characters", "[Options]\r\nTextFont=" + k300 + "\r\n", u"Options", u"TextFont", k300},
    {"value of 400 characters cut to 300", "[Options]\r\nTextFont=" + k400 + "\r\n", u"Options", u"TextFont",
     k400.substr(0, 300)},
};

TEST(IniFile, ReadTable) {
    TScratchDir dir;
    int index = 0;
    for (const TReadCase& c : kReadCases) {
        SCOPED_TRACE(c.Title);
        // One file per case: the Windows profile functions cache files.
        const std::string fileName = "read" + std::to_string(index++) + ".ini";
        if (c.Content) test::WriteText(dir.Path() / fileName, *c.Content);
        EXPECT_EQ(Utf16ToUtf8(ReadIniString(c.Section, c.Key, u"dflt", dir.Name(fileName))), c.Expected);
    }
}

TEST(IniFile, DefaultIsCutTo300Characters) {
    TScratchDir dir;
    const std::u16string longDefault(400, u'd');
    EXPECT_EQ(ReadIniString(u"Options", u"CP", longDefault, dir.Name("none.ini")), longDefault.substr(0, 300));
}

TEST(IniFile, WriteCreatesFileSectionAndKey) {
    TScratchDir dir;
    const std::u16string file = dir.Name("new.ini");
    WriteIniString(u"Options", u"CP", u"866", file);
    WriteIniString(u"Options", u"MSWord", u"-1", file);
    WriteIniString(u"Other", u"Key", u"x y", file);
    EXPECT_EQ(ReadIniString(u"Options", u"CP", u"dflt", file), u"866");
    EXPECT_EQ(ReadIniString(u"options", u"msword", u"dflt", file), u"-1");
    EXPECT_EQ(ReadIniString(u"Other", u"Key", u"dflt", file), u"x y");
}

TEST(IniFile, WriteKeepsEveryOtherLine) {
    TScratchDir dir;
    const std::filesystem::path path = dir.Path() / "existing.ini";
    test::WriteText(path, "[First]\r\nA=1\r\nB=two words\r\n[Options]\r\nTextFont=Arial,9\r\nCP=866\r\nForceCP=0\r\n");
    WriteIniString(u"options", u"cp", u"1252", path.u16string());
    EXPECT_EQ(test::ReadText(path),
              "[First]\r\nA=1\r\nB=two words\r\n[Options]\r\nTextFont=Arial,9\r\nCP=1252\r\nForceCP=0\r\n");

    // A new key lands in its section; a new section at the end; the rest stays.
    WriteIniString(u"First", u"C", u"3", path.u16string());
    WriteIniString(u"Last", u"D", u"4", path.u16string());
    EXPECT_EQ(ReadIniString(u"First", u"C", u"dflt", path.u16string()), u"3");
    EXPECT_EQ(ReadIniString(u"Last", u"D", u"dflt", path.u16string()), u"4");
    EXPECT_EQ(ReadIniString(u"First", u"B", u"dflt", path.u16string()), u"two words");
    EXPECT_EQ(ReadIniString(u"Options", u"TextFont", u"dflt", path.u16string()), u"Arial,9");
    EXPECT_EQ(ReadIniString(u"Options", u"CP", u"dflt", path.u16string()), u"1252");
    const std::string text = test::ReadText(path);
    EXPECT_LT(text.find("C=3"), text.find("[Options]"));
    EXPECT_GT(text.find("[Last]"), text.find("ForceCP=0"));
}

TEST(IniFile, WriteToMissingDirectoryFailsSilently) {
    TScratchDir dir;
    const std::u16string file = dir.Name("no-such-dir/x.ini");
    WriteIniString(u"Options", u"CP", u"866", file);
    EXPECT_EQ(ReadIniString(u"Options", u"CP", u"dflt", file), u"dflt");
    EXPECT_FALSE(std::filesystem::exists(dir.Path() / "no-such-dir"));
}

}  // namespace
}  // namespace pagelet
