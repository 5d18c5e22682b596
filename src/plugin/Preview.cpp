#include "plugin/Preview.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <functional>

#include "common/Handles.h"
#include "common/Win32Text.h"
#include "converter/WordConverter.h"
#include "loading/DocumentReader.h"
#include "loading/ReadingLayout.h"
#include "loading/DocumentText.h"
#include "loading/Loaders.h"
#include "settings/Settings.h"

namespace pagelet {

namespace {

// How long a thumbnail may take: the host waits on a thread of its own, but
// a document whose layout takes long gives the text that came by then.
constexpr std::chrono::milliseconds kThumbnailTime{2000};
// A4 portrait in millimetres, with 25 mm margins and about 52 lines of text.
constexpr int kPageWidth = 210;
constexpr int kPageHeight = 297;
constexpr int kMargin = 25;
constexpr int kLinesPerPage = 52;
// Below this height in pixels glyphs vanish: small pages show fewer, larger lines.
constexpr int kSmallestFontHeight = 5;
constexpr COLORREF kPaperColor = RGB(255, 255, 255);
constexpr COLORREF kInkColor = RGB(32, 32, 32);

// What a page of this size can show: the text's rectangle, the font's height
// and an upper bound of the characters that fill the rectangle.
struct TPageLayout {
    RECT Text{};
    int FontHeight = 0;
    size_t MaxChars = 0;
};

TPageLayout LayOut(SIZE page) {
    TPageLayout layout;
    const int marginX = std::max(1, MulDiv(page.cx, kMargin, kPageWidth));
    const int marginY = std::max(1, MulDiv(page.cy, kMargin, kPageHeight));
    layout.Text = {marginX, marginY, page.cx - marginX, page.cy - marginY};
    layout.FontHeight = std::max(kSmallestFontHeight, static_cast<int>(page.cy / kLinesPerPage));
    const int width = std::max(0, static_cast<int>(layout.Text.right - layout.Text.left));
    const int height = std::max(0, static_cast<int>(layout.Text.bottom - layout.Text.top));
    // Every line holds at most width / (narrowest glyph) characters; a
    // glyph is at least a quarter of the font's height wide.
    const size_t lines = static_cast<size_t>(height / layout.FontHeight + 1);
    const size_t perLine = static_cast<size_t>(width / std::max(1, layout.FontHeight / 4) + 1);
    layout.MaxChars = lines * perLine;
    return layout;
}

// The first lines of the document as drawable text: line ends as CR LF,
// other control characters as spaces, at most maxChars characters.
std::u16string PageText(const std::u16string& converted, size_t maxChars) {
    TDocumentText text;  // this call's own, not the viewer's
    text.SetText(std::u16string_view(converted).substr(0, maxChars));
    std::u16string page;
    for (const std::u16string& line : text.Lines()) {
        if (page.size() >= maxChars) break;
        if (!page.empty()) page += u"\r\n";
        for (char16_t c : line) page += c < u' ' && c != u'\t' ? u' ' : c;
    }
    return page;
}

// The text of a thumbnail as it is decoded, until the converter stops or
// the thumbnail's time is up (the converter and the layout ask in between).
class TPageSink final : public TTextSink {
public:
    explicit TPageSink(std::chrono::steady_clock::time_point deadline) : deadline_(deadline) {}
    void Append(std::u16string_view part) override { Text += part; }
    bool Cancelled() const override { return std::chrono::steady_clock::now() >= deadline_; }

    std::u16string Text;

private:
    std::chrono::steady_clock::time_point deadline_;
};

HBITMAP DrawPage(SIZE page, const TPageLayout& layout, const std::u16string& text) {
    TGdiObject bitmap;
    TMemoryDC dc;
    {
        const TWindowDC screen(nullptr, TWindowDC::ClientArea);
        if (!screen.Get()) return nullptr;
        bitmap.Reset(CreateCompatibleBitmap(screen.Get(), page.cx, page.cy));
        dc.Reset(CreateCompatibleDC(screen.Get()));
    }
    if (!bitmap || !dc) return nullptr;
    const HGDIOBJ oldBitmap = SelectObject(dc.Get(), bitmap.Get());
    RECT all{0, 0, page.cx, page.cy};
    const TGdiObject paper(CreateSolidBrush(kPaperColor));
    FillRect(dc.Get(), &all, static_cast<HBRUSH>(paper.Get()));
    const TGdiObject font(CreateFontW(-layout.FontHeight, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                                      OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, ANTIALIASED_QUALITY,
                                      DEFAULT_PITCH | FF_SWISS, L"Tahoma"));
    const HGDIOBJ oldFont = SelectObject(dc.Get(), font.Get());
    SetTextColor(dc.Get(), kInkColor);
    SetBkMode(dc.Get(), TRANSPARENT);
    RECT textRect = layout.Text;
    std::u16string copy = text;
    DrawTextW(dc.Get(), WBuf(copy), static_cast<int>(copy.size()), &textRect,
              DT_WORDBREAK | DT_EDITCONTROL | DT_NOPREFIX | DT_EXPANDTABS | DT_LEFT | DT_TOP);
    // The bitmap and the font leave the DC before either is deleted or handed out.
    SelectObject(dc.Get(), oldFont);
    SelectObject(dc.Get(), oldBitmap);
    return static_cast<HBITMAP>(bitmap.Release());
}

}  // namespace

SIZE PreviewPageSize(int width, int height) {
    if (width <= 0 || height <= 0) return {0, 0};
    SIZE page{MulDiv(height, kPageWidth, kPageHeight), height};
    if (page.cx > width) page = {width, MulDiv(width, kPageHeight, kPageWidth)};
    page.cx = std::clamp<LONG>(page.cx, 1, width);
    page.cy = std::clamp<LONG>(page.cy, 1, height);
    return page;
}

HBITMAP MakePreviewBitmap(const std::u16string& fileName, int width, int height) {
    const SIZE page = PreviewPageSize(width, height);
    if (page.cx == 0 || !IsWordFileName(fileName)) return nullptr;
    const TPageLayout layout = LayOut(page);
    // The converter settings only: a thumbnail never starts Word.
    const TLoadSettings settings = ReadLoadSettings(SettingsFilePath());
    TPageSink converted(std::chrono::steady_clock::now() + kThumbnailTime);
    try {
        TWordConverter converter;                // this call's own
        converter.SetMaxChars(layout.MaxChars);  // decodes no more than the page shows
        UseReadingLayout(converter, settings.ReadingLayout);
        if (!converter.ExtractText(fileName, settings.Printable, settings.CP, settings.ForceCP, converted)) {
            // A file of another format a reader knows: its layout in either
            // setting, no more than the page shows.
            const std::function<bool()> full = [&] {
                return converted.Text.size() >= layout.MaxChars || converted.Cancelled();
            };
            ExtractReaderText(fileName, settings.CP, settings.ForceCP, settings.Printable, converted, full);
        }
    } catch (...) {
        return nullptr;
    }
    const std::u16string text = PageText(converted.Text, layout.MaxChars);
    if (text.empty()) return nullptr;
    return DrawPage(page, layout, text);
}

}  // namespace pagelet
