// libFuzzer target: the whole converter on arbitrary bytes, written to a file
// first because the converter takes a file name. Only EPagelet may come out.

#include <cstddef>
#include <cstdint>
#include <string>

#include "FuzzInput.h"
#include "common/Error.h"
#include "common/Utf.h"
#include "converter/WordConverter.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string path = pagelet::fuzz::WriteInput("pagelet-fuzz", data, size);
    if (path.empty()) return 0;

    // The settings vary with the input so that every road is taken.
    static const struct {
        bool printable;
        int32_t cp;
        bool forceCP;
    } kSettings[] = {{false, 1251, false}, {true, 1252, true}, {false, 65001, true}, {true, 932, true}};
    const auto& s = kSettings[size % 4];
    try {
        pagelet::TWordConverter().LoadText(pagelet::Utf8ToUtf16(path), s.printable, s.cp, s.forceCP);
    } catch (const pagelet::EPagelet&) {}
    return 0;
}
