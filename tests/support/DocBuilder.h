#pragma once

// Test-only builder of Word binary documents: a "WordDocument" stream with
// the few FIB fields the converter reads, a table stream with a CLX, and
// piece text placed at chosen offsets, written as a compound file.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "support/CfbWriter.h"

namespace pagelet {

// FcCompressed of an 8-bit piece whose text starts at this offset.
constexpr uint32_t CompressedFc(uint32_t offset) { return 0x40000000u | (offset << 1); }

struct TPcd {
    uint32_t Fc = 0;  // FcCompressed
    uint8_t Flags = 0;
    uint8_t Fn = 0;
    int16_t Prm = 0;
};

// The bytes of a CLX: Prc and Pcdt entries in the order they are added.
class TClxBuilder {
public:
    // clxt 1, cbGrpprl = grpprl.size(), then the bytes.
    TClxBuilder& Prc(const std::vector<uint8_t>& grpprl);
    // clxt 1 with an arbitrary cbGrpprl and nothing after it.
    TClxBuilder& PrcHeader(int16_t cbGrpprl);
    // clxt 2, lcb = 4 * cps + 8 * pcds, then the PlcPcd.
    TClxBuilder& Pcdt(const std::vector<uint32_t>& cps, const std::vector<TPcd>& pcds);
    // clxt 2 with the given lcb; the cps and pcds follow as given.
    TClxBuilder& PcdtWithLcb(int32_t lcb, const std::vector<uint32_t>& cps, const std::vector<TPcd>& pcds);
    TClxBuilder& Raw(const std::vector<uint8_t>& bytes);

    const std::vector<uint8_t>& Bytes() const { return bytes_; }

private:
    std::vector<uint8_t> bytes_;
};

class TDocBuilder {
public:
    // A Word 97-2003 document (wIdent 0xA5EC, "0Table") with an empty table.
    TDocBuilder();

    TDocBuilder& WIdent(uint16_t wIdent);
    // The FIB flags word at 0x0A; bit 9 (fWhichTblStm) selects "1Table".
    TDocBuilder& Flags(uint16_t flags);
    // Places the CLX in the selected table stream at fcClx and sets fcClx
    // and lcbClx (lcbClx = its size unless given).
    TDocBuilder& Clx(const TClxBuilder& clx, uint32_t fcClx = 0x20);
    TDocBuilder& Clx(const TClxBuilder& clx, uint32_t fcClx, uint32_t lcbClx);
    // Overrides fcClx and lcbClx in the FIB without touching the table.
    TDocBuilder& FcLcbClx(uint32_t fcClx, uint32_t lcbClx);
    // A Word 6/95 document: wIdent 0xA5DC, fcMin at 0x18 and fcMac at 0x1C.
    TDocBuilder& Word6(uint32_t fcMin, uint32_t fcMac);

    // Bytes of "WordDocument" at an offset (the stream grows as needed).
    TDocBuilder& DocBytes(uint32_t offset, std::string_view bytes);
    TDocBuilder& DocBytes(uint32_t offset, const std::vector<uint8_t>& bytes);
    TDocBuilder& DocText16(uint32_t offset, std::u16string_view text);
    // Cuts or pads "WordDocument" to exactly this size.
    TDocBuilder& DocSize(size_t size);

    // The raw content of a table stream ("0Table" or "1Table"), replacing
    // what Clx put there.
    TDocBuilder& Table(const std::u16string& name, const std::vector<uint8_t>& bytes);
    // Cuts the selected table stream to this size.
    TDocBuilder& TableSize(size_t size);
    // Leaves a stream out of the file ("WordDocument", "0Table", "1Table").
    TDocBuilder& Omit(const std::u16string& name);

    std::vector<uint8_t> Build(const TCfbOptions& options = {}) const;
    std::unique_ptr<TTempFile> Write(const TCfbOptions& options = {}) const;

    const std::vector<uint8_t>& DocStream() const { return doc_; }

private:
    std::u16string SelectedTable() const;
    void Put(uint32_t offset, const uint8_t* data, size_t size);

    std::vector<uint8_t> doc_;
    std::vector<uint8_t> table0_;
    std::vector<uint8_t> table1_;
    std::vector<std::u16string> omitted_;
};

}  // namespace pagelet
