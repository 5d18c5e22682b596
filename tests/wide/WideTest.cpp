// The host's wide interface through the built plug-in: UTF-16 paths, the
// next document in a live viewer, thumbnails from background threads, the
// dark scheme and the search's answer.

#include <gtest/gtest.h>
#include <windows.h>
#include <richedit.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "common/Utf.h"
#include "common/Win32Text.h"
#include "loading/DocumentText.h"
#include "loading/Loaders.h"
#include "plugin/ListerApi.h"
#include "support/DocBuilder.h"
#include "support/SearchCases.h"
#include "support/WinHarness.h"

namespace pagelet {
namespace {

namespace fs = std::filesystem;

// ---- the plug-in ----------------------------------------------------------

using test::ControlText;
using test::Pump;
using test::Selection;

using test::Plugin;

std::string ToAnsi(const std::u16string& text) { return test::Ansi(text); }

WCHAR* W(std::u16string& s) { return reinterpret_cast<WCHAR*>(s.data()); }

fs::path IniPath() { return Plugin().SettingsDir / "Pagelet.ini"; }

void WriteIni(const std::string& options) { test::WriteText(IniPath().wstring(), "[Options]\r\n" + options); }

std::string ReadAll(const fs::path& path) { return test::FileText(path.wstring()); }

// LoadingModuleInit: this process's own DocumentText, for expected texts.
const auto* const kEnvironment = test::AddPluginEnvironment("wide", LoadingModuleInit);

// Message boxes met while a call runs (see TBoxCatcher).
std::vector<test::TBox>& Boxes = test::TBoxCatcher::Boxes();

// ---- documents --------------------------------------------------------------

// Many numbered paragraphs, long enough to scroll.
std::u16string Paragraphs(const std::string& word, int count) {
    std::string text;
    for (int i = 0; i < count; ++i) text += word + " " + std::to_string(i) + " of a long enough document\r";
    return AsciiToUtf16(text);
}

std::u16string ExpectedViewerText(const std::u16string& path) {
    std::optional<TLoadedDocument> document = OpenDocument(path, TLoadSettings{});
    if (!document) return u"<not loaded>";
    return ReadWholeText(std::move(*document));
}

const fs::path kSample = (fs::path(PAGELET_SOURCE_DIR) / "samples" / "sample.doc").make_preferred();

// ---- the viewer's control as the host could read it ---------------------------

HWND Control(HWND viewer) { return test::ViewerControl(viewer); }

// The background colour in force: the one the control gives back when it is
// set again (and then restored).
COLORREF BackColor(HWND control) {
    auto previous = static_cast<COLORREF>(SendMessageW(control, EM_SETBKGNDCOLOR, 0, RGB(1, 2, 3)));
    SendMessageW(control, EM_SETBKGNDCOLOR, 0, previous);
    return previous;
}

// The default text colour: the system's window text colour when automatic.
COLORREF TextColor(HWND control) {
    CHARFORMAT2W format{};
    format.cbSize = sizeof format;
    SendMessageW(control, EM_GETCHARFORMAT, SCF_DEFAULT, reinterpret_cast<LPARAM>(&format));
    return (format.dwEffects & CFE_AUTOCOLOR) ? GetSysColor(COLOR_WINDOWTEXT) : format.crTextColor;
}

std::u16string FontFace(HWND control) {
    CHARFORMAT2W format{};
    format.cbSize = sizeof format;
    SendMessageW(control, EM_GETCHARFORMAT, SCF_DEFAULT, reinterpret_cast<LPARAM>(&format));
    return FromW(format.szFaceName);
}

// ---- the fixture ------------------------------------------------------------

class WideTest : public ::testing::Test {
protected:
    void SetUp() override {
        test::RegisterTestClass(L"PageletWideTestLister");
        // Hidden: without a window manager Wine waits for mapped windows to go.
        lister_ = test::MakeWindow(L"PageletWideTestLister", L"Lister", WS_OVERLAPPEDWINDOW, {0, 0, 640, 480});
        catcher_ = std::make_unique<test::TBoxCatcher>();
        WriteIni("");
    }
    void TearDown() override {
        DestroyWindow(lister_);
        Pump();
        catcher_.reset();
        EXPECT_TRUE(Boxes.empty()) << "unexpected box: " << Utf16ToUtf8(Boxes.empty() ? u"" : Boxes[0].Text);
    }

    HWND LoadW(std::u16string path, int flags = 0) {
        HWND viewer = Plugin().ListLoadW(lister_, W(path), flags);
        Pump();
        return viewer;
    }
    int LoadNextW(HWND viewer, std::u16string path, int flags = 0) {
        int result = Plugin().ListLoadNextW(lister_, viewer, W(path), flags);
        Pump();
        return result;
    }

    HWND lister_ = nullptr;
    std::unique_ptr<test::TBoxCatcher> catcher_;
};

// ---- UTF-16 paths -------------------------------------------------------------

TEST_F(WideTest, ANonAsciiNameShowsItsTextThroughListLoadW) {
    // Cyrillic and Greek letters that the ANSI code page cannot carry.
    const std::string name = "-\xD0\x9E\xD1\x82\xD1\x87\xD1\x91\xD1\x82-\xCE\xB1\xCE\xB2.doc";  // -Отчёт-αβ.doc
    auto doc = TextDoc(u"\u041F\u0440\u0438\u0432\u0435\u0442\rsecond line\r", name);
    ASSERT_NE(ToAnsi(doc->Path()), Utf16ToUtf8(doc->Path())) << "the name must not survive the ANSI code page";

    HWND viewer = LoadW(doc->Path());
    ASSERT_NE(viewer, nullptr);
    EXPECT_EQ(ControlText(Control(viewer)), u"\u041F\u0440\u0438\u0432\u0435\u0442\r\nsecond line\r\n");
    Plugin().ListCloseWindow(viewer);

    // A name that cannot be opened is reported as it was given.
    std::u16string missing = doc->Path() + u"-\u0436.doc";
    EXPECT_EQ(LoadW(missing), nullptr);
    ASSERT_EQ(Boxes.size(), 1u);
    EXPECT_EQ(Boxes[0].Text, u"Error opening document:\r" + missing);
    Boxes.clear();
}

// ---- the next document in a live viewer -----------------------------------------

TEST_F(WideTest, TheNextDocumentReplacesTheTextAndKeepsTheViewer) {
    WriteIni("TextFont=Courier New,14,1,255,1\r\nBackColor=15794175\r\n");  // red text on light yellow
    const std::string iniBefore = ReadAll(IniPath());
    auto first = TextDoc(Paragraphs("first", 300));
    auto second = TextDoc(Paragraphs("second", 300));

    HWND viewer = LoadW(first->Path());
    ASSERT_NE(viewer, nullptr);
    ASSERT_EQ(Plugin().ListSendCommand(viewer, 2, 1), 0);  // word wrap on (rebuilds the control)
    HWND control = Control(viewer);
    ASSERT_NE(control, nullptr);
    SendMessageW(control, EM_SETZOOM, 3, 2);
    CHARRANGE away{5000, 5010};
    SendMessageW(control, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&away));
    SendMessageW(control, EM_SCROLLCARET, 0, 0);
    ASSERT_GT(SendMessageW(control, EM_GETFIRSTVISIBLELINE, 0, 0), 0);
    const LONG style = GetWindowLongW(control, GWL_STYLE);

    // Through both forms of the export; the ANSI one with an ASCII path.
    for (bool wide : {true, false}) {
        SCOPED_TRACE(wide ? "ListLoadNextW" : "ListLoadNext");
        auto& next = wide ? second : first;
        std::string ansi = ToAnsi(next->Path());
        int result = wide ? LoadNextW(viewer, next->Path()) : Plugin().ListLoadNext(lister_, viewer, ansi.data(), 0);
        Pump();
        ASSERT_EQ(result, 0);
        EXPECT_EQ(Control(viewer), control) << "the same control, not a new one";
        EXPECT_TRUE(ControlText(control) == ExpectedViewerText(next->Path()));
        CHARRANGE sel = Selection(control);
        EXPECT_EQ(sel.cpMin, 0);
        EXPECT_EQ(sel.cpMax, 0);
        EXPECT_EQ(SendMessageW(control, EM_GETFIRSTVISIBLELINE, 0, 0), 0);
        EXPECT_EQ(test::Zoom(control), std::make_pair(3, 2));
        EXPECT_EQ(GetWindowLongW(control, GWL_STYLE), style) << "word wrap and scroll bars kept";
        EXPECT_EQ(FontFace(control), u"Courier New");
        EXPECT_EQ(TextColor(control), RGB(255, 0, 0));
        EXPECT_EQ(BackColor(control), static_cast<COLORREF>(15794175));
        // Scrolled away again for the next round.
        SendMessageW(control, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&away));
        SendMessageW(control, EM_SCROLLCARET, 0, 0);
    }
    EXPECT_EQ(ReadAll(IniPath()), iniBefore);
    Plugin().ListCloseWindow(viewer);
}

TEST_F(WideTest, ANextDocumentThatCannotBeShownLeavesThePreviousOneAsItWas) {
    auto shown = TextDoc(Paragraphs("shown", 50));
    auto empty = TextDoc(u"");
    auto notWord = std::make_unique<TTempFile>(std::vector<uint8_t>(4096, 0x00), ".doc");
    auto text = std::make_unique<TTempFile>(TextDocBytes(u"a Word document under another name\r"), ".txt");
    HWND viewer = LoadW(shown->Path());
    ASSERT_NE(viewer, nullptr);
    HWND control = Control(viewer);
    const std::u16string before = ControlText(control);
    CHARRANGE picked{7, 12};
    SendMessageW(control, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&picked));

    for (const std::u16string& path : {empty->Path(), notWord->Path(), text->Path(), shown->Path() + u".missing.doc"}) {
        SCOPED_TRACE(Utf16ToUtf8(path));
        EXPECT_EQ(LoadNextW(viewer, path), 1);
        EXPECT_EQ(Control(viewer), control);
        EXPECT_TRUE(ControlText(control) == before);
        CHARRANGE sel = Selection(control);
        EXPECT_EQ(sel.cpMin, 7);
        EXPECT_EQ(sel.cpMax, 12);
    }
    // Handles that are not viewers of this plug-in.
    for (HWND other : {lister_, control, static_cast<HWND>(nullptr)}) EXPECT_EQ(LoadNextW(other, shown->Path()), 1);
    EXPECT_TRUE(Boxes.empty());
    // The viewer still works: a search in the old text.
    std::u16string word = u"shown 3 ";
    EXPECT_EQ(Plugin().ListSearchTextW(viewer, W(word), 1), 0);
    Plugin().ListCloseWindow(viewer);
}

// ---- the search's answer ----------------------------------------------------

TEST_F(WideTest, ASearchWithoutAMatchAnswersOneAndKeepsTheSelection) {
    auto doc = TextDoc(u"alpha beta gamma\ralpha again\r");
    HWND viewer = LoadW(doc->Path());
    ASSERT_NE(viewer, nullptr);
    using namespace lister;
    // Offsets of the text with CR LF; the control counts a line end as one
    // position, so the second "alpha" is selected there as 17 to 22.
    const test::TSearchCase cases[] = {
        {.Name = "alpha from the start", .Find = u"alpha", .Flags = kSearchFromStart, .After = {0, 5}},
        {.Name = "alpha after a line end", .Before = {0, 5}, .Find = u"alpha", .After = {18, 23}},
        {.Name = "no further alpha", .Before = {18, 23}, .Find = u"alpha", .Found = false, .After = {18, 23}},
        {.Name = "no delta", .Before = {18, 23}, .Find = u"delta", .Flags = kSearchFromStart, .Found = false,
         .After = {18, 23}},
        {.Name = "no ALPHA in case", .Before = {18, 23}, .Find = u"ALPHA", .Flags = kSearchFromStart | kSearchMatchCase,
         .Found = false, .After = {18, 23}},
        {.Name = "no whole alp", .Before = {18, 23}, .Find = u"alp", .Flags = kSearchFromStart | kSearchWholeWords,
         .Found = false, .After = {18, 23}},
        {.Name = "gamma backwards", .Before = {18, 23}, .Find = u"gamma", .Flags = kSearchBackwards, .After = {11, 16}},
        {.Name = "no again before", .Before = {11, 16}, .Find = u"again", .Flags = kSearchBackwards, .Found = false,
         .After = {11, 16}},
    };
    test::ExpectSearches(Plugin(), viewer, u"alpha beta gamma\r\nalpha again\r\n", cases);
    Plugin().ListCloseWindow(viewer);
}

// ---- the dark scheme ----------------------------------------------------------

TEST_F(WideTest, DarkModeShowsSystemColoursDarkAndKeepsExplicitOnes) {
    const COLORREF window = GetSysColor(COLOR_WINDOW), windowText = GetSysColor(COLOR_WINDOWTEXT);
    const COLORREF darkBack = RGB(32, 32, 32), darkText = RGB(220, 220, 220);
    struct TRow {
        const char* options;  // of Pagelet.ini; nullptr: no settings file (a fresh install)
        COLORREF lightBack, lightText, darkBack, darkText;
    };
    const TRow rows[] = {
        // The defaults, black on white, defaulted or read: dark as system colours are.
        {.options = nullptr,
         .lightBack = RGB(255, 255, 255),
         .lightText = RGB(0, 0, 0),
         .darkBack = darkBack,
         .darkText = darkText},
        {.options = "BackColor=16777215\r\nTextFont=Tahoma,10,0,0,1\r\n",
         .lightBack = RGB(255, 255, 255),
         .lightText = RGB(0, 0, 0),
         .darkBack = darkBack,
         .darkText = darkText},
        // White chosen with another text colour stays white.
        {.options = "BackColor=16777215\r\nTextFont=Tahoma,10,0,255,1\r\n",
         .lightBack = RGB(255, 255, 255),
         .lightText = RGB(255, 0, 0),
         .darkBack = RGB(255, 255, 255),
         .darkText = RGB(255, 0, 0)},
        // System colours: clWindow and clWindowText.
        {.options = "BackColor=-16777211\r\nTextFont=Tahoma,10,0,-16777208,1\r\n",
         .lightBack = window,
         .lightText = windowText,
         .darkBack = darkBack,
         .darkText = darkText},
        // Explicit colours stay in both schemes.
        {.options = "BackColor=12632256\r\nTextFont=Tahoma,10,0,8388608,1\r\n",
         .lightBack = RGB(192, 192, 192),
         .lightText = RGB(0, 0, 128),
         .darkBack = RGB(192, 192, 192),
         .darkText = RGB(0, 0, 128)},
        // One of each.
        {.options = "BackColor=-16777211\r\nTextFont=Tahoma,10,0,255,1\r\n",
         .lightBack = window,
         .lightText = RGB(255, 0, 0),
         .darkBack = darkBack,
         .darkText = RGB(255, 0, 0)},
    };
    auto doc = TextDoc(u"dark or light\r");
    for (const TRow& row : rows) {
        SCOPED_TRACE(row.options ? row.options : "no settings file");
        if (row.options) {
            WriteIni(row.options);
        } else {
            fs::remove(IniPath());
        }
        const std::string iniBefore = ReadAll(IniPath());
        HWND viewer = LoadW(doc->Path(), 128);
        ASSERT_NE(viewer, nullptr);
        EXPECT_EQ(BackColor(Control(viewer)), row.darkBack);
        EXPECT_EQ(TextColor(Control(viewer)), row.darkText);
        // Command 2 without bit 128: light; with it (and word wrap): dark again.
        ASSERT_EQ(Plugin().ListSendCommand(viewer, 2, 0), 0);
        EXPECT_EQ(BackColor(Control(viewer)), row.lightBack);
        EXPECT_EQ(TextColor(Control(viewer)), row.lightText);
        ASSERT_EQ(Plugin().ListSendCommand(viewer, 2, 128 | 1), 0);
        EXPECT_EQ(BackColor(Control(viewer)), row.darkBack);
        EXPECT_EQ(TextColor(Control(viewer)), row.darkText);
        // The next document follows its own flags.
        EXPECT_EQ(LoadNextW(viewer, doc->Path(), 0), 0);
        EXPECT_EQ(BackColor(Control(viewer)), row.lightBack);
        EXPECT_EQ(TextColor(Control(viewer)), row.lightText);
        EXPECT_EQ(ReadAll(IniPath()), iniBefore) << "the settings file never changes";
        Plugin().ListCloseWindow(viewer);
    }
}

// ---- thumbnails -------------------------------------------------------------------

struct TPicture {
    int Width = 0, Height = 0;
    std::vector<uint32_t> Pixels;  // 0x00RRGGBB, top row first
    uint32_t At(int x, int y) const { return Pixels[static_cast<size_t>(y) * Width + x] & 0xFFFFFF; }
};

TPicture Read(HBITMAP bitmap) {
    TPicture picture;
    BITMAP info{};
    if (!GetObjectW(bitmap, sizeof info, &info)) return picture;
    picture.Width = info.bmWidth;
    picture.Height = info.bmHeight;
    BITMAPINFO header{};
    header.bmiHeader.biSize = sizeof header.bmiHeader;
    header.bmiHeader.biWidth = info.bmWidth;
    header.bmiHeader.biHeight = -info.bmHeight;
    header.bmiHeader.biPlanes = 1;
    header.bmiHeader.biBitCount = 32;
    header.bmiHeader.biCompression = BI_RGB;
    picture.Pixels.resize(static_cast<size_t>(info.bmWidth) * info.bmHeight);
    HDC dc = GetDC(nullptr);
    GetDIBits(dc, bitmap, 0, static_cast<UINT>(info.bmHeight), picture.Pixels.data(), &header, DIB_RGB_COLORS);
    ReleaseDC(nullptr, dc);
    return picture;
}

TEST_F(WideTest, ThumbnailsFromTwoThreadsAtOnceLookLikeTheirFirstPages) {
    WriteIni("MSWord=-1\r\n");  // a thumbnail never asks Word, whatever the setting
    auto built = TextDoc(Paragraphs("thumbnail", 2000));
    auto notWord = std::make_unique<TTempFile>(std::vector<uint8_t>(4096, 0x00), ".doc");
    // A file of another format (RTF) named .doc: its reader's text.
    std::string rtfText = "{\\rtf1 ";
    for (int i = 0; i < 200; ++i) rtfText += "The thumbnail of an RTF file\\par ";
    auto rtf = std::make_unique<TTempFile>(std::vector<uint8_t>(rtfText.begin(), rtfText.end()), ".doc");
    struct TJob {
        std::u16string path;
        int width, height;
        bool document;
    };
    std::vector<TJob> jobs = {
        {kSample.u16string(), 200, 200, true},  // square box: as high as the box, narrower
        {built->Path(), 300, 120, true},        // wide box: as high as the box
        {built->Path(), 90, 400, true},         // tall box: as wide as the box
        {notWord->Path(), 100, 100, false},    {kSample.u16string() + u".missing.doc", 100, 100, false},
        {rtf->Path(), 150, 150, true},
    };
    std::vector<HBITMAP> results(jobs.size());
    for (int round = 0; round < 3; ++round) {
        // Two threads, each through all jobs, started together.
        std::atomic<int> ready{0};
        std::vector<std::vector<HBITMAP>> perThread(2, std::vector<HBITMAP>(jobs.size()));
        auto work = [&](int thread) {
            ++ready;
            while (ready < 2) std::this_thread::yield();
            for (size_t i = 0; i < jobs.size(); ++i) {
                size_t j = thread == 0 ? i : jobs.size() - 1 - i;
                std::u16string path = jobs[j].path;
                perThread[thread][j] =
                    Plugin().ListGetPreviewBitmapW(W(path), jobs[j].width, jobs[j].height, nullptr, 0);
            }
        };
        std::thread a(work, 0), b(work, 1);
        a.join();
        b.join();
        for (size_t j = 0; j < jobs.size(); ++j) {
            SCOPED_TRACE(Utf16ToUtf8(jobs[j].path) + " " + std::to_string(jobs[j].width) + "x" +
                         std::to_string(jobs[j].height));
            for (HBITMAP bitmap : {perThread[0][j], perThread[1][j]}) {
                EXPECT_EQ(bitmap != nullptr, jobs[j].document);
                if (!bitmap) continue;
                TPicture picture = Read(bitmap);
                EXPECT_LE(picture.Width, jobs[j].width);
                EXPECT_LE(picture.Height, jobs[j].height);
                EXPECT_TRUE(picture.Width == jobs[j].width || picture.Height == jobs[j].height)
                    << picture.Width << "x" << picture.Height << ": as large as fits";
                // A portrait page: height / width as 297 / 210, within a pixel.
                EXPECT_NEAR(picture.Height, picture.Width * 297.0 / 210.0, 1.5);
                // White paper at the edges, dark text inside.
                EXPECT_EQ(picture.At(0, 0), 0xFFFFFFu);
                EXPECT_EQ(picture.At(picture.Width - 1, picture.Height - 1), 0xFFFFFFu);
                const auto dark = std::count_if(picture.Pixels.begin(), picture.Pixels.end(), [](uint32_t p) {
                    return ((p >> 16) & 0xFF) < 128 && ((p >> 8) & 0xFF) < 128 && (p & 0xFF) < 128;
                });
                EXPECT_GT(dark, picture.Width * picture.Height / 200) << "text pixels";
                if (round == 0 && j == 0 && bitmap == perThread[0][j])
                    results[j] = bitmap;
                else
                    DeleteObject(bitmap);
            }
        }
    }
    // The ANSI form gives the same picture.
    std::string ansi = ToAnsi(kSample.u16string());
    HBITMAP fromAnsi = Plugin().ListGetPreviewBitmap(ansi.data(), 200, 200, nullptr, 0);
    ASSERT_NE(fromAnsi, nullptr);
    ASSERT_NE(results[0], nullptr);
    EXPECT_TRUE(Read(fromAnsi).Pixels == Read(results[0]).Pixels);
    DeleteObject(fromAnsi);
    DeleteObject(results[0]);
    // Nothing for sizes that hold no page.
    std::u16string path = kSample.u16string();
    EXPECT_EQ(Plugin().ListGetPreviewBitmapW(W(path), 0, 100, nullptr, 0), nullptr);
    EXPECT_EQ(Plugin().ListGetPreviewBitmapW(W(path), 100, -1, nullptr, 0), nullptr);
    // No window of any kind appeared on the worker threads: the only windows
    // of this process are the test's own.
    EXPECT_TRUE(Boxes.empty());
}

}  // namespace
}  // namespace pagelet
