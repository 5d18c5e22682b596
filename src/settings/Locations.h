#pragma once

// Where settings and temporary files live, and the library's start and end.

#include <cstddef>
#include <cstdint>
#include <string>

namespace pagelet {

// Directory of "Pagelet.ini", with a trailing "\" except when empty.
// Written only by SetDefaultParams; read it from other threads (thumbnails)
// through SettingsDirectory.
extern std::u16string SettingsDir;
// A copy of SettingsDir, safe on any thread while SetDefaultParams changes it.
// Linux: never empty or relative; where SettingsDir is either (the host never
// called ListSetDefaultParams), the plug-in's own directory.
std::u16string SettingsDirectory();
// Directory for temporary files, with a trailing "\" (Linux: "/"); fixed at start.
extern std::u16string TempDir;

// The host's suggested INI path from the DefaultIniName field of its
// default-parameters record (plugin/ListerApi.h): 8-bit text ending at the
// first NUL or filling all fieldSize bytes; the host's 8-bit text (Windows:
// the system ANSI code page; Linux: UTF-8). Null gives the empty string.
std::u16string HostIniPath(const char* field, size_t fieldSize);
// The bytes of that field in a record whose Size the host gives: 260 in the
// Windows record (also for a smaller or bad Size), more when the host says
// its record is longer (Double Commander: 32,000), at most 32,000.
size_t IniNameFieldSize(int32_t recordSize);

// The host's 8-bit text (paths, the INI name) as UTF-16: Windows: the system
// ANSI code page; Linux: UTF-8.
std::u16string HostTextToUtf16(const char* text, size_t size);
std::u16string HostTextToUtf16(const char* text);

// The body of the ListSetDefaultParams export: fixes SettingsDir from
// config.ini beside the library and the host's suggested path, then creates
// the directory with its parents. Every failure is ignored. Linux takes no
// directory relative to the current one: a host path without an absolute
// folder, a DEFAULTDIR with a variable that is not set, or an unknown
// DIRTYPE with no earlier directory give the plug-in's own directory.
void SetDefaultParams(const std::u16string& hostIniPath);

std::u16string ExpandEnvironment(const std::u16string& text);
std::u16string GetTempDirectory();
// TempDir + eight upper-case hex digits (0..0x7FFFFFFE) + ".$$$"; creates nothing.
std::u16string MakeTempFileName();

// Library start and end: TempDir and the random seed; then released.
void SettingsModuleInit();
void SettingsModuleDone();

}  // namespace pagelet
