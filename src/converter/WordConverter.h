#pragma once

// Plain text of a Word 97-2003 or Word 6/95 binary document: the compound
// file's "WordDocument" stream, its FIB, the CLX of the table stream and the
// pieces of the piece table, each decoded as UTF-16 or as 8-bit text.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "converter/CompoundFile.h"

namespace pagelet {

// A stream copied into memory. Any position may be set, also beyond the end;
// a read delivers the bytes between the position and the end, at most n, and
// advances by what it delivered.
class TMemoryStream {
public:
    TMemoryStream() = default;
    explicit TMemoryStream(std::vector<uint8_t> bytes) : bytes_(std::move(bytes)) {}

    uint64_t Size() const { return bytes_.size(); }
    uint64_t Position() const { return position_; }
    void Seek(uint64_t position) { position_ = position; }
    // Copies up to n bytes to dest; returns how many were delivered.
    size_t Read(void* dest, size_t n);
    // Skips up to n bytes the way Read would deliver them.
    size_t Skip(uint64_t n);
    // The bytes from the position on, at most n, without copying; advances.
    const uint8_t* ReadView(size_t n, size_t& delivered);

    // Little-endian values; the bytes missing at the end read as zero.
    uint8_t ReadU8();
    uint16_t ReadU16();
    uint32_t ReadU32();

private:
    std::vector<uint8_t> bytes_;
    uint64_t position_ = 0;
};

class TWordConverter {
public:
    // The text of the document, or the empty string when the file is not a
    // Word document this converter reads. Throws EPagelet for an open or read
    // failure of the compound file, "Range check error" for a negative
    // cbGrpprl, "Invalid code page" for a forced code page the platform
    // lacks, and for a piece table that does not fit in its table stream.
    std::u16string LoadText(const std::u16string& fileName, bool printable, int32_t cp, bool forceCP);

private:
    class TFileOffset {
    public:
        uint32_t value = 0;
    };

    class TPieceDescriptor {
    public:
        uint8_t _Flags = 0;
        uint8_t _Fn = 0;
        uint32_t _Fc = 0;
        int16_t _Prm = 0;
    };

    struct TFib {
        uint16_t wIdent = 0;
        std::u16string tableName;
        uint32_t fcClx = 0;
        uint32_t lcbClx = 0;
    };

    struct TPieceBounds {
        uint64_t start = 0;
        uint64_t end = 0;
        bool unicode = false;
    };

    std::u16string ExtractText(TStorage& storage, int32_t cp, bool forceCP);
    static std::optional<TMemoryStream> ReadStorageStream(TStorage& storage, const std::u16string& streamName);
    static TFib ReadFib(TMemoryStream& doc);
    static bool IsBitSet(uint16_t value, int bit);
    void ReadClx(TMemoryStream& table, uint32_t fcClx, uint32_t lcbClx);
    static int32_t PlcElementCount(int32_t lcb, int32_t elementSize);
    static int32_t PlcCpCount(int32_t lcb, int32_t elementSize);
    void ReadCpArray(TMemoryStream& table, int32_t count);
    void ReadPcdArray(TMemoryStream& table, int32_t count);
    static bool IsUnicodePiece(uint32_t fc);
    static uint32_t PieceFileOffset(uint32_t fc);
    static uint32_t BytesPerChar(bool unicode);
    TPieceBounds GetPieceBounds(size_t i) const;
    static void ReadPieceText(TMemoryStream& doc, uint64_t byteCount, bool unicode, int32_t cp, bool forceCP,
                              std::u16string& out);
    static std::u16string ReadWord6Text(TMemoryStream& doc, int32_t cp, bool forceCP);

    std::vector<TFileOffset> FileOffsetCollection;
    std::vector<TPieceDescriptor> PieceDescriptorCollection;
};

// Decodes 8-bit text: with forceCP, by the code page cp (1200 and 1201 as
// UTF-16 LE/BE, 65001 strict UTF-8, 0 the system's ANSI code page, else the
// platform's conversion; "Invalid code page" for one it lacks); without, by
// the system's ANSI code page. Appends to out.
void DecodeEightBitText(const uint8_t* data, size_t size, int32_t cp, bool forceCP, std::u16string& out);

}  // namespace pagelet
