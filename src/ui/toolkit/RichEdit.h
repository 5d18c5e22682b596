#pragma once

// The rich-edit control ("RICHEDIT20W" from RICHED20.DLL) as the viewer uses
// it: read-only plain text, font and background properties that send nothing
// when unchanged, a rebuild of the window when word wrap or scroll bars
// change, key and wheel events that run before the control sees the message.

#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>

#include "ui/toolkit/Application.h"
#include "ui/toolkit/Menu.h"

namespace pagelet {

enum class TScrollStyle { ssNone, ssHorizontal, ssVertical, ssBoth };

// Find flags, as the platform's find dialog has them.
inline constexpr unsigned kFindDown = 1;       // FR_DOWN
inline constexpr unsigned kFindWholeWord = 2;  // FR_WHOLEWORD
inline constexpr unsigned kFindMatchCase = 4;  // FR_MATCHCASE

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
    void SetText(const std::u16string& text);
    int GetTextLen() const;
    void SelectAll();
    void CopyToClipboard();
    int SelStart() const;
    int SelLength() const;
    void SetSelStart(int pos);
    void SetSelLength(int length);
    // Scrolls to the first line and the left edge.
    void ScrollToStart();

    // Keyboard focus. SetFocus throws EPagelet when the control cannot take it.
    void SetFocus();
    bool CanFocus() const;
    bool Focused() const;

    // Changing either rebuilds the window (text, selection, font, background
    // and focus carried over; the zoom is not).
    bool WordWrap() const { return wordWrap_; }
    void SetWordWrap(bool value);
    TScrollStyle ScrollBars() const { return scrollBars_; }
    void SetScrollBars(TScrollStyle value);
    // Word wrap on with a vertical scroll bar, or off with both.
    void SetWordWrapWithScrollBars(bool wrap);
    bool PlainText() const { return plainText_; }
    void SetPlainText(bool value) { plainText_ = value; }

    // Font of the control's default character format. A change applies the
    // whole font (EM_SETCHARFORMAT, SCF_DEFAULT); the same value sends nothing.
    // An empty face is not applied.
    const std::u16string& FontName() const { return fontName_; }
    int32_t FontSize() const { return fontSize_; }
    uint8_t FontStyle() const { return fontStyle_; }
    int32_t FontColor() const { return fontColor_; }
    uint8_t FontCharset() const { return fontCharset_; }
    void SetFontName(const std::u16string& name);
    void SetFontSize(int32_t points);
    void SetFontStyle(uint8_t style);
    void SetFontColor(int32_t color);
    void SetFontCharset(uint8_t charset);

    int32_t BackColor() const { return backColor_; }
    void SetBackColor(int32_t color);

    // The dark scheme shows system colours (negative values) of the font and
    // background as kDarkTextColor and kDarkBackColor; explicit colours stay.
    // The colour properties keep their values either way.
    bool DarkScheme() const { return darkScheme_; }
    void SetDarkScheme(bool dark);

    // Searches text between minPos and maxPos (backwards without kFindDown);
    // the match's start or -1.
    int Find(int minPos, int maxPos, const std::u16string& text, unsigned flags) const;
    // percent/100; 0 switches zooming off.
    void SetZoom(int percent);

    TKeyEvent OnKeyDown;
    TMouseWheelEvent OnMouseWheel;
    // Opened by the right mouse button; its shortcuts work while the control has the focus.
    TPopupMenu* PopupMenu = nullptr;
    // Called when the focus arrives from outside the form.
    std::function<void()> OnEnterFromOutside;

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

    HWND parent_ = nullptr;
    HWND handle_ = nullptr;
    WNDPROC oldProc_ = nullptr;
    RECT bounds_{0, 0, 0, 0};
    bool wordWrap_ = true;
    TScrollStyle scrollBars_ = TScrollStyle::ssVertical;
    bool plainText_ = true;
    std::u16string fontName_ = u"Arial";
    int32_t fontSize_ = 9;  // 12 pixels high at 96 dpi
    uint8_t fontStyle_ = 0;
    int32_t fontColor_ = clWindowText;
    uint8_t fontCharset_ = RUSSIAN_CHARSET;
    int32_t backColor_ = clWindow;
    bool darkScheme_ = false;
};

}  // namespace pagelet
