#include "viewer/PairIndex.h"

#include <algorithm>

namespace pagelet {

namespace {

bool IsHigh(char16_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool IsLow(char16_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

}  // namespace

void TPairIndex::Clear() {
    pairs_.clear();
    size_ = 0;
    afterHigh_ = false;
}

void TPairIndex::Append(std::u16string_view part) {
    for (size_t i = 0; i < part.size(); ++i) {
        if (afterHigh_ && IsLow(part[i])) pairs_.push_back(size_ + i - 1);
        afterHigh_ = IsHigh(part[i]);
    }
    size_ += part.size();
}

size_t TPairIndex::CharOf(size_t offset) const {
    offset = std::min(offset, size_);
    // Each pair that starts before the offset is one character less; an
    // offset inside a pair so comes to the pair's own character.
    const auto before = std::lower_bound(pairs_.begin(), pairs_.end(), offset);
    return offset - static_cast<size_t>(before - pairs_.begin());
}

size_t TPairIndex::OffsetOf(size_t character) const {
    // Pair k (text offset p) starts at character p - k, and those grow with k.
    size_t lo = 0, hi = pairs_.size();
    while (lo < hi) {
        const size_t mid = (lo + hi) / 2;
        if (pairs_[mid] - mid < character)
            lo = mid + 1;
        else
            hi = mid;
    }
    return std::min(character + lo, size_);
}

}  // namespace pagelet
