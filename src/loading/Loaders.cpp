#include "loading/Loaders.h"

#include <cstdint>

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

bool LoadWithConverter(const std::u16string& fileName, bool printable, int32_t cp, bool forceCP, bool readingLayout) {
    if (DocumentText == nullptr) throw EPagelet(u"The document text is not set up");
    DocumentText->Clear();
    if (!IsWordFileName(fileName)) return false;
    TWordConverter converter;
    converter.SetReadingLayout(readingLayout);
    TDocumentTextBuilder builder;
    // Not a Word document: nothing was delivered and the text stays empty.
    if (converter.ExtractText(fileName, printable, cp, forceCP, builder)) builder.Finish(*DocumentText);
    return DocumentText->Count() > 0;
}

bool LoadDocument(const std::u16string& fileName, const TLoadSettings& settings) {
    // Every load starts from an empty text, whichever loader runs and however it ends.
    ClearDocumentText();
    if (settings.MSWord) return LoadWithMSWord(fileName);
    return LoadWithConverter(fileName, settings.Printable, settings.CP, settings.ForceCP, settings.ReadingLayout);
}

namespace {

// The converter's text as the viewer asks for it, in DocumentText's form.
class TConverterTextSource final : public TTextSource, private TTextSink {
public:
    bool Open(const std::u16string& fileName, const TLoadSettings& settings) {
        converter_.SetReadingLayout(settings.ReadingLayout);
        return converter_.Open(fileName, settings.Printable, settings.CP, settings.ForceCP, *this);
    }
    bool Produce(std::u16string& text, size_t units) override {
        text += early_;
        early_.clear();
        out_ = &text;
        const bool more = converter_.DecodeMore(units);
        if (!more) normalizer_.Finish(text);
        out_ = nullptr;
        return more;
    }
    bool HasLine() const { return normalizer_.HasLine(); }
    // The converter's count, and room for the LF that each paragraph mark
    // gains (a short-paragraph text grows once more near its end).
    size_t ExpectedUnits() const override { return expected_ > SIZE_MAX / 2 ? 0 : expected_ + expected_ / 8; }

private:
    void Expect(size_t units) override { expected_ = units; }
    // The reading layout is made whole while the file is opened: what comes
    // then waits for the first Produce.
    void Append(std::u16string_view part) override { normalizer_.Append(out_ ? *out_ : early_, part); }

    TWordConverter converter_;
    TLineEndNormalizer normalizer_;
    std::u16string* out_ = nullptr;
    std::u16string early_;
    size_t expected_ = 0;
};

// Decoded before ListLoad returns: enough to know that the document has a
// line of text, and the first screen.
constexpr size_t kFirstUnits = 16 * 1024;

}  // namespace

std::optional<TLoadedDocument> OpenDocument(const std::u16string& fileName, const TLoadSettings& settings) {
    if (settings.MSWord) {
        if (!LoadDocument(fileName, settings)) return std::nullopt;
        TLoadedDocument document;
        document.Text = DocumentText->WholeText();
        return document;
    }
    // What decides whether the document can be shown runs now, with the
    // answers of LoadWithConverter; the pieces are decoded while it is shown.
    if (!IsWordFileName(fileName)) return std::nullopt;
    auto source = std::make_unique<TConverterTextSource>();
    if (!source->Open(fileName, settings)) return std::nullopt;
    TLoadedDocument document;
    bool more = true;
    // A text without a line is none to show: decoding goes on until one
    // comes (at once, in real documents) or the text ends.
    do {
        more = source->Produce(document.Text, kFirstUnits);
    } while (more && (!source->HasLine() || document.Text.size() < kFirstUnits));
    if (!source->HasLine()) return std::nullopt;
    if (more) document.Rest = std::move(source);
    return document;
}

}  // namespace pagelet
