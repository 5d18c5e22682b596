// The built plug-in with MSWord=-1 in its settings file: ListLoad takes the
// document's text from the automation server registered as
// "Word.Application" (the test-only stub) and shows it, or reports that the
// document could not be opened.

#include <windows.h>
#include <objbase.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "msword/WordStubHarness.h"
#include "plugin/ListerApi.h"

namespace {

using pagelet::test::WordStub;
namespace lister = pagelet::lister;

struct TPluginExports {
    HMODULE Module = nullptr;
    lister::TListLoad ListLoad = nullptr;
    lister::TListCloseWindow ListCloseWindow = nullptr;
    lister::TListSetDefaultParams ListSetDefaultParams = nullptr;
    lister::TListGetPreviewBitmapW ListGetPreviewBitmapW = nullptr;
};

TPluginExports Plugin;
std::wstring SettingsDir;  // with a trailing backslash

template <typename F>
void Bind(const char* name, F& f) {
    f = reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(Plugin.Module, name)));
    if (!f) throw std::runtime_error(std::string("the plug-in does not export ") + name);
}

std::string ToAnsi(const std::wstring& text) {
    int n = WideCharToMultiByte(CP_ACP, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_ACP, 0, text.c_str(), -1, out.data(), n, nullptr, nullptr);
    out.resize(static_cast<size_t>(n) - 1);
    return out;
}

// The host's side: OLE initialised on the user-interface thread, the plug-in
// loaded and given its settings folder, the stub registered.
class TListLoadEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        ASSERT_TRUE(SUCCEEDED(OleInitialize(nullptr)));
        try {
            WordStub().SetUp();
            Plugin.Module = LoadLibraryW(PAGELET_PLUGIN_PATH);
            if (!Plugin.Module) throw std::runtime_error("cannot load the plug-in");
            Bind("ListLoad", Plugin.ListLoad);
            Bind("ListCloseWindow", Plugin.ListCloseWindow);
            Bind("ListSetDefaultParams", Plugin.ListSetDefaultParams);
            Bind("ListGetPreviewBitmapW", Plugin.ListGetPreviewBitmapW);
        } catch (const std::exception& e) {
            FAIL() << e.what();
        }
        wchar_t temp[MAX_PATH];
        GetTempPathW(MAX_PATH, temp);
        SettingsDir = std::wstring(temp) + L"pagelet-msword-listload\\";
        CreateDirectoryW(SettingsDir.c_str(), nullptr);
        lister::TDefaultParams params{};
        params.Size = sizeof params;
        params.PluginInterfaceVersionLow = 10;
        params.PluginInterfaceVersionHi = 2;
        ToAnsi(SettingsDir + L"lsplugin.ini").copy(params.DefaultIniName, sizeof params.DefaultIniName - 1);
        Plugin.ListSetDefaultParams(&params);
    }
    void TearDown() override {
        DeleteFileW((SettingsDir + L"Pagelet.ini").c_str());
        RemoveDirectoryW(SettingsDir.c_str());
        WordStub().TearDown();
        OleUninitialize();
    }
};

const auto* const kEnvironment = ::testing::AddGlobalTestEnvironment(new TListLoadEnvironment);

// Message boxes shown during a call: found by a timer that runs inside the
// box's modal loop, read and closed.
std::vector<std::wstring> Boxes;
std::vector<HWND> SeenBoxes;

std::wstring WindowText(HWND wnd) {
    int n = GetWindowTextLengthW(wnd);
    std::wstring text(static_cast<size_t>(n) + 1, L'\0');
    n = GetWindowTextW(wnd, text.data(), n + 1);
    text.resize(static_cast<size_t>(n));
    return text;
}

BOOL CALLBACK LongestStatic(HWND child, LPARAM lParam) {
    wchar_t cls[32] = {};
    GetClassNameW(child, cls, 32);
    auto* best = reinterpret_cast<std::wstring*>(lParam);
    if (lstrcmpiW(cls, L"Static") == 0) {
        std::wstring text = WindowText(child);
        if (text.size() > best->size()) *best = text;
    }
    return TRUE;
}

BOOL CALLBACK CloseBox(HWND wnd, LPARAM) {
    wchar_t cls[32] = {};
    GetClassNameW(wnd, cls, 32);
    if (lstrcmpW(cls, L"#32770") == 0 && IsWindowVisible(wnd) &&
        std::find(SeenBoxes.begin(), SeenBoxes.end(), wnd) == SeenBoxes.end()) {
        SeenBoxes.push_back(wnd);
        std::wstring text;
        EnumChildWindows(wnd, LongestStatic, reinterpret_cast<LPARAM>(&text));
        Boxes.push_back(text);
        PostMessageW(wnd, WM_COMMAND, IDOK, 0);
    }
    return TRUE;
}

void CALLBACK BoxTimer(HWND, UINT, UINT_PTR, DWORD) { EnumThreadWindows(GetCurrentThreadId(), CloseBox, 0); }

BOOL CALLBACK FindRichEdit(HWND child, LPARAM lParam) {
    wchar_t cls[64] = {};
    GetClassNameW(child, cls, 64);
    if (_wcsnicmp(cls, L"RichEdit", 8) == 0) {
        *reinterpret_cast<HWND*>(lParam) = child;
        return FALSE;
    }
    return TRUE;
}

// Lines of a control's text: CR, LF or CR LF end a line.
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

void WriteBytes(const std::wstring& path, const std::string& bytes) {
    HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    DWORD put = 0;
    WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &put, nullptr);
    CloseHandle(h);
}

class MSWordListLoad : public ::testing::Test {
protected:
    void SetUp() override {
        doc_ = SettingsDir + L"report.doc";
        WriteBytes(doc_, "stand-in for a binary document");
        WriteBytes(doc_ + L".txt", "Exported by Word\r\nSecond paragraph\r\n");
        SetMSWord(L"-1");
        WordStub().Reset();
        Boxes.clear();
        SeenBoxes.clear();

        WNDCLASSW wc{};
        wc.lpfnWndProc = DefWindowProcW;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = L"PageletMSWordTestLister";
        RegisterClassW(&wc);
        lister_ = CreateWindowExW(0, wc.lpszClassName, L"Lister", WS_OVERLAPPEDWINDOW, 0, 0, 640, 480, nullptr, nullptr,
                                  wc.hInstance, nullptr);
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
        WritePrivateProfileStringW(L"Options", L"MSWord", value, (SettingsDir + L"Pagelet.ini").c_str());
    }

    HWND Load() {
        std::string path = ToAnsi(doc_);
        UINT_PTR timer = SetTimer(nullptr, 0, 50, BoxTimer);
        HWND viewer = Plugin.ListLoad(lister_, path.data(), 0);
        KillTimer(nullptr, timer);
        return viewer;
    }

    std::wstring doc_;
    HWND lister_ = nullptr;
};

TEST_F(MSWordListLoad, ShowsTheTextWordExported) {
    HWND viewer = Load();
    ASSERT_NE(viewer, nullptr);
    EXPECT_TRUE(Boxes.empty());
    HWND edit = nullptr;
    EnumChildWindows(viewer, FindRichEdit, reinterpret_cast<LPARAM>(&edit));
    ASSERT_NE(edit, nullptr) << "no rich-edit control in the viewer";
    EXPECT_EQ(Lines(WindowText(edit)), (std::vector<std::wstring>{L"Exported by Word", L"Second paragraph"}));
    const std::vector<std::wstring> calls = WordStub().Calls();
    ASSERT_FALSE(calls.empty());
    EXPECT_EQ(calls.front(), L"CreateInstance");
    EXPECT_EQ(calls.back(), L"Application.Quit method");
    Plugin.ListCloseWindow(viewer);
}

TEST_F(MSWordListLoad, ReportsAFailedExport) {
    WordStub().FailAt(L"SaveAs", 1, true);
    EXPECT_EQ(Load(), nullptr);
    ASSERT_EQ(Boxes.size(), 1u);
    EXPECT_EQ(Boxes[0], L"Error opening document:\r" + doc_);
    const std::vector<std::wstring> calls = WordStub().Calls();
    ASSERT_FALSE(calls.empty());
    EXPECT_EQ(calls.back(), L"Application.Quit method SaveChanges=VT_I4:0");
}

// The setting chooses the loader: without it Word is never started (and the
// built-in converter finds no Word document in the stand-in file).
TEST_F(MSWordListLoad, LeavesWordAloneWhenTheSettingIsOff) {
    SetMSWord(L"0");
    EXPECT_EQ(Load(), nullptr);
    EXPECT_TRUE(WordStub().Log().empty());
    ASSERT_EQ(Boxes.size(), 1u);
    EXPECT_EQ(Boxes[0], L"Error opening document:\r" + doc_);
}

// Thumbnails come from the built-in converter even with MSWord=-1, on a
// worker thread as the host calls them: Word is never started.
TEST_F(MSWordListLoad, ThumbnailsNeverStartWord) {
    std::wstring sample = PAGELET_SAMPLE_DOC;
    HBITMAP pictures[2] = {};
    std::thread worker([&] {
        pictures[0] = Plugin.ListGetPreviewBitmapW(sample.data(), 120, 160, nullptr, 0);
        pictures[1] = Plugin.ListGetPreviewBitmapW(doc_.data(), 120, 160, nullptr, 0);
    });
    worker.join();
    EXPECT_NE(pictures[0], nullptr);
    EXPECT_EQ(pictures[1], nullptr) << "the stand-in is no document the converter reads";
    if (pictures[0]) DeleteObject(pictures[0]);
    EXPECT_TRUE(WordStub().Log().empty());
}

}  // namespace
