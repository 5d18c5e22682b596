#include "settings/Settings.h"

#include "settings/IniFile.h"
#include "settings/Locations.h"
#include "settings/TextForms.h"

namespace pagelet {

std::u16string SettingsFilePath() { return SettingsDir + kSettingsFileName; }

std::u16string ReadSettingText(const TSettingKey& key, const std::u16string& iniPath) {
    return ReadIniString(kOptionsSection, key.Name, key.DefaultText, iniPath);
}

bool ReadBoolSetting(const TSettingKey& key, const std::u16string& iniPath) {
    return ReadBoolText(ReadSettingText(key, iniPath), key.Fallback != 0);
}

int32_t ReadIntSetting(const TSettingKey& key, const std::u16string& iniPath) {
    return ReadIntText(ReadSettingText(key, iniPath), key.Fallback);
}

void WriteSetting(const TSettingKey& key, const std::u16string& value, const std::u16string& iniPath) {
    WriteIniString(kOptionsSection, key.Name, value, iniPath);
}

TLoadSettings ReadLoadSettings(const std::u16string& iniPath) {
    TLoadSettings settings;
    settings.MSWord = ReadBoolSetting(kMSWord, iniPath);
    settings.Printable = ReadBoolSetting(kPrintable, iniPath);
    settings.CP = ReadIntSetting(kCP, iniPath);
    settings.ForceCP = ReadBoolSetting(kForceCP, iniPath);
    return settings;
}

}  // namespace pagelet
