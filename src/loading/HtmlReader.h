#pragma once

// The reader of web pages named .doc: HTML, and single-file web pages
// (MHTML: a MIME message whose first text/html part is the page).
//
// The page's encoding comes from its byte order mark, else the MIME part's
// charset, else a <meta> charset in its first 8 KB, else UTF-8 when the
// bytes are valid UTF-8, else the forced code page, else 1252. Markup is
// read by a small state machine of its own, in one pass without recursion:
// elements that show no text (head, script, style, comments and Word's
// conditional comments...) are left out, block elements and <br> end lines,
// tables become the assembler's rows (nested ones its nested rows), list
// items get a bullet or their number, white space folds outside <pre>,
// character references are decoded. Tables nest at most 32 deep and lists
// 32 deep (deeper ones read as the deepest kept), MIME multiparts 8 deep.

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "loading/DocumentReader.h"

namespace pagelet {

// Whether a file's first bytes look like a web page or a MIME message.
bool LooksLikeHtml(std::span<const uint8_t> head);
bool LooksLikeMime(std::span<const uint8_t> head);

// The reader of a file's bytes; nullptr when they hold no web page (also a
// MIME message without a text/html part).
std::unique_ptr<TDocumentReader> OpenHtmlReader(std::vector<uint8_t> bytes, const TReaderOptions& options);

// The same for a file: its first bytes tell, then it is read whole.
std::unique_ptr<TDocumentReader> OpenHtmlFile(const std::u16string& fileName, const TReaderOptions& options);

}  // namespace pagelet
