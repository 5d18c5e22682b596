#include "Console.h"

#include <windows.h>
#include <shellapi.h>
#include <fcntl.h>
#include <io.h>

#include <cstdio>

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

}  // namespace pagelet
