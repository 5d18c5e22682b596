#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "loading/TextSource.h"
#include "settings/Settings.h"

namespace pagelet {

// ".DOC" or ".DOT" (ASCII letters in any case), the dot after the last "\"
// and ":" and not the first character.
bool IsWordFileName(std::u16string_view fileName);

// Microsoft Word automation (Windows): the document's text as Word saves it,
// in the form of TDocumentText's whole text (every line followed by CR LF);
// nullopt when the name fails IsWordFileName or Word could not export it.
// Never throws. Elsewhere: always nullopt.
std::optional<std::u16string> LoadWithMSWord(const std::u16string& fileName);

// A document ready to be shown, handed to its viewer: the text so far (CR LF
// line ends) and, while the converter still decodes it, the rest.
struct TLoadedDocument {
    std::u16string Text;
    std::unique_ptr<TTextSource> Rest;
};

// The longest the load of a viewer waits for the reading layout's first
// part (the layout is made on a thread of its own): a small part of the
// 100 ms that ListLoad may take, the window's making being the rest.
inline constexpr std::chrono::milliseconds kLayoutWait{20};

// The load of a viewer: exactly one loader runs, chosen by settings.MSWord,
// and the document comes back as a value. nullopt when it cannot be shown: a
// name that fails IsWordFileName, the converter's text without a line, or
// the Word loader's failure (Word's text without a line is shown). The
// converter's errors pass to the caller; those met after the first part
// come through Rest. settings.ReadingLayout asks the
// converter for the reading layout; the Word loader's text stays as it is.
// A file that is no Word document but one a document reader reads (RTF, a
// web page, ...) shows the reader's text with the layout on and off alike.
// The reading layout's answer counts when it comes within layoutWait;
// otherwise the viewer is shown at once, without text or with what has
// come, and the rest comes to it as it is made (an error, or the end of a
// layout without text, as a line).
std::optional<TLoadedDocument> OpenDocument(const std::u16string& fileName, const TLoadSettings& settings,
                                            std::chrono::milliseconds layoutWait = kLayoutWait);

// The whole text of an opened document: its first part and the rest, waiting
// as long as the rest takes to come. For callers that want the text rather
// than a viewer; the rest's errors pass.
std::u16string ReadWholeText(TLoadedDocument document);

// Tests only: a layout that takes long. The hook runs on the reading
// layout's worker thread before it opens the document, with a question that
// turns true once the viewer no longer wants the text; it may hold the
// worker there. Each source takes the hook set when it is made. Returns the
// hook it replaces; an empty one for none.
using TLayoutWorkerHook = std::function<void(const std::function<bool()>& cancelled)>;
TLayoutWorkerHook LayoutWorkerHookForTest(TLayoutWorkerHook hook);

}  // namespace pagelet
