// libFuzzer target: the text assembler through the Word reader on arbitrary
// bytes, written to a file first because the reader registry opens files by
// name. Only EPagelet may come out; a document the reader cannot lay out
// (Fallback) stops there, the converter's text being fuzz_converter's.

#include <cstddef>
#include <cstdint>
#include <string>

#include "FuzzInput.h"
#include "FuzzReader.h"
#include "common/Utf.h"
#include "loading/DocumentReader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string path = pagelet::fuzz::WriteInput("pagelet-fuzz-reading", data, size);
    if (path.empty()) return 0;
    const auto& s = pagelet::fuzz::SettingsFor(size);
    pagelet::fuzz::ReadThrough(
        [&] { return pagelet::OpenDocumentReader(pagelet::Utf8ToUtf16(path), {s.cp, s.forceCP}); }, s.limit);
    return 0;
}
