// The host hands over its suggested location for plug-in settings.
#include <windows.h>

#include "settings/Locations.h"

extern "C" void __stdcall ListSetDefaultParams(pagelet::TListDefaultParam* dps) {
    try {
        pagelet::SetDefaultParams(dps);
    } catch (...) {
        // nothing reaches the host
    }
}
