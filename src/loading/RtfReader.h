#pragma once

// The RTF reader: a file that begins with "{\rtf" (after white space or a
// UTF-8 byte-order mark), whatever its name, read as the Word reader reads a
// Word document. Groups and control words are walked by a small state
// machine over the file's bytes; the main text goes out as it comes, and the
// notes, comments, text boxes and headers and footers are walked after it,
// each group once more, in the story the assembler writes them in.
//
// 8-bit text is decoded in the code page of the run's font (its \cpg, or
// that of its \fcharset), else in the document's (\ansicpg, \mac, \pc,
// \pca); text whose code page the file does not name (neither, under a
// bare \ansi) is decoded in the forced code page when one is forced, else
// in the system's ANSI code page.

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "loading/DocumentReader.h"

namespace pagelet {

// Whether the bytes (the file's first ones) begin an RTF file.
bool LooksLikeRtf(std::span<const uint8_t> head);

// The reader of RTF bytes; nullptr when they are no RTF.
std::unique_ptr<TDocumentReader> OpenRtfReader(std::vector<uint8_t> bytes, int32_t cp, bool forceCP);

// The reader of an RTF file; nullptr when the file is no RTF. Throws
// EPagelet when it cannot be read.
std::unique_ptr<TDocumentReader> OpenRtfFile(const std::u16string& fileName, const TReaderOptions& options);

}  // namespace pagelet
