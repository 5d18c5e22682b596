// The lister plug-in as a host loads it: the library, and its exports found
// by their undecorated names (LoadLibrary and GetProcAddress on Windows,
// dlopen and dlsym elsewhere). The one binder of the hosts, the tests and the
// benchmarks.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "plugin/ListerApi.h"

namespace pagelet {

// Loads the library and binds every export into exports; a missing export
// stays null. The handle of the library (HMODULE on Windows), or null when it
// cannot be loaded, with error saying why ("cannot load the plug-in PATH ...").
void* OpenListerLibrary(const std::filesystem::path& path, lister::TListerExports& exports, std::string& error);

// Frees a library of OpenListerLibrary (null: nothing).
void CloseListerLibrary(void* library);

// The names of the exports that are null.
std::vector<std::string> MissingExports(const lister::TListerExports& exports);

}  // namespace pagelet
