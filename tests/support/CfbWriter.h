#pragma once

// Test-only writer of Compound File Binary files ([MS-CFB]), so that tests
// can build documents in memory and hand them to the storage layer (our own
// reader on Linux, ole32 on Windows).

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace pagelet {

struct TCfbStream {
    std::u16string Name;  // at most 31 UTF-16 code units
    std::vector<uint8_t> Data;
    // Empty: the stream lies in the root storage. Otherwise it lies in a
    // storage of that name below the root (created once per name).
    std::u16string Storage;
};

struct TCfbOptions {
    int MajorVersion = 3;  // 3: 512-byte sectors; 4: 4096-byte sectors
    // Pads the FAT with free sectors until it needs more than the header's
    // 109 DIFAT entries, so that the file carries a DIFAT sector even when
    // its content is small.
    bool ForceDifat = false;
    uint32_t MinFatSectors = 0;  // pads the FAT to at least this many sectors
};

// A valid compound file holding the streams: those below 4096 bytes in the
// mini stream, the others in regular sectors; DIFAT sectors when the FAT
// has more than 109 sectors. The directory is a sorted, balanced red-black
// tree per storage. Throws std::invalid_argument for a bad name or version.
std::vector<uint8_t> BuildCompoundFile(const std::vector<TCfbStream>& streams, const TCfbOptions& options = {});

// A compound file whose header claims a FAT far larger than it stores: the
// FAT sectors of `file` (a version 3 file whose FAT fits the header, as
// BuildCompoundFile makes for small content) are followed by `extraFatSectors`
// more, listed through DIFAT sectors appended to the file. With `repeat` every
// extra one is the file's first FAT sector again; otherwise they are distinct
// sectors beyond the stored bytes, which read as zeros in a file of
// `apparentSize` bytes (sparse on disk when extended with ftruncate). Returns
// the stored bytes. Throws std::invalid_argument when the sectors do not fit
// below apparentSize.
std::vector<uint8_t> BuildClaimedFatFile(const std::vector<uint8_t>& file, uint32_t extraFatSectors,
                                         uint64_t apparentSize, bool repeat);

// Where the header's fields and the directory lie, so that tests can break
// one of them on purpose.
namespace cfb {
constexpr size_t kOffMajorVersion = 0x1A;
constexpr size_t kOffSectorShift = 0x1E;
constexpr size_t kOffMiniSectorShift = 0x20;
constexpr size_t kOffNumDirSectors = 0x28;
constexpr size_t kOffNumFatSectors = 0x2C;
constexpr size_t kOffFirstDirSector = 0x30;
constexpr size_t kOffMiniStreamCutoff = 0x38;
constexpr size_t kOffFirstMiniFatSector = 0x3C;
constexpr size_t kOffNumMiniFatSectors = 0x40;
constexpr size_t kOffFirstDifatSector = 0x44;
constexpr size_t kOffNumDifatSectors = 0x48;
constexpr size_t kOffDifat = 0x4C;
constexpr size_t kDirEntrySize = 128;
constexpr size_t kOffEntryNameLength = 0x40;
constexpr size_t kOffEntryType = 0x42;
constexpr size_t kOffEntryLeft = 0x44;
constexpr size_t kOffEntryRight = 0x48;
constexpr size_t kOffEntryChild = 0x4C;
constexpr size_t kOffEntryStart = 0x74;
constexpr size_t kOffEntrySize = 0x78;
}  // namespace cfb

uint32_t GetLE32(const std::vector<uint8_t>& bytes, size_t offset);
void PutLE32(std::vector<uint8_t>& bytes, size_t offset, uint32_t value);
void PutLE16(std::vector<uint8_t>& bytes, size_t offset, uint16_t value);

// File offset of a regular sector of a built file (its header fixes the sector size).
size_t CfbSectorOffset(const std::vector<uint8_t>& file, uint32_t sector);
// File offset of directory entry `index` (the directory chain of a built file
// is contiguous).
size_t CfbDirEntryOffset(const std::vector<uint8_t>& file, uint32_t index);
// Index of the directory entry with this exact name; throws when absent.
uint32_t CfbFindEntry(const std::vector<uint8_t>& file, std::u16string_view name);

// A file in the temporary directory, removed again on destruction. The
// suffix (UTF-8) ends the file's name.
class TTempFile {
public:
    explicit TTempFile(const std::vector<uint8_t>& bytes, std::string_view suffix = ".doc");
    ~TTempFile();
    TTempFile(const TTempFile&) = delete;
    TTempFile& operator=(const TTempFile&) = delete;

    // The file's path in the form the storage and converter functions take.
    const std::u16string& Path() const { return path_; }

private:
    std::u16string path_;
};

// Writes bytes to a file (created or truncated); throws std::runtime_error on failure.
void WriteFileBytes(const std::u16string& path, const std::vector<uint8_t>& bytes);

}  // namespace pagelet
