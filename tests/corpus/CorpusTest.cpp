// Every row of the corpus manifest through TWordConverter::LoadText: real
// documents written by many programs, some damaged or encrypted. "text" rows
// give exactly the expected UTF-16 code units, "empty" rows the empty string,
// "error" rows an EPagelet, "any" rows one of the three but nothing else.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "common/Error.h"
#include "common/Utf.h"
#include "converter/WordConverter.h"
#include "support/Manifest.h"

namespace pagelet {
namespace {

struct TRow {
    int line = 0;
    std::string file;
    bool printable = false;
    bool forceCP = false;
    int32_t cp = 1251;
    std::string outcome;
    std::string expected;
};

std::filesystem::path CorpusDir() { return std::filesystem::path(PAGELET_CORPUS_DIR).make_preferred(); }

bool ReadFile(const std::filesystem::path& path, std::string& bytes) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    std::ostringstream s;
    s << in.rdbuf();
    bytes = s.str();
    return true;
}

std::vector<std::string> Split(const std::string& line, char sep) {
    std::vector<std::string> parts;
    std::string part;
    std::istringstream s(line);
    while (std::getline(s, part, sep)) parts.push_back(part);
    return parts;
}

// "Printable=0 ForceCP=1 CP=1251"
void ParseOptions(const std::string& options, TRow& row) {
    for (const std::string& option : Split(options, ' ')) {
        const auto eq = option.find('=');
        if (eq == std::string::npos) continue;
        const std::string key = option.substr(0, eq);
        const int value = std::stoi(option.substr(eq + 1));
        if (key == "Printable")
            row.printable = value != 0;
        else if (key == "ForceCP")
            row.forceCP = value != 0;
        else if (key == "CP")
            row.cp = value;
        else
            ADD_FAILURE() << "line " << row.line << ": unknown option " << key;
    }
}

std::vector<TRow> Rows(const std::vector<test::TManifestRow>& manifest) {
    std::vector<TRow> rows;
    for (const test::TManifestRow& entry : manifest) {
        if (entry.Columns < 4) {
            ADD_FAILURE() << "manifest line " << entry.Line << " has " << entry.Columns << " columns";
            continue;
        }
        TRow row;
        row.line = entry.Line;
        row.file = entry.File;
        ParseOptions(entry.Options, row);
        row.outcome = entry.Outcome;
        row.expected = entry.Expected;
        rows.push_back(row);
    }
    return rows;
}

std::u16string FromUtf16LE(const std::string& bytes) {
    std::u16string text(bytes.size() / 2, u'\0');
    for (size_t i = 0; i < text.size(); ++i) {
        text[i] =
            static_cast<char16_t>(static_cast<uint8_t>(bytes[2 * i]) | (static_cast<uint8_t>(bytes[2 * i + 1]) << 8));
    }
    return text;
}

std::string Hex(char16_t c) {
    char buf[8];
    std::snprintf(buf, sizeof buf, "%04X", static_cast<unsigned>(c));
    return buf;
}

// Empty when equal; else where and how the texts first differ.
std::string FirstDifference(const std::u16string& got, const std::u16string& want) {
    size_t i = 0;
    while (i < got.size() && i < want.size() && got[i] == want[i]) ++i;
    if (i == got.size() && i == want.size()) return {};
    std::string what = "first difference at code unit " + std::to_string(i) + " (got " + std::to_string(got.size()) +
                       " units, expected " + std::to_string(want.size()) + "): ";
    what += "got " + (i < got.size() ? "U+" + Hex(got[i]) : std::string("end"));
    what += ", expected " + (i < want.size() ? "U+" + Hex(want[i]) : std::string("end"));
    return what;
}

std::string Describe(const TRow& row) {
    return "manifest line " + std::to_string(row.line) + ": " + row.file +
           " Printable=" + std::to_string(row.printable) + " ForceCP=" + std::to_string(row.forceCP) +
           " CP=" + std::to_string(row.cp) + " (" + row.outcome + ")";
}

TEST(Corpus, EveryManifestRow) {
    const std::filesystem::path dir = CorpusDir();
    const auto manifest = test::ReadManifest(dir);
    if (!manifest) {
        GTEST_SKIP() << "corpus not found: no manifest.tsv in " << dir.string();
    }
    const std::vector<TRow> rows = Rows(*manifest);
    ASSERT_FALSE(rows.empty()) << "the manifest lists no documents";

    int passed = 0;
    for (const TRow& row : rows) {
        SCOPED_TRACE(Describe(row));
        const std::u16string path = (dir / std::filesystem::path(row.file).make_preferred()).u16string();
        std::u16string text;
        bool raised = false;
        std::string message;
        try {
            TWordConverter converter;
            text = converter.LoadText(path, row.printable, row.cp, row.forceCP);
        } catch (const EPagelet& e) {
            raised = true;
            message = Utf16ToUtf8(e.Message());
        }
        const int failuresBefore =
            ::testing::UnitTest::GetInstance()->current_test_info()->result()->total_part_count();
        if (row.outcome == "text") {
            std::string expectedBytes;
            ASSERT_TRUE(ReadFile(dir / "expected" / row.expected, expectedBytes))
                << "missing expected/" << row.expected;
            EXPECT_FALSE(raised) << "error: " << message;
            const std::string diff = FirstDifference(text, FromUtf16LE(expectedBytes));
            EXPECT_TRUE(diff.empty()) << diff;
        } else if (row.outcome == "empty") {
            EXPECT_FALSE(raised) << "error: " << message;
            EXPECT_TRUE(text.empty()) << "got " << text.size() << " code units";
        } else if (row.outcome == "error") {
            EXPECT_TRUE(raised) << "no error; got " << text.size() << " code units";
        } else if (row.outcome == "any") {
            // Text, empty or an error: only a crash or a hang would fail.
        } else {
            ADD_FAILURE() << "unknown outcome " << row.outcome;
        }
        const int failuresAfter = ::testing::UnitTest::GetInstance()->current_test_info()->result()->total_part_count();
        if (failuresAfter == failuresBefore) ++passed;
    }
    RecordProperty("rows_as_expected", passed);
}

}  // namespace
}  // namespace pagelet
