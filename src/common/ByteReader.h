#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>

namespace pagelet {

// Little-endian values at a place the caller has already checked.
inline uint16_t LoadU16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }
inline uint32_t LoadU32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
           static_cast<uint32_t>(p[3]) << 24;
}

// Checked little-endian reads over (pointer, size). Every structure read
// from a file goes through here: a read that would pass the end fails,
// returns false and does not move the position.
class TByteReader {
public:
    TByteReader() = default;
    TByteReader(const uint8_t* data, size_t size) : data_(data), size_(size) {}
    explicit TByteReader(std::span<const uint8_t> bytes) : data_(bytes.data()), size_(bytes.size()) {}

    size_t Size() const { return size_; }
    uint64_t Position() const { return pos_; }
    // Any position is allowed, also beyond the end; reads there fail.
    void Seek(uint64_t pos) { pos_ = pos; }
    uint64_t Remaining() const { return pos_ < size_ ? size_ - pos_ : 0; }

    bool ReadU8(uint8_t& v) { return ReadLE(v); }
    bool ReadU16(uint16_t& v) { return ReadLE(v); }
    bool ReadU32(uint32_t& v) { return ReadLE(v); }
    bool ReadU64(uint64_t& v) { return ReadLE(v); }
    bool ReadI16(int16_t& v) {
        uint16_t u;
        if (!ReadLE(u)) return false;
        v = static_cast<int16_t>(u);
        return true;
    }
    bool ReadI32(int32_t& v) {
        uint32_t u;
        if (!ReadLE(u)) return false;
        v = static_cast<int32_t>(u);
        return true;
    }

    // A view of the next n bytes, or an empty span (and no move) when fewer remain.
    bool ReadBytes(uint64_t n, std::span<const uint8_t>& out) {
        if (n > Remaining()) return false;
        out = {data_ + pos_, static_cast<size_t>(n)};
        pos_ += n;
        return true;
    }

    // Reads at an absolute offset without touching the position.
    template <typename T>
    bool PeekAt(uint64_t offset, T& v) const {
        if (offset > size_ || size_ - offset < sizeof(T)) return false;
        v = Decode<T>(data_ + offset);
        return true;
    }

    // Reads for formats that define a field cut short by the end as read
    // with zeros: the bytes that are there are read, the missing ones read as
    // zero, and the position moves over the bytes that are there only.
    template <typename T>
    T ReadZeroFilled() {
        const T v = PeekZeroFilled<T>(pos_);
        pos_ += std::min<uint64_t>(sizeof(T), Remaining());
        return v;
    }
    template <typename T>
    T PeekZeroFilled(uint64_t offset) const {
        if (offset <= size_ && size_ - offset >= sizeof(T)) return Decode<T>(data_ + offset);
        T v = 0;
        for (uint64_t i = 0; offset < size_ && i < size_ - offset && i < sizeof(T); ++i)
            v |= static_cast<T>(static_cast<T>(data_[offset + i]) << (8 * i));
        return v;
    }
    // Moves over up to n bytes, as far as the end.
    void SkipUpTo(uint64_t n) { pos_ += std::min(n, Remaining()); }

private:
    template <typename T>
    static T Decode(const uint8_t* p) {
        T v = 0;
        for (size_t i = 0; i < sizeof(T); ++i) v |= static_cast<T>(static_cast<T>(p[i]) << (8 * i));
        return v;
    }

    template <typename T>
    bool ReadLE(T& v) {
        if (sizeof(T) > Remaining()) return false;
        v = Decode<T>(data_ + pos_);
        pos_ += sizeof(T);
        return true;
    }

    const uint8_t* data_ = nullptr;
    size_t size_ = 0;
    uint64_t pos_ = 0;
};

}  // namespace pagelet
