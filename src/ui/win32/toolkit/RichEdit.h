#pragma once

// The rich-edit control ("RICHEDIT20W" from RICHED20.DLL) as the viewer uses
// it: read-only plain text, font and background properties that send nothing
// when unchanged, a rebuild of the window when word wrap or scroll bars
// change, key and wheel events that run before the control sees the message.
// A long text arrives in steps: the first screen at once, the rest appended
// from the control's own messages, so that the thread stays free between them.

#include <windows.h>
#include <richedit.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "settings/TextForms.h"
#include "ui/win32/toolkit/Application.h"
#include "ui/win32/toolkit/Menu.h"

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
    // Replaces the text at once; forgets a text given to LoadText.
    void SetText(const std::u16string& text);
    // Shows text (lines ending with CR LF) with the selection selStart..selEnd:
    // a short text at once; a long one in steps, the first screen before this
    // returns and the rest from messages the control posts to itself, each
    // step bounded in time. The caret, selection and scroll position stay where
    // they are while the text grows. A step that would leave the process less
    // address space than its reserve is not made: the text then ends with a
    // line that says how much is not shown. The control keeps the text for a
    // rebuild of its window.
    void LoadText(std::shared_ptr<const std::u16string> text, int selStart = 0, int selEnd = 0);
    // Text of LoadText still to come.
    bool Pending() const { return pending_; }
    // Appends all pending text now (the reserve still applies).
    void FinishPending();
    // Characters of LoadText's text left out for the reserve; 0 when all shown.
    size_t NotShown() const { return notShown_; }
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
    // and focus carried over; the zoom is not). The text comes back through
    // LoadText's steps.
    bool WordWrap() const { return wordWrap_; }
    void SetWordWrap(bool value);
    void SetScrollBars(TScrollStyle value);
    // Word wrap on with a vertical scroll bar, or off with both.
    void SetWordWrapWithScrollBars(bool wrap);
    void SetPlainText(bool value) { plainText_ = value; }

    // Font of the control's default character format. A change applies the
    // whole font (EM_SETCHARFORMAT, SCF_DEFAULT); the same value sends nothing.
    // An empty face is not applied: the face in force stays. A size beyond
    // what the control shows (kMaxFontPoints) is shown at that size. A change
    // of font or background finishes pending text first.
    const TFontSpec& Font() const { return font_; }
    void SetFont(const TFontSpec& font);
    void SetFontName(const std::u16string& name);
    void SetFontSize(int32_t points);
    void SetFontColor(int32_t color);
    static constexpr int32_t kMaxFontPoints = 1638;

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

    // Stepped loading.
    void StopFeed();
    void ScheduleStep();
    void Step(WPARAM feedId);
    // The end of the next slice from fed_: about `units` of work (a character
    // one unit, a paragraph more), cut after a line end where there is one,
    // never inside CR LF or a surrogate pair. paragraphs: line ends inside.
    size_t NextCut(size_t units, size_t& paragraphs) const;
    // False when appending a slice of this size would eat into the reserve.
    bool RoomFor(size_t chars, size_t paragraphs) const;
    // Appends source_[fed_, end); keepView: selection and scroll stay.
    void AppendSlice(size_t end, size_t paragraphs, bool keepView);
    void AppendNotShownLine();
    // Appends at position at (the end) as it is.
    void AppendRaw(LONG at, const char16_t* text, size_t length);
    // Appends at the end with redrawing off; selection and scroll position
    // stay, and only what changed on screen is painted.
    void AppendKeepingView(const char16_t* text, size_t length);
    LONG ControlLength() const;

    std::shared_ptr<const std::u16string> source_;
    size_t fed_ = 0;       // characters of source_ in the control
    size_t fedLines_ = 0;  // line ends among them
    size_t notShown_ = 0;
    bool pending_ = false;
    uint32_t feedId_ = 0;  // tells this load's messages from older ones
    double secondsPerUnit_ = 0;
    size_t lastSliceUnits_ = 0;
    uint64_t availAtStart_ = 0;  // address space left when the load began
    CHARRANGE wantedSel_{0, 0};  // the selection to keep
    CHARRANGE lastSel_{0, 0};    // the selection as the last step left it

    HWND parent_ = nullptr;
    HWND handle_ = nullptr;
    WNDPROC oldProc_ = nullptr;
    RECT bounds_{0, 0, 0, 0};
    bool wordWrap_ = true;
    TScrollStyle scrollBars_ = TScrollStyle::ssVertical;
    bool plainText_ = true;
    // Arial 9 (12 pixels high at 96 dpi).
    TFontSpec font_{u"Arial", 9, 0, clWindowText, RUSSIAN_CHARSET};
    int32_t backColor_ = clWindow;
    bool darkScheme_ = false;
};

}  // namespace pagelet
