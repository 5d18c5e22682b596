#include "viewer/KeptSettings.h"

#include "settings/IniFile.h"
#include "settings/TextForms.h"

namespace pagelet {

void ApplyKeptSettings(TViewerCore& core, const std::u16string& iniPath) {
    core.SetPlainFollowsSystem(true);
    core.SetWrapUnasked(ReadBoolSetting(kWordWrap, iniPath));
    const TViewerOptions options = ReadViewerOptions(iniPath);
    core.SetFont(options.Font);
    core.SetBackColor(options.BackColor);
}

void ToggleKeptWordWrap(TViewerCore& core, const std::u16string& iniPath) {
    const bool wrap = !core.WordWrap();
    core.SetWrapUnasked(wrap);
    core.SetWordWrap(wrap);
    WriteIniString(kOptionsSection, kWordWrap.Name, BoolText(wrap), iniPath);
}

void ApplyKeptOptions(TViewerCore& core, const TViewerOptions& options, const std::u16string& iniPath) {
    WriteViewerOptions(options, iniPath);
    core.SetFont(options.Font);
    core.SetBackColor(options.BackColor);
}

}  // namespace pagelet
