#include "loading/FileBytes.h"

#include <fstream>
#include <iterator>

#include "common/Utf.h"

namespace pagelet {

bool ReadFileBytes(const std::u16string& fileName, std::vector<uint8_t>& bytes) {
    std::ifstream in(Utf16ToUtf8(fileName), std::ios::binary);
    if (!in) return false;
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
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
