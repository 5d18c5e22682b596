#include "settings/Locations.h"

#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <random>
#include <utility>
#include <vector>

#include "common/Utf.h"
#include "settings/IniFile.h"
#include "settings/Platform.h"
#include "settings/TextForms.h"

namespace pagelet {

std::u16string SettingsDir;

namespace {

// SettingsDir is written by ListSetDefaultParams on the host's UI thread and
// read by thumbnails on the host's worker threads: both go through this lock.
std::mutex& SettingsDirLock() {
    static std::mutex lock;
    return lock;
}

void PublishSettingsDir(std::u16string dir) {
    const std::lock_guard<std::mutex> guard(SettingsDirLock());
    SettingsDir = std::move(dir);
}

// dir, or where it cannot be the settings directory (Linux: empty or
// relative, so that it would name a place in the host's current directory),
// the plug-in's own directory, as DIRTYPE 1 gives; empty when even that is
// unknown.
std::u16string UsableOrModuleDirectory(std::u16string dir) {
    if (UsableSettingsDirectory(dir)) return dir;
    std::u16string moduleDir = ModuleDirectory();
    return UsableSettingsDirectory(moduleDir) ? moduleDir : std::u16string();
}

}  // namespace

std::u16string SettingsDirectory() {
    std::u16string dir;
    {
        const std::lock_guard<std::mutex> guard(SettingsDirLock());
        dir = SettingsDir;
    }
    // A host that never called ListSetDefaultParams.
    return UsableOrModuleDirectory(std::move(dir));
}
std::u16string TempDir;

namespace {

constexpr char16_t kConfigFileName[] = u"config.ini";
constexpr char16_t kConfigSection[] = u"MAIN";

std::mt19937& Generator() {
    static std::mt19937 generator;
    return generator;
}

// Everything up to and including the last directory separator; empty without one.
std::u16string DirectoryPart(const std::u16string& path) {
    const size_t last = path.find_last_of(kDirectorySeparators);
    return last == std::u16string::npos ? std::u16string() : path.substr(0, last + 1);
}

// Creates the directory and every missing parent, outermost first. An existing
// directory is success; an empty path fails; the result is not needed by callers.
bool CreateDirectoryWithParents(std::u16string path) {
    while (!path.empty() && path.back() == kDirectorySeparator) path.pop_back();
    if (path.empty()) return false;
    std::vector<std::u16string> missing;  // innermost first
    while (!DirectoryExists(path)) {
        missing.push_back(path);
        std::u16string parent = DirectoryPart(path);
        while (!parent.empty() && parent.back() == kDirectorySeparator) parent.pop_back();
        // A drive ("C:") or the root has no parent to create; a relative name
        // without a separator has the current directory as parent.
        if (parent.empty() || parent == path || parent.back() == u':') break;
        path = parent;
    }
    for (auto it = missing.rbegin(); it != missing.rend(); ++it) {
        if (!MakeDirectory(*it) && !DirectoryExists(*it)) return false;
    }
    return true;
}

}  // namespace

std::u16string HostTextToUtf16(const char* text, size_t size) { return DecodeHostText(text, size); }

std::u16string HostTextToUtf16(const char* text) {
    return text != nullptr ? DecodeHostText(text, std::strlen(text)) : std::u16string();
}

std::u16string HostIniPath(const char* field, size_t fieldSize) {
    if (field == nullptr) return std::u16string();
    const void* nul = std::memchr(field, 0, fieldSize);
    const size_t length = nul == nullptr ? fieldSize : static_cast<size_t>(static_cast<const char*>(nul) - field);
    return DecodeHostText(field, length);
}

size_t IniNameFieldSize(int32_t recordSize) {
    constexpr size_t kHead = 12;  // Size and the two version numbers
    constexpr size_t kShortField = 260;
    constexpr size_t kLongestField = 32000;
    if (recordSize <= 0 || static_cast<size_t>(recordSize) <= kHead + kShortField) return kShortField;
    return std::min(static_cast<size_t>(recordSize) - kHead, kLongestField);
}

void SetDefaultParams(const std::u16string& hostIniPath) {
    try {
        const std::u16string moduleDir = ModuleDirectory();
        const std::u16string configPath = moduleDir + kConfigFileName;
        const int32_t dirType = ReadIntText(ReadIniString(kConfigSection, u"DIRTYPE", u"0", configPath), 0);
        switch (dirType) {
        case 0:
            PublishSettingsDir(UsableOrModuleDirectory(DirectoryPart(hostIniPath)));
            break;
        case 1:
            PublishSettingsDir(UsableOrModuleDirectory(moduleDir));
            break;
        case 2: {
            const std::u16string defaultDir = std::u16string(u"%COMMANDER_PATH%") + kDirectorySeparator + u"TEMP";
            bool complete = true;
            std::u16string dir =
                ExpandDirectoryText(ReadIniString(kConfigSection, u"DEFAULTDIR", defaultDir, configPath), complete);
            if (dir.empty() || dir.back() != kDirectorySeparator) dir += kDirectorySeparator;
            // A variable that is not set leaves no directory, not one named
            // after the reference.
            if (!complete) dir.clear();
            PublishSettingsDir(UsableOrModuleDirectory(std::move(dir)));
            break;
        }
        default:
            // Keeps the previous value (where there is none, Linux takes the
            // plug-in's directory).
            PublishSettingsDir(SettingsDirectory());
            break;
        }
    } catch (...) {
        // every failure leaves the settings directory as it stands
    }
    try {
        CreateDirectoryWithParents(SettingsDirectory());
    } catch (...) {
        // a directory that cannot be made is not reported
    }
}

std::u16string MakeTempFileName() {
    std::uniform_int_distribution<uint32_t> range(0, 0x7FFFFFFE);
    char digits[16];
    std::snprintf(digits, sizeof digits, "%08X", static_cast<unsigned>(range(Generator())));
    return TempDir + AsciiToUtf16(digits) + u".$$$";
}

void SettingsModuleInit() {
    TempDir = GetTempDirectory();
    const uint64_t seed = ClockSeed();
    std::seed_seq seq{static_cast<uint32_t>(seed), static_cast<uint32_t>(seed >> 32)};
    Generator().seed(seq);
}

void SettingsModuleDone() {
    SettingsDir.clear();
    SettingsDir.shrink_to_fit();
    TempDir.clear();
    TempDir.shrink_to_fit();
}

}  // namespace pagelet
