// Files named .doc that are no Word binary documents (../shared/corpus/wild:
// NAME.FORMAT.doc, an office suite's save of corpus/docs/NAME.doc in another
// format Word opens) read as the viewer reads them, against the suite's own
// plain-text export of the original (wild/expected/NAME.txt), word by word.
// Skipped without the corpus.

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>

#include "common/Utf.h"
#include "loading/Loaders.h"
#include "support/WordRecall.h"

namespace pagelet {
namespace {

// The formats read; a file of another format is left out.
const std::set<std::string> kFormats = {"xml", "docx"};

std::string ReadFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

TEST(WildCorpus, EachFormatHoldsTheDocumentsWords) {
    const std::filesystem::path wild = std::filesystem::path(PAGELET_CORPUS_DIR) / "wild";
    if (!std::filesystem::is_directory(wild)) GTEST_SKIP() << "no corpus at " << wild;
    int read = 0;
    for (const auto& entry : std::filesystem::directory_iterator(wild)) {
        const std::string file = entry.path().filename().string();
        // NAME.FORMAT.doc
        const std::filesystem::path stem = entry.path().stem();
        if (entry.path().extension() != ".doc" || !stem.has_extension()) continue;
        const std::string format = stem.extension().string().substr(1);
        if (!kFormats.count(format)) continue;
        const std::string reference = ReadFile(wild / "expected" / (stem.stem().string() + ".txt"));
        for (const bool reading : {true}) {
            SCOPED_TRACE(file + (reading ? " (reading layout)" : " (raw)"));
            TLoadSettings settings;
            settings.ReadingLayout = reading;
            settings.CP = 1252;
            auto document = OpenDocument(Utf8ToUtf16(entry.path().string()), settings);
            ASSERT_TRUE(document.has_value());
            const std::u16string text = ReadWholeText(std::move(*document));
            const test::TWordMatch match = test::MatchWords(reference, text);
            std::printf("%-40s %-8s recall %.3f precision %.3f (%zu words)\n", file.c_str(),
                        reading ? "reading" : "raw", match.Recall(), match.Precision(), match.referenceWords);
            EXPECT_GE(match.Recall(), 0.95);
            EXPECT_EQ(test::FirstControl(text), -1);
        }
        ++read;
    }
    if (read == 0) GTEST_SKIP() << "no reader for the formats in " << wild;
}

}  // namespace
}  // namespace pagelet
