// INI files through the Windows profile functions.
#include "settings/IniFile.h"

#include <windows.h>

#include "common/Win32Text.h"

namespace pagelet {

namespace {
constexpr DWORD kValueBufferChars = 301;  // 300 characters and the NUL
}

std::u16string ReadIniString(const std::u16string& section, const std::u16string& key,
                             const std::u16string& defaultText, const std::u16string& fileName) {
    wchar_t buffer[kValueBufferChars] = {};
    const DWORD length = GetPrivateProfileStringW(WStr(section), WStr(key), WStr(defaultText), buffer,
                                                  kValueBufferChars, WStr(fileName));
    return FromW(buffer, length < kValueBufferChars ? length : kValueBufferChars - 1);
}

void WriteIniString(const std::u16string& section, const std::u16string& key, const std::u16string& value,
                    const std::u16string& fileName) {
    WritePrivateProfileStringW(WStr(section), WStr(key), WStr(value), WStr(fileName));
}

}  // namespace pagelet
