#pragma once

// A document's text as lines: one string in which every line ends with
// CR LF. The loading module holds one process-wide DocumentText from library
// load to unload; a viewer never reads its text from there: OpenDocument
// (loading/Loaders.h) hands each viewer its own as a value.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "converter/WordConverter.h"

namespace pagelet {

class TDocumentText;

// The form of TDocumentText's text, made as parts arrive: CR, LF and CR LF
// each end a line and become CR LF (also when a CR LF is split between two
// parts), NUL characters are dropped, Finish ends an open last line.
class TLineEndNormalizer {
public:
    void Append(std::u16string& out, std::u16string_view part);
    void Finish(std::u16string& out);
    // Lines ended so far.
    size_t Lines() const { return lines_; }
    // True once any character other than NUL came: the text has a line.
    bool HasLine() const { return lines_ > 0 || lineOpen_; }

private:
    size_t lines_ = 0;
    bool afterCr_ = false;
    bool lineOpen_ = false;
};

// Builds a document text as its parts arrive, in the form TDocumentText
// holds: CR, LF and CR LF each end a line and become CR LF (also when a CR LF
// is split between two parts), NUL characters are dropped, and Finish ends
// an open last line. The text is written once, with no second copy.
class TDocumentTextBuilder final : public TTextSink {
public:
    void Expect(size_t units) override;
    void Append(std::u16string_view part) override;
    // Hands the text over to target, replacing what it held.
    void Finish(TDocumentText& target);

private:
    std::u16string text_;
    TLineEndNormalizer normalizer_;
};

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
    const std::u16string& WholeText() const { return text_; }
    // Hands the whole text over, leaving the list empty.
    std::u16string TakeText();
    size_t Count() const { return count_; }
    // The lines without their ends (a copy, made on each call).
    std::vector<std::u16string> Lines() const;

private:
    friend class TDocumentTextBuilder;

    std::u16string text_;
    size_t count_ = 0;
};

// Created at library load, destroyed (after being set to null) at unload.
// No load fills it: loaders hand their text over as a value.
extern TDocumentText* DocumentText;

void ClearDocumentText();

// Library start and end of the loading module.
void LoadingModuleInit();
void LoadingModuleDone();

}  // namespace pagelet
