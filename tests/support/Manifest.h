#pragma once

// The corpus manifest (manifest.tsv): one row a document and reading, four
// columns separated by tabs (file, options, outcome, expected), '#' lines
// and empty lines aside.

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace pagelet::test {

struct TManifestRow {
    int Line = 0;          // in manifest.tsv, from 1
    int Columns = 0;       // how many the line has (four when it is sound)
    std::string File;      // relative to the corpus folder, with '/'
    std::string Options;   // "Printable=0 ForceCP=1 CP=1251"
    std::string Outcome;   // text, empty, error or any
    std::string Expected;  // the expected text's file in expected/

    // A text read with the default options, as the viewer shows a document.
    bool IsDefaultText() const { return Outcome == "text" && Options == "Printable=0 ForceCP=0"; }
};

// The rows of corpusDir/manifest.tsv; nothing when there is no such file.
std::optional<std::vector<TManifestRow>> ReadManifest(const std::filesystem::path& corpusDir);

}  // namespace pagelet::test
