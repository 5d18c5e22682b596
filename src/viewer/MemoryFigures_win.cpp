#include "viewer/MemoryFigures.h"

#include <windows.h>

namespace pagelet {

TMemoryFigures ReadMemoryFigures() {
    MEMORYSTATUSEX status{};
    status.dwLength = sizeof(status);
    if (!GlobalMemoryStatusEx(&status)) return {};
    return {status.ullTotalVirtual, status.ullAvailVirtual, status.ullTotalPhys};
}

}  // namespace pagelet
