#pragma once

// Platform seam of the settings module: files, directories, environment and
// clock (Platform_win.cpp, Platform_posix.cpp). Internal to settings/.

#include <cstddef>
#include <cstdint>
#include <string>

namespace pagelet {

// The characters that end the directory part of a path ("\" and ":" on
// Windows, "/" on Linux) and the one appended to a directory.
extern const char16_t* const kDirectorySeparators;
extern const char16_t kDirectorySeparator;

// Directory of the file of the module holding this code (the plug-in DLL, or
// the program it is linked into), with a trailing separator; empty when the
// platform cannot tell.
std::u16string ModuleDirectory();

// Whether dir may be the settings directory. Linux: only an absolute path, so
// that nothing is taken relative to the host's current directory. Windows:
// any text, the empty one included (the profile functions then use the
// Windows directory).
bool UsableSettingsDirectory(const std::u16string& dir);

// ExpandEnvironment for a directory named in config.ini; complete is false
// when a reference stayed unexpanded and the text is not the directory meant
// (Linux; on Windows the text is taken as the platform expands it, and
// complete is always true).
std::u16string ExpandDirectoryText(const std::u16string& text, bool& complete);

bool DirectoryExists(const std::u16string& path);
// Creates one directory whose parent exists; false on any failure.
bool MakeDirectory(const std::u16string& path);

// 8-bit text of the host: Windows: the system's ANSI code page; Linux: UTF-8.
std::u16string DecodeHostText(const char* text, size_t size);

// A seed for the random generator from the high-resolution counter (or the
// tick count when there is none).
uint64_t ClockSeed();

}  // namespace pagelet
