// The built plug-in with MSWord=-1 in its settings file: ListLoad takes the
// document's text from the automation server registered as
// "Word.Application" (the test-only stub) and shows it, or reports that the
// document could not be opened.

#include <windows.h>
#include <objbase.h>

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "common/Win32Text.h"
#include "msword/WordStubHarness.h"
#include "support/DocBuilder.h"
#include "support/WinHarness.h"

namespace {

using pagelet::test::WordStub;
namespace test = pagelet::test;

using test::Plugin;

// The host's side: OLE started on the user-interface thread, the plug-in
// loaded and given its settings folder, the stub registered.
const auto* const kEnvironment = test::AddPluginEnvironment(
    "msword-listload",
    {.Com = test::TComStart::Ole, .SetUp = [] { WordStub().SetUp(); }, .TearDown = [] { WordStub().TearDown(); }});

// The plug-in's settings folder, with a trailing backslash.
std::wstring SettingsDir() { return Plugin().SettingsDir.wstring() + L"\\"; }

// Message boxes shown during a call (see TBoxCatcher).
std::vector<test::TBox>& Boxes = test::TBoxCatcher::Boxes();

class MSWordListLoad : public ::testing::Test {
protected:
    void SetUp() override {
        doc_ = SettingsDir() + L"report.doc";
        // A Word document without text of its own: the stub exports the fixture beside it.
        pagelet::WriteFileBytes(pagelet::FromW(doc_.c_str()), pagelet::TDocBuilder().Build());
        test::WriteText(doc_ + L".txt", "Exported by Word\r\nSecond paragraph\r\n");
        SetMSWord(L"-1");
        WordStub().Reset();
        test::TBoxCatcher::Clear();

        test::RegisterTestClass(L"PageletMSWordTestLister");
        lister_ = test::MakeWindow(L"PageletMSWordTestLister", L"Lister", WS_OVERLAPPEDWINDOW, {0, 0, 640, 480});
        ASSERT_NE(lister_, nullptr);
    }
    void TearDown() override {
        DestroyWindow(lister_);
        DeleteFileW((doc_ + L".txt").c_str());
        DeleteFileW(doc_.c_str());
        WordStub().Reset();
        EXPECT_EQ(WordStub().LiveObjects(), 0);
    }

    static void SetMSWord(const wchar_t* value) {
        WritePrivateProfileStringW(L"Options", L"MSWord", value, (SettingsDir() + L"Pagelet.ini").c_str());
    }

    HWND Load() {
        std::string path = test::Ansi(doc_);
        test::TBoxCatcher catcher(50);
        return Plugin().ListLoad(lister_, path.data(), 0);
    }

    std::wstring doc_;
    HWND lister_ = nullptr;
};

TEST_F(MSWordListLoad, ShowsTheTextWordExported) {
    HWND viewer = Load();
    ASSERT_NE(viewer, nullptr);
    EXPECT_TRUE(Boxes.empty());
    HWND edit = test::ViewerControl(viewer);
    ASSERT_NE(edit, nullptr) << "no rich-edit control in the viewer";
    EXPECT_EQ(test::Lines(test::WindowText(edit)),
              (std::vector<std::wstring>{L"Exported by Word", L"Second paragraph"}));
    const std::vector<std::wstring> calls = WordStub().Calls();
    ASSERT_FALSE(calls.empty());
    EXPECT_EQ(calls.front(), L"CreateInstance");
    EXPECT_EQ(calls.back(), L"Application.Quit method SaveChanges=VT_I4:0");
    Plugin().ListCloseWindow(viewer);
}

TEST_F(MSWordListLoad, ReportsAFailedExport) {
    WordStub().FailAt(L"SaveAs", 1, true);
    EXPECT_EQ(Load(), nullptr);
    ASSERT_EQ(Boxes.size(), 1u);
    EXPECT_EQ(test::Wide(Boxes[0].Text), L"Error opening document:\r" + doc_);
    const std::vector<std::wstring> calls = WordStub().Calls();
    ASSERT_FALSE(calls.empty());
    EXPECT_EQ(calls.back(), L"Application.Quit method SaveChanges=VT_I4:0");
}

// The setting chooses the loader: without it Word is never started (and the
// built-in converter finds no text in the document).
// A document that would make Word ask for its password never reaches Word.
TEST_F(MSWordListLoad, ReportsAnEncryptedDocumentWithoutStartingWord) {
    pagelet::WriteFileBytes(pagelet::FromW(doc_.c_str()), pagelet::TDocBuilder().Flags(0x0100).Build());
    EXPECT_EQ(Load(), nullptr);
    EXPECT_TRUE(WordStub().Log().empty());
    ASSERT_EQ(Boxes.size(), 1u);
    EXPECT_EQ(test::Wide(Boxes[0].Text), L"Error opening document:\r" + doc_);
}

TEST_F(MSWordListLoad, LeavesWordAloneWhenTheSettingIsOff) {
    SetMSWord(L"0");
    EXPECT_EQ(Load(), nullptr);
    EXPECT_TRUE(WordStub().Log().empty());
    ASSERT_EQ(Boxes.size(), 1u);
    EXPECT_EQ(test::Wide(Boxes[0].Text), L"Error opening document:\r" + doc_);
}

// Thumbnails come from the built-in converter even with MSWord=-1, on a
// worker thread as the host calls them: Word is never started.
TEST_F(MSWordListLoad, ThumbnailsNeverStartWord) {
    std::wstring sample = PAGELET_SAMPLE_DOC;
    HBITMAP pictures[2] = {};
    std::thread worker([&] {
        pictures[0] = Plugin().ListGetPreviewBitmapW(sample.data(), 120, 160, nullptr, 0);
        pictures[1] = Plugin().ListGetPreviewBitmapW(doc_.data(), 120, 160, nullptr, 0);
    });
    worker.join();
    EXPECT_NE(pictures[0], nullptr);
    EXPECT_EQ(pictures[1], nullptr) << "the document has no text of its own";
    if (pictures[0]) DeleteObject(pictures[0]);
    EXPECT_TRUE(WordStub().Log().empty());
}

}  // namespace
