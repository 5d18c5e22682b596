#pragma once

// The process-wide text of the document being loaded, as lines without line ends.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace pagelet {

class TDocumentText {
public:
    void Clear() { lines_.clear(); }
    // Clears, then cuts text into lines: CR, LF and CR LF each end a line; a
    // line end at the very end adds no empty line; NUL characters are dropped.
    void SetText(std::u16string_view text);
    // Reads a whole file, decodes it by its byte-order mark (UTF-8, UTF-16LE,
    // UTF-16BE; none: the system ANSI code page) and sets the lines.
    // False when the file cannot be read.
    bool LoadFromFile(const std::u16string& fileName);
    // Every line followed by CR LF; an empty list gives the empty string.
    std::u16string WholeText() const;
    size_t Count() const { return lines_.size(); }
    const std::vector<std::u16string>& Lines() const { return lines_; }

private:
    std::vector<std::u16string> lines_;
};

// Created at library load, destroyed (after being set to null) at unload.
extern TDocumentText* DocumentText;

void ClearDocumentText();

// Library start and end of the loading module.
void LoadingModuleInit();
void LoadingModuleDone();

}  // namespace pagelet
