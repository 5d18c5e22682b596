#pragma once

// Plain text of a Word 97-2003 or Word 6/95 binary document: the compound
// file's "WordDocument" stream, its FIB, the CLX of the table stream and the
// pieces of the piece table, each decoded as UTF-16 or as 8-bit text.

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <functional>

#include "common/CodePage.h"
#include "converter/CompoundFile.h"
#include "converter/WordFormat.h"

namespace pagelet {

// Receives a document's text in parts, in order.
class TTextSink {
public:
    virtual ~TTextSink() = default;
    // About how many code units will come (at most this many); a hint.
    virtual void Expect(size_t units) { (void)units; }
    // The next part of the text.
    virtual void Append(std::u16string_view text) = 0;
    // True once the text is no longer wanted (its viewer closed): a text
    // stage asks between its steps and stops as it would when full.
    virtual bool Cancelled() const { return false; }
};

// What a text stage made of an open document.
enum class TStageResult {
    NotWord,   // not a Word document this converter reads: no text
    Done,      // the stage's text went to the sink
    Fallback,  // the stage cannot read this document: nothing was delivered;
               // the converter's own text stands in for it
};

// A second way through a document, run on its open compound file in place
// of the converter's own text (the reading layout, loading/ReadingLayout.h):
// it hands its text to sink in parts and stops when full() answers true.
// reading says how "WordDocument" is read on Windows.
using TTextStage = std::function<TStageResult(TStorage& storage, int32_t cp, bool forceCP, TTextSink& sink,
                                              const std::function<bool()>& full, TStreamReading reading)>;

class TWordConverter {
public:
    TWordConverter();
    ~TWordConverter();
    // The text of the document, or the empty string when the file is not a
    // Word document this converter reads. Throws EPagelet for an open or read
    // failure of the compound file, "Range check error" for a negative
    // cbGrpprl, "Invalid code page" for a forced code page the platform
    // lacks, and for a piece table that does not fit in its table stream.
    std::u16string LoadText(const std::u16string& fileName, bool printable, int32_t cp, bool forceCP);

    // The same text, handed to sink in parts as it is decoded, so that a
    // caller need not hold it whole; the same failures. Returns false when
    // LoadText would return the empty string for want of a Word document.
    // An error may come after some parts were delivered.
    bool ExtractText(const std::u16string& fileName, bool printable, int32_t cp, bool forceCP, TTextSink& sink);

    // The same text in steps, for a caller that shows it while it is
    // decoded. Open reads what decides whether the document can be shown
    // (the compound file, the FIB, the piece table, a forced code page) with
    // the same answers and failures as ExtractText before its first part;
    // the WordDocument stream is read on demand. DecodeMore then hands about
    // `units` more code units (before the printable filter; a piece of a
    // multi-byte code page goes whole) to the sink Open was given and
    // answers false once the text is complete, when the file is released.
    bool Open(const std::u16string& fileName, bool printable, int32_t cp, bool forceCP, TTextSink& sink);
    bool DecodeMore(size_t units);

    // Stops both after this many UTF-16 code units of the text (after the
    // printable filter), decoding only what they need: the text is that of a
    // full load cut at this length. SIZE_MAX (the default) for no limit.
    void SetMaxChars(size_t maxChars) { maxChars_ = maxChars; }

    // With a stage, both give the stage's text of the document instead of its
    // plain text, through the same printable filter and length limit; a
    // document the stage cannot read gives the plain text (or its error)
    // instead. None by default.
    void SetTextStage(TTextStage stage) { stage_ = std::move(stage); }

private:
    class TLimitedSink;
    using TPieceBounds = word::TTextPiece;

    bool Prepare(const std::u16string& fileName, int32_t cp, bool forceCP, TStreamReading reading);
    bool PrepareFromStorage(TStorage& storage, int32_t cp, bool forceCP, TStreamReading reading);
    static uint32_t BytesPerChar(bool unicode);
    static void ReadPieceText(TStorageStream& doc, const TPieceBounds& bounds, int32_t cp, bool forceCP,
                              const TSingleByteTable* table, TLimitedSink& sink);
    static void ReadEightBitText(TStorageStream& doc, uint64_t start, uint64_t end, int32_t cp, bool forceCP,
                                 const TSingleByteTable* table, TLimitedSink& sink);

    size_t maxChars_ = SIZE_MAX;
    TTextStage stage_;

    // Between Open (or ExtractText's start) and the end of the text: the
    // open file, the pieces still to decode and where the decoding stands.
    TStoragePtr storage_;
    std::unique_ptr<TStorageStream> doc_;
    std::vector<TPieceBounds> pieces_;
    size_t piece_ = 0;
    uint64_t pieceDone_ = 0;  // bytes of pieces_[piece_] decoded
    int32_t cp_ = 0;
    bool forceCP_ = false;
    // 8-bit text in a code page of one code unit per byte: each byte's unit.
    const TSingleByteTable* byteTable_ = nullptr;
    std::unique_ptr<TLimitedSink> sink_;
};

}  // namespace pagelet
