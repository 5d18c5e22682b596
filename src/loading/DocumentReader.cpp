#include "loading/DocumentReader.h"

#include <filesystem>
#include <string_view>
#include <system_error>

#include "converter/PrintableFilter.h"
#include "loading/HtmlReader.h"
#include "loading/ReadingLayout.h"
#include "loading/RtfReader.h"
#include "loading/TextFileReader.h"
#include "loading/WordMl.h"

namespace pagelet {

namespace {

// The streams a Word document is read from.
constexpr std::u16string_view kWordStreams[] = {u"WordDocument", u"0Table", u"1Table"};

// A compound file with a Word FIB.
std::unique_ptr<TDocumentReader> OpenWordFile(const std::u16string& fileName, const TReaderOptions& options) {
    if (!StorageIsCompoundFile(fileName)) return nullptr;
    return OpenWordReader(StorageOpen(fileName, kWordStreams), options.cp, options.forceCP, options.reading);
}

// The readers, asked in order: the first that knows the file reads it.
using TOpenReader = std::unique_ptr<TDocumentReader> (*)(const std::u16string&, const TReaderOptions&);
// Plain text comes last: it is what a text file that is none of the others is.
constexpr TOpenReader kReaders[] = {OpenWordFile, OpenEncryptedPackage, OpenWordPackage, OpenRtfFile,
                                    OpenWordXml, OpenHtmlFile, OpenTextFile};

// The sink's parts through the printable filter.
class TPrintableSink final : public TTextSink {
public:
    explicit TPrintableSink(TTextSink& sink) : sink_(sink) {}
    void Expect(size_t units) override { sink_.Expect(units); }
    void Append(std::u16string_view text) override {
        part_.assign(text);
        FilterPrintableInPlace(part_);
        if (!part_.empty()) sink_.Append(part_);
    }
    bool Cancelled() const override { return sink_.Cancelled(); }

private:
    TTextSink& sink_;
    std::u16string part_;
};

}  // namespace

std::unique_ptr<TDocumentReader> OpenDocumentReader(const std::u16string& fileName, const TReaderOptions& options) {
    std::error_code ec;
    if (!std::filesystem::is_regular_file(std::filesystem::path(fileName), ec)) return nullptr;
    for (TOpenReader open : kReaders) {
        if (open == OpenWordFile && !options.word) continue;
        if (auto reader = open(fileName, options)) return reader;
    }
    return nullptr;
}

TReadingResult ExtractReaderText(const std::u16string& fileName, int32_t cp, bool forceCP, bool printable,
                                 TTextSink& sink, const std::function<bool()>& full) {
    TReaderOptions options;
    options.cp = cp;
    options.forceCP = forceCP;
    options.word = false;
    auto reader = OpenDocumentReader(fileName, options);
    if (!reader) return TReadingResult::NotWord;
    TPrintableSink filtered(sink);
    TTextAssembler out(printable ? static_cast<TTextSink&>(filtered) : sink, full);
    // Only the Word reader falls back on a converter; these have none.
    return reader->Read(out) == TReadingResult::Done ? TReadingResult::Done : TReadingResult::NotWord;
}

}  // namespace pagelet
