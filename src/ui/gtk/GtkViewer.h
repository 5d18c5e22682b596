#pragma once

// The GTK 2 viewer: a read-only GtkTextView in a GtkScrolledWindow that the
// plug-in adds to the host's window, drawn for a TViewerCore (the viewer's
// state and the host protocol). The scrolled window is the outermost widget:
// the host sizes it, gives it the focus (passed on to the text view) and
// destroys it; the viewer object goes with it.

#include <gtk/gtk.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "loading/Loaders.h"
#include "settings/Settings.h"
#include "viewer/PairIndex.h"
#include "viewer/ViewerBackEnd.h"
#include "viewer/ViewerCore.h"

namespace pagelet {

// The caption of every message the viewer shows.
inline constexpr char kGtkMessageCaption[] = "Pagelet - document reader";

// An error box parented to the toplevel window of owner (may be null); text
// is shown as the Windows viewer shows it, CR as a line break.
void ShowGtkError(GtkWidget* owner, const std::u16string& text);
// A message box that informs, parented as ShowGtkError's.
void ShowGtkInfo(GtkWidget* owner, const std::u16string& text);

class TGtkViewer final : public TViewerBackEnd {
public:
    // Makes the widgets (not shown yet) with the font and background of the
    // settings file iniPath.
    explicit TGtkViewer(const std::u16string& iniPath);
    ~TGtkViewer() override;
    TGtkViewer(const TGtkViewer&) = delete;
    TGtkViewer& operator=(const TGtkViewer&) = delete;

    // The viewer whose outermost widget is widget; null for any other widget.
    static TGtkViewer* Of(GtkWidget* widget);

    GtkWidget* Widget() const { return scrolled_; }
    GtkWidget* TextView() const { return view_; }
    TViewerCore& Core() { return *core_; }
    void ShowDocument(TLoadedDocument document);

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

private:
    static gboolean OnStep(gpointer self);
    static void OnDestroy(GtkWidget* widget, gpointer self);
    static void OnGrabFocus(GtkWidget* widget, gpointer self);
    static gboolean OnKeyPress(GtkWidget* widget, GdkEventKey* event, gpointer self);
    static gboolean OnScroll(GtkWidget* widget, GdkEventScroll* event, gpointer self);
    static gboolean OnButton(GtkWidget* widget, GdkEventButton* event, gpointer self);
    static void OnPopulatePopup(GtkTextView* view, GtkMenu* menu, gpointer self);
    void ShowFace(const TFontSpec& font, int32_t zoom);
    void UpdatePendingMark();
    int CharsOf(size_t units) const;

    GtkWidget* scrolled_ = nullptr;
    GtkWidget* view_ = nullptr;
    GtkTextBuffer* buffer_ = nullptr;
    std::unique_ptr<TViewerCore> core_;
    std::u16string iniPath_;
    // The surrogate pairs shown: a GtkTextBuffer counts characters.
    TPairIndex pairs_;
    guint stepSource_ = 0;
    bool dragging_ = false;
    bool destroyed_ = false;
};

}  // namespace pagelet
