// The Word loader against the test-only automation server registered as
// "Word.Application": what it sends, what it leaves behind, and how it
// cleans up when Word fails part-way.

#include <windows.h>
#include <objbase.h>

#include <gtest/gtest.h>

#include <regex>
#include <stdexcept>
#include <string>
#include <vector>

#include "common/Utf.h"
#include "common/Win32Text.h"
#include "loading/DocumentText.h"
#include "loading/Loaders.h"
#include "msword/WordStubHarness.h"
#include "settings/Locations.h"
#include "support/WinHarness.h"

namespace pagelet {
namespace {

using test::WordStub;

// The host's side: COM on the user-interface thread, then the library's start.
class TLoaderEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
        SettingsModuleInit();
        LoadingModuleInit();
        try {
            WordStub().SetUp();
        } catch (const std::exception& e) {
            FAIL() << e.what();
        }
    }
    void TearDown() override {
        WordStub().TearDown();
        LoadingModuleDone();
        SettingsModuleDone();
        CoUninitialize();
    }
};

const auto* const kEnvironment = ::testing::AddGlobalTestEnvironment(new TLoaderEnvironment);

using test::FileExists;
using test::Wide;
using test::WriteText;

// The temporary name SaveAs received, from the record.
std::wstring SavedTempPath(const std::vector<std::wstring>& calls) {
    static const std::wregex saveAs(LR"(^Document\.SaveAs method #=VT_BSTR\|VT_BYREF:"([^"]*)\")");
    for (const std::wstring& call : calls) {
        std::wsmatch m;
        if (std::regex_search(call, m, saveAs)) return m[1].str();
    }
    return {};
}

bool Contains(const std::vector<std::wstring>& lines, const std::wstring& line) {
    for (const std::wstring& l : lines)
        if (l == line) return true;
    return false;
}

class MSWordLoader : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = Wide(TempDir) + L"pagelet-msword-test\\";
        CreateDirectoryW(dir_.c_str(), nullptr);
        // A name outside ASCII checks that the path travels as UTF-16 both ways.
        doc_ = dir_ + L"Bericht \u00FCber \u0416.doc";
        WriteText(doc_, "stand-in for a binary document");
        WriteText(doc_ + L".txt", Utf16ToUtf8(kFixtureText));
        WordStub().Reset();
        // Each load must clear what the previous one left.
        DocumentText->SetText(u"previous document");
    }
    void TearDown() override {
        DeleteFileW((doc_ + L".txt").c_str());
        DeleteFileW(doc_.c_str());
        RemoveDirectoryW(dir_.c_str());
        WordStub().Reset();
        EXPECT_EQ(WordStub().LiveObjects(), 0) << "a reference to the server was not released";
    }

    bool Load(const std::wstring& path) { return LoadWithMSWord(FromW(path.c_str())); }

    static constexpr char16_t kFixtureText[] =
        u"First line\r\nZweite Zeile \u00E4\u00F6\u00FC\r\n\r\n\u041F\u0440\u0438\u0432\u0435\u0442\r\n";
    const std::vector<std::u16string> kFixtureLines{u"First line", u"Zweite Zeile \u00E4\u00F6\u00FC", u"",
                                                    u"\u041F\u0440\u0438\u0432\u0435\u0442"};
    std::wstring dir_;
    std::wstring doc_;
};

TEST_F(MSWordLoader, SendsTheExportSequenceAndLoadsTheText) {
    ASSERT_TRUE(Load(doc_));
    EXPECT_EQ(DocumentText->Lines(), kFixtureLines);

    const std::vector<std::wstring> log = WordStub().Log();
    const std::wstring temp = SavedTempPath(log);
    // TempDir, eight upper-case hexadecimal digits, ".$$$".
    ASSERT_EQ(temp.size(), TempDir.size() + 12) << temp;
    EXPECT_EQ(temp.substr(0, TempDir.size()), Wide(TempDir));
    EXPECT_TRUE(std::regex_match(temp.substr(TempDir.size()), std::wregex(LR"([0-7][0-9A-F]{7}\.\$\$\$)"))) << temp;
    EXPECT_FALSE(FileExists(temp)) << "the temporary text file was left behind";

    const std::wstring docArg = L"\"" + doc_ + L"\"";
    const std::wstring tempArg = L"\"" + temp + L"\"";
    // Every call resolves its names afresh: the member, then its named arguments.
    const std::vector<std::wstring> expected = {
        L"CreateInstance",
        L"Application.GetIDsOfNames Visible",
        L"Application.Visible put <put>=VT_I4:0",
        L"Application.GetIDsOfNames DisplayAlerts",
        L"Application.DisplayAlerts put <put>=VT_I4:0",
        L"Application.GetIDsOfNames Documents",
        L"Application.Documents get ->result",
        L"Documents.GetIDsOfNames Open FileName ConfirmConversions ReadOnly AddToRecentFiles",
        L"Documents.Open method FileName=VT_BSTR:" + docArg +
            L" ConfirmConversions=VT_BOOL:0 ReadOnly=VT_BOOL:-1 AddToRecentFiles=VT_BOOL:0",
        L"Application.GetIDsOfNames Documents",
        L"Application.Documents get ->result",
        L"Documents.GetIDsOfNames Item",
        L"Documents.Item method #=VT_BSTR:" + docArg + L" ->result",
        L"Document.GetIDsOfNames SaveAs FileFormat AddToRecentFiles AllowSubstitutions",
        L"Document.SaveAs method #=VT_BSTR|VT_BYREF:" + tempArg +
            L" FileFormat=VT_I4:7 AddToRecentFiles=VT_BOOL:0 AllowSubstitutions=VT_BOOL:-1",
        L"Application.GetIDsOfNames Documents",
        L"Application.Documents get ->result",
        L"Documents.GetIDsOfNames Item",
        L"Documents.Item method #=VT_BSTR|VT_BYREF:" + tempArg + L" ->result",
        L"Document.GetIDsOfNames Close",
        L"Document.Close method",
        L"Application.GetIDsOfNames Quit",
        L"Application.Quit method",
    };
    EXPECT_EQ(log, expected);
    EXPECT_EQ(WordStub().OpenDocuments(), 0);
}

// A name handed back through the by-reference argument of SaveAs is the one
// the loader looks up, reads and deletes.
TEST_F(MSWordLoader, FollowsTheNameSaveAsHandsBack) {
    WordStub().RenameOnSave(true);
    ASSERT_TRUE(Load(doc_));
    EXPECT_EQ(DocumentText->Lines(), kFixtureLines);
    const std::vector<std::wstring> calls = WordStub().Calls();
    const std::wstring temp = SavedTempPath(calls);
    ASSERT_FALSE(temp.empty());
    EXPECT_TRUE(Contains(calls, L"Documents.Item method #=VT_BSTR|VT_BYREF:\"" + temp + L".txt\" ->result"));
    EXPECT_FALSE(FileExists(temp + L".txt"));
    EXPECT_FALSE(FileExists(temp));
}

TEST_F(MSWordLoader, DeletesTheFileUnderTheNameHandedBackWhenSaveAsFails) {
    WordStub().RenameOnSave(true);
    WordStub().FailAt(L"SaveAs", 1, true);
    EXPECT_FALSE(Load(doc_));
    const std::wstring temp = SavedTempPath(WordStub().Calls());
    ASSERT_FALSE(temp.empty());
    EXPECT_FALSE(FileExists(temp + L".txt"));
}

TEST_F(MSWordLoader, DocumentWithoutTextGivesNoLines) {
    WriteText(doc_ + L".txt", "");
    EXPECT_TRUE(Load(doc_));
    EXPECT_EQ(DocumentText->Count(), 0u);
}

// Word is not even started for a name that is no Word document's or for a
// file that is not there.
TEST_F(MSWordLoader, RefusesWithoutStartingWord) {
    const std::wstring docx = dir_ + L"report.docx";
    WriteText(docx, "x");
    const std::wstring folder = dir_ + L"folder.doc";
    CreateDirectoryW(folder.c_str(), nullptr);
    for (const std::wstring& path : {docx, dir_ + L"missing.doc", folder, std::wstring()}) {
        SCOPED_TRACE(testing::Message() << Utf16ToUtf8(FromW(path.c_str())));
        DocumentText->SetText(u"previous document");
        EXPECT_FALSE(Load(path));
        EXPECT_EQ(DocumentText->Count(), 0u);
        EXPECT_TRUE(WordStub().Log().empty());
    }
    DeleteFileW(docx.c_str());
    RemoveDirectoryW(folder.c_str());
}

TEST_F(MSWordLoader, FailsWhenNoServerIsRegistered) {
    WordStub().Unregister();
    const bool loaded = Load(doc_);
    WordStub().Register();
    EXPECT_FALSE(loaded);
    EXPECT_EQ(DocumentText->Count(), 0u);
    EXPECT_TRUE(WordStub().Log().empty());
}

// One call of the sequence fails; what must follow it.
struct TFailureCase {
    const wchar_t* Member = nullptr;
    int Occurrence = 1;
    bool AfterEffect = false;        // the call did its work, then failed
    std::vector<std::wstring> Then;  // the calls after the failed one
};

void PrintTo(const TFailureCase& c, std::ostream* os) {
    *os << Utf16ToUtf8(FromW(c.Member)) << " #" << c.Occurrence << (c.AfterEffect ? " after its effect" : "");
}

const std::wstring kCloseUnsaved = L"Document.Close method SaveChanges=VT_I4:0";
const std::wstring kQuitUnsaved = L"Application.Quit method SaveChanges=VT_I4:0";

class MSWordLoaderFailure : public MSWordLoader, public ::testing::WithParamInterface<TFailureCase> {};

TEST_P(MSWordLoaderFailure, CleansUpAndFails) {
    const TFailureCase& c = GetParam();
    WordStub().FailAt(c.Member, c.Occurrence, c.AfterEffect);
    EXPECT_FALSE(Load(doc_));
    EXPECT_EQ(DocumentText->Count(), 0u);

    const std::vector<std::wstring> calls = WordStub().Calls();
    size_t failed = 0;
    while (failed < calls.size() && calls[failed].find(L"!failed") == std::wstring::npos) ++failed;
    ASSERT_LT(failed, calls.size()) << "the injected failure did not happen";
    const std::vector<std::wstring> then(calls.begin() + failed + 1, calls.end());
    EXPECT_EQ(then, c.Then);

    // Nothing stays open, and the document's text does not stay in the temporary directory.
    EXPECT_EQ(WordStub().OpenDocuments(), 0);
    const std::wstring temp = SavedTempPath(calls);
    if (!temp.empty()) {
        EXPECT_FALSE(FileExists(temp)) << "the temporary text file was left behind";
    }
}

INSTANTIATE_TEST_SUITE_P(
    EachCall, MSWordLoaderFailure,
    ::testing::Values(
        // Word cannot be created: there is nothing to undo.
        TFailureCase{.Member = L"CreateInstance", .Occurrence = 1, .Then = {}},
        TFailureCase{.Member = L"Visible", .Occurrence = 1, .Then = {kQuitUnsaved}},
        TFailureCase{.Member = L"DisplayAlerts", .Occurrence = 1, .Then = {kQuitUnsaved}},
        TFailureCase{.Member = L"Documents", .Occurrence = 1, .Then = {kQuitUnsaved}},
        TFailureCase{.Member = L"Open", .Occurrence = 1, .Then = {kQuitUnsaved}},
        // The document is open but was never reached: Quit closes it unsaved.
        TFailureCase{.Member = L"Documents", .Occurrence = 2, .Then = {kQuitUnsaved}},
        TFailureCase{.Member = L"Item", .Occurrence = 1, .Then = {kQuitUnsaved}},
        TFailureCase{.Member = L"SaveAs", .Occurrence = 1, .Then = {kCloseUnsaved, kQuitUnsaved}},
        // The text file was written before the failure: it is deleted too.
        TFailureCase{.Member = L"SaveAs", .Occurrence = 1, .AfterEffect = true, .Then = {kCloseUnsaved, kQuitUnsaved}},
        TFailureCase{.Member = L"Documents", .Occurrence = 3, .Then = {kCloseUnsaved, kQuitUnsaved}},
        TFailureCase{.Member = L"Item", .Occurrence = 2, .Then = {kCloseUnsaved, kQuitUnsaved}},
        TFailureCase{.Member = L"Close", .Occurrence = 1, .Then = {kQuitUnsaved}},
        TFailureCase{.Member = L"Quit", .Occurrence = 1, .Then = {L"Application released without Quit"}}),
    [](const ::testing::TestParamInfo<TFailureCase>& info) {
        return Utf16ToUtf8(FromW(info.param.Member)) + std::to_string(info.param.Occurrence) +
               (info.param.AfterEffect ? "AfterWriting" : "");
    });

}  // namespace
}  // namespace pagelet
