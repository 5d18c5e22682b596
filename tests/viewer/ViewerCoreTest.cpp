// The viewer core through a recording back end: host commands and searches,
// the stepped load on texts of many shapes, whole-text work while text is
// still to come, decoding errors, the reserve, keys and zoom.

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "common/Error.h"
#include "common/Utf.h"
#include "support/SearchCases.h"
#include "viewer/HostProtocol.h"
#include "viewer/KeyPolicy.h"
#include "viewer/LineEndIndex.h"
#include "viewer/PairIndex.h"
#include "viewer/TextSearch.h"
#include "viewer/ViewerCore.h"

namespace pagelet {
namespace {

using namespace lister;

// Shows what it is given, as a widget would, and keeps what it was asked.
class TRecordingBackEnd final : public TViewerBackEnd {
public:
    void PutText(std::u16string_view text) override {
        Shown.assign(text);
        Sel = {0, 0};
        Slices.clear();
        Slices.push_back(Shown.size());
        ++Puts;
    }
    void AppendSlice(std::u16string_view text) override {
        Shown.append(text);
        Slices.push_back(Shown.size());
    }
    TTextRange Selection() const override { return Sel; }
    void Select(TTextRange range, bool scroll) override {
        EXPECT_LE(range.End, Shown.size());
        Sel = range;
        if (scroll) ScrolledTo = range;
    }
    void ScrollToStart() override { ++ScrolledToStart; }
    void ShowFont(const TFontSpec& font, bool dark) override {
        Font = font;
        Dark = dark;
    }
    void ShowBackColor(int32_t color, bool dark) override {
        Back = color;
        Dark = dark;
    }
    bool ShowWordWrap(bool wrap) override {
        if (wrap == Wrap) return false;
        Wrap = wrap;
        Shown.clear();
        Sel = {0, 0};
        return true;
    }
    void ShowZoom(int32_t percent) override { Zoom.push_back(percent); }
    void Repaint() override {}
    void Focus() override {
        if (!Focusable) throw EPagelet(u"Cannot focus a disabled or invisible window");
    }
    void CopyToClipboard(std::u16string_view text) override { Clipboard.assign(text); }
    void ScheduleStep() override {
        StepAsked = true;
        Later = false;
    }
    void ScheduleStepLater() override {
        StepAsked = true;
        Later = true;
    }
    void CancelStep() override { StepAsked = false; }

    std::u16string Shown;
    std::vector<size_t> Slices;  // the shown length after each put or append
    TTextRange Sel;
    std::optional<TTextRange> ScrolledTo;
    std::u16string Clipboard;
    TFontSpec Font;
    int32_t Back = 0;
    bool Dark = false;
    bool Wrap = true;
    bool Focusable = true;
    bool StepAsked = false;
    bool Later = false;  // the step asked for is a later one
    int Puts = 0;
    int ScrolledToStart = 0;
    std::vector<int32_t> Zoom;  // every zoom shown
};

// Runs the steps the core asks for until it asks no more.
void RunSteps(TViewerCore& core, TRecordingBackEnd& back, int limit = 100000) {
    while (back.StepAsked && limit-- > 0) {
        back.StepAsked = false;
        core.Step();
    }
    ASSERT_GT(limit, 0) << "the load does not end";
}

// Hands the text over in parts of a fixed size, as a decoder would.
class TPartsSource final : public TTextSource {
public:
    // countLate: the count is known only once the first part was made (a
    // source on another thread learns it from its decoder).
    TPartsSource(std::u16string text, size_t part, size_t failAt = SIZE_MAX, size_t expected = 0,
                 bool countLate = false)
        : text_(std::move(text)), part_(part), failAt_(failAt), expected_(expected), countLate_(countLate) {}
    size_t ExpectedUnits() const override { return countLate_ && at_ == 0 ? 0 : expected_; }
    bool Produce(std::u16string& out, size_t units) override {
        size_t n = std::min({units, part_, text_.size() - at_});
        if (at_ + n > failAt_) {
            out.append(text_, at_, failAt_ - at_);
            at_ = failAt_;
            throw EPagelet(u"Stream read error");
        }
        out.append(text_, at_, n);
        at_ += n;
        return at_ < text_.size();
    }

private:
    std::u16string text_;
    size_t part_;
    size_t failAt_;
    size_t expected_;
    bool countLate_;
    size_t at_ = 0;
};

struct TViewerFixture {
    TRecordingBackEnd back;
    TViewerCore core{back};
    TViewerFixture() { core.MemoryProbe = nullptr; }
};

// ---- host commands and searches --------------------------------------------

TEST(ViewerCore, SearchesSelectScrollAndAnswer) {
    for (const test::TSearchCase& row : test::kSearchCases) {
        SCOPED_TRACE(row.Name);
        TViewerFixture f;
        f.core.LoadText(test::kSearchText);
        f.back.Sel = {static_cast<size_t>(row.Before.Start), static_cast<size_t>(row.Before.End)};
        f.back.ScrolledTo.reset();
        EXPECT_EQ(f.core.HostSearch(row.Find, row.Flags), row.Found);
        const TTextRange after{static_cast<size_t>(row.After.Start), static_cast<size_t>(row.After.End)};
        EXPECT_EQ(f.back.Sel, after);
        EXPECT_EQ(f.back.ScrolledTo.has_value(), row.Found);
        if (row.Found) {
            EXPECT_EQ(*f.back.ScrolledTo, after);
        }
    }
}

TEST(ViewerCore, HostCommandsSelectScrollAndAnswer) {
    struct TRow {
        const char* name;
        TTextRange before{};    // the user's selection before
        int command = 0;        // a ListSendCommand code
        int32_t parameter = 0;  // its parameter
        TTextRange after{};     // the selection after
        bool scrolled = false;  // the selection was brought into view
    };
    const TRow rows[] = {
        {.name = "select all", .before = {2, 4}, .command = kCommandSelectAll, .after = {0, 32}},
        {.name = "go to 0 percent",
         .before = {2, 4},
         .command = kCommandSetPercent,
         .parameter = 0,
         .after = {0, 1},
         .scrolled = true},
        {.name = "go to 50 percent",
         .command = kCommandSetPercent,
         .parameter = 50,
         .after = {16, 17},
         .scrolled = true},
        {.name = "go to -5 percent", .command = kCommandSetPercent, .parameter = -5, .after = {0, 1}, .scrolled = true},
        {.name = "go beyond the end",
         .command = kCommandSetPercent,
         .parameter = 1000,
         .after = {32, 32},
         .scrolled = true},
        {.name = "an unknown command changes nothing", .before = {2, 4}, .command = 7, .after = {2, 4}},
        {.name = "copy keeps the selection", .before = {2, 4}, .command = kCommandCopy, .after = {2, 4}},
    };
    for (const TRow& row : rows) {
        SCOPED_TRACE(row.name);
        TViewerFixture f;
        f.core.LoadText(test::kSearchText);
        f.back.Sel = row.before;
        f.back.ScrolledTo.reset();
        f.core.HostCommand(row.command, row.parameter);
        EXPECT_EQ(f.back.Sel, row.after);
        EXPECT_EQ(f.back.ScrolledTo.has_value(), row.scrolled);
        if (row.scrolled) {
            EXPECT_EQ(*f.back.ScrolledTo, row.after);
        }
    }
}

TEST(ViewerCore, CopyPutsTheSelectedTextOnTheClipboardAndNothingWhenEmpty) {
    TViewerFixture f;
    f.core.LoadText(u"one\r\ntwo\r\n");
    f.back.Clipboard = u"before";
    f.core.HostCommand(kCommandCopy, 0);
    EXPECT_EQ(f.back.Clipboard, u"before");
    f.back.Sel = {2, 7};
    f.core.HostCommand(kCommandCopy, 0);
    EXPECT_EQ(f.back.Clipboard, u"e\r\ntw");
}

// A document with nothing visible in it is shown as an empty text.
TEST(ViewerCore, AnEmptyTextTakesEveryCommand) {
    TViewerFixture f;
    f.core.LoadText(u"");
    f.back.Clipboard = u"before";
    f.core.HostCommand(kCommandCopy, 0);
    EXPECT_EQ(f.back.Clipboard, u"before");
    f.core.HostCommand(kCommandSetPercent, 50);
    EXPECT_FALSE(f.core.HostSearch(u"x", kSearchFromStart));
    f.core.LoadNext(u"", nullptr, 0);
    EXPECT_FALSE(f.core.HostSearch(u"x", kSearchFromStart));
}

TEST(ViewerCore, AWidgetThatCannotTakeTheFocusFailsGoToAndAFoundMatchOnly) {
    TViewerFixture f;
    f.core.LoadText(u"abc abc\r\n");
    f.back.Focusable = false;
    f.back.Sel = {1, 2};
    EXPECT_THROW(f.core.HostCommand(kCommandSetPercent, 10), EPagelet);
    EXPECT_THROW(f.core.HostSearch(u"abc", kSearchFromStart), EPagelet);
    EXPECT_FALSE(f.core.HostSearch(u"nothing", kSearchFromStart));
    EXPECT_EQ(f.back.Sel, (TTextRange{1, 2}));
}

TEST(ViewerCore, NewDisplayParametersRebuildWithTheTextAndSelectionAndSwitchDark) {
    TViewerFixture f;
    f.core.SetBackColor(-16777211);
    f.core.LoadText(u"alpha\r\nbeta\r\n");
    f.back.Sel = {7, 9};
    f.core.HostCommand(kCommandNewParams, kDisplayDarkMode);  // wrap off, dark
    EXPECT_FALSE(f.back.Wrap);
    EXPECT_TRUE(f.back.Dark);
    EXPECT_EQ(f.back.Shown, u"alpha\r\nbeta\r\n");
    EXPECT_EQ(f.back.Sel, (TTextRange{7, 9}));
    f.core.HostCommand(kCommandNewParams, 6);  // only bit 0 counts for wrap; dark off
    EXPECT_FALSE(f.back.Wrap);
    EXPECT_FALSE(f.back.Dark);
    EXPECT_EQ(f.back.Back, -16777211);
}

// The host's next file keeps wrap and zoom, takes dark from its flags and
// starts at the top; the zoom is the core's, shown on every Ctrl+wheel turn.
TEST(ViewerCore, ZoomAndTheNextFileKeepTheViewersState) {
    TViewerFixture f;
    f.core.SetDisplayFlags(0);
    EXPECT_FALSE(f.core.MouseWheel(0, 120));  // no Ctrl: the widget scrolls
    EXPECT_FALSE(f.core.MouseWheel(ssShift, 120));
    EXPECT_TRUE(f.back.Zoom.empty());
    EXPECT_TRUE(f.core.MouseWheel(ssCtrl, 120));
    EXPECT_TRUE(f.core.MouseWheel(ssCtrl | ssAlt, 8));  // too small to count, still shown and taken
    EXPECT_TRUE(f.core.MouseWheel(ssCtrl, -1320));  // never below 1
    EXPECT_EQ(f.back.Zoom, (std::vector<int32_t>{110, 110, 1}));
    f.core.LoadText(u"first\r\n");
    f.back.Sel = {2, 4};
    const int scrolled = f.back.ScrolledToStart;
    f.core.LoadNext(u"second\r\n", nullptr, kDisplayDarkMode | kDisplayWrapText);
    EXPECT_EQ(f.back.Shown, u"second\r\n");
    EXPECT_EQ(f.back.Sel, (TTextRange{0, 0}));
    EXPECT_EQ(f.back.ScrolledToStart, scrolled + 1);
    EXPECT_TRUE(f.back.Dark);
    EXPECT_FALSE(f.core.WordWrap());  // wrap comes only with a load or new parameters
    EXPECT_EQ(f.core.Zoom(), 1);
    f.core.LoadNext(u"third\r\n", nullptr, 0);
    EXPECT_FALSE(f.back.Dark);
}

// Black on white (the defaults, explicit colours) goes dark as the system
// colours do; any other pair the user chose is shown as it is.
TEST(ViewerCore, TheDarkSchemeTakesBlackOnWhiteAsSystemColours) {
    constexpr int32_t kWindow = -16777211, kWindowText = -16777208;
    const struct {
        int32_t back, text;
        bool dark;
        int32_t shownBack, shownText;
    } rows[] = {
        {16777215, 0, true, kWindow, kWindowText},  {16777215, 0, false, 16777215, 0},
        {16777215, 255, true, 16777215, 255},       {12632256, 0, true, 12632256, 0},
        {kWindow, kWindowText, true, kWindow, kWindowText},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(std::to_string(row.back) + " " + std::to_string(row.text) + (row.dark ? " dark" : " light"));
        TViewerFixture f;
        TFontSpec font;
        font.Color = row.text;
        f.core.SetFont(font);
        f.core.SetBackColor(row.back);
        f.core.SetDark(row.dark);
        EXPECT_EQ(f.back.Back, row.shownBack);
        EXPECT_EQ(f.back.Font.Color, row.shownText);
        EXPECT_EQ(f.core.BackColor(), row.back);  // what is stored does not change
        EXPECT_EQ(f.core.Font().Color, row.text);
    }
}

// ---- the stepped load --------------------------------------------------------

std::u16string Repeat(std::u16string_view piece, size_t times) {
    std::u16string text;
    text.reserve(piece.size() * times);
    for (size_t i = 0; i < times; ++i) text += piece;
    return text;
}

bool SplitsAPair(const std::u16string& text, size_t cut) {
    if (cut == 0 || cut >= text.size()) return false;
    const char16_t a = text[cut - 1], b = text[cut];
    return (a == u'\r' && b == u'\n') || (a >= 0xD800 && a <= 0xDBFF && b >= 0xDC00 && b <= 0xDFFF);
}

TEST(ViewerCore, SteppedLoadShowsEveryShapeWholeWithNoCutInsideAPair) {
    struct TShape {
        const char* name;
        std::u16string text;
    };
    const TShape shapes[] = {
        {"short, at once", u"a few words\r\n"},
        {"one long paragraph", std::u16string(300000, u'x')},
        {"one long paragraph of BEL", std::u16string(70000, u'\a') + u"\r\n"},
        {"many short lines", Repeat(u"a\r\n", 100000)},
        {"only line ends", Repeat(u"\r\n", 150000)},
        {"surrogate pairs everywhere", Repeat(u"\U0001F600", 120000)},
        {"pairs and line ends mixed", Repeat(u"\U0001F600\r\n\U00010348x\r\n", 30000)},
        {"lines of odd lengths", Repeat(u"abcdefghijklm\r\nn\r\nopq\U0001F600r\r\n", 20000)},
    };
    for (const TShape& shape : shapes) {
        // Whole at once, and from sources that deliver parts of every size
        // (7 and 8191 units cut pairs too).
        for (size_t part : {size_t{0}, size_t{7}, size_t{8191}}) {
            SCOPED_TRACE(std::string(shape.name) + ", parts of " + std::to_string(part));
            TViewerFixture f;
            if (part == 0)
                f.core.LoadText(shape.text);
            else
                f.core.LoadText(u"", std::make_unique<TPartsSource>(shape.text, part));
            EXPECT_EQ(f.back.Puts, 1);
            if (shape.text.size() > kOneStepChars) {
                EXPECT_TRUE(f.core.Pending());
                EXPECT_LE(f.back.Shown.size(), kFirstStepChars + 2) << "the first screen is short";
            }
            RunSteps(f.core, f.back);
            EXPECT_FALSE(f.core.Pending());
            EXPECT_TRUE(f.back.Shown == shape.text) << f.back.Shown.size() << " of " << shape.text.size();
            for (size_t cut : f.back.Slices) EXPECT_FALSE(SplitsAPair(shape.text, cut)) << "cut at " << cut;
            EXPECT_EQ(f.back.Sel, (TTextRange{0, 0}));
        }
    }
}

TEST(ViewerCore, ALongParagraphGoesInSlicesAtLeastAsLongAsWhatIsShownOfIt) {
    TViewerFixture f;
    f.core.LoadText(std::u16string(1 << 20, u'\a'));
    RunSteps(f.core, f.back);
    // Each append to the open paragraph at least doubles it: few slices.
    ASSERT_GE(f.back.Slices.size(), 2u);
    for (size_t i = 1; i + 1 < f.back.Slices.size(); ++i)
        EXPECT_GE(f.back.Slices[i], 2 * f.back.Slices[i - 1]) << "slice " << i;
}

TEST(ViewerCore, WholeTextWorkWhileTextIsToComeActsOnAllOfIt) {
    const std::u16string text = Repeat(u"line of text\r\n", 20000) + u"needle\r\n" + Repeat(u"more\r\n", 10000);
    const size_t needle = text.find(u"needle");
    {
        SCOPED_TRACE("select all, then copy");
        TViewerFixture f;
        f.core.LoadText(u"", std::make_unique<TPartsSource>(text, 4096));
        ASSERT_TRUE(f.core.Pending());
        f.core.HostCommand(kCommandSelectAll, 0);
        f.core.HostCommand(kCommandCopy, 0);
        EXPECT_TRUE(f.back.Clipboard == text) << "the whole text at once";
        EXPECT_LT(f.back.Shown.size(), text.size()) << "not pushed through the widget";
        RunSteps(f.core, f.back);
        EXPECT_EQ(f.back.Sel, (TTextRange{0, text.size()})) << "the selection grew with the text";
    }
    {
        SCOPED_TRACE("search for a match not shown yet");
        TViewerFixture f;
        f.core.LoadText(u"", std::make_unique<TPartsSource>(text, 4096));
        EXPECT_TRUE(f.core.HostSearch(u"NEEDLE", 0));
        EXPECT_FALSE(f.back.ScrolledTo.has_value());
        RunSteps(f.core, f.back);
        ASSERT_TRUE(f.back.ScrolledTo.has_value()) << "brought into view once shown";
        EXPECT_EQ(*f.back.ScrolledTo, (TTextRange{needle, needle + 6}));
        EXPECT_EQ(f.back.Sel, (TTextRange{needle, needle + 6}));
    }
    {
        SCOPED_TRACE("go to a percentage of the whole text");
        TViewerFixture f;
        f.core.LoadText(u"", std::make_unique<TPartsSource>(text, 4096));
        f.core.HostCommand(kCommandSetPercent, 90);
        const size_t at = text.size() * 90 / 100;
        RunSteps(f.core, f.back);
        EXPECT_EQ(f.back.Sel, (TTextRange{at, at + 1}));
    }
    {
        SCOPED_TRACE("the user's own selection while the text grows wins");
        TViewerFixture f;
        f.core.LoadText(text);
        f.core.HostCommand(kCommandSelectAll, 0);
        f.back.Sel = {5, 9};
        RunSteps(f.core, f.back);
        EXPECT_EQ(f.back.Sel, (TTextRange{5, 9}));
    }
}

TEST(ViewerCore, ADecodingErrorEndsTheShownTextWithALineThatSaysSo) {
    for (size_t failAt : {size_t{100}, size_t{200001}}) {
        SCOPED_TRACE(failAt);
        const std::u16string text = Repeat(u"0123456789\r\n", 30000);
        TViewerFixture f;
        f.core.LoadText(u"", std::make_unique<TPartsSource>(text, 1000, failAt));
        RunSteps(f.core, f.back);
        const std::u16string good = text.substr(0, failAt);
        ASSERT_GE(f.back.Shown.size(), good.size());
        EXPECT_TRUE(f.back.Shown.compare(0, good.size(), good) == 0);
        EXPECT_EQ(f.back.Shown.substr(good.size()),
                  std::u16string(good.back() == u'\n' ? u"" : u"\r\n") +
                      u"[The rest of the document cannot be read: Stream read error]\r\n");
        EXPECT_FALSE(f.core.Decoding());
    }
}

TEST(ViewerCore, TheTextIsHeldInOneBlockFromTheStartWhenItsSizeIsKnown) {
    // Growing the text by doubling copies all of it each time: with the
    // source's count the block made at the load holds the whole text.
    const std::u16string text = Repeat(u"0123456789\r\n", 50000);
    for (const bool countLate : {false, true}) {
        SCOPED_TRACE(countLate ? "the count known after the first part" : "the count known at the load");
        TViewerFixture f;
        f.core.LoadText(u"first\r\n",
                        std::make_unique<TPartsSource>(text, 4096, SIZE_MAX, text.size() + 16, countLate));
        std::vector<const char16_t*> blocks{f.core.Text().data()};
        while (f.back.StepAsked) {
            f.back.StepAsked = false;
            f.core.Step();
            if (f.core.Text().data() != blocks.back()) blocks.push_back(f.core.Text().data());
        }
        EXPECT_EQ(f.core.Text(), u"first\r\n" + text);
        // Late: the first part's own block, then the whole text's.
        EXPECT_LE(blocks.size(), countLate ? 2u : 1u);
    }
}

TEST(ViewerCore, TheReserveEndsTheTextWithHowMuchIsNotShown) {
    TViewerFixture f;
    // 1 GB of address space, 300 MB free and then less after the first screen.
    uint64_t free = 300ull << 20;
    f.core.MemoryProbe = [&] { return TMemoryFigures{1ull << 30, free, 1ull << 30}; };
    const std::u16string text = Repeat(u"x\r\n", 100000);
    f.core.LoadText(text);
    free -= 100ull << 20;
    RunSteps(f.core, f.back);
    const size_t shown = f.core.Shown();
    EXPECT_LT(shown, text.size());
    EXPECT_EQ(f.core.NotShown(), text.size() - shown);
    EXPECT_NE(f.back.Shown.find(u"characters ("), std::u16string::npos);
    EXPECT_NE(f.back.Shown.find(u"of the document are not shown"), std::u16string::npos);
}

// The reserve of a 32-bit process's address space and the bound on one
// viewer's memory, with figures that shrink as the widget grows: the text
// stops within the limit, close to it, and says how much is not shown.
TEST(ViewerCore, TheReserveAndTheMemoryBoundStopTheTextWithinTheirLimits) {
    constexpr uint64_t kGB = 1ull << 30, kMB = 1ull << 20;
    const struct {
        const char* label;
        uint64_t total, physical;  // address space and memory; 0 0: no figures
        uint64_t limit;            // what the viewer may take; 0: no limit
    } rows[] = {
        {"a 2 GB 32-bit process", 2 * kGB, 24 * kGB, 2 * kGB - 300 * kMB - 512 * kMB},
        {"64-bit on 24 GB: 2 GB at most", 128ull << 40, 24 * kGB, 2 * kGB},
        {"64-bit on 4 GB: a quarter", 128ull << 40, 4 * kGB, kGB},
        {"no figures", 0, 0, 0},
    };
    constexpr uint64_t kPerUnit = 1000;  // what the widget takes per code unit
    const std::u16string text = Repeat(u"\r\n", 1500000);  // 3 million units: 3 GB at that cost
    for (const auto& row : rows) {
        SCOPED_TRACE(row.label);
        TViewerFixture f;
        if (row.total != 0) {
            f.core.MemoryProbe = [&] {
                const uint64_t used = 300 * kMB + kPerUnit * f.back.Shown.size();
                return TMemoryFigures{row.total, row.total - used, row.physical};
            };
        }
        f.core.LoadText(text);
        RunSteps(f.core, f.back);
        const uint64_t taken = kPerUnit * f.core.Shown();
        if (row.limit == 0) {
            EXPECT_EQ(f.core.Shown(), text.size());
            EXPECT_EQ(f.core.NotShown(), 0u);
            continue;
        }
        EXPECT_LE(taken, row.limit);
        EXPECT_GE(taken, row.limit / 2);
        EXPECT_EQ(f.core.NotShown(), text.size() - f.core.Shown());
        EXPECT_NE(f.back.Shown.find(u"of the document are not shown"), std::u16string::npos);
    }
}

// A long text, decoded only as far as it is asked for; it may foresee how
// much is still to come. Says how far it was decoded, and when it went.
class TLongSource final : public TTextSource {
public:
    TLongSource(const std::u16string& text, bool foresees, size_t& handed, bool& gone)
        : text_(text), foresees_(foresees), handed_(handed), gone_(gone) {}
    ~TLongSource() override { gone_ = true; }
    bool Produce(std::u16string& out, size_t units) override {
        const size_t n = std::min({units, size_t{4096}, text_.size() - handed_});
        out.append(text_, handed_, n);
        handed_ += n;
        return handed_ < text_.size();
    }
    size_t RemainingUnits() const override { return foresees_ ? text_.size() - handed_ : 0; }

private:
    const std::u16string& text_;
    bool foresees_;
    size_t& handed_;
    bool& gone_;
};

// The memory bound reached while the text is still being decoded: decoding
// stops there and the source goes; the text ends with the line, and select
// all, copy, search and go to percent take exactly the text shown, also
// after the widget is made anew.
TEST(ViewerCore, TheMemoryBoundStopsDecodingAndEndsTheTextForEverything) {
    const std::u16string text = Repeat(u"x\r\n", 1000000) + u"needle\r\n";
    for (const bool foresees : {true, false}) {
        SCOPED_TRACE(foresees ? "the source foresees the rest" : "the rest unknown");
        TViewerFixture f;
        uint64_t free = 300ull << 20;
        f.core.MemoryProbe = [&] { return TMemoryFigures{1ull << 30, free, 1ull << 30}; };
        size_t handed = 0;
        bool gone = false;
        f.core.LoadText(u"", std::make_unique<TLongSource>(text, foresees, handed, gone));
        free -= 100ull << 20;
        RunSteps(f.core, f.back);
        const size_t shown = f.core.Shown();
        ASSERT_GT(shown, 0u);
        EXPECT_TRUE(gone);
        EXPECT_FALSE(f.core.Decoding());
        EXPECT_LT(handed, text.size() / 10) << "decoded on after the cut";
        EXPECT_TRUE(f.core.Text() == text.substr(0, shown));
        std::u16string line;
        if (foresees) {
            EXPECT_EQ(f.core.NotShown(), text.size() - shown);
            line = u"[About " + Utf8ToUtf16(std::to_string(text.size() - shown)) + u" characters (" +
                   Utf8ToUtf16(std::to_string((text.size() - shown) * 100 / text.size())) +
                   u"%) of the document are not shown: too little memory is left for them]";
        } else {
            EXPECT_EQ(f.core.NotShown(), handed - shown);
            line = u"[At least " + Utf8ToUtf16(std::to_string(handed - shown)) +
                   u" characters of the document are not shown: too little memory is left for them]";
        }
        EXPECT_TRUE(f.back.Shown == f.core.Text() + line) << Utf16ToUtf8(f.back.Shown.substr(shown));

        for (const bool wrap : {false, true}) {
            SCOPED_TRACE(wrap ? "made anew again" : "made anew");
            f.core.HostCommand(kCommandSelectAll, 0);
            EXPECT_EQ(f.back.Sel, (TTextRange{0, shown}));
            f.core.HostCommand(kCommandCopy, 0);
            EXPECT_TRUE(f.back.Clipboard == text.substr(0, shown));
            EXPECT_FALSE(f.core.HostSearch(u"needle", kSearchFromStart));
            f.core.HostCommand(kCommandSetPercent, 100);
            EXPECT_EQ(f.back.Sel, (TTextRange{shown, shown}));
            f.core.SetWordWrap(wrap);
            RunSteps(f.core, f.back);
            EXPECT_TRUE(f.back.Shown == f.core.Text() + line) << Utf16ToUtf8(f.back.Shown.substr(f.core.Shown()));
            EXPECT_EQ(f.core.Shown(), shown);
        }
    }
}

// Text from another thread, as it comes: a step takes what is there and
// waits for nothing (with nothing new it asks for a later step), and whole-
// text work acts on what has come.
TEST(ViewerCore, TextFromAnotherThreadIsNeverWaitedFor) {
    class TArrivingSource final : public TTextSource {
    public:
        bool Produce(std::u16string& out, size_t units) override {
            ++Calls;
            const size_t n = std::min(units, Arrived.size() - taken_);
            out.append(Arrived, taken_, n);
            taken_ += n;
            return !Ended || taken_ < Arrived.size();
        }
        bool Waiting() const override { return !Ended && taken_ == Arrived.size(); }
        std::u16string Arrived;
        bool Ended = false;
        int Calls = 0;

    private:
        size_t taken_ = 0;
    };
    TViewerFixture f;
    auto owned = std::make_unique<TArrivingSource>();
    TArrivingSource& source = *owned;
    f.core.LoadText(u"", std::move(owned));
    EXPECT_EQ(f.back.Shown, u"");
    EXPECT_TRUE(f.core.Pending());
    EXPECT_LE(source.Calls, 1);
    for (int step = 0; step < 3; ++step) {
        source.Calls = 0;
        ASSERT_TRUE(f.back.StepAsked);
        f.back.StepAsked = false;
        f.core.Step();
        EXPECT_LE(source.Calls, 2);
        EXPECT_TRUE(f.back.Later);
    }
    f.core.HostCommand(kCommandSelectAll, 0);
    EXPECT_EQ(f.back.Sel, (TTextRange{0, 0}));
    EXPECT_FALSE(f.core.HostSearch(u"second", kSearchFromStart));

    source.Arrived = u"first line\r\nsecond line\r\n";
    EXPECT_TRUE(f.core.HostSearch(u"second", kSearchFromStart));
    f.core.Step();
    EXPECT_EQ(f.back.Shown, source.Arrived);
    EXPECT_EQ(f.back.Sel, (TTextRange{12, 18}));
    EXPECT_TRUE(f.back.Later);

    source.Arrived += u"end\r\n";
    source.Ended = true;
    const std::u16string whole = source.Arrived;  // the source goes at its end
    RunSteps(f.core, f.back);
    EXPECT_EQ(f.back.Shown, whole);
    EXPECT_FALSE(f.core.Decoding());
    EXPECT_FALSE(f.core.Pending());
}

// ---- plan, search, keys and zoom, positions ---------------------------------

TEST(LoadPlan, CutsMoveOffPairsAndWaitForTheSecondHalf) {
    const std::u16string text = u"ab\r\ncd\U0001F600e";
    EXPECT_EQ(SafeCut(text, 3, true), 4u);  // inside CR LF: past it
    EXPECT_EQ(SafeCut(text, 7, true), 8u);  // inside a pair: past it
    EXPECT_EQ(SafeCut(text, 4, true), 4u);
    EXPECT_EQ(SafeCut(u"ab\r", 3, false), 2u);  // the LF may follow: wait
    EXPECT_EQ(SafeCut(u"ab\r", 3, true), 3u);
    EXPECT_EQ(SafeCut(u"ab\xD83D", 3, false), 2u);
}

TEST(TextSearch, CaseWordsAndDirection) {
    const std::u16string text = u"Straße STRASSE Élan élan_x ÉLAN";
    EXPECT_EQ(FindText(text, u"élan", 0, {}), 15u);
    EXPECT_EQ(FindText(text, u"élan", 16, {}), 20u);
    EXPECT_EQ(FindText(text, u"élan", 16, {.WholeWords = true}), 27u);
    EXPECT_EQ(FindText(text, u"élan", 16, {.MatchCase = true}), 20u);
    EXPECT_EQ(FindText(text, u"ÉLAN", 31, {.Backwards = true}), 27u);
    EXPECT_EQ(FindText(text, u"ÉLAN", 30, {.Backwards = true}), 20u);
    EXPECT_EQ(FindText(text, u"ÉLAN", 30, {.Backwards = true, .MatchCase = true}), std::nullopt);
    EXPECT_EQ(FindText(text, u"", 0, {}), std::nullopt);
    EXPECT_EQ(FindText(u"ab", u"abc", 0, {}), std::nullopt);
}

TEST(KeyPolicy, KeysHandedBackToTheHost) {
    struct TRow {
        uint16_t key;
        TShiftState shift;
        bool quickView;
        std::vector<TKeyPost> posts;
    };
    const TRow rows[] = {
        {kKeyEscape, 0, false, {{true, kKeyEscape}, {false, kKeyEscape}}},
        {kKeyEscape, 0, true, {{true, kKeyTab}, {false, kKeyEscape}}},
        {kKeyEscape, ssShift, false, {}},
        {'1', 0, false, {{true, '1'}, {false, '1'}}},
        {'8', 0, false, {{true, '8'}, {false, '8'}}},
        {'9', 0, false, {}},
        {'0', 0, false, {}},
        {0x0157, 0, false, {{true, 0x0157}, {false, 0x0157}}},  // W on the low 8 bits
        {'N', ssShift, false, {}},
        {'W', ssCtrl, false, {}},
        {kKeyF7, 0, false, {{true, kKeyF7}, {false, kKeyF7}}},
        {kKeyF7, ssShift, false, {{true, kKeyShift}, {true, kKeyF7}, {false, kKeyShift}, {false, kKeyF7}}},
        {kKeyF5, ssShift | ssCtrl, false, {{true, kKeyShift}, {true, kKeyF5}, {false, kKeyShift}, {false, kKeyF5}}},
        {kKeyF5, ssCtrl, false, {}},
        {0x75, 0, false, {}},  // F6
    };
    for (const TRow& row : rows) {
        SCOPED_TRACE(std::to_string(row.key) + " shift " + std::to_string(row.shift));
        const TKeyRoute route = RouteKey(row.key, row.shift, THostKeys::Posted, row.quickView);
        EXPECT_EQ(route.Posts, row.posts);
        EXPECT_EQ(route.ToViewer, row.posts.empty());
    }
    // A host that gets what the widget lets through: the viewer keeps only
    // the keys that move in the text, with any modifiers.
    const struct {
        uint16_t key;
        TShiftState shift;
        bool toViewer;
    } passedUp[] = {
        {kKeyDown, 0, true}, {kKeyEnd, ssShift, true}, {kKeyHome, ssCtrl, true}, {kKeyPageUp, 0, true},
        {kKeyEscape, 0, false}, {'N', 0, false}, {kKeyF7, 0, false}, {0, ssCtrl, false}, {0x29, 0, false},
    };
    for (const auto& row : passedUp) {
        SCOPED_TRACE("passed up " + std::to_string(row.key) + " shift " + std::to_string(row.shift));
        const TKeyRoute route = RouteKey(row.key, row.shift, THostKeys::PassedUp, false);
        EXPECT_EQ(route.ToViewer, row.toViewer);
        EXPECT_TRUE(route.Posts.empty());
    }
    EXPECT_EQ(NextZoom(100, 120), 110);
    EXPECT_EQ(NextZoom(100, 8), 100);
    EXPECT_EQ(NextZoom(100, -11), 100);
    EXPECT_EQ(NextZoom(10, -120), 1);
    EXPECT_EQ(NextZoom(1, 120), 11);
    EXPECT_EQ(NextZoom(2147483640, 1200), 2147483647);
}

TEST(LineEndIndex, PositionsOfAWidgetThatCountsALineEndAsOne) {
    TLineEndIndex index;
    index.Append(u"ab\r");
    index.Append(u"\ncd\r\n\r\ne");  // CR LF split between parts
    // offsets:      a0 b1 CR2 LF3 c4 d5 CR6 LF7 CR8 LF9 e10
    const size_t positions[] = {0, 1, 2, 3, 3, 4, 5, 6, 6, 7, 7, 8};
    for (size_t offset = 0; offset <= 11; ++offset) EXPECT_EQ(index.PositionOf(offset), positions[offset]) << offset;
    const size_t offsets[] = {0, 1, 2, 4, 5, 6, 8, 10, 11};
    for (size_t position = 0; position <= 8; ++position)
        EXPECT_EQ(index.OffsetOf(position), offsets[position]) << position;
}

TEST(PairIndex, CharactersOfAWidgetThatCountsAPairAsOne) {
    TPairIndex index;
    index.Append(u"a\U0001F600b\xD83D");
    index.Append(u"\xDE00\xD800" u"c");  // a pair split between parts; a lone high half
    // offsets: a0 P1 p2 b3 Q4 q5 H6 c7
    const size_t characters[] = {0, 1, 1, 2, 3, 3, 4, 5, 6};
    for (size_t offset = 0; offset <= 8; ++offset) EXPECT_EQ(index.CharOf(offset), characters[offset]) << offset;
    const size_t offsets[] = {0, 1, 3, 4, 6, 7, 8};
    for (size_t character = 0; character <= 6; ++character)
        EXPECT_EQ(index.OffsetOf(character), offsets[character]) << character;
    EXPECT_EQ(index.CharOf(100), 6u);  // past the end: the end
    index.Clear();
    EXPECT_EQ(index.CharOf(3), 0u);
}

}  // namespace
}  // namespace pagelet
