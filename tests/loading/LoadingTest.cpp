// DocumentText, the extension test and the load of a viewer's document.
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <functional>
#include <mutex>
#include <thread>
#include <fstream>
#include <iterator>
#include <memory>
#include <optional>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "common/Error.h"
#include "common/Utf.h"
#include "common/CodePage.h"
#include "converter/WordConverter.h"
#include "loading/DocumentText.h"
#include "loading/Loaders.h"
#include "loading/ReadingLayout.h"
#include "settings/Locations.h"
#include "support/DocBuilder.h"
#include "support/Manifest.h"

namespace pagelet {
namespace {

namespace fs = std::filesystem;

// The reading layout's answer, waited for as long as it takes.
constexpr std::chrono::milliseconds kPatient{600000};

// The library's start and end, as the DLL does at load and unload.
class TLibraryEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        SettingsModuleInit();
        LoadingModuleInit();
    }
    void TearDown() override {
        LoadingModuleDone();
        SettingsModuleDone();
    }
};
const auto* const kEnvironment = ::testing::AddGlobalTestEnvironment(new TLibraryEnvironment);

std::vector<std::u16string> Lines(std::u16string_view text) {
    TDocumentText document;
    document.SetText(text);
    return document.Lines();
}

using TLines = std::vector<std::u16string>;

TEST(DocumentText, Splitting) {
    const std::u16string nul(1, u'\0');
    struct TCase {
        std::u16string Text;
        TLines Expected;
    };
    const std::vector<TCase> cases = {
        {u"A\rB\nC\r\nD", {u"A", u"B", u"C", u"D"}},
        {u"A\r\n", {u"A"}},
        {u"A\n\rB", {u"A", u"", u"B"}},
        {u"\r", {u""}},
        {u"\r\n\r\n", {u"", u""}},
        {u"", {}},
        {u"A", {u"A"}},
        {u"A\n\nB\n", {u"A", u"", u"B"}},
        // A NUL is dropped and the text goes on after it.
        {u"A" + nul + u"B", {u"AB"}},
        {nul + nul + u"A\r" + nul + u"\nB" + nul, {u"A", u"B"}},
        {nul, {}},
        {u"A\r" + nul, {u"A"}},
    };
    for (const TCase& c : cases) {
        EXPECT_EQ(Lines(c.Text), c.Expected) << Utf16ToUtf8(c.Text);
        // The converter hands the text over in parts, which may split a CR LF.
        TDocumentTextBuilder builder;
        for (const char16_t unit : c.Text) builder.Append(std::u16string_view(&unit, 1));
        TDocumentText document;
        builder.Finish(document);
        EXPECT_EQ(document.Lines(), c.Expected) << "one code unit per part: " << Utf16ToUtf8(c.Text);
        EXPECT_EQ(document.Count(), c.Expected.size());
    }
}

TEST(DocumentText, WholeTextAndClear) {
    TDocumentText document;
    EXPECT_EQ(document.WholeText(), u"");
    document.SetText(u"A\nB");
    EXPECT_EQ(document.WholeText(), u"A\r\nB\r\n");
    document.SetText(u"\r");
    EXPECT_EQ(document.WholeText(), u"\r\n");
    document.SetText(u"C");  // replaces, does not append
    EXPECT_EQ(document.Count(), 1u);
    document.SetText(u"D\rE");
    EXPECT_EQ(document.Count(), 2u);
    document.Clear();
    EXPECT_EQ(document.Count(), 0u);
    EXPECT_EQ(document.WholeText(), u"");
    // Handing the text over leaves the list empty.
    document.SetText(u"F\nG");
    EXPECT_EQ(document.TakeText(), u"F\r\nG\r\n");
    EXPECT_EQ(document.Count(), 0u);
    EXPECT_EQ(document.WholeText(), u"");
}

class TTempDir {
public:
    TTempDir() : path_(fs::temp_directory_path() / ("pagelet-loading-" + std::to_string(std::random_device()()))) {
        fs::create_directories(path_);
    }
    ~TTempDir() {
        std::error_code ignored;
        fs::remove_all(path_, ignored);
    }
    std::u16string Write(const std::string& name, const std::string& bytes) const {
        std::ofstream out(path_ / name, std::ios::binary);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        return (path_ / name).u16string();
    }
    std::u16string Name(const std::string& name) const { return (path_ / name).u16string(); }

private:
    fs::path path_;
};

TEST(DocumentText, LoadFromFileByByteOrderMark) {
    TTempDir dir;
    struct TCase {
        const char* Title;
        std::string Bytes;
        TLines Expected;
    };
    const std::vector<TCase> cases = {
        {"UTF-8",
         "\xEF\xBB\xBF"
         "A\r\n\xD0\x91\xE2\x82\xAC",
         {u"A", u"\u0411\u20AC"}},
        {"UTF-16LE",
         std::string("\xFF\xFE"
                     "A\0\r\0\n\0\x11\x04",
                     10),
         {u"A", u"\u0411"}},
        {"UTF-16BE", std::string("\xFE\xFF\0A\0\n\x04\x11", 8), {u"A", u"\u0411"}},
        {"UTF-16LE with a NUL and an odd last byte",
         std::string("\xFF\xFE"
                     "A\0\0\0B\0C",
                     9),
         {u"AB"}},
        {"marker only", "\xFF\xFE", {}},
        {"empty file", "", {}},
        {"no marker: ASCII", "plain\r\ntext", {u"plain", u"text"}},
    };
    int index = 0;
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Title);
        TDocumentText document;
        document.SetText(u"old");
        const std::u16string file = dir.Write("text" + std::to_string(index++) + ".txt", c.Bytes);
        ASSERT_TRUE(document.LoadFromFile(file));
        EXPECT_EQ(document.Lines(), c.Expected);
    }
    // Without a marker the bytes are the system's ANSI code page (1252 on
    // Linux and in the test prefix of Wine).
    if (SystemAnsiCodePage() == 1252) {
        const TCase ansi[] = {
            {"1252", "caf\xE9\x80", {u"caf\u00E9\u20AC"}},
            {"two bytes of a UTF-8 marker are no marker",
             "\xEF\xBB"
             "A",
             {u"\u00EF\u00BB"
              "A"}},
        };
        for (const TCase& c : ansi) {
            SCOPED_TRACE(c.Title);
            TDocumentText document;
            ASSERT_TRUE(document.LoadFromFile(dir.Write("ansi" + std::to_string(index++) + ".txt", c.Bytes)));
            EXPECT_EQ(document.Lines(), c.Expected);
        }
    }
    TDocumentText document;
    document.SetText(u"kept");
    EXPECT_FALSE(document.LoadFromFile(dir.Name("missing.txt")));
}

TEST(Loaders, IsWordFileName) {
    struct TCase {
        const char16_t* Name;
        bool Expected;
    };
    const std::vector<TCase> cases = {
        {u"C:\\docs\\report.DOC", true},
        {u"report.doc", true},
        {u"Template.Dot", true},
        {u"a.dOt", true},
        {u"/home/user/letter.doc", true},
        {u"C:\\docs\\.doc", true},  // the dot follows the last "\"
        {u"report.docx", false},
        {u"report.do", false},
        {u"report", false},
        {u"report.", false},
        {u"C:\\old.doc\\report", false},
        {u"C:old.doc:stream", false},
        {u".doc", false},  // the dot is the first character
        {u"", false},
        {u"report.d\u00D3c", false},  // no folding beyond ASCII
        {u"report.doc ", false},
    };
    for (const TCase& c : cases) {
        EXPECT_EQ(IsWordFileName(c.Name), c.Expected) << Utf16ToUtf8(c.Name);
    }
}

TDocBuilder HelloDocument() {
    const std::string text("Hello\rWorld\r\0tail\r", 18);
    return TDocBuilder()
        .Clx(TClxBuilder().Pcdt({0, static_cast<uint32_t>(text.size())}, {{CompressedFc(0x800)}}))
        .DocBytes(0x800, std::string_view(text.data(), text.size()));
}

// The whole text a viewer is handed, as lines; nullopt when OpenDocument
// gives no document. The reading layout's answer is waited for.
std::optional<TLines> OpenedLines(const std::u16string& path, const TLoadSettings& settings = {}) {
    std::optional<TLoadedDocument> document = OpenDocument(path, settings, kPatient);
    if (!document) return std::nullopt;
    return Lines(ReadWholeText(std::move(*document)));
}

TEST(Loaders, OpenDocumentGivesTheConverterText) {
    const auto file = HelloDocument().Write();
    EXPECT_EQ(OpenedLines(file->Path()), (TLines{u"Hello", u"World", u"tail"}));
}

// The reading layout asked for through the settings of the load.
TEST(Loaders, ReadingLayoutReachesTheViewersText) {
    const auto file = TRichDocBuilder()
                          .Para(
                              u"See \x13 PAGE \x14"
                              u"3\x15")
                          .Cell(u"a")
                          .Cell(u"b")
                          .RowEnd()
                          .Write();
    TLoadSettings settings;
    settings.ReadingLayout = true;
    EXPECT_EQ(OpenedLines(file->Path(), settings), (TLines{u"See 3", u"a\tb"}));
    std::optional<TLoadedDocument> shown = OpenDocument(file->Path(), settings, kPatient);
    ASSERT_TRUE(shown.has_value());
    EXPECT_EQ(shown->Text.substr(0, 10), u"See 3\r\na\tb");
    settings.ReadingLayout = false;
    const std::optional<TLines> plain = OpenedLines(file->Path(), settings);
    ASSERT_TRUE(plain.has_value());
    EXPECT_EQ(plain->front(),
              u"See \x13 PAGE \x14"
              u"3\x15");
}

TEST(Loaders, FailingExtensionTestGivesNoDocument) {
    const auto file = HelloDocument().Write();
    ASSERT_TRUE(OpenedLines(file->Path()).has_value());

    // The same document under a name that is no Word name is not even opened.
    const std::u16string copy = file->Path() + u"x";
    fs::copy_file(fs::path(file->Path()), fs::path(copy));
    EXPECT_EQ(OpenedLines(copy), std::nullopt);
    fs::remove(fs::path(copy));
}

TEST(Loaders, EmptyOrMissingDocumentIsNone) {
    const auto empty = TDocBuilder().Clx(TClxBuilder().Pcdt({0, 0}, {{CompressedFc(0x800)}})).Write();
    EXPECT_EQ(OpenedLines(empty->Path()), std::nullopt);

    const auto lone =
        TDocBuilder().Clx(TClxBuilder().Pcdt({0, 1}, {{CompressedFc(0x800)}})).DocBytes(0x800, "\r").Write();
    EXPECT_EQ(OpenedLines(lone->Path()), TLines{u""});

    EXPECT_EQ(OpenedLines(lone->Path() + u".missing.doc"), std::nullopt);
}

TEST(Loaders, WordLoaderChosenByTheSettingRunsAlone) {
    const auto file = HelloDocument().Write();
    TLoadSettings settings;
    settings.MSWord = true;
    // Without Word the Word loader fails, and the converter, which would
    // succeed, is not tried; should some automation server answer for Word
    // here, the text still is not the converter's.
    const std::optional<TLines> lines = OpenedLines(file->Path(), settings);
    if (lines) {
        EXPECT_NE(*lines, (TLines{u"Hello", u"World", u"tail"}));
    }
}

fs::path CorpusDir() { return fs::path(PAGELET_CORPUS_DIR).make_preferred(); }

// Takes the rest of a text from its source, giving a source on another
// thread the time to make it.
void ProduceAll(TTextSource& source, std::u16string& text, size_t units) {
    while (source.Produce(text, units)) {
        if (source.Waiting()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

// What a viewer is handed: the first part of the text and the rest from its
// source, in parts of any size. The load waits for the reading layout's
// answer as long as it takes.
std::u16string OpenedText(const std::u16string& path, size_t units, TLoadSettings settings = {}) {
    std::optional<TLoadedDocument> document = OpenDocument(path, settings, kPatient);
    if (!document) return u"<none>";
    std::u16string text = std::move(document->Text);
    if (document->Rest) ProduceAll(*document->Rest, text, units);
    return text;
}

// The converter's whole text in one go, in the viewer's form: what the
// viewer's parts must add up to. nullopt for a text without a line.
std::optional<std::u16string> ConverterText(const std::u16string& path, bool reading) {
    TWordConverter converter;
    UseReadingLayout(converter, reading);
    TDocumentTextBuilder builder;
    TDocumentText text;
    if (converter.ExtractText(path, false, 1251, false, builder)) builder.Finish(text);
    if (text.Count() == 0) return std::nullopt;
    return text.WholeText();
}

// A document the reading layout reads whole without anything visible in it
// is shown empty; the converter's text of it (its field code) is shown
// raw, and what neither reads stays none: the host's error box says so.
TEST(Loaders, DocumentWithNothingVisibleOpensEmptyInTheReadingLayout) {
    TLoadSettings reading;
    reading.ReadingLayout = true;
    const auto blank = TRichDocBuilder().Run(u"\x13 SEQ \x14\x15").Write();
    const auto empty = TDocBuilder().Clx(TClxBuilder().Pcdt({0, 0}, {{CompressedFc(0x800)}})).Write();
    const auto encrypted = TRichDocBuilder().Run(u"\x13 SEQ \x14\x15").FibFlags(0x0100).Write();
    const struct {
        const char* name;
        std::u16string path;
        TLoadSettings settings;
        std::u16string text;
    } rows[] = {
        {"field without result", blank->Path(), reading, u""},
        {"converter's text", blank->Path(), {}, u"\x13 SEQ \x14\x15\r\n"},
        {"no text to lay out", empty->Path(), reading, u"<none>"},
        // The layout leaves an encrypted document to the converter.
        {"encrypted", encrypted->Path(), reading, u"\x13 SEQ \x14\x15\r\n"},
        {"no file", blank->Path() + u".missing.doc", reading, u"<none>"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(OpenedText(row.path, 4096, row.settings), row.text);
    }
}

TEST(Loaders, OpenDocumentHandsTheConverterTextOverInParts) {
    const auto hello = HelloDocument().Write();
    EXPECT_EQ(OpenedText(hello->Path(), 1), u"Hello\r\nWorld\r\ntail\r\n");
    const auto lone =
        TDocBuilder().Clx(TClxBuilder().Pcdt({0, 1}, {{CompressedFc(0x800)}})).DocBytes(0x800, "\r").Write();
    EXPECT_EQ(OpenedText(lone->Path(), 1), u"\r\n");
    // A document without a line of text is none.
    const auto empty = TDocBuilder().Clx(TClxBuilder().Pcdt({0, 0}, {{CompressedFc(0x800)}})).Write();
    const auto nuls = TDocBuilder()
                          .Clx(TClxBuilder().Pcdt({0, 3}, {{CompressedFc(0x800)}}))
                          .DocBytes(0x800, std::string_view("\0\0\0", 3))
                          .Write();
    for (const std::u16string& path : {empty->Path(), nuls->Path(), hello->Path() + u".missing.doc"}) {
        EXPECT_EQ(OpenedText(path, 1), u"<none>") << Utf16ToUtf8(path);
    }

    // Every corpus document, in parts of every size, gives the converter's text.
    const fs::path docs = CorpusDir() / "docs";
    if (!fs::exists(docs)) GTEST_SKIP() << "corpus not found at " << CorpusDir().string();
    std::vector<fs::path> paths;
    for (const auto& entry : fs::directory_iterator(docs)) paths.push_back(entry.path());
    for (const fs::path& big : {CorpusDir() / "big" / "mid.doc"}) {
        if (fs::exists(big)) paths.push_back(big);
    }
    // The reading layout comes from a thread of its own: the same answers.
    for (const bool reading : {false, true}) {
        SCOPED_TRACE(reading ? "reading layout" : "converter's text");
        TLoadSettings settings;
        settings.ReadingLayout = reading;
        size_t compared = 0;
        for (const fs::path& path : paths) {
            SCOPED_TRACE(path.string());
            std::optional<std::u16string> whole;
            try {
                whole = ConverterText(path.u16string(), reading);
            } catch (const EPagelet&) {
                EXPECT_THROW(OpenedText(path.u16string(), 4096, settings), EPagelet);
                continue;
            }
            if (!whole) {
                // The layout shows a document with nothing visible in it
                // empty; the converter's text without a line is none.
                const bool blank = reading && path.filename() == "poi-empty.doc";
                EXPECT_EQ(OpenedText(path.u16string(), 4096, settings), blank ? u"" : u"<none>");
                continue;
            }
            for (size_t units : {size_t{7}, size_t{65536}}) {
                EXPECT_TRUE(OpenedText(path.u16string(), units, settings) == *whole) << "parts of " << units;
            }
            ++compared;
        }
        EXPECT_GT(compared, 10u);
    }
}

// A viewer closed while its reading layout is still being made stops the
// layout's thread and waits for nothing more than its next part.
TEST(Loaders, AReadingLayoutLeftUnreadStopsItsThread) {
    const fs::path mid = CorpusDir() / "big" / "mid.doc";
    if (!fs::exists(mid)) GTEST_SKIP() << "corpus not found at " << CorpusDir().string();
    TLoadSettings settings;
    settings.ReadingLayout = true;
    for (int run = 0; run < 3; ++run) {
        std::optional<TLoadedDocument> document = OpenDocument(mid.u16string(), settings, kPatient);
        ASSERT_TRUE(document.has_value());
        EXPECT_GE(document->Text.size(), 16u * 1024);
        ASSERT_NE(document->Rest, nullptr);
        std::u16string more;
        document->Rest->Produce(more, 1000);
        document.reset();  // the rest is never read
    }
}

// A reading layout held on its thread (a document that takes long to lay
// out): the load returns without its text, taking from the source never
// waits, and closing cancels the layout. Once let go, each document ends in
// the viewer as the load would have answered: its text, a line for no text,
// or the error.
TEST(Loaders, AReadingLayoutThatTakesLongHoldsNeitherTheLoadNorTheClose) {
    struct THeldWorker {
        std::mutex mutex;
        std::condition_variable changed;
        bool release = false;
        int cancelsSeen = 0;
    } held;
    const TLayoutWorkerHook previous = LayoutWorkerHookForTest([&held](const std::function<bool()>& cancelled) {
        std::unique_lock<std::mutex> lock(held.mutex);
        // A minute at most: a hang is the test's time limit's to catch.
        for (int i = 0; i < 60000 && !held.release && !cancelled(); ++i)
            held.changed.wait_for(lock, std::chrono::milliseconds(1));
        if (cancelled()) ++held.cancelsSeen;
    });
    struct TRestoreHook {
        TLayoutWorkerHook hook;
        ~TRestoreHook() { LayoutWorkerHookForTest(std::move(hook)); }
    } restore{previous};

    TLoadSettings settings;
    settings.ReadingLayout = true;
    const auto hello = HelloDocument().Write();
    const auto empty = TDocBuilder().Clx(TClxBuilder().Pcdt({0, 0}, {{CompressedFc(0x800)}})).Write();
    const auto damaged = TDocBuilder().Clx(TClxBuilder().PrcHeader(-1)).Write();
    const auto blank = TRichDocBuilder().Run(u"\x13 SEQ \x14\x15").Write();
    {
        SCOPED_TRACE("closed while held");
        std::optional<TLoadedDocument> document = OpenDocument(hello->Path(), settings);
        ASSERT_TRUE(document.has_value());
        EXPECT_EQ(document->Text, u"");
        ASSERT_NE(document->Rest, nullptr);
        std::u16string more;
        EXPECT_TRUE(document->Rest->Produce(more, 1000));
        EXPECT_EQ(more, u"");
        EXPECT_TRUE(document->Rest->Waiting());
        document.reset();
        EXPECT_EQ(held.cancelsSeen, 1);
    }
    const struct {
        const char* name;
        std::u16string path;
        std::optional<std::u16string> text;  // none: the error passes
    } rows[] = {
        {"a document", hello->Path(), u"Hello\r\nWorld\r\ntail\r\n"},
        {"no text", empty->Path(), u"[Error opening document: it has no text to show]\r\n"},
        {"nothing visible", blank->Path(), u""},
        {"no file", hello->Path() + u".missing.doc", u"[Error opening document: it has no text to show]\r\n"},
        {"damaged", damaged->Path(), std::nullopt},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        {
            std::lock_guard<std::mutex> lock(held.mutex);
            held.release = false;
        }
        std::optional<TLoadedDocument> document = OpenDocument(row.path, settings);
        ASSERT_TRUE(document.has_value());
        ASSERT_NE(document->Rest, nullptr);
        {
            std::lock_guard<std::mutex> lock(held.mutex);
            held.release = true;
        }
        held.changed.notify_all();
        std::u16string text = document->Text;
        if (!row.text) {
            EXPECT_THROW(ProduceAll(*document->Rest, text, 4096), EPagelet);
        } else {
            ProduceAll(*document->Rest, text, 4096);
            EXPECT_EQ(text, row.text);
        }
    }
    EXPECT_EQ(held.cancelsSeen, 1);
}

std::u16string ReadUtf16File(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::u16string text;
    for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
        text += static_cast<char16_t>(static_cast<uint8_t>(bytes[i]) | (static_cast<uint8_t>(bytes[i + 1]) << 8));
    }
    return text;
}

TEST(Loaders, CorpusDocumentWithNulsKeepsAllItsText) {
    const fs::path doc = CorpusDir() / "docs" / "nwe-test07.doc";
    if (!fs::exists(doc)) GTEST_SKIP() << "corpus not found at " << CorpusDir().string();
    const std::u16string expected = ReadUtf16File(CorpusDir() / "expected" / "nwe-test07.doc.default.utf16");
    ASSERT_GT(expected.size(), 7000u);
    const size_t firstNul = expected.find(u'\0');
    ASSERT_LT(firstNul, 1000u) << "the document holds NULs early in its text";

    const std::optional<TLines> lines = OpenedLines(doc.u16string());
    ASSERT_TRUE(lines.has_value());
    // Every character but NULs and line ends arrives, in order.
    std::u16string kept;
    for (const char16_t c : expected) {
        if (c != u'\0' && c != u'\r' && c != u'\n') kept += c;
    }
    std::u16string joined;
    for (const std::u16string& line : *lines) joined += line;
    EXPECT_EQ(joined, kept);
    EXPECT_GT(lines->size(), 10u);
}

// Every row of the corpus manifest through the load of a viewer: the lines
// hold the converter's text without NULs and line ends, and there is a
// document exactly when that leaves a line.
TEST(Loaders, CorpusManifestThroughTheLoader) {
    const auto manifest = test::ReadManifest(CorpusDir());
    if (!manifest) GTEST_SKIP() << "corpus not found at " << CorpusDir().string();
    int rows = 0;
    for (const test::TManifestRow& row : *manifest) {
        ASSERT_EQ(row.Columns, 4) << "line " << row.Line;
        SCOPED_TRACE(row.File + " " + row.Options);
        TLoadSettings settings;
        std::istringstream options(row.Options);
        for (std::string option; options >> option;) {
            const int value = std::stoi(option.substr(option.find('=') + 1));
            if (option.rfind("Printable=", 0) == 0) settings.Printable = value != 0;
            if (option.rfind("ForceCP=", 0) == 0) settings.ForceCP = value != 0;
            if (option.rfind("CP=", 0) == 0) settings.CP = value;
        }
        const std::u16string doc = (CorpusDir() / row.File).make_preferred().u16string();
        const std::string& outcome = row.Outcome;
        std::optional<TLines> lines;
        bool raised = false;
        try {
            lines = OpenedLines(doc, settings);
        } catch (const EPagelet&) {
            raised = true;
        }
        const bool loaded = lines.has_value();
        ++rows;
        if (outcome == "error") {
            EXPECT_TRUE(raised);
        }
        if (outcome == "empty") {
            EXPECT_FALSE(loaded || raised);
        }
        if (outcome != "text") continue;
        EXPECT_FALSE(raised);
        const std::u16string expected = ReadUtf16File(CorpusDir() / "expected" / row.Expected);
        std::u16string kept;
        bool anyLine = false;
        for (const char16_t c : expected) {
            anyLine = anyLine || c != u'\0';
            if (c != u'\0' && c != u'\r' && c != u'\n') kept += c;
        }
        EXPECT_EQ(loaded, anyLine);
        std::u16string joined;
        if (lines) {
            for (const std::u16string& line : *lines) joined += line;
        }
        EXPECT_TRUE(joined == kept) << "lines differ from the converter's text";
    }
    EXPECT_GT(rows, 100);
}

std::vector<uint8_t> Bytes(std::string_view text) { return {text.begin(), text.end()}; }

// A file that is no Word document but one a reader reads shows the reader's
// text with the reading layout on and off, through the printable filter and
// with a forced code page for the 8-bit text whose code page it does not name.
TEST(Loaders, FileOfAnotherFormatShowsItsReadersTextInBothSettings) {
    const TTempFile rtf(Bytes("{\\rtf1\\ansi\\ansicpg1252 One \\'e0\\u945?\\par\\intbl a\\cell b\\cell\\row}"));
    const TTempFile unnamed(Bytes("{\\rtf1\\ansi \\'e0}"));
    const TTempFile deep(Bytes("{\\rtf1 " + std::string(2000, '{') + "}"));
    const TTempFile empty(Bytes("{\\rtf1{\\fonttbl{\\f0 Arial;}}}"));
    const TTempFile binary(std::vector<uint8_t>{'{', 0, 1, 2, 0xFF, 0});
    const TTempFile rtfName(Bytes("{\\rtf1 text}"), ".rtf");
    struct TCase {
        const char* name;
        std::u16string path;
        bool printable = false;
        bool forceCP = false;
        std::u16string text;
    };
    const TCase cases[] = {
        {"layout", rtf.Path(), false, false, u"One \u00E0\u03B1\r\na\tb\r\n"},
        {"printable (a tab is no printable character)", rtf.Path(), true, false, u"One \u00E0\r\nab\r\n"},
        {"named code page wins", rtf.Path(), false, true, u"One \u00E0\u03B1\r\na\tb\r\n"},
        {"system code page", unnamed.Path(), false, false, u"\u00E0\r\n"},
        {"forced code page", unnamed.Path(), false, true, u"\u0430\r\n"},
        {"nothing to show: shown empty", empty.Path(), false, false, u""},
        {"no reader knows it", binary.Path(), false, false, u"<none>"},
        {"not a Word name", rtfName.Path(), false, false, u"<none>"},
    };
    for (const bool reading : {true, false}) {
        for (const TCase& c : cases) {
            SCOPED_TRACE(std::string(c.name) + (reading ? " (reading)" : " (raw)"));
            TLoadSettings settings;
            settings.ReadingLayout = reading;
            settings.Printable = c.printable;
            settings.CP = 1251;
            settings.ForceCP = c.forceCP;
            EXPECT_EQ(OpenedText(c.path, 4096, settings), c.text);
        }
        TLoadSettings settings;
        settings.ReadingLayout = reading;
        try {
            OpenedText(deep.Path(), 4096, settings);
            ADD_FAILURE() << "a file nested too deep opened";
        } catch (const EPagelet& e) {
            EXPECT_NE(e.Message().find(u"damaged"), std::u16string::npos) << Utf16ToUtf8(e.Message());
        }
    }
}

TEST(Loaders, ConverterErrorPasses) {
    const fs::path doc = CorpusDir() / "docs" / "nwe-badfile-01-bad-header.doc";
    if (!fs::exists(doc)) GTEST_SKIP() << "corpus not found at " << CorpusDir().string();
    EXPECT_THROW(OpenedLines(doc.u16string()), EPagelet);
}

}  // namespace
}  // namespace pagelet
