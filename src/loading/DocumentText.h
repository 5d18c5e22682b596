#pragma once

// The process-wide text of the document being loaded: one string in which
// every line ends with CR LF, shared with the viewers that show it.

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace pagelet {

class TDocumentText {
public:
    void Clear();
    // Clears, then takes text: CR, LF and CR LF each end a line and become
    // CR LF; a last line without an end gets one; NUL characters are dropped.
    void SetText(std::u16string_view text);
    // Reads a whole file, decodes it by its byte-order mark (UTF-8, UTF-16LE,
    // UTF-16BE; none: the system ANSI code page) and sets the lines.
    // False when the file cannot be read.
    bool LoadFromFile(const std::u16string& fileName);
    // Every line followed by CR LF; an empty list gives the empty string.
    const std::u16string& WholeText() const { return *text_; }
    // The same string, for a viewer that keeps it after the next load.
    std::shared_ptr<const std::u16string> SharedText() const { return text_; }
    size_t Count() const { return count_; }
    // The lines without their ends (a copy, made on each call).
    std::vector<std::u16string> Lines() const;

private:
    std::shared_ptr<const std::u16string> text_ = std::make_shared<const std::u16string>();
    size_t count_ = 0;
};

// Created at library load, destroyed (after being set to null) at unload.
extern TDocumentText* DocumentText;

void ClearDocumentText();

// Library start and end of the loading module.
void LoadingModuleInit();
void LoadingModuleDone();

}  // namespace pagelet
