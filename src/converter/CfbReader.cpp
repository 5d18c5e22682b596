#include "converter/CfbReader.h"

#include <algorithm>
#include <cstring>
#include <limits>

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
constexpr uint64_t kWholeChain = std::numeric_limits<uint64_t>::max();
// Ids above MAXREGSECT mark free, FAT, DIFAT sectors and chain ends: no
// sector has one, however large the file.
constexpr uint64_t kIdLimit = uint64_t{kMaxRegSect} + 1;

// A loop in a chain or in the directory tree; FindLoop tells it from other
// damage.
class ELoop : public EPagelet {
public:
    explicit ELoop(const std::string& message) : EPagelet(AsciiToUtf16(message), kStgErrDocfileCorrupt) {}
};

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

// The ids met so far on a walk, all below a limit: a bitmap while that takes
// at most 2 MB, else a hash set that grows with the ids put in, so that a
// file claiming billions of sectors costs only the ones walked.
class TIdSet {
public:
    explicit TIdSet(uint64_t limit) : limit_(limit) {}

    // False when id was in the set already.
    bool Insert(uint32_t id) {
        if (limit_ <= kBitmapLimit) {
            if (bits_.empty()) bits_.resize(static_cast<size_t>((limit_ + 63) / 64));
            uint64_t& word = bits_[id / 64];
            const uint64_t bit = uint64_t{1} << (id % 64);
            if (word & bit) return false;
            word |= bit;
            return true;
        }
        if (2 * (count_ + 1) > slots_.size()) Grow();
        const size_t mask = slots_.size() - 1;
        for (size_t i = Hash(id) & mask;; i = (i + 1) & mask) {
            if (slots_[i] == id) return false;
            if (slots_[i] == kEmpty) {
                slots_[i] = id;
                ++count_;
                return true;
            }
        }
    }

private:
    static constexpr uint64_t kBitmapLimit = uint64_t{1} << 24;
    static constexpr uint32_t kEmpty = 0xFFFFFFFF;  // never an id below kIdLimit

    static size_t Hash(uint32_t id) { return static_cast<size_t>((uint64_t{id} * 0x9E3779B97F4A7C15ull) >> 32); }

    void Grow() {
        std::vector<uint32_t> old(std::max<size_t>(64, 2 * slots_.size()), kEmpty);
        old.swap(slots_);
        const size_t mask = slots_.size() - 1;
        for (uint32_t id : old) {
            if (id == kEmpty) continue;
            size_t i = Hash(id) & mask;
            while (slots_[i] != kEmpty) i = (i + 1) & mask;
            slots_[i] = id;
        }
    }

    uint64_t limit_;
    std::vector<uint64_t> bits_;
    std::vector<uint32_t> slots_;
    size_t count_ = 0;
};

}  // namespace

void TCfbSpanSource::ReadAt(uint64_t offset, void* dest, size_t n) const {
    if (offset > bytes_.size() || n > bytes_.size() - offset) FailRead();
    if (n != 0) std::memcpy(dest, bytes_.data() + offset, n);
}

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

TCfbReader::TCfbReader(std::span<const uint8_t> file)
    : ownSource_(std::make_unique<TCfbSpanSource>(file)), source_(ownSource_.get()), fileSize_(file.size()) {
    ReadHeader();
    ReadFat();
    ReadDirectory();
}

TCfbReader::TCfbReader(const TCfbSource& source) : source_(&source), fileSize_(source.Size()) {
    ReadHeader();
    ReadFat();
    ReadDirectory();
}

void TCfbReader::ReadHeader() {
    uint8_t head[kHeaderSize] = {};
    const size_t got = static_cast<size_t>(std::min<uint64_t>(fileSize_, kHeaderSize));
    source_->ReadAt(0, head, got);
    if (!HasSignature(std::span<const uint8_t>(head, got))) Fail(kStgErrInvalidHeader, "no compound file signature");
    if (fileSize_ < kHeaderSize)
        Fail(kStgErrInvalidHeader, "file of " + Num(fileSize_) + " bytes is shorter than the 512-byte header");

    TByteReader header(head, kHeaderSize);
    uint16_t sectorShift = 0, miniShift = 0;
    header.PeekAt(0x1A, majorVersion_);
    header.PeekAt(0x1E, sectorShift);
    header.PeekAt(0x20, miniShift);
    header.PeekAt(0x2C, numFat_);
    header.PeekAt(0x30, firstDir_);
    header.PeekAt(0x3C, firstMiniFat_);
    header.PeekAt(0x44, firstDifat_);

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
    sectorCount_ = fileSize_ > sectorSize_ ? (fileSize_ - sectorSize_ + sectorSize_ - 1) / sectorSize_ : 0;
    sectorCount_ = std::min(sectorCount_, kIdLimit);

    for (uint32_t i = 0; i < numFat_ && i < kHeaderDifatEntries; ++i) {
        uint32_t id = 0;
        header.PeekAt(0x4C + 4 * i, id);
        headerDifat_.push_back(id);
    }
}

void TCfbReader::ReadFat() {
    // The FAT's sectors: the first 109 listed in the header, the rest in the
    // DIFAT chain, whose sectors end with the id of the next one. Each must
    // lie wholly in the file and be listed once; they are read when a chain
    // needs them.
    if (numFat_ > sectorCount_)
        Fail(kStgErrDocfileCorrupt,
             "FAT sector count " + Num(numFat_) + " exceeds the " + Num(sectorCount_) + " sectors of the file");
    const uint32_t idsPerSector = sectorSize_ / 4;
    TIdSet listed(sectorCount_);
    auto list = [&](uint32_t id) {
        CheckFullSector(id, "FAT");
        if (!listed.Insert(id)) Fail(kStgErrDocfileCorrupt, "FAT sector " + Num(id) + " listed twice");
        fat_.sectors.push_back(id);
    };
    for (uint32_t id : headerDifat_) list(id);
    headerDifat_ = {};
    TIdSet difatSeen(sectorCount_);
    std::vector<uint8_t> sector;
    std::vector<uint32_t> ids;
    uint32_t difat = firstDifat_;
    while (fat_.sectors.size() < numFat_) {
        if (difat > kMaxRegSect)
            Fail(kStgErrDocfileCorrupt,
                 "DIFAT ends after " + Num(fat_.sectors.size()) + " of " + Num(numFat_) + " FAT sectors");
        if (difat >= sectorCount_)
            Fail(kStgErrDocfileCorrupt,
                 "DIFAT sector " + Num(difat) + " beyond the end of the file (" + Num(sectorCount_) + " sectors)");
        if (!difatSeen.Insert(difat)) Fail(kStgErrDocfileCorrupt, "DIFAT chain loops at sector " + Num(difat));
        ReadFullSector(difat, "DIFAT", sector);
        ids.clear();
        AppendIds(sector, ids);
        for (uint32_t k = 0; k + 1 < idsPerSector && fat_.sectors.size() < numFat_; ++k) list(ids[k]);
        difat = ids[idsPerSector - 1];
    }
    fat_.slots.assign(fat_.sectors.size(), 0);
}

void TCfbReader::ReadDirectory() {
    // The directory: a chain of whole sectors of 128-byte entries, each
    // entry read when it is looked at.
    std::string error;
    const TWalk walk = WalkChain(fat_, firstDir_, sectorCount_, sectorCount_, dirSectors_, error);
    if (walk == TWalk::Loop) throw ELoop("directory chain: " + error);
    if (walk != TWalk::Ok) Fail(kStgErrDocfileCorrupt, "directory chain: " + error);
    if (dirSectors_.empty()) Fail(kStgErrDocfileCorrupt, "directory chain is empty");
    for (uint32_t id : dirSectors_) CheckFullSector(id, "directory");
    entryCount_ = uint64_t{dirSectors_.size()} * (sectorSize_ / kDirEntrySize);

    TDirEntry root = Entry(0);
    if (root.type != kTypeRoot) Fail(kStgErrDocfileCorrupt, "root entry of type " + Num(root.type) + ", expected 5");
    rootChild_ = root.child;
    rootStart_ = root.start;
    rootSize_ = EntrySize(root);
}

void TCfbReader::CheckFullSector(uint32_t id, const char* what) const {
    if (id >= sectorCount_)
        Fail(kStgErrDocfileCorrupt, std::string(what) + " sector " + Num(id) + " beyond the end of the file (" +
                                        Num(sectorCount_) + " sectors)");
    const uint64_t offset = (uint64_t{id} + 1) << sectorShift_;
    const uint64_t available = std::min<uint64_t>(sectorSize_, fileSize_ - offset);
    if (available < sectorSize_)
        Fail(kStgErrDocfileCorrupt, std::string(what) + " sector " + Num(id) + " cut short at the end of the file (" +
                                        Num(available) + " of " + Num(sectorSize_) + " bytes)");
}

void TCfbReader::ReadFullSector(uint32_t id, const char* what, std::vector<uint8_t>& out) const {
    CheckFullSector(id, what);
    out.resize(sectorSize_);
    source_->ReadAt((uint64_t{id} + 1) << sectorShift_, out.data(), out.size());
}

uint32_t TCfbReader::Next(TTable& table, uint32_t id) const {
    const uint32_t idsPerSector = sectorSize_ / 4;
    const uint32_t index = id / idsPerSector;
    uint32_t& slot = table.slots[index];
    if (slot == 0) {
        // Whole sectors only: the table's sectors were checked when it was listed.
        std::vector<uint8_t> sector(sectorSize_);
        source_->ReadAt((uint64_t{table.sectors[index]} + 1) << sectorShift_, sector.data(), sector.size());
        slot = static_cast<uint32_t>(table.ids.size() / idsPerSector) + 1;
        AppendIds(sector, table.ids);
    }
    return table.ids[size_t{slot - 1} * idsPerSector + id % idsPerSector];
}

TCfbReader::TTableReads TCfbReader::TableReads() const {
    std::lock_guard<std::mutex> lock(mutex_);
    const uint32_t idsPerSector = sectorSize_ / 4;
    TTableReads reads;
    reads.fatSectors = fat_.ids.size() / idsPerSector;
    if (miniFat_) reads.miniFatSectors = miniFat_->table.ids.size() / idsPerSector;
    return reads;
}

TCfbReader::TDirEntry TCfbReader::Entry(uint32_t id) const {
    if (id >= entryCount_)
        Fail(kStgErrDocfileCorrupt, "directory entry " + Num(id) + " out of range (" + Num(entryCount_) + " entries)");
    const uint32_t perSector = sectorSize_ / kDirEntrySize;
    uint8_t bytes[kDirEntrySize];
    source_->ReadAt(((uint64_t{dirSectors_[static_cast<size_t>(id / perSector)]} + 1) << sectorShift_) +
                        (id % perSector) * kDirEntrySize,
                    bytes, sizeof(bytes));
    TByteReader r(bytes, sizeof(bytes));

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

TCfbReader::TWalk TCfbReader::WalkChain(TTable& table, uint32_t start, uint64_t limit, uint64_t maxCount,
                                        std::vector<uint32_t>& out, std::string& error) const {
    out.clear();
    limit = std::min({limit, table.Size(sectorSize_ / 4), kIdLimit});
    TIdSet seen(limit);
    uint32_t id = start;
    while (out.size() < maxCount && id != kEndOfChain) {
        if (id >= limit) {
            error = "sector " + Num(id) + " out of range (limit " + Num(limit) + ")";
            return TWalk::OutOfRange;
        }
        if (!seen.Insert(id)) {
            error = "chain loops at sector " + Num(id);
            return TWalk::Loop;
        }
        out.push_back(id);
        id = Next(table, id);
    }
    return TWalk::Ok;
}

std::optional<uint32_t> TCfbReader::FindRootChild(std::u16string_view name) const {
    // The children of a storage form a red-black tree ordered by
    // CompareNames; its left and right "siblings" are the tree's child links.
    TIdSet seen(entryCount_);
    uint32_t node = rootChild_;
    while (node != kNoStream) {
        if (node >= entryCount_)
            Fail(kStgErrDocfileCorrupt,
                 "directory entry " + Num(node) + " out of range (" + Num(entryCount_) + " entries)");
        if (!seen.Insert(node)) throw ELoop("directory tree loops at entry " + Num(node));
        TDirEntry e = Entry(node);
        int order = CompareNames(name, e.name);
        if (order == 0) return node;
        node = order < 0 ? e.left : e.right;
    }
    return std::nullopt;
}

std::optional<TCfbReader::TStream> TCfbReader::OpenStream(std::u16string_view name) const {
    std::lock_guard<std::mutex> lock(mutex_);
    std::optional<uint32_t> id = FindRootChild(name);
    if (!id) return std::nullopt;
    TDirEntry e = Entry(*id);
    if (e.type != kTypeStream) return std::nullopt;
    TStream stream;
    stream.size = EntrySize(e);
    if (stream.size == 0) return stream;
    if (stream.size < kMiniStreamCutoff) {
        stream.bytes = CopyMiniStream(e.start, stream.size);
    } else {
        stream.sectors = RegularChain(e.start, stream.size);
    }
    return stream;
}

std::optional<std::vector<uint8_t>> TCfbReader::ReadStream(std::u16string_view name) const {
    std::optional<TStream> stream = OpenStream(name);
    if (!stream) return std::nullopt;
    if (stream->sectors.empty()) return std::move(stream->bytes);
    std::vector<uint8_t> out(static_cast<size_t>(stream->size));
    ReadAt(*stream, 0, out.data(), out.size());
    return out;
}

size_t TCfbReader::ReadAt(const TStream& stream, uint64_t offset, void* dest, size_t n) const {
    if (offset >= stream.size) return 0;
    n = static_cast<size_t>(std::min<uint64_t>(n, stream.size - offset));
    if (stream.sectors.empty()) {
        std::memcpy(dest, stream.bytes.data() + offset, n);
        return n;
    }
    // Runs of consecutive sectors (the usual layout) are read at once.
    auto* out = static_cast<uint8_t*>(dest);
    size_t done = 0;
    uint64_t index = offset >> sectorShift_;
    uint64_t within = offset & (sectorSize_ - 1);
    while (done < n) {
        const uint32_t first = stream.sectors[static_cast<size_t>(index)];
        uint64_t run = 1;
        uint64_t bytes = sectorSize_ - within;
        while (bytes < n - done && index + run < stream.sectors.size() &&
               stream.sectors[static_cast<size_t>(index + run)] == first + run) {
            ++run;
            bytes += sectorSize_;
        }
        const size_t take = static_cast<size_t>(std::min<uint64_t>(bytes, n - done));
        // RegularChain made sure that these bytes lie in the file.
        source_->ReadAt(((uint64_t{first} + 1) << sectorShift_) + within, out + done, take);
        done += take;
        index += run;
        within = 0;
    }
    return n;
}

std::vector<uint32_t> TCfbReader::RegularChain(uint32_t start, uint64_t size) const {
    // A stream cannot hold more bytes than the file: refuse before allocating.
    if (size > fileSize_) FailRead();
    const uint64_t needed = (size + sectorSize_ - 1) >> sectorShift_;
    std::vector<uint32_t> chain;
    std::string error;
    if (WalkChain(fat_, start, sectorCount_, needed, chain, error) != TWalk::Ok || chain.size() < needed) FailRead();
    // Only the file's last sector may be short, and only the stream's last
    // sector may need less than a whole one.
    const uint64_t lastBytes = size - ((needed - 1) << sectorShift_);
    for (size_t i = 0; i < chain.size(); ++i) {
        const uint64_t offset = (uint64_t{chain[i]} + 1) << sectorShift_;
        const uint64_t take = i + 1 == chain.size() ? lastBytes : sectorSize_;
        if (fileSize_ - offset < take) FailRead();
    }
    return chain;
}

TCfbReader::TMiniFat& TCfbReader::MiniFat() const {
    if (miniFat_) return *miniFat_;
    TMiniFat miniFat;  // kept only once found in full: a read of the FAT may fail
    miniFat.walk = WalkChain(fat_, firstMiniFat_, sectorCount_, kWholeChain, miniFat.table.sectors, miniFat.error);
    // A chain that leaves the file still serves the loop check, as far as it goes.
    if (miniFat.walk == TWalk::Loop) miniFat.table.sectors.clear();
    for (uint32_t id : miniFat.table.sectors) {
        if (fileSize_ - ((uint64_t{id} + 1) << sectorShift_) < sectorSize_) {
            miniFat.whole = false;
            miniFat.table.sectors.clear();
            break;
        }
    }
    miniFat.table.slots.assign(miniFat.table.sectors.size(), 0);
    return miniFat_.emplace(std::move(miniFat));
}

std::vector<uint8_t> TCfbReader::CopyMiniStream(uint32_t start, uint64_t size) const {
    // The mini stream is the root entry's stream; its 64-byte mini sectors
    // are chained by the mini FAT, itself a chain of regular sectors. Only
    // the mini sectors of this stream, and the mini FAT sectors its chain
    // passes, are read. The stream is below the cutoff and its chain cannot
    // repeat a mini sector, so the copy is at most 4095 bytes.
    if (rootSize_ == 0) FailRead();
    TStream mini;
    mini.size = rootSize_;
    mini.sectors = RegularChain(rootStart_, rootSize_);

    TMiniFat& miniFat = MiniFat();
    if (miniFat.walk != TWalk::Ok || !miniFat.whole) FailRead();

    const uint64_t needed = (size + kMiniSectorSize - 1) >> kMiniSectorShift;
    const uint64_t miniSectors = (rootSize_ + kMiniSectorSize - 1) >> kMiniSectorShift;
    std::vector<uint32_t> chain;
    std::string error;
    if (WalkChain(miniFat.table, start, miniSectors, needed, chain, error) != TWalk::Ok || chain.size() < needed)
        FailRead();

    std::vector<uint8_t> out(static_cast<size_t>(size));
    size_t done = 0;
    for (uint32_t id : chain) {
        const size_t want = static_cast<size_t>(std::min<uint64_t>(kMiniSectorSize, size - done));
        if (ReadAt(mini, uint64_t{id} << kMiniSectorShift, out.data() + done, want) < want) FailRead();
        done += want;
    }
    return out;
}

std::string TCfbReader::LoopOnTheWayTo(std::u16string_view name) const {
    std::optional<uint32_t> id = FindRootChild(name);  // throws ELoop for a loop in the tree
    if (!id) return {};
    const TDirEntry e = Entry(*id);
    if (e.type != kTypeStream || EntrySize(e) == 0) return {};
    std::vector<uint32_t> chain;
    std::string error;
    if (EntrySize(e) >= kMiniStreamCutoff) {
        if (WalkChain(fat_, e.start, sectorCount_, kWholeChain, chain, error) == TWalk::Loop)
            return "stream chain: " + error;
        return {};
    }
    if (WalkChain(fat_, rootStart_, sectorCount_, kWholeChain, chain, error) == TWalk::Loop)
        return "mini stream chain: " + error;
    TMiniFat& miniFat = MiniFat();
    if (miniFat.walk == TWalk::Loop) return "mini FAT chain: " + miniFat.error;
    if (!miniFat.whole) return {};
    if (WalkChain(miniFat.table, e.start, kWholeChain, kWholeChain, chain, error) == TWalk::Loop)
        return "mini sector chain: " + error;
    return {};
}

std::string TCfbReader::FindLoop(std::span<const std::u16string_view> names) const {
    std::lock_guard<std::mutex> lock(mutex_);
    try {
        for (std::u16string_view name : names) {
            std::string loop = LoopOnTheWayTo(name);
            if (!loop.empty()) return loop;
        }
    } catch (const ELoop& e) {
        return e.what();
    } catch (const EPagelet&) {
        // Damaged otherwise: the other reader decides.
    }
    return {};
}

std::string TCfbReader::FindLoop(const TCfbSource& source, std::span<const std::u16string_view> names) {
    try {
        return TCfbReader(source).FindLoop(names);
    } catch (const ELoop& e) {
        return e.what();
    } catch (const EPagelet&) {
        // Damaged otherwise: the other reader decides.
    }
    return {};
}

}  // namespace pagelet
