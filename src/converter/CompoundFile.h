#pragma once

// Platform seam: compound files (OLE structured storage).
// Windows: ole32 (CompoundFile_win.cpp). Linux: the project's own reader of
// the Compound File Binary format (CompoundFile_posix.cpp).

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
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
// "OLE error %.8x" when there is none. On Windows the project's own reader
// vets the file before ole32 walks it (ole32 follows a loop, or links that a
// file cut short leaves as zeros, for ever): a damaged header, DIFAT, FAT or
// directory chain fails here, and so does a loop on the way to the root
// streams named in `streams` (as damaged, STG_E_DOCFILECORRUPT); damage on
// the way to a stream or in its chains fails that stream's open with the own
// reader's error, as on Linux.
TStoragePtr StorageOpen(const std::u16string& fileName, std::span<const std::u16string_view> streams = {});

// An open stream of the root storage, read from any offset.
class TStorageStream {
public:
    virtual ~TStorageStream() = default;
    virtual uint64_t Size() const = 0;
    // Copies up to n bytes from offset to dest and returns how many: fewer
    // only at the end of the stream. A read that fails throws EPagelet.
    virtual size_t ReadAt(uint64_t offset, void* dest, size_t n) = 0;
    // The whole stream's bytes when it is held in memory (Windows), so that
    // they need not be copied once more; nullptr when it is read from the file.
    virtual const uint8_t* Data() const { return nullptr; }
};

// How StorageOpenStream reads a stream on Windows. Whole: all of it when it
// is opened, so that a stream whose sectors cannot all be read fails there.
// OnDemand: only what ReadAt asks for, for a caller that needs only part of
// it (a damaged sector then fails the read that reaches it). The own reader
// checks the whole chain at the open and reads on demand either way.
enum class TStreamReading { Whole, OnDemand };

// The named stream of the root storage, or nullptr when there is none. A
// stream whose sectors cannot all be read fails here, as
// StorageReadStream does ("Stream read error" or the platform's error),
// when it is read whole.
std::unique_ptr<TStorageStream> StorageOpenStream(TStorage& storage, const std::u16string& streamName,
                                                  TStreamReading reading = TStreamReading::Whole);

// A whole copy of the named stream of the root storage, or nullopt when the
// root has no such stream. A read that fails throws EPagelet
// ("Stream read error" for a short read, else the platform's error).
std::optional<std::vector<uint8_t>> StorageReadStream(TStorage& storage, const std::u16string& streamName);

}  // namespace pagelet
