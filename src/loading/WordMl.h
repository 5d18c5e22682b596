#pragma once

// Readers of Word's XML formats: Word 2007+ packages (a zip, or its flat
// form in one XML document), Word 2003 XML documents, and the answer for an
// encrypted package. Internal to loading/: DocumentReader.cpp asks them in turn.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "loading/DocumentReader.h"

namespace pagelet {

// A compound file holding an "EncryptedPackage" stream (a Word 2007+
// package encrypted with a password): its reader says so.
std::unique_ptr<TDocumentReader> OpenEncryptedPackage(const std::u16string& fileName, const TReaderOptions& options);

// A zip holding "[Content_Types].xml", or an XML document whose root is a
// flat package (pkg:package).
std::unique_ptr<TDocumentReader> OpenWordPackage(const std::u16string& fileName, const TReaderOptions& options);

// An XML document whose root is Word 2003's w:wordDocument (or that names
// Word.Document in an mso-application instruction before its root).
std::unique_ptr<TDocumentReader> OpenWordXml(const std::u16string& fileName, const TReaderOptions& options);

// The message of the encrypted package's failure.
inline constexpr char16_t kEncryptedMessage[] = u"The document is encrypted with a password";

// Readers over bytes in memory, for the fuzz targets and tests: nullptr when
// the bytes are not of that format.
std::unique_ptr<TDocumentReader> WordPackageReader(std::vector<uint8_t> bytes);
std::unique_ptr<TDocumentReader> WordXmlReader(std::vector<uint8_t> bytes);

}  // namespace pagelet
