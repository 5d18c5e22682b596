#pragma once

// The lister interface between a file manager (the host) and a lister
// plug-in, written once for both sides: the plug-in's exports, lister-host,
// the tests and the benchmarks include it. Declarations only, no code: a host
// that includes it links nothing of the plug-in.
//
// Windows: the standard calling convention, HWND windows, HBITMAP pictures,
// 8-bit strings (file names, the INI path, the detect string) in the system's
// ANSI code page. Linux (Double Commander): the C calling convention, the
// window the host's toolkit widget (a GtkWidget* in the GTK 2 build, a
// QWidget* in the Qt 5 build), no pictures, 8-bit strings in UTF-8.
// Either way every export is found by its undecorated name and WCHAR text is
// UTF-16.

#include <cstddef>
#include <cstdint>

#include "viewer/HostProtocol.h"

#if defined(_WIN32)
#include <windows.h>
#define PAGELET_LISTER_CALL __stdcall
#define PAGELET_LISTER_EXPORT
#else
#define PAGELET_LISTER_CALL
// The Linux plug-in is built with hidden visibility: the exports alone are seen.
#define PAGELET_LISTER_EXPORT __attribute__((visibility("default")))
#endif

namespace pagelet::lister {

#if defined(_WIN32)
using TWindow = HWND;
using TBitmap = HBITMAP;
using TWideChar = WCHAR;
#else
using TWindow = void*;  // GtkWidget* or QWidget*, as the host's toolkit
using TBitmap = void*;  // the host never asks for a picture on Linux
using TWideChar = char16_t;
#endif
static_assert(sizeof(TWideChar) == 2, "WCHAR text is UTF-16");

// The record the host hands to ListSetDefaultParams. Size is the record's
// size as the host knows it: a host may give a longer DefaultIniName field
// (Double Commander's is 32,000 bytes), which is read as a NUL-terminated
// string within Size.
struct TDefaultParams {
    int32_t Size;
    uint32_t PluginInterfaceVersionLow;
    uint32_t PluginInterfaceVersionHi;
    char DefaultIniName[260];  // NUL-terminated, or filling all 260 bytes of the short record
};
static_assert(offsetof(TDefaultParams, DefaultIniName) == 12 && sizeof(TDefaultParams) == 272,
              "the host's record layout");
// The longest DefaultIniName field a host gives.
constexpr size_t kMaxIniNameField = 32000;

// The answers, commands, display flags and search flags: viewer/HostProtocol.h.

// The exports, as function-pointer types. A viewer window is the window
// ListLoad (or ListLoadW) answers; the host later passes it back as listWin.
using TListSetDefaultParams = void(PAGELET_LISTER_CALL*)(TDefaultParams* params);
using TListLoad = TWindow(PAGELET_LISTER_CALL*)(TWindow parentWin, char* fileToLoad, int showFlags);
using TListLoadW = TWindow(PAGELET_LISTER_CALL*)(TWindow parentWin, TWideChar* fileToLoad, int showFlags);
// Another file into an open viewer: answers kListerOk or kListerError.
using TListLoadNext = int(PAGELET_LISTER_CALL*)(TWindow parentWin, TWindow listWin, char* fileToLoad, int showFlags);
using TListLoadNextW = int(PAGELET_LISTER_CALL*)(TWindow parentWin, TWindow listWin, TWideChar* fileToLoad,
                                                 int showFlags);
using TListCloseWindow = void(PAGELET_LISTER_CALL*)(TWindow listWin);
using TListGetDetectString = void(PAGELET_LISTER_CALL*)(char* detectString, int maxLen);
// Both answer kListerOk or kListerError.
using TListSendCommand = int(PAGELET_LISTER_CALL*)(TWindow listWin, int command, int parameter);
using TListSearchTextW = int(PAGELET_LISTER_CALL*)(TWindow listWin, TWideChar* searchString, int searchParameter);
// A picture of the file for a thumbnail view; contentbuf holds the file's
// first contentbuflen bytes. Answers null when there is none.
using TListGetPreviewBitmap = TBitmap(PAGELET_LISTER_CALL*)(char* fileToLoad, int width, int height, char* contentbuf,
                                                            int contentbuflen);
using TListGetPreviewBitmapW = TBitmap(PAGELET_LISTER_CALL*)(TWideChar* fileToLoad, int width, int height,
                                                             char* contentbuf, int contentbuflen);

// Every export of the plug-in, once: X(name) for each, in the order of the
// export table. The plug-in's .def file is made from these lines (one X(...)
// a line), lister-host, the tests and the benchmarks bind them by it; the
// type of export Name is TName.
#define PAGELET_LISTER_EXPORTS(X) \
    X(ListSetDefaultParams)       \
    X(ListLoad)                   \
    X(ListCloseWindow)            \
    X(ListGetDetectString)        \
    X(ListSendCommand)            \
    X(ListSearchTextW)            \
    X(ListLoadW)                  \
    X(ListLoadNext)               \
    X(ListLoadNextW)              \
    X(ListGetPreviewBitmap)       \
    X(ListGetPreviewBitmapW)

// Every export as a pointer, null where a plug-in lacks it: what a host binds.
#define PAGELET_LISTER_EXPORT_FIELD(name) T##name name = nullptr;
struct TListerExports {
    PAGELET_LISTER_EXPORTS(PAGELET_LISTER_EXPORT_FIELD)
};
#undef PAGELET_LISTER_EXPORT_FIELD

}  // namespace pagelet::lister
