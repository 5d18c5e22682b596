#pragma once

// The rich-edit control ("RICHEDIT20W" from RICHED20.DLL) as the viewer uses
// it: read-only plain text, font and background properties that send nothing
// when unchanged, a rebuild of the window when word wrap or scroll bars
// change, key and wheel events that run before the control sees the message,
// a timer whose message comes after everything else on the thread.
// Positions are the control's own (CR LF counts as one). The viewer core
// draws through it by way of ui/win32/RichEditViewer.h.

#include <windows.h>
#include <richedit.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "settings/TextForms.h"
#include "ui/win32/toolkit/Application.h"
#include "ui/win32/toolkit/Menu.h"

namespace pagelet {

enum class TScrollStyle { ssNone, ssHorizontal, ssVertical, ssBoth };

// Colour values: 0 or more is 0x00BBGGRR; negative is a system colour (low 8 bits the index).
inline constexpr int32_t clWindowText = static_cast<int32_t>(0xFF000008);
inline constexpr int32_t clWindow = static_cast<int32_t>(0xFF000005);
COLORREF ColorToRGB(int32_t color);

// key: the virtual-key code; set it to 0 to keep the message from the control.
using TKeyEvent = std::function<void(uint16_t& key, TShiftState shift)>;
using TMouseWheelEvent = std::function<void(TShiftState shift, int wheelDelta, POINT mousePos, bool& handled)>;

class TRichEdit : public TComponent {
public:
    TRichEdit();
    ~TRichEdit() override;
    TRichEdit(const TRichEdit&) = delete;
    TRichEdit& operator=(const TRichEdit&) = delete;

    // Makes the control's window as a child of parent.
    void CreateWnd(HWND parent);
    HWND Handle() const { return handle_; }
    void SetBounds(int x, int y, int width, int height);
    // Invalidates the whole control and updates it at once.
    void Repaint();

    // Text and selection. Positions are the control's character positions.
    std::u16string Text() const;
    // Replaces the text at once; nothing is sent when it is the same.
    void SetText(const std::u16string& text);
    // Replaces the text: the selection empty at 0.
    void PutText(std::u16string_view text);
    // Appends text at the end. The selection and the scroll position stay;
    // only what the new text changes on screen is painted.
    void AppendText(std::u16string_view text);
    int GetTextLen() const;
    CHARRANGE Selection() const;
    // Selects range. scroll: brings it into view; otherwise the view stays
    // where it is, and the same range sends nothing.
    void Select(CHARRANGE range, bool scroll);
    // Scrolls to the first line and the left edge.
    void ScrollToStart();

    // Keyboard focus. SetFocus throws EPagelet when the control cannot take it.
    void SetFocus();
    bool CanFocus() const;
    bool Focused() const;
    // True while the mouse is captured (a drag selects).
    bool Captured() const;

    // Changing either rebuilds the window, empty (font, background and focus
    // carried over; the zoom is not): the owner puts the text in again.
    bool WordWrap() const { return wordWrap_; }
    void SetWordWrap(bool value);
    TScrollStyle ScrollBars() const { return scrollBars_; }
    void SetScrollBars(TScrollStyle value);
    // Word wrap on with a vertical scroll bar, or off with both.
    void SetWordWrapWithScrollBars(bool wrap);

    // Font of the control's default character format. A change applies the
    // whole font (EM_SETCHARFORMAT, SCF_DEFAULT); the same value sends nothing.
    // An empty face is not applied: the face in force stays. A size beyond
    // what the control shows (kMaxFontPoints) is shown at that size.
    const TFontSpec& Font() const { return font_; }
    void SetFont(const TFontSpec& font);
    void SetFontName(const std::u16string& name);
    void SetFontSize(int32_t points);
    void SetFontColor(int32_t color);
    static constexpr int32_t kMaxFontPoints = 1638;

    int32_t BackColor() const { return backColor_; }
    void SetBackColor(int32_t color);

    // percent/100; 0 switches zooming off.
    void SetZoom(int percent);

    // The timer: OnTimer runs once, about ms later, when the thread's queue
    // holds nothing else; a start while it waits starts it again.
    void StartTimer(UINT ms);
    void StopTimer();

    TKeyEvent OnKeyDown;
    TMouseWheelEvent OnMouseWheel;
    // Opened by the right mouse button; its shortcuts work while the control has the focus.
    TPopupMenu* PopupMenu = nullptr;
    // Called when the focus arrives from outside the form.
    std::function<void()> OnEnterFromOutside;
    std::function<void()> OnTimer;

private:
    static LRESULT CALLBACK SubclassProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam);
    LRESULT Dispatch(UINT msg, WPARAM wParam, LPARAM lParam);
    bool WmKeyDown(WPARAM wParam, LPARAM lParam);
    bool WmMouseWheel(WPARAM wParam, LPARAM lParam);
    void WmContextMenu(LPARAM lParam);
    void WmNcPaint();
    void WmNcCalcSize(WPARAM wParam, LPARAM lParam);
    LRESULT CallOld(UINT msg, WPARAM wParam, LPARAM lParam);

    DWORD Style() const;
    void CreateHandle();
    void DestroyHandle();
    void RecreateWnd();
    void ApplyFont();
    void ApplyBackColor();
    void Send(UINT msg, WPARAM wParam, LPARAM lParam) const;

    LONG ControlLength() const;

    HWND parent_ = nullptr;
    HWND handle_ = nullptr;
    WNDPROC oldProc_ = nullptr;
    RECT bounds_{0, 0, 0, 0};
    bool wordWrap_ = true;
    TScrollStyle scrollBars_ = TScrollStyle::ssVertical;
    // Arial 9 (12 pixels high at 96 dpi).
    TFontSpec font_{u"Arial", 9, 0, clWindowText, RUSSIAN_CHARSET};
    int32_t backColor_ = clWindow;
};

}  // namespace pagelet
