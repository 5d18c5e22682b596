#pragma once

// The reading layout: a Word document's text as its reader sees it, a
// second way through the same document beside the converter's own text. The
// Word reader here walks the document; the text assembler
// (loading/TextAssembler.h) makes the text of what it meets.
//
// Fields show their result, tables put each row on a line with its cells
// separated by tabs, list paragraphs get their numbers and bullets, note
// references their numbers, hidden and deleted text is left out, breaks end
// lines and no control character other than tab and the line end (LF) stays.
// The main text comes first; then, each under a heading line of its own and
// only when not empty, the footnotes, endnotes, comments, text boxes and
// headers and footers. 8-bit text is decoded in the code page it was
// written in (Word 97-2003: 1252; Word 6/95: by the run's font charset, else
// its language, else the system's ANSI code page); a forced code page wins.

#include <cstdint>
#include <functional>
#include <memory>

#include "converter/CompoundFile.h"
#include "converter/WordConverter.h"
#include "loading/DocumentReader.h"

namespace pagelet {

// The Word reader of an open compound file, having read its FIB; nullptr
// when the file holds no Word document the reader reads.
std::unique_ptr<TDocumentReader> OpenWordReader(TStoragePtr storage, int32_t cp, bool forceCP,
                                                TStreamReading reading);

// Lays out the document of an open compound file and hands the text to sink
// in parts; stops early when full() answers true. Throws "Invalid code page"
// for a forced code page the platform lacks, as the converter does, and
// read errors of the compound file.
// reading says how "WordDocument" is read on Windows: OnDemand suits a
// caller that wants only the first part of the text.
TReadingResult ExtractReadingLayout(TStorage& storage, int32_t cp, bool forceCP, TTextSink& sink,
                                    const std::function<bool()>& full, TStreamReading reading = TStreamReading::Whole);

// What one layout cost, for the checks that a document's cost stays in
// proportion to its size.
struct TReadingCost {
    uint64_t streamBytes = 0;  // of "WordDocument"
    uint64_t blockBytes = 0;   // of the property and story tables read
    uint64_t pageBytes = 0;    // of the FKP pages kept
    uint64_t units = 0;        // of text made
    uint64_t characters = 0;   // of the stories walked
};
TReadingResult ExtractReadingLayout(TStorage& storage, int32_t cp, bool forceCP, TTextSink& sink,
                                    const std::function<bool()>& full, TStreamReading reading, TReadingCost& cost);

// Makes converter give the reading layout (on) or its plain text (off).
void UseReadingLayout(TWordConverter& converter, bool on);

}  // namespace pagelet
