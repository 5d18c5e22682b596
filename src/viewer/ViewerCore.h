#pragma once

// One viewer's state and the host protocol, for every window system: the
// document text (handed over by the load, growing while the converter still
// decodes it), what of it the widget shows, the selection the user or the
// host wants, the stepped load, and the host's commands and search. It
// draws through a TViewerBackEnd.
//
// Whole-text work (select all, copy, search, go to a percentage) acts on
// the text in memory at once: a source on this thread decodes the rest
// first, one on another thread gives what has come so far (the host's thread
// never waits for a document). The widget catches up in steps, and what it
// shows selected grows as the rest arrives. A match or a position not shown
// yet is selected and scrolled into view as soon as its part is in. When
// the memory bound ends the text shown, the text ends there for everything.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "loading/TextSource.h"
#include "settings/TextForms.h"
#include "viewer/KeyPolicy.h"
#include "viewer/LoadPlan.h"
#include "viewer/TextRange.h"
#include "viewer/TextSearch.h"
#include "viewer/ViewerBackEnd.h"

namespace pagelet {

class TViewerCore {
public:
    explicit TViewerCore(TViewerBackEnd& backEnd);
    TViewerCore(const TViewerCore&) = delete;
    TViewerCore& operator=(const TViewerCore&) = delete;

    // Shows a document in place of the one shown: text at once as far as the
    // first screen goes, the rest in steps; rest decodes what follows text.
    // The caret at the start, the view at the top.
    void LoadText(std::u16string text, std::unique_ptr<TTextSource> rest = nullptr);
    // The host's next file in this viewer: the dark scheme follows the
    // display flags; font, zoom and word wrap stay.
    void LoadNext(std::u16string text, std::unique_ptr<TTextSource> rest, int32_t displayFlags);
    // The text held so far: all of it once Decoding() is false.
    const std::u16string& Text() const { return text_; }
    bool Decoding() const { return source_ != nullptr; }
    // Text not in the widget yet, whether held or still to decode.
    bool Pending() const { return pendingShow_; }
    // Code units of Text() in the widget.
    size_t Shown() const { return fed_; }
    // Code units left out for the address-space reserve (foreseen where the
    // source had not made them yet); 0 when all shown.
    size_t NotShown() const { return notShown_; }
    // Decodes into memory now what can be had without waiting: the whole
    // rest from a source on this thread, what has come from another.
    void DecodeAvailable();
    // One step of the stepped load: the back end calls it when asked to.
    void Step();

    // The host's commands (ListSendCommand's codes) and search
    // (ListSearchTextW's flags; true when a match was selected). Failures,
    // a widget that cannot take the focus among them, throw EPagelet.
    void HostCommand(int32_t command, int32_t parameter);
    bool HostSearch(const std::u16string& text, int32_t flags);

    void CopyToClipboard();
    void SelectAll();
    // Selects the character at percent of the whole text, focused and in view.
    void GoToPercent(int32_t percent);
    // Selects the next match from the selection (fromEdge: from the start,
    // backwards from the end), focused and in view; false when none.
    bool Search(const std::u16string& text, const TSearchOptions& options, bool fromEdge);
    // The selection in text offsets; it may reach beyond what is shown.
    TTextRange Selection();

    // The display flags of a load and of the host's new parameters (the
    // lister protocol's bits): word wrap and the dark scheme.
    // At a load: wrap when the flags ask for it or the viewer wraps unasked.
    void SetDisplayFlags(int32_t flags);
    // Whether the view wraps when the host's flags do not ask for it (off
    // unless set; a host's new parameters still switch wrap either way).
    void SetWrapUnasked(bool wrap) { wrapUnasked_ = wrap; }
    // Whether black on white (the defaults) shows as the system colours in
    // the light scheme too (a toolkit whose theme gives them), not only in
    // the dark one.
    void SetPlainFollowsSystem(bool follows);
    bool WordWrap() const { return wordWrap_; }
    void SetWordWrap(bool wrap);
    bool Dark() const { return dark_; }
    void SetDark(bool dark);
    // The font and background as the settings give them; an empty face
    // keeps the widget's face in force.
    void SetFont(const TFontSpec& font);
    void SetBackColor(int32_t color);

    // The zoom in percent: 100 at first, changed only by Ctrl+wheel
    // (NextZoom); a widget rebuilt for word wrap may show its text unzoomed
    // until the next change.
    int32_t Zoom() const { return zoom_; }
    // A wheel turn over the viewer: with Ctrl held it zooms and is taken
    // (true); otherwise it is the widget's to scroll (false).
    bool MouseWheel(TShiftState shift, int wheelDelta);

    // Colours as stored: RGB values, or system colours (negative).
    static constexpr int32_t kWhite = 16777215;
    static constexpr int32_t kBlack = 0;
    static constexpr int32_t kSystemWindow = static_cast<int32_t>(0xFF000005);
    static constexpr int32_t kSystemWindowText = static_cast<int32_t>(0xFF000008);
    const TFontSpec& Font() const { return font_; }
    int32_t BackColor() const { return backColor_; }

    // Where the reserve check takes its memory figures (ReadMemoryFigures by default).
    std::function<TMemoryFigures()> MemoryProbe;

private:
    void ShowColours();
    void Reshow(TTextRange selection);
    void SizeText();
    bool SourceWaiting() const;
    void EnsureDecoded(size_t units);
    void DecodeAhead();
    bool Produce(size_t units);
    void Append(const TCut& cut);
    void AppendNotShownLine();
    void ShowNotShownLine();
    void ApplySelection(bool scroll);
    size_t ShownEnd() const { return fed_; }

    TViewerBackEnd& backEnd_;
    std::u16string text_;
    std::unique_ptr<TTextSource> source_;
    bool sized_ = false;  // the text's block was made for the source's count
    size_t fed_ = 0;
    size_t fedLines_ = 0;
    // How notShown_ was counted: every character, some foreseen by the
    // source, or only those held when the source could not foresee the rest.
    enum class TNotShownCount { Exact, About, AtLeast };
    size_t notShown_ = 0;
    TNotShownCount notShownCount_ = TNotShownCount::Exact;
    std::u16string notShownLine_;  // the line that ends the text shown after a cut
    bool pendingShow_ = false;
    double secondsPerUnit_ = kFirstSecondsPerUnit;
    size_t lastSliceUnits_ = 0;
    uint64_t freeAtStart_ = 0;
    TTextRange wanted_;          // the selection to keep, in text offsets
    TTextRange lastShownSel_;    // the widget's selection as the viewer last left it
    bool scrollWanted_ = false;  // wanted_ comes into view once shown
    bool wordWrap_ = true;
    bool wrapUnasked_ = false;
    bool plainFollowsSystem_ = false;
    bool dark_ = false;
    TFontSpec font_;
    int32_t backColor_ = 16777215;
    int32_t zoom_ = 100;
};

}  // namespace pagelet
