// Settings directory, environment expansion and temporary names, called
// directly; "config.ini" is written beside this test program, which is the
// module the code lives in here.
#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <utility>
#include <vector>

#include "common/Utf.h"
#include "plugin/ListerApi.h"
#include "settings/Locations.h"
#include "settings/Platform.h"
#include "settings/ScratchDir.h"
#include "settings/Settings.h"

#if !defined(_WIN32)
#include <sys/stat.h>
#endif

namespace pagelet {
namespace {

namespace fs = std::filesystem;
using test::TScratchDir;

const std::u16string kSep(1, kDirectorySeparator);

// What SettingsDir becomes where no directory comes out: Windows keeps the
// empty text (the profile functions use the Windows directory); Linux takes
// the plug-in's own directory.
#if defined(_WIN32)
const std::u16string kNoDirectory;
#else
const std::u16string kNoDirectory = ModuleDirectory();

std::vector<std::string> FolderEntries(const fs::path& folder) {
    std::vector<std::string> names;
    for (const fs::directory_entry& entry : fs::directory_iterator(folder)) names.push_back(entry.path().filename());
    return names;
}
#endif

lister::TDefaultParams HostRecord(const std::u16string& iniPath) {
    lister::TDefaultParams record{};
    record.Size = sizeof record;
    record.PluginInterfaceVersionLow = 10;
    record.PluginInterfaceVersionHi = 2;
    const std::string bytes = Utf16ToUtf8(iniPath);  // ASCII paths in these tests
    std::memcpy(record.DefaultIniName, bytes.data(), std::min(bytes.size(), sizeof record.DefaultIniName - 1));
    return record;
}

// What ListSetDefaultParams does with a record of the Windows size (or none).
void SetDefaultParams(const lister::TDefaultParams* record) {
    pagelet::SetDefaultParams(record ? HostIniPath(record->DefaultIniName, sizeof record->DefaultIniName)
                                     : std::u16string());
}

class SettingsDirTest : public ::testing::Test {
protected:
    void SetUp() override {
        configPath_ = fs::path(ModuleDirectory()) / "config.ini";
        ASSERT_FALSE(fs::exists(configPath_)) << "left over: " << configPath_.string();
        SettingsDir.clear();
        savedCwd_ = fs::current_path();
        fs::current_path(scratch_.Path());  // relative settings directories land here
    }
    void TearDown() override {
        fs::current_path(savedCwd_);
        std::error_code ignored;
        fs::remove(configPath_, ignored);
        test::SetEnv("COMMANDER_PATH", nullptr);
        SettingsDir.clear();
    }
    void Config(const std::string& text) { test::WriteText(configPath_, text); }
    std::u16string Dir(const std::string& relative) const { return scratch_.Name(relative) + kSep; }

    TScratchDir scratch_;
    fs::path configPath_;
    fs::path savedCwd_;
};

TEST_F(SettingsDirTest, NoConfigTakesTheHostsDirectoryAndCreatesIt) {
    const lister::TDefaultParams record = HostRecord(scratch_.Name("fm/sub/plugins.ini"));
    SetDefaultParams(&record);
    EXPECT_EQ(SettingsDir, Dir("fm/sub"));
    EXPECT_TRUE(fs::is_directory(scratch_.Path() / "fm" / "sub"));
}

TEST_F(SettingsDirTest, DirTypeOneIsTheModuleDirectory) {
    Config("[MAIN]\r\nDIRTYPE=1\r\n");
    const lister::TDefaultParams record = HostRecord(scratch_.Name("fm/plugins.ini"));
    SetDefaultParams(&record);
    EXPECT_EQ(SettingsDir, ModuleDirectory());
    EXPECT_FALSE(fs::exists(scratch_.Path() / "fm"));
}

TEST_F(SettingsDirTest, DirTypeTwoExpandsTheDefaultDirectory) {
    Config("[main]\r\ndirtype=  2\r\n");
    test::SetEnv("COMMANDER_PATH", Utf16ToUtf8(scratch_.Name("commander")).c_str());
    SetDefaultParams(nullptr);
    EXPECT_EQ(SettingsDir, Dir("commander/TEMP"));
    EXPECT_TRUE(fs::is_directory(scratch_.Path() / "commander" / "TEMP"));
}

#if defined(_WIN32)
TEST_F(SettingsDirTest, DirTypeTwoWithoutTheVariableKeepsTheReference) {
    Config("[MAIN]\r\nDIRTYPE=$2\r\n");
    SetDefaultParams(nullptr);
    EXPECT_EQ(SettingsDir, u"%COMMANDER_PATH%" + kSep + u"TEMP" + kSep);
    EXPECT_TRUE(fs::is_directory(scratch_.Path() / "%COMMANDER_PATH%" / "TEMP"));  // relative to the current directory
}
#endif

TEST_F(SettingsDirTest, DirTypeTwoWithDefaultDir) {
    test::SetEnv("PAGELET_TEST_ROOT", Utf16ToUtf8(scratch_.Name("root")).c_str());
    Config("[MAIN]\r\nDIRTYPE=2\r\nDEFAULTDIR=\"%PAGELET_TEST_ROOT%" + Utf16ToUtf8(kSep) + "a" + Utf16ToUtf8(kSep) +
           "b" + Utf16ToUtf8(kSep) + "\"\r\n");
    SetDefaultParams(nullptr);
    test::SetEnv("PAGELET_TEST_ROOT", nullptr);
    EXPECT_EQ(SettingsDir, Dir("root/a/b"));  // no second separator
    EXPECT_TRUE(fs::is_directory(scratch_.Path() / "root" / "a" / "b"));
}

TEST_F(SettingsDirTest, OtherDirTypesKeepThePreviousDirectory) {
    const lister::TDefaultParams record = HostRecord(scratch_.Name("first/plugins.ini"));
    const lister::TDefaultParams other = HostRecord(scratch_.Name("second/plugins.ini"));
    for (const char* dirType : {"3", "-1"}) {
        SCOPED_TRACE(dirType);
        SettingsDir.clear();
        Config(std::string("[MAIN]\r\nDIRTYPE=") + dirType + "\r\n");
        SetDefaultParams(&record);  // first call: no directory (Linux: the plug-in's)
        EXPECT_EQ(SettingsDir, kNoDirectory);

        fs::remove(configPath_);
        SetDefaultParams(&record);
        fs::remove_all(scratch_.Path() / "first");
        Config(std::string("[MAIN]\r\nDIRTYPE=") + dirType + "\r\n");
        SetDefaultParams(&other);
        EXPECT_EQ(SettingsDir, Dir("first"));
        EXPECT_TRUE(fs::is_directory(scratch_.Path() / "first"));  // made again
        EXPECT_FALSE(fs::exists(scratch_.Path() / "second"));
    }
}

TEST_F(SettingsDirTest, DirTypeThatIsNoNumberMeansHostsDirectory) {
    Config("[MAIN]\r\nDIRTYPE=abc\r\n");
    const lister::TDefaultParams record = HostRecord(scratch_.Name("fm/plugins.ini"));
    SetDefaultParams(&record);
    EXPECT_EQ(SettingsDir, Dir("fm"));
}

TEST_F(SettingsDirTest, HostPathWithoutDirectoryGivesNoDirectory) {
    SettingsDir = u"previous" + kSep;
    const lister::TDefaultParams record = HostRecord(u"plugins.ini");
    SetDefaultParams(&record);
    EXPECT_EQ(SettingsDir, kNoDirectory);
    EXPECT_TRUE(fs::is_empty(scratch_.Path()));
    SetDefaultParams(nullptr);  // no record at all: the same
    EXPECT_EQ(SettingsDir, kNoDirectory);
}

#if !defined(_WIN32)
// Linux has no Windows directory for a bare name: wherever no usable
// directory comes out, the settings live in the plug-in's own directory (as
// with DIRTYPE 1), and nothing is read from or made in the host's current
// directory, which here holds a Pagelet.ini that must not be read.
TEST_F(SettingsDirTest, NoDirectoryIsTakenFromTheCurrentDirectory) {
    struct TCase {
        const char* Title;
        const char* Config;    // nullptr: no config.ini
        const char* HostPath;  // nullptr: no record
    };
    const std::vector<TCase> cases = {
        {"INI name without a folder", nullptr, "plugins.ini"},
        {"INI name with a relative folder", nullptr, "fm/plugins.ini"},
        {"no record", nullptr, nullptr},
        {"unknown DIRTYPE on the first call", "[MAIN]\nDIRTYPE=7\n", "plugins.ini"},
        {"DIRTYPE 2 and COMMANDER_PATH not set", "[MAIN]\nDIRTYPE=2\n", nullptr},
        {"unset variable inside an absolute DEFAULTDIR", "[MAIN]\nDIRTYPE=2\nDEFAULTDIR=/tmp/%PAGELET_TEST_UNSET%/x\n",
         nullptr},
        {"relative DEFAULTDIR", "[MAIN]\nDIRTYPE=2\nDEFAULTDIR=fm/settings\n", nullptr},
    };
    test::SetEnv("PAGELET_TEST_UNSET", nullptr);
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Title);
        SettingsDir.clear();
        fs::remove(configPath_);
        if (c.Config) Config(c.Config);
        test::WriteText(scratch_.Path() / "Pagelet.ini", "[Options]\nCP=866\n");
        if (c.HostPath) {
            const lister::TDefaultParams record = HostRecord(AsciiToUtf16(c.HostPath));
            SetDefaultParams(&record);
        } else {
            SetDefaultParams(nullptr);
        }
        EXPECT_EQ(SettingsDir, ModuleDirectory());
        EXPECT_EQ(SettingsFilePath(), ModuleDirectory() + u"Pagelet.ini");
        EXPECT_EQ(ReadIntSetting(kCP, SettingsFilePath()), 1251);
        EXPECT_EQ(FolderEntries(scratch_.Path()), std::vector<std::string>{"Pagelet.ini"});
    }
}

TEST_F(SettingsDirTest, HostThatNeverSetsTheDirectoryGetsThePluginsDirectory) {
    EXPECT_EQ(SettingsDirectory(), ModuleDirectory());
    EXPECT_EQ(SettingsFilePath(), ModuleDirectory() + u"Pagelet.ini");
}

TEST_F(SettingsDirTest, ConfigThatIsAFifoDoesNotHoldTheCall) {
    ASSERT_EQ(mkfifo(configPath_.c_str(), 0600), 0);
    const lister::TDefaultParams record = HostRecord(scratch_.Name("fm/plugins.ini"));
    SetDefaultParams(&record);  // read as no config.ini: rule 0
    EXPECT_EQ(SettingsDir, Dir("fm"));
}
#endif

TEST(Locations, HostIniPathEndsAtTheNulOrTheFieldsEnd) {
    // 260 bytes without a NUL, followed in memory by more text: only the
    // field counts.
    const std::string full = std::string(259, 'x') + "y" + "after";
    EXPECT_EQ(HostIniPath(full.data(), 260), std::u16string(259, u'x') + u"y");
    // A longer field (a host whose record says so) is read to its NUL.
    const std::string longName = "/" + std::string(400, 'd') + "/wlx.ini";
    std::string field(32000, '\0');
    longName.copy(field.data(), longName.size());
    EXPECT_EQ(HostIniPath(field.data(), field.size()), AsciiToUtf16(longName));
    EXPECT_EQ(HostIniPath(nullptr, 260), u"");
    // The field's size follows the record's: 260 for the Windows record (or
    // a Size that says less), Size - 12 for a longer one, 32,000 at most.
    for (auto [size, field] : std::vector<std::pair<int32_t, size_t>>{
             {272, 260}, {0, 260}, {-5, 260}, {100, 260}, {32012, 32000}, {1000, 988}, {1 << 30, 32000}})
        EXPECT_EQ(IniNameFieldSize(size), field) << size;
#if !defined(_WIN32)
    // Linux hosts give UTF-8.
    const std::string utf8 = "/home/\xC3\xBC/\xD0\xB6\xD1\x83\xD0\xBA.ini";
    EXPECT_EQ(HostIniPath(utf8.c_str(), 260), u"/home/ü/жук.ini");
#endif
}

TEST(Locations, ExpandEnvironment) {
    test::SetEnv("PAGELET_TEST_A", "alpha");
    test::SetEnv("PAGELET_TEST_UNSET", nullptr);
    EXPECT_EQ(ExpandEnvironment(u"%PAGELET_TEST_A%\\x"), u"alpha\\x");
    EXPECT_EQ(ExpandEnvironment(u"a%PAGELET_TEST_UNSET%b"), u"a%PAGELET_TEST_UNSET%b");
    // An undefined reference is passed over whole, closing '%' included.
    EXPECT_EQ(ExpandEnvironment(u"%PAGELET_TEST_UNSET%PAGELET_TEST_A%"), u"%PAGELET_TEST_UNSET%PAGELET_TEST_A%");
    EXPECT_EQ(ExpandEnvironment(u"50% of %PAGELET_TEST_A%"), u"50% of %PAGELET_TEST_A%");
    EXPECT_EQ(ExpandEnvironment(u"%PAGELET_TEST_A%%PAGELET_TEST_A%"), u"alphaalpha");
    EXPECT_EQ(ExpandEnvironment(u"%PAGELET_TEST_A"), u"%PAGELET_TEST_A");
    EXPECT_EQ(ExpandEnvironment(u""), u"");
    test::SetEnv("PAGELET_TEST_A", nullptr);
}

TEST(Locations, TempDirectoryAndNames) {
    SettingsModuleInit();
    EXPECT_EQ(TempDir, GetTempDirectory());
    ASSERT_FALSE(TempDir.empty());
    EXPECT_EQ(TempDir.back(), kDirectorySeparator);
    EXPECT_TRUE(fs::is_directory(fs::path(TempDir)));

    std::set<std::u16string> names;
    for (int i = 0; i < 50; ++i) {
        const std::u16string name = MakeTempFileName();
        ASSERT_EQ(name.size(), TempDir.size() + 12);
        EXPECT_EQ(name.substr(0, TempDir.size()), TempDir);
        const std::u16string digits = name.substr(TempDir.size(), 8);
        EXPECT_TRUE(digits[0] >= u'0' && digits[0] <= u'7') << Utf16ToUtf8(digits);
        for (const char16_t c : digits) EXPECT_TRUE((c >= u'0' && c <= u'9') || (c >= u'A' && c <= u'F'));
        EXPECT_EQ(name.substr(TempDir.size() + 8), u".$$$");
        EXPECT_FALSE(fs::exists(fs::path(name)));
        names.insert(name);
    }
    EXPECT_GT(names.size(), 45u);
    SettingsModuleDone();
    EXPECT_TRUE(TempDir.empty());
}

}  // namespace
}  // namespace pagelet
