#pragma once

// Platform seam: compound files (OLE structured storage).
// Windows: ole32 (CompoundFile_win.cpp). Linux: the project's own reader of
// the Compound File Binary format (CompoundFile_posix.cpp).

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace pagelet {

class TStorage;  // an open compound file; defined by each platform file
struct TStorageCloser {
    void operator()(TStorage* storage) const noexcept;  // releases the storage
};
using TStoragePtr = std::unique_ptr<TStorage, TStorageCloser>;

// True only when the file is a compound file (StgIsStorageFile answers S_OK).
// Any failure, a missing file included, is "not a compound file".
bool StorageIsCompoundFile(const std::u16string& fileName);

// Opens the file read-only, denying writers. Throws EPagelet carrying the
// platform code; the message is the platform's text for it, or
// "OLE error %.8x" when there is none.
TStoragePtr StorageOpen(const std::u16string& fileName);

// A whole copy of the named stream of the root storage, or nullopt when the
// root has no such stream. A read that fails throws EPagelet
// ("Stream read error" for a short read, else the platform's error).
std::optional<std::vector<uint8_t>> StorageReadStream(TStorage& storage, const std::u16string& streamName);

}  // namespace pagelet
