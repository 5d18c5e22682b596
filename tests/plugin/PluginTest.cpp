// The built plug-in through LoadLibrary, called the way the file manager's
// lister calls it: a recording lister window (top-level, or the child of a
// panel for quick view), the six exports, the viewer's keys, wheel, commands,
// search, teardown and error boxes.

#include <gtest/gtest.h>
#include <windows.h>
#include <richedit.h>

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "common/Utf.h"
#include "common/Win32Text.h"
#include "loading/DocumentText.h"
#include "loading/Loaders.h"
#include "plugin/ListerApi.h"
#include "support/DocBuilder.h"
#include "support/Manifest.h"
#include "support/SearchCases.h"
#include "support/WinHarness.h"

namespace pagelet {
namespace {

using test::ControlText;
using test::Pump;
using test::Select;
using test::Selection;
using test::TBox;
using test::WindowText;
using test::Zoom;

// ---- the plug-in ----------------------------------------------------------

// A command number the plug-in does not know.
constexpr int kUnknownCommand = 7;

using test::Plugin;

// LoadingModuleInit: this process's own DocumentText, for expected texts.
const auto* const kEnvironment = test::AddPluginEnvironment("plugin", LoadingModuleInit);

// ---- the host's side ------------------------------------------------------

struct TKeyMessage {
    UINT Msg;
    WPARAM Key;
    bool operator==(const TKeyMessage&) const = default;
};
std::ostream& operator<<(std::ostream& os, const TKeyMessage& m) {
    return os << (m.Msg == WM_KEYDOWN ? "down " : m.Msg == WM_KEYUP ? "up " : "msg ") << std::hex << "0x" << m.Key;
}

std::vector<TKeyMessage> ListerKeys;  // key messages that reached any lister window
bool ListerKeyLParamNonZero = false;

LRESULT CALLBACK ListerProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_KEYDOWN || msg == WM_KEYUP) {
        ListerKeys.push_back({msg, wParam});
        if (lParam != 0) ListerKeyLParamNonZero = true;
        return 0;
    }
    return DefWindowProcW(wnd, msg, wParam, lParam);
}

// Message boxes and popup menus met while a call runs (see TBoxCatcher).
std::vector<TBox>& Boxes = test::TBoxCatcher::Boxes();
std::vector<std::vector<std::u16string>>& Menus = test::TBoxCatcher::Menus();

// ---- documents --------------------------------------------------------------

// Many long paragraphs: needs both scroll bars without word wrap.
std::u16string LongText() {
    std::u16string text;
    for (int i = 0; i < 200; ++i) {
        text += AsciiToUtf16("line " + std::to_string(i) + " ");
        text += std::u16string(300, u'x');
        text += u'\r';
    }
    return text;
}

// What the viewer must show for a document: the whole text of its load.
std::u16string ExpectedViewerText(const std::u16string& path) {
    std::optional<TLoadedDocument> document = OpenDocument(path, TLoadSettings{});
    if (!document) return u"<not loaded>";
    return ReadWholeText(std::move(*document));
}

// ---- the fixture ----------------------------------------------------------

class PluginTest : public ::testing::Test {
protected:
    void SetUp() override {
        test::RegisterTestClass(L"PageletTestLister", ListerProc);
        test::RegisterTestClass(L"PageletTestPanel");
        ListerKeys.clear();
        ListerKeyLParamNonZero = false;
        catcher_ = std::make_unique<test::TBoxCatcher>();
    }
    void TearDown() override {
        for (auto it = windows_.rbegin(); it != windows_.rend(); ++it)
            if (IsWindow(*it)) DestroyWindow(*it);
        Pump();
        catcher_.reset();
        EXPECT_TRUE(Boxes.empty()) << "unexpected box: " << Utf16ToUtf8(Boxes.empty() ? u"" : Boxes[0].Text);
    }

    // A lister window: top-level, or for quick view the child of a panel.
    HWND MakeLister(bool quickView = false) {
        HWND parent = nullptr;
        // Top-level windows stay hidden: without a window manager, Wine waits
        // for every mapped one to be withdrawn when it goes.
        DWORD style = WS_OVERLAPPEDWINDOW;
        if (quickView) {
            parent = test::MakeWindow(L"PageletTestPanel", L"Panel", WS_OVERLAPPEDWINDOW, {0, 0, 700, 500});
            windows_.push_back(parent);
            style = WS_CHILD | WS_VISIBLE;
        }
        HWND lister = test::MakeWindow(L"PageletTestLister", L"Lister", style, {0, 0, 640, 480}, parent);
        windows_.push_back(lister);
        return lister;
    }

    HWND Load(HWND lister, const std::u16string& path, int flags = 0) {
        std::string ansi = test::Ansi(path);
        HWND viewer = Plugin().ListLoad(lister, ansi.data(), flags);
        Pump();
        return viewer;
    }
    HWND Load(const std::u16string& path, int flags = 0, bool quickView = false) {
        return Load(MakeLister(quickView), path, flags);
    }

    static HWND Control(HWND viewer) { return test::ViewerControl(viewer); }

    static int Search(HWND viewer, const std::u16string& text, int flags) {
        std::u16string copy = text;
        return Plugin().ListSearchTextW(viewer, reinterpret_cast<WCHAR*>(WBuf(copy)), flags);
    }

    std::vector<HWND> windows_;
    std::unique_ptr<test::TBoxCatcher> catcher_;
};

// ---- detect string ----------------------------------------------------------

TEST_F(PluginTest, DetectStringIsCutToTheBuffer) {
    struct TRow {
        int size;
        std::string expected;
    };
    for (const TRow& row : std::vector<TRow>{{2048, "EXT=\"DOC\" | EXT=\"DOT\""}, {10, "EXT=\"DOC\""}, {1, ""}}) {
        std::string buffer(2048, '#');
        Plugin().ListGetDetectString(buffer.data(), row.size);
        EXPECT_EQ(std::string(buffer.c_str()), row.expected) << "size " << row.size;
        // Nothing is written after the terminating NUL, within the size or beyond it.
        EXPECT_EQ(buffer.find_first_not_of('#', row.expected.size() + 1), std::string::npos) << "size " << row.size;
    }
    std::string untouched(4, '#');
    Plugin().ListGetDetectString(untouched.data(), 0);
    EXPECT_EQ(untouched, "####");
}

// ---- the text shown ---------------------------------------------------------

TEST_F(PluginTest, ViewerShowsTheWholeDocumentTextWithTheCaretAtTheStart) {
    std::vector<std::u16string> paths;
    std::vector<std::unique_ptr<TTempFile>> built;
    built.push_back(TextDoc(u"a\rb\r"));
    built.push_back(TextDoc(u"tab\there\u0007cell\rnext\r\nline\n"));
    // Longer than the control's default limit of 64K characters.
    built.push_back(TextDoc(std::u16string(70000, u'w') + u"\rend\r"));
    for (auto& file : built) paths.push_back(file->Path());

    auto corpus = std::filesystem::path(PAGELET_CORPUS_DIR);
    const auto manifest = test::ReadManifest(corpus);
    if (!manifest || manifest->empty()) RecordProperty("corpus", "not found: built documents only");
    for (const test::TManifestRow& row : manifest.value_or(std::vector<test::TManifestRow>{})) {
        if (row.IsDefaultText()) paths.push_back((corpus / row.File).make_preferred().u16string());
    }
    auto sample = std::filesystem::path(PAGELET_SOURCE_DIR) / "samples" / "sample.doc";
    if (std::filesystem::exists(sample)) paths.push_back(sample.make_preferred().u16string());

    for (const std::u16string& path : paths) {
        SCOPED_TRACE(Utf16ToUtf8(path));
        std::u16string expected = ExpectedViewerText(path);
        HWND lister = MakeLister();
        HWND viewer = Load(lister, path);
        ASSERT_NE(viewer, nullptr);
        EXPECT_EQ(GetParent(viewer), lister);
        HWND control = Control(viewer);
        ASSERT_NE(control, nullptr);
        std::u16string shown = ControlText(control);
        EXPECT_EQ(shown.size(), expected.size());
        EXPECT_TRUE(shown == expected)
            << "first difference at "
            << std::mismatch(shown.begin(), shown.end(), expected.begin(), expected.end()).first - shown.begin();
        CHARRANGE sel = Selection(control);
        EXPECT_EQ(sel.cpMin, 0);
        EXPECT_EQ(sel.cpMax, 0);
        Plugin().ListCloseWindow(viewer);
        DestroyWindow(lister);
    }
}

TEST_F(PluginTest, ViewerWindowIsAMaximizedChildWithTheControlFillingIt) {
    auto doc = TextDoc(u"hello\r");
    HWND lister = MakeLister();
    HWND viewer = Load(lister, doc->Path());
    ASSERT_NE(viewer, nullptr);
    wchar_t cls[64] = {};
    GetClassNameW(viewer, cls, 64);
    EXPECT_STREQ(cls, L"TFormMain");
    EXPECT_EQ(WindowText(viewer), L"Pagelet");
    EXPECT_EQ(GetClassLongPtrW(viewer, GCL_CBWNDEXTRA), 4);
    LONG style = GetWindowLongW(viewer, GWL_STYLE);
    EXPECT_EQ(style & ~WS_VISIBLE, WS_CHILD | WS_MAXIMIZE);
    EXPECT_TRUE(style & WS_VISIBLE);
    RECT listerClient{}, viewerRect{}, controlRect{};
    GetClientRect(lister, &listerClient);
    GetClientRect(viewer, &viewerRect);
    GetWindowRect(Control(viewer), &controlRect);
    EXPECT_EQ(viewerRect.right, listerClient.right);
    EXPECT_EQ(viewerRect.bottom, listerClient.bottom);
    EXPECT_EQ(controlRect.right - controlRect.left, viewerRect.right);
    EXPECT_EQ(controlRect.bottom - controlRect.top, viewerRect.bottom);
    // The posted WM_SETFOCUS gave the control the focus.
    EXPECT_EQ(GetFocus(), Control(viewer));
    // The text limit is raised past the default 64K characters, also after a rebuild.
    EXPECT_GE(SendMessageW(Control(viewer), EM_GETLIMITTEXT, 0, 0), 0x7FFFFFFE);
    EXPECT_EQ(Plugin().ListSendCommand(viewer, lister::kCommandNewParams, lister::kDisplayWrapText), 0);
    EXPECT_GE(SendMessageW(Control(viewer), EM_GETLIMITTEXT, 0, 0), 0x7FFFFFFE);
}

// ---- fonts from the settings --------------------------------------------------

TEST_F(PluginTest, FontComesFromTheSettings) {
    struct TRow {
        const wchar_t* textFont = nullptr;  // null: no key
        const wchar_t* face = nullptr;
        LONG twips = 0;
        DWORD effects = 0;  // of CFE_BOLD | CFE_ITALIC
        COLORREF color = 0;
        BYTE charset = 0;
    };
    const std::u16string ini = (Plugin().SettingsDir / "Pagelet.ini").u16string();
    auto doc = TextDoc(u"font\r");
    const TRow kRows[] = {
        {.face = L"Tahoma", .twips = 200, .charset = 1},
        {.textFont = L"Verdana,11,3,255,0",
         .face = L"Verdana",
         .twips = 220,
         .effects = CFE_BOLD | CFE_ITALIC,
         .color = 0xFF},
        {.textFont = L"Courier New,abc", .face = L"Courier New", .twips = 200, .charset = 1},
        // No face: the design face stays, never the temporary symbol face.
        {.textFont = L",12,0,0", .face = L"Arial", .twips = 240, .charset = 1},
    };
    for (const TRow& row : kRows) {
        SCOPED_TRACE(row.textFont ? Utf16ToUtf8(FromW(row.textFont)) : "no key");
        DeleteFileW(WStr(ini));
        if (row.textFont) WritePrivateProfileStringW(L"Options", L"TextFont", row.textFont, WStr(ini));
        WritePrivateProfileStringW(nullptr, nullptr, nullptr, WStr(ini));  // flush the cache
        HWND viewer = Load(doc->Path());
        ASSERT_NE(viewer, nullptr);
        CHARFORMAT2W format{};
        format.cbSize = sizeof(format);
        SendMessageW(Control(viewer), EM_GETCHARFORMAT, SCF_DEFAULT, reinterpret_cast<LPARAM>(&format));
        EXPECT_STREQ(format.szFaceName, row.face);
        EXPECT_EQ(format.yHeight, row.twips);
        EXPECT_EQ(format.dwEffects & (CFE_BOLD | CFE_ITALIC), row.effects);
        EXPECT_EQ(format.crTextColor, row.color);
        EXPECT_EQ(format.bCharSet, row.charset);
        Plugin().ListCloseWindow(viewer);
    }
    DeleteFileW(WStr(ini));
}

// ---- error boxes ----------------------------------------------------------

TEST_F(PluginTest, DocumentsThatCannotBeShownGiveTheErrorBox) {
    TTempFile text(std::vector<uint8_t>{'p', 'l', 'a', 'i', 'n'}, ".txt");
    TTempFile notWord(std::vector<uint8_t>{'b', 'i', 'n', 0x00, 0x01, 0x02}, ".doc");  // text would be shown
    for (const std::u16string& path : {text.Path(), notWord.Path()}) {
        SCOPED_TRACE(Utf16ToUtf8(path));
        HWND lister = MakeLister();
        EXPECT_EQ(Load(lister, path), nullptr);
        ASSERT_EQ(Boxes.size(), 1u);
        EXPECT_EQ(Boxes[0].Caption, u"Pagelet - document reader");
        EXPECT_EQ(Boxes[0].Text, u"Error opening document:\r" + path);
        EXPECT_EQ(GetWindow(lister, GW_CHILD), nullptr) << "no window is left behind";
        Boxes.clear();
    }
}

// ---- display flags and command 2 ------------------------------------------

TEST_F(PluginTest, WordWrapAndScrollBarsFollowDisplayFlagsAndCommand2) {
    auto doc = TextDoc(LongText());
    auto expectWrap = [](HWND control, bool wrap) {
        LONG style = GetWindowLongW(control, GWL_STYLE);
        EXPECT_EQ((style & ES_AUTOHSCROLL) != 0, !wrap);
        EXPECT_EQ((style & WS_HSCROLL) != 0, !wrap);
        EXPECT_TRUE(style & WS_VSCROLL);
        EXPECT_TRUE(style & ES_READONLY);
        EXPECT_TRUE(style & ES_NOHIDESEL);
        EXPECT_TRUE(style & ES_MULTILINE);
    };
    for (int flags : {0, 1, 2, 3}) {
        SCOPED_TRACE("DisplayFlags " + std::to_string(flags));
        HWND viewer = Load(doc->Path(), flags);
        ASSERT_NE(viewer, nullptr);
        expectWrap(Control(viewer), (flags & lister::kDisplayWrapText) != 0);
        Plugin().ListCloseWindow(viewer);
    }
    HWND viewer = Load(doc->Path(), 0);
    std::u16string text = ControlText(Control(viewer));
    Select(Control(viewer), 10, 5);
    for (int parameter : {1, 0, 6, 7}) {
        SCOPED_TRACE("command 2, parameter " + std::to_string(parameter));
        EXPECT_EQ(Plugin().ListSendCommand(viewer, lister::kCommandNewParams, parameter), 0);
        HWND control = Control(viewer);
        expectWrap(control, (parameter & lister::kDisplayWrapText) != 0);
        // Rebuilt or not, text and selection stay.
        EXPECT_TRUE(ControlText(control) == text);
        CHARRANGE sel = Selection(control);
        EXPECT_EQ(sel.cpMin, 10);
        EXPECT_EQ(sel.cpMax, 15);
    }
}

// ---- keys handed back to the lister -----------------------------------------

void SetModifiers(bool shift, bool ctrl, bool alt) {
    BYTE state[256];
    GetKeyboardState(state);
    state[VK_SHIFT] = state[VK_LSHIFT] = shift ? 0x80 : 0;
    state[VK_CONTROL] = state[VK_LCONTROL] = ctrl ? 0x80 : 0;
    state[VK_MENU] = state[VK_LMENU] = alt ? 0x80 : 0;
    SetKeyboardState(state);
}

TEST_F(PluginTest, KeysAreHandedBackToTheLister) {
    constexpr UINT D = WM_KEYDOWN, U = WM_KEYUP;
    struct TRow {
        std::string name;
        bool shift = false, ctrl = false, alt = false;
        WPARAM key = 0;
        bool quickView = false;
        std::vector<TKeyMessage> expected{};  // none: the key stays with the viewer
    };
    std::vector<TRow> rows = {
        {.name = "Esc", .key = VK_ESCAPE, .expected = {{D, 0x1B}, {U, 0x1B}}},
        {.name = "Esc in quick view", .key = VK_ESCAPE, .quickView = true, .expected = {{D, 0x09}, {U, 0x1B}}},
        {.name = "Shift+Esc", .shift = true, .key = VK_ESCAPE},
        {.name = "Ctrl+Esc", .ctrl = true, .key = VK_ESCAPE},
        {.name = "0", .key = '0'},
        {.name = "9", .key = '9'},
        {.name = "numpad 1", .key = VK_NUMPAD1},
        {.name = "Shift+N", .shift = true, .key = 'N'},
        {.name = "Ctrl+N", .ctrl = true, .key = 'N'},
        {.name = "0x131: low 8 bits are 1", .key = 0x131, .expected = {{D, 0x131}, {U, 0x131}}},
        {.name = "F5", .key = VK_F5, .expected = {{D, VK_F5}, {U, VK_F5}}},
        {.name = "F7 in quick view", .key = VK_F7, .quickView = true, .expected = {{D, VK_F7}, {U, VK_F7}}},
        {.name = "F6", .key = VK_F6},
        {.name = "Shift+F7",
         .shift = true,
         .key = VK_F7,
         .expected = {{D, VK_SHIFT}, {D, VK_F7}, {U, VK_SHIFT}, {U, VK_F7}}},
        {.name = "Ctrl+Shift+F5",
         .shift = true,
         .ctrl = true,
         .key = VK_F5,
         .expected = {{D, VK_SHIFT}, {D, VK_F5}, {U, VK_SHIFT}, {U, VK_F5}}},
        {.name = "Alt+Shift+F7",
         .shift = true,
         .alt = true,
         .key = VK_F7,
         .expected = {{D, VK_SHIFT}, {D, VK_F7}, {U, VK_SHIFT}, {U, VK_F7}}},
        {.name = "Ctrl+F5", .ctrl = true, .key = VK_F5},
        {.name = "Alt+F7", .alt = true, .key = VK_F7},
        {.name = "Down arrow", .key = VK_DOWN},
    };
    for (char c : std::string("12345678NPW"))
        rows.push_back({.name = std::string(1, c),
                        .key = static_cast<WPARAM>(c),
                        .expected = {{D, static_cast<WPARAM>(c)}, {U, static_cast<WPARAM>(c)}}});

    auto doc = TextDoc(u"keys\r");
    HWND viewers[2] = {Load(doc->Path(), 0, false), Load(doc->Path(), 0, true)};
    ASSERT_NE(viewers[0], nullptr);
    ASSERT_NE(viewers[1], nullptr);
    for (const TRow& row : rows) {
        SCOPED_TRACE(row.name);
        HWND control = Control(viewers[row.quickView]);
        SetFocus(GetParent(viewers[row.quickView]));
        Pump();
        ListerKeys.clear();
        SetModifiers(row.shift, row.ctrl, row.alt);
        SendMessageW(control, row.alt ? WM_SYSKEYDOWN : WM_KEYDOWN, row.key, 1 | (row.alt ? (1 << 29) : 0));
        SetModifiers(false, false, false);
        Pump();
        EXPECT_EQ(ListerKeys, row.expected);
        // Forwarded or not, the control has the focus afterwards.
        EXPECT_EQ(GetFocus(), control);
    }
    EXPECT_FALSE(ListerKeyLParamNonZero);
}

TEST_F(PluginTest, ContextMenuOpensOnRightClickAndItsShortcutsWork) {
    auto doc = TextDoc(u"menu text\r");
    HWND viewer = Load(doc->Path());
    ASSERT_NE(viewer, nullptr);
    HWND control = Control(viewer);
    Menus.clear();
    SendMessageW(control, WM_RBUTTONDOWN, MK_RBUTTON, MAKELPARAM(20, 20));
    SendMessageW(control, WM_RBUTTONUP, 0, MAKELPARAM(20, 20));
    Pump();
    ASSERT_EQ(Menus.size(), 1u);
    EXPECT_EQ(Menus[0], (std::vector<std::u16string>{u"&Copy\tCtrl+C", u"&Select all\tCtrl+A", u"-", u"&Options..."}));

    SetModifiers(false, true, false);
    SendMessageW(control, WM_KEYDOWN, 'A', 1);
    SetModifiers(false, false, false);
    CHARRANGE all = Selection(control);
    EXPECT_EQ(all.cpMin, 0);
    EXPECT_GE(all.cpMax, 9);

    Select(control, 5, 4);
    ASSERT_TRUE(OpenClipboard(nullptr));
    EmptyClipboard();
    CloseClipboard();
    SetModifiers(false, true, false);
    SendMessageW(control, WM_KEYDOWN, 'C', 1);
    SetModifiers(false, false, false);
    ASSERT_TRUE(OpenClipboard(nullptr));
    HANDLE data = GetClipboardData(CF_UNICODETEXT);
    ASSERT_NE(data, nullptr);
    EXPECT_EQ(FromW(static_cast<const wchar_t*>(GlobalLock(data))), u"text");
    GlobalUnlock(data);
    CloseClipboard();
}

TEST_F(PluginTest, QuickViewLeavesTheFocusWhereTheHostHasIt) {
    auto doc = TextDoc(u"focus\r");
    HWND lister = MakeLister(true);
    SetFocus(lister);
    HWND viewer = Load(lister, doc->Path());
    ASSERT_NE(viewer, nullptr);
    EXPECT_EQ(GetFocus(), lister);
}

// ---- Ctrl + wheel zoom --------------------------------------------------------

TEST_F(PluginTest, CtrlWheelZoomsInStepsWithAFloorOfOne) {
    auto doc = TextDoc(LongText());
    HWND viewer = Load(doc->Path(), lister::kDisplayWrapText);
    ASSERT_NE(viewer, nullptr);
    HWND control = Control(viewer);
    auto wheel = [&](WORD keys, short delta) {
        SendMessageW(control, WM_MOUSEWHEEL, MAKEWPARAM(keys, delta), MAKELPARAM(100, 100));
    };
    auto firstLine = [&] { return SendMessageW(control, EM_GETFIRSTVISIBLELINE, 0, 0); };

    wheel(MK_CONTROL, 120);
    EXPECT_EQ(Zoom(control), std::make_pair(110, 100));
    EXPECT_EQ(firstLine(), 0) << "a Ctrl+wheel turn does not scroll";
    wheel(MK_CONTROL, 8);
    wheel(MK_CONTROL, -11);
    EXPECT_EQ(Zoom(control), std::make_pair(110, 100));
    wheel(0, -120);
    EXPECT_EQ(Zoom(control), std::make_pair(110, 100));
    EXPECT_GT(firstLine(), 0) << "a plain wheel turn scrolls";

    wheel(MK_CONTROL, -120);  // back to 100
    for (int expected = 90; expected >= 10; expected -= 10) {
        wheel(MK_CONTROL, -120);
        EXPECT_EQ(Zoom(control), std::make_pair(expected, 100));
    }
    // 10 - 10 is floored at 1; the control refuses 1/100 and keeps 10/100.
    wheel(MK_CONTROL, -120);
    EXPECT_EQ(Zoom(control), std::make_pair(10, 100));
    wheel(MK_CONTROL, 120);
    EXPECT_EQ(Zoom(control), std::make_pair(11, 100));

    // A rebuild drops the zoom; the count goes on from where it was.
    for (int i = 0; i < 14; ++i) wheel(MK_CONTROL, 120);  // 151
    EXPECT_EQ(Zoom(control), std::make_pair(151, 100));
    EXPECT_EQ(Plugin().ListSendCommand(viewer, lister::kCommandNewParams, 0), 0);
    control = Control(viewer);
    EXPECT_EQ(Zoom(control).first, 0);
    wheel(MK_CONTROL, 120);
    EXPECT_EQ(Zoom(control), std::make_pair(161, 100));
}

// ---- search ---------------------------------------------------------------

TEST_F(PluginTest, SearchRangesFlagsAndTheResultSelection) {
    // The shared cases on a document of their text, paragraph marks shown as CR LF.
    auto doc = TextDoc(u"abcabcabc xyz Xyz\rЖук жук end\r");
    HWND viewer = Load(doc->Path());
    ASSERT_NE(viewer, nullptr);
    test::ExpectSearches(Plugin(), viewer, test::kSearchText, test::kSearchCases);
}

// ---- commands ---------------------------------------------------------------

TEST_F(PluginTest, CommandsCopySelectAllAndGoToAPercentage) {
    auto doc = TextDoc(u"abcabcabc xyz Xyz\r");  // shown as 19 characters with CR LF
    HWND viewer = Load(doc->Path());
    ASSERT_NE(viewer, nullptr);
    HWND control = Control(viewer);

    EXPECT_EQ(Plugin().ListSendCommand(viewer, kUnknownCommand, 0), 0);
    EXPECT_EQ(Plugin().ListSendCommand(viewer, lister::kCommandCopy, 0), 0) << "copy with nothing selected";

    EXPECT_EQ(Plugin().ListSendCommand(viewer, lister::kCommandSelectAll, 0), 0);
    CHARRANGE all = Selection(control);
    EXPECT_EQ(all.cpMin, 0);
    EXPECT_GE(all.cpMax, 17);

    ASSERT_TRUE(OpenClipboard(nullptr));
    EmptyClipboard();
    CloseClipboard();
    Select(control, 3, 6);
    EXPECT_EQ(Plugin().ListSendCommand(viewer, lister::kCommandCopy, 0), 0);
    ASSERT_TRUE(OpenClipboard(nullptr));
    HANDLE data = GetClipboardData(CF_UNICODETEXT);
    ASSERT_NE(data, nullptr);
    EXPECT_EQ(FromW(static_cast<const wchar_t*>(GlobalLock(data))), u"abcabc");
    GlobalUnlock(data);
    CloseClipboard();

    struct TRow {
        int percent;
        int start;
    };
    // Percent of the whole text (19 code units with its CR LF), placed as the
    // control counts (CR LF as one): 90 percent is 17, the line end.
    for (const TRow& row : std::vector<TRow>{{0, 0}, {-5, 0}, {10, 1}, {50, 9}, {90, 17}}) {
        SCOPED_TRACE("percent " + std::to_string(row.percent));
        SetFocus(GetParent(viewer));
        EXPECT_EQ(Plugin().ListSendCommand(viewer, lister::kCommandSetPercent, row.percent), 0);
        CHARRANGE sel = Selection(control);
        EXPECT_EQ(sel.cpMin, row.start);
        EXPECT_EQ(sel.cpMax, row.start + 1);
        EXPECT_EQ(GetFocus(), control);
    }
    // At or beyond the end: at most the final paragraph mark is selected.
    for (int percent : {100, 1000}) {
        EXPECT_EQ(Plugin().ListSendCommand(viewer, lister::kCommandSetPercent, percent), 0);
        CHARRANGE sel = Selection(control);
        EXPECT_LE(sel.cpMax - sel.cpMin, 1) << percent;
        EXPECT_GE(sel.cpMin, 17) << percent;
    }

    // A control that cannot take the focus makes command 4 and a found match fail.
    ShowWindow(viewer, SW_HIDE);
    EXPECT_EQ(Plugin().ListSendCommand(viewer, lister::kCommandSetPercent, 0), 1);
    EXPECT_EQ(Search(viewer, u"abc", lister::kSearchFromStart), 1);
    EXPECT_EQ(Search(viewer, u"nothing", lister::kSearchFromStart), 1);
    ShowWindow(viewer, SW_SHOW);
}

// ---- teardown, two viewers, strangers -----------------------------------------

TEST_F(PluginTest, TeardownRunsOnceThroughCloseOrThroughTheListersDestruction) {
    auto doc = TextDoc(u"teardown\r");
    // ListCloseWindow, then the lister goes too.
    HWND lister = MakeLister();
    HWND viewer = Load(lister, doc->Path());
    ASSERT_NE(viewer, nullptr);
    HWND control = Control(viewer);
    Plugin().ListCloseWindow(viewer);
    EXPECT_FALSE(IsWindow(viewer));
    EXPECT_FALSE(IsWindow(control));
    Plugin().ListCloseWindow(viewer);  // already torn down: nothing
    DestroyWindow(lister);
    Pump();

    // The lister destroyed with the viewer inside.
    lister = MakeLister();
    viewer = Load(lister, doc->Path());
    ASSERT_NE(viewer, nullptr);
    DestroyWindow(lister);
    Pump();
    EXPECT_FALSE(IsWindow(viewer));
    Plugin().ListCloseWindow(viewer);
    EXPECT_EQ(Plugin().ListSendCommand(viewer, lister::kCommandSelectAll, 0), 1);

    // The viewer window destroyed directly.
    viewer = Load(doc->Path());
    ASSERT_NE(viewer, nullptr);
    DestroyWindow(viewer);
    Pump();
    EXPECT_EQ(Plugin().ListSendCommand(viewer, lister::kCommandSelectAll, 0), 1);
    Plugin().ListCloseWindow(viewer);
    // Boxes are checked in TearDown: none may have appeared.
}

TEST_F(PluginTest, TwoViewersAtOnce) {
    auto first = TextDoc(u"first document\r");
    auto second = TextDoc(u"second document\r");
    HWND a = Load(first->Path());
    HWND b = Load(second->Path(), lister::kDisplayWrapText);
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(ControlText(Control(a)), u"first document\r\n");
    EXPECT_EQ(ControlText(Control(b)), u"second document\r\n");
    EXPECT_EQ(Search(a, u"document", 0), 0);
    EXPECT_EQ(Selection(Control(a)).cpMin, 6);
    EXPECT_EQ(Selection(Control(b)).cpMin, 0);

    Plugin().ListCloseWindow(b);
    // The first one still works, keys included, after the second went.
    EXPECT_EQ(Plugin().ListSendCommand(a, lister::kCommandSelectAll, 0), 0);
    ListerKeys.clear();
    SendMessageW(Control(a), WM_KEYDOWN, VK_ESCAPE, 1);
    Pump();
    EXPECT_EQ(ListerKeys.size(), 2u);
    // Ctrl+wheel in the first after the second's teardown.
    SendMessageW(Control(a), WM_MOUSEWHEEL, MAKEWPARAM(MK_CONTROL, 120), 0);
    EXPECT_EQ(Zoom(Control(a)), std::make_pair(110, 100));
    Plugin().ListCloseWindow(a);
    EXPECT_FALSE(IsWindow(a));
}

TEST_F(PluginTest, ExceptionsFromHandlersGoToTheLatestViewersHookUntilItCloses) {
    auto doc = TextDoc(u"hook\r");
    HWND listerA = MakeLister(), listerB = MakeLister();
    HWND a = Load(listerA, doc->Path());
    HWND b = Load(listerB, doc->Path());
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    // Activating a form whose control is hidden fails in its handler.
    ShowWindow(Control(a), SW_HIDE);
    SendMessageW(a, WM_SETFOCUS, 0, 0);
    Pump();
    ASSERT_EQ(Boxes.size(), 1u);
    EXPECT_EQ(Boxes[0].Text, u"Exception:\rCannot focus a disabled or invisible window");
    EXPECT_EQ(Boxes[0].Caption, u"Pagelet - document reader");
    EXPECT_EQ(Boxes[0].Owner, listerB) << "shown by the hook of the latest viewer";
    EXPECT_TRUE(IsWindow(a));
    Boxes.clear();

    // The hook went with its viewer: the toolkit's own report, no owner.
    Plugin().ListCloseWindow(b);
    SendMessageW(a, WM_SETFOCUS, 0, 0);
    Pump();
    ASSERT_EQ(Boxes.size(), 1u);
    EXPECT_EQ(Boxes[0].Text, u"Exception:\rCannot focus a disabled or invisible window");
    EXPECT_EQ(Boxes[0].Owner, nullptr);
    Boxes.clear();
    Plugin().ListCloseWindow(a);
}

TEST_F(PluginTest, ExportsGivenAStrangersWindowFailOrDoNothing) {
    auto doc = TextDoc(u"stranger\r");
    HWND lister = MakeLister();
    HWND viewer = Load(lister, doc->Path());
    ASSERT_NE(viewer, nullptr);
    HWND garbage = MakeLister();
    SetWindowLongPtrW(garbage, GWLP_USERDATA, 0x12345678);
    HWND strangers[] = {nullptr, lister, garbage, Control(viewer), GetDesktopWindow(), reinterpret_cast<HWND>(0x7777)};
    for (HWND stranger : strangers) {
        SCOPED_TRACE(reinterpret_cast<uintptr_t>(stranger));
        for (int command : {lister::kCommandCopy, lister::kCommandNewParams, lister::kCommandSelectAll,
                            lister::kCommandSetPercent, kUnknownCommand})
            EXPECT_EQ(Plugin().ListSendCommand(stranger, command, 1), 1);
        EXPECT_EQ(Search(stranger, u"stranger", 0), 1);
        Plugin().ListCloseWindow(stranger);
    }
    EXPECT_EQ(Plugin().ListSearchTextW(viewer, nullptr, 0), 1);
    EXPECT_TRUE(IsWindow(viewer));
    EXPECT_EQ(Plugin().ListSendCommand(viewer, lister::kCommandSelectAll, 0), 0);
    // A document that loads, but no window can be made in a parent that is
    // no window (nor can a box be owned by it, so the platform shows none).
    std::string path = test::Ansi(doc->Path());
    EXPECT_EQ(Plugin().ListLoad(reinterpret_cast<HWND>(0x7777), path.data(), 0), nullptr);
    Pump();
    for (const TBox& box : Boxes) EXPECT_EQ(box.Text.substr(0, 11), u"Exception:\r");
    Boxes.clear();
    EXPECT_EQ(Plugin().ListSendCommand(viewer, lister::kCommandSelectAll, 0), 0);
    std::string missing = "C:\\no\\such\\folder\\missing.doc";
    EXPECT_EQ(Plugin().ListLoad(lister, nullptr, 0), nullptr);
    Boxes.clear();  // the empty name's "Error opening document" box
    Plugin().ListLoad(nullptr, missing.data(), 0);
    Boxes.clear();
}

// Last: the host unloads the library with a viewer still open, then loads it
// again (at whatever address) and opens a document.
TEST_F(PluginTest, UnloadWithAViewerOpenAndLoadAgain) {
    auto doc = TextDoc(u"reloaded\r");
    HWND lister = MakeLister();
    HWND viewer = Load(lister, doc->Path());
    ASSERT_NE(viewer, nullptr);
    test::TPluginEnvironment environment("plugin", LoadingModuleInit);
    ASSERT_TRUE(FreeLibrary(Plugin().Module));
    Plugin() = test::TTestPlugin{};
    EXPECT_FALSE(IsWindow(viewer)) << "the open viewer goes with the library";
    Pump();
    environment.SetUp();
    ASSERT_NE(Plugin().ListLoad, nullptr);
    viewer = Load(lister, doc->Path());
    ASSERT_NE(viewer, nullptr);
    EXPECT_EQ(ControlText(Control(viewer)), u"reloaded\r\n");
    SendMessageW(Control(viewer), WM_KEYDOWN, VK_F5, 1);
    Pump();
    EXPECT_EQ(ListerKeys.size(), 2u);
    Plugin().ListCloseWindow(viewer);
    EXPECT_FALSE(IsWindow(viewer));
}

}  // namespace
}  // namespace pagelet
