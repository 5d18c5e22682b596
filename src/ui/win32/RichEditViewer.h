#pragma once

// The Windows back end of the viewer core (viewer/ViewerBackEnd.h): draws a
// TViewerCore in a rich-edit control. The core's positions are text offsets
// (CR LF two); the control counts CR LF as one, and TLineEndIndex maps them.

#include <cstdint>
#include <string_view>

#include "settings/TextForms.h"
#include "ui/win32/toolkit/RichEdit.h"
#include "viewer/LineEndIndex.h"
#include "viewer/ViewerBackEnd.h"

namespace pagelet {

class TRichEditViewer final : public TViewerBackEnd {
public:
    // The control's OnTimer is the owner's to pass to TViewerCore::Step.
    explicit TRichEditViewer(TRichEdit& control) : control_(control) {}

    void PutText(std::u16string_view text) override;
    void AppendSlice(std::u16string_view text) override;
    TTextRange Selection() const override;
    void Select(TTextRange range, bool scroll) override;
    void ScrollToStart() override { control_.ScrollToStart(); }
    void ShowFont(const TFontSpec& font, bool dark) override;
    void ShowBackColor(int32_t color, bool dark) override;
    bool ShowWordWrap(bool wrap) override;
    void ShowZoom(int32_t percent) override { control_.SetZoom(percent); }
    void Repaint() override { control_.Repaint(); }
    void Focus() override { control_.SetFocus(); }
    void CopyToClipboard(std::u16string_view text) override;
    void ScheduleStep() override;
    void CancelStep() override { control_.StopTimer(); }
    bool Dragging() const override { return control_.Captured(); }

private:
    TRichEdit& control_;
    TLineEndIndex lineEnds_;  // of the text the control was given
};

}  // namespace pagelet
