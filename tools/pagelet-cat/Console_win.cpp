#include "Console.h"

#include <windows.h>
#include <shellapi.h>
#include <fcntl.h>
#include <io.h>

#include <cstdio>

#include "common/Handles.h"
#include "common/Win32Text.h"

namespace pagelet {

std::vector<std::u16string> CommandLineArguments(int, char**) {
    std::vector<std::u16string> args;
    int count = 0;
    LPWSTR* list = CommandLineToArgvW(GetCommandLineW(), &count);
    if (list == nullptr) return args;
    for (int i = 1; i < count; ++i) args.push_back(FromW(list[i]));
    LocalFree(list);
    return args;
}

void SetBinaryStdout() { _setmode(_fileno(stdout), _O_BINARY); }

std::u16string FileProblem(const std::u16string& file) {
    const DWORD attributes = GetFileAttributesW(WStr(file));
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return {};
    const TKernelHandle handle(CreateFileW(WStr(file), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (handle) return {};
    switch (GetLastError()) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME:
        return u"no such file";
    case ERROR_ACCESS_DENIED:
        return u"permission denied";
    case ERROR_SHARING_VIOLATION:
        return u"the file is in use by another program";
    case ERROR_FILENAME_EXCED_RANGE:
        return u"file name too long: longer than the system allows";
    default:
        return u"cannot open the file";
    }
}

}  // namespace pagelet
