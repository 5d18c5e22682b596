#pragma once

// A read-only reader of the Compound File Binary format ([MS-CFB]) over a
// source of bytes: a buffer that the caller keeps alive, or a file read in
// bounded pieces (never mapped, so that a file that shrinks while it is read
// gives an error, not a signal). It finds a stream of the root storage by
// name and reads it whole or from any offset. Every address goes through one
// checked function per address space (file sectors, directory entries, mini
// sectors); chains and the directory search are bounded by visited sets.
//
// What the reader holds grows with what it reads, never with what the header
// claims: the FAT's sectors are listed once each (a sector listed twice is
// damage) and each FAT and mini FAT sector is read when a chain first
// reaches it; directory entries are read one at a time. A file whose header
// claims a huge FAT over a sparse file costs the few sectors its chains use.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
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

// Where the reader's bytes come from. Size() is fixed when the source is
// made; a read of bytes below it that cannot be done in full (the file
// shrank, an I/O error) throws EPagelet.
class TCfbSource {
public:
    virtual ~TCfbSource() = default;
    virtual uint64_t Size() const = 0;
    // Copies the n bytes at offset to dest; offset + n never exceeds Size().
    virtual void ReadAt(uint64_t offset, void* dest, size_t n) const = 0;
};

// A source over a buffer that the caller keeps alive.
class TCfbSpanSource final : public TCfbSource {
public:
    explicit TCfbSpanSource(std::span<const uint8_t> bytes) : bytes_(bytes) {}
    uint64_t Size() const override { return bytes_.size(); }
    void ReadAt(uint64_t offset, void* dest, size_t n) const override;

private:
    std::span<const uint8_t> bytes_;
};

class TCfbReader {
public:
    // An open stream: its size and where its bytes lie.
    struct TStream {
        uint64_t size = 0;
        std::vector<uint32_t> sectors;  // a regular stream's sector chain
        std::vector<uint8_t> bytes;     // a mini stream's bytes (below 4096), read at once
    };

    // True when the bytes begin with the compound file signature.
    static bool HasSignature(std::span<const uint8_t> file);

    // Reads the header and the DIFAT, checks that every FAT sector lies wholly
    // in the file and is listed once, and follows the directory's chain to
    // its root entry (reading the FAT sectors on the way). Throws EPagelet
    // (message naming the value and its limit, code kStgErrInvalidHeader or
    // kStgErrDocfileCorrupt) for a damaged file. The
    // span form reads a buffer that the caller keeps alive; the source form
    // reads a source that outlives the reader.
    explicit TCfbReader(std::span<const uint8_t> file);
    explicit TCfbReader(const TCfbSource& source);

    // A whole copy of the stream of this name in the root storage, names
    // compared the way the format orders them; nullopt when there is none.
    // Throws EPagelet("Stream read error") when the stream's sectors cannot
    // be read in full, and EPagelet with the details for a damaged directory.
    std::optional<std::vector<uint8_t>> ReadStream(std::u16string_view name) const;

    // The same checks as ReadStream, without reading a regular stream's
    // bytes: its whole chain is followed and must lie in the file.
    std::optional<TStream> OpenStream(std::u16string_view name) const;
    // Copies the stream's bytes from offset, at most n (fewer at its end);
    // returns how many.
    size_t ReadAt(const TStream& stream, uint64_t offset, void* dest, size_t n) const;

    uint32_t SectorSize() const { return sectorSize_; }

    // How many distinct FAT and mini FAT sectors the reader has read (and
    // holds) so far.
    struct TTableReads {
        uint64_t fatSectors = 0;
        uint64_t miniFatSectors = 0;
    };
    TTableReads TableReads() const;

    // For files handed to a reader that follows loops for ever: a
    // description of the first loop met on the way to the named streams of
    // the root storage (the directory chain, the directory tree's search
    // path to each name, and each stream's chain: FAT, or mini FAT, the mini
    // FAT's own chain and the mini stream's chain). Empty when there is none,
    // also when the file is damaged in any other way.
    static std::string FindLoop(const TCfbSource& source, std::span<const std::u16string_view> names);
    // The same over this reader's file, whose header, FAT and directory have
    // already been read.
    std::string FindLoop(std::span<const std::u16string_view> names) const;

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

    enum class TWalk { Ok, OutOfRange, Loop };

    // A table of sector ids (the FAT or the mini FAT) whose sectors are read
    // when a lookup first needs them.
    struct TTable {
        std::vector<uint32_t> sectors;  // the table's sectors, in order
        std::vector<uint32_t> slots;    // per sector: 1 + its place among those read, 0 until read
        std::vector<uint32_t> ids;      // the sectors read so far, one after another
        uint64_t Size(uint32_t idsPerSector) const { return uint64_t{sectors.size()} * idsPerSector; }
    };

    // The mini FAT as its chain in the FAT gives it, found once.
    struct TMiniFat {
        TWalk walk = TWalk::Ok;
        std::string error;
        bool whole = true;  // every sector of the chain lies wholly in the file
        TTable table;
    };

    // The construction, step by step.
    void ReadHeader();
    void ReadFat();
    void ReadDirectory();

    // Fails unless sector `id` lies wholly in the file (FAT, DIFAT,
    // directory); `what` names it in the error.
    void CheckFullSector(uint32_t id, const char* what) const;
    // The same, then reads the sector into out.
    void ReadFullSector(uint32_t id, const char* what, std::vector<uint8_t>& out) const;
    // Choke point for directory entries.
    TDirEntry Entry(uint32_t id) const;

    // The entry of `id` in the table, reading its sector when first needed;
    // id lies below the table's size.
    uint32_t Next(TTable& table, uint32_t id) const;

    // Follows `table` from `start` and returns at most `maxCount` ids; stops
    // early at ENDOFCHAIN. Every id must be below `limit`, none may repeat.
    // On a fault describes it in `error`.
    TWalk WalkChain(TTable& table, uint32_t start, uint64_t limit, uint64_t maxCount, std::vector<uint32_t>& out,
                    std::string& error) const;

    // The root child of this name; nullopt when there is none. A loop in the
    // search throws, and so does an entry out of range.
    std::optional<uint32_t> FindRootChild(std::u16string_view name) const;
    // The chain of a regular stream of `size` bytes, each sector's needed
    // bytes in the file; throws "Stream read error" otherwise.
    std::vector<uint32_t> RegularChain(uint32_t start, uint64_t size) const;
    TMiniFat& MiniFat() const;
    std::vector<uint8_t> CopyMiniStream(uint32_t start, uint64_t size) const;
    uint64_t EntrySize(const TDirEntry& entry) const;
    std::string LoopOnTheWayTo(std::u16string_view name) const;

    std::unique_ptr<TCfbSpanSource> ownSource_;
    const TCfbSource* source_ = nullptr;
    uint64_t fileSize_ = 0;
    uint16_t majorVersion_ = 0;
    uint32_t sectorShift_ = 0;
    uint32_t sectorSize_ = 0;
    uint64_t sectorCount_ = 0;  // sectors that begin inside the file (and have an id)
    uint32_t numFat_ = 0;
    uint32_t firstDir_ = 0;
    uint32_t firstMiniFat_ = 0;
    uint32_t firstDifat_ = 0;
    std::vector<uint32_t> headerDifat_;
    std::vector<uint32_t> dirSectors_;
    uint64_t entryCount_ = 0;
    uint32_t rootChild_ = 0;
    uint32_t rootStart_ = 0;
    uint64_t rootSize_ = 0;
    // The tables fill as chains are followed; one caller at a time.
    mutable std::mutex mutex_;
    mutable TTable fat_;
    mutable std::optional<TMiniFat> miniFat_;
};

}  // namespace pagelet
