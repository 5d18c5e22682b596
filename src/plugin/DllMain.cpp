// Library load and unload: the modules' start and end, in that order and the reverse.
#include <windows.h>

#include "loading/DocumentText.h"
#include "settings/Locations.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE /*instance*/, DWORD reason, LPVOID /*reserved*/) {
    using namespace pagelet;
    try {
        switch (reason) {
        case DLL_PROCESS_ATTACH:
            SettingsModuleInit();
            LoadingModuleInit();
            break;
        case DLL_PROCESS_DETACH:
            LoadingModuleDone();
            SettingsModuleDone();
            break;
        default:
            break;
        }
    } catch (...) {
        return FALSE;  // only a failed start matters; the loader ignores the answer otherwise
    }
    return TRUE;
}
