#include "support/WinHarness.h"

#include <ole2.h>

#include "ListerLibrary.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <sstream>
#include <stdexcept>
#include <thread>

namespace pagelet::test {

// ---- text ---------------------------------------------------------------------

std::wstring Wide(const std::u16string& text) { return std::wstring(text.begin(), text.end()); }

std::wstring WideFromUtf8(const std::string& text) {
    const int size = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring result(static_cast<size_t>(size), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), result.data(), size);
    return result;
}

std::string Utf8(const std::wstring& text) {
    const int size =
        WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string result(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), result.data(), size, nullptr, nullptr);
    return result;
}

std::u16string Utf16(const std::wstring& text) { return std::u16string(text.begin(), text.end()); }

std::string Ansi(const std::wstring& text) {
    const int size =
        WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string result(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()), result.data(), size, nullptr, nullptr);
    return result;
}

std::string Ansi(const std::u16string& text) { return Ansi(Wide(text)); }

std::vector<std::wstring> Lines(const std::wstring& text) {
    std::vector<std::wstring> lines;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = text.find_first_of(L"\r\n", pos);
        if (end == std::wstring::npos) end = text.size();
        lines.push_back(text.substr(pos, end - pos));
        pos = end;
        if (pos < text.size() && text[pos] == L'\r') ++pos;
        if (pos < text.size() && text[pos] == L'\n') ++pos;
    }
    return lines;
}

// ---- the plug-in ---------------------------------------------------------------

bool TPluginDll::Load(const std::wstring& path, std::string& error) {
    Free();
    Module = static_cast<HMODULE>(OpenListerLibrary(path, *this, error));
    if (!Module) return false;
    const std::vector<std::string> missing = MissingExports(*this);
    if (!missing.empty()) {
        error = Utf8(path) + " does not export " + missing.front();
        Free();
        return false;
    }
    return true;
}

void TPluginDll::Free() {
    CloseListerLibrary(Module);
    Module = nullptr;
    static_cast<lister::TListerExports&>(*this) = {};
}

void TPluginDll::SetDefaultParams(const std::wstring& hostIni) const {
    lister::TDefaultParams params{};
    params.Size = sizeof params;
    params.PluginInterfaceVersionLow = 10;
    params.PluginInterfaceVersionHi = 2;
    Ansi(hostIni).copy(params.DefaultIniName, sizeof params.DefaultIniName - 1);
    ListSetDefaultParams(&params);
}

std::wstring BuiltPluginPath() { return WideFromUtf8(PAGELET_PLUGIN_PATH); }

TTestPlugin& Plugin() {
    static TTestPlugin plugin;
    return plugin;
}

void TPluginEnvironment::SetUp() {
    if (steps_.Com != TComStart::None) {
        const HRESULT hr = steps_.Com == TComStart::Ole ? OleInitialize(nullptr) : CoInitialize(nullptr);
        ASSERT_TRUE(SUCCEEDED(hr)) << "COM did not start: 0x" << std::hex << hr;
        comStarted_ = true;
    }
    if (steps_.LoadPlugin) {
        TTestPlugin& plugin = Plugin();
        std::string error;
        ASSERT_TRUE(plugin.Load(BuiltPluginPath(), error)) << error;
        plugin.SettingsDir = std::filesystem::temp_directory_path() /
                             ("pagelet-" + name_ + "-test-" + std::to_string(GetCurrentProcessId()));
        std::filesystem::create_directories(plugin.SettingsDir);
        plugin.SetDefaultParams((plugin.SettingsDir / "lsplugin.ini").wstring());
    }
    if (steps_.SetUp) {
        try {
            steps_.SetUp();
        } catch (const std::exception& e) {
            FAIL() << e.what();
        }
    }
}

void TPluginEnvironment::TearDown() {
    if (steps_.TearDown) steps_.TearDown();
    if (!Plugin().SettingsDir.empty()) {
        std::error_code ec;
        std::filesystem::remove_all(Plugin().SettingsDir, ec);
    }
    if (comStarted_) {
        if (steps_.Com == TComStart::Ole) {
            OleUninitialize();
        } else {
            CoUninitialize();
        }
    }
}

::testing::Environment* AddPluginEnvironment(std::string name, std::function<void()> afterLoad) {
    return ::testing::AddGlobalTestEnvironment(new TPluginEnvironment(std::move(name), std::move(afterLoad)));
}

::testing::Environment* AddPluginEnvironment(std::string name, TEnvironmentSteps steps) {
    return ::testing::AddGlobalTestEnvironment(new TPluginEnvironment(std::move(name), std::move(steps)));
}

// ---- messages and windows ---------------------------------------------------------

void PumpMessages() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

void Pump(int rounds) {
    // Until that many rounds in a row bring no message for a window (the
    // thread's own timers aside), bounded: a long text arrives in the
    // viewer from its own messages and timers, step after step.
    MSG msg;
    for (int idle = 0, round = 0; idle < rounds && round < 300; ++round) {
        bool busy = false;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            busy = busy || msg.hwnd != nullptr;
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        idle = busy ? 0 : idle + 1;
        Sleep(12);
    }
}

void RegisterTestClass(const wchar_t* name, WNDPROC proc) {
    WNDCLASSW existing{};
    if (GetClassInfoW(GetModuleHandleW(nullptr), name, &existing)) return;
    WNDCLASSW wc{};
    wc.lpfnWndProc = proc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    wc.lpszClassName = name;
    RegisterClassW(&wc);
}

HWND MakeWindow(const wchar_t* className, const wchar_t* title, DWORD style, RECT bounds, HWND parent) {
    return CreateWindowExW(0, className, title, style, bounds.left, bounds.top, bounds.right - bounds.left,
                           bounds.bottom - bounds.top, parent, nullptr, GetModuleHandleW(nullptr), nullptr);
}

std::wstring ClassName(HWND wnd) {
    wchar_t buffer[64] = {};
    GetClassNameW(wnd, buffer, 64);
    return buffer;
}

std::wstring WindowText(HWND wnd) {
    const auto length = SendMessageW(wnd, WM_GETTEXTLENGTH, 0, 0);
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    const auto got = SendMessageW(wnd, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()));
    text.resize(static_cast<size_t>(got));
    return text;
}

HWND ViewerControl(HWND viewer) { return FindWindowExW(viewer, nullptr, L"RICHEDIT20W", nullptr); }

std::u16string ControlText(HWND control) { return Utf16(WindowText(control)); }

CHARRANGE Selection(HWND control) {
    CHARRANGE range{-1, -1};
    SendMessageW(control, EM_EXGETSEL, 0, reinterpret_cast<LPARAM>(&range));
    return range;
}

void Select(HWND control, int start, int length) {
    CHARRANGE range{start, start + length};
    SendMessageW(control, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&range));
}

std::pair<int, int> Zoom(HWND control) {
    WPARAM numerator = 0;
    LPARAM denominator = 0;
    SendMessageW(control, EM_GETZOOM, reinterpret_cast<WPARAM>(&numerator), reinterpret_cast<LPARAM>(&denominator));
    return {static_cast<int>(numerator), static_cast<int>(denominator)};
}

void ExpectSearches(const TPluginDll& plugin, HWND viewer, const std::u16string& text,
                    std::span<const TSearchCase> cases) {
    HWND control = ViewerControl(viewer);
    ASSERT_NE(control, nullptr);
    // The control's position of a text offset: each CR LF before it is one.
    auto shown = [&text](int offset) {
        int pairs = 0;
        for (size_t i = 1; i < static_cast<size_t>(offset) && i < text.size(); ++i) {
            if (text[i - 1] == u'\r' && text[i] == u'\n') ++pairs;
        }
        return offset - pairs;
    };
    for (const TSearchCase& row : cases) {
        SCOPED_TRACE(row.Name);
        const int beforeStart = shown(row.Before.Start), beforeEnd = shown(row.Before.End);
        Select(control, beforeStart, beforeEnd - beforeStart);
        SetFocus(GetParent(viewer));
        std::u16string find = row.Find;
        EXPECT_EQ(plugin.ListSearchTextW(viewer, reinterpret_cast<WCHAR*>(find.data()), row.Flags),
                  row.Found ? lister::kListerOk : lister::kListerError);
        const CHARRANGE sel = Selection(control);
        EXPECT_EQ(sel.cpMin, shown(row.After.Start));
        EXPECT_EQ(sel.cpMax, shown(row.After.End));
        if (row.After.Start != row.Before.Start || row.After.End != row.Before.End) {
            EXPECT_EQ(GetFocus(), control);
        }
    }
}

// ---- message boxes and menus --------------------------------------------------------

namespace {

BOOL CALLBACK FindLongestStatic(HWND child, LPARAM lParam) {
    if (lstrcmpiW(ClassName(child).c_str(), L"Static") == 0) {
        const std::u16string text = Utf16(WindowText(child));
        auto* best = reinterpret_cast<std::u16string*>(lParam);
        if (text.size() > best->size()) *best = text;
    }
    return TRUE;
}

BOOL CALLBACK CatchWindow(HWND wnd, LPARAM) {
    if (!IsWindowVisible(wnd)) return TRUE;
    const std::wstring cls = ClassName(wnd);
    if (cls == L"#32770") {
        TBox box{Utf16(WindowText(wnd)), {}, GetWindow(wnd, GW_OWNER)};
        EnumChildWindows(wnd, FindLongestStatic, reinterpret_cast<LPARAM>(&box.Text));
        TBoxCatcher::Boxes().push_back(box);
        ShowWindow(wnd, SW_HIDE);  // seen once
        PostMessageW(wnd, WM_COMMAND, IDOK, 0);
    } else if (cls == L"#32768") {
        auto menu = reinterpret_cast<HMENU>(SendMessageW(wnd, MN_GETHMENU, 0, 0));
        std::vector<std::u16string> items;
        for (int i = 0; menu && i < GetMenuItemCount(menu); ++i) {
            wchar_t text[64] = {};
            GetMenuStringW(menu, static_cast<UINT>(i), text, 64, MF_BYPOSITION);
            items.push_back(text[0] ? Utf16(text) : u"-");
        }
        TBoxCatcher::Menus().push_back(items);
        EndMenu();
    }
    return TRUE;
}

void CALLBACK CatchTimer(HWND, UINT, UINT_PTR, DWORD) { EnumThreadWindows(GetCurrentThreadId(), CatchWindow, 0); }

}  // namespace

TBoxCatcher::TBoxCatcher(UINT intervalMs) {
    Clear();
    timer_ = SetTimer(nullptr, 0, intervalMs, CatchTimer);
}

TBoxCatcher::~TBoxCatcher() { KillTimer(nullptr, timer_); }

std::vector<TBox>& TBoxCatcher::Boxes() {
    static std::vector<TBox> boxes;
    return boxes;
}

std::vector<std::vector<std::u16string>>& TBoxCatcher::Menus() {
    static std::vector<std::vector<std::u16string>> menus;
    return menus;
}

void TBoxCatcher::Clear() {
    Boxes().clear();
    Menus().clear();
}

// ---- a second thread that works the UI thread's windows --------------------------------

HWND TThreadDriver::WaitForWindow(const std::function<bool(HWND)>& test, const char* what) {
    const auto deadline = std::chrono::steady_clock::now() + timeout_;
    while (std::chrono::steady_clock::now() < deadline) {
        for (HWND wnd : ThreadWindows()) {
            if (IsWindowVisible(wnd) && test(wnd)) return wnd;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    throw std::runtime_error(std::string("timed out waiting for ") + what);
}

void TThreadDriver::WaitUntil(const std::function<bool()>& test, const char* what) {
    const auto deadline = std::chrono::steady_clock::now() + timeout_;
    while (std::chrono::steady_clock::now() < deadline) {
        if (test()) return;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    throw std::runtime_error(std::string("timed out waiting until ") + what);
}

void TThreadDriver::WaitGone(HWND wnd, const char* what) {
    WaitUntil([wnd] { return !IsWindow(wnd) || !IsWindowVisible(wnd); }, what);
}

HWND TThreadDriver::WaitForDialog(HWND owner, int controlId, const char* what) {
    return WaitForWindow(
        [owner, controlId](HWND w) {
            return ClassName(w) == L"#32770" && GetWindow(w, GW_OWNER) == owner && GetDlgItem(w, controlId);
        },
        what);
}

HWND TThreadDriver::Focus() const {
    GUITHREADINFO info{};
    info.cbSize = sizeof(info);
    GetGUIThreadInfo(uiThread_, &info);
    return info.hwndFocus;
}

void TThreadDriver::PressKey(UINT key) {
    HWND target = Focus();
    PostMessageW(target, WM_KEYDOWN, key, 1);
    PostMessageW(target, WM_KEYUP, key, 0xC0000001);
}

void TThreadDriver::PostClick(HWND button) { PostMessageW(button, BM_CLICK, 0, 0); }

void TThreadDriver::Click(HWND button) { SendMessageW(button, BM_CLICK, 0, 0); }

bool TThreadDriver::Checked(HWND box) { return SendMessageW(box, BM_GETCHECK, 0, 0) == BST_CHECKED; }

void TThreadDriver::SetText(HWND wnd, const std::wstring& text) {
    SendMessageW(wnd, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

void TThreadDriver::SelectComboItem(HWND dialog, int comboId, int index) {
    HWND combo = GetDlgItem(dialog, comboId);
    SendMessageW(combo, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
    SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(comboId, CBN_SELCHANGE), reinterpret_cast<LPARAM>(combo));
}

int TThreadDriver::FindComboItem(HWND dialog, int comboId,
                                 const std::function<bool(const std::wstring&, LRESULT)>& test) {
    HWND combo = GetDlgItem(dialog, comboId);
    const int count = static_cast<int>(SendMessageW(combo, CB_GETCOUNT, 0, 0));
    for (int i = 0; i < count; ++i) {
        wchar_t text[LF_FACESIZE * 2] = {};
        if (SendMessageW(combo, CB_GETLBTEXTLEN, i, 0) >= LF_FACESIZE * 2) continue;
        SendMessageW(combo, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(text));
        if (test(text, SendMessageW(combo, CB_GETITEMDATA, i, 0))) return i;
    }
    return -1;
}

void TThreadDriver::Rescue() {
    for (int round = 0; round < 50; ++round) {
        bool any = false;
        for (HWND wnd : ThreadWindows()) {
            if (!IsWindowVisible(wnd)) continue;
            const std::wstring cls = ClassName(wnd);
            if (cls == L"#32770") {
                PostMessageW(wnd, WM_COMMAND, IDCANCEL, 0);
                any = true;
            } else if (cls == L"#32768") {
                PostMessageW(wnd, WM_KEYDOWN, VK_ESCAPE, 0);
                any = true;
            }
        }
        if (!any) return;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
}

namespace {

BOOL CALLBACK CollectWindow(HWND wnd, LPARAM param) {
    reinterpret_cast<std::vector<HWND>*>(param)->push_back(wnd);
    return TRUE;
}

}  // namespace

std::vector<HWND> TThreadDriver::ThreadWindows() const {
    std::vector<HWND> windows;
    EnumThreadWindows(uiThread_, &CollectWindow, reinterpret_cast<LPARAM>(&windows));
    return windows;
}

// ---- files ------------------------------------------------------------------------------

std::string FileText(const std::wstring& path) {
    HANDLE file =
        CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return "<none>";
    std::string text;
    char buffer[4096];
    DWORD got = 0;
    while (ReadFile(file, buffer, sizeof(buffer), &got, nullptr) && got > 0) text.append(buffer, got);
    CloseHandle(file);
    return text;
}

void WriteText(const std::wstring& path, const std::string& bytes) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        ADD_FAILURE() << "cannot create " << Utf8(path) << " (error " << GetLastError() << ")";
        return;
    }
    DWORD written = 0;
    const BOOL ok = WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(file);
    if (!ok || written != bytes.size()) ADD_FAILURE() << "cannot write " << Utf8(path);
}

bool FileExists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

std::u16string ReadUtf16File(const std::wstring& path) {
    const std::string bytes = FileText(path);
    if (bytes == "<none>") return {};
    std::u16string text(bytes.size() / 2, u'\0');
    for (size_t i = 0; i < text.size(); ++i) {
        text[i] = static_cast<char16_t>(static_cast<unsigned char>(bytes[2 * i]) |
                                        static_cast<unsigned char>(bytes[2 * i + 1]) << 8);
    }
    return text;
}

}  // namespace pagelet::test
