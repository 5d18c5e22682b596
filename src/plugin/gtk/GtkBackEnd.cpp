// The back-end module of Double Commander's GTK build (pagelet-gtk2.so):
// its viewers are GTK viewers (ui/gtk) in the host's GtkLayout.
#include <gtk/gtk.h>

#include <memory>
#include <string>

#include "loading/DocumentText.h"
#include "plugin/linux/ModuleViewers.h"
#include "settings/Locations.h"
#include "settings/Settings.h"
#include "ui/gtk/GtkViewer.h"

namespace pagelet {

namespace {

GtkWidget* AsWidget(lister::TWindow window) { return static_cast<GtkWidget*>(window); }

// A GTK viewer while it is made: its widgets go with it unless it is kept.
class TNewGtkViewer final : public TNewViewer {
public:
    TNewGtkViewer(GtkWidget* parentWin, const std::u16string& iniPath)
        : parentWin_(parentWin), viewer_(std::make_unique<TGtkViewer>(iniPath)) {}

    TViewerCore& Core() override { return viewer_->Core(); }
    void Show(TLoadedDocument document) override {
        if (parentWin_ && GTK_IS_CONTAINER(parentWin_)) gtk_container_add(GTK_CONTAINER(parentWin_), viewer_->Widget());
        gtk_widget_show(viewer_->Widget());
        viewer_->ShowDocument(std::move(document));
    }
    // From here on the viewer goes when the host destroys its widget.
    lister::TWindow Keep() override { return viewer_.release()->Widget(); }

private:
    GtkWidget* parentWin_;
    std::unique_ptr<TGtkViewer> viewer_;
};

class TGtkViewerWindows final : public TModuleViewers {
public:
    void ShowError(lister::TWindow owner, const std::u16string& message) override {
        ShowGtkError(AsWidget(owner), message);
    }
    std::unique_ptr<TNewViewer> MakeViewer(lister::TWindow parentWin, const std::u16string& /*fileToView*/) override {
        return std::make_unique<TNewGtkViewer>(AsWidget(parentWin), SettingsFilePath());
    }
    TViewerCore* FindViewer(lister::TWindow window) override {
        TGtkViewer* viewer = TGtkViewer::Of(AsWidget(window));
        return viewer ? &viewer->Core() : nullptr;
    }
    // The box's label takes the primary selection, and the text buffer drops
    // its selection when it loses that: it is put back.
    void SayNotFound(lister::TWindow listWin, TViewerCore& core, const std::u16string& text) override {
        const TTextRange selection = core.Selection();
        ShowGtkInfo(AsWidget(listWin), u"\"" + text + u"\" not found");
        if (TGtkViewer* viewer = TGtkViewer::Of(AsWidget(listWin))) viewer->Select(selection, false);
    }
    // Destroying the widget frees its viewer.
    void Close(lister::TWindow listWin) override {
        if (TGtkViewer::Of(AsWidget(listWin))) gtk_widget_destroy(AsWidget(listWin));
    }
};

}  // namespace

TModuleViewers& ModuleViewers() {
    static TGtkViewerWindows windows;
    return windows;
}

}  // namespace pagelet
