#pragma once

// The rich-edit control ("RICHEDIT20W" from RICHED20.DLL) as the viewer uses
// it: read-only plain text, font and background properties that send nothing
// when unchanged, a rebuild of the window when word wrap or scroll bars
// change, key and wheel events that run before the control sees the message.
// It is the Windows back end of the viewer core (viewer/ViewerCore.h): the
// core decides what to show when, the control shows it. Positions of the
// back end are text offsets (CR LF two); the control's own count CR LF as one.

#include <windows.h>
#include <richedit.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "settings/TextForms.h"
#include "viewer/LineEndIndex.h"
#include "viewer/ViewerBackEnd.h"
#include "ui/win32/toolkit/Application.h"
#include "ui/win32/toolkit/Menu.h"

namespace pagelet {

enum class TScrollStyle { ssNone, ssHorizontal, ssVertical, ssBoth };

// Colour values: 0 or more is 0x00BBGGRR; negative is a system colour (low 8 bits the index).
inline constexpr int32_t clWindowText = static_cast<int32_t>(0xFF000008);
inline constexpr int32_t clWindow = static_cast<int32_t>(0xFF000005);
COLORREF ColorToRGB(int32_t color);
// The dark scheme's stand-ins for the system colours of background and text.
inline constexpr COLORREF kDarkBackColor = RGB(32, 32, 32);
inline constexpr COLORREF kDarkTextColor = RGB(220, 220, 220);

// key: the virtual-key code; set it to 0 to keep the message from the control.
using TKeyEvent = std::function<void(uint16_t& key, TShiftState shift)>;
using TMouseWheelEvent = std::function<void(TShiftState shift, int wheelDelta, POINT mousePos, bool& handled)>;

class TRichEdit : public TComponent, public TViewerBackEnd {
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
    void Repaint() override;

    // Text and selection. Positions are the control's character positions.
    std::u16string Text() const;
    // Replaces the text at once.
    void SetText(const std::u16string& text);
    int GetTextLen() const;
    // Scrolls to the first line and the left edge.
    void ScrollToStart() override;

    // Keyboard focus. SetFocus throws EPagelet when the control cannot take it.
    void SetFocus();
    bool CanFocus() const;
    bool Focused() const;

    // Changing either rebuilds the window, empty (font, background and focus
    // carried over; the zoom is not): the core puts the text in again.
    bool WordWrap() const { return wordWrap_; }
    void SetWordWrap(bool value);
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

    void SetBackColor(int32_t color);

    // percent/100; 0 switches zooming off.
    void SetZoom(int percent);

    TKeyEvent OnKeyDown;
    TMouseWheelEvent OnMouseWheel;
    // Opened by the right mouse button; its shortcuts work while the control has the focus.
    TPopupMenu* PopupMenu = nullptr;
    // Called when the focus arrives from outside the form.
    std::function<void()> OnEnterFromOutside;
    // Called for each step the core asked for (ScheduleStep).
    std::function<void()> OnStep;

    // The back end of the viewer core.
    void PutText(std::u16string_view text) override;
    void AppendSlice(std::u16string_view text) override;
    TTextRange Selection() const override;
    void Select(TTextRange range, bool scroll) override;
    void ShowFont(const TFontSpec& font, bool dark) override;
    void ShowBackColor(int32_t color, bool dark) override;
    bool ShowWordWrap(bool wrap) override;
    void ShowZoom(int32_t percent) override { SetZoom(percent); }
    void Focus() override { SetFocus(); }
    void CopyToClipboard(std::u16string_view text) override;
    void ScheduleStep() override;
    void CancelStep() override;
    bool Dragging() const override;

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
    COLORREF ShownColor(int32_t color, COLORREF dark) const;
    void Send(UINT msg, WPARAM wParam, LPARAM lParam) const;

    LONG ControlLength() const;

    TLineEndIndex lineEnds_;  // of the text the control was given
    HWND parent_ = nullptr;
    HWND handle_ = nullptr;
    WNDPROC oldProc_ = nullptr;
    RECT bounds_{0, 0, 0, 0};
    bool wordWrap_ = true;
    TScrollStyle scrollBars_ = TScrollStyle::ssVertical;
    // Arial 9 (12 pixels high at 96 dpi).
    TFontSpec font_{u"Arial", 9, 0, clWindowText, RUSSIAN_CHARSET};
    int32_t backColor_ = clWindow;
    // The dark scheme (ShowFont, ShowBackColor) shows system colours
    // (negative values) of the font and background as kDarkTextColor and
    // kDarkBackColor; explicit colours stay.
    bool darkScheme_ = false;
};

}  // namespace pagelet
