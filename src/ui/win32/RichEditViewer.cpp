#include "ui/win32/RichEditViewer.h"

#include <windows.h>

#include <algorithm>

#include "common/Error.h"
#include "common/Handles.h"

namespace pagelet {

namespace {

// While a drag selects, appending would move the selection under it: the
// step waits this long and looks again.
constexpr UINT kCapturedRetryMs = 50;

}  // namespace

void TRichEditViewer::PutText(std::u16string_view text) {
    lineEnds_.Clear();
    if (!control_.Handle()) return;
    control_.PutText(text);
    lineEnds_.Append(text);
}

void TRichEditViewer::AppendSlice(std::u16string_view text) {
    if (!control_.Handle()) return;
    control_.AppendText(text);
    lineEnds_.Append(text);
}

TTextRange TRichEditViewer::Selection() const {
    const CHARRANGE range = control_.Selection();
    const size_t start = lineEnds_.OffsetOf(static_cast<size_t>(std::max<LONG>(range.cpMin, 0)));
    const size_t end = lineEnds_.OffsetOf(static_cast<size_t>(std::max<LONG>(range.cpMax, range.cpMin)));
    return {std::min(start, lineEnds_.Size()), std::min(end, lineEnds_.Size())};
}

void TRichEditViewer::Select(TTextRange range, bool scroll) {
    control_.Select({static_cast<LONG>(lineEnds_.PositionOf(range.Start)),
                     static_cast<LONG>(lineEnds_.PositionOf(range.End))},
                    scroll);
}

void TRichEditViewer::ShowFont(const TFontSpec& font, bool dark) {
    TFontSpec shown = font;
    shown.Color = ShownTextColor(font.Color, dark);
    control_.SetFont(shown);
}

void TRichEditViewer::ShowBackColor(int32_t color, bool dark) {
    control_.SetBackColor(ShownBackColor(color, dark));
}

bool TRichEditViewer::ShowWordWrap(bool wrap) {
    const bool rebuild =
        wrap != control_.WordWrap() || control_.ScrollBars() != (wrap ? TScrollStyle::ssVertical : TScrollStyle::ssBoth);
    control_.SetWordWrapWithScrollBars(wrap);
    if (rebuild) lineEnds_.Clear();
    return rebuild && control_.Handle() != nullptr;
}

void TRichEditViewer::CopyToClipboard(std::u16string_view text) {
    const TClipboardLock clipboard(control_.Handle());
    if (!clipboard.Opened()) throw EPagelet(u"Cannot open the clipboard", static_cast<int32_t>(GetLastError()));
    EmptyClipboard();
    TGlobalMemory memory(GlobalAlloc(GMEM_MOVEABLE, (text.size() + 1) * sizeof(char16_t)));
    if (!memory) throw EPagelet(u"Not enough memory for the clipboard");
    auto* dest = static_cast<char16_t*>(GlobalLock(memory.Get()));
    if (!dest) throw EPagelet(u"Not enough memory for the clipboard");
    std::copy(text.begin(), text.end(), dest);
    dest[text.size()] = u'\0';
    GlobalUnlock(memory.Get());
    if (SetClipboardData(CF_UNICODETEXT, memory.Get())) memory.Release();  // the clipboard owns it now
}

void TRichEditViewer::ScheduleStep() { control_.StartTimer(Dragging() ? kCapturedRetryMs : USER_TIMER_MINIMUM); }

}  // namespace pagelet
