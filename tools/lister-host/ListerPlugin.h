// The lister plug-in as a host sees it: a library with six exports, found by
// their undecorated names and called with the standard calling convention.
#pragma once

#include <windows.h>

#include <string>

#include "plugin/ListerApi.h"

namespace pagelet {

class TListerPlugin : public lister::TListerExports {
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

private:
    HMODULE fModule = nullptr;
};

// The plug-in's file name for this build of the host: pagelet.wlx for a
// 32-bit host, pagelet.wlx64 for a 64-bit one.
const wchar_t* PluginFileName();

// The folder of the running program, with a trailing backslash.
std::wstring ProgramDirectory();

}  // namespace pagelet
