// libFuzzer targets: the Word 2007+ package reader (zip or flat package:
// fuzz_opc) and the Word 2003 XML reader (fuzz_wordxml) on arbitrary bytes,
// through the text assembler. Only EPagelet may come out.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "FuzzReader.h"
#include "loading/WordMl.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    pagelet::fuzz::ReadThrough(
        [&] {
            std::vector<uint8_t> bytes(data, data + size);
#ifdef PAGELET_FUZZ_OPC
            return pagelet::WordPackageReader(std::move(bytes));
#else
            return pagelet::WordXmlReader(std::move(bytes));
#endif
        },
        pagelet::fuzz::SettingsFor(size).limit);
    return 0;
}
