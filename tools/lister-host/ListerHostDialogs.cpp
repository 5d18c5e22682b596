// The host's dialogs: the platform's find dialog and the go-to-percent
// dialog, and the searches and commands they lead to.
#include <windows.h>
#include <commdlg.h>

#include "HostOutput.h"
#include "HostResource.h"
#include "ListerHost.h"

namespace pagelet {

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
                 (result == lister::kListerOk ? L"done" : L"not found"));
    // Someone at the screen is told; a batch run has the log line.
    if (result != lister::kListerOk && !fOptions.Batch()) {
        MessageBoxW(fFindDialog ? fFindDialog : fMainWin, (L"\"" + text + L"\" not found").c_str(), L"Find",
                    MB_OK | MB_ICONINFORMATION);
    }
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

}  // namespace pagelet
