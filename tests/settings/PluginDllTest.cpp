// The built plug-in DLL as a host sees it: its export table, and
// ListSetDefaultParams called through LoadLibrary and GetProcAddress.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "common/ByteReader.h"
#include "plugin/ListerApi.h"
#include "support/WinHarness.h"
#include "settings/ScratchDir.h"

namespace pagelet {
namespace {

namespace fs = std::filesystem;

// Every function the plug-in exports, under its undecorated name: the list
// of the host interface.
#define PAGELET_EXPORT_NAME(name) #name,
const std::set<std::string> kExpectedExports = {PAGELET_LISTER_EXPORTS(PAGELET_EXPORT_NAME)};
#undef PAGELET_EXPORT_NAME

const fs::path kPluginFile(test::BuiltPluginPath());

std::vector<uint8_t> ReadAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// The names in the export directory of a PE image file:
// DOS header (e_lfanew at 0x3C) -> "PE\0\0" -> COFF header -> optional header
// (PE32 or PE32+) -> data directory 0 -> export directory -> name pointer table.
std::set<std::string> ExportNames(const std::vector<uint8_t>& image) {
    TByteReader reader(image.data(), image.size());
    uint32_t peOffset = 0, signature = 0;
    EXPECT_TRUE(reader.PeekAt(0x3C, peOffset));
    EXPECT_TRUE(reader.PeekAt(peOffset, signature));
    EXPECT_EQ(signature, 0x00004550u);
    uint16_t sectionCount = 0, optionalSize = 0, magic = 0;
    EXPECT_TRUE(reader.PeekAt(peOffset + 6, sectionCount));
    EXPECT_TRUE(reader.PeekAt(peOffset + 20, optionalSize));
    const uint64_t optional = peOffset + 24;
    EXPECT_TRUE(reader.PeekAt(optional, magic));
    const uint64_t dataDirectories = optional + (magic == 0x20B ? 112 : 96);
    uint32_t exportRva = 0;
    EXPECT_TRUE(reader.PeekAt(dataDirectories, exportRva));
    const uint64_t sections = optional + optionalSize;

    // An RVA to a file offset through the section table.
    auto fileOffset = [&](uint32_t rva) -> uint64_t {
        for (uint16_t i = 0; i < sectionCount; ++i) {
            const uint64_t header = sections + 40ull * i;
            uint32_t virtualSize = 0, virtualAddress = 0, rawSize = 0, rawPointer = 0;
            reader.PeekAt(header + 8, virtualSize);
            reader.PeekAt(header + 12, virtualAddress);
            reader.PeekAt(header + 16, rawSize);
            reader.PeekAt(header + 20, rawPointer);
            const uint32_t size = std::max(virtualSize, rawSize);
            if (rva >= virtualAddress && rva - virtualAddress < size) return rawPointer + (rva - virtualAddress);
        }
        ADD_FAILURE() << "RVA outside every section: " << rva;
        return image.size();
    };

    std::set<std::string> names;
    if (exportRva == 0) return names;
    const uint64_t directory = fileOffset(exportRva);
    uint32_t nameCount = 0, namesRva = 0;
    EXPECT_TRUE(reader.PeekAt(directory + 24, nameCount));
    EXPECT_TRUE(reader.PeekAt(directory + 32, namesRva));
    const uint64_t nameTable = fileOffset(namesRva);
    for (uint32_t i = 0; i < nameCount; ++i) {
        uint32_t nameRva = 0;
        EXPECT_TRUE(reader.PeekAt(nameTable + 4ull * i, nameRva));
        const uint64_t at = fileOffset(nameRva);
        std::string name;
        uint8_t c = 0;
        while (reader.PeekAt(at + name.size(), c) && c != 0) name += static_cast<char>(c);
        names.insert(name);
    }
    return names;
}

TEST(PluginDll, ExportsExactlyTheUndecoratedNames) {
    const std::vector<uint8_t> image = ReadAll(kPluginFile);
    ASSERT_GT(image.size(), 1024u) << kPluginFile.string();
    EXPECT_EQ(ExportNames(image), kExpectedExports);
}

// The version resource of a built binary, read back as a host's properties
// page reads it: the fixed part and the US-English Unicode strings.
struct TVersionInfo {
    std::string FileVersion, ProductVersion;  // of the fixed part, "a.b.c.d"
    std::map<std::string, std::string> Strings;
};

TVersionInfo ReadVersionInfo(const std::string& file) {
    TVersionInfo info;
    const std::wstring path = fs::path(file).wstring();
    DWORD handle = 0;
    const DWORD size = GetFileVersionInfoSizeW(path.c_str(), &handle);
    if (size == 0) {
        ADD_FAILURE() << "no version resource in " << file;
        return info;
    }
    std::vector<uint8_t> block(size);
    EXPECT_TRUE(GetFileVersionInfoW(path.c_str(), 0, size, block.data()));
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    if (VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&fixed), &length) && fixed) {
        EXPECT_EQ(fixed->dwSignature, 0xFEEF04BDu);
        auto dotted = [](DWORD ms, DWORD ls) {
            return std::to_string(HIWORD(ms)) + "." + std::to_string(LOWORD(ms)) + "." + std::to_string(HIWORD(ls)) +
                   "." + std::to_string(LOWORD(ls));
        };
        info.FileVersion = dotted(fixed->dwFileVersionMS, fixed->dwFileVersionLS);
        info.ProductVersion = dotted(fixed->dwProductVersionMS, fixed->dwProductVersionLS);
    }
    for (const char* name : {"FileDescription", "FileVersion", "ProductName", "ProductVersion", "OriginalFilename"}) {
        const std::wstring key = L"\\StringFileInfo\\040904B0\\" + fs::path(name).wstring();
        wchar_t* value = nullptr;
        if (VerQueryValueW(block.data(), key.c_str(), reinterpret_cast<void**>(&value), &length) && value)
            info.Strings[name] = fs::path(std::wstring(value)).string();
    }
    return info;
}

TEST(PluginDll, VersionResourcesCarryTheProjectVersion) {
    const std::string version = PAGELET_VERSION;  // the project's, from CMake
    for (const char* file : {PAGELET_PLUGIN_FILE, PAGELET_HOST_FILE}) {
        SCOPED_TRACE(file);
        TVersionInfo info = ReadVersionInfo(file);
        EXPECT_EQ(info.FileVersion, version + ".0");
        EXPECT_EQ(info.ProductVersion, version + ".0");
        EXPECT_EQ(info.Strings["FileVersion"], version);
        EXPECT_EQ(info.Strings["ProductVersion"], version);
        EXPECT_EQ(info.Strings["ProductName"], "Pagelet");
        EXPECT_EQ(info.Strings["OriginalFilename"], fs::path(file).filename().string());
        EXPECT_NE(info.Strings["FileDescription"].find("Pagelet"), std::string::npos);
    }
}

using TSetDefaultParams = lister::TListSetDefaultParams;

// A copy of the plug-in in its own directory, loaded as a host loads it.
class ListSetDefaultParamsTest : public ::testing::Test {
protected:
    void SetUp() override {
        pluginDir_ = scratch_.Path() / "plugins" / "pagelet";
        fs::create_directories(pluginDir_);
        pluginFile_ = pluginDir_ / kPluginFile.filename();
        fs::copy_file(kPluginFile, pluginFile_);
        savedCwd_ = fs::current_path();
        fs::current_path(scratch_.Path());
        SetEnvironmentVariableW(L"COMMANDER_PATH", nullptr);
    }
    void TearDown() override {
        Unload();
        fs::current_path(savedCwd_);
        SetEnvironmentVariableW(L"COMMANDER_PATH", nullptr);
    }

    TSetDefaultParams Load() {
        Unload();  // a fresh start: no settings directory yet
        std::string error;
        EXPECT_TRUE(plugin_.Load(pluginFile_.wstring(), error)) << error;
        return plugin_.ListSetDefaultParams;
    }
    void Unload() { plugin_.Free(); }
    void Config(const std::string& text) { test::WriteText(pluginDir_ / "config.ini", text); }
    void Call(TSetDefaultParams function, const std::string& hostIni) {
        lister::TDefaultParams record{};
        record.Size = sizeof record;
        record.PluginInterfaceVersionLow = 10;
        record.PluginInterfaceVersionHi = 2;
        std::strncpy(record.DefaultIniName, hostIni.c_str(), sizeof record.DefaultIniName - 1);
        function(&record);
    }
    std::string Native(const std::string& relative) const { return fs::path(scratch_.Name(relative)).string(); }

    test::TScratchDir scratch_;
    fs::path pluginDir_;
    fs::path pluginFile_;
    fs::path savedCwd_;
    test::TPluginDll plugin_;
};

TEST_F(ListSetDefaultParamsTest, EachDirType) {
    // No config.ini: the host's directory, parents included.
    TSetDefaultParams call = Load();
    ASSERT_NE(call, nullptr);
    Call(call, Native("host/a/b/wincmd.ini"));
    EXPECT_TRUE(fs::is_directory(scratch_.Path() / "host" / "a" / "b"));

    // DIRTYPE 3 and -1 keep the directory of the previous call: it is made again.
    for (const char* keep : {"3", "-1"}) {
        SCOPED_TRACE(keep);
        fs::remove_all(scratch_.Path() / "host");
        Config(std::string("[MAIN]\r\nDIRTYPE=") + keep + "\r\n");
        Call(call, Native("other/wincmd.ini"));
        EXPECT_TRUE(fs::is_directory(scratch_.Path() / "host" / "a" / "b"));
        EXPECT_FALSE(fs::exists(scratch_.Path() / "other"));
        fs::remove(pluginDir_ / "config.ini");
        Call(call, Native("host/a/b/wincmd.ini"));
    }

    // DIRTYPE 3 on the first call: nothing to make, nothing happens.
    Config("[MAIN]\r\nDIRTYPE=3\r\n");
    call = Load();
    ASSERT_NE(call, nullptr);
    Call(call, Native("first/wincmd.ini"));
    EXPECT_FALSE(fs::exists(scratch_.Path() / "first"));

    // DIRTYPE abc: the host's directory.
    Config("[MAIN]\r\nDIRTYPE=abc\r\n");
    call = Load();
    ASSERT_NE(call, nullptr);
    Call(call, Native("abc/wincmd.ini"));
    EXPECT_TRUE(fs::is_directory(scratch_.Path() / "abc"));

    // DIRTYPE 1: the plug-in's own directory, which exists; the host's is not made.
    Config("[MAIN]\r\nDIRTYPE=1\r\n");
    call = Load();
    ASSERT_NE(call, nullptr);
    Call(call, Native("one/wincmd.ini"));
    EXPECT_FALSE(fs::exists(scratch_.Path() / "one"));
}

TEST_F(ListSetDefaultParamsTest, DirTypeTwoWithAndWithoutCommanderPath) {
    Config("[MAIN]\r\nDIRTYPE=2\r\n");
    SetEnvironmentVariableW(L"COMMANDER_PATH", fs::path(scratch_.Name("fm")).wstring().c_str());
    TSetDefaultParams call = Load();
    ASSERT_NE(call, nullptr);
    Call(call, Native("host/wincmd.ini"));
    EXPECT_TRUE(fs::is_directory(scratch_.Path() / "fm" / "TEMP"));
    EXPECT_FALSE(fs::exists(scratch_.Path() / "host"));

    // Unset: the reference stays as written, relative to the current directory.
    SetEnvironmentVariableW(L"COMMANDER_PATH", nullptr);
    Call(call, Native("host/wincmd.ini"));
    EXPECT_TRUE(fs::is_directory(scratch_.Path() / "%COMMANDER_PATH%" / "TEMP"));

    Config("[MAIN]\r\nDIRTYPE=2\r\nDEFAULTDIR=" + Native("custom/dir") + "\r\n");
    Call(call, Native("host/wincmd.ini"));
    EXPECT_TRUE(fs::is_directory(scratch_.Path() / "custom" / "dir"));
}

TEST_F(ListSetDefaultParamsTest, HostPathWithoutDirectoryIsHarmless) {
    TSetDefaultParams call = Load();
    ASSERT_NE(call, nullptr);
    Call(call, "wincmd.ini");
    Call(call, "");
    std::set<std::string> entries;
    for (const auto& entry : fs::directory_iterator(scratch_.Path())) entries.insert(entry.path().filename().string());
    EXPECT_EQ(entries, std::set<std::string>{"plugins"});

    // A record filling all 260 bytes without a NUL.
    lister::TDefaultParams record{};
    const std::string dir = Native("full") + "\\";
    std::string name = dir + std::string(260 - dir.size(), 'x');
    std::memcpy(record.DefaultIniName, name.data(), 260);
    call(&record);
    EXPECT_TRUE(fs::is_directory(scratch_.Path() / "full"));
}

}  // namespace
}  // namespace pagelet
