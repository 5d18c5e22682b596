#include "converter/CfbReader.h"

#include <algorithm>
#include <cstring>

#include "common/ByteReader.h"
#include "common/Error.h"
#include "common/Utf.h"

namespace pagelet {

namespace {

constexpr uint8_t kSignature[8] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
constexpr uint32_t kHeaderSize = 512;
constexpr uint32_t kHeaderDifatEntries = 109;
constexpr uint32_t kMaxRegSect = 0xFFFFFFFA;
constexpr uint32_t kEndOfChain = 0xFFFFFFFE;
constexpr uint32_t kNoStream = 0xFFFFFFFF;
constexpr uint32_t kDirEntrySize = 128;
constexpr uint32_t kMiniSectorShift = 6;
constexpr uint32_t kMiniSectorSize = 1u << kMiniSectorShift;
// Streams below this size live in the mini stream. The header repeats the
// value (ulMiniSectorCutoff) but it is fixed by the format; like ole32 we use
// the constant.
constexpr uint64_t kMiniStreamCutoff = 4096;
constexpr uint8_t kTypeStream = 2;
constexpr uint8_t kTypeRoot = 5;

[[noreturn]] void Fail(int32_t code, const std::string& message) { throw EPagelet(AsciiToUtf16(message), code); }
[[noreturn]] void FailRead() { throw EPagelet(u"Stream read error"); }

std::string Num(uint64_t v) { return std::to_string(v); }

// Upper-casing for name comparison: ASCII, Latin-1, Greek and Cyrillic,
// which covers the names Word and other writers use.
char16_t UpperCase(char16_t c) {
    if (c >= u'a' && c <= u'z') return static_cast<char16_t>(c - 0x20);
    if (c < 0xE0) return c;
    if (c <= 0xFE) return c == 0xF7 ? c : static_cast<char16_t>(c - 0x20);
    if (c == 0xFF) return 0x178;
    if (c >= 0x3B1 && c <= 0x3C9 && c != 0x3C2) return static_cast<char16_t>(c - 0x20);
    if (c >= 0x430 && c <= 0x44F) return static_cast<char16_t>(c - 0x20);
    if (c >= 0x450 && c <= 0x45F) return static_cast<char16_t>(c - 0x50);
    return c;
}

// A table of 32-bit ids read from whole sectors.
void AppendIds(std::span<const uint8_t> sector, std::vector<uint32_t>& out) {
    TByteReader r(sector);
    uint32_t v;
    while (r.ReadU32(v)) out.push_back(v);
}

}  // namespace

bool TCfbReader::HasSignature(std::span<const uint8_t> file) {
    return file.size() >= sizeof(kSignature) && std::memcmp(file.data(), kSignature, sizeof(kSignature)) == 0;
}

int TCfbReader::CompareNames(std::u16string_view a, std::u16string_view b) {
    if (a.size() != b.size()) return a.size() < b.size() ? -1 : 1;
    for (size_t i = 0; i < a.size(); ++i) {
        char16_t x = UpperCase(a[i]), y = UpperCase(b[i]);
        if (x != y) return x < y ? -1 : 1;
    }
    return 0;
}

TCfbReader::TCfbReader(std::span<const uint8_t> file) : file_(file) {
    if (!HasSignature(file)) Fail(kStgErrInvalidHeader, "no compound file signature");
    if (file.size() < kHeaderSize)
        Fail(kStgErrInvalidHeader, "file of " + Num(file.size()) + " bytes is shorter than the 512-byte header");

    TByteReader header(file.first(kHeaderSize));
    uint16_t sectorShift = 0, miniShift = 0;
    uint32_t numFat = 0, firstDir = 0, firstDifat = 0;
    header.PeekAt(0x1A, majorVersion_);
    header.PeekAt(0x1E, sectorShift);
    header.PeekAt(0x20, miniShift);
    header.PeekAt(0x2C, numFat);
    header.PeekAt(0x30, firstDir);
    header.PeekAt(0x3C, firstMiniFat_);
    header.PeekAt(0x44, firstDifat);

    // Not read: the byte order mark, the minor version, csectDir (version 4;
    // the directory chain gives the count), csectDif (the DIFAT is followed
    // as far as csectFat needs) and csectMiniFat (the mini FAT chain gives
    // it). Writers get these wrong more often than the chains themselves.

    // Version 3 files use 512-byte sectors, version 4 files 4096-byte ones;
    // like ole32 we accept either size whatever the version field says.
    if (sectorShift != 9 && sectorShift != 12)
        Fail(kStgErrInvalidHeader, "sector shift " + Num(sectorShift) + ", expected 9 or 12");
    if (miniShift != kMiniSectorShift)
        Fail(kStgErrInvalidHeader, "mini sector shift " + Num(miniShift) + ", expected 6");
    sectorShift_ = sectorShift;
    sectorSize_ = 1u << sectorShift;
    // Sector n lies at (n + 1) * sector size: the header fills sector -1.
    sectorCount_ = file.size() > sectorSize_ ? (file.size() - sectorSize_ + sectorSize_ - 1) / sectorSize_ : 0;
    const uint32_t idsPerSector = sectorSize_ / 4;

    // The FAT's sectors: the first 109 listed in the header, the rest in the
    // DIFAT chain, whose sectors end with the id of the next one.
    if (numFat > sectorCount_)
        Fail(kStgErrDocfileCorrupt,
             "FAT sector count " + Num(numFat) + " exceeds the " + Num(sectorCount_) + " sectors of the file");
    std::vector<uint32_t> fatSectors;
    fatSectors.reserve(numFat);
    for (uint32_t i = 0; i < numFat && i < kHeaderDifatEntries; ++i) {
        uint32_t id = 0;
        header.PeekAt(0x4C + 4 * i, id);
        fatSectors.push_back(id);
    }
    std::vector<bool> difatSeen;
    uint32_t difat = firstDifat;
    while (fatSectors.size() < numFat) {
        if (difat > kMaxRegSect)
            Fail(kStgErrDocfileCorrupt,
                 "DIFAT ends after " + Num(fatSectors.size()) + " of " + Num(numFat) + " FAT sectors");
        if (difat >= sectorCount_)
            Fail(kStgErrDocfileCorrupt,
                 "DIFAT sector " + Num(difat) + " beyond the end of the file (" + Num(sectorCount_) + " sectors)");
        if (difatSeen.empty()) difatSeen.resize(sectorCount_);
        if (difatSeen[difat]) Fail(kStgErrDocfileCorrupt, "DIFAT chain loops at sector " + Num(difat));
        difatSeen[difat] = true;
        std::vector<uint32_t> ids;
        AppendIds(FullSector(difat, "DIFAT"), ids);
        for (uint32_t k = 0; k + 1 < idsPerSector && fatSectors.size() < numFat; ++k) fatSectors.push_back(ids[k]);
        difat = ids[idsPerSector - 1];
    }
    fat_.reserve(uint64_t{numFat} * idsPerSector);
    for (uint32_t id : fatSectors) AppendIds(FullSector(id, "FAT"), fat_);

    // The directory: a chain of whole sectors of 128-byte entries.
    std::string error;
    if (!WalkChain(fat_, firstDir, sectorCount_, sectorCount_, dirSectors_, error))
        Fail(kStgErrDocfileCorrupt, "directory chain: " + error);
    if (dirSectors_.empty()) Fail(kStgErrDocfileCorrupt, "directory chain is empty");
    for (uint32_t id : dirSectors_) FullSector(id, "directory");
    entryCount_ = uint64_t{dirSectors_.size()} * (sectorSize_ / kDirEntrySize);

    TDirEntry root = Entry(0);
    if (root.type != kTypeRoot) Fail(kStgErrDocfileCorrupt, "root entry of type " + Num(root.type) + ", expected 5");
    rootChild_ = root.child;
    rootStart_ = root.start;
    rootSize_ = EntrySize(root);
}

std::span<const uint8_t> TCfbReader::SectorBytes(uint32_t id) const {
    if (id >= sectorCount_)
        Fail(kStgErrDocfileCorrupt,
             "sector " + Num(id) + " beyond the end of the file (" + Num(sectorCount_) + " sectors)");
    uint64_t offset = (uint64_t{id} + 1) << sectorShift_;
    uint64_t available = std::min<uint64_t>(sectorSize_, file_.size() - offset);
    return file_.subspan(static_cast<size_t>(offset), static_cast<size_t>(available));
}

std::span<const uint8_t> TCfbReader::FullSector(uint32_t id, const char* what) const {
    if (id >= sectorCount_)
        Fail(kStgErrDocfileCorrupt, std::string(what) + " sector " + Num(id) + " beyond the end of the file (" +
                                        Num(sectorCount_) + " sectors)");
    std::span<const uint8_t> bytes = SectorBytes(id);
    if (bytes.size() < sectorSize_)
        Fail(kStgErrDocfileCorrupt, std::string(what) + " sector " + Num(id) + " cut short at the end of the file (" +
                                        Num(bytes.size()) + " of " + Num(sectorSize_) + " bytes)");
    return bytes;
}

TCfbReader::TDirEntry TCfbReader::Entry(uint32_t id) const {
    if (id >= entryCount_)
        Fail(kStgErrDocfileCorrupt, "directory entry " + Num(id) + " out of range (" + Num(entryCount_) + " entries)");
    const uint32_t perSector = sectorSize_ / kDirEntrySize;
    std::span<const uint8_t> sector = FullSector(dirSectors_[id / perSector], "directory");
    TByteReader r(sector.subspan((id % perSector) * kDirEntrySize, kDirEntrySize));

    TDirEntry e;
    uint16_t nameBytes = 0;
    r.PeekAt(0x40, nameBytes);
    // The length counts the terminating null; at most 32 code units fit.
    size_t units = std::min<size_t>(nameBytes / 2, 32);
    for (size_t i = 0; i + 1 < units; ++i) {
        uint16_t c = 0;
        r.PeekAt(2 * i, c);
        if (c == 0) break;
        e.name.push_back(static_cast<char16_t>(c));
    }
    r.PeekAt(0x42, e.type);
    r.PeekAt(0x44, e.left);
    r.PeekAt(0x48, e.right);
    r.PeekAt(0x4C, e.child);
    r.PeekAt(0x74, e.start);
    r.PeekAt(0x78, e.size);
    return e;
}

uint64_t TCfbReader::EntrySize(const TDirEntry& entry) const {
    // Version 3 writers may leave garbage in the upper half of the size.
    return majorVersion_ == 3 ? entry.size & 0xFFFFFFFFu : entry.size;
}

bool TCfbReader::WalkChain(const std::vector<uint32_t>& table, uint32_t start, uint64_t limit, uint64_t maxCount,
                           std::vector<uint32_t>& out, std::string& error) {
    out.clear();
    limit = std::min<uint64_t>(limit, table.size());
    std::vector<bool> seen;
    uint32_t id = start;
    while (out.size() < maxCount && id != kEndOfChain) {
        if (id >= limit) {
            error = "sector " + Num(id) + " out of range (limit " + Num(limit) + ")";
            return false;
        }
        if (seen.empty()) seen.resize(static_cast<size_t>(limit));
        if (seen[id]) {
            error = "chain loops at sector " + Num(id);
            return false;
        }
        seen[id] = true;
        out.push_back(id);
        id = table[id];
    }
    return true;
}

std::optional<uint32_t> TCfbReader::FindRootChild(std::u16string_view name) const {
    // The children of a storage form a red-black tree ordered by
    // CompareNames; its left and right "siblings" are the tree's child links.
    std::vector<bool> seen;
    uint32_t node = rootChild_;
    while (node != kNoStream) {
        if (node >= entryCount_)
            Fail(kStgErrDocfileCorrupt,
                 "directory entry " + Num(node) + " out of range (" + Num(entryCount_) + " entries)");
        if (seen.empty()) seen.resize(static_cast<size_t>(entryCount_));
        if (seen[node]) Fail(kStgErrDocfileCorrupt, "directory tree loops at entry " + Num(node));
        seen[node] = true;
        TDirEntry e = Entry(node);
        int order = CompareNames(name, e.name);
        if (order == 0) return node;
        node = order < 0 ? e.left : e.right;
    }
    return std::nullopt;
}

std::optional<std::vector<uint8_t>> TCfbReader::ReadStream(std::u16string_view name) const {
    std::optional<uint32_t> id = FindRootChild(name);
    if (!id) return std::nullopt;
    TDirEntry e = Entry(*id);
    if (e.type != kTypeStream) return std::nullopt;
    uint64_t size = EntrySize(e);
    if (size == 0) return std::vector<uint8_t>();
    if (size < kMiniStreamCutoff) return CopyMiniStream(e.start, size);
    return CopyRegularStream(e.start, size);
}

std::vector<uint8_t> TCfbReader::CopyRegularStream(uint32_t start, uint64_t size) const {
    // A stream cannot hold more bytes than the file: refuse before allocating.
    if (size > file_.size()) FailRead();
    const uint64_t needed = (size + sectorSize_ - 1) >> sectorShift_;
    std::vector<uint32_t> chain;
    std::string error;
    if (!WalkChain(fat_, start, sectorCount_, needed, chain, error) || chain.size() < needed) FailRead();

    std::vector<uint8_t> out;
    out.reserve(static_cast<size_t>(size));
    for (uint32_t id : chain) {
        std::span<const uint8_t> bytes = SectorBytes(id);
        size_t take = static_cast<size_t>(std::min<uint64_t>(sectorSize_, size - out.size()));
        if (bytes.size() < take) FailRead();
        out.insert(out.end(), bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(take));
    }
    return out;
}

std::vector<uint8_t> TCfbReader::CopyMiniStream(uint32_t start, uint64_t size) const {
    // The mini stream is the root entry's stream; its 64-byte mini sectors
    // are chained by the mini FAT, itself a chain of regular sectors.
    if (rootSize_ == 0) FailRead();
    const std::vector<uint8_t> mini = CopyRegularStream(rootStart_, rootSize_);

    std::vector<uint32_t> miniFatSectors;
    std::string error;
    if (!WalkChain(fat_, firstMiniFat_, sectorCount_, sectorCount_, miniFatSectors, error)) FailRead();
    std::vector<uint32_t> miniFat;
    for (uint32_t id : miniFatSectors) {
        std::span<const uint8_t> bytes = SectorBytes(id);
        if (bytes.size() < sectorSize_) FailRead();
        AppendIds(bytes, miniFat);
    }

    const uint64_t needed = (size + kMiniSectorSize - 1) >> kMiniSectorShift;
    const uint64_t miniSectors = (mini.size() + kMiniSectorSize - 1) >> kMiniSectorShift;
    std::vector<uint32_t> chain;
    if (!WalkChain(miniFat, start, miniSectors, needed, chain, error) || chain.size() < needed) FailRead();

    std::vector<uint8_t> out;
    out.reserve(static_cast<size_t>(size));
    TByteReader r(mini.data(), mini.size());
    for (uint32_t id : chain) {
        r.Seek(uint64_t{id} << kMiniSectorShift);
        std::span<const uint8_t> bytes;
        if (!r.ReadBytes(std::min<uint64_t>(kMiniSectorSize, size - out.size()), bytes)) FailRead();
        out.insert(out.end(), bytes.begin(), bytes.end());
    }
    return out;
}

}  // namespace pagelet
