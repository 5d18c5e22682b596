#pragma once

// What a window system does for the viewer: show text, select, scroll,
// font, colours, wrap, zoom, focus, clipboard, and call TViewerCore::Step
// when asked. Everything else (what to show when, the host's commands and
// search, the display flags, font, colours and zoom; the key policy of
// viewer/KeyPolicy.h) is TViewerCore's: a back end draws it and keeps none
// of it. Positions are code
// units of the document text (TTextRange); a widget that counts otherwise
// (a rich-edit control counts CR LF as one, a GtkTextBuffer characters)
// maps them itself (TLineEndIndex helps with the first).

#include <cstdint>
#include <string_view>

#include "settings/TextForms.h"
#include "viewer/TextRange.h"

namespace pagelet {

// The dark scheme's stand-ins for the system colours (negative colour values)
// of text and background, as 0x00BBGGRR, the same in every back end;
// explicit colours stay as they are.
struct TDarkColours {
    int32_t Text;
    int32_t Back;
};
inline constexpr TDarkColours kDarkColours{0xDCDCDC, 0x202020};
// What a widget shows for a text or background colour (ShowFont,
// ShowBackColor): the scheme's stand-in for a system colour when dark.
constexpr int32_t ShownTextColor(int32_t color, bool dark) { return dark && color < 0 ? kDarkColours.Text : color; }
constexpr int32_t ShownBackColor(int32_t color, bool dark) { return dark && color < 0 ? kDarkColours.Back : color; }

class TViewerBackEnd {
public:
    virtual ~TViewerBackEnd() = default;

    // Replaces what is shown by text: the selection empty at 0, the view at the top.
    virtual void PutText(std::u16string_view text) = 0;
    // Appends text at the end. The selection and the scroll position stay;
    // only what the new text changes on screen is painted.
    virtual void AppendSlice(std::u16string_view text) = 0;
    // The selection within the text shown.
    virtual TTextRange Selection() const = 0;
    // Selects range (within the text shown). scroll: brings it into view;
    // otherwise the view stays where it is.
    virtual void Select(TTextRange range, bool scroll) = 0;
    virtual void ScrollToStart() = 0;

    // The font; dark: system colours show as the dark scheme's (kDarkColours).
    // The widget keeps the face in force for an empty face.
    virtual void ShowFont(const TFontSpec& font, bool dark) = 0;
    virtual void ShowBackColor(int32_t color, bool dark) = 0;
    // Word wrap on (a vertical scroll bar only) or off (both). True when the
    // widget was made anew and shows nothing: the core puts the text in again.
    virtual bool ShowWordWrap(bool wrap) = 0;
    // Shows the text at TViewerCore::Zoom(): percent/100; 0 switches zooming off.
    virtual void ShowZoom(int32_t percent) = 0;
    virtual void Repaint() = 0;

    // Gives the widget the keyboard focus; throws EPagelet when it cannot take it.
    virtual void Focus() = 0;
    virtual void CopyToClipboard(std::u16string_view text) = 0;

    // Asks for one call of TViewerCore::Step once what waits on the thread
    // (input, painting, the host's own work) has had its turn.
    virtual void ScheduleStep() = 0;
    // The same a little later (about 10 ms): the text is still on its way
    // from another thread, and a step now would find nothing new.
    virtual void ScheduleStepLater() { ScheduleStep(); }
    virtual void CancelStep() = 0;
    // True while the user drags a selection: appending would move it.
    virtual bool Dragging() const { return false; }
};

}  // namespace pagelet
