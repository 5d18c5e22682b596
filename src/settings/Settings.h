#pragma once

// The settings file "Pagelet.ini": its section, keys, default texts and fallbacks.

#include <cstdint>
#include <string>

#include "settings/TextForms.h"

namespace pagelet {

inline constexpr char16_t kSettingsFileName[] = u"Pagelet.ini";
inline constexpr char16_t kOptionsSection[] = u"Options";

struct TSettingKey {
    const char16_t* Name;
    const char16_t* DefaultText;  // given to the read when the key is missing
    int32_t Fallback;             // when the text is no valid value (booleans: 0 or 1)
};

inline constexpr TSettingKey kTextFont{u"TextFont", u"Tahoma,10,0,0", 0};
inline constexpr TSettingKey kBackColor{u"BackColor", u"16777215", 16777215};
inline constexpr TSettingKey kMSWord{u"MSWord", u"0", 0};
inline constexpr TSettingKey kPrintable{u"Printable", u"0", 0};
inline constexpr TSettingKey kCP{u"CP", u"1251", 1251};
inline constexpr TSettingKey kForceCP{u"ForceCP", u"0", 0};
// The reading layout (fields' results, tables as rows, list numbers, notes)
// instead of the converter's own text. On Windows off unless set (the host's
// check sees the converter's text); on Linux on unless set.
#ifdef _WIN32
inline constexpr TSettingKey kReadingLayout{u"ReadingLayout", u"0", 0};
#else
inline constexpr TSettingKey kReadingLayout{u"ReadingLayout", u"1", 1};
#endif

// Whether the Linux viewers wrap their lines when the host does not ask (on
// unless set): their context menu's "Word wrap" switches and saves it.
inline constexpr TSettingKey kWordWrap{u"WordWrap", u"1", 1};

// SettingsDir followed by "Pagelet.ini", formed at the moment of use.
std::u16string SettingsFilePath();

std::u16string ReadSettingText(const TSettingKey& key, const std::u16string& iniPath);
bool ReadBoolSetting(const TSettingKey& key, const std::u16string& iniPath);
int32_t ReadIntSetting(const TSettingKey& key, const std::u16string& iniPath);

// The settings read at every load, in this order: MSWord, Printable, CP,
// ForceCP, ReadingLayout.
struct TLoadSettings {
    bool MSWord = false;
    bool Printable = false;
    int32_t CP = 1251;
    bool ForceCP = false;
    bool ReadingLayout = false;
};
TLoadSettings ReadLoadSettings(const std::u16string& iniPath);

// Everything the options dialog shows and saves: the viewer's font and
// background, and the load settings.
struct TViewerOptions {
    TFontSpec Font;
    int32_t BackColor = 16777215;
    TLoadSettings Load;
};
// All seven keys; the font and background as FormCreate reads them.
TViewerOptions ReadViewerOptions(const std::u16string& iniPath);
// All seven keys, every time, in the order TextFont, BackColor, MSWord,
// Printable, CP, ForceCP, ReadingLayout.
void WriteViewerOptions(const TViewerOptions& options, const std::u16string& iniPath);

}  // namespace pagelet
