#include "converter/WordConverter.h"

#include <algorithm>
#include <bit>
#include <cassert>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <memory>
#include <system_error>

#include "common/Error.h"
#include "common/Utf.h"
#include "common/CodePage.h"
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

// Parts of a piece are decoded this many bytes at a time.
constexpr size_t kChunkBytes = 64 * 1024;

std::u16string DecimalText(uint64_t value) { return AsciiToUtf16(std::to_string(value)); }

void AppendDecoded(std::optional<std::u16string>&& decoded, std::u16string& out) {
    if (!decoded) return;
    if (out.empty() && out.capacity() <= decoded->capacity()) {
        out = std::move(*decoded);
    } else {
        out += *decoded;
    }
}

// Whether a forced code page can decode; "Invalid code page" otherwise.
void CheckCodePage(int32_t cp, bool forceCP) {
    if (!forceCP || cp == 0 || cp == 1200 || cp == 1201 || cp == 65001) return;
    if (cp < 0 || !IsKnownCodePage(static_cast<uint32_t>(cp))) throw EPagelet(u"Invalid code page");
}

// Decodes 8-bit text: with forceCP, by the code page cp (1200 and 1201 as
// UTF-16 LE/BE, 65001 strict UTF-8, 0 the system's ANSI code page, else the
// platform's conversion; "Invalid code page" for one it lacks); without, by
// the system's ANSI code page. Appends to out.
void DecodeEightBitText(const uint8_t* data, size_t size, int32_t cp, bool forceCP, std::u16string& out) {
    if (!forceCP || cp == 0) {
        AppendDecoded(PlatformDecode(SystemAnsiCodePage(), data, size, false), out);
        return;
    }
    switch (cp) {
    case 1200:  // UTF-16 little-endian; an odd last byte is dropped
        AppendUtf16Bytes(data, size, false, out);
        return;
    case 1201:  // UTF-16 big-endian
        AppendUtf16Bytes(data, size, true, out);
        return;
    case 65001:  // strict UTF-8: an invalid sequence empties the whole run
        AppendDecoded(PlatformDecode(65001, data, size, true), out);
        return;
    default:
        break;
    }
    CheckCodePage(cp, forceCP);
    AppendDecoded(PlatformDecode(static_cast<uint32_t>(cp), data, size, false), out);
}

// True when 8-bit text in this setting may be decoded in parts cut anywhere.
bool DecodesByteByByte(int32_t cp, bool forceCP) {
    if (!forceCP || cp == 0) return IsSingleByteCodePage(SystemAnsiCodePage());
    return cp > 0 && cp != 65001 && IsSingleByteCodePage(static_cast<uint32_t>(cp));
}

}  // namespace

// A stream's bytes in memory (the table stream, the head of
// "WordDocument"). Any position may be set, also beyond the end; a read
// delivers the bytes between the position and the end, at most n, and
// advances by what it delivered; the bytes missing at the end read as zero.
class TWordConverter::TMemoryStream {
public:
    explicit TMemoryStream(std::vector<uint8_t> bytes) : bytes_(std::move(bytes)) {}

    uint64_t Size() const { return bytes_.size(); }
    uint64_t Position() const { return position_; }
    void Seek(uint64_t position) { position_ = position; }
    // Skips up to n bytes the way a read would deliver them.
    void Skip(uint64_t n) {
        if (position_ < bytes_.size()) position_ += std::min<uint64_t>(n, bytes_.size() - position_);
    }

    uint8_t ReadU8() {
        uint8_t b[1] = {0};
        Read(b, 1);
        return b[0];
    }
    uint16_t ReadU16() {
        uint8_t b[2] = {0, 0};
        Read(b, 2);
        return static_cast<uint16_t>(b[0] | (b[1] << 8));
    }
    uint32_t ReadU32() {
        uint8_t b[4] = {0, 0, 0, 0};
        Read(b, 4);
        return static_cast<uint32_t>(b[0]) | (static_cast<uint32_t>(b[1]) << 8) | (static_cast<uint32_t>(b[2]) << 16) |
               (static_cast<uint32_t>(b[3]) << 24);
    }

private:
    void Read(uint8_t* dest, size_t n) {
        if (position_ >= bytes_.size()) return;
        const size_t delivered = static_cast<size_t>(std::min<uint64_t>(n, bytes_.size() - position_));
        std::memcpy(dest, bytes_.data() + position_, delivered);
        position_ += delivered;
    }

    std::vector<uint8_t> bytes_;
    uint64_t position_ = 0;
};

// Applies the printable filter and the length limit before the caller's sink.
class TWordConverter::TLimitedSink {
public:
    TLimitedSink(TTextSink& sink, bool printable, size_t maxChars)
        : sink_(sink), printable_(printable), left_(maxChars) {}

    bool Full() const { return left_ == 0 || sink_.Cancelled(); }
    void Expect(size_t units) { sink_.Expect(std::min(units, left_)); }
    // Takes text that the caller no longer needs (the filter works in place).
    void Append(char16_t* text, size_t n) {
        if (printable_) n = FilterPrintableInPlace(text, n);
        Pass(text, n);
    }
    // Text the caller keeps: filtered in a copy of its own when need be.
    void AppendView(const char16_t* text, size_t n) {
        if (!printable_) {
            Pass(text, n);
            return;
        }
        scratch_.assign(text, std::min(n, kChunkBytes / 2));
        Append(scratch_.data(), scratch_.size());
    }
    void Append(std::u16string& text) { Append(text.data(), text.size()); }

private:
    void Pass(const char16_t* text, size_t n) {
        n = std::min(n, left_);
        if (n == 0) return;
        left_ -= n;
        sink_.Append(std::u16string_view(text, n));
    }

    TTextSink& sink_;
    bool printable_;
    size_t left_;
    std::u16string scratch_;
};

// --- TWordConverter --------------------------------------------------------

namespace {

// Collects the text in one string.
class TStringSink final : public TTextSink {
public:
    void Expect(size_t units) override { text.reserve(units); }
    void Append(std::u16string_view part) override { text += part; }
    std::u16string text;
};

// The streams a Word document is read from.
constexpr std::u16string_view kWordStreams[] = {u"WordDocument", u"0Table", u"1Table"};

}  // namespace

std::u16string TWordConverter::LoadText(const std::u16string& fileName, bool printable, int32_t cp, bool forceCP) {
    TStringSink sink;
    ExtractText(fileName, printable, cp, forceCP, sink);
    return std::move(sink.text);
}

TWordConverter::TWordConverter() = default;
TWordConverter::~TWordConverter() = default;

bool TWordConverter::ExtractText(const std::u16string& fileName, bool printable, int32_t cp, bool forceCP,
                                 TTextSink& sink) {
    // A load cut short needs only the first pieces of the stream.
    const TStreamReading reading = maxChars_ == SIZE_MAX ? TStreamReading::Whole : TStreamReading::OnDemand;
    sink_ = std::make_unique<TLimitedSink>(sink, printable, maxChars_);
    if (!Prepare(fileName, cp, forceCP, reading)) return false;
    while (DecodeMore(SIZE_MAX)) {}
    return true;
}

bool TWordConverter::Open(const std::u16string& fileName, bool printable, int32_t cp, bool forceCP, TTextSink& sink) {
    sink_ = std::make_unique<TLimitedSink>(sink, printable, maxChars_);
    return Prepare(fileName, cp, forceCP, TStreamReading::OnDemand);
}

bool TWordConverter::Prepare(const std::u16string& fileName, int32_t cp, bool forceCP, TStreamReading reading) {
    doc_.reset();
    storage_.reset();
    pieces_.clear();
    piece_ = 0;
    pieceDone_ = 0;
    cp_ = cp;
    forceCP_ = forceCP;
    std::error_code ec;
    if (!std::filesystem::is_regular_file(std::filesystem::path(fileName), ec)) return false;
    if (!StorageIsCompoundFile(fileName)) return false;
    storage_ = StorageOpen(fileName, kWordStreams);
    bool ok = false;
    try {
        ok = PrepareFromStorage(*storage_, cp, forceCP, reading);
    } catch (...) {
        doc_.reset();
        storage_.reset();
        throw;
    }
    if (!ok) {
        doc_.reset();
        storage_.reset();
    }
    return ok;
}

bool TWordConverter::DecodeMore(size_t units) {
    while (units > 0 && piece_ < pieces_.size() && !sink_->Full()) {
        const TPieceBounds& piece = pieces_[piece_];
        TPieceBounds part{piece.start + pieceDone_, piece.end, piece.unicode};
        // UTF-16 and one-byte code pages may stop anywhere (a UTF-16 part
        // at a whole code unit); other code pages decode the piece whole.
        const uint64_t bytesPerUnit = BytesPerChar(piece.unicode);
        if (piece.unicode || DecodesByteByByte(cp_, forceCP_)) {
            if ((piece.end - part.start) / bytesPerUnit > units) part.end = part.start + uint64_t{units} * bytesPerUnit;
        }
        ReadPieceText(*doc_, part, cp_, forceCP_, *sink_);
        const uint64_t done = part.end - part.start;
        units -= static_cast<size_t>(std::min<uint64_t>(units, done / bytesPerUnit));
        pieceDone_ += done;
        if (part.end >= piece.end) {
            ++piece_;
            pieceDone_ = 0;
        }
    }
    if (piece_ < pieces_.size() && !sink_->Full()) return true;
    // The text is complete: the file goes.
    doc_.reset();
    storage_.reset();
    pieces_.clear();
    return false;
}

bool TWordConverter::PrepareFromStorage(TStorage& storage, int32_t cp, bool forceCP, TStreamReading reading) {
    // Both lists live only while the pieces are worked out, also when that fails.
    struct TPieceTableReset {
        TWordConverter& converter;
        ~TPieceTableReset() {
            converter.FileOffsetCollection = {};
            converter.PieceDescriptorCollection = {};
        }
    } reset{*this};

    if (stage_) {
        // The stage's text goes through the same filter and limit, in parts
        // small enough for the filter's copy.
        class TLimitedTextSink final : public TTextSink {
        public:
            explicit TLimitedTextSink(TLimitedSink& sink) : limited_(sink) {}
            void Expect(size_t units) override { limited_.Expect(units); }
            void Append(std::u16string_view text) override {
                for (size_t at = 0; at < text.size(); at += kChunkBytes / 4)
                    limited_.AppendView(text.data() + at, std::min(kChunkBytes / 4, text.size() - at));
            }

        private:
            TLimitedSink& limited_;
        } layoutSink(*sink_);
        switch (stage_(storage, cp, forceCP, layoutSink, [this] { return sink_->Full(); }, reading)) {
        case TStageResult::NotWord:
            return false;
        case TStageResult::Done:
            return true;  // all of it is in the sink: no pieces are left to decode
        case TStageResult::Fallback:
            break;  // the plain text, as without the stage
        }
    }

    doc_ = StorageOpenStream(storage, u"WordDocument", reading);
    if (!doc_) return false;
    const TFib fib = ReadFib(*doc_);

    if (fib.wIdent == kWIdentWord6) {
        // The text runs from fcMin up to fcMac; read only when that range
        // lies in the stream. A range of 0 bytes still checks a forced code
        // page, so an unknown one is reported.
        uint8_t range[8] = {};
        doc_->ReadAt(kFibWord6FcMin, range, sizeof range);
        const uint32_t fcMin = range[0] | range[1] << 8 | range[2] << 16 | uint32_t{range[3]} << 24;
        const uint32_t fcMac = range[4] | range[5] << 8 | range[6] << 16 | uint32_t{range[7]} << 24;
        if (fcMin > fcMac || fcMac > doc_->Size()) return true;
        CheckCodePage(cp, forceCP);
        sink_->Expect(fcMac - fcMin);
        if (fcMac > fcMin) pieces_.push_back({fcMin, fcMac, false});
        return true;
    }
    if (fib.wIdent != kWIdentWord97) return false;

    {
        std::unique_ptr<TStorageStream> tableStream = StorageOpenStream(storage, fib.tableName);
        if (!tableStream) return false;
        std::vector<uint8_t> bytes(static_cast<size_t>(tableStream->Size()));
        bytes.resize(tableStream->ReadAt(0, bytes.data(), bytes.size()));
        TMemoryStream table(std::move(bytes));
        ReadClx(table, fib.fcClx, fib.lcbClx);
    }  // the table stream is not needed for the pieces

    // Piece i runs from character position i to i + 1: one more position
    // than pieces, which ReadClx keeps.
    assert(FileOffsetCollection.size() == PieceDescriptorCollection.size() + 1 ||
           (FileOffsetCollection.empty() && PieceDescriptorCollection.empty()));

    // A piece that runs past the end of "WordDocument" is cut there (a UTF-16
    // piece to whole code units); one whose next character position lies
    // below its own contributes nothing.
    const uint64_t docSize = doc_->Size();
    std::vector<TPieceBounds> pieces;
    pieces.reserve(PieceDescriptorCollection.size());
    uint64_t totalBytes = 0;
    uint64_t totalUnits = 0;
    bool eightBit = false;
    for (size_t i = 0; i < PieceDescriptorCollection.size(); ++i) {
        if (FileOffsetCollection[i + 1].value < FileOffsetCollection[i].value) continue;
        TPieceBounds bounds = GetPieceBounds(i);
        if (bounds.start >= docSize || bounds.end <= bounds.start) continue;
        bounds.end = std::min(bounds.end, docSize);
        if (bounds.unicode) bounds.end -= (bounds.end - bounds.start) % 2;
        if (bounds.end == bounds.start) continue;
        totalBytes += bounds.end - bounds.start;
        totalUnits += bounds.unicode ? (bounds.end - bounds.start) / 2 : bounds.end - bounds.start;
        eightBit = eightBit || !bounds.unicode;
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
    // A forced code page the platform lacks fails before any text is given.
    if (eightBit) CheckCodePage(cp, forceCP);

    sink_->Expect(static_cast<size_t>(std::min<uint64_t>(totalUnits, SIZE_MAX)));
    pieces_ = std::move(pieces);
    return true;
}

TWordConverter::TFib TWordConverter::ReadFib(TStorageStream& stream) {
    // Fields that lie beyond the end of the stream read as zero.
    std::vector<uint8_t> head(kFibFcClx + 8);
    head.resize(stream.ReadAt(0, head.data(), head.size()));
    TMemoryStream doc(std::move(head));
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

void TWordConverter::ReadPieceText(TStorageStream& doc, const TPieceBounds& bounds, int32_t cp, bool forceCP,
                                   TLimitedSink& sink) {
    if (!bounds.unicode) {
        ReadEightBitText(doc, bounds.start, bounds.end, cp, forceCP, sink);
        return;
    }
    // Copied as stored: nulls, controls and unpaired surrogates stay. A
    // stream held in memory is handed over in place, part by part.
    const uint8_t* data = doc.Data();
    if (std::endian::native == std::endian::little && data != nullptr &&
        reinterpret_cast<uintptr_t>(data + bounds.start) % alignof(char16_t) == 0) {
        const auto* units = reinterpret_cast<const char16_t*>(data + bounds.start);
        const size_t count = static_cast<size_t>((bounds.end - bounds.start) / 2);
        for (size_t at = 0; at < count && !sink.Full(); at += kChunkBytes / 2)
            sink.AppendView(units + at, std::min(kChunkBytes / 2, count - at));
        return;
    }
    // Otherwise the bytes are read straight into the code units that go to
    // the sink.
    // Documents may have thousands of short pieces: the buffer is no larger
    // than the piece.
    std::u16string units(static_cast<size_t>(std::min<uint64_t>(kChunkBytes, bounds.end - bounds.start) / 2), u'\0');
    for (uint64_t at = bounds.start; at < bounds.end && !sink.Full();) {
        const size_t want = static_cast<size_t>(std::min<uint64_t>(kChunkBytes, bounds.end - at));
        const size_t got = doc.ReadAt(at, units.data(), want);
        if (got < 2) break;
        const size_t n = got / 2;
        if constexpr (std::endian::native == std::endian::big) {
            for (size_t i = 0; i < n; ++i) units[i] = static_cast<char16_t>(units[i] >> 8 | units[i] << 8);
        }
        sink.Append(units.data(), n);
        at += got;
    }
}

void TWordConverter::ReadEightBitText(TStorageStream& doc, uint64_t start, uint64_t end, int32_t cp, bool forceCP,
                                      TLimitedSink& sink) {
    // Code pages of one unit per byte are decoded a part at a time; the
    // others need the whole run at once (a character may span a cut, and
    // strict UTF-8 empties the whole run on an invalid sequence).
    const bool byParts = DecodesByteByByte(cp, forceCP);
    const size_t part = static_cast<size_t>(std::min<uint64_t>(byParts ? kChunkBytes : SIZE_MAX, end - start));
    std::vector<uint8_t> bytes(std::max<size_t>(part, 1));
    std::u16string text;
    uint64_t at = start;
    do {
        const size_t want = static_cast<size_t>(std::min<uint64_t>(part, end - at));
        const size_t got = want != 0 ? doc.ReadAt(at, bytes.data(), want) : 0;
        text.clear();
        DecodeEightBitText(bytes.data(), got, cp, forceCP, text);
        sink.Append(text);
        if (got == 0) break;
        at += got;
    } while (at < end && !sink.Full());
}

}  // namespace pagelet
