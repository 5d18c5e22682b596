#pragma once

// Where settings and temporary files live, and the library's start and end.

#include <cstdint>
#include <string>

namespace pagelet {

// Directory of "Pagelet.ini", with a trailing "\" except when empty.
extern std::u16string SettingsDir;
// Directory for temporary files, with a trailing "\" (Linux: "/"); fixed at start.
extern std::u16string TempDir;

// The host's default-parameters record.
struct TListDefaultParam {
    int32_t Size;
    uint32_t PluginInterfaceVersionLow;
    uint32_t PluginInterfaceVersionHi;
    char DefaultIniName[260];  // system ANSI code page; NUL-terminated or filling all 260 bytes
};

// The body of the ListSetDefaultParams export: fixes SettingsDir from
// config.ini beside the library and the host's suggested path, then creates
// the directory with its parents. Every failure is ignored.
void SetDefaultParams(const TListDefaultParam* params);

std::u16string ExpandEnvironment(const std::u16string& text);
std::u16string GetTempDirectory();
// TempDir + eight upper-case hex digits (0..0x7FFFFFFE) + ".$$$"; creates nothing.
std::u16string MakeTempFileName();

// Library start and end: TempDir and the random seed; then released.
void SettingsModuleInit();
void SettingsModuleDone();

}  // namespace pagelet
