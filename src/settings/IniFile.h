#pragma once

// Platform seam: INI files.
// Windows: GetPrivateProfileStringW / WritePrivateProfileStringW (IniFile_win.cpp).
// Linux: the project's own reader and writer with the same key=value
// behaviour (IniFile_posix.cpp); it reads only regular files, at most 1 MB,
// without blocking, and writes by renaming a new file over the name.

#include <string>

namespace pagelet {

// The value of key in section of fileName, at most 300 characters; defaultText
// when the file, the section or the key is missing. Names are matched without
// regard to case; blanks around the value and one pair of enclosing quotes
// are dropped. Never fails.
std::u16string ReadIniString(const std::u16string& section, const std::u16string& key,
                             const std::u16string& defaultText, const std::u16string& fileName);

// Sets key in section, creating the file, the section and the key as needed
// and leaving every other line as it was. A failure is not reported.
void WriteIniString(const std::u16string& section, const std::u16string& key, const std::u16string& value,
                    const std::u16string& fileName);

}  // namespace pagelet
