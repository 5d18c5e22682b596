#include "ui/win32/toolkit/RichEdit.h"

#include <richedit.h>

#include <algorithm>
#include <cstdio>
#include <limits>
#include <string_view>
#include <utility>

#include "common/Error.h"
#include "common/Win32Text.h"

namespace pagelet {

namespace {

constexpr wchar_t kControlProperty[] = L"Pagelet.TRichEdit";
constexpr int kBevelWidth = 5;
// Large enough for any document: the control's default limit of 64K
// characters would cut WM_SETTEXT short.
constexpr LPARAM kTextLimit = 0x7FFFFFFE;

// Stepped loading. A text up to kOneStepChars goes in at once, as one
// WM_SETTEXT. A longer one starts with the first screen (kFirstStepChars or
// kFirstStepLines, whichever ends first) and goes on in slices of about
// kStepSeconds each, from messages the control posts to itself (or a short
// timer when the thread has input, painting or timers waiting, which posted
// messages would starve). The cost of a slice is estimated in units: a
// character is one, a line end kLineUnits (the control spends far more on a
// paragraph than on a character), and the seconds per unit are measured as
// the load goes.
constexpr UINT kStepMessage = WM_APP + 0x1D0;
constexpr UINT_PTR kStepTimer = 0x50A6;
constexpr size_t kOneStepChars = 64 * 1024;
constexpr size_t kFirstStepChars = 8 * 1024;
constexpr size_t kFirstStepLines = 256;
constexpr size_t kLineUnits = 16;
constexpr double kStepSeconds = 0.07;
constexpr double kFinishSliceSeconds = 0.25;
constexpr size_t kMinSliceUnits = 16 * 1024;
constexpr size_t kMaxSliceUnits = 256 * 1024;
constexpr double kFirstSecondsPerUnit = 2e-6;
constexpr UINT kCapturedRetryMs = 50;
// The address space kept free for the host: a quarter of it, at least 256 MB.
constexpr uint64_t kMinReserve = 256ull * 1024 * 1024;

uint32_t NextFeedId() {
    static uint32_t last = 0;
    return ++last == 0 ? ++last : last;
}

double Seconds() {
    static const double frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return static_cast<double>(f.QuadPart);
    }();
    LARGE_INTEGER t;
    QueryPerformanceCounter(&t);
    return static_cast<double>(t.QuadPart) / frequency;
}

MEMORYSTATUSEX MemoryStatus() {
    MEMORYSTATUSEX status{};
    status.dwLength = sizeof(status);
    if (!GlobalMemoryStatusEx(&status)) status = {};
    return status;
}

bool SameRange(const CHARRANGE& a, const CHARRANGE& b) { return a.cpMin == b.cpMin && a.cpMax == b.cpMax; }

std::u16string Decimal(uint64_t value) {
    char buffer[32];
    std::snprintf(buffer, sizeof(buffer), "%llu", static_cast<unsigned long long>(value));
    return std::u16string(buffer, buffer + std::char_traits<char>::length(buffer));
}

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
    if (plainText_) Send(EM_SETTEXTMODE, TM_PLAINTEXT | TM_MULTILEVELUNDO | TM_MULTICODEPAGE, 0);
    // Read-only: nothing to undo, and keeping undo records costs time and memory.
    Send(EM_SETUNDOLIMIT, 0, 0);
    Send(EM_EXLIMITTEXT, 0, kTextLimit);
    Send(EM_SETTARGETDEVICE, 0, wordWrap_ ? 0 : 1);
    ApplyFont();
    ApplyBackColor();
}

void TRichEdit::DestroyHandle() {
    StopFeed();
    if (!handle_) return;
    HWND wnd = handle_;
    handle_ = nullptr;
    SetWindowLongPtrW(wnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(oldProc_));
    RemovePropW(wnd, kControlProperty);
    DestroyWindow(wnd);
}

void TRichEdit::RecreateWnd() {
    if (!handle_) return;
    // The text the control was given, or what it shows when it was set directly.
    std::shared_ptr<const std::u16string> text = source_ ? source_ : std::make_shared<const std::u16string>(Text());
    CHARRANGE range{0, 0};
    Send(EM_EXGETSEL, 0, reinterpret_cast<LPARAM>(&range));
    bool hadFocus = Focused();
    DestroyHandle();
    CreateHandle();
    LoadText(std::move(text), range.cpMin, range.cpMax);
    if (hadFocus) ::SetFocus(handle_);
}

void TRichEdit::LoadText(std::shared_ptr<const std::u16string> text, int selStart, int selEnd) {
    StopFeed();
    source_ = text ? std::move(text) : std::make_shared<const std::u16string>();
    fed_ = 0;
    fedLines_ = 0;
    notShown_ = 0;
    feedId_ = NextFeedId();
    if (!handle_) return;
    const std::u16string& whole = *source_;
    wantedSel_ = {selStart, selEnd};
    if (whole.size() <= kOneStepChars) {
        SendMessageW(handle_, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(WStr(whole)));
        fed_ = whole.size();
        Send(EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&wantedSel_));
        return;
    }
    availAtStart_ = MemoryStatus().ullAvailVirtual;
    secondsPerUnit_ = kFirstSecondsPerUnit;
    lastSliceUnits_ = 0;
    // The first screen: a bounded count of characters and of lines.
    size_t end = 0;
    size_t lines = 0;
    size_t lastLineEnd = 0;
    while (end < whole.size() && end < kFirstStepChars && lines < kFirstStepLines) {
        if (whole[end] == u'\n') {
            ++lines;
            lastLineEnd = end + 1;
        }
        ++end;
    }
    if (lastLineEnd > 0) {
        end = lastLineEnd;
    } else {
        if (end < whole.size() && whole[end] == u'\n') ++end;
        if (end < whole.size() && IS_HIGH_SURROGATE(whole[end - 1])) ++end;
    }
    std::u16string first(whole, 0, end);
    SendMessageW(handle_, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(WStr(first)));
    fed_ = end;
    fedLines_ = lines;
    Send(EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&wantedSel_));
    Send(EM_EXGETSEL, 0, reinterpret_cast<LPARAM>(&lastSel_));
    pending_ = fed_ < whole.size();
    if (pending_) ScheduleStep();
}

void TRichEdit::StopFeed() {
    pending_ = false;
    if (handle_) KillTimer(handle_, kStepTimer);
}

void TRichEdit::ScheduleStep() {
    if (!handle_ || !pending_) return;
    // Posted messages come before input, painting and timers: when any of
    // those wait, the next step waits for them behind a short timer.
    if (HIWORD(GetQueueStatus(QS_INPUT | QS_PAINT | QS_TIMER | QS_HOTKEY)) != 0) {
        SetTimer(handle_, kStepTimer, USER_TIMER_MINIMUM, nullptr);
    } else {
        PostMessageW(handle_, kStepMessage, feedId_, 0);
    }
}

void TRichEdit::Step(WPARAM feedId) {
    // A message of another load (or of this control before a rebuild) is stale.
    if (!handle_ || !pending_ || static_cast<uint32_t>(feedId) != feedId_ || !source_) return;
    KillTimer(handle_, kStepTimer);
    if (GetCapture() == handle_) {
        // A drag is selecting: appending would move the selection under it.
        SetTimer(handle_, kStepTimer, kCapturedRetryMs, nullptr);
        return;
    }
    // One quick slice (the thread had the processor to itself for a moment)
    // must not make the next one long: a slice at most doubles.
    const size_t ceiling = std::min(kMaxSliceUnits, 2 * std::max(lastSliceUnits_, kMinSliceUnits));
    const double units =
        std::clamp(kStepSeconds / secondsPerUnit_, static_cast<double>(kMinSliceUnits), static_cast<double>(ceiling));
    size_t lines = 0;
    const size_t end = NextCut(static_cast<size_t>(units), lines);
    if (!RoomFor(end - fed_, lines)) {
        AppendNotShownLine();
        return;
    }
    const size_t sliceUnits = (end - fed_) + lines * kLineUnits;
    lastSliceUnits_ = sliceUnits;
    const double start = Seconds();
    AppendSlice(end, lines, true);
    const double spent = Seconds() - start;
    if (sliceUnits > 0 && spent > 0) {
        // Weighted towards the latest slice: the control's cost grows with its text.
        secondsPerUnit_ = 0.25 * secondsPerUnit_ + 0.75 * (spent / static_cast<double>(sliceUnits));
    }
    pending_ = fed_ < source_->size();
    if (pending_) ScheduleStep();
}

size_t TRichEdit::NextCut(size_t units, size_t& paragraphs) const {
    const std::u16string& whole = *source_;
    size_t pos = fed_;
    size_t spent = 0;
    size_t lines = 0;
    size_t lastLineEnd = 0;
    size_t linesAtLastEnd = 0;
    while (pos < whole.size() && spent < units) {
        if (whole[pos] == u'\n') {
            ++lines;
            spent += kLineUnits;
            lastLineEnd = pos + 1;
            linesAtLastEnd = lines;
        }
        ++spent;
        ++pos;
    }
    if (pos < whole.size() && lastLineEnd > 0) {
        paragraphs = linesAtLastEnd;
        return lastLineEnd;
    }
    // No line end in reach: the slice goes on inside the paragraph the
    // control already holds the start of. Each append wraps that whole
    // paragraph again, so the slice is at least as long as what the control
    // has of it (to the paragraph's end at most): the appends to one
    // paragraph then cost about twice its one wrap, not its length in slices
    // times as much.
    size_t open = fed_;
    while (open > 0 && whole[open - 1] != u'\n') --open;
    const size_t reach = fed_ + (fed_ - open);
    while (pos < whole.size() && pos < reach) {
        if (whole[pos++] == u'\n') {
            ++lines;
            break;
        }
    }
    // Never split CR LF or a surrogate pair.
    if (pos < whole.size() && whole[pos] == u'\n') {
        ++pos;
        ++lines;
    }
    if (pos < whole.size() && pos > 0 && IS_HIGH_SURROGATE(whole[pos - 1])) ++pos;
    paragraphs = lines;
    return pos;
}

bool TRichEdit::RoomFor(size_t chars, size_t paragraphs) const {
    const MEMORYSTATUSEX status = MemoryStatus();
    if (status.ullTotalVirtual == 0) return true;
    const uint64_t reserve = std::max<uint64_t>(status.ullTotalVirtual / 4, kMinReserve);
    const uint64_t used = availAtStart_ > status.ullAvailVirtual ? availAtStart_ - status.ullAvailVirtual : 0;
    // What the control has cost so far per character and per line, whichever
    // foretells more for this slice; twice that for the heap's growth in
    // large pieces; and the slice's own copy.
    const double perChar = fed_ ? static_cast<double>(used) / static_cast<double>(fed_) : 0;
    const double perLine = fedLines_ ? static_cast<double>(used) / static_cast<double>(fedLines_) : 0;
    const double estimate =
        2 * std::max(perChar * static_cast<double>(chars), perLine * static_cast<double>(paragraphs)) +
        4.0 * static_cast<double>(chars) + 64.0 * 1024;
    return static_cast<double>(status.ullAvailVirtual) >= static_cast<double>(reserve) + estimate;
}

LONG TRichEdit::ControlLength() const {
    // In the control's own positions (a line end is one).
    GETTEXTLENGTHEX query{GTL_NUMCHARS, 1200};
    return static_cast<LONG>(SendMessageW(handle_, EM_GETTEXTLENGTHEX, reinterpret_cast<WPARAM>(&query), 0));
}

void TRichEdit::AppendRaw(LONG at, const char16_t* text, size_t length) {
    std::u16string piece(text, length);
    CHARRANGE atEnd{at, at};
    Send(EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&atEnd));
    Send(EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(WStr(piece)));
}

void TRichEdit::AppendKeepingView(const char16_t* text, size_t length) {
    CHARRANGE selection{0, 0};
    POINT scroll{0, 0};
    Send(EM_EXGETSEL, 0, reinterpret_cast<LPARAM>(&selection));
    // A selection other than the one the last step left is the user's.
    if (!SameRange(selection, lastSel_)) wantedSel_ = selection;
    Send(EM_GETSCROLLPOS, 0, reinterpret_cast<LPARAM>(&scroll));
    const LONG end = ControlLength();
    // Only when the end of the text is in view does the new text show.
    POINTL endPos{0, 0};
    SendMessageW(handle_, EM_POSFROMCHAR, reinterpret_cast<WPARAM>(&endPos), end);
    RECT client{};
    GetClientRect(handle_, &client);
    const bool endInView = endPos.y < client.bottom;
    Send(WM_SETREDRAW, FALSE, 0);
    AppendRaw(end, text, length);
    Send(EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&wantedSel_));
    Send(EM_EXGETSEL, 0, reinterpret_cast<LPARAM>(&lastSel_));
    Send(EM_SETSCROLLPOS, 0, reinterpret_cast<LPARAM>(&scroll));
    Send(WM_SETREDRAW, TRUE, 0);
    if (endInView) {
        RedrawWindow(handle_, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_UPDATENOW);
    } else {
        // The scroll bars and the bevel: what the new text changed on screen.
        SendMessageW(handle_, WM_NCPAINT, 1, 0);
    }
}

void TRichEdit::AppendSlice(size_t end, size_t paragraphs, bool keepView) {
    if (keepView)
        AppendKeepingView(source_->data() + fed_, end - fed_);
    else
        AppendRaw(ControlLength(), source_->data() + fed_, end - fed_);
    fed_ = end;
    fedLines_ += paragraphs;
}

void TRichEdit::AppendNotShownLine() {
    pending_ = false;
    KillTimer(handle_, kStepTimer);
    const size_t total = source_->size();
    notShown_ = total - fed_;
    std::u16string line;
    if (fed_ > 0 && (*source_)[fed_ - 1] != u'\n') line = u"\r\n";
    line += u"[" + Decimal(notShown_) + u" characters (" + Decimal(notShown_ * 100 / total) +
            u"%) of the document are not shown: too little memory is left for them]";
    AppendKeepingView(line.data(), line.size());
}

void TRichEdit::FinishPending() {
    if (!pending_ || !handle_ || !source_) return;
    KillTimer(handle_, kStepTimer);
    CHARRANGE selection{0, 0};
    POINT scroll{0, 0};
    Send(EM_EXGETSEL, 0, reinterpret_cast<LPARAM>(&selection));
    if (!SameRange(selection, lastSel_)) wantedSel_ = selection;
    Send(EM_GETSCROLLPOS, 0, reinterpret_cast<LPARAM>(&scroll));
    Send(WM_SETREDRAW, FALSE, 0);
    bool cutShort = false;
    while (fed_ < source_->size()) {
        const double units = std::clamp(kFinishSliceSeconds / secondsPerUnit_, static_cast<double>(kMinSliceUnits),
                                        static_cast<double>(kMaxSliceUnits));
        size_t lines = 0;
        const size_t end = NextCut(static_cast<size_t>(units), lines);
        if (!RoomFor(end - fed_, lines)) {
            cutShort = true;
            break;
        }
        AppendSlice(end, lines, false);
    }
    pending_ = false;
    Send(EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&wantedSel_));
    Send(EM_EXGETSEL, 0, reinterpret_cast<LPARAM>(&lastSel_));
    Send(EM_SETSCROLLPOS, 0, reinterpret_cast<LPARAM>(&scroll));
    Send(WM_SETREDRAW, TRUE, 0);
    if (cutShort) {
        lastSel_ = wantedSel_;
        AppendNotShownLine();
    } else {
        RedrawWindow(handle_, nullptr, nullptr, RDW_INVALIDATE | RDW_FRAME | RDW_ERASE | RDW_UPDATENOW);
    }
}

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
    StopFeed();
    source_.reset();
    if (!handle_) return;
    if (static_cast<size_t>(GetTextLen()) == text.size() && Text() == text) return;
    SendMessageW(handle_, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(WStr(text)));
}

int TRichEdit::GetTextLen() const {
    return handle_ ? static_cast<int>(SendMessageW(handle_, WM_GETTEXTLENGTH, 0, 0)) : 0;
}

void TRichEdit::SelectAll() {
    FinishPending();
    Send(EM_SETSEL, 0, -1);
}

void TRichEdit::CopyToClipboard() {
    FinishPending();
    Send(WM_COPY, 0, 0);
}

int TRichEdit::SelStart() const {
    CHARRANGE range{0, 0};
    Send(EM_EXGETSEL, 0, reinterpret_cast<LPARAM>(&range));
    return range.cpMin;
}

int TRichEdit::SelLength() const {
    CHARRANGE range{0, 0};
    Send(EM_EXGETSEL, 0, reinterpret_cast<LPARAM>(&range));
    return range.cpMax - range.cpMin;
}

void TRichEdit::SetSelStart(int pos) {
    CHARRANGE range{pos, pos};
    Send(EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&range));
}

void TRichEdit::ScrollToStart() {
    Send(WM_VSCROLL, SB_TOP, 0);
    Send(WM_HSCROLL, SB_LEFT, 0);
}

void TRichEdit::SetSelLength(int length) {
    CHARRANGE range{0, 0};
    Send(EM_EXGETSEL, 0, reinterpret_cast<LPARAM>(&range));
    range.cpMax = range.cpMin + length;
    Send(EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&range));
    Send(EM_SCROLLCARET, 0, 0);
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
    FinishPending();
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
    if (font_.Color == clWindowText && !darkScheme_)
        format.dwEffects |= CFE_AUTOCOLOR;
    else
        format.crTextColor = ShownColor(font_.Color, kDarkTextColor);
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
    FinishPending();
    Send(EM_SETBKGNDCOLOR, 0, static_cast<LPARAM>(ShownColor(backColor_, kDarkBackColor)));
    RedrawWindow(handle_, nullptr, nullptr, RDW_FRAME | RDW_INVALIDATE);
}

void TRichEdit::SetDarkScheme(bool dark) {
    if (dark == darkScheme_) return;
    darkScheme_ = dark;
    ApplyFont();
    ApplyBackColor();
}

COLORREF TRichEdit::ShownColor(int32_t color, COLORREF dark) const {
    return color < 0 && darkScheme_ ? dark : ColorToRGB(color);
}

int TRichEdit::Find(int minPos, int maxPos, const std::u16string& text, unsigned flags) const {
    if (!handle_) return -1;
    FINDTEXTW find{};
    find.chrg.cpMin = minPos;
    find.chrg.cpMax = maxPos;
    find.lpstrText = WStr(text);
    return static_cast<int>(SendMessageW(handle_, EM_FINDTEXTW, flags, reinterpret_cast<LPARAM>(&find)));
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
    case kStepMessage:
        Application().Guard(this, [&] { Step(wParam); });
        return 0;
    case WM_TIMER:
        if (wParam != kStepTimer) break;
        Application().Guard(this, [&] { Step(feedId_); });
        return 0;
    case WM_NCDESTROY: {
        // The form's window is going and takes the control with it; no step follows.
        StopFeed();
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
    TGdiObject brush(CreateSolidBrush(ShownColor(backColor_, kDarkBackColor)));
    FillRect(dc.Get(), &window, static_cast<HBRUSH>(brush.Get()));
    DrawEdge(dc.Get(), &window, BDR_SUNKENOUTER, BF_RECT | BF_SOFT);
}

}  // namespace pagelet
