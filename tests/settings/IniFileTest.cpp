// The INI behaviour the settings rely on. The same table runs against the
// Windows profile functions (under Wine) and against the Linux reader and
// writer, so both must give the same answers.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#if !defined(_WIN32)
#include <sys/stat.h>
#include <unistd.h>
#endif

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

#if !defined(_WIN32)
// What may sit at the name of a settings file on Linux. Only a regular file
// is read (a link to one is followed); none of these holds the reader (the
// test's time limit catches a hang); a write never goes through a link,
// never damages what it cannot read whole, and leaves no file behind it.
namespace fs = std::filesystem;

struct TShapeCase {
    const char* Title;
    // Makes the shape in the folder and answers the name to read and write.
    std::function<fs::path(const fs::path& folder)> Make;
    const char* ExpectedRead;  // CP as read, "dflt" for none
    // After WriteIniString(Options, CP, 437): what the folder holds.
    std::function<void(const fs::path& folder, const fs::path& name)> CheckWrite;
};

const std::string kSettings = "[Options]\nCP=866\n";

fs::path MakeFile(const fs::path& folder, const std::string& bytes, fs::perms perms) {
    const fs::path name = folder / "Pagelet.ini";
    test::WriteText(name, bytes);
    fs::permissions(name, perms);
    return name;
}

// A file of more than 1 MB: CP at the start, MSWord beyond the first MB.
std::string LargeSettings() {
    std::string bytes = kSettings + "[Padding]\n";
    const std::string line = "Key=" + std::string(95, 'p') + "\n";
    while (bytes.size() < (1u << 20) - 40) bytes += line;
    bytes += "Cut=" + std::string(100, 'c') + "\n";  // crosses the 1 MB mark
    return bytes + "[Options]\nMSWord=-1\n";
}

std::vector<std::string> FolderEntries(const fs::path& folder) {
    std::vector<std::string> names;
    for (const fs::directory_entry& entry : fs::directory_iterator(folder)) names.push_back(entry.path().filename());
    std::sort(names.begin(), names.end());
    return names;
}

const std::vector<TShapeCase> kShapeCases = {
    {"regular file: written in place of the old one with its permissions",
     [](const fs::path& folder) {
         return MakeFile(folder, "; mine\n" + kSettings,
                         fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
     },
     "866",
     [](const fs::path& folder, const fs::path& name) {
         EXPECT_EQ(test::ReadText(name), "; mine\n[Options]\nCP=437\n");
         EXPECT_EQ(fs::status(name).permissions(),
                   fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
         EXPECT_EQ(FolderEntries(folder), std::vector<std::string>{"Pagelet.ini"});
     }},
    {"FIFO",
     [](const fs::path& folder) {
         const fs::path name = folder / "Pagelet.ini";
         EXPECT_EQ(mkfifo(name.c_str(), 0600), 0);
         return name;
     },
     "dflt",
     [](const fs::path& folder, const fs::path& name) {
         EXPECT_TRUE(fs::is_fifo(fs::symlink_status(name)));
         EXPECT_EQ(FolderEntries(folder), std::vector<std::string>{"Pagelet.ini"});
     }},
    {"link to a regular file: read through it, replaced by the write",
     [](const fs::path& folder) {
         fs::create_directory(folder / "elsewhere");
         test::WriteText(folder / "elsewhere" / "real.ini", kSettings);
         fs::create_symlink("elsewhere/real.ini", folder / "Pagelet.ini");
         return folder / "Pagelet.ini";
     },
     "866",
     [](const fs::path& folder, const fs::path& name) {
         EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(name)));
         EXPECT_EQ(test::ReadText(name), "[Options]\nCP=437\n");
         EXPECT_EQ(test::ReadText(folder / "elsewhere" / "real.ini"), kSettings);
     }},
    {"link to nothing: replaced, its target not made",
     [](const fs::path& folder) {
         fs::create_symlink(folder / "target.ini", folder / "Pagelet.ini");
         return folder / "Pagelet.ini";
     },
     "dflt",
     [](const fs::path& folder, const fs::path& name) {
         EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(name)));
         EXPECT_EQ(test::ReadText(name), "[Options]\nCP=437\n");
         EXPECT_FALSE(fs::exists(fs::symlink_status(folder / "target.ini")));
     }},
    {"link to a FIFO",
     [](const fs::path& folder) {
         EXPECT_EQ(mkfifo((folder / "fifo").c_str(), 0600), 0);
         fs::create_symlink("fifo", folder / "Pagelet.ini");
         return folder / "Pagelet.ini";
     },
     "dflt",
     [](const fs::path& folder, const fs::path& name) {
         EXPECT_TRUE(fs::is_symlink(fs::symlink_status(name)));
         EXPECT_EQ(FolderEntries(folder), (std::vector<std::string>{"Pagelet.ini", "fifo"}));
     }},
    {"link to a device without end",
     [](const fs::path& folder) {
         fs::create_symlink("/dev/zero", folder / "Pagelet.ini");
         return folder / "Pagelet.ini";
     },
     "dflt", [](const fs::path&, const fs::path& name) { EXPECT_TRUE(fs::is_symlink(fs::symlink_status(name))); }},
    {"directory",
     [](const fs::path& folder) {
         fs::create_directory(folder / "Pagelet.ini");
         return folder / "Pagelet.ini";
     },
     "dflt",
     [](const fs::path& folder, const fs::path& name) {
         EXPECT_TRUE(fs::is_empty(name));
         EXPECT_EQ(FolderEntries(folder), std::vector<std::string>{"Pagelet.ini"});
     }},
    {"file of exactly 1 MB: read whole and written",
     [](const fs::path& folder) {
         std::string bytes = "[Padding]\n";
         bytes += "Key=" + std::string((1u << 20) - bytes.size() - kSettings.size() - 5, 'p') + "\n";
         return MakeFile(folder, bytes + kSettings, fs::perms::owner_read | fs::perms::owner_write);
     },
     "866",
     [](const fs::path&, const fs::path& name) {
         EXPECT_EQ(ReadIniString(u"Options", u"CP", u"dflt", name.u16string()), u"437");
         EXPECT_EQ(fs::file_size(name), 1u << 20);
     }},
    {"file over 1 MB: its first MB read, never written",
     [](const fs::path& folder) {
         return MakeFile(folder, LargeSettings(), fs::perms::owner_read | fs::perms::owner_write);
     },
     "866",
     [](const fs::path&, const fs::path& name) {
         EXPECT_EQ(ReadIniString(u"Options", u"MSWord", u"dflt", name.u16string()), u"dflt");  // beyond 1 MB
         EXPECT_EQ(ReadIniString(u"Padding", u"Cut", u"dflt", name.u16string()), u"dflt");     // cut by it
         EXPECT_EQ(test::ReadText(name), LargeSettings());
     }},
};

TEST(IniFile, OnlyARegularFileIsReadAndNoLinkIsWrittenThrough) {
    for (const TShapeCase& c : kShapeCases) {
        SCOPED_TRACE(c.Title);
        TScratchDir dir;
        const fs::path name = c.Make(dir.Path());
        EXPECT_EQ(Utf16ToUtf8(ReadIniString(u"Options", u"CP", u"dflt", name.u16string())), c.ExpectedRead);
        WriteIniString(u"Options", u"CP", u"437", name.u16string());
        c.CheckWrite(dir.Path(), name);
    }
}

// Written in place, a read-only file refused the write; a new file renamed
// over it must not change that.
TEST(IniFile, ReadOnlyFileIsNotReplaced) {
    if (geteuid() == 0) GTEST_SKIP() << "root may write any file";
    TScratchDir dir;
    const fs::path name = MakeFile(dir.Path(), kSettings, fs::perms::owner_read);
    WriteIniString(u"Options", u"CP", u"437", name.u16string());
    EXPECT_EQ(test::ReadText(name), kSettings);
    EXPECT_EQ(FolderEntries(dir.Path()), std::vector<std::string>{"Pagelet.ini"});
}

TEST(IniFile, RelativeNameIsNeitherReadNorWritten) {
    TScratchDir dir;
    test::WriteText(dir.Path() / "Pagelet.ini", kSettings);
    const fs::path savedCwd = fs::current_path();
    fs::current_path(dir.Path());
    EXPECT_EQ(ReadIniString(u"Options", u"CP", u"dflt", u"Pagelet.ini"), u"dflt");
    WriteIniString(u"Options", u"CP", u"437", u"Pagelet.ini");
    WriteIniString(u"Options", u"CP", u"437", u"sub/Pagelet.ini");
    fs::current_path(savedCwd);
    EXPECT_EQ(test::ReadText(dir.Path() / "Pagelet.ini"), kSettings);
    EXPECT_EQ(FolderEntries(dir.Path()), std::vector<std::string>{"Pagelet.ini"});
}
#endif

}  // namespace
}  // namespace pagelet
