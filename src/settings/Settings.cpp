#include "settings/Settings.h"

#include "settings/IniFile.h"
#include "settings/Locations.h"
#include "settings/TextForms.h"

namespace pagelet {

std::u16string SettingsFilePath() { return SettingsDirectory() + kSettingsFileName; }

std::u16string ReadSettingText(const TSettingKey& key, const std::u16string& iniPath) {
    return ReadIniString(kOptionsSection, key.Name, key.DefaultText, iniPath);
}

bool ReadBoolSetting(const TSettingKey& key, const std::u16string& iniPath) {
    return ReadBoolText(ReadSettingText(key, iniPath), key.Fallback != 0);
}

int32_t ReadIntSetting(const TSettingKey& key, const std::u16string& iniPath) {
    return ReadIntText(ReadSettingText(key, iniPath), key.Fallback);
}

TLoadSettings ReadLoadSettings(const std::u16string& iniPath) {
    TLoadSettings settings;
    settings.MSWord = ReadBoolSetting(kMSWord, iniPath);
    settings.Printable = ReadBoolSetting(kPrintable, iniPath);
    settings.CP = ReadIntSetting(kCP, iniPath);
    settings.ForceCP = ReadBoolSetting(kForceCP, iniPath);
    settings.ReadingLayout = ReadBoolSetting(kReadingLayout, iniPath);
    return settings;
}

TViewerOptions ReadViewerOptions(const std::u16string& iniPath) {
    TViewerOptions options;
    options.Font = ReadFontText(ReadSettingText(kTextFont, iniPath));
    options.BackColor = ReadIntSetting(kBackColor, iniPath);
    options.Load = ReadLoadSettings(iniPath);
    return options;
}

void WriteViewerOptions(const TViewerOptions& options, const std::u16string& iniPath) {
    auto write = [&iniPath](const TSettingKey& key, const std::u16string& value) {
        WriteIniString(kOptionsSection, key.Name, value, iniPath);
    };
    write(kTextFont, FontText(options.Font));
    write(kBackColor, IntText(options.BackColor));
    write(kMSWord, BoolText(options.Load.MSWord));
    write(kPrintable, BoolText(options.Load.Printable));
    write(kCP, IntText(options.Load.CP));
    write(kForceCP, BoolText(options.Load.ForceCP));
    write(kReadingLayout, BoolText(options.Load.ReadingLayout));
}

}  // namespace pagelet
