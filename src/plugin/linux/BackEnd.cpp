// The table of a back-end module: the exports that need a viewer, written
// once for every toolkit on the routines of plugin/ViewerOpen.h. No
// exception leaves them.
#include <string>

#include "loading/DocumentText.h"
#include "plugin/linux/BackEndTable.h"
#include "plugin/linux/ModuleViewers.h"
#include "settings/Locations.h"
#include "settings/Settings.h"

extern "C" void ListSetDefaultParams(pagelet::lister::TDefaultParams* dps);

namespace pagelet {

namespace {

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

TModuleViewers& Viewers() {
    static TModules modules;
    return ModuleViewers();
}

std::u16string FromW(const char16_t* text) { return text ? std::u16string(text) : std::u16string(); }

lister::TWindow LoadW(lister::TWindow parentWin, char16_t* fileToLoad, int showFlags) {
    try {
        return OpenViewer(Viewers(), parentWin, FromW(fileToLoad), showFlags);
    } catch (...) {
        return nullptr;
    }
}

lister::TWindow Load(lister::TWindow parentWin, char* fileToLoad, int showFlags) {
    try {
        return OpenViewer(Viewers(), parentWin, HostTextToUtf16(fileToLoad), showFlags);
    } catch (...) {
        return nullptr;
    }
}

// The viewer stays in the window it was made in: parentWin plays no part.
int LoadNextW(lister::TWindow /*parentWin*/, lister::TWindow listWin, char16_t* fileToLoad, int showFlags) {
    try {
        return LoadNextIntoViewer(Viewers(), listWin, FromW(fileToLoad), showFlags) ? lister::kListerOk
                                                                                     : lister::kListerError;
    } catch (...) {
        return lister::kListerError;
    }
}

int LoadNext(lister::TWindow /*parentWin*/, lister::TWindow listWin, char* fileToLoad, int showFlags) {
    try {
        return LoadNextIntoViewer(Viewers(), listWin, HostTextToUtf16(fileToLoad), showFlags) ? lister::kListerOk
                                                                                               : lister::kListerError;
    } catch (...) {
        return lister::kListerError;
    }
}

void CloseWindow(lister::TWindow listWin) {
    try {
        Viewers().Close(listWin);
    } catch (...) {
    }
}

int SendCommand(lister::TWindow listWin, int command, int parameter) {
    try {
        return SendCommandToViewer(Viewers(), listWin, command, parameter);
    } catch (...) {
        return lister::kListerError;
    }
}

int SearchTextW(lister::TWindow listWin, char16_t* searchString, int searchParameter) {
    try {
        return SearchInViewer(Viewers(), listWin, searchString, searchParameter);
    } catch (...) {
        return lister::kListerError;
    }
}

}  // namespace

TLoadSettings TModuleViewers::LoadSettings() {
    TLoadSettings settings = ReadLoadSettings(SettingsFilePath());
    settings.MSWord = false;
    return settings;
}

}  // namespace pagelet

extern "C" __attribute__((visibility("default"))) const pagelet::lister::TBackEndTable* PageletBackEnd() {
    static const pagelet::lister::TBackEndTable table{
        pagelet::lister::kBackEndVersion,
        sizeof(pagelet::lister::TBackEndTable),
        &ListSetDefaultParams,
        &pagelet::Load,
        &pagelet::LoadW,
        &pagelet::LoadNext,
        &pagelet::LoadNextW,
        &pagelet::CloseWindow,
        &pagelet::SendCommand,
        &pagelet::SearchTextW,
    };
    return &table;
}

static_assert(std::is_same_v<decltype(&PageletBackEnd), pagelet::lister::TBackEndEntry>);
