// The reading layout of a few corpus documents against text checked by eye
// (tests/reading/expected/*.txt, UTF-8 with LF line ends): a table, fields,
// lists, notes and Cyrillic Word 6/95 text. Skipped without the corpus.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "common/Utf.h"
#include "converter/WordConverter.h"
#include "loading/ReadingLayout.h"

namespace pagelet {
namespace {

std::string ReadFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

TEST(ReadingCorpus, MatchesCheckedText) {
    const std::filesystem::path corpus = std::filesystem::path(PAGELET_CORPUS_DIR) / "docs";
    if (!std::filesystem::is_directory(corpus)) GTEST_SKIP() << "no corpus at " << corpus;
    const std::filesystem::path expected = std::filesystem::path(PAGELET_SOURCE_DIR) / "tests/reading/expected";
    int compared = 0;
    for (const auto& entry : std::filesystem::directory_iterator(expected)) {
        if (entry.path().extension() != ".txt") continue;
        const std::string name = entry.path().stem().string();  // the document's file name
        SCOPED_TRACE(name);
        TWordConverter converter;
        UseReadingLayout(converter, true);
        const std::u16string text = converter.LoadText(Utf8ToUtf16((corpus / name).string()), false, 0, false);
        EXPECT_EQ(Utf16ToUtf8(text), ReadFile(entry.path()));
        ++compared;
    }
    EXPECT_GE(compared, 5);
}

}  // namespace
}  // namespace pagelet
