#include "loading/DocumentReader.h"

#include <filesystem>
#include <string_view>
#include <system_error>

#include "loading/ReadingLayout.h"
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
constexpr TOpenReader kReaders[] = {OpenWordFile, OpenEncryptedPackage, OpenWordPackage, OpenWordXml};

}  // namespace

std::unique_ptr<TDocumentReader> OpenDocumentReader(const std::u16string& fileName, const TReaderOptions& options) {
    std::error_code ec;
    if (!std::filesystem::is_regular_file(std::filesystem::path(fileName), ec)) return nullptr;
    for (TOpenReader open : kReaders) {
        if (auto reader = open(fileName, options)) return reader;
    }
    return nullptr;
}

}  // namespace pagelet
