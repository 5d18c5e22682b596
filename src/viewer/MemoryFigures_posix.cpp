#include "viewer/MemoryFigures.h"

#include <unistd.h>

#include <cstdio>

namespace pagelet {

// Linux has no figure of free address space that means anything for a
// 64-bit process: the address space is given as 128 TB with what the
// process holds in memory (its resident set) as used, so that the reserve
// never binds and the bound on one viewer's memory measures its growth.
TMemoryFigures ReadMemoryFigures() {
    const long pageSize = sysconf(_SC_PAGESIZE);
    const long pages = sysconf(_SC_PHYS_PAGES);
    if (pageSize <= 0 || pages <= 0) return {};
    unsigned long long size = 0, resident = 0;
    std::FILE* statm = std::fopen("/proc/self/statm", "r");
    if (statm == nullptr) return {};
    const int got = std::fscanf(statm, "%llu %llu", &size, &resident);
    std::fclose(statm);
    if (got != 2) return {};
    constexpr uint64_t kAddressSpace = 128ull << 40;
    const uint64_t used = static_cast<uint64_t>(resident) * static_cast<uint64_t>(pageSize);
    return {kAddressSpace, used < kAddressSpace ? kAddressSpace - used : 0,
            static_cast<uint64_t>(pages) * static_cast<uint64_t>(pageSize)};
}

}  // namespace pagelet
