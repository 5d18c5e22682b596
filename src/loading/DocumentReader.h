#pragma once

// Document readers: each turns a file of one format into the events of the
// text assembler (loading/TextAssembler.h), which makes the reading layout's
// text of them. The Word reader (loading/ReadingLayout.h) reads Word
// 97-2003 and Word 6/95 documents; OpenDocumentReader picks the reader for a
// file by what the file holds, whatever its name.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "converter/CompoundFile.h"
#include "converter/WordConverter.h"
#include "loading/TextAssembler.h"

namespace pagelet {

using TReadingResult = TStageResult;

class TDocumentReader {
public:
    virtual ~TDocumentReader() = default;
    // Hands the document's events to out, in reading order, and stops once
    // out has stopped. Done when the text is made; Fallback, before any text,
    // for a document this reader cannot lay out (its caller shows the
    // converter's plain text instead). Throws EPagelet for read errors and,
    // as the converter does, "Invalid code page" for a forced code page the
    // platform lacks.
    virtual TReadingResult Read(TTextAssembler& out) = 0;
};

// How a reader decodes 8-bit text (cp, and whether it is forced) and reads
// its streams (on Windows: whole, or on demand for a caller that wants only
// the first part of the text).
struct TReaderOptions {
    int32_t cp = 0;
    bool forceCP = false;
    TStreamReading reading = TStreamReading::Whole;
    // false: a Word document is left to the converter (its raw text), only
    // the readers of the other formats are asked.
    bool word = true;
};

// The reader for what the file holds, with the file open; nullptr when no
// reader reads it (no such file, not a format the readers know). Throws
// EPagelet when a file of a known kind cannot be opened or read.
std::unique_ptr<TDocumentReader> OpenDocumentReader(const std::u16string& fileName, const TReaderOptions& options);

// The text of a file that no Word converter reads but another reader does
// (RTF, web pages, ...): for these there is no converter text, so the raw
// setting shows the reader's text as the reading one does. Hands the layout
// to sink in parts, through the printable filter when asked for, and stops
// when full() answers true. Done when the reader read the file (also when it
// shows nothing); NotWord when no reader other than the Word one knows the
// file. Throws EPagelet as Read does.
TReadingResult ExtractReaderText(const std::u16string& fileName, int32_t cp, bool forceCP, bool printable,
                                 TTextSink& sink, const std::function<bool()>& full);

}  // namespace pagelet
