// The lister exports of the Linux plug-in (Double Commander's GTK build):
// open and close GTK viewers, and the host's commands and search on
// an open one. Only these have default visibility and C linkage; no
// exception leaves them.
#include <gtk/gtk.h>

#include <memory>
#include <string>
#include <type_traits>

#include "common/Error.h"
#include "loading/DocumentText.h"
#include "plugin/ListerApi.h"
#include "plugin/ViewerOpen.h"
#include "settings/Locations.h"
#include "settings/Settings.h"
#include "ui/gtk/GtkViewer.h"

namespace pagelet {

void StartModules();

namespace {

std::u16string FromW(const char16_t* text) { return text ? std::u16string(text) : std::u16string(); }

TViewerCore& ViewerOf(GtkWidget* widget) {
    TGtkViewer* viewer = TGtkViewer::Of(widget);
    if (!viewer) throw EPagelet(u"Not a viewer window");
    return viewer->Core();
}

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
    GtkWidget* Keep() override { return viewer_.release()->Widget(); }

private:
    GtkWidget* parentWin_;
    std::unique_ptr<TGtkViewer> viewer_;
};

class TGtkViewerWindows final : public TViewerWindows {
public:
    // There is no Microsoft Word to ask on Linux: a settings file that asks
    // for it (one carried over from Windows) still gets the document read by
    // the converter, not an error for every document.
    TLoadSettings LoadSettings() override {
        TLoadSettings settings = ReadLoadSettings(SettingsFilePath());
        settings.MSWord = false;
        return settings;
    }
    // Quick View passes over every file under the cursor: no box to click away.
    bool ReasonInViewer() const override { return true; }
    void ShowError(GtkWidget* owner, const std::u16string& message) override { ShowGtkError(owner, message); }
    std::unique_ptr<TNewViewer> MakeViewer(GtkWidget* parentWin, const std::u16string& /*fileToView*/) override {
        return std::make_unique<TNewGtkViewer>(parentWin, SettingsFilePath());
    }
    TViewerCore* FindViewer(GtkWidget* window) override {
        TGtkViewer* viewer = TGtkViewer::Of(window);
        return viewer ? &viewer->Core() : nullptr;
    }
};

// The viewers, once the modules have started.
TViewerWindows& GtkViewers() {
    StartModules();
    static TGtkViewerWindows windows;
    return windows;
}

// The modules start at the first call from the host, not from an ELF
// constructor: such a constructor may run before this library's own static
// objects are made (the settings' strings were still unmade when the host
// loaded the library, and the first assignment crashed it). They end when
// the library's statics are destroyed, before the statics they use.
class TModules {
public:
    TModules() {
        SettingsModuleInit();
        LoadingModuleInit();
    }
    ~TModules() {
        try {
            LoadingModuleDone();
            SettingsModuleDone();
        } catch (...) {
        }
    }
    TModules(const TModules&) = delete;
    TModules& operator=(const TModules&) = delete;
};

}  // namespace

void StartModules() { static TModules modules; }

}  // namespace pagelet

using pagelet::lister::kListerError;
using pagelet::lister::kListerOk;

extern "C" {

PAGELET_LISTER_EXPORT GtkWidget* ListLoadW(GtkWidget* parentWin, char16_t* fileToLoad, int showFlags) {
    try {
        return pagelet::OpenViewer(pagelet::GtkViewers(), parentWin, pagelet::FromW(fileToLoad), showFlags);
    } catch (...) {
        return nullptr;
    }
}

PAGELET_LISTER_EXPORT GtkWidget* ListLoad(GtkWidget* parentWin, char* fileToLoad, int showFlags) {
    try {
        return pagelet::OpenViewer(pagelet::GtkViewers(), parentWin, pagelet::HostTextToUtf16(fileToLoad), showFlags);
    } catch (...) {
        return nullptr;
    }
}

PAGELET_LISTER_EXPORT int ListLoadNextW(GtkWidget* /*parentWin*/, GtkWidget* listWin, char16_t* fileToLoad, int showFlags) {
    try {
        return pagelet::LoadNextIntoViewer(pagelet::GtkViewers(), listWin, pagelet::FromW(fileToLoad), showFlags)
                   ? kListerOk
                   : kListerError;
    } catch (...) {
        return kListerError;
    }
}

PAGELET_LISTER_EXPORT int ListLoadNext(GtkWidget* /*parentWin*/, GtkWidget* listWin, char* fileToLoad, int showFlags) {
    try {
        return pagelet::LoadNextIntoViewer(pagelet::GtkViewers(), listWin, pagelet::HostTextToUtf16(fileToLoad),
                                           showFlags)
                   ? kListerOk
                   : kListerError;
    } catch (...) {
        return kListerError;
    }
}

PAGELET_LISTER_EXPORT void ListCloseWindow(GtkWidget* listWin) {
    try {
        // Destroying the widget frees its viewer.
        if (pagelet::TGtkViewer::Of(listWin)) gtk_widget_destroy(listWin);
    } catch (...) {
    }
}

PAGELET_LISTER_EXPORT int ListSendCommand(GtkWidget* listWin, int command, int parameter) {
    try {
        pagelet::ViewerOf(listWin).HostCommand(command, parameter);
        return kListerOk;
    } catch (...) {
        return kListerError;
    }
}

// 0 when a match was selected, 1 when the text does not occur (the selection
// stays, and a box says so) or the search could not run.
PAGELET_LISTER_EXPORT int ListSearchTextW(GtkWidget* listWin, char16_t* searchString, int searchParameter) {
    try {
        if (!searchString) return kListerError;
        const std::u16string text = pagelet::FromW(searchString);
        pagelet::TViewerCore& core = pagelet::ViewerOf(listWin);
        if (core.HostSearch(text, searchParameter)) return kListerOk;
        // The host ignores the answer: the user is told here. The box's
        // label takes the primary selection, and the text buffer drops its
        // selection when it loses that: it is put back.
        const pagelet::TTextRange selection = core.Selection();
        pagelet::ShowGtkInfo(listWin, u"\"" + text + u"\" not found");
        if (pagelet::TGtkViewer* viewer = pagelet::TGtkViewer::Of(listWin)) viewer->Select(selection, false);
        return kListerError;
    } catch (...) {
        return kListerError;
    }
}

}  // extern "C"

static_assert(std::is_same_v<decltype(&ListLoad), pagelet::lister::TListLoad>);
static_assert(std::is_same_v<decltype(&ListLoadW), pagelet::lister::TListLoadW>);
static_assert(std::is_same_v<decltype(&ListLoadNext), pagelet::lister::TListLoadNext>);
static_assert(std::is_same_v<decltype(&ListLoadNextW), pagelet::lister::TListLoadNextW>);
static_assert(std::is_same_v<decltype(&ListCloseWindow), pagelet::lister::TListCloseWindow>);
static_assert(std::is_same_v<decltype(&ListSendCommand), pagelet::lister::TListSendCommand>);
static_assert(std::is_same_v<decltype(&ListSearchTextW), pagelet::lister::TListSearchTextW>);
