// The lister exports that open and close viewer windows, and the host's
// commands and search on an open one. No exception leaves them.
#include <windows.h>

#include <cstdint>
#include <string>
#include <type_traits>

#include "common/Error.h"
#include "common/Win32Text.h"
#include "plugin/ListerApi.h"
#include "plugin/Preview.h"
#include "plugin/ViewerWindow.h"
#include "settings/Locations.h"
#include "ui/win32/FormMain.h"

extern "C" {

HWND PAGELET_LISTER_CALL ListLoadW(HWND parentWin, WCHAR* fileToLoad, int showFlags) {
    try {
        return pagelet::OpenViewer(pagelet::Win32Viewers(), parentWin, pagelet::FromW(fileToLoad), showFlags);
    } catch (...) {
        return nullptr;
    }
}

HWND PAGELET_LISTER_CALL ListLoad(HWND parentWin, char* fileToLoad, int showFlags) {
    try {
        std::u16string path = pagelet::HostTextToUtf16(fileToLoad);
        return ListLoadW(parentWin, reinterpret_cast<WCHAR*>(path.data()), showFlags);
    } catch (...) {
        return nullptr;
    }
}

int PAGELET_LISTER_CALL ListLoadNextW(HWND parentWin, HWND listWin, WCHAR* fileToLoad, int showFlags) {
    try {
        // The viewer stays in the lister window it was made in: parentWin plays no part.
        (void)parentWin;
        return pagelet::LoadNextIntoViewer(pagelet::Win32Viewers(), listWin, pagelet::FromW(fileToLoad), showFlags)
                   ? pagelet::lister::kListerOk
                   : pagelet::lister::kListerError;
    } catch (...) {
        return pagelet::lister::kListerError;
    }
}

int PAGELET_LISTER_CALL ListLoadNext(HWND parentWin, HWND listWin, char* fileToLoad, int showFlags) {
    try {
        std::u16string path = pagelet::HostTextToUtf16(fileToLoad);
        return ListLoadNextW(parentWin, listWin, reinterpret_cast<WCHAR*>(path.data()), showFlags);
    } catch (...) {
        return pagelet::lister::kListerError;
    }
}

// Called by the host on background threads, several at once.
HBITMAP PAGELET_LISTER_CALL ListGetPreviewBitmapW(WCHAR* fileToLoad, int width, int height, char* /*contentBuf*/,
                                                  int /*contentBufLen*/) {
    try {
        return pagelet::MakePreviewBitmap(pagelet::FromW(fileToLoad), width, height);
    } catch (...) {
        return nullptr;
    }
}

HBITMAP PAGELET_LISTER_CALL ListGetPreviewBitmap(char* fileToLoad, int width, int height, char* contentBuf,
                                                 int contentBufLen) {
    try {
        std::u16string path = pagelet::HostTextToUtf16(fileToLoad);
        return ListGetPreviewBitmapW(reinterpret_cast<WCHAR*>(path.data()), width, height, contentBuf, contentBufLen);
    } catch (...) {
        return nullptr;
    }
}

void PAGELET_LISTER_CALL ListCloseWindow(HWND listWin) {
    try {
        pagelet::DestroyViewerWindow(listWin);
    } catch (...) {
        // The teardown shows what it catches; nothing crosses to the host.
    }
}

int PAGELET_LISTER_CALL ListSendCommand(HWND listWin, int command, int parameter) {
    return pagelet::SendCommandToViewer(pagelet::Win32Viewers(), listWin, command, parameter);
}

// 0 when a match was selected, 1 when the text does not occur (the selection
// stays) or the search could not run.
int PAGELET_LISTER_CALL ListSearchTextW(HWND listWin, WCHAR* searchString, int searchParameter) {
    return pagelet::SearchInViewer(pagelet::Win32Viewers(), listWin, searchString, searchParameter);
}

}  // extern "C"

// The exports have the types the host calls them through.
static_assert(std::is_same_v<decltype(&ListLoad), pagelet::lister::TListLoad>);
static_assert(std::is_same_v<decltype(&ListCloseWindow), pagelet::lister::TListCloseWindow>);
static_assert(std::is_same_v<decltype(&ListSendCommand), pagelet::lister::TListSendCommand>);
static_assert(std::is_same_v<decltype(&ListSearchTextW), pagelet::lister::TListSearchTextW>);
static_assert(std::is_same_v<decltype(&ListLoadW), pagelet::lister::TListLoadW>);
static_assert(std::is_same_v<decltype(&ListLoadNext), pagelet::lister::TListLoadNext>);
static_assert(std::is_same_v<decltype(&ListLoadNextW), pagelet::lister::TListLoadNextW>);
static_assert(std::is_same_v<decltype(&ListGetPreviewBitmap), pagelet::lister::TListGetPreviewBitmap>);
static_assert(std::is_same_v<decltype(&ListGetPreviewBitmapW), pagelet::lister::TListGetPreviewBitmapW>);
