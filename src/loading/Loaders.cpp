#include "loading/Loaders.h"

#include "common/Error.h"
#include "converter/WordConverter.h"
#include "loading/DocumentText.h"

namespace pagelet {

namespace {

bool SameAsciiUpper(char16_t c, char16_t upper) { return c == upper || c == static_cast<char16_t>(upper + 32); }

}  // namespace

bool IsWordFileName(std::u16string_view fileName) {
    const size_t dot = fileName.rfind(u'.');
    if (dot == std::u16string_view::npos || dot == 0) return false;
    const size_t lastSeparator = fileName.find_last_of(u"\\:");
    if (lastSeparator != std::u16string_view::npos && lastSeparator > dot) return false;
    const std::u16string_view extension = fileName.substr(dot);
    return extension.size() == 4 && SameAsciiUpper(extension[1], u'D') && SameAsciiUpper(extension[2], u'O') &&
           (SameAsciiUpper(extension[3], u'C') || SameAsciiUpper(extension[3], u'T'));
}

bool LoadWithConverter(const std::u16string& fileName, bool printable, int32_t cp, bool forceCP) {
    if (DocumentText == nullptr) throw EPagelet(u"The document text is not set up");
    DocumentText->Clear();
    if (!IsWordFileName(fileName)) return false;
    TWordConverter converter;
    TDocumentTextBuilder builder;
    // Not a Word document: nothing was delivered and the text stays empty.
    if (converter.ExtractText(fileName, printable, cp, forceCP, builder)) builder.Finish(*DocumentText);
    return DocumentText->Count() > 0;
}

bool LoadDocument(const std::u16string& fileName, const TLoadSettings& settings) {
    // Every load starts from an empty text, whichever loader runs and however it ends.
    ClearDocumentText();
    if (settings.MSWord) return LoadWithMSWord(fileName);
    return LoadWithConverter(fileName, settings.Printable, settings.CP, settings.ForceCP);
}

std::optional<TLoadedDocument> OpenDocument(const std::u16string& fileName, const TLoadSettings& settings) {
    if (!LoadDocument(fileName, settings)) return std::nullopt;
    TLoadedDocument document;
    document.Text = DocumentText->WholeText();
    return document;
}

}  // namespace pagelet
