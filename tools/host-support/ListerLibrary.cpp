#include "ListerLibrary.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace pagelet {

namespace {

std::string Utf8Path(const std::filesystem::path& path) {
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

#ifdef _WIN32
void* Symbol(void* library, const char* name) {
    // GetProcAddress answers a FARPROC; the generic function type void(*)()
    // keeps the cast to the export's own type explicit and warning-free.
    return reinterpret_cast<void*>(
        reinterpret_cast<void (*)()>(GetProcAddress(static_cast<HMODULE>(library), name)));
}
#else
void* Symbol(void* library, const char* name) { return dlsym(library, name); }
#endif

}  // namespace

void* OpenListerLibrary(const std::filesystem::path& path, lister::TListerExports& exports, std::string& error) {
    exports = {};
#ifdef _WIN32
    void* library = LoadLibraryW(path.c_str());
    if (!library) {
        error = "cannot load the plug-in " + Utf8Path(path) + " (error " + std::to_string(GetLastError()) + ")";
        return nullptr;
    }
#else
    void* library = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!library) {
        const char* why = dlerror();
        error = "cannot load the plug-in " + Utf8Path(path) + ": " + (why ? why : "unknown error");
        return nullptr;
    }
#endif
#define PAGELET_BIND(name) \
    exports.name = reinterpret_cast<lister::T##name>(reinterpret_cast<void (*)()>(Symbol(library, #name)));
    PAGELET_LISTER_EXPORTS(PAGELET_BIND)
#undef PAGELET_BIND
    return library;
}

void CloseListerLibrary(void* library) {
    if (!library) return;
#ifdef _WIN32
    FreeLibrary(static_cast<HMODULE>(library));
#else
    dlclose(library);
#endif
}

std::vector<std::string> MissingExports(const lister::TListerExports& exports) {
    std::vector<std::string> missing;
#define PAGELET_MISSING(name) \
    if (!exports.name) missing.push_back(#name);
    PAGELET_LISTER_EXPORTS(PAGELET_MISSING)
#undef PAGELET_MISSING
    return missing;
}

}  // namespace pagelet
