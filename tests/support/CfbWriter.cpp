#include "support/CfbWriter.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <stdexcept>

#include "common/Utf.h"

namespace pagelet {

namespace {

constexpr uint32_t kFreeSect = 0xFFFFFFFF;
constexpr uint32_t kEndOfChain = 0xFFFFFFFE;
constexpr uint32_t kFatSect = 0xFFFFFFFD;
constexpr uint32_t kDifSect = 0xFFFFFFFC;
constexpr uint32_t kNoStream = 0xFFFFFFFF;
constexpr uint32_t kMiniCutoff = 4096;
constexpr uint32_t kMiniSectorSize = 64;
constexpr uint32_t kHeaderDifatEntries = 109;

uint32_t CeilDiv(uint64_t a, uint64_t b) { return static_cast<uint32_t>((a + b - 1) / b); }

char16_t Upper(char16_t c) {
    if (c >= u'a' && c <= u'z') return static_cast<char16_t>(c - 0x20);
    if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return static_cast<char16_t>(c - 0x20);
    return c;
}

// [MS-CFB] 2.6.4: shorter names sort first; names of equal length compare
// code unit by code unit after upper-casing.
bool CfbNameLess(const std::u16string& a, const std::u16string& b) {
    if (a.size() != b.size()) return a.size() < b.size();
    for (size_t i = 0; i < a.size(); ++i) {
        char16_t x = Upper(a[i]), y = Upper(b[i]);
        if (x != y) return x < y;
    }
    return false;
}

struct TEntry {
    std::u16string Name;
    uint8_t Type = 0;  // 1 storage, 2 stream, 5 root
    uint32_t Parent = kNoStream;
    uint32_t Left = kNoStream, Right = kNoStream, Child = kNoStream;
    uint8_t Color = 1;  // 0 red, 1 black
    uint32_t Start = kEndOfChain;
    uint64_t Size = 0;
    const std::vector<uint8_t>* Data = nullptr;
};

// Builds a balanced search tree over sorted[lo, hi) and returns its root.
// Nodes on the deepest, incomplete level are red, all others black, which
// keeps the black height equal on every path.
uint32_t BuildTree(std::vector<TEntry>& entries, const std::vector<uint32_t>& sorted, size_t lo, size_t hi, int depth,
                   int fullDepth) {
    if (lo >= hi) return kNoStream;
    size_t mid = lo + (hi - lo) / 2;
    uint32_t node = sorted[mid];
    entries[node].Color = depth >= fullDepth ? 0 : 1;
    entries[node].Left = BuildTree(entries, sorted, lo, mid, depth + 1, fullDepth);
    entries[node].Right = BuildTree(entries, sorted, mid + 1, hi, depth + 1, fullDepth);
    return node;
}

void Put16(std::vector<uint8_t>& b, size_t off, uint16_t v) {
    b[off] = static_cast<uint8_t>(v);
    b[off + 1] = static_cast<uint8_t>(v >> 8);
}
void Put32(std::vector<uint8_t>& b, size_t off, uint32_t v) {
    for (int i = 0; i < 4; ++i) b[off + i] = static_cast<uint8_t>(v >> (8 * i));
}
void Put64(std::vector<uint8_t>& b, size_t off, uint64_t v) {
    for (int i = 0; i < 8; ++i) b[off + i] = static_cast<uint8_t>(v >> (8 * i));
}

}  // namespace

std::vector<uint8_t> BuildCompoundFile(const std::vector<TCfbStream>& streams, const TCfbOptions& options) {
    if (options.MajorVersion != 3 && options.MajorVersion != 4)
        throw std::invalid_argument("compound file version must be 3 or 4");
    const uint32_t shift = options.MajorVersion == 4 ? 12 : 9;
    const uint32_t sectorSize = 1u << shift;
    const uint32_t perSector = sectorSize / 4;

    // Directory entries: the root, one storage per distinct storage name, the streams.
    std::vector<TEntry> entries(1);
    entries[0].Name = u"Root Entry";
    entries[0].Type = 5;
    for (const TCfbStream& s : streams) {
        if (s.Name.empty() || s.Name.size() > 31 || s.Storage.size() > 31)
            throw std::invalid_argument("compound file names hold 1 to 31 code units");
        uint32_t parent = 0;
        if (!s.Storage.empty()) {
            auto it = std::find_if(entries.begin(), entries.end(),
                                   [&](const TEntry& e) { return e.Type == 1 && e.Name == s.Storage; });
            if (it == entries.end()) {
                TEntry storage;
                storage.Name = s.Storage;
                storage.Type = 1;
                storage.Parent = 0;
                storage.Start = 0;
                entries.push_back(storage);
                parent = static_cast<uint32_t>(entries.size() - 1);
            } else {
                parent = static_cast<uint32_t>(it - entries.begin());
            }
        }
        TEntry stream;
        stream.Name = s.Name;
        stream.Type = 2;
        stream.Parent = parent;
        stream.Size = s.Data.size();
        stream.Data = &s.Data;
        entries.push_back(stream);
    }

    // One red-black tree of children per storage.
    for (uint32_t parent = 0; parent < entries.size(); ++parent) {
        if (entries[parent].Type != 1 && entries[parent].Type != 5) continue;
        std::vector<uint32_t> children;
        for (uint32_t i = 1; i < entries.size(); ++i)
            if (entries[i].Parent == parent) children.push_back(i);
        std::sort(children.begin(), children.end(),
                  [&](uint32_t a, uint32_t b) { return CfbNameLess(entries[a].Name, entries[b].Name); });
        for (size_t i = 1; i < children.size(); ++i)
            if (!CfbNameLess(entries[children[i - 1]].Name, entries[children[i]].Name))
                throw std::invalid_argument("two entries of one storage have the same name");
        int fullDepth = 0;
        while ((size_t{2} << fullDepth) - 1 <= children.size()) ++fullDepth;
        entries[parent].Child = BuildTree(entries, children, 0, children.size(), 0, fullDepth);
    }

    // Mini stream allocation for the small streams.
    uint32_t miniSectors = 0;
    for (TEntry& e : entries) {
        if (e.Type != 2 || e.Size == 0 || e.Size >= kMiniCutoff) continue;
        e.Start = miniSectors;
        miniSectors += CeilDiv(e.Size, kMiniSectorSize);
    }
    const uint64_t miniStreamBytes = uint64_t{miniSectors} * kMiniSectorSize;
    const uint32_t miniStreamSecs = CeilDiv(miniStreamBytes, sectorSize);
    const uint32_t miniFatSecs = CeilDiv(uint64_t{miniSectors} * 4, sectorSize);
    const uint32_t dirSecs = CeilDiv(entries.size() * 128, sectorSize);
    uint64_t largeSecs = 0;
    for (const TEntry& e : entries)
        if (e.Type == 2 && e.Size >= kMiniCutoff) largeSecs += CeilDiv(e.Size, sectorSize);
    const uint64_t contentSecs = dirSecs + miniFatSecs + miniStreamSecs + largeSecs;

    // The FAT must also map its own sectors and the DIFAT's: find the fixed point.
    uint32_t minFat = options.MinFatSectors;
    if (options.ForceDifat) minFat = std::max(minFat, kHeaderDifatEntries + 1);
    uint32_t fatSecs = 1, difatSecs = 0;
    for (;;) {
        uint32_t needFat = std::max(CeilDiv(contentSecs + fatSecs + difatSecs, perSector), minFat);
        uint32_t needDifat = needFat > kHeaderDifatEntries ? CeilDiv(needFat - kHeaderDifatEntries, perSector - 1) : 0;
        if (needFat == fatSecs && needDifat == difatSecs) break;
        fatSecs = needFat;
        difatSecs = needDifat;
    }

    // Layout: FAT, DIFAT, directory, mini FAT, mini stream, large streams.
    std::vector<uint32_t> fat(uint64_t{fatSecs} * perSector, kFreeSect);
    uint32_t next = 0;
    for (uint32_t i = 0; i < fatSecs; ++i) fat[next++] = kFatSect;
    const uint32_t firstDifat = difatSecs ? next : kEndOfChain;
    for (uint32_t i = 0; i < difatSecs; ++i) fat[next++] = kDifSect;
    auto allocChain = [&](uint32_t count) {
        if (count == 0) return kEndOfChain;
        uint32_t start = next;
        for (uint32_t i = 0; i < count; ++i, ++next) fat[next] = i + 1 < count ? next + 1 : kEndOfChain;
        return start;
    };
    const uint32_t firstDir = allocChain(dirSecs);
    const uint32_t firstMiniFat = allocChain(miniFatSecs);
    entries[0].Start = allocChain(miniStreamSecs);
    entries[0].Size = miniStreamBytes;
    for (TEntry& e : entries)
        if (e.Type == 2 && e.Size >= kMiniCutoff) e.Start = allocChain(CeilDiv(e.Size, sectorSize));
    const uint32_t totalSecs = next;

    const size_t headerSize = sectorSize;  // v4 pads the 512-byte header to a whole sector
    std::vector<uint8_t> out(headerSize + size_t{totalSecs} * sectorSize, 0);
    auto sectorOff = [&](uint32_t sector) { return headerSize + size_t{sector} * sectorSize; };

    // Header ([MS-CFB] 2.2).
    static const uint8_t kSignature[8] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
    std::copy(std::begin(kSignature), std::end(kSignature), out.begin());
    Put16(out, 0x18, 0x003E);
    Put16(out, cfb::kOffMajorVersion, static_cast<uint16_t>(options.MajorVersion));
    Put16(out, 0x1C, 0xFFFE);
    Put16(out, cfb::kOffSectorShift, static_cast<uint16_t>(shift));
    Put16(out, cfb::kOffMiniSectorShift, 6);
    Put32(out, cfb::kOffNumDirSectors, options.MajorVersion == 4 ? dirSecs : 0);
    Put32(out, cfb::kOffNumFatSectors, fatSecs);
    Put32(out, cfb::kOffFirstDirSector, firstDir);
    Put32(out, cfb::kOffMiniStreamCutoff, kMiniCutoff);
    Put32(out, cfb::kOffFirstMiniFatSector, firstMiniFat);
    Put32(out, cfb::kOffNumMiniFatSectors, miniFatSecs);
    Put32(out, cfb::kOffFirstDifatSector, firstDifat);
    Put32(out, cfb::kOffNumDifatSectors, difatSecs);
    for (uint32_t i = 0; i < kHeaderDifatEntries; ++i) Put32(out, cfb::kOffDifat + 4 * i, i < fatSecs ? i : kFreeSect);

    // DIFAT sectors: perSector - 1 FAT sector ids each, then the next DIFAT sector.
    for (uint32_t d = 0; d < difatSecs; ++d) {
        size_t base = sectorOff(firstDifat + d);
        for (uint32_t k = 0; k + 1 < perSector; ++k) {
            uint64_t fatIndex = kHeaderDifatEntries + uint64_t{d} * (perSector - 1) + k;
            Put32(out, base + 4 * k, fatIndex < fatSecs ? static_cast<uint32_t>(fatIndex) : kFreeSect);
        }
        Put32(out, base + 4 * (perSector - 1), d + 1 < difatSecs ? firstDifat + d + 1 : kEndOfChain);
    }

    // FAT sectors (sector i of the FAT is sector i of the file).
    for (size_t i = 0; i < fat.size(); ++i) Put32(out, sectorOff(0) + 4 * i, fat[i]);

    // Directory.
    const size_t dirBase = sectorOff(firstDir);
    for (size_t i = 0; i < size_t{dirSecs} * sectorSize / 128; ++i) {
        size_t off = dirBase + i * 128;
        Put32(out, off + cfb::kOffEntryLeft, kNoStream);
        Put32(out, off + cfb::kOffEntryRight, kNoStream);
        Put32(out, off + cfb::kOffEntryChild, kNoStream);
        if (i >= entries.size()) continue;
        const TEntry& e = entries[i];
        for (size_t k = 0; k < e.Name.size(); ++k) Put16(out, off + 2 * k, e.Name[k]);
        Put16(out, off + cfb::kOffEntryNameLength, static_cast<uint16_t>((e.Name.size() + 1) * 2));
        out[off + cfb::kOffEntryType] = e.Type;
        out[off + 0x43] = e.Color;
        Put32(out, off + cfb::kOffEntryLeft, e.Left);
        Put32(out, off + cfb::kOffEntryRight, e.Right);
        Put32(out, off + cfb::kOffEntryChild, e.Child);
        Put32(out, off + cfb::kOffEntryStart, e.Type == 1 ? 0 : e.Start);
        Put64(out, off + cfb::kOffEntrySize, e.Size);
    }

    // Mini FAT and mini stream contents.
    std::vector<uint32_t> miniFat(uint64_t{miniFatSecs} * perSector, kFreeSect);
    for (const TEntry& e : entries) {
        if (e.Type != 2 || e.Size == 0 || e.Size >= kMiniCutoff) continue;
        uint32_t count = CeilDiv(e.Size, kMiniSectorSize);
        for (uint32_t k = 0; k < count; ++k) miniFat[e.Start + k] = k + 1 < count ? e.Start + k + 1 : kEndOfChain;
        // The mini stream's sectors are contiguous in the file.
        std::copy(
            e.Data->begin(), e.Data->end(),
            out.begin() + static_cast<std::ptrdiff_t>(sectorOff(entries[0].Start) + size_t{e.Start} * kMiniSectorSize));
    }
    for (size_t i = 0; i < miniFat.size(); ++i) Put32(out, sectorOff(firstMiniFat) + 4 * i, miniFat[i]);

    // Large streams: contiguous chains.
    for (const TEntry& e : entries)
        if (e.Type == 2 && e.Size >= kMiniCutoff)
            std::copy(e.Data->begin(), e.Data->end(), out.begin() + static_cast<std::ptrdiff_t>(sectorOff(e.Start)));
    return out;
}

std::vector<uint8_t> BuildClaimedFatFile(const std::vector<uint8_t>& file, uint32_t extraFatSectors,
                                         uint64_t apparentSize, bool repeat) {
    constexpr uint32_t kSectorSize = 512, kPerSector = kSectorSize / 4;
    if (file.size() < kSectorSize || file.size() % kSectorSize != 0 ||
        GetLE32(file, cfb::kOffSectorShift) != 0x00060009)
        throw std::invalid_argument("a version 3 file of whole sectors is needed");
    const uint32_t ownFat = GetLE32(file, cfb::kOffNumFatSectors);
    if (ownFat == 0 || ownFat > kHeaderDifatEntries || GetLE32(file, cfb::kOffNumDifatSectors) != 0)
        throw std::invalid_argument("the file's FAT must fit the header");
    std::vector<uint32_t> listed;
    for (uint32_t i = 0; i < ownFat; ++i) listed.push_back(GetLE32(file, cfb::kOffDifat + 4 * i));

    const uint64_t total = uint64_t{ownFat} + extraFatSectors;
    const uint32_t difatSecs = total > kHeaderDifatEntries ? CeilDiv(total - kHeaderDifatEntries, kPerSector - 1) : 0;
    const uint32_t firstDifat = static_cast<uint32_t>(file.size() / kSectorSize - 1);
    const uint64_t firstHole = uint64_t{firstDifat} + difatSecs;
    if (uint64_t{1} + firstHole + (repeat ? 0 : extraFatSectors) > apparentSize / kSectorSize)
        throw std::invalid_argument("the claimed FAT does not fit the apparent size");
    for (uint32_t i = 0; i < extraFatSectors; ++i)
        listed.push_back(repeat ? listed[0] : static_cast<uint32_t>(firstHole + i));

    std::vector<uint8_t> out = file;
    out.resize(file.size() + size_t{difatSecs} * kSectorSize, 0);
    Put32(out, cfb::kOffNumFatSectors, static_cast<uint32_t>(total));
    Put32(out, cfb::kOffFirstDifatSector, difatSecs ? firstDifat : kEndOfChain);
    Put32(out, cfb::kOffNumDifatSectors, difatSecs);
    for (uint32_t i = 0; i < kHeaderDifatEntries; ++i)
        Put32(out, cfb::kOffDifat + 4 * i, i < listed.size() ? listed[i] : kFreeSect);
    for (uint32_t d = 0; d < difatSecs; ++d) {
        const size_t base = file.size() + size_t{d} * kSectorSize;
        for (uint32_t k = 0; k + 1 < kPerSector; ++k) {
            const uint64_t at = kHeaderDifatEntries + uint64_t{d} * (kPerSector - 1) + k;
            Put32(out, base + 4 * k, at < listed.size() ? listed[at] : kFreeSect);
        }
        Put32(out, base + 4 * (kPerSector - 1), d + 1 < difatSecs ? firstDifat + d + 1 : kEndOfChain);
    }
    return out;
}

uint32_t GetLE32(const std::vector<uint8_t>& bytes, size_t offset) {
    return static_cast<uint32_t>(bytes.at(offset)) | static_cast<uint32_t>(bytes.at(offset + 1)) << 8 |
           static_cast<uint32_t>(bytes.at(offset + 2)) << 16 | static_cast<uint32_t>(bytes.at(offset + 3)) << 24;
}

void PutLE32(std::vector<uint8_t>& bytes, size_t offset, uint32_t value) {
    if (offset + 4 > bytes.size()) throw std::out_of_range("PutLE32 beyond the end");
    Put32(bytes, offset, value);
}

void PutLE16(std::vector<uint8_t>& bytes, size_t offset, uint16_t value) {
    if (offset + 2 > bytes.size()) throw std::out_of_range("PutLE16 beyond the end");
    Put16(bytes, offset, value);
}

size_t CfbSectorOffset(const std::vector<uint8_t>& file, uint32_t sector) {
    size_t sectorSize = size_t{1} << (file.at(cfb::kOffSectorShift) & 31);
    return sectorSize + size_t{sector} * sectorSize;
}

size_t CfbDirEntryOffset(const std::vector<uint8_t>& file, uint32_t index) {
    return CfbSectorOffset(file, GetLE32(file, cfb::kOffFirstDirSector)) + size_t{index} * cfb::kDirEntrySize;
}

uint32_t CfbFindEntry(const std::vector<uint8_t>& file, std::u16string_view name) {
    for (uint32_t i = 0;; ++i) {
        size_t off = CfbDirEntryOffset(file, i);
        if (off + cfb::kDirEntrySize > file.size()) break;
        uint16_t len =
            static_cast<uint16_t>(file[off + cfb::kOffEntryNameLength] | file[off + cfb::kOffEntryNameLength + 1] << 8);
        if (len != (name.size() + 1) * 2) continue;
        bool same = true;
        for (size_t k = 0; k < name.size() && same; ++k)
            same = static_cast<char16_t>(file[off + 2 * k] | file[off + 2 * k + 1] << 8) == name[k];
        if (same) return i;
    }
    throw std::invalid_argument("no directory entry of that name");
}

void WriteFileBytes(const std::u16string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream f(std::filesystem::path(path), std::ios::binary | std::ios::trunc);
    f.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    f.close();
    if (!f) throw std::runtime_error("cannot write a test file");
}

TTempFile::TTempFile(const std::vector<uint8_t>& bytes, std::string_view suffix) {
    static std::atomic<unsigned> counter{0};
    auto stamp = static_cast<unsigned long long>(std::chrono::steady_clock::now().time_since_epoch().count());
    // The suffix is UTF-8; the name goes to the file system as UTF-16 so that
    // Windows does not read it in its ANSI code page.
    std::u16string name =
        AsciiToUtf16("pagelet-test-" + std::to_string(stamp) + "-" + std::to_string(counter++)) + Utf8ToUtf16(suffix);
    path_ = (std::filesystem::temp_directory_path() / std::filesystem::path(name)).u16string();
    WriteFileBytes(path_, bytes);
}

TTempFile::~TTempFile() {
    std::error_code ec;
    std::filesystem::remove(std::filesystem::path(path_), ec);
}

}  // namespace pagelet
