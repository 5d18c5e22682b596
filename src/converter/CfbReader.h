#pragma once

// A read-only reader of the Compound File Binary format ([MS-CFB]) over a
// byte buffer that the caller keeps alive. It finds a stream of the root
// storage by name and copies it whole. Every address goes through one
// checked function per address space (file sectors, directory entries,
// mini sectors); chains and the directory search are bounded by visited
// bitmaps sized from the file, and nothing larger than the file is
// allocated.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace pagelet {

// The codes attached to the reader's failures: the values ole32 reports for
// the same faults.
constexpr int32_t kStgErrFileNotFound = static_cast<int32_t>(0x80030002);    // STG_E_FILENOTFOUND
constexpr int32_t kStgErrAccessDenied = static_cast<int32_t>(0x80030005);    // STG_E_ACCESSDENIED
constexpr int32_t kStgErrReadFault = static_cast<int32_t>(0x8003001E);       // STG_E_READFAULT
constexpr int32_t kStgErrInvalidHeader = static_cast<int32_t>(0x800300FB);   // STG_E_INVALIDHEADER
constexpr int32_t kStgErrDocfileCorrupt = static_cast<int32_t>(0x80030109);  // STG_E_DOCFILECORRUPT

class TCfbReader {
public:
    // True when the bytes begin with the compound file signature.
    static bool HasSignature(std::span<const uint8_t> file);

    // Reads the header, the FAT (through the DIFAT) and locates the
    // directory. Throws EPagelet (message naming the value and its limit,
    // code kStgErrInvalidHeader or kStgErrDocfileCorrupt) for a damaged file.
    explicit TCfbReader(std::span<const uint8_t> file);

    // A whole copy of the stream of this name in the root storage, names
    // compared the way the format orders them; nullopt when there is none.
    // Throws EPagelet("Stream read error") when the stream's sectors cannot
    // be read in full, and EPagelet with the details for a damaged directory.
    std::optional<std::vector<uint8_t>> ReadStream(std::u16string_view name) const;

    uint32_t SectorSize() const { return sectorSize_; }

    // [MS-CFB] 2.6.4: a shorter name sorts first; names of equal length
    // compare code unit by code unit after upper-casing. < 0, 0 or > 0.
    static int CompareNames(std::u16string_view a, std::u16string_view b);

private:
    struct TDirEntry {
        std::u16string name;
        uint8_t type = 0;
        uint32_t left = 0, right = 0, child = 0;
        uint32_t start = 0;
        uint64_t size = 0;
    };

    // Choke point for the file's sectors: the bytes of sector `id` that lie
    // in the file (the last sector of a file may be short). Throws when the
    // sector starts beyond the end.
    std::span<const uint8_t> SectorBytes(uint32_t id) const;
    // The same for a sector that must lie wholly in the file (FAT, DIFAT,
    // directory, mini FAT); `what` names it in the error.
    std::span<const uint8_t> FullSector(uint32_t id, const char* what) const;
    // Choke point for directory entries.
    TDirEntry Entry(uint32_t id) const;

    // Follows `table` from `start` and returns at most `maxCount` ids; stops
    // early at ENDOFCHAIN. Every id must be below `limit`, none may repeat.
    // On a fault returns false and describes it in `error`.
    static bool WalkChain(const std::vector<uint32_t>& table, uint32_t start, uint64_t limit, uint64_t maxCount,
                          std::vector<uint32_t>& out, std::string& error);

    std::optional<uint32_t> FindRootChild(std::u16string_view name) const;
    std::vector<uint8_t> CopyRegularStream(uint32_t start, uint64_t size) const;
    std::vector<uint8_t> CopyMiniStream(uint32_t start, uint64_t size) const;
    uint64_t EntrySize(const TDirEntry& entry) const;

    std::span<const uint8_t> file_;
    uint16_t majorVersion_ = 0;
    uint32_t sectorShift_ = 0;
    uint32_t sectorSize_ = 0;
    uint64_t sectorCount_ = 0;  // sectors that begin inside the file
    uint32_t firstMiniFat_ = 0;
    std::vector<uint32_t> fat_;
    std::vector<uint32_t> dirSectors_;
    uint64_t entryCount_ = 0;
    uint32_t rootChild_ = 0;
    uint32_t rootStart_ = 0;
    uint64_t rootSize_ = 0;
};

}  // namespace pagelet
