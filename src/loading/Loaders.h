#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "loading/TextSource.h"
#include "settings/Settings.h"

namespace pagelet {

// ".DOC" or ".DOT" (ASCII letters in any case), the dot after the last "\"
// and ":" and not the first character.
bool IsWordFileName(std::u16string_view fileName);

// Clears DocumentText; false for a name that fails IsWordFileName; else loads
// the converter's text and answers whether there is at least one line. An
// error of the converter passes to the caller with DocumentText empty. With
// readingLayout, the text is the document's reading layout
// (loading/ReadingLayout.h) instead of the converter's plain text.
bool LoadWithConverter(const std::u16string& fileName, bool printable, int32_t cp, bool forceCP,
                       bool readingLayout = false);

// Microsoft Word automation (Windows); never throws. Elsewhere: false.
bool LoadWithMSWord(const std::u16string& fileName);

// The selection rule: exactly one loader runs, chosen by settings.MSWord.
// settings.ReadingLayout asks the converter loader for the reading layout;
// the Word loader's text stays as it is.
bool LoadDocument(const std::u16string& fileName, const TLoadSettings& settings);

// A document ready to be shown, handed to its viewer: the text so far (CR LF
// line ends) and, while the converter still decodes it, the rest.
struct TLoadedDocument {
    std::u16string Text;
    std::unique_ptr<TTextSource> Rest;
};

// The load of a viewer: the selection rule of LoadDocument with the same
// answers (nullopt where LoadDocument answers false, the same exceptions),
// but the document comes back as a value.
std::optional<TLoadedDocument> OpenDocument(const std::u16string& fileName, const TLoadSettings& settings);

}  // namespace pagelet
