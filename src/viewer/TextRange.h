#pragma once

#include <cstddef>

namespace pagelet {

// A range of the document text in UTF-16 code units (a line end, CR LF,
// counts two): Start <= End.
struct TTextRange {
    size_t Start = 0;
    size_t End = 0;
    bool operator==(const TTextRange&) const = default;
};

}  // namespace pagelet
