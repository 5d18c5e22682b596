#include "settings/Platform.h"

#include <windows.h>

#include <vector>

#include "common/Win32Text.h"
#include "common/CodePage.h"
#include "settings/Locations.h"

namespace pagelet {

const char16_t* const kDirectorySeparators = u"\\:";
const char16_t kDirectorySeparator = u'\\';

std::u16string ModuleDirectory() {
    // The module that holds this function: the DLL when built into it.
    HMODULE module = nullptr;
    if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                            reinterpret_cast<LPCWSTR>(&ModuleDirectory), &module)) {
        return std::u16string();
    }
    std::vector<wchar_t> buffer(MAX_PATH + 1);
    for (;;) {
        const DWORD length = GetModuleFileNameW(module, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (length == 0) return std::u16string();
        if (length < buffer.size()) {
            const std::u16string path = FromW(buffer.data(), length);
            const size_t last = path.find_last_of(kDirectorySeparators);
            return last == std::u16string::npos ? std::u16string() : path.substr(0, last + 1);
        }
        if (buffer.size() >= 32768) return std::u16string();
        buffer.resize(buffer.size() * 2);  // the name was cut: try a larger buffer
    }
}

bool UsableSettingsDirectory(const std::u16string& /*dir*/) { return true; }

bool DirectoryExists(const std::u16string& path) {
    const DWORD attributes = GetFileAttributesW(WStr(path));
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool MakeDirectory(const std::u16string& path) { return CreateDirectoryW(WStr(path), nullptr) != 0; }

std::u16string DecodeHostText(const char* text, size_t size) {
    return PlatformDecode(SystemAnsiCodePage(), reinterpret_cast<const uint8_t*>(text), size, false)
        .value_or(std::u16string());
}

uint64_t ClockSeed() {
    LARGE_INTEGER counter;
    if (QueryPerformanceCounter(&counter) && counter.QuadPart != 0) return static_cast<uint64_t>(counter.QuadPart);
    return GetTickCount();
}

std::u16string ExpandEnvironment(const std::u16string& text) {
    const DWORD needed = ExpandEnvironmentStringsW(WStr(text), nullptr, 0);
    if (needed == 0) return std::u16string();
    std::vector<wchar_t> buffer(needed + 1, L'\0');
    if (ExpandEnvironmentStringsW(WStr(text), buffer.data(), needed) == 0) return std::u16string();
    return FromW(buffer.data());  // up to the first NUL
}

std::u16string ExpandDirectoryText(const std::u16string& text, bool& complete) {
    complete = true;
    return ExpandEnvironment(text);
}

std::u16string GetTempDirectory() {
    std::vector<wchar_t> buffer(261, L'\0');
    DWORD length = GetTempPathW(static_cast<DWORD>(buffer.size()), buffer.data());
    if (length >= buffer.size()) {
        // Longer than 260 characters: ask again with the size the platform named.
        buffer.assign(length + 1, L'\0');
        length = GetTempPathW(static_cast<DWORD>(buffer.size()), buffer.data());
        if (length >= buffer.size()) length = 0;
    }
    std::u16string dir = FromW(buffer.data(), length);
    dir = dir.substr(0, dir.find(u'\0'));
    if (dir.empty()) return dir;  // no temporary directory: names fall into the current directory
    if (dir.back() != u'\\') dir += u'\\';
    return dir;
}

}  // namespace pagelet
