#pragma once

// A zip archive held in memory (a Word 2007+ package): its central
// directory, and its members stored or deflated (zlib). Internal to loading/.
//
// Bounds: a member inflates to at most 64 times its stored size, and the
// members read from one archive to 256 MB in all; past either the archive is
// a zip bomb and reads as damaged. Zip64 archives are refused as damaged
// (no Word package needs them: their members are far below 4 GB).

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace pagelet {

struct TZipEntry {
    std::string name;  // as stored: UTF-8 or CP437, '/' between folders
    uint16_t method = 0;
    uint32_t crc = 0;
    uint64_t packedSize = 0;
    uint64_t size = 0;
    uint64_t localHeader = 0;  // offset of the member's local header
};

class TZipArchive {
public:
    // How much a member may inflate, to its stored size, and a package in all.
    static constexpr uint64_t kMaxRatio = 64;
    static constexpr uint64_t kMaxTotal = 256u << 20;

    // Whether the bytes begin as a zip archive does (a local header).
    static bool LooksLikeZip(std::span<const uint8_t> bytes);

    // Reads the central directory of bytes (which must outlive the archive).
    // Throws EPagelet "The document is damaged: ..." when it is not sound.
    explicit TZipArchive(std::span<const uint8_t> bytes);

    const std::vector<TZipEntry>& Entries() const { return entries_; }
    // The member of that name, its ASCII letters compared in any case (a
    // leading '/' ignored); nullptr when there is none.
    const TZipEntry* Find(std::string_view name) const;
    // The member's bytes. Throws EPagelet (damaged) for an unknown method, a
    // damaged stream, a wrong size or checksum, or one past the bounds.
    std::string Read(const TZipEntry& entry);

private:
    std::span<const uint8_t> bytes_;
    std::vector<TZipEntry> entries_;
    uint64_t inflated_ = 0;  // bytes read out of the archive so far
};

// Throws the damaged answer with what was found wrong.
[[noreturn]] void ThrowDamaged(std::u16string_view what);

}  // namespace pagelet
