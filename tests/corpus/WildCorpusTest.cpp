// Files named .doc that are no Word binary documents (../shared/corpus/wild:
// NAME.FORMAT.doc, an office suite's save of corpus/docs/NAME.doc in another
// format Word opens) read as the viewer reads them, against the suite's own
// plain-text export of the original (wild/expected/NAME.txt), word by word.
// Skipped without the corpus.

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "common/Utf.h"
#include "loading/Loaders.h"
#include "support/WordRecall.h"

namespace pagelet {
namespace {

// The formats read; a file of another format is left out.
const std::set<std::string> kFormats = {"rtf", "html", "xml", "docx"};

// Where a file and the reference part ways, the reference is read as the
// file holds it: `shown` stands for `reference` (empty: left out), and
// `reference` must not show when `absent` says so.
struct TReferenceGap {
    const char* file;
    const char* reference;
    const char* shown;
    bool absent;
};
const TReferenceGap kGaps[] = {
    // A tracked deletion: the suite's export shows it, the readers leave it
    // out as Word does (the suite's web page and Word 2003 XML hold it as
    // ordinary text).
    {"nwe-test01.docx.doc", "This text has been deleted, \u273B""and should not be included", "", true},
    {"nwe-test01.rtf.doc", "This text has been deleted, \u273B""and should not be included", "", true},
    // The suite wrote this file without the endnote (nor its reference "i").
    {"poi-endingnote.xml.doc", "texti", "text", false},
};

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
        std::string reference = ReadFile(wild / "expected" / (stem.stem().string() + ".txt"));
        const TReferenceGap* gap = nullptr;
        for (const TReferenceGap& g : kGaps) {
            const size_t at = reference.find(g.reference);
            if (file == g.file && at != std::string::npos) {
                reference.replace(at, std::strlen(g.reference), g.shown);
                gap = &g;
            }
        }
        for (const bool reading : {true, false}) {
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
            if (gap != nullptr && gap->absent) {
                EXPECT_EQ(Utf16ToUtf8(text).find(gap->reference), std::string::npos);
            }
        }
        ++read;
    }
    if (read == 0) GTEST_SKIP() << "no reader for the formats in " << wild;
}

}  // namespace
}  // namespace pagelet
