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

// Clears DocumentText; false for a name that fails IsWordFileName; else loads
// the converter's text and answers whether there is at least one line. An
// error of the converter passes to the caller with DocumentText empty. With
// readingLayout, the text is the document's reading layout
// (loading/ReadingLayout.h) instead of the converter's plain text.
bool LoadWithConverter(const std::u16string& fileName, bool printable, int32_t cp, bool forceCP,
                       bool readingLayout = false);

// Microsoft Word automation (Windows); never throws. Elsewhere: false.
bool LoadWithMSWord(const std::u16string& fileName);

// The selection rule: exactly one loader runs, chosen by settings.MSWord.
// settings.ReadingLayout asks the converter loader for the reading layout;
// the Word loader's text stays as it is.
bool LoadDocument(const std::u16string& fileName, const TLoadSettings& settings);

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

// The load of a viewer: the selection rule of LoadDocument with the same
// answers (nullopt where LoadDocument answers false, the same exceptions),
// but the document comes back as a value. The reading layout's answer counts
// when it comes within layoutWait; otherwise the viewer is shown at once,
// without text or with what has come, and the rest comes to it as it is
// made (an error, or the end of a layout without text, as a line).
std::optional<TLoadedDocument> OpenDocument(const std::u16string& fileName, const TLoadSettings& settings,
                                            std::chrono::milliseconds layoutWait = kLayoutWait);

// Tests only: a layout that takes long. The hook runs on the reading
// layout's worker thread before it opens the document, with a question that
// turns true once the viewer no longer wants the text; it may hold the
// worker there. Each source takes the hook set when it is made. Returns the
// hook it replaces; an empty one for none.
using TLayoutWorkerHook = std::function<void(const std::function<bool()>& cancelled)>;
TLayoutWorkerHook LayoutWorkerHookForTest(TLayoutWorkerHook hook);

}  // namespace pagelet
