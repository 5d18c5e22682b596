#include "viewer/ViewerCore.h"

#include <algorithm>
#include <chrono>
#include <new>
#include <cstdio>

#include "common/Error.h"
#include "viewer/HostProtocol.h"
#include "viewer/MemoryFigures.h"

namespace pagelet {

namespace {

// Decoding goes ahead of the widget for at most this long a step, so that
// the whole text is soon in memory for the whole-text commands.
constexpr double kDecodeAheadSeconds = 0.01;
constexpr size_t kDecodeUnits = 256 * 1024;

double Seconds() {
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

std::u16string Decimal(uint64_t value) {
    char buffer[32];
    std::snprintf(buffer, sizeof(buffer), "%llu", static_cast<unsigned long long>(value));
    return std::u16string(buffer, buffer + std::char_traits<char>::length(buffer));
}

// Where the host's percentage lies in a text of this length.
size_t PercentOffset(int32_t percent, size_t length) {
    if (percent <= 0) return 0;
    const uint64_t offset = static_cast<uint64_t>(length) * static_cast<uint64_t>(percent) / 100;
    return static_cast<size_t>(std::min<uint64_t>(offset, length));
}

}  // namespace

TViewerCore::TViewerCore(TViewerBackEnd& backEnd) : MemoryProbe(ReadMemoryFigures), backEnd_(backEnd) {}

void TViewerCore::LoadText(std::u16string text, std::unique_ptr<TTextSource> rest) {
    backEnd_.CancelStep();
    text_ = std::move(text);
    source_ = std::move(rest);
    sized_ = false;
    SizeText();
    notShown_ = 0;
    notShownCount_ = TNotShownCount::Exact;
    notShownLine_.clear();
    Reshow({0, 0});
    backEnd_.ScrollToStart();
}

void TViewerCore::LoadNext(std::u16string text, std::unique_ptr<TTextSource> rest, int32_t displayFlags) {
    SetDark((displayFlags & lister::kDisplayDarkMode) != 0);
    LoadText(std::move(text), std::move(rest));
}

void TViewerCore::Reshow(TTextRange selection) {
    backEnd_.CancelStep();
    fed_ = 0;
    fedLines_ = 0;
    secondsPerUnit_ = kFirstSecondsPerUnit;
    lastSliceUnits_ = 0;
    freeAtStart_ = MemoryProbe ? MemoryProbe().FreeAddressSpace : 0;
    // A short text goes in at once; a long one starts with its first screen.
    EnsureDecoded(kOneStepChars + 1);
    const bool complete = !Decoding();
    TCut first{text_.size(), 0};
    if (!complete || text_.size() > kOneStepChars) first = FirstScreenCut(text_, complete);
    backEnd_.PutText(std::u16string_view(text_).substr(0, first.End));
    fed_ = first.End;
    fedLines_ = first.Lines;
    wanted_ = selection;
    scrollWanted_ = false;
    lastShownSel_ = backEnd_.Selection();
    ApplySelection(false);
    pendingShow_ = fed_ < text_.size() || Decoding();
    if (pendingShow_)
        backEnd_.ScheduleStep();
    else
        ShowNotShownLine();
}

void TViewerCore::SizeText() {
    // A source on another thread may know the size only after the load.
    const size_t expected = source_ ? source_->ExpectedUnits() : 0;
    if (expected == 0) return;
    sized_ = true;
    if (expected <= text_.capacity()) return;
    try {
        text_.reserve(expected);
    } catch (const std::bad_alloc&) {
        // the text grows as it comes
    }
}

bool TViewerCore::Produce(size_t units) {
    if (!source_) return false;
    if (!sized_) SizeText();
    try {
        if (source_->Produce(text_, units)) return true;
        source_.reset();
    } catch (const std::exception& e) {
        // The window is the host's already: the text ends with a line that
        // says why the rest is missing.
        source_.reset();
        if (!text_.empty() && text_.back() != u'\n') text_ += u"\r\n";
        text_ += u"[The rest of the document cannot be read: " + ExceptionMessage(e) + u"]\r\n";
    }
    return false;
}

bool TViewerCore::SourceWaiting() const { return source_ && source_->Waiting(); }

void TViewerCore::EnsureDecoded(size_t units) {
    while (Decoding() && text_.size() < units) {
        Produce(std::max(units - text_.size(), kDecodeUnits));
        if (SourceWaiting()) break;
    }
}

void TViewerCore::DecodeAhead() {
    const double start = Seconds();
    while (Decoding() && Seconds() - start < kDecodeAheadSeconds) {
        Produce(kDecodeUnits);
        if (SourceWaiting()) break;
    }
}

void TViewerCore::DecodeAvailable() {
    while (Decoding()) {
        Produce(16 * kDecodeUnits);
        if (SourceWaiting()) break;
    }
}

void TViewerCore::Step() {
    if (!pendingShow_) return;
    if (backEnd_.Dragging()) {
        backEnd_.ScheduleStep();
        return;
    }
    const size_t units = SliceUnits(secondsPerUnit_, lastSliceUnits_);
    // Enough text for the slice: the units, or the open paragraph's length
    // where the slice has to go on inside it, and a pair's second half.
    size_t open = fed_;
    while (open > 0 && text_[open - 1] != u'\n') --open;
    EnsureDecoded(fed_ + std::max(units, fed_ - open) + 2);
    const TCut cut = NextCut(text_, fed_, units, !Decoding());
    if (cut.End > fed_) {
        if (MemoryProbe && !RoomFor(MemoryProbe(), freeAtStart_, fed_, fedLines_, cut.End - fed_, cut.Lines)) {
            AppendNotShownLine();
            return;
        }
        const size_t sliceUnits = (cut.End - fed_) + cut.Lines * kLineUnits;
        lastSliceUnits_ = sliceUnits;
        const double start = Seconds();
        Append(cut);
        secondsPerUnit_ = NextSecondsPerUnit(secondsPerUnit_, sliceUnits, Seconds() - start);
    }
    DecodeAhead();
    pendingShow_ = fed_ < text_.size() || Decoding();
    if (!pendingShow_) {
        ShowNotShownLine();
    } else if (text_.size() - fed_ < 2 && SourceWaiting()) {
        // Nothing to show until more text comes: no step spins meanwhile.
        backEnd_.ScheduleStepLater();
    } else {
        backEnd_.ScheduleStep();
    }
}

void TViewerCore::Append(const TCut& cut) {
    // The user's selection, if the user changed it, is the one to keep.
    Selection();
    const size_t before = fed_;
    backEnd_.AppendSlice(std::u16string_view(text_).substr(fed_, cut.End - fed_));
    fed_ = cut.End;
    fedLines_ += cut.Lines;
    if (wanted_.End > before) ApplySelection(scrollWanted_);
}

void TViewerCore::AppendNotShownLine() {
    pendingShow_ = false;
    backEnd_.CancelStep();
    // The text ends where the widget's does: nothing more is decoded (the
    // source goes, a layout's worker with it), and what was held beyond the
    // cut is let go, so that copy, select all, search and go to percent
    // take exactly the text shown.
    notShown_ += text_.size() - fed_;
    if (Decoding()) {
        // What the source has not made yet is only foreseen, if at all.
        const size_t rest = source_->RemainingUnits();
        notShown_ += rest;
        notShownCount_ = std::max(notShownCount_, rest > 0 ? TNotShownCount::About : TNotShownCount::AtLeast);
        source_.reset();
    }
    text_.resize(fed_);
    notShownLine_.clear();
    if (fed_ > 0 && text_[fed_ - 1] != u'\n') notShownLine_ = u"\r\n";
    const std::u16string tooLittle = u": too little memory is left for them]";
    if (notShownCount_ == TNotShownCount::AtLeast && notShown_ == 0) {
        notShownLine_ += u"[The rest of the document is not shown: too little memory is left for it]";
    } else if (notShownCount_ == TNotShownCount::AtLeast) {
        notShownLine_ += u"[At least " + Decimal(notShown_) + u" characters of the document are not shown" + tooLittle;
    } else {
        const uint64_t total = uint64_t{fed_} + notShown_;
        notShownLine_ += std::u16string(notShownCount_ == TNotShownCount::About ? u"[About " : u"[") +
                         Decimal(notShown_) + u" characters (" +
                         Decimal(total ? notShown_ * uint64_t{100} / total : 0) + u"%) of the document are not shown" +
                         tooLittle;
    }
    ShowNotShownLine();
}

void TViewerCore::ShowNotShownLine() {
    if (notShownLine_.empty()) return;
    Selection();
    backEnd_.AppendSlice(notShownLine_);
}

TTextRange TViewerCore::Selection() {
    const TTextRange shown = backEnd_.Selection();
    if (shown != lastShownSel_) {
        // The user's: it replaces what the viewer meant to select.
        wanted_ = {std::min(shown.Start, text_.size()), std::min(shown.End, text_.size())};
        lastShownSel_ = shown;
        scrollWanted_ = false;
    }
    return wanted_;
}

void TViewerCore::ApplySelection(bool scroll) {
    const size_t end = ShownEnd();
    const TTextRange shown{std::min(wanted_.Start, end), std::min(wanted_.End, end)};
    const bool whole = wanted_.End <= end;
    backEnd_.Select(shown, scroll && whole);
    scrollWanted_ = scroll && !whole;
    lastShownSel_ = backEnd_.Selection();
}

void TViewerCore::CopyToClipboard() {
    const TTextRange range = Selection();
    if (range.End <= range.Start) return;
    backEnd_.CopyToClipboard(std::u16string_view(text_).substr(range.Start, range.End - range.Start));
}

void TViewerCore::SelectAll() {
    DecodeAvailable();
    Selection();
    wanted_ = {0, text_.size()};
    ApplySelection(false);
}

void TViewerCore::GoToPercent(int32_t percent) {
    backEnd_.Focus();
    DecodeAvailable();
    Selection();
    const size_t at = PercentOffset(percent, text_.size());
    wanted_ = {at, std::min(at + 1, text_.size())};
    ApplySelection(true);
}

bool TViewerCore::Search(const std::u16string& text, const TSearchOptions& options, bool fromEdge) {
    DecodeAvailable();
    const TTextRange selection = Selection();
    fromEdge = fromEdge || selection.Start == selection.End;
    size_t from;
    if (!options.Backwards)
        from = fromEdge ? 0 : selection.End;
    else
        // From the selection's start, so that a match just before the
        // selected one is found too.
        from = fromEdge ? text_.size() : selection.Start;
    const std::optional<size_t> found = FindText(text_, text, from, options);
    if (!found) return false;
    backEnd_.Focus();
    wanted_ = {*found, *found + text.size()};
    ApplySelection(true);
    return true;
}

void TViewerCore::HostCommand(int32_t command, int32_t parameter) {
    switch (command) {
    case lister::kCommandCopy:
        CopyToClipboard();
        break;
    case lister::kCommandNewParams:
        // The host asks for wrap or not, whatever the viewer does unasked.
        SetWordWrap((parameter & lister::kDisplayWrapText) != 0);
        SetDark((parameter & lister::kDisplayDarkMode) != 0);
        break;
    case lister::kCommandSelectAll:
        SelectAll();
        break;
    case lister::kCommandSetPercent:
        GoToPercent(parameter);
        break;
    default:
        break;
    }
}

bool TViewerCore::HostSearch(const std::u16string& text, int32_t flags) {
    TSearchOptions options;
    options.Backwards = (flags & lister::kSearchBackwards) != 0;
    options.MatchCase = (flags & lister::kSearchMatchCase) != 0;
    options.WholeWords = (flags & lister::kSearchWholeWords) != 0;
    return Search(text, options, (flags & lister::kSearchFromStart) != 0);
}

void TViewerCore::SetDisplayFlags(int32_t flags) {
    SetWordWrap((flags & lister::kDisplayWrapText) != 0 || wrapUnasked_);
    SetDark((flags & lister::kDisplayDarkMode) != 0);
}

bool TViewerCore::MouseWheel(TShiftState shift, int wheelDelta) {
    if (!(shift & ssCtrl)) return false;
    // A turn too small to change the zoom still shows it again and is taken.
    zoom_ = NextZoom(zoom_, wheelDelta);
    backEnd_.ShowZoom(zoom_);
    return true;
}

void TViewerCore::SetWordWrap(bool wrap) {
    wordWrap_ = wrap;
    const TTextRange selection = Selection();
    // A widget made anew gets the text again through the same steps.
    if (backEnd_.ShowWordWrap(wrap)) Reshow(selection);
}

void TViewerCore::SetDark(bool dark) {
    if (dark == dark_) return;
    dark_ = dark;
    ShowColours();
}

void TViewerCore::SetPlainFollowsSystem(bool follows) {
    plainFollowsSystem_ = follows;
    ShowColours();
}

void TViewerCore::SetFont(const TFontSpec& font) {
    font_ = font;
    ShowColours();
}

void TViewerCore::SetBackColor(int32_t color) {
    backColor_ = color;
    ShowColours();
}

void TViewerCore::ShowColours() {
    // Black on white is what a fresh install has (the defaults are explicit
    // colours): in the dark scheme that pair follows the scheme as the
    // system colours do. Any other colour the user chose stays as it is.
    TFontSpec font = font_;
    int32_t back = backColor_;
    if ((dark_ || plainFollowsSystem_) && back == kWhite && font.Color == kBlack) {
        font.Color = kSystemWindowText;
        back = kSystemWindow;
    }
    backEnd_.ShowFont(font, dark_);
    backEnd_.ShowBackColor(back, dark_);
}

}  // namespace pagelet
