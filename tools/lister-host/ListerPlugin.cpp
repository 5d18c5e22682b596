#include "ListerPlugin.h"

namespace pagelet {

namespace {

// GetProcAddress answers a FARPROC; going through the generic function type
// void(*)() keeps the cast to the export's own type explicit and warning-free.
template <typename TFunction>
void Resolve(HMODULE module, const char* name, TFunction& function) {
    const FARPROC address = GetProcAddress(module, name);
    function = reinterpret_cast<TFunction>(reinterpret_cast<void (*)()>(address));
}

}  // namespace

TListerPlugin::~TListerPlugin() { Unload(); }

bool TListerPlugin::Load(const std::wstring& path, std::wstring& error) {
    Unload();
    fModule = LoadLibraryW(path.c_str());
    if (!fModule) {
        error = L"cannot load the plug-in " + path + L" (error " + std::to_wstring(GetLastError()) + L")";
        return false;
    }
#define PAGELET_RESOLVE(name) Resolve(fModule, #name, name);
    PAGELET_LISTER_EXPORTS(PAGELET_RESOLVE)
#undef PAGELET_RESOLVE
    if (!ListLoad) {
        error = L"the plug-in " + path + L" has no export ListLoad";
        Unload();
        return false;
    }
    return true;
}

void TListerPlugin::Unload() {
    static_cast<lister::TListerExports&>(*this) = {};
    if (fModule) {
        FreeLibrary(fModule);
        fModule = nullptr;
    }
}

const wchar_t* PluginFileName() { return sizeof(void*) == 8 ? L"pagelet.wlx64" : L"pagelet.wlx"; }

std::wstring ProgramDirectory() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length == 0) return {};
        if (length < path.size()) {
            path.resize(length);
            break;
        }
        path.resize(path.size() * 2);
    }
    const size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash + 1);
}

}  // namespace pagelet
