#pragma once

// The Qt 5 viewer: a read-only QPlainTextEdit that the plug-in makes a child
// of the host's widget, drawn for a TViewerCore (the viewer's state and the
// host protocol). The host moves and sizes it and asks it for the focus;
// the viewer goes with the widget, whoever deletes it.
//
// Double Commander's Qt build keeps the keys a focused text widget takes
// (Esc, F7, n, p) from its own menus, and acts on no key sent to it by
// hand: so the text widget takes no focus itself (its focus goes to the
// host's window), and a filter on that window hands the keys that move in
// the text to the widget, leaving every other key to the host.

#include <QPlainTextEdit>
#include <QTimer>

#include <cstdint>
#include <memory>
#include <string>

#include "loading/Loaders.h"
#include "viewer/LineEndIndex.h"
#include "viewer/ViewerBackEnd.h"
#include "viewer/ViewerCore.h"

class QWidget;

namespace pagelet {

// The caption of every message the viewer shows.
inline constexpr char kQtMessageCaption[] = "Pagelet - document reader";

// An error box parented to the window of owner (may be null); text is shown
// as the Windows viewer shows it, CR as a line break.
void ShowQtError(QWidget* owner, const std::u16string& text);
// A message box that informs, parented as ShowQtError's.
void ShowQtInfo(QWidget* owner, const std::u16string& text);

// Whether a key moves in the text (the arrows, Page Up/Down, Home, End, with
// any modifiers) and so is the viewer's; Left and Right only with Shift: the
// host's previous and next file without.
bool IsQtViewKey(int key, Qt::KeyboardModifiers modifiers);

class TQtViewer final : public QPlainTextEdit, public TViewerBackEnd {
public:
    // Makes the widget in parent (not shown yet) with the font and
    // background of the settings file iniPath.
    TQtViewer(QWidget* parent, const std::u16string& iniPath);
    ~TQtViewer() override;

    // The viewer that widget is; null for any other pointer (not looked at).
    static TQtViewer* Of(const void* widget);

    TViewerCore& Core() { return *core_; }
    // Shows the widget, hands it the view keys and starts the document.
    void ShowDocument(TLoadedDocument document);
    // Hides the widget now and deletes it once the event that closed it is done.
    void Close();

    // TViewerBackEnd
    void PutText(std::u16string_view text) override;
    void AppendSlice(std::u16string_view text) override;
    TTextRange Selection() const override;
    void Select(TTextRange range, bool scroll) override;
    void ScrollToStart() override;
    void ShowFont(const TFontSpec& font, bool dark) override;
    void ShowBackColor(int32_t color, bool dark) override;
    bool ShowWordWrap(bool wrap) override;
    void ShowZoom(int32_t percent) override;
    void Repaint() override;
    void Focus() override;
    void CopyToClipboard(std::u16string_view text) override;
    void ScheduleStep() override;
    void ScheduleStepLater() override;
    void CancelStep() override;
    bool Dragging() const override { return dragging_; }

    // The options dialog (the context menu's Options item).
    void ExecuteOptions();
    // The context menu's "Word wrap": switches wrap and keeps the choice.
    void ToggleWordWrap();

protected:
    void wheelEvent(QWheelEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    class TKeyFilter;

    void OnStep();
    void ShowColours();
    void ShowFace(const TFontSpec& font, int32_t zoom);
    void Insert(std::u16string_view text);
    void UpdatePendingMark();

    std::unique_ptr<TViewerCore> core_;
    std::u16string iniPath_;
    // Where the line ends are: the widget counts CR LF as one position.
    TLineEndIndex lineEnds_;
    bool afterCr_ = false;  // the text shown ends with CR: an LF next is its line end's
    bool afterHigh_ = false;  // the text shown ends with a high surrogate
    QTimer stepTimer_;
    int32_t textColor_ = -1;  // as shown: negative for the palette's own
    int32_t backColor_ = -1;
    bool dragging_ = false;
    TKeyFilter* keyFilter_ = nullptr;
};

}  // namespace pagelet
