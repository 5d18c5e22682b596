// lister-host: a small Windows host that loads the Pagelet lister plug-in the
// way a file manager's lister does. See HostUsage() for the command line.
#include <windows.h>

#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <string>
#include <vector>

#include "HostOptions.h"
#include "HostOutput.h"
#include "ListerHost.h"

int wmain(int argc, wchar_t** argv) {
    using namespace pagelet;
    // UTF-8 bytes go out as they are: no LF to CR LF translation.
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
    try {
        const std::vector<std::wstring> args(argv + 1, argv + argc);
        THostOptions options;
        std::wstring error;
        if (!ParseHostOptions(args, options, error)) {
            WriteErrLine(L"lister-host: " + error);
            WriteErrLine(L"Try 'lister-host --help'.");
            return 2;
        }
        if (options.Help) {
            WriteOut(HostUsage());
            return 0;
        }
        return RunListerHost(options);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "lister-host: %s\n", e.what());
    } catch (...) {
        std::fprintf(stderr, "lister-host: unexpected failure\n");
    }
    return 2;
}
