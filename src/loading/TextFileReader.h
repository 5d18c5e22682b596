#pragma once

// The reader of plain text named .doc: a file that no other reader knows
// and that holds text. Its encoding comes from its byte order mark (UTF-8,
// UTF-16 little- or big-endian), else UTF-8 when its bytes are valid UTF-8,
// else the forced code page, else the system's ANSI code page; each line is
// a paragraph. A file with NUL bytes (but for UTF-16 with its mark) or other
// control characters than tab, CR, LF and form feed is no text, nor is one
// that shows nothing.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "loading/DocumentReader.h"

namespace pagelet {

// The reader of a file's bytes; nullptr when they hold no text.
std::unique_ptr<TDocumentReader> OpenTextReader(std::vector<uint8_t> bytes, const TReaderOptions& options);

// The same for a file: its first bytes are looked at before it is read whole.
std::unique_ptr<TDocumentReader> OpenTextFile(const std::u16string& fileName, const TReaderOptions& options);

}  // namespace pagelet
