// The lister exports of the Linux plug-in (Double Commander's GTK build):
// open, close and describe GTK viewers, and the host's commands and search on
// an open one. Only these have default visibility and C linkage; no
// exception leaves them.
#include <gtk/gtk.h>

#include <algorithm>
#include <cstring>
#include <optional>
#include <string>
#include <type_traits>

#include "common/Error.h"
#include "loading/DocumentText.h"
#include "loading/Loaders.h"
#include "plugin/ListerApi.h"
#include "settings/Locations.h"
#include "settings/Settings.h"
#include "ui/gtk/GtkViewer.h"

namespace pagelet {

void StartModules();

namespace {

constexpr char kDetectString[] = "EXT=\"DOC\" | EXT=\"DOT\"";

std::u16string FromW(const char16_t* text) { return text ? std::u16string(text) : std::u16string(); }

TViewerCore& ViewerOf(GtkWidget* widget) {
    TGtkViewer* viewer = TGtkViewer::Of(widget);
    if (!viewer) throw EPagelet(u"Not a viewer window");
    return viewer->Core();
}

// The settings of a load. There is no Microsoft Word to ask on Linux: a
// settings file that asks for it (one carried over from Windows) still gets
// the document read by the converter, not an error for every document.
TLoadSettings LoadSettingsHere(const std::u16string& ini) {
    TLoadSettings settings = ReadLoadSettings(ini);
    settings.MSWord = false;
    return settings;
}

GtkWidget* CreateViewer(GtkWidget* parentWin, const std::u16string& fileToView, int showFlags) {
    StartModules();
    const std::u16string ini = SettingsFilePath();
    std::optional<TLoadedDocument> document = OpenDocument(fileToView, LoadSettingsHere(ini));
    if (!document) {
        ShowGtkError(parentWin, u"Error opening document:\r" + fileToView);
        return nullptr;
    }
    TGtkViewer* viewer = nullptr;
    try {
        viewer = new TGtkViewer(ini);
        viewer->Core().SetDisplayFlags(showFlags);
        if (parentWin && GTK_IS_CONTAINER(parentWin)) gtk_container_add(GTK_CONTAINER(parentWin), viewer->Widget());
        gtk_widget_show(viewer->Widget());
        viewer->ShowDocument(std::move(*document));
        return viewer->Widget();
    } catch (const std::exception& e) {
        delete viewer;  // takes its widgets with it
        ShowGtkError(parentWin, u"Exception:\r" + ExceptionMessage(e));
        return nullptr;
    }
}

bool LoadNext(GtkWidget* listWin, const std::u16string& fileToView, int showFlags) {
    StartModules();
    TGtkViewer* viewer = TGtkViewer::Of(listWin);
    if (!viewer) return false;
    std::optional<TLoadedDocument> document;
    try {
        document = OpenDocument(fileToView, LoadSettingsHere(SettingsFilePath()));
    } catch (...) {
        // The host loads the file again through ListLoad, which reports the error.
    }
    if (!document) {
        ClearDocumentText();
        return false;
    }
    viewer->Core().LoadNext(std::move(document->Text), std::move(document->Rest), showFlags);
    return true;
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
        return pagelet::CreateViewer(parentWin, pagelet::FromW(fileToLoad), showFlags);
    } catch (...) {
        return nullptr;
    }
}

PAGELET_LISTER_EXPORT GtkWidget* ListLoad(GtkWidget* parentWin, char* fileToLoad, int showFlags) {
    try {
        return pagelet::CreateViewer(parentWin, pagelet::HostTextToUtf16(fileToLoad), showFlags);
    } catch (...) {
        return nullptr;
    }
}

PAGELET_LISTER_EXPORT int ListLoadNextW(GtkWidget* /*parentWin*/, GtkWidget* listWin, char16_t* fileToLoad, int showFlags) {
    try {
        return pagelet::LoadNext(listWin, pagelet::FromW(fileToLoad), showFlags) ? kListerOk : kListerError;
    } catch (...) {
        return kListerError;
    }
}

PAGELET_LISTER_EXPORT int ListLoadNext(GtkWidget* /*parentWin*/, GtkWidget* listWin, char* fileToLoad, int showFlags) {
    try {
        return pagelet::LoadNext(listWin, pagelet::HostTextToUtf16(fileToLoad), showFlags) ? kListerOk
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

PAGELET_LISTER_EXPORT void ListGetDetectString(char* detectString, int maxLen) {
    if (!detectString || maxLen <= 0) return;
    size_t count = std::min(sizeof(pagelet::kDetectString) - 1, static_cast<size_t>(maxLen) - 1);
    std::memcpy(detectString, pagelet::kDetectString, count);
    detectString[count] = '\0';
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
// stays) or the search could not run.
PAGELET_LISTER_EXPORT int ListSearchTextW(GtkWidget* listWin, char16_t* searchString, int searchParameter) {
    try {
        if (!searchString) return kListerError;
        return pagelet::ViewerOf(listWin).HostSearch(pagelet::FromW(searchString), searchParameter) ? kListerOk
                                                                                                    : kListerError;
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
static_assert(std::is_same_v<decltype(&ListGetDetectString), pagelet::lister::TListGetDetectString>);
static_assert(std::is_same_v<decltype(&ListSendCommand), pagelet::lister::TListSendCommand>);
static_assert(std::is_same_v<decltype(&ListSearchTextW), pagelet::lister::TListSearchTextW>);
