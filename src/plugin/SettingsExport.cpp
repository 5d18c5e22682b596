// The host hands over its suggested location for plug-in settings.
#include <string>
#include <type_traits>

#include "plugin/ListerApi.h"
#include "settings/Locations.h"

extern "C" PAGELET_LISTER_EXPORT void PAGELET_LISTER_CALL ListSetDefaultParams(pagelet::lister::TDefaultParams* dps) {
    try {
        pagelet::SetDefaultParams(dps ? pagelet::HostIniPath(dps->DefaultIniName, pagelet::IniNameFieldSize(dps->Size))
                                      : std::u16string());
    } catch (...) {
        // nothing reaches the host
    }
}

static_assert(std::is_same_v<decltype(&ListSetDefaultParams), pagelet::lister::TListSetDefaultParams>);
static_assert(sizeof(pagelet::lister::TDefaultParams::DefaultIniName) == 260 &&
                  pagelet::lister::kMaxIniNameField == 32000,
              "IniNameFieldSize's sizes");
