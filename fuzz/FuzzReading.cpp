// libFuzzer target: the reading layout on arbitrary bytes, written to a file
// first because the converter takes a file name. Only EPagelet may come out.

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "common/Error.h"
#include "common/Utf.h"
#include "converter/WordConverter.h"
#include "loading/ReadingLayout.h"

namespace {

std::string TempPath() {
    const char* dir = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : std::getenv("TMPDIR");
    return std::string(dir != nullptr ? dir : "/tmp") + "/pagelet-fuzz-reading-" + std::to_string(getpid()) + ".doc";
}

const std::string& Path() {
    static const std::string path = TempPath();
    static const bool cleanup = std::atexit([] { std::remove(Path().c_str()); }) == 0;
    (void)cleanup;
    return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FILE* f = std::fopen(Path().c_str(), "wb");
    if (f == nullptr) return 0;
    std::fwrite(data, 1, size, f);
    std::fclose(f);

    // The settings vary with the input so that every road is taken.
    static const struct {
        bool printable;
        int32_t cp;
        bool forceCP;
    } kSettings[] = {{false, 1251, false}, {true, 1252, true}, {false, 932, true}, {true, 0, false}};
    const auto& s = kSettings[size % 4];
    try {
        pagelet::TWordConverter converter;
        UseReadingLayout(converter, true);
        converter.LoadText(pagelet::Utf8ToUtf16(Path()), s.printable, s.cp, s.forceCP);
    } catch (const pagelet::EPagelet&) {}
    return 0;
}
