#include "ListerPlugin.h"

#include "ListerLibrary.h"
#include "common/Utf.h"

namespace pagelet {

TListerPlugin::~TListerPlugin() { Unload(); }

bool TListerPlugin::Load(const std::wstring& path, std::wstring& error) {
    Unload();
    std::string why;
    fModule = static_cast<HMODULE>(OpenListerLibrary(path, *this, why));
    if (!fModule) {
        const std::u16string wide = Utf8ToUtf16(why);
        error.assign(wide.begin(), wide.end());
        return false;
    }
    if (!ListLoad) {
        error = L"the plug-in " + path + L" has no export ListLoad";
        Unload();
        return false;
    }
    return true;
}

void TListerPlugin::Unload() {
    static_cast<lister::TListerExports&>(*this) = {};
    CloseListerLibrary(fModule);
    fModule = nullptr;
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
