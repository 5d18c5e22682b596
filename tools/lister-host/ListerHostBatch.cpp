// The batch script of a run without anyone at the screen: print the viewer's
// text, take the screenshot, run the --command steps, type the --send-keys,
// and log and dismiss the plug-in's message boxes.
#include <windows.h>
#include <richedit.h>

#include <cstring>

#include "HostOutput.h"
#include "HostResource.h"
#include "HostText.h"
#include "ListerHost.h"
#include "WindowImage.h"

namespace pagelet {

namespace {

// A plug-in that answers every dismissed box with a new one would keep a
// batch run going for ever.
constexpr int kMaxDismissedBoxes = 20;

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
    if (!fOptions.ScreenshotPath.empty()) {
        RedrawWindow(fMainWin, nullptr, nullptr,
                     RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
        GdiFlush();
        const std::wstring path = FullPath(fOptions.ScreenshotPath);
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
    if (!fOptions.Commands.empty() || !fOptions.Keys.empty()) {
        NextScriptStep();
        return;
    }
    Close(L"done");
}

void TListerHost::RunCommand(const THostCommand& command) {
    using TKind = THostCommand::TKind;
    WriteOutLine(L"running " + command.Name);
    switch (command.Kind) {
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
        SendCommand(lister::kCommandSetPercent, command.Percent);
        break;
    case TKind::Find:
        StartSearch(command.Text, command.Backwards, command.MatchCase, command.WholeWords);
        break;
    case TKind::FindNext:
    case TKind::FindPrevious:
        // The menu opens the find dialog when there is nothing to repeat; a
        // batch run has nobody to fill it in.
        if (fLastSearch.empty()) {
            WriteOutLine(L"no search to repeat");
        } else {
            OnCommand(command.Kind == TKind::FindNext ? IDM_FINDNEXT : IDM_FINDPREV);
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
    if (step < fOptions.Commands.size()) {
        RunCommand(fOptions.Commands[step]);
    } else if (step - fOptions.Commands.size() < fOptions.Keys.size()) {
        TypeKey(fOptions.Keys[step - fOptions.Commands.size()]);
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
    WriteOutLine(L"typing " + key.Name);
    // The modifiers as the plug-in's GetKeyState sees them while it handles
    // the key; sent, not posted, so that the state holds for exactly that time.
    BYTE saved[256] = {};
    GetKeyboardState(saved);
    BYTE state[256];
    std::memcpy(state, saved, sizeof state);
    auto hold = [&state](int virtualKey, bool down) { state[virtualKey] = down ? 0x80 : 0; };
    hold(VK_SHIFT, key.Shift);
    hold(VK_LSHIFT, key.Shift);
    hold(VK_CONTROL, key.Ctrl);
    hold(VK_LCONTROL, key.Ctrl);
    hold(VK_MENU, key.Alt);
    hold(VK_LMENU, key.Alt);
    SetKeyboardState(state);
    const UINT scanCode = MapVirtualKeyW(key.VirtualKey, 0 /* MAPVK_VK_TO_VSC */);
    const LPARAM downParam = static_cast<LPARAM>(1u | (scanCode << 16) | (key.Alt ? 1u << 29 : 0u));
    const LPARAM upParam = static_cast<LPARAM>(static_cast<unsigned>(downParam) | (1u << 30) | (1u << 31));
    {
        TPluginCall call(*this);
        SendMessageW(target, key.Alt ? WM_SYSKEYDOWN : WM_KEYDOWN, key.VirtualKey, downParam);
        if (IsWindow(target)) SendMessageW(target, key.Alt ? WM_SYSKEYUP : WM_KEYUP, key.VirtualKey, upParam);
    }
    SetKeyboardState(saved);
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

}  // namespace pagelet
