#pragma once

#include <windows.h>

namespace pagelet {

// The plug-in DLL's own instance handle, stored when the library is loaded.
extern HINSTANCE PluginInstance;

}  // namespace pagelet
