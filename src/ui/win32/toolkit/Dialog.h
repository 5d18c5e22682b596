#pragma once

// A modal dialog made from a dialog template of the library's resources. The
// object is bound to its window at WM_INITDIALOG; the controls are placed in
// pixels designed at 96 dpi and scaled to the DPI of the monitor the dialog
// opens on; ShowModal runs the modal loop with the host's windows disabled.

#include <windows.h>

#include <span>
#include <string>

#include "common/Handles.h"
#include "ui/win32/toolkit/Application.h"

namespace pagelet {

// Modal results: the ids of the OK and Cancel buttons.
inline constexpr int mrOk = IDOK;          // 1
inline constexpr int mrCancel = IDCANCEL;  // 2

// The design DPI of layouts.
inline constexpr int kDesignDpi = 96;

// One control's place in the client area, in pixels at 96 dpi.
struct TControlPlace {
    int Id;
    int X, Y, Width, Height;
};

// The DPI of the monitor a window is on, as the window sees it (the
// system's when the platform cannot tell per monitor).
int WindowDpi(HWND wnd);

class TDialog : public TComponent {
public:
    ~TDialog() override;
    TDialog(const TDialog&) = delete;
    TDialog& operator=(const TDialog&) = delete;

    HWND Handle() const { return handle_.Get(); }

    // Shows the dialog modally, centred on the work area: every other enabled
    // visible top-level window of this thread is disabled until it closes,
    // then enabled again and the window that was active before is activated.
    // Answers the modal result: mrOk after Accept, or mrCancel for Cancel,
    // Esc, the frame's close and a dialog destroyed with its owner.
    int ShowModal();

    // The DPI the layout is scaled to, and a design size (pixels at 96 dpi) at that DPI.
    int Dpi() const { return dpi_; }
    int Scale(int designPixels) const { return MulDiv(designPixels, dpi_, kDesignDpi); }

protected:
    TDialog() = default;

    // Makes the dialog's window from the template, hidden, owned by owner
    // (may be 0); InitDialog runs inside. Throws EPagelet(failureText) on failure.
    void Create(int templateId, HWND owner, const std::u16string& failureText);
    // Destroys the window now (a derived dialog whose window uses its
    // members calls it first thing in its destructor).
    void DestroyHandle() { handle_.Reset(); }
    // Places every control of layout and sizes the client area, all scaled to Dpi().
    void PlaceControls(std::span<const TControlPlace> layout, SIZE clientSize);

    // At WM_INITDIALOG: fill the controls.
    virtual void InitDialog() {}
    // When ShowModal starts, before the dialog is visible.
    virtual void Shown() {}
    // OK was pressed: read the controls back. The dialog closes with mrOk
    // unless this throws.
    virtual void Accept() {}
    // WM_COMMAND of the dialog's own controls other than OK and Cancel.
    virtual void Command(UINT id, UINT code) {
        (void)id;
        (void)code;
    }
    // Any other message; answers whether it was handled, with its result.
    virtual bool Message(UINT msg, WPARAM wParam, LPARAM lParam, INT_PTR& result) {
        (void)msg;
        (void)wParam;
        (void)lParam;
        (void)result;
        return false;
    }
    // The control that has the focus when the dialog shows; 0 leaves it to the dialog manager.
    virtual HWND FirstFocus() const { return nullptr; }

private:
    static INT_PTR CALLBACK DialogProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam);
    INT_PTR Dispatch(UINT msg, WPARAM wParam, LPARAM lParam);
    void CenterOnWorkArea();

    TWindowHandle handle_;
    int modalResult_ = 0;
    int dpi_ = kDesignDpi;
};

}  // namespace pagelet
