#pragma once

// The life of one viewer window inside the host's lister window: make and
// show the form, link it to the window, and tear it down exactly once.

#include <windows.h>

#include "plugin/ListerApi.h"
#include "plugin/ViewerOpen.h"

namespace pagelet {

class TFormMain;

// Kept in the viewer window's GWLP_USERDATA slot from the end of the load to
// the teardown.
struct TViewerWindowLink {
    WNDPROC OldWindowProc = nullptr;
    TFormMain* Form = nullptr;
};

// The link record of a window, or null when the window carries none.
TViewerWindowLink* FindViewerWindowLink(HWND window);

// The Win32 viewer windows, for the open and load-next routines.
TViewerWindows& Win32Viewers();

// The teardown; does nothing for a window without a link record.
void DestroyViewerWindow(HWND window);

LRESULT CALLBACK ViewerWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

}  // namespace pagelet
