#pragma once

// The harness of the Windows tests: what a test needs to drive the built
// plug-in the way a host drives it, or to run lister-host and read what it
// printed. One header for every Windows test file:
//   - text: ANSI paths for the 8-bit exports, UTF-8 and UTF-16 forms;
//   - the plug-in: loaded, its exports bound, its settings folder given;
//   - messages: pumping the queue, test window classes;
//   - windows: class names, texts, the viewer's control, its selection;
//   - boxes and menus met while a call runs: read and dismissed;
//   - a second thread that works the windows of a modal loop;
//   - files: whole-file reads and writes.

#include <windows.h>
#include <richedit.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <span>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "plugin/ListerApi.h"
#include "support/SearchCases.h"

namespace pagelet::test {

// ---- text ---------------------------------------------------------------------

std::wstring Wide(const std::u16string& text);
std::wstring WideFromUtf8(const std::string& text);
std::string Utf8(const std::wstring& text);
std::u16string Utf16(const std::wstring& text);
// The system ANSI code page form, as the 8-bit exports take file names.
std::string Ansi(const std::wstring& text);
std::string Ansi(const std::u16string& text);
// Lines of a text: CR, LF or CR LF end a line; no empty line after the last end.
std::vector<std::wstring> Lines(const std::wstring& text);

// ---- the plug-in ---------------------------------------------------------------

// The plug-in library and its exports, every one of them bound.
struct TPluginDll : lister::TListerExports {
    HMODULE Module = nullptr;

    // Loads the library and binds the exports; when it cannot, or an export
    // is missing, says why and leaves nothing loaded.
    bool Load(const std::wstring& path, std::string& error);
    // Frees the library and forgets the exports.
    void Free();

    // ListSetDefaultParams with a host INI path (its folder becomes the
    // plug-in's settings folder) and interface version 2.10.
    void SetDefaultParams(const std::wstring& hostIni) const;
};

// The built plug-in of this test program: PAGELET_PLUGIN_PATH (a "Z:/..."
// path defined by the test's CMakeLists.txt).
std::wstring BuiltPluginPath();

// The built plug-in of a test program, shared by all its tests, and the
// private folder its settings go to.
struct TTestPlugin : TPluginDll {
    std::filesystem::path SettingsDir;
};
TTestPlugin& Plugin();

// What the environment of a Windows test program does, in this order at
// the start: COM started on the tests' thread (as a host's user-interface
// thread has it), the built plug-in loaded into Plugin() and given the
// settings folder pagelet-NAME-test-PID in the temporary folder (the host's
// INI path names it), then SetUp; at the end TearDown, the folder removed,
// COM ended. A step that throws fails the program's tests with its message.
enum class TComStart { None, Com, Ole };
struct TEnvironmentSteps {
    TComStart Com = TComStart::None;
    bool LoadPlugin = true;
    std::function<void()> SetUp;
    std::function<void()> TearDown;
};

class TPluginEnvironment : public ::testing::Environment {
public:
    TPluginEnvironment(std::string name, TEnvironmentSteps steps) : name_(std::move(name)), steps_(std::move(steps)) {}
    // With afterLoad as the SetUp step.
    explicit TPluginEnvironment(std::string name, std::function<void()> afterLoad = {}) : name_(std::move(name)) {
        steps_.SetUp = std::move(afterLoad);
    }
    void SetUp() override;
    void TearDown() override;

private:
    std::string name_;
    TEnvironmentSteps steps_;
    bool comStarted_ = false;
};

// Registers a TPluginEnvironment for the program (at namespace scope:
// const auto* const kEnvironment = test::AddPluginEnvironment("name");),
// with afterLoad as its SetUp step, or with steps of its own.
::testing::Environment* AddPluginEnvironment(std::string name, std::function<void()> afterLoad = {});
::testing::Environment* AddPluginEnvironment(std::string name, TEnvironmentSteps steps);

// ---- messages and windows ---------------------------------------------------------

// Dispatches every queued message once.
void PumpMessages();
// Rounds of PumpMessages with a short sleep between them until `rounds` in a
// row bring no message for a window, for what the plug-in posts (or sets a
// timer for) while it handles what was posted before.
void Pump(int rounds = 3);

// Registers a window class of this program once (later calls do nothing).
void RegisterTestClass(const wchar_t* name, WNDPROC proc = DefWindowProcW);
// A window of such a class; top-level when parent is null.
HWND MakeWindow(const wchar_t* className, const wchar_t* title, DWORD style, RECT bounds, HWND parent = nullptr);

std::wstring ClassName(HWND wnd);
// WM_GETTEXT: also answers for a window of another thread of this process.
std::wstring WindowText(HWND wnd);

// The viewer's rich-edit control.
HWND ViewerControl(HWND viewer);
// A control's whole text (UTF-16 as the control holds it).
std::u16string ControlText(HWND control);
CHARRANGE Selection(HWND control);
void Select(HWND control, int start, int length);
// EM_GETZOOM: {numerator, denominator}; {0, 0} when no zoom is set.
std::pair<int, int> Zoom(HWND control);

// Runs search cases through ListSearchTextW on a viewer that shows text
// (offsets of the cases are the text's, CR LF two; the control counts a line
// end as one). Before each search the focus is on the lister; a search that
// moves the selection gives the viewer's control the focus.
void ExpectSearches(const TPluginDll& plugin, HWND viewer, const std::u16string& text,
                    std::span<const TSearchCase> cases);

// ---- message boxes and menus --------------------------------------------------------

// A message box met while a call ran.
struct TBox {
    std::u16string Caption;
    std::u16string Text;  // the longest static text of the box
    HWND Owner;           // the owner window as the platform set it (a top-level window)
};

// While it lives, a timer of this thread (it fires inside any modal loop)
// finds this thread's visible message boxes and popup menus, records them
// and dismisses them: a box with IDOK, a menu with EndMenu. One at a time.
class TBoxCatcher {
public:
    explicit TBoxCatcher(UINT intervalMs = 30);
    ~TBoxCatcher();
    TBoxCatcher(const TBoxCatcher&) = delete;
    TBoxCatcher& operator=(const TBoxCatcher&) = delete;

    // What the catcher of this thread met so far (one record for the program).
    static std::vector<TBox>& Boxes();
    // The item texts of each menu, "-" for a separator.
    static std::vector<std::vector<std::u16string>>& Menus();
    static void Clear();

private:
    UINT_PTR timer_ = 0;
};

// ---- a second thread that works the UI thread's windows --------------------------------

// Used from a worker thread while the UI thread runs a modal loop: waits for
// windows of the UI thread, reads and sets controls by messages, presses keys.
// Waits throw std::runtime_error naming what was awaited when they time out.
class TThreadDriver {
public:
    explicit TThreadDriver(DWORD uiThread, std::chrono::milliseconds timeout = std::chrono::seconds(15))
        : uiThread_(uiThread), timeout_(timeout) {}

    // Waits until some visible top-level window of the UI thread satisfies test.
    HWND WaitForWindow(const std::function<bool(HWND)>& test, const char* what);
    void WaitUntil(const std::function<bool()>& test, const char* what);
    void WaitGone(HWND wnd, const char* what);
    // A dialog of the platform owned by owner and holding a control with this id.
    HWND WaitForDialog(HWND owner, int controlId, const char* what);

    HWND Focus() const;
    // A key press as the keyboard would queue it for the focused control.
    void PressKey(UINT key);

    // Presses a button the way BM_CLICK does; posted, since the button may open a modal dialog.
    static void PostClick(HWND button);
    static void Click(HWND button);
    static bool Checked(HWND box);
    static void SetText(HWND wnd, const std::wstring& text);
    // Selects a combo box item and tells the dialog, as a user's choice does.
    static void SelectComboItem(HWND dialog, int comboId, int index);
    // The first item whose text and item data satisfy test, or -1.
    static int FindComboItem(HWND dialog, int comboId, const std::function<bool(const std::wstring&, LRESULT)>& test);

    // Leaves nothing modal open (dialogs cancelled, menus escaped), so that
    // the UI thread returns after a failure.
    void Rescue();

    std::vector<HWND> ThreadWindows() const;

private:
    DWORD uiThread_;
    std::chrono::milliseconds timeout_;
};

// ---- files ------------------------------------------------------------------------------

// The bytes of a file, or "<none>" when it cannot be read.
std::string FileText(const std::wstring& path);
// Writes the bytes, replacing the file; a failure of the test when it cannot.
void WriteText(const std::wstring& path, const std::string& bytes);
bool FileExists(const std::wstring& path);
// A file of little-endian UTF-16 code units (no byte order mark expected).
std::u16string ReadUtf16File(const std::wstring& path);

}  // namespace pagelet::test
