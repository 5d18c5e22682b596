#include "converter/WordConverter.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "common/Error.h"
#include "common/Utf.h"
#include "converter/CodePage.h"
#include "converter/PrintableFilter.h"

namespace pagelet {

namespace {

// FIB offsets in the "WordDocument" stream ([MS-DOC] FibBase, FibRgFcLcb97).
constexpr uint64_t kFibWIdent = 0x0000;
constexpr uint64_t kFibFlags = 0x000A;       // fWhichTblStm is bit 9
constexpr uint64_t kFibFcClx = 0x01A2;       // fcClx, then lcbClx
constexpr uint64_t kFibWord6FcMin = 0x0018;  // Word 6/95 FIB: fcMin, then fcMac
constexpr int kFWhichTblStmBit = 9;

constexpr uint16_t kWIdentWord97 = 0xA5EC;
constexpr uint16_t kWIdentWord6 = 0xA5DC;

// clxt values of the CLX entries.
constexpr uint8_t kClxtSkip = 0x00;
constexpr uint8_t kClxtPrc = 0x01;
constexpr uint8_t kClxtPcdt = 0x02;

constexpr uint32_t kFcCompressedBit = 0x40000000;
constexpr int32_t kPcdSize = 8;
constexpr int32_t kCpSize = 4;

std::u16string DecimalText(uint64_t value) { return AsciiToUtf16(std::to_string(value)); }

void AppendUtf16LE(const uint8_t* data, size_t units, std::u16string& out) {
    const size_t at = out.size();
    out.resize(at + units);
    if constexpr (std::endian::native == std::endian::little) {
        std::memcpy(out.data() + at, data, units * 2);
    } else {
        for (size_t i = 0; i < units; ++i) out[at + i] = static_cast<char16_t>(data[2 * i] | (data[2 * i + 1] << 8));
    }
}

void AppendUtf16BE(const uint8_t* data, size_t units, std::u16string& out) {
    const size_t at = out.size();
    out.resize(at + units);
    for (size_t i = 0; i < units; ++i) out[at + i] = static_cast<char16_t>((data[2 * i] << 8) | data[2 * i + 1]);
}

void AppendDecoded(std::optional<std::u16string>&& decoded, std::u16string& out) {
    if (!decoded) return;
    if (out.empty() && out.capacity() <= decoded->capacity()) {
        out = std::move(*decoded);
    } else {
        out += *decoded;
    }
}

}  // namespace

// --- TMemoryStream ---------------------------------------------------------

const uint8_t* TMemoryStream::ReadView(size_t n, size_t& delivered) {
    if (position_ >= bytes_.size()) {
        delivered = 0;
        return nullptr;
    }
    const uint64_t available = bytes_.size() - position_;
    delivered = static_cast<size_t>(std::min<uint64_t>(n, available));
    const uint8_t* p = bytes_.data() + position_;
    position_ += delivered;
    return p;
}

size_t TMemoryStream::Read(void* dest, size_t n) {
    size_t delivered = 0;
    const uint8_t* p = ReadView(n, delivered);
    if (delivered != 0) std::memcpy(dest, p, delivered);
    return delivered;
}

size_t TMemoryStream::Skip(uint64_t n) {
    if (position_ >= bytes_.size()) return 0;
    const uint64_t delivered = std::min<uint64_t>(n, bytes_.size() - position_);
    position_ += delivered;
    return static_cast<size_t>(delivered);
}

uint8_t TMemoryStream::ReadU8() {
    uint8_t b[1] = {0};
    Read(b, 1);
    return b[0];
}

uint16_t TMemoryStream::ReadU16() {
    uint8_t b[2] = {0, 0};
    Read(b, 2);
    return static_cast<uint16_t>(b[0] | (b[1] << 8));
}

uint32_t TMemoryStream::ReadU32() {
    uint8_t b[4] = {0, 0, 0, 0};
    Read(b, 4);
    return static_cast<uint32_t>(b[0]) | (static_cast<uint32_t>(b[1]) << 8) | (static_cast<uint32_t>(b[2]) << 16) |
           (static_cast<uint32_t>(b[3]) << 24);
}

// --- 8-bit decoding --------------------------------------------------------

void DecodeEightBitText(const uint8_t* data, size_t size, int32_t cp, bool forceCP, std::u16string& out) {
    if (!forceCP || cp == 0) {
        AppendDecoded(PlatformDecode(SystemAnsiCodePage(), data, size, false), out);
        return;
    }
    switch (cp) {
    case 1200:  // UTF-16 little-endian; an odd last byte is dropped
        AppendUtf16LE(data, size / 2, out);
        return;
    case 1201:  // UTF-16 big-endian
        AppendUtf16BE(data, size / 2, out);
        return;
    case 65001:  // strict UTF-8: an invalid sequence empties the whole run
        AppendDecoded(PlatformDecode(65001, data, size, true), out);
        return;
    default:
        break;
    }
    const auto codePage = static_cast<uint32_t>(cp);
    if (cp < 0 || !IsKnownCodePage(codePage)) throw EPagelet(u"Invalid code page");
    AppendDecoded(PlatformDecode(codePage, data, size, false), out);
}

// --- TWordConverter --------------------------------------------------------

std::u16string TWordConverter::LoadText(const std::u16string& fileName, bool printable, int32_t cp, bool forceCP) {
    std::error_code ec;
    if (!std::filesystem::is_regular_file(std::filesystem::path(fileName), ec)) return {};
    if (!StorageIsCompoundFile(fileName)) return {};
    TStoragePtr storage = StorageOpen(fileName);
    std::u16string text = ExtractText(*storage, cp, forceCP);
    storage.reset();
    if (printable) FilterPrintableInPlace(text);
    return text;
}

std::u16string TWordConverter::ExtractText(TStorage& storage, int32_t cp, bool forceCP) {
    // Both lists live only during the extraction, also when it fails.
    struct TPieceTableReset {
        TWordConverter& converter;
        ~TPieceTableReset() {
            converter.FileOffsetCollection = {};
            converter.PieceDescriptorCollection = {};
        }
    } reset{*this};

    std::optional<TMemoryStream> doc = ReadStorageStream(storage, u"WordDocument");
    if (!doc) return {};
    const TFib fib = ReadFib(*doc);

    if (fib.wIdent == kWIdentWord6) return ReadWord6Text(*doc, cp, forceCP);
    if (fib.wIdent != kWIdentWord97) return {};

    {
        std::optional<TMemoryStream> table = ReadStorageStream(storage, fib.tableName);
        if (!table) return {};
        ReadClx(*table, fib.fcClx, fib.lcbClx);
    }  // the table stream is not needed for the pieces

    // A piece that runs past the end of "WordDocument" is cut there (a UTF-16
    // piece to whole code units); one whose next character position lies
    // below its own contributes nothing.
    const uint64_t docSize = doc->Size();
    std::vector<TPieceBounds> pieces;
    pieces.reserve(PieceDescriptorCollection.size());
    uint64_t totalBytes = 0;
    uint64_t totalUnits = 0;
    for (size_t i = 0; i < PieceDescriptorCollection.size(); ++i) {
        if (FileOffsetCollection[i + 1].value < FileOffsetCollection[i].value) continue;
        TPieceBounds bounds = GetPieceBounds(i);
        if (bounds.start >= docSize || bounds.end <= bounds.start) continue;
        bounds.end = std::min(bounds.end, docSize);
        if (bounds.unicode) bounds.end -= (bounds.end - bounds.start) % 2;
        if (bounds.end == bounds.start) continue;
        totalBytes += bounds.end - bounds.start;
        totalUnits += bounds.unicode ? (bounds.end - bounds.start) / 2 : bounds.end - bounds.start;
        pieces.push_back(bounds);
    }
    // The pieces of a document lie side by side in "WordDocument": together
    // they never cover more bytes than it holds. A damaged piece table whose
    // pieces cover the same bytes again and again would make the text grow
    // far beyond the file.
    if (totalBytes > docSize) {
        throw EPagelet(u"The document is damaged: its pieces cover " + DecimalText(totalBytes) +
                       u" bytes, more than the " + DecimalText(docSize) + u" bytes of its WordDocument stream");
    }

    std::u16string text;
    if (pieces.size() > 1) text.reserve(static_cast<size_t>(totalUnits));
    for (const TPieceBounds& bounds : pieces) {
        doc->Seek(bounds.start);
        ReadPieceText(*doc, bounds.end - bounds.start, bounds.unicode, cp, forceCP, text);
    }
    return text;
}

std::optional<TMemoryStream> TWordConverter::ReadStorageStream(TStorage& storage, const std::u16string& streamName) {
    std::optional<std::vector<uint8_t>> bytes = StorageReadStream(storage, streamName);
    if (!bytes) return std::nullopt;
    return TMemoryStream(std::move(*bytes));
}

TWordConverter::TFib TWordConverter::ReadFib(TMemoryStream& doc) {
    // Fields that lie beyond the end of the stream read as zero.
    TFib fib;
    doc.Seek(kFibWIdent);
    fib.wIdent = doc.ReadU16();
    doc.Seek(kFibFlags);
    const uint16_t flags = doc.ReadU16();
    fib.tableName = IsBitSet(flags, kFWhichTblStmBit) ? u"1Table" : u"0Table";
    doc.Seek(kFibFcClx);
    fib.fcClx = doc.ReadU32();
    fib.lcbClx = doc.ReadU32();
    return fib;
}

bool TWordConverter::IsBitSet(uint16_t value, int bit) { return (value & (1u << bit)) != 0; }

void TWordConverter::ReadClx(TMemoryStream& table, uint32_t fcClx, uint32_t lcbClx) {
    // The walk ends at fcClx + lcbClx or at the end of the table stream,
    // whichever comes first. An entry that starts below that bound is read
    // in full; a Pcdt does not end the walk, and a later one replaces the
    // lists of an earlier one.
    const uint64_t end = std::min<uint64_t>(uint64_t{fcClx} + lcbClx, table.Size());
    table.Seek(fcClx);
    while (table.Position() < end) {
        const uint8_t clxt = table.ReadU8();
        switch (clxt) {
        case kClxtSkip:
            table.Seek(table.Position() + 1);
            break;
        case kClxtPrc: {
            const auto cbGrpprl = static_cast<int16_t>(table.ReadU16());
            if (cbGrpprl < 0) throw EPagelet(u"Range check error");
            table.Skip(static_cast<uint64_t>(cbGrpprl));
            break;
        }
        case kClxtPcdt: {
            const auto lcb = static_cast<int32_t>(table.ReadU32());
            const int32_t cpCount = PlcCpCount(lcb, kPcdSize);
            const int32_t pcdCount = PlcElementCount(lcb, kPcdSize);
            // The damage check comes before anything is allocated.
            const uint64_t need = uint64_t(std::max(cpCount, 0)) * kCpSize + uint64_t(std::max(pcdCount, 0)) * kPcdSize;
            if (table.Position() > table.Size() || need > table.Size() - table.Position()) {
                throw EPagelet(u"The document is damaged: its piece table (" + DecimalText(std::max(pcdCount, 0)) +
                               u" pieces at offset " + DecimalText(table.Position()) +
                               u" of the table stream) reaches past the end of the table stream (" +
                               DecimalText(table.Size()) + u" bytes)");
            }
            ReadCpArray(table, cpCount);
            ReadPcdArray(table, pcdCount);
            break;
        }
        default:
            break;
        }
    }
}

int32_t TWordConverter::PlcElementCount(int32_t lcb, int32_t elementSize) {
    // Formed in 64 bits: lcb - 4 must not overflow for lcb near INT32_MIN.
    return static_cast<int32_t>((int64_t{lcb} - 4) / (int64_t{elementSize} + 4));
}

int32_t TWordConverter::PlcCpCount(int32_t lcb, int32_t elementSize) { return PlcElementCount(lcb, elementSize) + 1; }

void TWordConverter::ReadCpArray(TMemoryStream& table, int32_t count) {
    FileOffsetCollection.clear();
    if (count <= 0) return;
    FileOffsetCollection.resize(static_cast<size_t>(count));
    for (TFileOffset& entry : FileOffsetCollection) entry.value = table.ReadU32();
}

void TWordConverter::ReadPcdArray(TMemoryStream& table, int32_t count) {
    PieceDescriptorCollection.clear();
    if (count <= 0) return;
    PieceDescriptorCollection.resize(static_cast<size_t>(count));
    for (TPieceDescriptor& entry : PieceDescriptorCollection) {
        entry._Flags = table.ReadU8();
        entry._Fn = table.ReadU8();
        entry._Fc = table.ReadU32();
        entry._Prm = static_cast<int16_t>(table.ReadU16());
    }
}

bool TWordConverter::IsUnicodePiece(uint32_t fc) { return (fc & kFcCompressedBit) == 0; }

uint32_t TWordConverter::PieceFileOffset(uint32_t fc) {
    // FcCompressed: an 8-bit piece stores twice its offset with bit 30 set;
    // only bit 30 is cleared, so bit 31 moves to bit 30.
    if (IsUnicodePiece(fc)) return fc;
    return (fc & ~kFcCompressedBit) >> 1;
}

uint32_t TWordConverter::BytesPerChar(bool unicode) { return unicode ? 2 : 1; }

TWordConverter::TPieceBounds TWordConverter::GetPieceBounds(size_t i) const {
    // Formed in 64 bits so that a long piece at a high offset cannot wrap.
    TPieceBounds bounds;
    const uint32_t fc = PieceDescriptorCollection[i]._Fc;
    bounds.unicode = IsUnicodePiece(fc);
    bounds.start = PieceFileOffset(fc);
    const int64_t chars = int64_t{FileOffsetCollection[i + 1].value} - int64_t{FileOffsetCollection[i].value};
    bounds.end = chars <= 0 ? bounds.start : bounds.start + uint64_t(chars) * BytesPerChar(bounds.unicode);
    return bounds;
}

void TWordConverter::ReadPieceText(TMemoryStream& doc, uint64_t byteCount, bool unicode, int32_t cp, bool forceCP,
                                   std::u16string& out) {
    if (byteCount == 0) return;  // the code page is not consulted
    size_t delivered = 0;
    const uint8_t* bytes = doc.ReadView(static_cast<size_t>(std::min<uint64_t>(byteCount, SIZE_MAX)), delivered);
    if (unicode) {
        // Copied as stored: nulls, controls and unpaired surrogates stay.
        AppendUtf16LE(bytes, delivered / 2, out);
        return;
    }
    DecodeEightBitText(bytes, delivered, cp, forceCP, out);
}

std::u16string TWordConverter::ReadWord6Text(TMemoryStream& doc, int32_t cp, bool forceCP) {
    // The text runs from fcMin up to fcMac; read only when that range lies in
    // the stream. A range of 0 bytes still goes through decoding, so an
    // unknown forced code page is reported.
    doc.Seek(kFibWord6FcMin);
    const uint32_t fcMin = doc.ReadU32();
    const uint32_t fcMac = doc.ReadU32();
    std::u16string text;
    if (fcMin > fcMac || fcMac > doc.Size()) return text;
    doc.Seek(fcMin);
    size_t delivered = 0;
    const uint8_t* bytes = doc.ReadView(fcMac - fcMin, delivered);
    static const uint8_t kNoBytes[1] = {0};
    DecodeEightBitText(delivered ? bytes : kNoBytes, delivered, cp, forceCP, text);
    return text;
}

}  // namespace pagelet
