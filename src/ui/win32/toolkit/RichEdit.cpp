#include "ui/win32/toolkit/RichEdit.h"

#include <richedit.h>

#include <algorithm>
#include <cstdio>
#include <limits>
#include <string_view>
#include <utility>

#include "common/Error.h"
#include "common/Handles.h"
#include "common/Win32Text.h"

namespace pagelet {

namespace {

constexpr wchar_t kControlProperty[] = L"Pagelet.TRichEdit";
constexpr int kBevelWidth = 5;
// Large enough for any document: the control's default limit of 64K
// characters would cut WM_SETTEXT short.
constexpr LPARAM kTextLimit = 0x7FFFFFFE;

// A timer's message comes only when the thread's queue holds nothing else,
// so input, painting and a host that drains its queue before its own work
// all go first.
constexpr UINT_PTR kTimerId = 0x50A6;

bool SameRange(const CHARRANGE& a, const CHARRANGE& b) { return a.cpMin == b.cpMin && a.cpMax == b.cpMax; }

void LoadRichEditLibrary() {
    // Loaded once for the life of the process: windows of its class may
    // outlive any one form.
    static HMODULE library = LoadLibraryW(L"RICHED20.DLL");
    if (!library) throw EPagelet(u"Cannot load RICHED20.DLL", static_cast<int32_t>(GetLastError()));
}

}  // namespace

COLORREF ColorToRGB(int32_t color) {
    if (color < 0) return GetSysColor(color & 0xFF);
    return static_cast<COLORREF>(color) & 0x00FFFFFF;
}

TRichEdit::TRichEdit() = default;

TRichEdit::~TRichEdit() { DestroyHandle(); }

void TRichEdit::CreateWnd(HWND parent) {
    parent_ = parent;
    CreateHandle();
}

DWORD TRichEdit::Style() const {
    DWORD style = WS_CHILD | WS_VISIBLE | WS_TABSTOP | ES_MULTILINE | ES_AUTOVSCROLL | ES_READONLY | ES_NOHIDESEL;
    if (!wordWrap_) style |= ES_AUTOHSCROLL;
    if (scrollBars_ == TScrollStyle::ssVertical || scrollBars_ == TScrollStyle::ssBoth) style |= WS_VSCROLL;
    if (scrollBars_ == TScrollStyle::ssHorizontal || scrollBars_ == TScrollStyle::ssBoth) style |= WS_HSCROLL;
    return style;
}

void TRichEdit::CreateHandle() {
    LoadRichEditLibrary();
    HWND wnd = CreateWindowExW(0, L"RICHEDIT20W", L"", Style(), bounds_.left, bounds_.top, bounds_.right - bounds_.left,
                               bounds_.bottom - bounds_.top, parent_, nullptr, ModuleInstance(), nullptr);
    if (!wnd) throw EPagelet(u"Error creating window", static_cast<int32_t>(GetLastError()));
    handle_ = wnd;
    SetPropW(wnd, kControlProperty, this);
    oldProc_ = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrW(wnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&TRichEdit::SubclassProc)));
    // The bevel takes its part of the window only now that the subclass is in.
    SetWindowPos(wnd, nullptr, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
    // Plain text: one format for the whole text.
    Send(EM_SETTEXTMODE, TM_PLAINTEXT | TM_MULTILEVELUNDO | TM_MULTICODEPAGE, 0);
    // Read-only: nothing to undo, and keeping undo records costs time and memory.
    Send(EM_SETUNDOLIMIT, 0, 0);
    Send(EM_EXLIMITTEXT, 0, kTextLimit);
    Send(EM_SETTARGETDEVICE, 0, wordWrap_ ? 0 : 1);
    ApplyFont();
    ApplyBackColor();
}

void TRichEdit::DestroyHandle() {
    StopTimer();
    if (!handle_) return;
    HWND wnd = handle_;
    handle_ = nullptr;
    SetWindowLongPtrW(wnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(oldProc_));
    RemovePropW(wnd, kControlProperty);
    DestroyWindow(wnd);
}

void TRichEdit::RecreateWnd() {
    if (!handle_) return;
    bool hadFocus = Focused();
    DestroyHandle();
    CreateHandle();
    if (hadFocus) ::SetFocus(handle_);
}

LONG TRichEdit::ControlLength() const {
    // In the control's own positions (a line end is one).
    GETTEXTLENGTHEX query{GTL_NUMCHARS, 1200};
    return static_cast<LONG>(SendMessageW(handle_, EM_GETTEXTLENGTHEX, reinterpret_cast<WPARAM>(&query), 0));
}

void TRichEdit::PutText(std::u16string_view text) {
    if (!handle_) return;
    std::u16string copy(text);
    SendMessageW(handle_, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(WStr(copy)));
    CHARRANGE start{0, 0};
    Send(EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&start));
}

void TRichEdit::AppendText(std::u16string_view text) {
    if (!handle_) return;
    CHARRANGE selection{0, 0};
    POINT scroll{0, 0};
    Send(EM_EXGETSEL, 0, reinterpret_cast<LPARAM>(&selection));
    Send(EM_GETSCROLLPOS, 0, reinterpret_cast<LPARAM>(&scroll));
    const LONG end = ControlLength();
    // Only when the end of the text is in view does the new text show.
    POINTL endPos{0, 0};
    SendMessageW(handle_, EM_POSFROMCHAR, reinterpret_cast<WPARAM>(&endPos), end);
    RECT client{};
    GetClientRect(handle_, &client);
    const bool endInView = endPos.y < client.bottom;
    Send(WM_SETREDRAW, FALSE, 0);
    std::u16string piece(text);
    CHARRANGE atEnd{end, end};
    Send(EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&atEnd));
    Send(EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(WStr(piece)));
    Send(EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&selection));
    Send(EM_SETSCROLLPOS, 0, reinterpret_cast<LPARAM>(&scroll));
    Send(WM_SETREDRAW, TRUE, 0);
    if (endInView) {
        RedrawWindow(handle_, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_UPDATENOW);
    } else {
        // The scroll bars and the bevel: what the new text changed on screen.
        SendMessageW(handle_, WM_NCPAINT, 1, 0);
    }
}

CHARRANGE TRichEdit::Selection() const {
    CHARRANGE range{0, 0};
    Send(EM_EXGETSEL, 0, reinterpret_cast<LPARAM>(&range));
    return range;
}

void TRichEdit::Select(CHARRANGE range, bool scroll) {
    if (!handle_) return;
    if (scroll) {
        Send(EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&range));
        Send(EM_SCROLLCARET, 0, 0);
        return;
    }
    if (SameRange(Selection(), range)) return;
    POINT scrollPos{0, 0};
    Send(EM_GETSCROLLPOS, 0, reinterpret_cast<LPARAM>(&scrollPos));
    Send(WM_SETREDRAW, FALSE, 0);
    Send(EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&range));
    Send(EM_SETSCROLLPOS, 0, reinterpret_cast<LPARAM>(&scrollPos));
    Send(WM_SETREDRAW, TRUE, 0);
    InvalidateRect(handle_, nullptr, FALSE);
}

void TRichEdit::StartTimer(UINT ms) {
    if (handle_) SetTimer(handle_, kTimerId, ms, nullptr);
}

void TRichEdit::StopTimer() {
    if (handle_) KillTimer(handle_, kTimerId);
}

bool TRichEdit::Captured() const { return handle_ && GetCapture() == handle_; }

void TRichEdit::Send(UINT msg, WPARAM wParam, LPARAM lParam) const {
    if (handle_) SendMessageW(handle_, msg, wParam, lParam);
}

void TRichEdit::SetBounds(int x, int y, int width, int height) {
    bounds_ = {x, y, x + width, y + height};
    if (handle_) MoveWindow(handle_, x, y, width, height, TRUE);
}

void TRichEdit::Repaint() {
    if (!handle_) return;
    InvalidateRect(handle_, nullptr, TRUE);
    UpdateWindow(handle_);
}

std::u16string TRichEdit::Text() const {
    if (!handle_) return {};
    int length = GetTextLen();
    std::u16string text(static_cast<size_t>(length) + 1, u'\0');
    LRESULT got = SendMessageW(handle_, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(WBuf(text)));
    text.resize(static_cast<size_t>(std::clamp<LRESULT>(got, 0, length)));
    return text;
}

void TRichEdit::SetText(const std::u16string& text) {
    if (!handle_) return;
    if (static_cast<size_t>(GetTextLen()) == text.size() && Text() == text) return;
    PutText(text);
}

int TRichEdit::GetTextLen() const {
    return handle_ ? static_cast<int>(SendMessageW(handle_, WM_GETTEXTLENGTH, 0, 0)) : 0;
}

void TRichEdit::ScrollToStart() {
    Send(WM_VSCROLL, SB_TOP, 0);
    Send(WM_HSCROLL, SB_LEFT, 0);
}

bool TRichEdit::CanFocus() const {
    if (!handle_) return false;
    // The control and its parents up to the form.
    for (HWND wnd : {handle_, parent_}) {
        if (!wnd) continue;
        if (!(GetWindowLongW(wnd, GWL_STYLE) & WS_VISIBLE) || !IsWindowEnabled(wnd)) return false;
    }
    return true;
}

void TRichEdit::SetFocus() {
    if (!CanFocus()) throw EPagelet(u"Cannot focus a disabled or invisible window");
    ::SetFocus(handle_);
}

bool TRichEdit::Focused() const { return handle_ && GetFocus() == handle_; }

void TRichEdit::SetWordWrap(bool value) {
    if (value == wordWrap_) return;
    wordWrap_ = value;
    RecreateWnd();
}

void TRichEdit::SetScrollBars(TScrollStyle value) {
    if (value == scrollBars_) return;
    scrollBars_ = value;
    RecreateWnd();
}

void TRichEdit::SetWordWrapWithScrollBars(bool wrap) {
    SetWordWrap(wrap);
    SetScrollBars(wordWrap_ ? TScrollStyle::ssVertical : TScrollStyle::ssBoth);
}

void TRichEdit::SetFont(const TFontSpec& font) {
    TFontSpec next = font;
    if (next.Name.empty()) next.Name = font_.Name;
    if (next.Name == font_.Name && next.Size == font_.Size && next.Style == font_.Style && next.Color == font_.Color &&
        next.Charset == font_.Charset)
        return;
    font_ = std::move(next);
    ApplyFont();
}

void TRichEdit::SetFontName(const std::u16string& name) {
    TFontSpec font = font_;
    font.Name = name;
    SetFont(font);
}

void TRichEdit::SetFontSize(int32_t points) {
    TFontSpec font = font_;
    font.Size = points;
    SetFont(font);
}

void TRichEdit::SetFontColor(int32_t color) {
    TFontSpec font = font_;
    font.Color = color;
    SetFont(font);
}

void TRichEdit::ApplyFont() {
    if (!handle_) return;
    CHARFORMAT2W format{};
    format.cbSize = sizeof(format);
    format.dwMask =
        CFM_FACE | CFM_SIZE | CFM_BOLD | CFM_ITALIC | CFM_UNDERLINE | CFM_STRIKEOUT | CFM_COLOR | CFM_CHARSET;
    // Twips. Sizes above what the control shows are shown at its largest;
    // the lower bound only keeps the product in range.
    format.yHeight = std::clamp<int32_t>(font_.Size, std::numeric_limits<int32_t>::min() / 20, kMaxFontPoints) * 20;
    if (font_.Style & fsBold) format.dwEffects |= CFE_BOLD;
    if (font_.Style & fsItalic) format.dwEffects |= CFE_ITALIC;
    if (font_.Style & fsUnderline) format.dwEffects |= CFE_UNDERLINE;
    if (font_.Style & fsStrikeOut) format.dwEffects |= CFE_STRIKEOUT;
    if (font_.Color == clWindowText)
        format.dwEffects |= CFE_AUTOCOLOR;
    else
        format.crTextColor = ColorToRGB(font_.Color);
    format.bCharSet = font_.Charset;
    size_t faceLength = std::min<size_t>(font_.Name.size(), LF_FACESIZE - 1);
    std::copy_n(font_.Name.begin(), faceLength, reinterpret_cast<char16_t*>(format.szFaceName));
    Send(EM_SETCHARFORMAT, SCF_DEFAULT, reinterpret_cast<LPARAM>(&format));
}

void TRichEdit::SetBackColor(int32_t color) {
    if (color == backColor_) return;
    backColor_ = color;
    ApplyBackColor();
}

void TRichEdit::ApplyBackColor() {
    if (!handle_) return;
    Send(EM_SETBKGNDCOLOR, 0, static_cast<LPARAM>(ColorToRGB(backColor_)));
    RedrawWindow(handle_, nullptr, nullptr, RDW_FRAME | RDW_INVALIDATE);
}

void TRichEdit::SetZoom(int percent) {
    if (percent == 0)
        Send(EM_SETZOOM, 0, 0);
    else
        Send(EM_SETZOOM, static_cast<WPARAM>(percent), 100);
}

LRESULT CALLBACK TRichEdit::SubclassProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    auto* control = static_cast<TRichEdit*>(GetPropW(wnd, kControlProperty));
    if (!control) return DefWindowProcW(wnd, msg, wParam, lParam);
    return control->Dispatch(msg, wParam, lParam);
}

LRESULT TRichEdit::CallOld(UINT msg, WPARAM wParam, LPARAM lParam) {
    return CallWindowProcW(oldProc_, handle_, msg, wParam, lParam);
}

LRESULT TRichEdit::Dispatch(UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN:
        if (WmKeyDown(wParam, lParam)) return 0;
        break;
    case WM_MOUSEWHEEL:
        if (WmMouseWheel(wParam, lParam)) return 0;
        break;
    case WM_CONTEXTMENU:
        WmContextMenu(lParam);
        return 0;
    case WM_SETFOCUS: {
        LRESULT result = CallOld(msg, wParam, lParam);
        HWND from = reinterpret_cast<HWND>(wParam);
        if (OnEnterFromOutside && (!from || (from != parent_ && !IsChild(parent_, from))))
            Application().Guard(this, OnEnterFromOutside);
        return result;
    }
    case WM_NCCALCSIZE:
        WmNcCalcSize(wParam, lParam);
        return CallOld(msg, wParam, lParam);
    case WM_NCPAINT:
        CallOld(msg, wParam, lParam);
        WmNcPaint();
        return 0;
    case WM_TIMER:
        if (wParam != kTimerId) break;
        KillTimer(handle_, kTimerId);
        if (OnTimer) Application().Guard(this, OnTimer);
        return 0;
    case WM_NCDESTROY: {
        // The form's window is going and takes the control with it; no timer follows.
        StopTimer();
        HWND wnd = handle_;
        WNDPROC old = oldProc_;
        handle_ = nullptr;
        SetWindowLongPtrW(wnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(old));
        RemovePropW(wnd, kControlProperty);
        return CallWindowProcW(old, wnd, msg, wParam, lParam);
    }
    default:
        break;
    }
    return CallOld(msg, wParam, lParam);
}

bool TRichEdit::WmKeyDown(WPARAM wParam, LPARAM lParam) {
    TShiftState shift = 0;
    if (GetKeyState(VK_SHIFT) < 0) shift |= ssShift;
    if (GetKeyState(VK_CONTROL) < 0) shift |= ssCtrl;
    if (lParam & (1 << 29)) shift |= ssAlt;
    uint16_t key = static_cast<uint16_t>(wParam);
    bool swallowed = false;
    Application().Guard(this, [&] {
        if (PopupMenu && PopupMenu->IsShortCut(key, shift)) {
            swallowed = true;
            return;
        }
        if (OnKeyDown) {
            OnKeyDown(key, shift);
            swallowed = key == 0;
        }
    });
    return swallowed;
}

bool TRichEdit::WmMouseWheel(WPARAM wParam, LPARAM lParam) {
    WORD keys = GET_KEYSTATE_WPARAM(wParam);
    TShiftState shift = 0;
    if (keys & MK_SHIFT) shift |= ssShift;
    if (keys & MK_CONTROL) shift |= ssCtrl;
    if (GetKeyState(VK_MENU) < 0) shift |= ssAlt;
    int delta = GET_WHEEL_DELTA_WPARAM(wParam);
    POINT pos{static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
    bool handled = false;
    if (OnMouseWheel) Application().Guard(this, [&] { OnMouseWheel(shift, delta, pos, handled); });
    return handled;
}

void TRichEdit::WmContextMenu(LPARAM lParam) {
    if (!PopupMenu) return;
    POINT pt{static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
    if (lParam == -1) {
        // From the keyboard: at the control's top-left corner.
        pt = {0, 0};
        ClientToScreen(handle_, &pt);
    }
    Application().Guard(this, [&] { PopupMenu->Popup(handle_, pt); });
}

void TRichEdit::WmNcCalcSize(WPARAM wParam, LPARAM lParam) {
    RECT* rect = wParam ? &reinterpret_cast<NCCALCSIZE_PARAMS*>(lParam)->rgrc[0] : reinterpret_cast<RECT*>(lParam);
    InflateRect(rect, -kBevelWidth, -kBevelWidth);
    if (rect->right < rect->left) rect->right = rect->left;
    if (rect->bottom < rect->top) rect->bottom = rect->top;
}

void TRichEdit::WmNcPaint() {
    // A soft bevel: the frame in the background colour with a light sunken edge.
    TWindowDC dc(handle_);
    if (!dc.Get()) return;
    RECT window;
    GetWindowRect(handle_, &window);
    OffsetRect(&window, -window.left, -window.top);
    RECT inner = window;
    InflateRect(&inner, -kBevelWidth, -kBevelWidth);
    ExcludeClipRect(dc.Get(), inner.left, inner.top, inner.right, inner.bottom);
    TGdiObject brush(CreateSolidBrush(ColorToRGB(backColor_)));
    FillRect(dc.Get(), &window, static_cast<HBRUSH>(brush.Get()));
    DrawEdge(dc.Get(), &window, BDR_SUNKENOUTER, BF_RECT | BF_SOFT);
}

}  // namespace pagelet
