#pragma once

// The life of one viewer window inside the host's lister window: load, make
// and show the form, link it to the window, and tear it down exactly once.

#include <windows.h>

#include <cstdint>
#include <string>

#include "plugin/ListerApi.h"

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

// Loads the document and makes its viewer window; 0 when no window was made.
// Loader failures pass to the caller as exceptions.
HWND CreateViewerWindow(HWND parentWin, const std::u16string& fileToView, int32_t displayFlags);

// Shows another document in the viewer window listWin, which keeps its
// font, zoom, word wrap and colours (the dark scheme follows displayFlags).
// True when the new text is shown, with the caret at the start and the view
// at the top; false, with the window unchanged and nothing shown to the
// user, when listWin is not a viewer or the document cannot be loaded.
bool LoadNextDocument(HWND parentWin, HWND listWin, const std::u16string& fileToView, int32_t displayFlags);

// The teardown; does nothing for a window without a link record.
void DestroyViewerWindow(HWND window);

LRESULT CALLBACK ViewerWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

}  // namespace pagelet
