// Documents far longer than one step of the viewer's load, through the built
// plug-in: ListLoad returns with the first text shown and the rest pending,
// the rest arrives while the host pumps its messages, whatever needs the whole
// text finishes it first, and closing while text is pending is safe.

#include <gtest/gtest.h>
#include <windows.h>
#include <richedit.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "common/Utf.h"
#include "common/Win32Text.h"
#include "loading/DocumentText.h"
#include "loading/Loaders.h"
#include "plugin/ListerApi.h"
#include "support/DocBuilder.h"
#include "support/WinHarness.h"

namespace pagelet {
namespace {

using test::ControlText;
using test::Selection;

// ---- the plug-in ----------------------------------------------------------

using test::Plugin;

// LoadingModuleInit: this process's own DocumentText, for expected texts.
const auto* const kEnvironment = test::AddPluginEnvironment("bigdoc", LoadingModuleInit);

// ---- documents --------------------------------------------------------------

// About 300K characters in 4000 paragraphs of differing length, with a
// surrogate pair and tabs on the way and a word found only in the last one.
std::u16string BigText(char16_t tag) {
    std::u16string text;
    for (int i = 0; i < 4000; ++i) {
        text += tag;
        text += AsciiToUtf16(" paragraph " + std::to_string(i) + ":\twords to read, ");
        text += std::u16string(static_cast<size_t>(i % 97), u'a' + static_cast<char16_t>(i % 26));
        if (i % 1000 == 999) text += u"\U0001F600";
        text += u'\r';
    }
    text += u"the needle at the end\r";
    return text;
}

std::u16string ExpectedText(const std::u16string& path) {
    std::optional<TLoadedDocument> document = OpenDocument(path, TLoadSettings{});
    if (!document) return u"<not loaded>";
    return ReadWholeText(std::move(*document));
}

// ---- the host's side ------------------------------------------------------

LONG ControlLength(HWND control) {
    GETTEXTLENGTHEX query{GTL_NUMCHARS, 1200};
    return static_cast<LONG>(SendMessageW(control, EM_GETTEXTLENGTHEX, reinterpret_cast<WPARAM>(&query), 0));
}

LONG FirstVisibleLine(HWND control) { return static_cast<LONG>(SendMessageW(control, EM_GETFIRSTVISIBLELINE, 0, 0)); }

std::u16string ClipboardText() {
    std::u16string text;
    if (!OpenClipboard(nullptr)) return u"<no clipboard>";
    if (HANDLE data = GetClipboardData(CF_UNICODETEXT)) {
        if (auto* chars = static_cast<const wchar_t*>(GlobalLock(data))) {
            text = FromW(chars);
            GlobalUnlock(data);
        }
    }
    CloseClipboard();
    return text;
}

void ClearClipboard() {
    if (!OpenClipboard(nullptr)) return;
    EmptyClipboard();
    CloseClipboard();
}

void PumpOnce() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

// Pumps until no control of the given ones has grown for half a second
// (bounded); answers how many times the host's posted probe came through.
int PumpWhileGrowing(const std::vector<HWND>& controls, int maxSeconds = 120) {
    static const UINT probe = RegisterWindowMessageW(L"PageletBigDocProbe");
    std::vector<LONG> lengths(controls.size(), -1);
    DWORD lastGrowth = GetTickCount();
    const DWORD start = lastGrowth;
    int probes = 0;
    while (GetTickCount() - lastGrowth < 500 && GetTickCount() - start < static_cast<DWORD>(maxSeconds) * 1000) {
        PostThreadMessageW(GetCurrentThreadId(), probe, 0, 0);
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.hwnd == nullptr && msg.message == probe) {
                ++probes;
                continue;
            }
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        for (size_t i = 0; i < controls.size(); ++i) {
            LONG now = IsWindow(controls[i]) ? ControlLength(controls[i]) : -1;
            if (now != lengths[i]) {
                lengths[i] = now;
                lastGrowth = GetTickCount();
            }
        }
        Sleep(5);
    }
    return probes;
}

class BigDocumentTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        test::RegisterTestClass(L"PageletBigDocLister");
        big_ = TextDoc(BigText(u'A')).release();
        other_ = TextDoc(BigText(u'B')).release();
        expected_ = new std::u16string(ExpectedText(big_->Path()));
    }
    static void TearDownTestSuite() {
        delete big_;
        delete other_;
        delete expected_;
    }
    void TearDown() override {
        for (HWND wnd : windows_)
            if (IsWindow(wnd)) DestroyWindow(wnd);
        PumpOnce();
    }

    HWND MakeLister() {
        // Hidden: without a window manager, Wine waits for every mapped
        // top-level window to be withdrawn when it goes.
        HWND lister = CreateWindowExW(0, L"PageletBigDocLister", L"Lister", WS_OVERLAPPEDWINDOW, 0, 0, 640, 480,
                                      nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
        windows_.push_back(lister);
        return lister;
    }
    // ListLoad alone: no message is pumped.
    static HWND Load(HWND lister, const std::u16string& path, int flags = 0) {
        std::string ansi = test::Ansi(path);
        return Plugin().ListLoad(lister, ansi.data(), flags);
    }
    static HWND Control(HWND viewer) { return test::ViewerControl(viewer); }

    static inline TTempFile* big_ = nullptr;
    static inline TTempFile* other_ = nullptr;
    static inline std::u16string* expected_ = nullptr;
    std::vector<HWND> windows_;
};

void ExpectSameText(const std::u16string& shown, const std::u16string& expected) {
    EXPECT_EQ(shown.size(), expected.size());
    EXPECT_TRUE(shown == expected)
        << "first difference at "
        << std::mismatch(shown.begin(), shown.end(), expected.begin(), expected.end()).first - shown.begin();
}

// ---- the load ---------------------------------------------------------------

TEST_F(BigDocumentTest, FirstScreenAtOnceTheRestWhileTheHostPumpsWithTheViewKept) {
    ASSERT_GT(expected_->size(), 250000u);
    HWND viewer = Load(MakeLister(), big_->Path());
    ASSERT_NE(viewer, nullptr);
    HWND control = Control(viewer);
    const std::u16string first = ControlText(control);
    EXPECT_GT(first.size(), 1000u) << "the first screen is there when ListLoad returns";
    EXPECT_LT(first.size(), expected_->size() / 4) << "the rest is pending";
    EXPECT_EQ(first, expected_->substr(0, first.size())) << "cut after a line end";
    EXPECT_EQ(first.substr(first.size() - 2), u"\r\n");

    // The user scrolls and selects while the text arrives; both stay.
    test::Select(control, 300, 120);
    SendMessageW(control, EM_LINESCROLL, 0, 40);
    const LONG line = FirstVisibleLine(control);
    EXPECT_GT(line, 0);
    const int probes = PumpWhileGrowing({control});
    EXPECT_GT(probes, 5) << "the host's own messages come through while the text arrives";
    ExpectSameText(ControlText(control), *expected_);
    EXPECT_EQ(FirstVisibleLine(control), line);
    CHARRANGE sel = Selection(control);
    EXPECT_EQ(sel.cpMin, 300);
    EXPECT_EQ(sel.cpMax, 420);
    Plugin().ListCloseWindow(viewer);
}

TEST_F(BigDocumentTest, TwoViewersLoadingAtOnceKeepTheirOwnTexts) {
    const std::u16string otherExpected = ExpectedText(other_->Path());
    HWND first = Load(MakeLister(), big_->Path());
    HWND second = Load(MakeLister(), other_->Path());
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    EXPECT_LT(ControlText(Control(first)).size(), expected_->size());
    EXPECT_LT(ControlText(Control(second)).size(), otherExpected.size());
    PumpWhileGrowing({Control(first), Control(second)});
    ExpectSameText(ControlText(Control(first)), *expected_);
    ExpectSameText(ControlText(Control(second)), otherExpected);
    Plugin().ListCloseWindow(first);
    Plugin().ListCloseWindow(second);
}

// A host whose message loop drains the whole queue before its own work
// (PeekMessage until empty) gets control back between two steps of the load:
// a step never leaves a message that makes the next one at once.
TEST_F(BigDocumentTest, AHostThatDrainsItsQueueGetsControlBackBetweenSteps) {
    HWND viewer = Load(MakeLister(), big_->Path());
    ASSERT_NE(viewer, nullptr);
    HWND control = Control(viewer);
    size_t drains = 0;
    size_t grewDuringADrain = 0;
    while (ControlText(control).size() < expected_->size() && drains < 20000) {
        const size_t before = ControlText(control).size();
        MSG msg;
        size_t messages = 0;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
            ASSERT_LT(++messages, 1000u) << "the drain does not end: the load runs inside it";
        }
        ++drains;
        if (ControlText(control).size() > before) ++grewDuringADrain;
        Sleep(1);
    }
    ExpectSameText(ControlText(control), *expected_);
    EXPECT_GT(grewDuringADrain, 1u) << "the load went on in several drains";
    Plugin().ListCloseWindow(viewer);
}

// ---- what needs the whole text -------------------------------------------

// Each action, on a viewer with text pending, gives what it gives on a fully
// loaded one: the text, the selection and the clipboard. It works on the text
// in memory and returns without pushing the rest through the control; what
// is copied is on the clipboard when it returns.
TEST_F(BigDocumentTest, CommandsAndSearchWhilePendingActOnTheWholeText) {
    struct TCase {
        const char* Name;
        std::function<void(HWND viewer)> Act;
        bool CopiesAtOnce;  // the whole result is on the clipboard when the action returns
    };
    auto search = [](HWND viewer, const char16_t* text, int flags) {
        std::u16string copy = text;
        EXPECT_EQ(Plugin().ListSearchTextW(viewer, reinterpret_cast<WCHAR*>(WBuf(copy)), flags), 0);
    };
    const std::vector<TCase> cases = {
        {.Name = "copy (1)", .Act = [](HWND v) { Plugin().ListSendCommand(v, 1, 0); }, .CopiesAtOnce = true},
        {.Name = "select all (3), copy (1)",
         .Act =
             [](HWND v) {
                 Plugin().ListSendCommand(v, 3, 0);
                 Plugin().ListSendCommand(v, 1, 0);
             },
         .CopiesAtOnce = true},
        {.Name = "go to 80 percent (4)",
         .Act = [](HWND v) { Plugin().ListSendCommand(v, 4, 80); },
         .CopiesAtOnce = false},
        {.Name = "search forward", .Act = [&](HWND v) { search(v, u"needle", 0); }, .CopiesAtOnce = false},
        {.Name = "search backwards from the end",
         .Act = [&](HWND v) { search(v, u"paragraph 3998:", 1 | 8); },
         .CopiesAtOnce = false},
        {.Name = "word wrap on (2)", .Act = [](HWND v) { Plugin().ListSendCommand(v, 2, 1); }, .CopiesAtOnce = false},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        std::u16string clipboard[2];
        CHARRANGE selection[2];
        std::u16string text[2];
        std::u16string clipboardAtReturn;
        for (int pending = 0; pending < 2; ++pending) {
            ClearClipboard();
            HWND viewer = Load(MakeLister(), big_->Path());
            ASSERT_NE(viewer, nullptr);
            if (!pending) PumpWhileGrowing({Control(viewer)});
            test::Select(Control(viewer), 20, 55);
            EXPECT_EQ(ControlText(Control(viewer)).size() < expected_->size(), pending == 1);
            c.Act(viewer);
            if (pending) {
                EXPECT_LT(ControlText(Control(viewer)).size(), expected_->size());
                clipboardAtReturn = ClipboardText();
            }
            PumpWhileGrowing({Control(viewer)});
            text[pending] = ControlText(Control(viewer));
            selection[pending] = Selection(Control(viewer));
            clipboard[pending] = ClipboardText();
            Plugin().ListCloseWindow(viewer);
        }
        ExpectSameText(text[1], *expected_);
        ExpectSameText(text[0], *expected_);
        EXPECT_EQ(selection[1].cpMin, selection[0].cpMin);
        EXPECT_EQ(selection[1].cpMax, selection[0].cpMax);
        EXPECT_TRUE(clipboard[1] == clipboard[0]) << clipboard[1].size() << " against " << clipboard[0].size();
        if (c.CopiesAtOnce) {
            EXPECT_TRUE(clipboardAtReturn == clipboard[0])
                << clipboardAtReturn.size() << " against " << clipboard[0].size();
        }
    }
}

// ---- closing while text is pending ------------------------------------------

// Many paragraph marks are the control's slowest text; a plain long text the
// usual one. Closed by the export or by the lister going, right after the
// load and after a few steps; the next viewer in the same lister is whole.
TEST_F(BigDocumentTest, ClosingWhileTextIsPendingStopsTheLoad) {
    auto marks = TextDoc(std::u16string(200000, u'\r'));
    for (const std::u16string& path : {big_->Path(), marks->Path()}) {
        for (bool byLister : {false, true}) {
            for (int steps : {0, 3}) {
                SCOPED_TRACE(Utf16ToUtf8(path) + (byLister ? " lister destroyed" : " ListCloseWindow") + " after " +
                             std::to_string(steps) + " pumps");
                HWND lister = MakeLister();
                HWND viewer = Load(lister, path);
                ASSERT_NE(viewer, nullptr);
                HWND control = Control(viewer);
                for (int i = 0; i < steps; ++i) {
                    Sleep(20);
                    MSG msg;
                    if (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
                }
                if (byLister) {
                    DestroyWindow(lister);
                } else {
                    Plugin().ListCloseWindow(viewer);
                }
                EXPECT_FALSE(IsWindow(viewer));
                EXPECT_FALSE(IsWindow(control));
                // Nothing is left to run: no message of a step reaches anyone.
                PumpWhileGrowing({});
                if (!byLister) {
                    HWND next = Load(lister, other_->Path());
                    ASSERT_NE(next, nullptr);
                    PumpWhileGrowing({Control(next)});
                    EXPECT_EQ(ControlText(Control(next)).substr(0, 12), u"B paragraph ");
                    Plugin().ListCloseWindow(next);
                }
            }
        }
    }
}

// ---- the address-space reserve ------------------------------------------------

// Two million paragraph marks (a 4 MB document) and big.doc cost the control
// more address space than a 32-bit process has: the viewer stops before the reserve and
// says what is not shown, and the host lives on and gets its messages. A
// 64-bit process is given the figures of a 2 GB one, its committed memory
// counted as used.
TEST_F(BigDocumentTest, ParagraphMarksBeyondTheAddressSpaceEndWithTheLineOfWhatIsNotShown) {
    struct TScriptedAddressSpace {
        TScriptedAddressSpace() {
            if (sizeof(void*) == 8) SetEnvironmentVariableW(L"PAGELET_TEST_ADDRESS_SPACE", L"2147483648");
        }
        ~TScriptedAddressSpace() { SetEnvironmentVariableW(L"PAGELET_TEST_ADDRESS_SPACE", nullptr); }
    } scripted;
    auto marks = TextDoc(std::u16string(2000000, u'\r'));
    const std::u16string bigDoc = Utf8ToUtf16(PAGELET_CORPUS_DIR "/big/big.doc");
    const struct {
        std::u16string path;
        size_t whole;  // the text's length with CR LF line ends; 0: not checked
    } documents[] = {{marks->Path(), 4000000}, {bigDoc, 0}};
    for (const auto& document : documents) {
        if (!test::FileExists(test::Wide(document.path))) continue;  // no corpus
        SCOPED_TRACE(Utf16ToUtf8(document.path));
        HWND viewer = Load(MakeLister(), document.path);
        ASSERT_NE(viewer, nullptr);
        HWND control = Control(viewer);
        EXPECT_GT(PumpWhileGrowing({control}, 600), 5);
        const std::u16string shown = ControlText(control);
        const size_t lineStart = shown.rfind(u"\r\n") + 2;
        const std::u16string last = shown.substr(lineStart);
        EXPECT_NE(last.find(u"characters ("), std::u16string::npos) << Utf16ToUtf8(last);
        EXPECT_NE(last.find(u"of the document are not shown"), std::u16string::npos) << Utf16ToUtf8(last);
        // Counted, or foreseen from what was decoded (the decoding stops at the
        // cut): for paragraph marks alone the foresight is exact.
        const size_t notShown = std::stoul(Utf16ToUtf8(last.substr(last.find_first_of(u"0123456789"))));
        if (document.whole != 0) {
            EXPECT_EQ(lineStart + notShown, document.whole) << "shown and not shown make the whole text";
        }
        // Everything else works on what is shown: select all takes the text up
        // to the line that says what is not shown.
        EXPECT_EQ(Plugin().ListSendCommand(viewer, 3, 0), 0);
        EXPECT_EQ(ControlLength(control) - Selection(control).cpMax, static_cast<LONG>(last.size()));
        EXPECT_EQ(Plugin().ListSendCommand(viewer, 2, 1), 0);
        PumpWhileGrowing({Control(viewer)}, 600);
        EXPECT_TRUE(IsWindow(Control(viewer)));
        Plugin().ListCloseWindow(viewer);
    }
}

}  // namespace
}  // namespace pagelet
