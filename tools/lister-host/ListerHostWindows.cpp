// The host's window classes: the lister window, and for quick view a main
// window with a panel around it; their menu and the keys the plug-in hands back.
#include <windows.h>

#include "HostOutput.h"
#include "HostResource.h"
#include "ListerHost.h"

namespace pagelet {

namespace {

constexpr wchar_t kListerClass[] = L"TLister";

constexpr wchar_t kMainClass[] = L"TListerHostMain";

constexpr wchar_t kPanelClass[] = L"TListerPanel";

constexpr int kPanelMargin = 8;

}  // namespace

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
    if (!fOptions.QuickView) {
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

}  // namespace pagelet
