// The back-end module of Double Commander's Qt 5 build (pagelet-qt5.so): its
// viewers are Qt viewers (ui/qt) in the host's widget, which the host moves,
// sizes and focuses itself.
#include <QWidget>

#include <memory>
#include <string>

#include "plugin/linux/ModuleViewers.h"
#include "settings/Locations.h"
#include "settings/Settings.h"
#include "ui/qt/QtViewer.h"

namespace pagelet {

namespace {

// The host's widget; null for null. Only a viewer's pointer is ever looked
// through without this: the host gives no other kind.
QWidget* AsWidget(lister::TWindow window) { return static_cast<QWidget*>(window); }

// A Qt viewer while it is made: its widget goes with it unless it is kept.
class TNewQtViewer final : public TNewViewer {
public:
    TNewQtViewer(QWidget* parentWin, const std::u16string& iniPath)
        : viewer_(std::make_unique<TQtViewer>(parentWin, iniPath)) {}

    TViewerCore& Core() override { return viewer_->Core(); }
    void Show(TLoadedDocument document) override { viewer_->ShowDocument(std::move(document)); }
    // From here on the viewer goes with its widget: the host's to delete.
    lister::TWindow Keep() override { return static_cast<QWidget*>(viewer_.release()); }

private:
    std::unique_ptr<TQtViewer> viewer_;
};

class TQtViewerWindows final : public TModuleViewers {
public:
    void ShowError(lister::TWindow owner, const std::u16string& message) override {
        ShowQtError(AsWidget(owner), message);
    }
    std::unique_ptr<TNewViewer> MakeViewer(lister::TWindow parentWin, const std::u16string& /*fileToView*/) override {
        return std::make_unique<TNewQtViewer>(AsWidget(parentWin), SettingsFilePath());
    }
    TViewerCore* FindViewer(lister::TWindow window) override {
        TQtViewer* viewer = TQtViewer::Of(window);
        return viewer ? &viewer->Core() : nullptr;
    }
    void SayNotFound(lister::TWindow listWin, TViewerCore& /*core*/, const std::u16string& text) override {
        if (TQtViewer* viewer = TQtViewer::Of(listWin)) ShowQtInfo(viewer, u"\"" + text + u"\" not found");
    }
    // The host may close the viewer from within the viewer's own event
    // handling: the widget goes once that is over.
    void Close(lister::TWindow listWin) override {
        if (TQtViewer* viewer = TQtViewer::Of(listWin)) viewer->Close();
    }
};

}  // namespace

TModuleViewers& ModuleViewers() {
    static TQtViewerWindows windows;
    return windows;
}

}  // namespace pagelet
