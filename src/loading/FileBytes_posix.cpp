#include "loading/FileBytes.h"

#include <fstream>

#include "common/Utf.h"

namespace pagelet {

bool ReadFileBytes(const std::u16string& fileName, std::vector<uint8_t>& bytes) {
    std::ifstream in(Utf16ToUtf8(fileName), std::ios::binary);
    if (!in) return false;
    // In blocks, not a byte at a time; the size is not asked for (a pipe has none).
    constexpr size_t kBlock = 1 << 20;
    bytes.clear();
    for (;;) {
        const size_t at = bytes.size();
        bytes.resize(at + kBlock);
        in.read(reinterpret_cast<char*>(bytes.data() + at), static_cast<std::streamsize>(kBlock));
        bytes.resize(at + static_cast<size_t>(in.gcount()));
        if (!in) break;
    }
    return !in.bad();
}

bool ReadFileHead(const std::u16string& fileName, size_t maxBytes, std::vector<uint8_t>& bytes) {
    std::ifstream in(Utf16ToUtf8(fileName), std::ios::binary);
    if (!in) return false;
    bytes.assign(maxBytes, 0);
    in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(maxBytes));
    bytes.resize(static_cast<size_t>(in.gcount()));
    return !in.bad();
}

}  // namespace pagelet
