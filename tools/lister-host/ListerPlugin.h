// The lister plug-in as a host sees it: a library with six exports, found by
// their undecorated names and called with the standard calling convention.
#pragma once

#include <windows.h>

#include <string>

namespace pagelet {

// The record handed to ListSetDefaultParams.
struct TListDefaultParams {
    int size;
    DWORD PluginInterfaceVersionLow;
    DWORD PluginInterfaceVersionHi;
    char DefaultIniName[MAX_PATH];
};

// Commands of ListSendCommand, their parameter bits and the search flags.
constexpr int kLcCopy = 1;
constexpr int kLcNewParams = 2;
constexpr int kLcSelectAll = 3;
constexpr int kLcSetPercent = 4;
constexpr int kLcpWrapText = 1;
constexpr int kLcsFindFirst = 1;
constexpr int kLcsMatchCase = 2;
constexpr int kLcsWholeWords = 4;
constexpr int kLcsBackwards = 8;

using TListSetDefaultParams = void(WINAPI*)(TListDefaultParams* params);
using TListLoad = HWND(WINAPI*)(HWND parentWin, char* fileToLoad, int showFlags);
using TListCloseWindow = void(WINAPI*)(HWND listWin);
using TListGetDetectString = void(WINAPI*)(char* detectString, int maxLen);
using TListSendCommand = int(WINAPI*)(HWND listWin, int command, int parameter);
using TListSearchTextW = int(WINAPI*)(HWND listWin, WCHAR* searchString, int searchParameter);

class TListerPlugin {
public:
    TListerPlugin() = default;
    TListerPlugin(const TListerPlugin&) = delete;
    TListerPlugin& operator=(const TListerPlugin&) = delete;
    ~TListerPlugin();

    // Loads the library and looks up the exports. ListLoad is required; a
    // missing other export leaves its pointer null and the host does without.
    bool Load(const std::wstring& path, std::wstring& error);
    // Frees the library (also done by the destructor).
    void Unload();

    TListSetDefaultParams ListSetDefaultParams = nullptr;
    TListLoad ListLoad = nullptr;
    TListCloseWindow ListCloseWindow = nullptr;
    TListGetDetectString ListGetDetectString = nullptr;
    TListSendCommand ListSendCommand = nullptr;
    TListSearchTextW ListSearchTextW = nullptr;

private:
    HMODULE fModule = nullptr;
};

// The plug-in's file name for this build of the host: pagelet.wlx for a
// 32-bit host, pagelet.wlx64 for a 64-bit one.
const wchar_t* PluginFileName();

// The folder of the running program, with a trailing backslash.
std::wstring ProgramDirectory();

}  // namespace pagelet
