#include "loading/Zip.h"

#include <zlib.h>

#include <algorithm>
#include <climits>

#include "common/ByteReader.h"
#include "common/Error.h"

namespace pagelet {

namespace {

constexpr uint32_t kLocalSig = 0x04034b50, kCentralSig = 0x02014b50, kEndSig = 0x06054b50, kEnd64LocatorSig = 0x07064b50;
constexpr uint16_t kStored = 0, kDeflated = 8;
constexpr size_t kEndSize = 22;
// The end record is followed by a comment of at most 64 KB.
constexpr size_t kEndSearch = kEndSize + 0xFFFF;
// A directory entry of the central directory is at least this long.
constexpr size_t kCentralSize = 46;
// More entries than a package has (a directory that claims more is damaged).
constexpr size_t kMaxEntries = 65535;

char LowerAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

}  // namespace

void ThrowDamaged(std::u16string_view what) { throw EPagelet(u"The document is damaged: " + std::u16string(what)); }

bool TZipArchive::LooksLikeZip(std::span<const uint8_t> bytes) {
    return bytes.size() >= 4 && LoadU32(bytes.data()) == kLocalSig;
}

TZipArchive::TZipArchive(std::span<const uint8_t> bytes) : bytes_(bytes) {
    TByteReader in(bytes);
    // The end record: the last signature that leaves room for a whole record.
    if (bytes.size() < kEndSize) ThrowDamaged(u"the zip archive is cut short");
    const size_t lowest = bytes.size() > kEndSearch ? bytes.size() - kEndSearch : 0;
    size_t end = SIZE_MAX;
    for (size_t at = bytes.size() - kEndSize + 1; at-- > lowest;) {
        if (LoadU32(bytes.data() + at) == kEndSig) {
            end = at;
            break;
        }
    }
    if (end == SIZE_MAX) ThrowDamaged(u"the zip archive has no central directory");
    if (end >= 20 && LoadU32(bytes.data() + end - 20) == kEnd64LocatorSig)
        ThrowDamaged(u"the zip archive is a zip64 archive");
    const uint16_t count = LoadU16(bytes.data() + end + 10);
    const uint32_t dirSize = LoadU32(bytes.data() + end + 12);
    const uint32_t dirOffset = LoadU32(bytes.data() + end + 16);
    if (count == 0xFFFF || dirSize == 0xFFFFFFFFu || dirOffset == 0xFFFFFFFFu)
        ThrowDamaged(u"the zip archive is a zip64 archive");
    if (uint64_t{dirOffset} + dirSize > end || uint64_t{count} * kCentralSize > dirSize)
        ThrowDamaged(u"the zip archive's central directory lies outside it");

    in.Seek(dirOffset);
    entries_.reserve(std::min<size_t>(count, kMaxEntries));
    for (size_t i = 0; i < count; ++i) {
        uint32_t sig = 0, crc = 0, packed = 0, size = 0, local = 0;
        uint16_t method = 0, nameLength = 0, extraLength = 0, commentLength = 0;
        std::span<const uint8_t> skip, name;
        const bool ok = in.ReadU32(sig) && sig == kCentralSig && in.ReadBytes(6, skip) && in.ReadU16(method) &&
                        in.ReadBytes(4, skip) && in.ReadU32(crc) && in.ReadU32(packed) && in.ReadU32(size) &&
                        in.ReadU16(nameLength) && in.ReadU16(extraLength) && in.ReadU16(commentLength) &&
                        in.ReadBytes(8, skip) && in.ReadU32(local) && in.ReadBytes(nameLength, name) &&
                        in.ReadBytes(uint64_t{extraLength} + commentLength, skip) &&
                        in.Position() <= uint64_t{dirOffset} + dirSize;
        if (!ok) ThrowDamaged(u"an entry of the zip archive's central directory is damaged");
        if (packed == 0xFFFFFFFFu || size == 0xFFFFFFFFu || local == 0xFFFFFFFFu)
            ThrowDamaged(u"the zip archive is a zip64 archive");
        TZipEntry entry;
        entry.name.assign(reinterpret_cast<const char*>(name.data()), name.size());
        entry.method = method;
        entry.crc = crc;
        entry.packedSize = packed;
        entry.size = size;
        entry.localHeader = local;
        entries_.push_back(std::move(entry));
    }
}

const TZipEntry* TZipArchive::Find(std::string_view name) const {
    if (!name.empty() && name.front() == '/') name.remove_prefix(1);
    for (const TZipEntry& entry : entries_) {
        std::string_view stored = entry.name;
        if (!stored.empty() && stored.front() == '/') stored.remove_prefix(1);
        if (stored.size() == name.size() &&
            std::equal(stored.begin(), stored.end(), name.begin(),
                       [](char a, char b) { return LowerAscii(a) == LowerAscii(b); }))
            return &entry;
    }
    return nullptr;
}

std::string TZipArchive::Read(const TZipEntry& entry) {
    // The local header: its own name and extra lengths say where the data begins.
    TByteReader in(bytes_);
    in.Seek(entry.localHeader);
    uint32_t sig = 0;
    uint16_t nameLength = 0, extraLength = 0;
    std::span<const uint8_t> skip, data;
    if (!(in.ReadU32(sig) && sig == kLocalSig && in.ReadBytes(22, skip) && in.ReadU16(nameLength) &&
          in.ReadU16(extraLength) && in.ReadBytes(uint64_t{nameLength} + extraLength, skip) &&
          in.ReadBytes(entry.packedSize, data)))
        ThrowDamaged(u"a member of the zip archive is cut short");
    // Bounds before a byte is inflated: the size the directory claims.
    const uint64_t limit = std::min<uint64_t>(kMaxRatio * std::max<uint64_t>(entry.packedSize, 1), kMaxTotal - inflated_);
    if (entry.size > limit) ThrowDamaged(u"a member of the zip archive inflates far beyond its size");

    std::string out;
    if (entry.method == kStored) {
        if (entry.size != entry.packedSize) ThrowDamaged(u"a stored member of the zip archive has a wrong size");
        out.assign(reinterpret_cast<const char*>(data.data()), data.size());
    } else if (entry.method == kDeflated) {
        // Inflated into the size the directory gives; a stream that goes on
        // past it, or ends short of it, is damaged.
        out.resize(static_cast<size_t>(entry.size));
        z_stream z{};
        if (inflateInit2(&z, -MAX_WBITS) != Z_OK) ThrowDamaged(u"the zip archive cannot be inflated");
        uint64_t inLeft = data.size();
        const uint8_t* next = data.data();
        uint64_t made = 0;
        int rc = Z_OK;
        char spill = 0;  // where a stream longer than the size is caught
        while (rc == Z_OK) {
            const uInt inChunk = static_cast<uInt>(std::min<uint64_t>(inLeft, UINT_MAX));
            z.next_in = const_cast<Bytef*>(next);
            z.avail_in = inChunk;
            const bool past = made >= out.size();
            const uInt outChunk = past ? 1 : static_cast<uInt>(std::min<uint64_t>(out.size() - made, UINT_MAX));
            z.next_out = reinterpret_cast<Bytef*>(past ? &spill : out.data() + made);
            z.avail_out = outChunk;
            rc = inflate(&z, Z_NO_FLUSH);
            const uint64_t produced = outChunk - z.avail_out;
            if (past && produced != 0) rc = Z_DATA_ERROR;
            made += past ? 0 : produced;
            next += inChunk - z.avail_in;
            inLeft -= inChunk - z.avail_in;
            // No way on: the stream is cut short.
            if (rc == Z_BUF_ERROR || (rc == Z_OK && produced == 0 && z.avail_in == inChunk)) rc = Z_DATA_ERROR;
        }
        inflateEnd(&z);
        if (rc != Z_STREAM_END || made != out.size()) ThrowDamaged(u"a deflated member of the zip archive is damaged");
    } else {
        ThrowDamaged(u"a member of the zip archive is compressed in a way not known");
    }
    uLong sum = crc32(0L, Z_NULL, 0);
    for (size_t at = 0; at < out.size();) {
        const size_t n = std::min<size_t>(out.size() - at, 1u << 30);
        sum = crc32(sum, reinterpret_cast<const Bytef*>(out.data() + at), static_cast<uInt>(n));
        at += n;
    }
    if (sum != entry.crc) ThrowDamaged(u"a member of the zip archive fails its checksum");
    inflated_ += out.size();
    return out;
}

}  // namespace pagelet
