#pragma once

// UTF-16 code units from bytes, for the code pages 1200 (little-endian) and
// 1201 (big-endian), which both platforms pass through as they stand; an odd
// last byte is dropped.
#include <cstddef>
#include <cstdint>
#include <string>

namespace pagelet {

inline std::u16string DecodeUtf16Bytes(const uint8_t* data, size_t size, bool bigEndian) {
    std::u16string out(size / 2, u'\0');
    for (size_t i = 0; i < out.size(); ++i) {
        uint8_t lo = data[2 * i + (bigEndian ? 1 : 0)], hi = data[2 * i + (bigEndian ? 0 : 1)];
        out[i] = static_cast<char16_t>(lo | hi << 8);
    }
    return out;
}

}  // namespace pagelet
