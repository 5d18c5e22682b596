// Writes the hostile document shapes, at the sizes the benchmark measures,
// into a folder: make-hostile-docs FOLDER [SCALE]. SCALE (default 1)
// multiplies each shape's size; "seeds" writes small ones, the fuzz
// targets' seeds (fuzz/seeds/hostile-*.doc).

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "support/HostileDocs.h"

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: make-hostile-docs FOLDER [SCALE]\n");
        return 2;
    }
    const std::filesystem::path folder = argv[1];
    const bool seeds = argc > 2 && std::string(argv[2]) == "seeds";
    const size_t scale = argc > 2 && !seeds ? std::strtoul(argv[2], nullptr, 10) : 1;
    std::filesystem::create_directories(folder);
    auto write = [&](const pagelet::THostileDoc& doc, const std::string& suffix = {}) {
        std::ofstream out(folder / (doc.name + suffix + ".doc"), std::ios::binary);
        out.write(reinterpret_cast<const char*>(doc.bytes.data()), static_cast<std::streamsize>(doc.bytes.size()));
    };
    using namespace pagelet;
    if (seeds) {
        auto seed = [&](pagelet::THostileDoc doc) {
            doc.name = "hostile-" + doc.name;
            write(doc);
        };
        seed(StyleChainDoc(200, 2000));
        seed(StyleChainDoc(100, 1000, 300));
        seed(ListLabelDoc(300));
        seed(OverlappingRunsDoc(3));
        seed(SharedBlockDoc(32 * 1024));
        seed(DeepTableDoc());
        return 0;
    }
    write(StyleChainDoc(6000 * scale, 64000), "-200k");
    write(StyleChainDoc(140000 * scale, 64000), "-2m");
    write(StyleChainDoc(9000 * scale, 64000, 70000));
    write(ListLabelDoc(100000 * scale));
    write(OverlappingRunsDoc(20000 * scale));
    write(SharedBlockDoc(static_cast<uint32_t>(std::min<size_t>(16u << 20, (16u << 20) * scale))));
    write(DeepTableDoc());
    return 0;
}
