// The built plug-in through LoadLibrary, called the way the file manager's
// lister calls it: a recording lister window (top-level, or the child of a
// panel for quick view), the six exports, the viewer's keys, wheel, commands,
// search, teardown and error boxes.

#include <gtest/gtest.h>
#include <windows.h>
#include <richedit.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "common/Utf.h"
#include "common/Win32Text.h"
#include "loading/DocumentText.h"
#include "loading/Loaders.h"
#include "plugin/ListerApi.h"
#include "settings/Locations.h"
#include "support/DocBuilder.h"

namespace pagelet {
namespace {

// ---- the plug-in ----------------------------------------------------------

// A command number the plug-in does not know.
constexpr int kUnknownCommand = 7;

struct TPlugin {
    HMODULE Module = nullptr;
    lister::TListLoad ListLoad = nullptr;
    lister::TListCloseWindow ListCloseWindow = nullptr;
    lister::TListGetDetectString ListGetDetectString = nullptr;
    lister::TListSetDefaultParams ListSetDefaultParams = nullptr;
    lister::TListSendCommand ListSendCommand = nullptr;
    lister::TListSearchTextW ListSearchTextW = nullptr;
    std::u16string SettingsDir;  // with a trailing backslash
};

template <typename F>
void Bind(HMODULE module, const char* name, F& f) {
    f = reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(module, name)));
    ASSERT_NE(f, nullptr) << name;
}

TPlugin& Plugin() {
    static TPlugin plugin;
    return plugin;
}

std::string ToAnsi(const std::u16string& text) {
    int n = WideCharToMultiByte(CP_ACP, 0, WStr(text), -1, nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_ACP, 0, WStr(text), -1, out.data(), n, nullptr, nullptr);
    out.resize(static_cast<size_t>(n) - 1);
    return out;
}

class TPluginEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        TPlugin& p = Plugin();
        p.Module = LoadLibraryW(WStr(Utf8ToUtf16(PAGELET_PLUGIN_PATH)));
        ASSERT_NE(p.Module, nullptr) << PAGELET_PLUGIN_PATH << " error " << GetLastError();
        Bind(p.Module, "ListLoad", p.ListLoad);
        Bind(p.Module, "ListCloseWindow", p.ListCloseWindow);
        Bind(p.Module, "ListGetDetectString", p.ListGetDetectString);
        Bind(p.Module, "ListSetDefaultParams", p.ListSetDefaultParams);
        Bind(p.Module, "ListSendCommand", p.ListSendCommand);
        Bind(p.Module, "ListSearchTextW", p.ListSearchTextW);

        // Settings go to a private folder: the host's INI path names it.
        auto dir =
            std::filesystem::temp_directory_path() / ("pagelet-plugin-test-" + std::to_string(GetCurrentProcessId()));
        std::filesystem::create_directories(dir);
        p.SettingsDir = dir.u16string() + u"\\";
        lister::TDefaultParams params{};
        params.Size = sizeof(params);
        params.PluginInterfaceVersionLow = 10;
        params.PluginInterfaceVersionHi = 2;
        std::string ini = ToAnsi(p.SettingsDir + u"lsplugin.ini");
        ini.copy(params.DefaultIniName, sizeof(params.DefaultIniName) - 1);
        p.ListSetDefaultParams(&params);

        LoadingModuleInit();  // this process's own DocumentText, for expected texts
    }
    void TearDown() override {
        std::error_code ec;
        std::filesystem::remove_all(std::filesystem::path(Plugin().SettingsDir), ec);
    }
};

const auto* const kEnvironment = ::testing::AddGlobalTestEnvironment(new TPluginEnvironment);

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

void RegisterTestClasses() {
    static bool done = false;
    if (done) return;
    WNDCLASSW wc{};
    wc.lpfnWndProc = ListerProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    wc.lpszClassName = L"PageletTestLister";
    RegisterClassW(&wc);
    wc.lpfnWndProc = DefWindowProcW;
    wc.lpszClassName = L"PageletTestPanel";
    RegisterClassW(&wc);
    done = true;
}

void Pump() {
    MSG msg;
    for (int round = 0; round < 3; ++round) {
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        Sleep(5);
    }
}

// Message boxes met while a call runs: found from a timer inside the box's
// modal loop, read and closed.
struct TBox {
    std::u16string Caption;
    std::u16string Text;
    HWND Owner;  // a child owner's top-level window
};
std::vector<TBox> Boxes;

std::u16string WindowText(HWND wnd) {
    int n = GetWindowTextLengthW(wnd);
    std::u16string text(static_cast<size_t>(n) + 1, u'\0');
    n = GetWindowTextW(wnd, WBuf(text), n + 1);
    text.resize(static_cast<size_t>(n));
    return text;
}

BOOL CALLBACK FindStaticText(HWND child, LPARAM lParam) {
    wchar_t cls[32] = {};
    GetClassNameW(child, cls, 32);
    if (lstrcmpiW(cls, L"Static") == 0) {
        std::u16string text = WindowText(child);
        auto* best = reinterpret_cast<std::u16string*>(lParam);
        if (text.size() > best->size()) *best = text;
    }
    return TRUE;
}

BOOL CALLBACK CloseBox(HWND wnd, LPARAM) {
    wchar_t cls[32] = {};
    GetClassNameW(wnd, cls, 32);
    if (lstrcmpW(cls, L"#32770") == 0 && IsWindowVisible(wnd)) {
        TBox box{WindowText(wnd), {}, GetWindow(wnd, GW_OWNER)};
        EnumChildWindows(wnd, FindStaticText, reinterpret_cast<LPARAM>(&box.Text));
        Boxes.push_back(box);
        ShowWindow(wnd, SW_HIDE);  // seen once
        PostMessageW(wnd, WM_COMMAND, IDOK, 0);
    }
    return TRUE;
}

// Popup menus met the same way: their item texts, then the menu is closed.
std::vector<std::vector<std::u16string>> Menus;

BOOL CALLBACK CloseMenu(HWND wnd, LPARAM) {
    wchar_t cls[32] = {};
    GetClassNameW(wnd, cls, 32);
    if (lstrcmpW(cls, L"#32768") == 0 && IsWindowVisible(wnd)) {
        auto menu = reinterpret_cast<HMENU>(SendMessageW(wnd, MN_GETHMENU, 0, 0));
        std::vector<std::u16string> items;
        for (int i = 0; menu && i < GetMenuItemCount(menu); ++i) {
            wchar_t text[64] = {};
            GetMenuStringW(menu, static_cast<UINT>(i), text, 64, MF_BYPOSITION);
            items.push_back(text[0] ? FromW(text) : u"-");
        }
        Menus.push_back(items);
        EndMenu();
    }
    return TRUE;
}

void CALLBACK BoxTimer(HWND, UINT, UINT_PTR, DWORD) {
    EnumThreadWindows(GetCurrentThreadId(), CloseBox, 0);
    EnumThreadWindows(GetCurrentThreadId(), CloseMenu, 0);
}

// ---- documents --------------------------------------------------------------

std::unique_ptr<TTempFile> TextDoc(const std::u16string& text) {
    TDocBuilder doc;
    doc.Clx(TClxBuilder().Pcdt({0, static_cast<uint32_t>(text.size())}, {{0x800}}));
    doc.DocText16(0x800, text);
    return doc.Write();
}

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

// What the viewer must show for a document: DocumentText's whole text.
std::u16string ExpectedViewerText(const std::u16string& path) {
    TLoadSettings settings;
    if (!LoadDocument(path, settings)) return u"<not loaded>";
    return DocumentText->WholeText();
}

// ---- the fixture ----------------------------------------------------------

class PluginTest : public ::testing::Test {
protected:
    void SetUp() override {
        RegisterTestClasses();
        Boxes.clear();
        ListerKeys.clear();
        ListerKeyLParamNonZero = false;
        timer_ = SetTimer(nullptr, 0, 30, BoxTimer);
    }
    void TearDown() override {
        for (auto it = windows_.rbegin(); it != windows_.rend(); ++it)
            if (IsWindow(*it)) DestroyWindow(*it);
        Pump();
        KillTimer(nullptr, timer_);
        EXPECT_TRUE(Boxes.empty()) << "unexpected box: " << Utf16ToUtf8(Boxes.empty() ? u"" : Boxes[0].Text);
    }

    // A lister window: top-level, or for quick view the child of a panel.
    HWND MakeLister(bool quickView = false) {
        HWND parent = nullptr;
        // Top-level windows stay hidden: without a window manager, Wine waits
        // for every mapped one to be withdrawn when it goes.
        DWORD style = WS_OVERLAPPEDWINDOW;
        if (quickView) {
            parent = CreateWindowExW(0, L"PageletTestPanel", L"Panel", WS_OVERLAPPEDWINDOW, 0, 0, 700, 500, nullptr,
                                     nullptr, GetModuleHandleW(nullptr), nullptr);
            windows_.push_back(parent);
            style = WS_CHILD | WS_VISIBLE;
        }
        HWND lister = CreateWindowExW(0, L"PageletTestLister", L"Lister", style, 0, 0, 640, 480, parent, nullptr,
                                      GetModuleHandleW(nullptr), nullptr);
        windows_.push_back(lister);
        return lister;
    }

    HWND Load(HWND lister, const std::u16string& path, int flags = 0) {
        std::string ansi = ToAnsi(path);
        HWND viewer = Plugin().ListLoad(lister, ansi.data(), flags);
        Pump();
        return viewer;
    }
    HWND Load(const std::u16string& path, int flags = 0, bool quickView = false) {
        return Load(MakeLister(quickView), path, flags);
    }

    static HWND Control(HWND viewer) { return FindWindowExW(viewer, nullptr, L"RICHEDIT20W", nullptr); }

    static std::u16string ControlText(HWND control) {
        auto n = SendMessageW(control, WM_GETTEXTLENGTH, 0, 0);
        std::u16string text(static_cast<size_t>(n) + 1, u'\0');
        n = SendMessageW(control, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(WBuf(text)));
        text.resize(static_cast<size_t>(n));
        return text;
    }

    static CHARRANGE Selection(HWND control) {
        CHARRANGE range{-1, -1};
        SendMessageW(control, EM_EXGETSEL, 0, reinterpret_cast<LPARAM>(&range));
        return range;
    }
    static void Select(HWND control, int start, int length) {
        CHARRANGE range{start, start + length};
        SendMessageW(control, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&range));
    }
    static std::pair<int, int> Zoom(HWND control) {
        WPARAM num = 0;
        LPARAM den = 0;
        SendMessageW(control, EM_GETZOOM, reinterpret_cast<WPARAM>(&num), reinterpret_cast<LPARAM>(&den));
        return {static_cast<int>(num), static_cast<int>(den)};
    }

    static int Search(HWND viewer, const std::u16string& text, int flags) {
        std::u16string copy = text;
        return Plugin().ListSearchTextW(viewer, reinterpret_cast<WCHAR*>(WBuf(copy)), flags);
    }

    std::vector<HWND> windows_;
    UINT_PTR timer_ = 0;
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
        EXPECT_EQ(buffer[row.expected.size() + 1],
                  row.size > static_cast<int>(row.expected.size() + 1) ? '#' : buffer[row.expected.size() + 1]);
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
    std::ifstream manifest(corpus / "manifest.tsv");
    if (manifest) {
        std::string line;
        while (std::getline(manifest, line)) {
            std::istringstream cols(line);
            std::string file, options, outcome;
            std::getline(cols, file, '\t');
            std::getline(cols, options, '\t');
            std::getline(cols, outcome, '\t');
            if (outcome == "text" && options == "Printable=0 ForceCP=0")
                paths.push_back((corpus / file).make_preferred().u16string());
        }
    } else {
        std::printf("corpus not found in %s: built documents only\n", PAGELET_CORPUS_DIR);
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
    EXPECT_EQ(WindowText(viewer), u"Pagelet");
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
        const wchar_t* textFont;  // null: no key
        const wchar_t* face;
        LONG twips;
        DWORD effects;  // of CFE_BOLD | CFE_ITALIC
        COLORREF color;
        BYTE charset;
    };
    const std::u16string ini = Plugin().SettingsDir + u"Pagelet.ini";
    auto doc = TextDoc(u"font\r");
    for (const TRow& row : std::vector<TRow>{
             {nullptr, L"Tahoma", 200, 0, 0, 1},
             {L"Verdana,11,3,255,0", L"Verdana", 220, CFE_BOLD | CFE_ITALIC, 0x0000FF, 0},
             {L"Courier New,abc", L"Courier New", 200, 0, 0, 1},
             // No face: the design face stays, never the temporary symbol face.
             {L",12,0,0", L"Arial", 240, 0, 0, 1},
         }) {
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
    TTempFile notWord(std::vector<uint8_t>{'p', 'l', 'a', 'i', 'n'}, ".doc");
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
        expectWrap(Control(viewer), flags & 1);
        Plugin().ListCloseWindow(viewer);
    }
    HWND viewer = Load(doc->Path(), 0);
    std::u16string text = ControlText(Control(viewer));
    Select(Control(viewer), 10, 5);
    for (int parameter : {1, 0, 6, 7}) {
        SCOPED_TRACE("command 2, parameter " + std::to_string(parameter));
        EXPECT_EQ(Plugin().ListSendCommand(viewer, lister::kCommandNewParams, parameter), 0);
        HWND control = Control(viewer);
        expectWrap(control, parameter & 1);
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
        bool shift, ctrl, alt;
        WPARAM key;
        bool quickView;
        std::vector<TKeyMessage> expected;
    };
    std::vector<TRow> rows = {
        {"Esc", false, false, false, VK_ESCAPE, false, {{D, 0x1B}, {U, 0x1B}}},
        {"Esc in quick view", false, false, false, VK_ESCAPE, true, {{D, 0x09}, {U, 0x1B}}},
        {"Shift+Esc", true, false, false, VK_ESCAPE, false, {}},
        {"Ctrl+Esc", false, true, false, VK_ESCAPE, false, {}},
        {"0", false, false, false, '0', false, {}},
        {"9", false, false, false, '9', false, {}},
        {"numpad 1", false, false, false, VK_NUMPAD1, false, {}},
        {"Shift+N", true, false, false, 'N', false, {}},
        {"Ctrl+N", false, true, false, 'N', false, {}},
        {"0x131: low 8 bits are 1", false, false, false, 0x131, false, {{D, 0x131}, {U, 0x131}}},
        {"F5", false, false, false, VK_F5, false, {{D, VK_F5}, {U, VK_F5}}},
        {"F7 in quick view", false, false, false, VK_F7, true, {{D, VK_F7}, {U, VK_F7}}},
        {"F6", false, false, false, VK_F6, false, {}},
        {"Shift+F7", true, false, false, VK_F7, false, {{D, VK_SHIFT}, {D, VK_F7}, {U, VK_SHIFT}, {U, VK_F7}}},
        {"Ctrl+Shift+F5", true, true, false, VK_F5, false, {{D, VK_SHIFT}, {D, VK_F5}, {U, VK_SHIFT}, {U, VK_F5}}},
        {"Alt+Shift+F7", true, false, true, VK_F7, false, {{D, VK_SHIFT}, {D, VK_F7}, {U, VK_SHIFT}, {U, VK_F7}}},
        {"Ctrl+F5", false, true, false, VK_F5, false, {}},
        {"Alt+F7", false, false, true, VK_F7, false, {}},
        {"Down arrow", false, false, false, VK_DOWN, false, {}},
    };
    for (char c : std::string("12345678NPW"))
        rows.push_back({std::string(1, c),
                        false,
                        false,
                        false,
                        static_cast<WPARAM>(c),
                        false,
                        {{D, static_cast<WPARAM>(c)}, {U, static_cast<WPARAM>(c)}}});

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
    HWND viewer = Load(doc->Path(), 1);
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
    //                       0         1
    //                       01234567890123456
    auto doc = TextDoc(u"abcabcabc xyz Xyz\r");
    HWND viewer = Load(doc->Path());
    ASSERT_NE(viewer, nullptr);
    HWND control = Control(viewer);
    struct TRow {
        const char* name;
        int selStart, selLength;  // before
        const char16_t* text;
        int flags;
        int resultStart, resultLength;  // after
        int answer = 0;                 // 1: no match
    };
    for (const TRow& row : std::vector<TRow>{
             {"forward, no selection", 0, 0, u"abc", 0, 0, 3},
             {"forward from the selection's end", 0, 3, u"abc", 0, 3, 3},
             {"forward from the start despite a selection", 3, 3, u"abc", 1, 0, 3},
             {"forward, nothing after the selection", 6, 3, u"abc", 0, 6, 3, 1},
             {"backward, no selection: from the end", 0, 0, u"abc", 8, 6, 3},
             {"backward from the selection's start finds the one just before", 6, 3, u"abc", 8, 3, 3},
             {"backward from 3", 3, 3, u"abc", 8, 0, 3},
             {"backward from the end despite a selection", 0, 3, u"abc", 9, 6, 3},
             {"without match case", 0, 0, u"XYZ", 0, 10, 3},
             {"match case", 0, 0, u"Xyz", 2, 14, 3},
             {"match case backward", 0, 0, u"xyz", 10, 10, 3},
             {"whole words: no whole abc", 1, 2, u"abc", 4, 1, 2, 1},
             {"whole words", 0, 0, u"xyz", 4, 10, 3},
             {"match case and whole words", 0, 0, u"Xyz", 6, 14, 3},
             {"not found: the selection stays", 2, 4, u"nothing", 0, 2, 4, 1},
         }) {
        SCOPED_TRACE(row.name);
        Select(control, row.selStart, row.selLength);
        SetFocus(GetParent(viewer));
        EXPECT_EQ(Search(viewer, row.text, row.flags), row.answer);
        CHARRANGE sel = Selection(control);
        EXPECT_EQ(sel.cpMin, row.resultStart);
        EXPECT_EQ(sel.cpMax - sel.cpMin, row.resultLength);
        if (row.resultStart != row.selStart || row.resultLength != row.selLength) {
            EXPECT_EQ(GetFocus(), control);
        }
    }
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
    for (const TRow& row : std::vector<TRow>{{0, 0}, {-5, 0}, {10, 1}, {50, 9}, {99, 18}}) {
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
    EXPECT_EQ(Search(viewer, u"abc", 1), 1);
    EXPECT_EQ(Search(viewer, u"nothing", 1), 1);
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
    HWND b = Load(second->Path(), 1);
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
    std::string path = ToAnsi(doc->Path());
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
    TPluginEnvironment environment;
    ASSERT_TRUE(FreeLibrary(Plugin().Module));
    Plugin() = TPlugin{};
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
