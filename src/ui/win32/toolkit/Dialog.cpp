#include "ui/win32/toolkit/Dialog.h"

#include <vector>

#include "common/Error.h"

namespace pagelet {

namespace {

// Disables every enabled visible top-level window of this thread but one,
// and enables them again.
class TThreadWindowsDisabled {
public:
    explicit TThreadWindowsDisabled(HWND except) : except_(except) {
        EnumThreadWindows(GetCurrentThreadId(), &Collect, reinterpret_cast<LPARAM>(this));
        for (HWND wnd : windows_) EnableWindow(wnd, FALSE);
    }
    ~TThreadWindowsDisabled() { EnableAgain(); }
    TThreadWindowsDisabled(const TThreadWindowsDisabled&) = delete;
    TThreadWindowsDisabled& operator=(const TThreadWindowsDisabled&) = delete;

    void EnableAgain() {
        for (HWND wnd : windows_) {
            if (IsWindow(wnd)) EnableWindow(wnd, TRUE);
        }
        windows_.clear();
    }

private:
    static BOOL CALLBACK Collect(HWND wnd, LPARAM param) {
        auto* self = reinterpret_cast<TThreadWindowsDisabled*>(param);
        if (wnd == self->except_ || !IsWindowVisible(wnd) || !IsWindowEnabled(wnd)) return TRUE;
        try {
            self->windows_.push_back(wnd);
        } catch (...) {
            return FALSE;
        }
        return TRUE;
    }

    HWND except_;
    std::vector<HWND> windows_;
};

}  // namespace

int WindowDpi(HWND wnd) {
    // GetDpiForWindow exists from Windows 10 1607 on: looked up, not linked.
    using TGetDpiForWindow = UINT(WINAPI*)(HWND);
    static const auto getDpiForWindow = reinterpret_cast<TGetDpiForWindow>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"user32.dll"), "GetDpiForWindow")));
    if (getDpiForWindow && wnd) {
        const UINT dpi = getDpiForWindow(wnd);
        if (dpi > 0) return static_cast<int>(dpi);
    }
    const TWindowDC dc(wnd, TWindowDC::ClientArea);
    const int dpi = dc.Get() ? GetDeviceCaps(dc.Get(), LOGPIXELSY) : 0;
    return dpi > 0 ? dpi : kDesignDpi;
}

TDialog::~TDialog() = default;

void TDialog::Create(int templateId, HWND owner, const std::u16string& failureText) {
    HWND wnd = CreateDialogParamW(ModuleInstance(), MAKEINTRESOURCEW(templateId), owner, &DialogProc,
                                  reinterpret_cast<LPARAM>(this));
    if (!wnd) {
        const auto error = static_cast<int32_t>(GetLastError());
        handle_.Release();
        throw EPagelet(failureText, error);
    }
}

INT_PTR CALLBACK TDialog::DialogProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_INITDIALOG) {
        auto* self = reinterpret_cast<TDialog*>(lParam);
        SetWindowLongPtrW(wnd, DWLP_USER, lParam);
        self->handle_.Reset(wnd);
        self->dpi_ = WindowDpi(wnd);
        Application().Guard(self, [self] { self->InitDialog(); });
        return FALSE;  // the focus is set when the dialog is shown
    }
    auto* self = reinterpret_cast<TDialog*>(GetWindowLongPtrW(wnd, DWLP_USER));
    if (!self) return FALSE;
    if (msg == WM_NCDESTROY) {
        // Destroyed with its owner, or by the destructor: forget the handle.
        SetWindowLongPtrW(wnd, DWLP_USER, 0);
        self->handle_.Release();
        return FALSE;
    }
    INT_PTR result = FALSE;
    Application().Guard(self, [&] { result = self->Dispatch(msg, wParam, lParam); });
    return result;
}

INT_PTR TDialog::Dispatch(UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
    case WM_COMMAND: {
        const UINT id = LOWORD(wParam);
        const UINT code = HIWORD(wParam);
        if (id == IDOK && code == BN_CLICKED) {
            Accept();
            modalResult_ = mrOk;
        } else if (id == IDCANCEL && code == BN_CLICKED) {  // the Cancel button and Esc
            modalResult_ = mrCancel;
        } else {
            Command(id, code);
        }
        return TRUE;
    }
    case WM_CLOSE:  // the frame's close box, Alt+F4
        modalResult_ = mrCancel;
        return TRUE;
    default: {
        INT_PTR result = FALSE;
        return Message(msg, wParam, lParam, result) ? result : FALSE;
    }
    }
}

void TDialog::PlaceControls(std::span<const TControlPlace> layout, SIZE clientSize) {
    HWND wnd = Handle();
    for (const TControlPlace& place : layout) {
        SetWindowPos(GetDlgItem(wnd, place.Id), nullptr, Scale(place.X), Scale(place.Y), Scale(place.Width),
                     Scale(place.Height), SWP_NOZORDER | SWP_NOACTIVATE);
    }
    RECT bounds{0, 0, Scale(clientSize.cx), Scale(clientSize.cy)};
    AdjustWindowRectEx(&bounds, static_cast<DWORD>(GetWindowLongW(wnd, GWL_STYLE)), FALSE,
                       static_cast<DWORD>(GetWindowLongW(wnd, GWL_EXSTYLE)));
    SetWindowPos(wnd, nullptr, 0, 0, bounds.right - bounds.left, bounds.bottom - bounds.top,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void TDialog::CenterOnWorkArea() {
    RECT work{};
    if (!SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0)) {
        work = RECT{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    }
    RECT bounds{};
    GetWindowRect(Handle(), &bounds);
    const int width = bounds.right - bounds.left;
    const int height = bounds.bottom - bounds.top;
    SetWindowPos(Handle(), nullptr, work.left + (work.right - work.left - width) / 2,
                 work.top + (work.bottom - work.top - height) / 2, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

int TDialog::ShowModal() {
    HWND wnd = Handle();
    HWND previouslyActive = GetActiveWindow();
    TThreadWindowsDisabled disabled(wnd);
    modalResult_ = 0;
    CenterOnWorkArea();
    Application().Guard(this, [this] { Shown(); });
    ShowWindow(wnd, SW_SHOW);
    if (HWND focus = FirstFocus()) SendMessageW(wnd, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(focus), TRUE);

    while (modalResult_ == 0) {
        if (!Handle()) {  // destroyed together with its owner
            modalResult_ = mrCancel;
            break;
        }
        MSG msg;
        const BOOL got = GetMessageW(&msg, nullptr, 0, 0);
        if (got == 0) {  // WM_QUIT belongs to the host's loop: hand it back
            PostQuitMessage(static_cast<int>(msg.wParam));
            modalResult_ = mrCancel;
            break;
        }
        if (got == -1) {
            modalResult_ = mrCancel;
            break;
        }
        if (!IsDialogMessageW(wnd, &msg)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }

    // Enable the others before hiding, so that activation stays with them.
    disabled.EnableAgain();
    if (Handle()) ShowWindow(wnd, SW_HIDE);
    if (previouslyActive && IsWindow(previouslyActive)) SetActiveWindow(previouslyActive);
    return modalResult_;
}

}  // namespace pagelet
