#include "viewer/LineEndIndex.h"

#include <algorithm>

namespace pagelet {

void TLineEndIndex::Clear() {
    lfs_.clear();
    size_ = 0;
    afterCr_ = false;
}

void TLineEndIndex::Append(std::u16string_view part) {
    for (size_t i = 0; i < part.size(); ++i) {
        const char16_t c = part[i];
        if (c == u'\n' && afterCr_) lfs_.push_back(size_ + i);
        afterCr_ = c == u'\r';
    }
    size_ += part.size();
}

size_t TLineEndIndex::PositionOf(size_t offset) const {
    // Every LF before the offset is folded into its CR.
    const auto before = std::lower_bound(lfs_.begin(), lfs_.end(), offset);
    return offset - static_cast<size_t>(before - lfs_.begin());
}

size_t TLineEndIndex::OffsetOf(size_t position) const {
    // The LFs whose CR stands before the position: the i-th LF (from 0) at
    // offset L has its CR at position L - 1 - i, which grows with i.
    size_t low = 0, high = lfs_.size();
    while (low < high) {
        const size_t mid = low + (high - low) / 2;
        if (lfs_[mid] - 1 - mid < position)
            low = mid + 1;
        else
            high = mid;
    }
    return position + low;
}

}  // namespace pagelet
