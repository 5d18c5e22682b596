// Word recall and precision of extracted texts against references (an
// office suite's plain-text export of the same documents), by the measure of
// tests/support/WordRecall.h. For bench-reading-recall.sh:
//
//   reading-recall NAME REFERENCE LAYOUT RAW [NAME REFERENCE LAYOUT RAW ...]
//
// REFERENCE, LAYOUT (pagelet-cat's reading layout) and RAW (pagelet-cat --raw)
// are UTF-8 files. Prints a Markdown table a document a row, then the mean
// and the median of each column. The layout's main text is its text up to
// its first story heading line ("--- Footnotes ---" and the like): the
// export holds no notes, headers or footers, so precision is fair only
// there. The raw text has no headings: its whole text counts.

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "support/WordRecall.h"

namespace {

std::string ReadFile(const char* path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// The text before the first line that heads a story after the main text.
std::string_view MainText(std::string_view text) {
    static const char* const kHeadings[] = {"--- Footnotes ---", "--- Endnotes ---", "--- Comments ---",
                                            "--- Text boxes ---", "--- Headers and footers ---"};
    size_t line = 0;
    while (line < text.size()) {
        size_t end = text.find('\n', line);
        if (end == std::string_view::npos) end = text.size();
        const std::string_view s = text.substr(line, end - line);
        for (const char* heading : kHeadings)
            if (s == heading) return text.substr(0, line);
        line = end + 1;
    }
    return text;
}

double Mean(const std::vector<double>& v) {
    double sum = 0;
    for (double x : v) sum += x;
    return v.empty() ? 0 : sum / static_cast<double>(v.size());
}

double Median(std::vector<double> v) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    return n % 2 == 1 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 5 || (argc - 1) % 4 != 0) {
        std::fprintf(stderr, "usage: reading-recall NAME REFERENCE LAYOUT RAW [...]\n");
        return 2;
    }
    using pagelet::test::MatchWords;
    using pagelet::test::WordsOfUtf8;
    // Columns: layout recall, precision, main-text precision; raw recall, precision.
    std::vector<double> columns[5];
    std::printf("| document | words | layout recall | layout precision | layout main-text precision | raw recall | "
                "raw precision |\n|---|---:|---:|---:|---:|---:|---:|\n");
    for (int i = 1; i + 3 < argc; i += 4) {
        const auto reference = WordsOfUtf8(ReadFile(argv[i + 1]));
        const std::string layout = ReadFile(argv[i + 2]);
        const auto whole = MatchWords(reference, WordsOfUtf8(layout));
        const auto main = MatchWords(reference, WordsOfUtf8(MainText(layout)));
        const auto raw = MatchWords(reference, WordsOfUtf8(ReadFile(argv[i + 3])));
        const double row[5] = {whole.Recall(), whole.Precision(), main.Precision(), raw.Recall(), raw.Precision()};
        std::printf("| %s | %zu |", argv[i], reference.size());
        for (int k = 0; k < 5; ++k) {
            columns[k].push_back(row[k]);
            std::printf(" %.3f |", row[k]);
        }
        std::printf("\n");
    }
    std::printf("| **mean** (%zu documents) | |", columns[0].size());
    for (const auto& column : columns) std::printf(" %.3f |", Mean(column));
    std::printf("\n| **median** | |");
    for (const auto& column : columns) std::printf(" %.3f |", Median(column));
    std::printf("\n");
    return 0;
}
