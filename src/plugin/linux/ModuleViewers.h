#pragma once

// What a back-end module (plugin/linux/BackEndTable.h) gives the routines it
// shares with the other: its viewers, made, found and closed with its toolkit.

#include "plugin/ViewerOpen.h"

namespace pagelet {

class TModuleViewers : public TViewerWindows {
public:
    // ListCloseWindow: closes the viewer listWin; any other window is left alone.
    virtual void Close(lister::TWindow listWin) = 0;
};

// The module's viewers, defined by each module; called once the settings
// and loading modules have started.
TModuleViewers& ModuleViewers();

}  // namespace pagelet
