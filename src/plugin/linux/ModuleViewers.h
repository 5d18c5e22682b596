#pragma once

// What a back-end module (plugin/linux/BackEndTable.h) gives the routines it
// shares with the other: its viewers, made, found and closed with its toolkit.

#include "plugin/ViewerOpen.h"

namespace pagelet {

class TModuleViewers : public TViewerWindows {
public:
    // There is no Microsoft Word to ask on Linux: a settings file that asks
    // for it (one carried over from Windows) still gets the document read by
    // the converter, not an error for every document.
    TLoadSettings LoadSettings() override;
    // Quick View passes over every file under the cursor: no box to click away.
    bool ReasonInViewer() const override { return true; }
    // ListCloseWindow: closes the viewer listWin; any other window is left alone.
    virtual void Close(lister::TWindow listWin) = 0;
};

// The module's viewers, defined by each module; called once the settings
// and loading modules have started.
TModuleViewers& ModuleViewers();

}  // namespace pagelet
