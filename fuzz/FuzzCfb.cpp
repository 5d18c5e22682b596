// libFuzzer target: the compound file reader on arbitrary bytes. Only
// EPagelet may come out of it; anything else (a crash, a sanitizer report,
// another exception, a hang) is a finding.

#include <cstddef>
#include <cstdint>

#include "common/Error.h"
#include "converter/CfbReader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    try {
        pagelet::TCfbReader reader(std::span<const uint8_t>(data, size));
        for (const char16_t* name : {u"WordDocument", u"0Table", u"1Table"}) {
            try {
                reader.ReadStream(name);
            } catch (const pagelet::EPagelet&) {}
        }
    } catch (const pagelet::EPagelet&) {}
    return 0;
}
