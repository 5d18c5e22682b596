// Time per MB of the reading layout on files named .doc in Word's XML
// formats: each file read through the reader registry and the text
// assembler (as the viewer and pagelet-cat's default make their text), a
// few times; prints the median wall time, ms per MB of the file and the
// code units made. Figures, not a pass/fail test.
//
//   bench-wordml [--runs N] FILE...

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "common/Error.h"
#include "common/Utf.h"
#include "loading/DocumentReader.h"
#include "loading/TextAssembler.h"

namespace {

class TCountingSink final : public pagelet::TTextSink {
public:
    void Append(std::u16string_view text) override { units += text.size(); }
    size_t units = 0;
};

}  // namespace

int main(int argc, char** argv) {
    int runs = 5;
    std::vector<std::string> files;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--runs") == 0 && i + 1 < argc) {
            runs = std::max(1, std::atoi(argv[++i]));
        } else {
            files.emplace_back(argv[i]);
        }
    }
    std::printf("| file | MB | median ms | ms/MB | code units |\n|---|---|---|---|---|\n");
    for (const std::string& file : files) {
        std::vector<double> times;
        size_t units = 0;
        try {
            for (int r = 0; r < runs; ++r) {
                const auto start = std::chrono::steady_clock::now();
                auto reader = pagelet::OpenDocumentReader(pagelet::Utf8ToUtf16(file), {});
                if (!reader) {
                    std::printf("| %s | no reader |\n", file.c_str());
                    break;
                }
                TCountingSink sink;
                const std::function<bool()> full = [] { return false; };
                pagelet::TTextAssembler out(sink, full);
                reader->Read(out);
                times.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
                units = sink.units;
            }
        } catch (const std::exception& e) {
            std::printf("| %s | error: %s |\n", file.c_str(), e.what());
            continue;
        }
        if (times.empty()) continue;
        std::sort(times.begin(), times.end());
        const double mb = static_cast<double>(std::filesystem::file_size(file)) / (1024.0 * 1024.0);
        const double median = times[times.size() / 2];
        std::printf("| %s | %.2f | %.1f | %.1f | %zu |\n", std::filesystem::path(file).filename().string().c_str(), mb,
                    median, median / mb, units);
    }
    return 0;
}
