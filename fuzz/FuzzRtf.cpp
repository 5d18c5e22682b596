// libFuzzer target: the RTF reader and the text assembler on arbitrary
// bytes (those that begin as RTF does get past the format test; the seeds
// do). Only EPagelet may come out.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "FuzzReader.h"
#include "loading/RtfReader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const auto& s = pagelet::fuzz::SettingsFor(size);
    pagelet::fuzz::ReadThrough(
        [&] { return pagelet::OpenRtfReader(std::vector<uint8_t>(data, data + size), s.cp, s.forceCP); }, s.limit);
    return 0;
}
