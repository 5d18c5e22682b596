#pragma once

// The lister interface between a file manager (the host) and a lister
// plug-in, written once for both sides: the plug-in's exports, lister-host,
// the tests and the benchmarks include it. Declarations only, no code: a host
// that includes it links nothing of the plug-in.
//
// Every export uses the standard calling convention and is found by its
// undecorated name. The 8-bit strings (file names, the INI path, the detect
// string) are in the system's ANSI code page.

#include <windows.h>

#include <cstddef>
#include <cstdint>

#include "viewer/HostProtocol.h"

namespace pagelet::lister {

// The record the host hands to ListSetDefaultParams.
struct TDefaultParams {
    int32_t Size;  // sizeof the record as the host knows it
    uint32_t PluginInterfaceVersionLow;
    uint32_t PluginInterfaceVersionHi;
    char DefaultIniName[MAX_PATH];  // NUL-terminated, or filling all 260 bytes
};
static_assert(offsetof(TDefaultParams, DefaultIniName) == 12 && sizeof(TDefaultParams) == 272,
              "the host's record layout");

// The answers, commands, display flags and search flags: viewer/HostProtocol.h.

// The exports, as function-pointer types. A viewer window is the window
// ListLoad (or ListLoadW) answers; the host later passes it back as listWin.
using TListSetDefaultParams = void(__stdcall*)(TDefaultParams* params);
using TListLoad = HWND(__stdcall*)(HWND parentWin, char* fileToLoad, int showFlags);
using TListLoadW = HWND(__stdcall*)(HWND parentWin, WCHAR* fileToLoad, int showFlags);
// Another file into an open viewer: answers kListerOk or kListerError.
using TListLoadNext = int(__stdcall*)(HWND parentWin, HWND listWin, char* fileToLoad, int showFlags);
using TListLoadNextW = int(__stdcall*)(HWND parentWin, HWND listWin, WCHAR* fileToLoad, int showFlags);
using TListCloseWindow = void(__stdcall*)(HWND listWin);
using TListGetDetectString = void(__stdcall*)(char* detectString, int maxLen);
// Both answer kListerOk or kListerError.
using TListSendCommand = int(__stdcall*)(HWND listWin, int command, int parameter);
using TListSearchTextW = int(__stdcall*)(HWND listWin, WCHAR* searchString, int searchParameter);
// A picture of the file for a thumbnail view; contentbuf holds the file's
// first contentbuflen bytes. Answers null when there is none.
using TListGetPreviewBitmap = HBITMAP(__stdcall*)(char* fileToLoad, int width, int height, char* contentbuf,
                                                  int contentbuflen);
using TListGetPreviewBitmapW = HBITMAP(__stdcall*)(WCHAR* fileToLoad, int width, int height, char* contentbuf,
                                                   int contentbuflen);

}  // namespace pagelet::lister
