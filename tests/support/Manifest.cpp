#include "support/Manifest.h"

#include <fstream>
#include <sstream>

namespace pagelet::test {

std::optional<std::vector<TManifestRow>> ReadManifest(const std::filesystem::path& corpusDir) {
    std::ifstream in(corpusDir / "manifest.tsv", std::ios::binary);
    if (!in) return std::nullopt;
    std::vector<TManifestRow> rows;
    std::string line;
    for (int number = 1; std::getline(in, line); ++number) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty() || line[0] == '#') continue;
        TManifestRow row;
        row.Line = number;
        std::istringstream cols(line);
        for (std::string* column : {&row.File, &row.Options, &row.Outcome, &row.Expected}) {
            if (!std::getline(cols, *column, '\t')) break;
            ++row.Columns;
        }
        for (std::string rest; std::getline(cols, rest, '\t');) ++row.Columns;
        rows.push_back(row);
    }
    return rows;
}

}  // namespace pagelet::test
