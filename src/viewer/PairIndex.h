#pragma once

// For a widget that counts characters, not UTF-16 code units, as a
// GtkTextBuffer does: where the surrogate pairs of the text it was given lie,
// to turn text offsets into its character offsets and back.

#include <cstddef>
#include <string_view>
#include <vector>

namespace pagelet {

class TPairIndex {
public:
    void Clear();
    // Takes the next part of the text (a pair may be split between parts).
    void Append(std::u16string_view part);
    size_t Size() const { return size_; }
    // The character offset of a text offset (one inside a pair: the pair's),
    // at most that of the end of the text taken so far.
    size_t CharOf(size_t offset) const;
    // The text offset of a character offset.
    size_t OffsetOf(size_t character) const;

private:
    std::vector<size_t> pairs_;  // offsets of the first halves of the pairs
    size_t size_ = 0;
    bool afterHigh_ = false;
};

}  // namespace pagelet
