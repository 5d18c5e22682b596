#pragma once

// For a widget that counts a line end (CR LF) as one position, as a rich-edit
// control does: where the line ends of the text it was given lie, to turn
// text offsets into its positions and back.

#include <cstddef>
#include <string_view>
#include <vector>

namespace pagelet {

class TLineEndIndex {
public:
    void Clear();
    // Takes the next part of the text (CR LF may be split between parts).
    void Append(std::u16string_view part);
    size_t Size() const { return size_; }
    // The widget's position of a text offset (one inside CR LF: the LF's).
    size_t PositionOf(size_t offset) const;
    // The text offset of a widget position.
    size_t OffsetOf(size_t position) const;

private:
    std::vector<size_t> lfs_;  // offsets of the LFs that follow a CR
    size_t size_ = 0;
    bool afterCr_ = false;
};

}  // namespace pagelet
