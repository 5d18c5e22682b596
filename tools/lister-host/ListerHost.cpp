#include "ListerHost.h"

#include <ole2.h>
#include <richedit.h>

#include <cstring>
#include <cwchar>
#include <vector>

#include "HostOutput.h"
#include "HostResource.h"
#include "WindowImage.h"

namespace pagelet {

namespace {

constexpr wchar_t kListerClass[] = L"TLister";
constexpr wchar_t kMainClass[] = L"TListerHostMain";
constexpr wchar_t kPanelClass[] = L"TListerPanel";

constexpr UINT_PTR kBatchTimer = 1;
constexpr UINT_PTR kStepTimer = 2;
constexpr UINT_PTR kSettleTimer = 3;
constexpr UINT_PTR kCloseRetryTimer = 4;
// Time for the viewer to paint before the batch steps start, between two
// commands or typed keys, and for the keys handed back to arrive before the
// host closes.
constexpr UINT kBatchDelayMs = 500;
constexpr UINT kStepDelayMs = 100;
constexpr UINT kSettleDelayMs = 1000;
constexpr UINT kBoxWatchMs = 250;
constexpr UINT kCloseRetryMs = 200;
// A plug-in that answers every dismissed box with a new one would keep a
// batch run going for ever.
constexpr int kMaxDismissedBoxes = 20;

// Posted by a forwarded Esc: the key-up that the plug-in posted right after
// the key-down is still logged before the lister goes.
constexpr UINT kCloseOnEscMessage = WM_APP + 1;

constexpr int kPanelMargin = 8;

std::wstring FullPath(const std::wstring& path) {
    const DWORD size = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    if (size == 0) return path;
    std::wstring result(size, L'\0');
    const DWORD length = GetFullPathNameW(path.c_str(), size, result.data(), nullptr);
    if (length == 0 || length >= size) return path;
    result.resize(length);
    return result;
}

std::string ToAnsi(const std::wstring& text) {
    const int size = WideCharToMultiByte(CP_ACP, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
    if (size <= 0) return {};
    std::string result(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_ACP, 0, text.c_str(), -1, result.data(), size, nullptr, nullptr);
    result.resize(static_cast<size_t>(size - 1));
    return result;
}

std::wstring FromAnsi(const char* text) {
    const int size = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
    if (size <= 0) return {};
    std::wstring result(static_cast<size_t>(size), L'\0');
    MultiByteToWideChar(CP_ACP, 0, text, -1, result.data(), size);
    result.resize(static_cast<size_t>(size - 1));
    return result;
}

// The path as 8-bit text for the plug-in. A name that the ANSI code page
// cannot spell is handed over as its short name, which it always can.
std::string AnsiPath(const std::wstring& path) {
    BOOL lossy = FALSE;
    WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, path.c_str(), -1, nullptr, 0, nullptr, &lossy);
    if (lossy) {
        const DWORD size = GetShortPathNameW(path.c_str(), nullptr, 0);
        if (size > 0) {
            std::wstring shortPath(size, L'\0');
            const DWORD length = GetShortPathNameW(path.c_str(), shortPath.data(), size);
            if (length > 0 && length < size) {
                shortPath.resize(length);
                return ToAnsi(shortPath);
            }
        }
    }
    return ToAnsi(path);
}

// Control characters of a log line made visible: one line per entry.
std::wstring Escaped(const std::wstring& text) {
    std::wstring result;
    for (wchar_t c : text) {
        if (c == L'\r') {
            result += L"\\r";
        } else if (c == L'\n') {
            result += L"\\n";
        } else {
            result += c;
        }
    }
    return result;
}

// CR LF, CR and LF each become one newline; NULs are dropped.
std::wstring WithNewlines(const std::wstring& text) {
    std::wstring result;
    result.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        const wchar_t c = text[i];
        if (c == L'\r') {
            result += L'\n';
            if (i + 1 < text.size() && text[i + 1] == L'\n') ++i;
        } else if (c != L'\0') {
            result += c;
        }
    }
    return result;
}

std::wstring ClassName(HWND window) {
    wchar_t name[64] = {};
    GetClassNameW(window, name, 64);
    return name;
}

std::wstring WindowText(HWND window) {
    const int length = GetWindowTextLengthW(window);
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    const int got = GetWindowTextW(window, text.data(), length + 1);
    text.resize(static_cast<size_t>(got > 0 ? got : 0));
    return text;
}

bool IsRichEdit(HWND window) { return _wcsnicmp(ClassName(window).c_str(), L"RichEdit", 8) == 0; }

BOOL CALLBACK FindRichEditProc(HWND window, LPARAM lParam) {
    if (!IsRichEdit(window)) return TRUE;
    *reinterpret_cast<HWND*>(lParam) = window;
    return FALSE;
}

BOOL CALLBACK CollectStaticTextProc(HWND window, LPARAM lParam) {
    if (_wcsicmp(ClassName(window).c_str(), L"Static") == 0) {
        const std::wstring text = WindowText(window);
        if (!text.empty()) {
            auto& collected = *reinterpret_cast<std::wstring*>(lParam);
            if (!collected.empty()) collected += L" ";
            collected += text;
        }
    }
    return TRUE;
}

}  // namespace

// Counts a call into the plug-in that is under way. A message box or dialog
// of the plug-in runs a message loop inside such a call, where the host's
// timers and menu keep firing: the host must not type the next key or tear
// the viewer down under the plug-in's feet.
class TListerHost::TPluginCall {
public:
    explicit TPluginCall(TListerHost& host) : fHost(host) { ++fHost.fPluginCalls; }
    ~TPluginCall() { --fHost.fPluginCalls; }
    TPluginCall(const TPluginCall&) = delete;
    TPluginCall& operator=(const TPluginCall&) = delete;

private:
    TListerHost& fHost;
};

TListerHost* TListerHost::sBoxWatcher = nullptr;

TListerHost::TListerHost(const THostOptions& options, TListerPlugin& plugin)
    : fOptions(options), fPlugin(plugin), fInstance(GetModuleHandleW(nullptr)) {}

TListerHost::~TListerHost() {
    if (fBoxWatchTimer) KillTimer(nullptr, fBoxWatchTimer);
    if (sBoxWatcher == this) sBoxWatcher = nullptr;
    if (fViewerWin && fPlugin.ListCloseWindow) fPlugin.ListCloseWindow(fViewerWin);
    if (fMainWin) DestroyWindow(fMainWin);
}

template <LRESULT (TListerHost::*Handler)(HWND, UINT, WPARAM, LPARAM)>
LRESULT CALLBACK TListerHost::BoundWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto* host = reinterpret_cast<TListerHost*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (!host) return DefWindowProcW(window, message, wParam, lParam);
    try {
        return (host->*Handler)(window, message, wParam, lParam);
    } catch (...) {
        // Nothing may leave a window procedure; the host carries on.
        WriteErrLine(L"lister-host: unexpected failure in a window procedure");
        return DefWindowProcW(window, message, wParam, lParam);
    }
}

bool TListerHost::RegisterClasses() {
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.hInstance = fInstance;
    windowClass.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // IDC_ARROW
    windowClass.hIcon = LoadIconW(nullptr, MAKEINTRESOURCEW(32512));      // IDI_APPLICATION

    windowClass.lpfnWndProc = &BoundWindowProc<&TListerHost::ListerMessage>;
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    windowClass.lpszClassName = kListerClass;
    if (!RegisterClassExW(&windowClass)) return false;

    windowClass.lpfnWndProc = &BoundWindowProc<&TListerHost::MainMessage>;
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    windowClass.lpszClassName = kMainClass;
    if (!RegisterClassExW(&windowClass)) return false;

    windowClass.lpfnWndProc = &BoundWindowProc<&TListerHost::PanelMessage>;
    windowClass.lpszClassName = kPanelClass;
    return RegisterClassExW(&windowClass) != 0;
}

bool TListerHost::CreateWindows(const std::wstring& fullPath) {
    const HMENU menu = LoadMenuW(fInstance, MAKEINTRESOURCEW(IDR_LISTER_MENU));
    constexpr int kWidth = 800;
    constexpr int kHeight = 600;
    if (!fOptions.quickView) {
        fMainWin =
            CreateWindowExW(0, kListerClass, (L"Lister - " + fullPath).c_str(), WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN,
                            40, 40, kWidth, kHeight, nullptr, menu, fInstance, this);
        fListerWin = fMainWin;
    } else {
        fMainWin = CreateWindowExW(0, kMainClass, (L"lister-host - quick view - " + fullPath).c_str(),
                                   WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, 40, 40, kWidth, kHeight, nullptr, menu,
                                   fInstance, this);
        if (fMainWin) {
            fPanelWin = CreateWindowExW(WS_EX_CLIENTEDGE, kPanelClass, L"", WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN, 0,
                                        0, kWidth, kHeight, fMainWin, nullptr, fInstance, this);
        }
        if (fPanelWin) {
            fListerWin = CreateWindowExW(0, kListerClass, L"", WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN, 0, 0, kWidth,
                                         kHeight, fPanelWin, nullptr, fInstance, this);
        }
    }
    if (!fMainWin || !fListerWin) {
        WriteErrLine(L"lister-host: cannot create the lister window (error " + std::to_wstring(GetLastError()) + L")");
        if (!fMainWin) DestroyMenu(menu);
        return false;
    }
    // Lay the quick-view panel and lister out for the main window's size.
    RECT client{};
    GetClientRect(fMainWin, &client);
    SendMessageW(fMainWin, WM_SIZE, SIZE_RESTORED, MAKELPARAM(client.right, client.bottom));
    ShowWindow(fMainWin, SW_SHOW);
    UpdateWindow(fMainWin);
    return true;
}

void TListerHost::SetDefaultParams() {
    if (!fPlugin.ListSetDefaultParams) return;
    const std::wstring ini =
        fOptions.iniPath.empty() ? ProgramDirectory() + L"lister-host.ini" : FullPath(fOptions.iniPath);
    lister::TDefaultParams params{};
    params.Size = sizeof params;
    params.PluginInterfaceVersionLow = 0;
    params.PluginInterfaceVersionHi = 2;
    const std::string ansi = AnsiPath(ini);
    std::strncpy(params.DefaultIniName, ansi.c_str(), MAX_PATH - 1);
    fPlugin.ListSetDefaultParams(&params);
    WriteOutLine(L"default settings file: " + ini);
}

void TListerHost::LogDetectString() {
    if (!fPlugin.ListGetDetectString) return;
    char buffer[2048] = {};
    fPlugin.ListGetDetectString(buffer, sizeof buffer);
    buffer[sizeof buffer - 1] = '\0';
    WriteOutLine(L"detect string: " + FromAnsi(buffer));
}

int TListerHost::Run() {
    if (!RegisterClasses()) {
        WriteErrLine(L"lister-host: cannot register the window classes");
        return 2;
    }
    fFindMessage = RegisterWindowMessageW(FINDMSGSTRINGW);
    fWrap = fOptions.wrap;
    const std::wstring fullPath = FullPath(fOptions.fileName);

    SetDefaultParams();
    LogDetectString();
    if (!CreateWindows(fullPath)) return 2;
    fAccelerators = LoadAcceleratorsW(fInstance, MAKEINTRESOURCEW(IDA_LISTER));
    if (fOptions.Batch()) {
        // A thread timer fires inside any message loop of this thread, the
        // modal loop of a message box too.
        sBoxWatcher = this;
        fBoxWatchTimer = SetTimer(nullptr, 0, kBoxWatchMs, &BoxWatchTimerProc);
    }

    std::string ansiPath = AnsiPath(fullPath);
    {
        TPluginCall call(*this);
        fViewerWin = fPlugin.ListLoad(fListerWin, ansiPath.data(), fWrap ? lister::kDisplayWrapText : 0);
    }
    if (!fViewerWin) {
        WriteErrLine(L"lister-host: the plug-in did not open " + fullPath);
        fClosing = true;
        DestroyWindow(fMainWin);
        return 1;
    }
    RECT client{};
    GetClientRect(fListerWin, &client);
    MoveWindow(fViewerWin, 0, 0, client.right, client.bottom, TRUE);
    WriteOutLine(L"loaded: " + fullPath);

    if (fOptions.printText) PrintViewerText();
    if (fOptions.Batch()) SetTimer(fMainWin, kBatchTimer, kBatchDelayMs, nullptr);

    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        if (fFindDialog && IsDialogMessageW(fFindDialog, &msg)) continue;
        if (fMainWin && fAccelerators && TranslateAcceleratorW(fMainWin, fAccelerators, &msg)) continue;
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    return fExitCode;
}

HWND TListerHost::FindRichEdit() const {
    if (!fViewerWin) return nullptr;
    if (IsRichEdit(fViewerWin)) return fViewerWin;
    HWND found = nullptr;
    EnumChildWindows(fViewerWin, &FindRichEditProc, reinterpret_cast<LPARAM>(&found));
    return found;
}

void TListerHost::PrintViewerText() {
    const HWND edit = FindRichEdit();
    if (!edit) {
        WriteErrLine(L"lister-host: the viewer has no rich-edit control");
        fExitCode = 1;
        return;
    }
    const LRESULT length = SendMessageW(edit, WM_GETTEXTLENGTH, 0, 0);
    // Room for a CR LF count that differs from the length reported.
    std::wstring text(static_cast<size_t>(length) * 2 + 2, L'\0');
    const LRESULT got = SendMessageW(edit, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()));
    text.resize(static_cast<size_t>(got > 0 ? got : 0));
    WriteOutLine(L"viewer text: " + std::to_wstring(text.size()) + L" characters");
    WriteOutLine(L"----- text -----");
    std::wstring printed = WithNewlines(text);
    if (!printed.empty() && printed.back() != L'\n') printed += L'\n';
    WriteOut(printed);
    WriteOutLine(L"----- end of text -----");
}

void TListerHost::BatchStep() {
    KillTimer(fMainWin, kBatchTimer);
    if (!fOptions.screenshotPath.empty()) {
        RedrawWindow(fMainWin, nullptr, nullptr,
                     RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
        GdiFlush();
        const std::wstring path = FullPath(fOptions.screenshotPath);
        SIZE size{};
        std::wstring error;
        if (SaveWindowImage(fMainWin, path, size, error)) {
            WriteOutLine(L"screenshot: " + path + L" (" + std::to_wstring(size.cx) + L"x" + std::to_wstring(size.cy) +
                         L")");
        } else {
            WriteErrLine(L"lister-host: " + error);
            fExitCode = 1;
        }
    }
    if (!fOptions.commands.empty() || !fOptions.keys.empty()) {
        NextScriptStep();
        return;
    }
    Close(L"done");
}

void TListerHost::RunCommand(const THostCommand& command) {
    using TKind = THostCommand::TKind;
    WriteOutLine(L"running " + command.name);
    switch (command.kind) {
    case TKind::Copy:
        SendCommand(lister::kCommandCopy, 0);
        break;
    case TKind::SelectAll:
        SendCommand(lister::kCommandSelectAll, 0);
        break;
    case TKind::Wrap:
        ToggleWrap();
        break;
    case TKind::Percent:
        SendCommand(lister::kCommandSetPercent, command.percent);
        break;
    case TKind::Find:
        StartSearch(command.text, command.backwards, command.matchCase, command.wholeWords);
        break;
    case TKind::FindNext:
    case TKind::FindPrevious:
        // The menu opens the find dialog when there is nothing to repeat; a
        // batch run has nobody to fill it in.
        if (fLastSearch.empty()) {
            WriteOutLine(L"no search to repeat");
        } else {
            OnCommand(command.kind == TKind::FindNext ? IDM_FINDNEXT : IDM_FINDPREV);
        }
        break;
    }
    LogSelection();
}

void TListerHost::LogSelection() {
    const HWND edit = FindRichEdit();
    if (!edit) return;
    CHARRANGE range{0, 0};
    SendMessageW(edit, EM_EXGETSEL, 0, reinterpret_cast<LPARAM>(&range));
    WriteOutLine(L"selection: " + std::to_wstring(range.cpMin) + L" length " +
                 std::to_wstring(range.cpMax - range.cpMin));
}

// Runs the next of --command, then types the next of --send-keys into the
// viewer's rich-edit control: one step per timer tick, so that what the
// plug-in posts back is handled in between (a handed-back W rebuilds the
// control, for instance).
void TListerHost::NextScriptStep() {
    KillTimer(fMainWin, kStepTimer);
    if (fClosing) return;
    if (Busy()) {
        SetTimer(fMainWin, kStepTimer, kStepDelayMs, nullptr);
        return;
    }
    const size_t step = fNextStep++;
    if (step < fOptions.commands.size()) {
        RunCommand(fOptions.commands[step]);
    } else if (step - fOptions.commands.size() < fOptions.keys.size()) {
        TypeKey(fOptions.keys[step - fOptions.commands.size()]);
    } else {
        SetTimer(fMainWin, kSettleTimer, kSettleDelayMs, nullptr);
        return;
    }
    if (!fClosing && fMainWin) SetTimer(fMainWin, kStepTimer, kStepDelayMs, nullptr);
}

void TListerHost::TypeKey(const TKeyStroke& key) {
    const HWND target = FindRichEdit();
    if (!target) {
        WriteErrLine(L"lister-host: the viewer has no rich-edit control to type into");
        fExitCode = 1;
        Close(L"no control to type into");
        return;
    }
    WriteOutLine(L"typing " + key.name);
    // The modifiers as the plug-in's GetKeyState sees them while it handles
    // the key; sent, not posted, so that the state holds for exactly that time.
    BYTE saved[256] = {};
    GetKeyboardState(saved);
    BYTE state[256];
    std::memcpy(state, saved, sizeof state);
    auto hold = [&state](int virtualKey, bool down) { state[virtualKey] = down ? 0x80 : 0; };
    hold(VK_SHIFT, key.shift);
    hold(VK_LSHIFT, key.shift);
    hold(VK_CONTROL, key.ctrl);
    hold(VK_LCONTROL, key.ctrl);
    hold(VK_MENU, key.alt);
    hold(VK_LMENU, key.alt);
    SetKeyboardState(state);
    const UINT scanCode = MapVirtualKeyW(key.virtualKey, 0 /* MAPVK_VK_TO_VSC */);
    const LPARAM downParam = static_cast<LPARAM>(1u | (scanCode << 16) | (key.alt ? 1u << 29 : 0u));
    const LPARAM upParam = static_cast<LPARAM>(static_cast<unsigned>(downParam) | (1u << 30) | (1u << 31));
    {
        TPluginCall call(*this);
        SendMessageW(target, key.alt ? WM_SYSKEYDOWN : WM_KEYDOWN, key.virtualKey, downParam);
        if (IsWindow(target)) SendMessageW(target, key.alt ? WM_SYSKEYUP : WM_KEYUP, key.virtualKey, upParam);
    }
    SetKeyboardState(saved);
}

void TListerHost::OnListerKey(UINT message, WPARAM key) {
    const bool down = message == WM_KEYDOWN || message == WM_SYSKEYDOWN;
    WriteOutLine(std::wstring(down ? L"key down " : L"key up ") + HexText(static_cast<unsigned long>(key)));
    if (!down) return;
    if (key == VK_ESCAPE) {
        PostMessageW(fMainWin, kCloseOnEscMessage, 0, 0);
    } else if (key == 'W') {
        ToggleWrap();
    }
}

LRESULT TListerHost::ListerMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_SIZE:
        if (fViewerWin) MoveWindow(fViewerWin, 0, 0, LOWORD(lParam), HIWORD(lParam), TRUE);
        if (window == fMainWin) return 0;
        break;
    case WM_SETFOCUS:
        // The lister passes the keyboard focus on to the plug-in's window.
        if (fViewerWin) SetFocus(fViewerWin);
        return 0;
    case WM_KEYDOWN:
    case WM_KEYUP:
        OnListerKey(message, wParam);
        return 0;
    case WM_SYSKEYDOWN:
    case WM_SYSKEYUP:
        OnListerKey(message, wParam);
        break;
    default:
        break;
    }
    if (window == fMainWin) return MainMessage(window, message, wParam, lParam);
    return DefWindowProcW(window, message, wParam, lParam);
}

LRESULT TListerHost::PanelMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_SIZE && fListerWin) {
        MoveWindow(fListerWin, 0, 0, LOWORD(lParam), HIWORD(lParam), TRUE);
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

LRESULT TListerHost::MainMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_SIZE:
        if (fPanelWin) {
            const int width = LOWORD(lParam) - 2 * kPanelMargin;
            const int height = HIWORD(lParam) - 2 * kPanelMargin;
            MoveWindow(fPanelWin, kPanelMargin, kPanelMargin, width > 0 ? width : 0, height > 0 ? height : 0, TRUE);
        }
        return 0;
    case WM_COMMAND:
        OnCommand(LOWORD(wParam));
        return 0;
    case WM_INITMENUPOPUP: {
        const HMENU menu = reinterpret_cast<HMENU>(wParam);
        const UINT commands = fPlugin.ListSendCommand ? MF_ENABLED : MF_GRAYED;
        const UINT search = fPlugin.ListSearchTextW ? MF_ENABLED : MF_GRAYED;
        CheckMenuItem(menu, IDM_WRAP, MF_BYCOMMAND | (fWrap ? MF_CHECKED : MF_UNCHECKED));
        for (UINT id : {IDM_COPY, IDM_SELECTALL, IDM_WRAP, IDM_GOTOPERCENT}) EnableMenuItem(menu, id, commands);
        for (UINT id : {IDM_FIND, IDM_FINDNEXT, IDM_FINDPREV}) EnableMenuItem(menu, id, search);
        return 0;
    }
    case WM_TIMER:
        if (wParam == kBatchTimer) {
            BatchStep();
        } else if (wParam == kStepTimer) {
            NextScriptStep();
        } else if (wParam == kSettleTimer) {
            KillTimer(window, kSettleTimer);
            Close(L"done");
        } else if (wParam == kCloseRetryTimer) {
            KillTimer(window, kCloseRetryTimer);
            const std::wstring reason = fPendingClose;
            Close(reason.c_str());
        }
        return 0;
    case kCloseOnEscMessage:
        Close(L"Esc");
        return 0;
    case WM_CLOSE:
        Close(L"window closed");
        return 0;
    case WM_DESTROY:
        PostQuitMessage(fExitCode);
        return 0;
    case WM_NCDESTROY:
        fMainWin = fPanelWin = fListerWin = nullptr;
        break;
    default:
        if (fFindMessage != 0 && message == fFindMessage) {
            OnFindMessage(*reinterpret_cast<const FINDREPLACEW*>(lParam));
            return 0;
        }
        break;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

void TListerHost::OnCommand(WORD id) {
    switch (id) {
    case IDM_EXIT:
        Close(L"menu");
        break;
    case IDM_COPY:
        SendCommand(lister::kCommandCopy, 0);
        break;
    case IDM_SELECTALL:
        SendCommand(lister::kCommandSelectAll, 0);
        break;
    case IDM_WRAP:
        ToggleWrap();
        break;
    case IDM_FIND:
        OpenFindDialog();
        break;
    case IDM_FINDNEXT:
    case IDM_FINDPREV:
        if (fLastSearch.empty()) {
            OpenFindDialog();
        } else {
            const int direction = id == IDM_FINDPREV ? lister::kSearchBackwards : 0;
            Search(fLastSearch, (fLastSearchFlags & ~lister::kSearchBackwards) | direction);
        }
        break;
    case IDM_GOTOPERCENT:
        GoToPercent();
        break;
    default:
        break;
    }
}

void TListerHost::SendCommand(int command, int parameter) {
    if (!fViewerWin || !fPlugin.ListSendCommand) return;
    int result;
    {
        TPluginCall call(*this);
        result = fPlugin.ListSendCommand(fViewerWin, command, parameter);
    }
    WriteOutLine(L"command " + std::to_wstring(command) + L" (" + std::to_wstring(parameter) + L"): " +
                 (result == 0 ? L"done" : L"failed"));
}

void TListerHost::ToggleWrap() {
    fWrap = !fWrap;
    SendCommand(lister::kCommandNewParams, fWrap ? lister::kDisplayWrapText : 0);
}

void TListerHost::OpenFindDialog() {
    if (!fPlugin.ListSearchTextW) return;
    if (fFindDialog) {
        SetActiveWindow(fFindDialog);
        return;
    }
    const DWORD flags = fFind.Flags & (FR_DOWN | FR_MATCHCASE | FR_WHOLEWORD);
    fFind = FINDREPLACEW{};
    fFind.lStructSize = sizeof fFind;
    fFind.hwndOwner = fMainWin;
    fFind.hInstance = fInstance;
    fFind.Flags = fLastSearch.empty() ? FR_DOWN : flags;
    fFind.lpstrFindWhat = fFindBuffer;
    // The length in characters; read as bytes it still lies within the buffer.
    fFind.wFindWhatLen = static_cast<WORD>(sizeof fFindBuffer / sizeof fFindBuffer[0]);
    fFindDialog = FindTextW(&fFind);
}

void TListerHost::OnFindMessage(const FINDREPLACEW& find) {
    if (find.Flags & FR_DIALOGTERM) {
        fFindDialog = nullptr;
        return;
    }
    if (!(find.Flags & FR_FINDNEXT) || !find.lpstrFindWhat || !find.lpstrFindWhat[0]) return;
    StartSearch(find.lpstrFindWhat, !(find.Flags & FR_DOWN), (find.Flags & FR_MATCHCASE) != 0,
                (find.Flags & FR_WHOLEWORD) != 0);
}

void TListerHost::StartSearch(const std::wstring& text, bool backwards, bool matchCase, bool wholeWords) {
    int flags = 0;
    if (backwards) flags |= lister::kSearchBackwards;
    if (matchCase) flags |= lister::kSearchMatchCase;
    if (wholeWords) flags |= lister::kSearchWholeWords;
    // A new text is looked for from the start (or the end, backwards).
    const int first = text != fLastSearch ? lister::kSearchFromStart : 0;
    fLastSearch = text;
    fLastSearchFlags = flags;
    Search(text, flags | first);
}

void TListerHost::Search(const std::wstring& text, int flags) {
    if (!fViewerWin || !fPlugin.ListSearchTextW) return;
    std::wstring searched = text;
    int result;
    {
        TPluginCall call(*this);
        result = fPlugin.ListSearchTextW(fViewerWin, searched.data(), flags);
    }
    WriteOutLine(L"search \"" + text + L"\" flags " + HexText(static_cast<unsigned long>(flags)) + L": " +
                 (result == 0 ? L"done" : L"failed"));
}

INT_PTR CALLBACK TListerHost::PercentDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG:
        SetWindowLongPtrW(dialog, DWLP_USER, lParam);
        SetDlgItemInt(dialog, IDC_PERCENT, static_cast<UINT>(*reinterpret_cast<int*>(lParam)), FALSE);
        SendDlgItemMessageW(dialog, IDC_PERCENT, EM_LIMITTEXT, 3, 0);
        return TRUE;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDOK) {
            BOOL valid = FALSE;
            const UINT value = GetDlgItemInt(dialog, IDC_PERCENT, &valid, FALSE);
            if (!valid || value > 100) {
                MessageBeep(MB_ICONWARNING);
                return TRUE;
            }
            *reinterpret_cast<int*>(GetWindowLongPtrW(dialog, DWLP_USER)) = static_cast<int>(value);
            EndDialog(dialog, IDOK);
            return TRUE;
        }
        if (LOWORD(wParam) == IDCANCEL) {
            EndDialog(dialog, IDCANCEL);
            return TRUE;
        }
        break;
    default:
        break;
    }
    return FALSE;
}

void TListerHost::GoToPercent() {
    if (!fViewerWin || !fPlugin.ListSendCommand) return;
    int percent = fPercent;
    if (DialogBoxParamW(fInstance, MAKEINTRESOURCEW(IDD_PERCENT), fMainWin, &PercentDialogProc,
                        reinterpret_cast<LPARAM>(&percent)) != IDOK) {
        return;
    }
    fPercent = percent;
    SendCommand(lister::kCommandSetPercent, percent);
}

bool TListerHost::Busy() const { return fPluginCalls > 0 || (fMainWin && !IsWindowEnabled(fMainWin)); }

void TListerHost::Close(const wchar_t* reason) {
    if (fClosing) return;
    if (Busy()) {
        // Inside a call of the plug-in, or under a modal window: close once it is over.
        fPendingClose = reason;
        SetTimer(fMainWin, kCloseRetryTimer, kCloseRetryMs, nullptr);
        return;
    }
    fClosing = true;
    WriteOutLine(std::wstring(L"closing: ") + reason);
    if (fFindDialog) {
        DestroyWindow(fFindDialog);
        fFindDialog = nullptr;
    }
    if (fViewerWin) {
        const HWND viewer = fViewerWin;
        fViewerWin = nullptr;
        // Without ListCloseWindow, destroying the lister window below tears the viewer down.
        if (fPlugin.ListCloseWindow) fPlugin.ListCloseWindow(viewer);
    }
    if (fMainWin) DestroyWindow(fMainWin);
}

void CALLBACK TListerHost::BoxWatchTimerProc(HWND, UINT, UINT_PTR, DWORD) {
    if (sBoxWatcher) EnumThreadWindows(GetCurrentThreadId(), &DismissBoxProc, reinterpret_cast<LPARAM>(sBoxWatcher));
}

// A message box of the plug-in while nobody is at the screen: log what it
// says and press its button.
BOOL CALLBACK TListerHost::DismissBoxProc(HWND window, LPARAM lParam) {
    auto* host = reinterpret_cast<TListerHost*>(lParam);
    if (window == host->fFindDialog || window == host->fLastBox || !IsWindowVisible(window) ||
        ClassName(window) != L"#32770") {
        return TRUE;
    }
    std::wstring text;
    EnumChildWindows(window, &CollectStaticTextProc, reinterpret_cast<LPARAM>(&text));
    WriteOutLine(L"message box \"" + WindowText(window) + L"\": " + Escaped(text));
    host->fLastBox = window;
    if (++host->fDismissedBoxes > kMaxDismissedBoxes) {
        WriteErrLine(L"lister-host: the plug-in keeps showing message boxes; giving up");
        ExitProcess(1);
    }
    const WORD button = GetDlgItem(window, IDOK) ? IDOK : IDCANCEL;
    PostMessageW(window, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED), 0);
    return TRUE;
}

int RunListerHost(const THostOptions& options) {
    const HRESULT ole = OleInitialize(nullptr);
    int exitCode = 2;
    {
        TListerPlugin plugin;
        const std::wstring pluginPath =
            options.pluginPath.empty() ? ProgramDirectory() + PluginFileName() : FullPath(options.pluginPath);
        std::wstring error;
        if (!plugin.Load(pluginPath, error)) {
            WriteErrLine(L"lister-host: " + error);
        } else {
            TListerHost host(options, plugin);
            exitCode = host.Run();
        }
    }
    if (SUCCEEDED(ole)) OleUninitialize();
    return exitCode;
}

}  // namespace pagelet
