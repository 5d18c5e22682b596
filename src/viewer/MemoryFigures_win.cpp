#include "viewer/MemoryFigures.h"

#include <windows.h>
// GetProcessMemoryInfo from kernel32 itself (K32GetProcessMemoryInfo), not psapi.dll.
#ifndef PSAPI_VERSION
#define PSAPI_VERSION 2
#endif
#include <psapi.h>

#include <cwchar>

namespace pagelet {

namespace {

// A test can make this process look like one with less address space, a
// 32-bit host's 2 GB on a 64-bit machine: PAGELET_TEST_ADDRESS_SPACE holds
// that size in bytes, and what the process has committed counts as used.
uint64_t ScriptedAddressSpace() {
    wchar_t text[32] = {};
    const DWORD n = GetEnvironmentVariableW(L"PAGELET_TEST_ADDRESS_SPACE", text, 32);
    if (n == 0 || n >= 32) return 0;
    return std::wcstoull(text, nullptr, 10);
}

}  // namespace

TMemoryFigures ReadMemoryFigures() {
    MEMORYSTATUSEX status{};
    status.dwLength = sizeof(status);
    if (!GlobalMemoryStatusEx(&status)) return {};
    TMemoryFigures figures{status.ullTotalVirtual, status.ullAvailVirtual, status.ullTotalPhys};
    if (const uint64_t size = ScriptedAddressSpace(); size != 0) {
        PROCESS_MEMORY_COUNTERS_EX counters{};
        counters.cb = sizeof(counters);
        if (GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters),
                                 sizeof(counters))) {
            const uint64_t used = counters.PrivateUsage;
            figures.TotalAddressSpace = size;
            figures.FreeAddressSpace = size > used ? size - used : 0;
        }
    }
    return figures;
}

}  // namespace pagelet
