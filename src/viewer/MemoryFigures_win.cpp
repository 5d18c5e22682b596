#include "viewer/MemoryFigures.h"

#include <windows.h>
// GetProcessMemoryInfo from kernel32 itself (K32GetProcessMemoryInfo), not psapi.dll.
#ifndef PSAPI_VERSION
#define PSAPI_VERSION 2
#endif
#include <psapi.h>

#include <algorithm>
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
    // What the process has committed lies in its address space too. The
    // free figure alone misses small allocations where the heap reserved
    // its space in large pieces beforehand (a 64-bit process under Wine: the
    // widget's many small blocks left it where it was).
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof(counters);
    if (!GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof(counters))) counters.PagefileUsage = 0;
    const uint64_t committed = counters.PagefileUsage;
    if (const uint64_t size = ScriptedAddressSpace(); size != 0) figures.TotalAddressSpace = size;
    const uint64_t freeOfCommitted = figures.TotalAddressSpace > committed ? figures.TotalAddressSpace - committed : 0;
    figures.FreeAddressSpace = std::min(figures.FreeAddressSpace, freeOfCommitted);
    return figures;
}

}  // namespace pagelet
