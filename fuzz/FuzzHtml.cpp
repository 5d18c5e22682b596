// libFuzzer target: the readers of web pages (HTML and MHTML) and of plain
// text on arbitrary bytes, straight from memory: the web page reader when it
// takes the bytes, else the text reader, as the registry asks them. Only
// EPagelet may come out.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "FuzzReader.h"
#include "loading/HtmlReader.h"
#include "loading/TextFileReader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const auto& s = pagelet::fuzz::SettingsFor(size);
    const pagelet::TReaderOptions options{s.cp, s.forceCP};
    pagelet::fuzz::ReadThrough(
        [&]() -> std::unique_ptr<pagelet::TDocumentReader> {
            auto reader = pagelet::OpenHtmlReader(std::vector<uint8_t>(data, data + size), options);
            if (!reader) reader = pagelet::OpenTextReader(std::vector<uint8_t>(data, data + size), options);
            return reader;
        },
        s.limit);
    return 0;
}
