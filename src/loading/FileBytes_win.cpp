#include "loading/FileBytes.h"

#include <windows.h>

#include "common/Handles.h"
#include "common/Win32Text.h"

namespace pagelet {

bool ReadFileBytes(const std::u16string& fileName, std::vector<uint8_t>& bytes) {
    const TKernelHandle owner(CreateFileW(WStr(fileName), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                          FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!owner) return false;
    const HANDLE file = owner.Get();
    LARGE_INTEGER size;
    if (!GetFileSizeEx(file, &size) || size.QuadPart < 0 || static_cast<uint64_t>(size.QuadPart) > bytes.max_size() ||
        size.QuadPart > 0x7FFFFFFF) {
        return false;
    }
    bytes.assign(static_cast<size_t>(size.QuadPart), 0);
    size_t done = 0;
    while (done < bytes.size()) {
        DWORD read = 0;
        const DWORD chunk = static_cast<DWORD>(bytes.size() - done > 0x1000000 ? 0x1000000 : bytes.size() - done);
        if (!ReadFile(file, bytes.data() + done, chunk, &read, nullptr)) return false;
        if (read == 0) break;
        done += read;
    }
    bytes.resize(done);
    return true;
}

bool ReadFileHead(const std::u16string& fileName, size_t maxBytes, std::vector<uint8_t>& bytes) {
    const TKernelHandle owner(CreateFileW(WStr(fileName), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                          FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!owner) return false;
    bytes.assign(maxBytes, 0);
    size_t done = 0;
    while (done < bytes.size()) {
        DWORD read = 0;
        const DWORD chunk = static_cast<DWORD>(bytes.size() - done > 0x1000000 ? 0x1000000 : bytes.size() - done);
        if (!ReadFile(owner.Get(), bytes.data() + done, chunk, &read, nullptr)) return false;
        if (read == 0) break;
        done += read;
    }
    bytes.resize(done);
    return true;
}

}  // namespace pagelet
