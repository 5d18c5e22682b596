#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "settings/Settings.h"

namespace pagelet {

// ".DOC" or ".DOT" (ASCII letters in any case), the dot after the last "\"
// and ":" and not the first character.
bool IsWordFileName(std::u16string_view fileName);

// Clears DocumentText; false for a name that fails IsWordFileName; else loads
// the converter's text and answers whether there is at least one line. An
// error of the converter passes to the caller with DocumentText empty.
bool LoadWithConverter(const std::u16string& fileName, bool printable, int32_t cp, bool forceCP);

// Microsoft Word automation (Windows); never throws. Elsewhere: false.
bool LoadWithMSWord(const std::u16string& fileName);

// The selection rule: exactly one loader runs, chosen by settings.MSWord.
bool LoadDocument(const std::u16string& fileName, const TLoadSettings& settings);

}  // namespace pagelet
