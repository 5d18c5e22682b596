#include "converter/WordConverter.h"

#include <algorithm>
#include <array>
#include <bit>
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

// Parts of a piece are decoded this many bytes at a time.
constexpr size_t kChunkBytes = 64 * 1024;

void AppendDecoded(std::optional<std::u16string>&& decoded, std::u16string& out) {
    if (!decoded) return;
    if (out.empty() && out.capacity() <= decoded->capacity()) {
        out = std::move(*decoded);
    } else {
        out += *decoded;
    }
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
    word::CheckForcedCodePage(cp, forceCP);
    AppendDecoded(PlatformDecode(static_cast<uint32_t>(cp), data, size, false), out);
}

// True when 8-bit text in this setting may be decoded in parts cut anywhere.
bool DecodesByteByByte(int32_t cp, bool forceCP) {
    if (!forceCP || cp == 0) return IsSingleByteCodePage(SystemAnsiCodePage());
    return cp > 0 && cp != 65001 && IsSingleByteCodePage(static_cast<uint32_t>(cp));
}

// Each byte's code unit when 8-bit text in this setting has one unit per
// byte (see DecodesByteByByte); nullptr otherwise.
const TSingleByteTable* ByteTable(int32_t cp, bool forceCP) {
    if (!DecodesByteByByte(cp, forceCP)) return nullptr;
    return SingleByteTable(!forceCP || cp == 0 ? 0 : static_cast<uint32_t>(cp));
}

}  // namespace

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
    byteTable_ = nullptr;
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
        ReadPieceText(*doc_, part, cp_, forceCP_, byteTable_, *sink_);
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
    const word::TFibHead fib = word::ReadFibHead(*doc_);

    if (fib.wIdent == word::kWIdentWord6) {
        // The text runs from fcMin up to fcMac; read only when that range
        // lies in the stream. A range of 0 bytes still checks a forced code
        // page, so an unknown one is reported.
        if (fib.fcMin > fib.fcMac || fib.fcMac > doc_->Size()) return true;
        word::CheckForcedCodePage(cp, forceCP);
        if (fib.fcMac > fib.fcMin) byteTable_ = ByteTable(cp, forceCP);
        sink_->Expect(fib.fcMac - fib.fcMin);
        if (fib.fcMac > fib.fcMin) pieces_.push_back({fib.fcMin, fib.fcMac, false});
        return true;
    }
    if (fib.wIdent != word::kWIdentWord97) return false;

    word::TTextPieces pieces;
    {
        std::unique_ptr<TStorageStream> tableStream = StorageOpenStream(storage, fib.TableName());
        if (!tableStream) return false;
        std::vector<uint8_t> table(static_cast<size_t>(tableStream->Size()));
        table.resize(tableStream->ReadAt(0, table.data(), table.size()));
        pieces = word::ReadTextPieces(table, fib.fcClx, fib.lcbClx, doc_->Size());
    }  // the table stream is not needed for the pieces

    // A forced code page the platform lacks fails before any text is given.
    if (pieces.eightBit) {
        word::CheckForcedCodePage(cp, forceCP);
        byteTable_ = ByteTable(cp, forceCP);
    }

    sink_->Expect(static_cast<size_t>(std::min<uint64_t>(pieces.totalUnits, SIZE_MAX)));
    pieces_ = std::move(pieces.pieces);
    return true;
}

uint32_t TWordConverter::BytesPerChar(bool unicode) { return unicode ? 2 : 1; }

void TWordConverter::ReadPieceText(TStorageStream& doc, const TPieceBounds& bounds, int32_t cp, bool forceCP,
                                   const TSingleByteTable* table, TLimitedSink& sink) {
    if (!bounds.unicode) {
        ReadEightBitText(doc, bounds.start, bounds.end, cp, forceCP, table, sink);
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
                                      const TSingleByteTable* table, TLimitedSink& sink) {
    if (table != nullptr) {
        // One unit per byte: through the table, a part at a time.
        const size_t part = static_cast<size_t>(std::min<uint64_t>(kChunkBytes, end - start));
        std::vector<uint8_t> bytes(part);
        std::u16string units(part, u'\0');
        uint64_t at = start;
        do {
            const size_t got = doc.ReadAt(at, bytes.data(), static_cast<size_t>(std::min<uint64_t>(part, end - at)));
            if (got == 0) break;
            for (size_t i = 0; i < got; ++i) units[i] = (*table)[bytes[i]];
            sink.Append(units.data(), got);
            at += got;
        } while (at < end && !sink.Full());
        return;
    }
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
