// The Word loader against the test-only automation server registered as
// "Word.Application": what it sends (Word must open the document as inert
// data: no macros, no prompts, nothing saved), which documents never reach
// Word, what it leaves behind, and how it cleans up when Word fails part-way.

#include <windows.h>
#include <objbase.h>

#include <gtest/gtest.h>

#include <optional>
#include <regex>
#include <string>
#include <vector>

#include "common/Utf.h"
#include "common/Win32Text.h"
#include "loading/DocumentText.h"
#include "loading/Loaders.h"
#include "msword/WordStubHarness.h"
#include "settings/Locations.h"
#include "support/DocBuilder.h"
#include "support/WinHarness.h"

namespace pagelet {
namespace {

using test::WordStub;

// The host's side: COM on the user-interface thread, then the library's
// start (no plug-in: the loader is this program's own) and the stub registered.
void StartLibrary() {
    SettingsModuleInit();
    LoadingModuleInit();
    WordStub().SetUp();
}
void EndLibrary() {
    WordStub().TearDown();
    LoadingModuleDone();
    SettingsModuleDone();
}
const auto* const kEnvironment = test::AddPluginEnvironment(
    "msword-loader", {.Com = test::TComStart::Com, .LoadPlugin = false, .SetUp = StartLibrary, .TearDown = EndLibrary});

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

// The password the document was opened with, from the record.
std::wstring OpenPassword(const std::vector<std::wstring>& calls) {
    static const std::wregex open(LR"( PasswordDocument=VT_BSTR:"([^"]*)\")");
    for (const std::wstring& call : calls) {
        std::wsmatch m;
        if (std::regex_search(call, m, open)) return m[1].str();
    }
    return {};
}

// A compound file with a Word FIB; the stub takes its text from "<path>.txt".
void WriteDocument(const std::wstring& path, const TDocBuilder& document) {
    WriteFileBytes(FromW(path.c_str()), document.Build());
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
        WriteDocument(doc_, TDocBuilder());
        WriteText(doc_ + L".txt", Utf16ToUtf8(kFixtureText));
        WordStub().Reset();
    }
    void TearDown() override {
        DeleteFileW((doc_ + L".txt").c_str());
        DeleteFileW(doc_.c_str());
        RemoveDirectoryW(dir_.c_str());
        WordStub().Reset();
        EXPECT_EQ(WordStub().LiveObjects(), 0) << "a reference to the server was not released";
    }

    // Keeps the text the loader hands back, for LoadedLines.
    bool Load(const std::wstring& path) {
        loaded_ = LoadWithMSWord(FromW(path.c_str()));
        return loaded_.has_value();
    }
    // The lines of the text the last load handed back; none after a failure.
    std::vector<std::u16string> LoadedLines() const {
        TDocumentText text;
        if (loaded_) text.SetText(*loaded_);
        return text.Lines();
    }

    static constexpr char16_t kFixtureText[] =
        u"First line\r\nZweite Zeile \u00E4\u00F6\u00FC\r\n\r\n\u041F\u0440\u0438\u0432\u0435\u0442\r\n";
    const std::vector<std::u16string> kFixtureLines{u"First line", u"Zweite Zeile \u00E4\u00F6\u00FC", u"",
                                                    u"\u041F\u0440\u0438\u0432\u0435\u0442"};
    std::wstring dir_;
    std::wstring doc_;
    std::optional<std::u16string> loaded_;
};

// The whole sequence, with Documents.OpenNoRepairDialog and, for a Word
// that lacks it, with Documents.Open and the same arguments.
TEST_F(MSWordLoader, SendsTheExportSequenceAndLoadsTheText) {
    for (const bool noRepairDialog : {true, false}) {
        SCOPED_TRACE(noRepairDialog ? "OpenNoRepairDialog" : "Open");
        WordStub().Reset();
        if (!noRepairDialog) WordStub().Hide(L"OpenNoRepairDialog");
        ASSERT_TRUE(Load(doc_));
        EXPECT_EQ(LoadedLines(), kFixtureLines);

        const std::vector<std::wstring> log = WordStub().Log();
        const std::wstring temp = SavedTempPath(log);
        // TempDir, eight upper-case hexadecimal digits, ".$$$".
        ASSERT_EQ(temp.size(), TempDir.size() + 12) << temp;
        EXPECT_EQ(temp.substr(0, TempDir.size()), Wide(TempDir));
        EXPECT_TRUE(std::regex_match(temp.substr(TempDir.size()), std::wregex(LR"([0-7][0-9A-F]{7}\.\$\$\$)"))) << temp;
        EXPECT_TRUE(WordStub().SaveAsFoundFile()) << "the temporary name was not taken before SaveAs";
        EXPECT_FALSE(FileExists(temp)) << "the temporary text file was left behind";
        const std::wstring password = OpenPassword(log);
        EXPECT_FALSE(password.empty());

        const std::wstring docArg = L"\"" + doc_ + L"\"";
        const std::wstring tempArg = L"\"" + temp + L"\"";
        const std::wstring passwordArg = L"\"" + password + L"\"";
        const std::wstring open = noRepairDialog ? L"OpenNoRepairDialog" : L"Open";
        const std::wstring openArgNames =
            L" FileName ConfirmConversions ReadOnly AddToRecentFiles PasswordDocument PasswordTemplate Revert Visible"
            L" OpenAndRepair NoEncodingDialog";
        // Every call resolves its names afresh: the member, then its named arguments.
        std::vector<std::wstring> expected = {
            L"CreateInstance",
            L"Application.GetIDsOfNames Visible",
            L"Application.Visible put <put>=VT_I4:0",
            L"Application.GetIDsOfNames DisplayAlerts",
            L"Application.DisplayAlerts put <put>=VT_I4:0",
            L"Application.GetIDsOfNames AutomationSecurity",
            L"Application.AutomationSecurity put <put>=VT_I4:3",
            L"Application.GetIDsOfNames Options",
            L"Application.Options get ->result",
            L"Options.GetIDsOfNames UpdateLinksAtOpen",
            L"Options.UpdateLinksAtOpen get ->result",
            L"Options.GetIDsOfNames UpdateLinksAtOpen",
            L"Options.UpdateLinksAtOpen put <put>=VT_BOOL:0",
            L"Application.GetIDsOfNames Documents",
            L"Application.Documents get ->result",
            L"Documents.GetIDsOfNames OpenNoRepairDialog" + openArgNames,
        };
        if (!noRepairDialog) expected.push_back(L"Documents.GetIDsOfNames Open" + openArgNames);
        const std::vector<std::wstring> rest = {
            L"Documents." + open + L" method FileName=VT_BSTR:" + docArg +
                L" ConfirmConversions=VT_BOOL:0 ReadOnly=VT_BOOL:-1 AddToRecentFiles=VT_BOOL:0"
                L" PasswordDocument=VT_BSTR:" +
                passwordArg + L" PasswordTemplate=VT_BSTR:" + passwordArg +
                L" Revert=VT_BOOL:0 Visible=VT_BOOL:0 OpenAndRepair=VT_BOOL:0 NoEncodingDialog=VT_BOOL:-1",
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
            L"Document.GetIDsOfNames Close SaveChanges",
            L"Document.Close method SaveChanges=VT_I4:0",
            // The user's option as it was read.
            L"Application.GetIDsOfNames Options",
            L"Application.Options get ->result",
            L"Options.GetIDsOfNames UpdateLinksAtOpen",
            L"Options.UpdateLinksAtOpen put <put>=VT_BOOL:-1",
            L"Application.GetIDsOfNames NormalTemplate",
            L"Application.NormalTemplate get ->result",
            L"Template.GetIDsOfNames Saved",
            L"Template.Saved put <put>=VT_BOOL:-1",
            L"Application.GetIDsOfNames Quit SaveChanges",
            L"Application.Quit method SaveChanges=VT_I4:0",
        };
        expected.insert(expected.end(), rest.begin(), rest.end());
        EXPECT_EQ(log, expected);
        EXPECT_EQ(WordStub().OpenDocuments(), 0);
    }
}

// A name handed back through the by-reference argument of SaveAs that is
// the loader's own name with the ".txt" Word may add, or another spelling of
// the loader's own file, is the one the loader looks up, reads and deletes.
TEST_F(MSWordLoader, FollowsTheNameSaveAsHandsBack) {
    for (const bool txt : {true, false}) {
        SCOPED_TRACE(txt ? "name + .txt" : "the same file as TempDir\\.\\name");
        WordStub().Reset();
        if (txt)
            WordStub().RenameOnSave(true);
        else
            WordStub().ReportOnSave(Wide(TempDir) + L".\\");
        ASSERT_TRUE(Load(doc_));
        EXPECT_EQ(LoadedLines(), kFixtureLines);
        const std::vector<std::wstring> calls = WordStub().Calls();
        const std::wstring temp = SavedTempPath(calls);
        ASSERT_FALSE(temp.empty());
        const std::wstring saved = txt ? temp + L".txt" : temp;
        EXPECT_TRUE(Contains(calls, L"Documents.Item method #=VT_BSTR|VT_BYREF:\"" + saved + L"\" ->result"));
        EXPECT_FALSE(FileExists(temp + L".txt"));
        EXPECT_FALSE(FileExists(temp));
    }
}

TEST_F(MSWordLoader, DeletesTheFileUnderTheNameHandedBackWhenSaveAsFails) {
    WordStub().RenameOnSave(true);
    WordStub().FailAt(L"SaveAs", 1, true);
    EXPECT_FALSE(Load(doc_));
    const std::wstring temp = SavedTempPath(WordStub().Calls());
    ASSERT_FALSE(temp.empty());
    EXPECT_FALSE(FileExists(temp + L".txt"));
}

// A name Word hands back that is not the one it was given (nor that name
// with ".txt") is not the loader's to read or delete: the load fails, the
// file there stays, and the name the loader took goes.
TEST_F(MSWordLoader, LeavesAnotherNameHandedBackAlone) {
    const std::wstring elsewhere = dir_ + L"kept.txt";
    WriteText(elsewhere, "a file of the user's");
    WordStub().ReportOnSave(elsewhere);
    EXPECT_FALSE(Load(doc_));
    EXPECT_TRUE(LoadedLines().empty());
    EXPECT_TRUE(FileExists(elsewhere));
    const std::vector<std::wstring> calls = WordStub().Calls();
    const std::wstring temp = SavedTempPath(calls);
    ASSERT_FALSE(temp.empty());
    EXPECT_FALSE(FileExists(temp));
    EXPECT_EQ(calls.back(), L"Application.Quit method SaveChanges=VT_I4:0");
    EXPECT_TRUE(Contains(calls, L"Document.Close method SaveChanges=VT_I4:0"));
    DeleteFileW(elsewhere.c_str());
}

TEST_F(MSWordLoader, DocumentWithoutTextGivesNoLines) {
    WriteText(doc_ + L".txt", "");
    EXPECT_TRUE(Load(doc_));
    EXPECT_TRUE(LoadedLines().empty());
}

// Word is not even started for a name that is no Word document's, for a
// file that is not there, for a file the converter would not read, or for a
// document that would make Word ask for a password (fEncrypted,
// fWriteReservation).
TEST_F(MSWordLoader, RefusesWithoutStartingWord) {
    const std::wstring docx = dir_ + L"report.docx";
    WriteDocument(docx, TDocBuilder());
    const std::wstring folder = dir_ + L"folder.doc";
    CreateDirectoryW(folder.c_str(), nullptr);
    const std::wstring text = dir_ + L"text.doc";
    WriteText(text, "plain text under a Word name");
    struct TRefused {
        const char* What;
        TDocBuilder Document;
    };
    const TRefused documents[] = {
        {"Word 97 encrypted", TDocBuilder().Flags(0x0100)},
        {"Word 97 write-reserved", TDocBuilder().Flags(0x0800)},
        {"Word 97 both", TDocBuilder().Flags(0xFFFF)},
        {"Word 6 encrypted", TDocBuilder().Word6(0x200, 0x200).Flags(0x0100)},
        {"Word 6 write-reserved", TDocBuilder().Word6(0x200, 0x200).Flags(0x0800)},
        {"other wIdent", TDocBuilder().WIdent(0xA5DB)},
        {"no WordDocument stream", TDocBuilder().Omit(u"WordDocument")},
        {"FIB cut before its flags", TDocBuilder().DocSize(0x0B)},
    };
    std::vector<std::pair<std::string, std::wstring>> paths = {
        {"docx", docx}, {"missing", dir_ + L"missing.doc"}, {"folder", folder}, {"empty name", L""}, {"text", text}};
    for (size_t i = 0; i < std::size(documents); ++i) {
        const std::wstring path = dir_ + L"refused" + std::to_wstring(i) + L".doc";
        WriteDocument(path, documents[i].Document);
        WriteText(path + L".txt", "text Word would export");
        paths.emplace_back(documents[i].What, path);
    }
    for (const auto& [what, path] : paths) {
        SCOPED_TRACE(what);
        EXPECT_FALSE(Load(path));
        EXPECT_TRUE(LoadedLines().empty());
        EXPECT_TRUE(WordStub().Log().empty());
    }
    for (size_t i = 0; i < std::size(documents); ++i) {
        DeleteFileW(paths[paths.size() - 1 - i].second.c_str());
        DeleteFileW((paths[paths.size() - 1 - i].second + L".txt").c_str());
    }
    DeleteFileW(docx.c_str());
    DeleteFileW(text.c_str());
    RemoveDirectoryW(folder.c_str());
}

// Only those two FIB flags keep Word away; a Word 6/95 document goes to Word too.
TEST_F(MSWordLoader, StartsWordForTheOtherFlagsAndWord6) {
    const std::pair<const char*, TDocBuilder> documents[] = {
        {"Word 97, every other flag", TDocBuilder().Flags(0xF6FF)},
        {"Word 6", TDocBuilder().Word6(0x200, 0x200).Flags(0xF6FF)},
    };
    for (const auto& [what, document] : documents) {
        SCOPED_TRACE(what);
        WordStub().Reset();
        WriteDocument(doc_, document);
        EXPECT_TRUE(Load(doc_));
        EXPECT_EQ(LoadedLines(), kFixtureLines);
    }
}

TEST_F(MSWordLoader, FailsWhenNoServerIsRegistered) {
    WordStub().Unregister();
    const bool loaded = Load(doc_);
    WordStub().Register();
    EXPECT_FALSE(loaded);
    EXPECT_TRUE(LoadedLines().empty());
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
const std::wstring kOptions = L"Application.Options get ->result";
const std::wstring kLinksBack = L"Options.UpdateLinksAtOpen put <put>=VT_BOOL:-1";
const std::wstring kNormal = L"Application.NormalTemplate get ->result";
const std::wstring kNormalSaved = L"Template.Saved put <put>=VT_BOOL:-1";
const std::wstring kQuitUnsaved = L"Application.Quit method SaveChanges=VT_I4:0";

class MSWordLoaderFailure : public MSWordLoader, public ::testing::WithParamInterface<TFailureCase> {};

TEST_P(MSWordLoaderFailure, CleansUpAndFails) {
    const TFailureCase& c = GetParam();
    WordStub().FailAt(c.Member, c.Occurrence, c.AfterEffect);
    EXPECT_FALSE(Load(doc_));
    EXPECT_TRUE(LoadedLines().empty());

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
        TFailureCase{.Member = L"Visible", .Occurrence = 1, .Then = {kNormal, kNormalSaved, kQuitUnsaved}},
        TFailureCase{.Member = L"DisplayAlerts", .Occurrence = 1, .Then = {kNormal, kNormalSaved, kQuitUnsaved}},
        // Macros cannot be switched off: the document is never opened.
        TFailureCase{.Member = L"AutomationSecurity", .Occurrence = 1, .Then = {kNormal, kNormalSaved, kQuitUnsaved}},
        TFailureCase{.Member = L"Options", .Occurrence = 1, .Then = {kNormal, kNormalSaved, kQuitUnsaved}},
        TFailureCase{.Member = L"UpdateLinksAtOpen", .Occurrence = 1, .Then = {kNormal, kNormalSaved, kQuitUnsaved}},
        // From the put on, the option is put back as it was read.
        TFailureCase{.Member = L"UpdateLinksAtOpen",
                     .Occurrence = 2,
                     .Then = {kOptions, kLinksBack, kNormal, kNormalSaved, kQuitUnsaved}},
        TFailureCase{.Member = L"Documents",
                     .Occurrence = 1,
                     .Then = {kOptions, kLinksBack, kNormal, kNormalSaved, kQuitUnsaved}},
        TFailureCase{.Member = L"OpenNoRepairDialog",
                     .Occurrence = 1,
                     .Then = {kOptions, kLinksBack, kNormal, kNormalSaved, kQuitUnsaved}},
        // The document is open but was never reached: Quit closes it unsaved.
        TFailureCase{.Member = L"Documents",
                     .Occurrence = 2,
                     .Then = {kOptions, kLinksBack, kNormal, kNormalSaved, kQuitUnsaved}},
        TFailureCase{
            .Member = L"Item", .Occurrence = 1, .Then = {kOptions, kLinksBack, kNormal, kNormalSaved, kQuitUnsaved}},
        TFailureCase{.Member = L"SaveAs",
                     .Occurrence = 1,
                     .Then = {kCloseUnsaved, kOptions, kLinksBack, kNormal, kNormalSaved, kQuitUnsaved}},
        // The text file was written before the failure: it is deleted too.
        TFailureCase{.Member = L"SaveAs",
                     .Occurrence = 1,
                     .AfterEffect = true,
                     .Then = {kCloseUnsaved, kOptions, kLinksBack, kNormal, kNormalSaved, kQuitUnsaved}},
        TFailureCase{.Member = L"Documents",
                     .Occurrence = 3,
                     .Then = {kCloseUnsaved, kOptions, kLinksBack, kNormal, kNormalSaved, kQuitUnsaved}},
        TFailureCase{.Member = L"Item",
                     .Occurrence = 2,
                     .Then = {kCloseUnsaved, kOptions, kLinksBack, kNormal, kNormalSaved, kQuitUnsaved}},
        TFailureCase{
            .Member = L"Close", .Occurrence = 1, .Then = {kOptions, kLinksBack, kNormal, kNormalSaved, kQuitUnsaved}},
        // A step before Quit that fails is not tried again; the others still run.
        TFailureCase{.Member = L"Options", .Occurrence = 2, .Then = {kNormal, kNormalSaved, kQuitUnsaved}},
        TFailureCase{.Member = L"UpdateLinksAtOpen", .Occurrence = 3, .Then = {kNormal, kNormalSaved, kQuitUnsaved}},
        TFailureCase{.Member = L"NormalTemplate", .Occurrence = 1, .Then = {kQuitUnsaved}},
        TFailureCase{.Member = L"Saved", .Occurrence = 1, .Then = {kQuitUnsaved}},
        TFailureCase{.Member = L"Quit", .Occurrence = 1, .Then = {L"Application released without Quit"}}),
    [](const ::testing::TestParamInfo<TFailureCase>& info) {
        return Utf16ToUtf8(FromW(info.param.Member)) + std::to_string(info.param.Occurrence) +
               (info.param.AfterEffect ? "AfterWriting" : "");
    });

}  // namespace
}  // namespace pagelet
