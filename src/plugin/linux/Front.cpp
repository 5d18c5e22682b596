// pagelet.wlx on Linux: the exports the host calls, for Double Commander's
// GTK 2 and Qt 5 builds alike. It links neither toolkit: at the first call
// that finds the host's toolkit running it loads the back-end module of that
// toolkit from its own folder and passes the viewer's exports on to it. A
// host that runs neither (or a module that is missing) gets no viewer: the
// host shows the file itself. Only the lister exports are visible.
#include <dlfcn.h>

#include <cstdio>
#include <mutex>
#include <string>

#include "plugin/ListerApi.h"
#include "plugin/linux/BackEndTable.h"

namespace {

using pagelet::lister::TBackEndTable;

enum class TToolkit { None, Gtk2, Qt5 };

// The toolkit the process runs, by symbols only that toolkit defines, once
// it has started: Qt 5's application object (Qt 6 versions its symbols
// otherwise) with its widgets library loaded, or GTK 2's version number.
TToolkit HostToolkit() {
    if (void* self = dlvsym(RTLD_DEFAULT, "_ZN16QCoreApplication4selfE", "Qt_5");
        self && *static_cast<void**>(self)) {
        if (void* widgets = dlopen("libQt5Widgets.so.5", RTLD_NOW | RTLD_NOLOAD)) {
            dlclose(widgets);
            return TToolkit::Qt5;
        }
    }
    const auto* major = static_cast<const unsigned*>(dlsym(RTLD_DEFAULT, "gtk_major_version"));
    if (major && *major == 2 && dlsym(RTLD_DEFAULT, "gtk_widget_get_type")) return TToolkit::Gtk2;
    return TToolkit::None;
}

// The folder this library was loaded from, with its slash; empty when unknown.
std::string OwnFolder() {
    Dl_info info{};
    if (!dladdr(reinterpret_cast<void*>(&HostToolkit), &info) || !info.dli_fname) return {};
    const std::string path = info.dli_fname;
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

// Loads the module of toolkit from beside this library; null, said once on
// stderr, when it is missing or of another build.
const TBackEndTable* LoadModule(TToolkit toolkit) {
    const std::string path =
        OwnFolder() + (toolkit == TToolkit::Qt5 ? pagelet::lister::kQt5Module : pagelet::lister::kGtk2Module);
    void* module = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!module) {
        const char* error = dlerror();
        std::fprintf(stderr, "pagelet: cannot load %s: %s\n", path.c_str(), error ? error : "unknown error");
        return nullptr;
    }
    auto entry = reinterpret_cast<pagelet::lister::TBackEndEntry>(dlsym(module, pagelet::lister::kBackEndEntryName));
    const TBackEndTable* table = entry ? entry() : nullptr;
    if (!table || table->Version != pagelet::lister::kBackEndVersion || table->Size != sizeof(TBackEndTable)) {
        std::fprintf(stderr, "pagelet: %s is not a module of this pagelet.wlx\n", path.c_str());
        dlclose(module);
        return nullptr;
    }
    return table;  // kept to the end of the process, as the host keeps the plug-in
}

// The back end's table: looked for at every call until the host's toolkit
// runs, then kept. A module that cannot be used is not tried again.
const TBackEndTable* BackEnd() {
    static std::mutex lock;
    static const TBackEndTable* table = nullptr;
    static bool tried = false;
    std::lock_guard<std::mutex> hold(lock);
    if (table || tried) return table;
    const TToolkit toolkit = HostToolkit();
    if (toolkit == TToolkit::None) return nullptr;
    tried = true;
    table = LoadModule(toolkit);
    return table;
}

}  // namespace

using pagelet::lister::kListerError;
using pagelet::lister::TWindow;

extern "C" {

PAGELET_LISTER_EXPORT void ListSetDefaultParams(pagelet::lister::TDefaultParams* dps) {
    if (const TBackEndTable* backEnd = BackEnd()) backEnd->SetDefaultParams(dps);
}

PAGELET_LISTER_EXPORT TWindow ListLoadW(TWindow parentWin, char16_t* fileToLoad, int showFlags) {
    const TBackEndTable* backEnd = BackEnd();
    return backEnd ? backEnd->LoadW(parentWin, fileToLoad, showFlags) : nullptr;
}

PAGELET_LISTER_EXPORT TWindow ListLoad(TWindow parentWin, char* fileToLoad, int showFlags) {
    const TBackEndTable* backEnd = BackEnd();
    return backEnd ? backEnd->Load(parentWin, fileToLoad, showFlags) : nullptr;
}

PAGELET_LISTER_EXPORT int ListLoadNextW(TWindow parentWin, TWindow listWin, char16_t* fileToLoad, int showFlags) {
    const TBackEndTable* backEnd = BackEnd();
    return backEnd ? backEnd->LoadNextW(parentWin, listWin, fileToLoad, showFlags) : kListerError;
}

PAGELET_LISTER_EXPORT int ListLoadNext(TWindow parentWin, TWindow listWin, char* fileToLoad, int showFlags) {
    const TBackEndTable* backEnd = BackEnd();
    return backEnd ? backEnd->LoadNext(parentWin, listWin, fileToLoad, showFlags) : kListerError;
}

PAGELET_LISTER_EXPORT void ListCloseWindow(TWindow listWin) {
    if (const TBackEndTable* backEnd = BackEnd()) backEnd->CloseWindow(listWin);
}

PAGELET_LISTER_EXPORT int ListSendCommand(TWindow listWin, int command, int parameter) {
    const TBackEndTable* backEnd = BackEnd();
    return backEnd ? backEnd->SendCommand(listWin, command, parameter) : kListerError;
}

// 0 when a match was selected, 1 when the text does not occur (the back end
// says so to the user) or the search could not run.
PAGELET_LISTER_EXPORT int ListSearchTextW(TWindow listWin, char16_t* searchString, int searchParameter) {
    const TBackEndTable* backEnd = BackEnd();
    return backEnd ? backEnd->SearchTextW(listWin, searchString, searchParameter) : kListerError;
}

}  // extern "C"

static_assert(std::is_same_v<decltype(&ListSetDefaultParams), pagelet::lister::TListSetDefaultParams>);
static_assert(std::is_same_v<decltype(&ListLoad), pagelet::lister::TListLoad>);
static_assert(std::is_same_v<decltype(&ListLoadW), pagelet::lister::TListLoadW>);
static_assert(std::is_same_v<decltype(&ListLoadNext), pagelet::lister::TListLoadNext>);
static_assert(std::is_same_v<decltype(&ListLoadNextW), pagelet::lister::TListLoadNextW>);
static_assert(std::is_same_v<decltype(&ListCloseWindow), pagelet::lister::TListCloseWindow>);
static_assert(std::is_same_v<decltype(&ListSendCommand), pagelet::lister::TListSendCommand>);
static_assert(std::is_same_v<decltype(&ListSearchTextW), pagelet::lister::TListSearchTextW>);
