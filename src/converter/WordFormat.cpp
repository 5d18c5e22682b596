#include "converter/WordFormat.h"

#include <algorithm>
#include <array>

#include "common/CodePage.h"
#include "common/Error.h"
#include "common/Utf.h"

namespace pagelet::word {

namespace {

// Little-endian values in a block of file data; what lies past its end reads
// as zero.
uint16_t U16At(std::span<const uint8_t> bytes, size_t at) { return TByteReader(bytes).PeekZeroFilled<uint16_t>(at); }
uint32_t U32At(std::span<const uint8_t> bytes, size_t at) { return TByteReader(bytes).PeekZeroFilled<uint32_t>(at); }

std::u16string DecimalText(uint64_t value) { return AsciiToUtf16(std::to_string(value)); }

// Operand sizes of the Word 6/95 sprms by opcode: 0 unknown, kVar a count
// byte before the operand, kVar2 a count word, kTabs sprmPChgTabs.
constexpr uint8_t kVar = 255, kVar2 = 254, kTabs = 253;
constexpr std::array<uint8_t, 256> MakeWord6Sizes() {
    std::array<uint8_t, 256> s{};
    auto set = [&](int from, int to, uint8_t size) {
        for (int i = from; i <= to; ++i) s[static_cast<size_t>(i)] = size;
    };
    // Paragraph sprms.
    s[2] = 2;
    s[3] = kVar;
    set(4, 11, 1);
    s[12] = kVar;
    set(13, 14, 1);
    s[15] = kVar;
    set(16, 19, 2);
    s[20] = 4;
    set(21, 22, 2);
    s[23] = kTabs;
    set(24, 25, 1);
    set(26, 28, 2);
    s[29] = 1;
    set(30, 36, 2);
    s[37] = 1;
    set(38, 43, 2);
    s[44] = 1;
    set(45, 49, 2);
    set(50, 51, 1);
    s[52] = kVar;
    set(53, 58, 1);
    // Character sprms.
    set(65, 67, 1);
    s[68] = kVar;
    s[69] = 2;
    s[70] = 4;
    s[71] = 1;
    s[72] = 2;
    s[73] = 3;
    s[74] = kVar;
    s[75] = 1;
    s[80] = 2;
    s[81] = kVar;
    set(85, 92, 1);
    s[93] = 2;
    s[94] = 1;
    s[95] = 3;
    set(96, 97, 2);
    s[98] = 1;
    s[99] = 2;
    set(100, 102, 1);
    s[103] = kVar;
    s[104] = 1;
    set(105, 106, kVar);
    s[107] = 2;
    s[108] = kVar;
    set(109, 110, 2);
    set(117, 119, 1);
    s[120] = kVar;
    set(121, 124, 2);
    // Section sprms.
    set(131, 132, 1);
    s[133] = kVar;
    set(136, 137, 3);
    set(138, 139, 1);
    set(140, 141, 2);
    set(142, 143, 1);
    set(144, 145, 2);
    set(146, 147, 1);
    set(148, 149, 2);
    set(150, 153, 1);
    set(154, 157, 2);
    set(158, 159, 1);
    set(160, 161, 2);
    s[162] = 1;
    set(164, 171, 2);
    // Table sprms.
    set(182, 184, 2);
    set(185, 186, 1);
    s[187] = 12;
    s[188] = kVar2;
    s[189] = 2;
    s[190] = kVar2;
    s[191] = kVar;
    s[192] = 4;
    s[193] = 5;
    s[194] = 4;
    s[195] = 2;
    s[196] = 4;
    set(197, 198, 2);
    s[199] = 5;
    s[200] = 4;
    return s;
}
constexpr std::array<uint8_t, 256> kWord6Sizes = MakeWord6Sizes();

// sprmPChgTabs with the count byte 255: its operand is measured by its
// deleted and added tab lists.
size_t ChgTabsSize(std::span<const uint8_t> g, size_t start) {
    if (start >= g.size()) return SIZE_MAX;
    if (g[start] != 255) return size_t{g[start]} + 1;
    size_t at = start + 1;
    if (at >= g.size()) return SIZE_MAX;
    at += 1 + size_t{g[at]} * 4;
    if (at >= g.size()) return SIZE_MAX;
    at += 1 + size_t{g[at]} * 3;
    return at - start;
}

// Word 97-2003 opcodes.
constexpr uint16_t sprmCFRMarkDel = 0x0800, sprmCFVanish = 0x083C, sprmCFSpec = 0x0855, sprmCFObj = 0x0856,
                   sprmCSymbol = 0x6A09, sprmCIstd = 0x4A30, sprmCRgFtc0 = 0x4A4F, sprmCRgLid0_80 = 0x486D,
                   sprmCRgLid0 = 0x4873, sprmPFInTable = 0x2416, sprmPFTtp = 0x2417, sprmPItap = 0x6649,
                   sprmPDtap = 0x664A, sprmPFInnerTableCell = 0x244B, sprmPFInnerTtp = 0x244C, sprmPIlvl = 0x260A,
                   sprmPIlfo = 0x460B, sprmPIstd = 0x4600, sprmPOutLvl = 0x2640, sprmPChgTabs = 0xC615,
                   sprmTDefTable = 0xD608, sprmTDefTable10 = 0xD606, sprmPDcs = 0x442C, sprmCPicLocation = 0x6A03;
// Word 6/95 opcodes (also the Prm0 indices).
constexpr uint8_t w6PIstd = 2, w6PIlvl = 0x0C, w6PFInTable = 24, w6PFTtp = 25, w6PDcs = 46, w6CFRMarkDel = 65,
                  w6CPicLocation = 68, w6CSymbol = 74, w6CIstd = 80, w6CFVanish = 92, w6CFtc = 93, w6CLid = 97,
                  w6CFSpec = 117, w6CFObj = 118;

bool Toggle(bool current, uint8_t value) {
    switch (value) {
    case 0:
        return false;
    case 1:
        return true;
    case 0x81:
        return !current;
    default:  // 0x80: as the style has it
        return current;
    }
}

}  // namespace

TBytes ReadBlock(TStorageStream& stream, uint64_t fc, uint64_t lcb, uint64_t maxBytes) {
    const uint64_t size = stream.Size();
    if (lcb == 0 || lcb > maxBytes || fc > size || lcb > size - fc) return {};
    TBytes bytes(static_cast<size_t>(lcb));
    if (stream.ReadAt(fc, bytes.data(), bytes.size()) != bytes.size()) return {};
    return bytes;
}

// --- FIB -------------------------------------------------------------------

namespace {

// FIB offsets: the flags word in both layouts, fcMin and fcMac in the Word
// 6/95 FIB, and fcClx and lcbClx where a Word 97-2003 FIB of the usual size
// (csw 14, cslw 22) has them.
constexpr uint64_t kFibFlags = 0x000A;
constexpr uint64_t kFibWord6FcMin = 0x0018;
constexpr uint64_t kFibWord6FcMac = 0x001C;
constexpr uint64_t kFibEnvr = 0x0012;  // 0 made by Windows Word, 1 by Mac Word
constexpr uint64_t kFibFcClx = 0x01A2;
constexpr uint64_t kFibLcbClx = 0x01A6;

}  // namespace

std::u16string TFibHead::TableName() const { return (flags & kFibWhichTblStm) != 0 ? u"1Table" : u"0Table"; }

TFibHead ReadFibHead(TStorageStream& doc) {
    std::array<uint8_t, kFibLcbClx + 4> head{};
    TFibHead fib;
    fib.bytes = doc.ReadAt(0, head.data(), head.size());
    const TByteReader r(head.data(), fib.bytes);
    fib.wIdent = r.PeekZeroFilled<uint16_t>(0);
    fib.flags = r.PeekZeroFilled<uint16_t>(kFibFlags);
    fib.fcMin = r.PeekZeroFilled<uint32_t>(kFibWord6FcMin);
    fib.fcMac = r.PeekZeroFilled<uint32_t>(kFibWord6FcMac);
    fib.fcClx = r.PeekZeroFilled<uint32_t>(kFibFcClx);
    fib.lcbClx = r.PeekZeroFilled<uint32_t>(kFibLcbClx);
    return fib;
}

bool ReadFibInfo(TStorageStream& doc, TFibInfo& fib) {
    std::array<uint8_t, 0x600> head{};
    const size_t got = doc.ReadAt(0, head.data(), head.size());
    TByteReader r(head.data(), got);
    uint16_t wIdent = 0, flags = 0;
    if (!r.PeekAt(0, wIdent) || !r.PeekAt(kFibFlags, flags)) return false;
    auto fcLcbAt = [&](uint64_t at) {
        TFcLcb v;
        if (!r.PeekAt(at, v.fc) || !r.PeekAt(at + 4, v.lcb)) return TFcLcb{};
        return v;
    };
    fib.encrypted = (flags & kFibEncrypted) != 0;
    if (wIdent == kWIdentWord6) {
        fib.format = TFormat::Word6;
        fib.complex = (flags & kFibComplex) != 0;
        uint8_t envr = 0;
        r.PeekAt(kFibEnvr, envr);
        fib.mac = envr == 1;
        r.PeekAt(kFibWord6FcMin, fib.fcMin);
        r.PeekAt(kFibWord6FcMac, fib.fcMac);
        for (int k = 0; k < kStoryCount; ++k) r.PeekAt(0x34 + 4u * k, fib.ccp[k]);
        fib.stshf = fcLcbAt(0x60);
        fib.plcffndRef = fcLcbAt(0x68);
        fib.plcffndTxt = fcLcbAt(0x70);
        fib.plcfandRef = fcLcbAt(0x78);
        fib.plcfandTxt = fcLcbAt(0x80);
        fib.plcfHdd = fcLcbAt(0xB0);
        fib.plcfBteChpx = fcLcbAt(0xB8);
        fib.plcfBtePapx = fcLcbAt(0xC0);
        fib.sttbfFfn = fcLcbAt(0xD0);
        fib.plcfSed = fcLcbAt(0x88);
        fib.dop = fcLcbAt(0x150);
        fib.clx = fcLcbAt(0x160);
        fib.plcfendRef = fcLcbAt(0x1D2);
        fib.plcfendTxt = fcLcbAt(0x1DA);
        r.PeekAt(0x18A, fib.pnChpFirst);
        r.PeekAt(0x18C, fib.pnPapFirst);
        r.PeekAt(0x18E, fib.cpnBteChp);
        r.PeekAt(0x190, fib.cpnBtePap);
        return true;
    }
    if (wIdent != kWIdentWord97) return false;
    fib.format = TFormat::Word97;
    fib.complex = true;
    fib.tableName = (flags & kFibWhichTblStm) != 0 ? u"1Table" : u"0Table";
    uint16_t csw = 0, cslw = 0, cbRgFcLcb = 0;
    if (!r.PeekAt(0x20, csw)) return true;
    const uint64_t rgLw = 0x22 + uint64_t{csw} * 2 + 2;
    if (!r.PeekAt(rgLw - 2, cslw)) return true;
    for (int k = 0; k < kStoryCount; ++k)
        if (3u + k < cslw) r.PeekAt(rgLw + 4 * (3u + k), fib.ccp[k]);
    const uint64_t rgFcLcb = rgLw + uint64_t{cslw} * 4 + 2;
    if (!r.PeekAt(rgFcLcb - 2, cbRgFcLcb)) return true;
    auto entry = [&](unsigned i) { return i < cbRgFcLcb ? fcLcbAt(rgFcLcb + 8u * i) : TFcLcb{}; };
    fib.stshf = entry(1);
    fib.plcffndRef = entry(2);
    fib.plcffndTxt = entry(3);
    fib.plcfandRef = entry(4);
    fib.plcfSed = entry(6);
    fib.dop = entry(31);
    fib.plcfandTxt = entry(5);
    fib.plcfHdd = entry(11);
    fib.plcfBteChpx = entry(12);
    fib.plcfBtePapx = entry(13);
    fib.sttbfFfn = entry(15);
    fib.clx = entry(33);
    fib.grpXstAtnOwners = entry(36);
    fib.plcSpaMom = entry(40);
    fib.dggInfo = entry(50);
    fib.plcfendRef = entry(46);
    fib.plcfendTxt = entry(47);
    fib.plfLst = entry(73);
    fib.plfLfo = entry(74);
    return true;
}

// --- sprms -----------------------------------------------------------------

size_t SprmOperandSize(std::span<const uint8_t> g, size_t at, TFormat format, uint16_t& opcode, size_t& start) {
    if (format == TFormat::Word6) {
        opcode = g[at];
        const uint8_t size = kWord6Sizes[opcode];
        start = at + 1;
        switch (size) {
        case 0:
            return SIZE_MAX;
        case kVar:
            if (start >= g.size()) return SIZE_MAX;
            return g[start++];
        case kVar2:
            if (start + 2 > g.size()) return SIZE_MAX;
            start += 2;
            return U16At(g, start - 2);
        case kTabs: {
            const size_t n = ChgTabsSize(g, start);
            if (n == SIZE_MAX) return n;
            ++start;
            return n - 1;
        }
        default:
            return size;
        }
    }
    if (at + 2 > g.size()) return SIZE_MAX;
    opcode = U16At(g, at);
    start = at + 2;
    switch (opcode >> 13) {
    case 0:
    case 1:
        return 1;
    case 2:
    case 4:
    case 5:
        return 2;
    case 3:
        return 4;
    case 7:
        return 3;
    default:
        break;
    }
    if (opcode == sprmTDefTable || opcode == sprmTDefTable10) {
        if (start + 2 > g.size()) return SIZE_MAX;
        const uint16_t cb = U16At(g, start);
        start += 2;
        return cb == 0 ? 0 : cb - 1u;
    }
    if (opcode == sprmPChgTabs) {
        const size_t n = ChgTabsSize(g, start);
        if (n == SIZE_MAX) return n;
        ++start;
        return n - 1;
    }
    if (start >= g.size()) return SIZE_MAX;
    return g[start++];
}

void ApplyChpSprm(TChp& chp, uint16_t opcode, std::span<const uint8_t> op, TFormat format) {
    if (op.empty()) return;
    if (format == TFormat::Word6) {
        switch (opcode) {
        case w6CFRMarkDel:
            chp.rmarkDel = op[0] != 0;
            break;
        case w6CFVanish:
            chp.vanish = Toggle(chp.vanish, op[0]);
            break;
        case w6CFSpec:
            chp.spec = op[0] != 0;
            break;
        case w6CFObj:
            chp.obj = op[0] != 0;
            break;
        case w6CSymbol:
            if (op.size() >= 3) {
                chp.symbol = true;
                chp.symbolFont = U16At(op, 0);
                chp.symbolChar = op[2];
            }
            break;
        case w6CIstd:
            if (op.size() >= 2) chp.istd = U16At(op, 0);
            break;
        case w6CFtc:
            if (op.size() >= 2) chp.font = U16At(op, 0);
            break;
        case w6CLid:
            if (op.size() >= 2) chp.lid = U16At(op, 0);
            break;
        case w6CPicLocation:
            if (op.size() >= 4) chp.picLocation = U32At(op, 0);
            break;
        default:
            break;
        }
        return;
    }
    switch (opcode) {
    case sprmCFRMarkDel:
        chp.rmarkDel = op[0] != 0;
        break;
    case sprmCFVanish:
        chp.vanish = Toggle(chp.vanish, op[0]);
        break;
    case sprmCFSpec:
        chp.spec = op[0] != 0;
        break;
    case sprmCFObj:
        chp.obj = op[0] != 0;
        break;
    case sprmCSymbol:
        if (op.size() >= 4) {
            chp.symbol = true;
            chp.symbolFont = U16At(op, 0);
            chp.symbolChar = U16At(op, 2);
        }
        break;
    case sprmCIstd:
        if (op.size() >= 2) chp.istd = U16At(op, 0);
        break;
    case sprmCRgFtc0:
        if (op.size() >= 2) chp.font = U16At(op, 0);
        break;
    case sprmCRgLid0_80:
    case sprmCRgLid0:
        if (op.size() >= 2) chp.lid = U16At(op, 0);
        break;
    case sprmCPicLocation:
        if (op.size() >= 4) chp.picLocation = U32At(op, 0);
        break;
    default:
        break;
    }
}

void ApplyPapSprm(TPap& pap, uint16_t opcode, std::span<const uint8_t> op, TFormat format) {
    if (op.empty()) return;
    if (format == TFormat::Word6) {
        switch (opcode) {
        case w6PIstd:
            if (op.size() >= 2) pap.istd = U16At(op, 0);
            break;
        case w6PFInTable:
            pap.inTable = op[0] != 0;
            break;
        case w6PFTtp:
            pap.ttp = op[0] != 0;
            break;
        case w6PDcs:
            pap.dropCap = op[0] & 7;
            break;
        default:
            break;
        }
        return;
    }
    switch (opcode) {
    case sprmPIstd:
        if (op.size() >= 2) pap.istd = U16At(op, 0);
        break;
    case sprmPFInTable:
        pap.inTable = op[0] != 0;
        break;
    case sprmPFTtp:
        pap.ttp = op[0] != 0;
        break;
    case sprmPItap:
        if (op.size() >= 4) pap.itap = static_cast<int32_t>(U32At(op, 0));
        break;
    case sprmPDtap:
        if (op.size() >= 4) {
            // A depth is small; a sum of values from the file is kept in range.
            const int64_t sum = int64_t{pap.itap} + static_cast<int32_t>(U32At(op, 0));
            pap.itap = static_cast<int32_t>(std::clamp<int64_t>(sum, INT32_MIN, INT32_MAX));
        }
        break;
    case sprmPFInnerTableCell:
        pap.innerCell = op[0] != 0;
        break;
    case sprmPFInnerTtp:
        pap.innerTtp = op[0] != 0;
        break;
    case sprmPIlvl:
        pap.ilvl = op[0];
        break;
    case sprmPIlfo:
        if (op.size() >= 2) pap.ilfo = U16At(op, 0);
        break;
    case sprmPDcs:
        pap.dropCap = op[0] & 7;
        break;
    case sprmPOutLvl:
        if (op[0] <= 9) pap.outlineLevel = op[0];  // other values are no level
        break;
    default:
        break;
    }
}

void ApplyChpGrpprl(TChp& chp, std::span<const uint8_t> grpprl, TFormat format) {
    ForEachSprm(grpprl, format,
                [&](uint16_t opcode, std::span<const uint8_t> op) { ApplyChpSprm(chp, opcode, op, format); });
}

void ApplyPapGrpprl(TPap& pap, std::span<const uint8_t> grpprl, TFormat format) {
    ForEachSprm(grpprl, format,
                [&](uint16_t opcode, std::span<const uint8_t> op) { ApplyPapSprm(pap, opcode, op, format); });
}

namespace {

// The two starting points of an effect: every field different between them.
TChp LowChp() {
    TChp chp;
    chp.vanish = chp.rmarkDel = chp.spec = chp.obj = chp.symbol = false;
    chp.symbolFont = chp.font = chp.lid = chp.istd = 0;
    chp.symbolChar = 0;
    chp.picLocation = 0;
    return chp;
}
TChp HighChp() {
    TChp chp;
    chp.vanish = chp.rmarkDel = chp.spec = chp.obj = chp.symbol = true;
    chp.symbolFont = chp.font = chp.lid = chp.istd = 0xFFFF;
    chp.symbolChar = 0xFFFF;
    chp.picLocation = 0xFFFFFFFFu;
    return chp;
}
constexpr int32_t kHighItap = 1 << 20;
TPap LowPap() { return TPap{}; }
TPap HighPap() {
    TPap pap;
    pap.istd = 0xFFFF;
    pap.inTable = pap.ttp = pap.innerCell = pap.innerTtp = true;
    pap.itap = kHighItap;
    pap.ilfo = 0xFFFF;
    pap.ilvl = 0xFF;
    pap.dropCap = 0xFF;
    pap.outlineLevel = 0xFE;
    return pap;
}

// A field the lists set (both starting points end the same) or left alone.
template <typename T>
void Settle(T& field, T low, T high) {
    if (low == high) field = low;
}
// A flag may also be toggled: false became true and true became false.
void SettleFlag(bool& field, bool low, bool high) {
    if (low == high)
        field = low;
    else if (low)
        field = !field;
}

}  // namespace

TChpEffect NoChpEffect() { return {LowChp(), HighChp()}; }
TPapEffect NoPapEffect() { return {LowPap(), HighPap()}; }

void AddChpGrpprl(TChpEffect& effect, std::span<const uint8_t> grpprl, TFormat format) {
    ApplyChpGrpprl(effect.low, grpprl, format);
    ApplyChpGrpprl(effect.high, grpprl, format);
}

void AddPapGrpprl(TPapEffect& effect, std::span<const uint8_t> grpprl, TFormat format) {
    ApplyPapGrpprl(effect.low, grpprl, format);
    ApplyPapGrpprl(effect.high, grpprl, format);
}

void ApplyChpEffect(TChp& chp, const TChpEffect& e) {
    SettleFlag(chp.vanish, e.low.vanish, e.high.vanish);
    SettleFlag(chp.rmarkDel, e.low.rmarkDel, e.high.rmarkDel);
    SettleFlag(chp.spec, e.low.spec, e.high.spec);
    SettleFlag(chp.obj, e.low.obj, e.high.obj);
    SettleFlag(chp.symbol, e.low.symbol, e.high.symbol);
    Settle(chp.symbolFont, e.low.symbolFont, e.high.symbolFont);
    Settle(chp.symbolChar, e.low.symbolChar, e.high.symbolChar);
    Settle(chp.font, e.low.font, e.high.font);
    Settle(chp.lid, e.low.lid, e.high.lid);
    Settle(chp.istd, e.low.istd, e.high.istd);
    Settle(chp.picLocation, e.low.picLocation, e.high.picLocation);
}

void ApplyPapEffect(TPap& pap, const TPapEffect& e) {
    Settle(pap.istd, e.low.istd, e.high.istd);
    SettleFlag(pap.inTable, e.low.inTable, e.high.inTable);
    SettleFlag(pap.ttp, e.low.ttp, e.high.ttp);
    SettleFlag(pap.innerCell, e.low.innerCell, e.high.innerCell);
    SettleFlag(pap.innerTtp, e.low.innerTtp, e.high.innerTtp);
    Settle(pap.ilfo, e.low.ilfo, e.high.ilfo);
    Settle(pap.ilvl, e.low.ilvl, e.high.ilvl);
    Settle(pap.dropCap, e.low.dropCap, e.high.dropCap);
    Settle(pap.outlineLevel, e.low.outlineLevel, e.high.outlineLevel);
    // The depth is set, or moved by what the lists add.
    const int64_t depth = e.low.itap == e.high.itap ? int64_t{e.low.itap} : int64_t{pap.itap} + e.low.itap;
    pap.itap = static_cast<int32_t>(std::clamp<int64_t>(depth, INT32_MIN, INT32_MAX));
}

void ApplyPrm0(TChp* chp, TPap* pap, uint8_t isprm, uint8_t value) {
    const uint8_t op[1] = {value};
    if (chp != nullptr && (isprm == w6CFRMarkDel || isprm == w6CFVanish || isprm == w6CFSpec))
        ApplyChpSprm(*chp, isprm, op, TFormat::Word6);
    if (pap != nullptr) {
        if (isprm == w6PFInTable || isprm == w6PFTtp) ApplyPapSprm(*pap, isprm, op, TFormat::Word6);
        if (isprm == w6PIlvl) pap->ilvl = value;
    }
}

// --- piece table -----------------------------------------------------------

void CheckForcedCodePage(int32_t cp, bool forceCP) {
    if (!forceCP || cp == 0 || cp == 1200 || cp == 1201 || cp == 65001) return;
    if (cp < 0 || !IsKnownCodePage(static_cast<uint32_t>(cp))) throw EPagelet(u"Invalid code page");
}

// --- CLX and piece table ----------------------------------------------------

TTextPieces ReadTextPieces(std::span<const uint8_t> bytes, uint32_t fcClx, uint32_t lcbClx, uint64_t docSize) {
    TByteReader table(bytes);
    // Piece i runs from character position i to i + 1: one more position
    // than pieces, or both empty.
    std::vector<uint32_t> cps;
    std::vector<uint32_t> fcs;
    table.Seek(fcClx);
    WalkClx(
        table, std::min<uint64_t>(uint64_t{fcClx} + lcbClx, table.Size()),
        [&](uint64_t, int16_t cbGrpprl) {
            if (cbGrpprl < 0) throw EPagelet(u"Range check error");
            table.SkipUpTo(static_cast<uint64_t>(cbGrpprl));
            return true;
        },
        [&](uint64_t, uint32_t lcbPlc) {
            // Formed in 64 bits: lcb - 4 must not overflow for lcb near INT32_MIN.
            const auto pcdCount = static_cast<int32_t>((int64_t{static_cast<int32_t>(lcbPlc)} - 4) / int64_t{kCpSize + kPcdSize});
            const int32_t cpCount = pcdCount + 1;
            // The damage check comes before anything is allocated.
            const uint64_t need = uint64_t(std::max(cpCount, 0)) * kCpSize + uint64_t(std::max(pcdCount, 0)) * kPcdSize;
            if (table.Position() > table.Size() || need > table.Size() - table.Position()) {
                throw EPagelet(u"The document is damaged: its piece table (" + DecimalText(std::max(pcdCount, 0)) +
                               u" pieces at offset " + DecimalText(table.Position()) +
                               u" of the table stream) reaches past the end of the table stream (" +
                               DecimalText(table.Size()) + u" bytes)");
            }
            cps.assign(static_cast<size_t>(std::max(cpCount, 0)), 0);
            for (uint32_t& cp : cps) cp = table.ReadZeroFilled<uint32_t>();
            fcs.assign(static_cast<size_t>(std::max(pcdCount, 0)), 0);
            for (uint32_t& fc : fcs) {  // a Pcd: flags, fn, fc, prm
                table.SkipUpTo(2);
                fc = table.ReadZeroFilled<uint32_t>();
                table.SkipUpTo(2);
            }
            return true;
        });

    TTextPieces out;
    out.pieces.reserve(fcs.size());
    uint64_t totalBytes = 0;
    for (size_t i = 0; i < fcs.size(); ++i) {
        if (cps[i + 1] < cps[i]) continue;
        // Formed in 64 bits so that a long piece at a high offset cannot wrap.
        TTextPiece piece;
        piece.unicode = !IsCompressedFc(fcs[i]);
        piece.start = PieceFileOffset(fcs[i]);
        const uint64_t chars = uint64_t{cps[i + 1]} - cps[i];
        piece.end = piece.start + chars * (piece.unicode ? 2 : 1);
        if (piece.start >= docSize || piece.end <= piece.start) continue;
        piece.end = std::min(piece.end, docSize);
        if (piece.unicode) piece.end -= (piece.end - piece.start) % 2;
        if (piece.end == piece.start) continue;
        totalBytes += piece.end - piece.start;
        out.totalUnits += piece.unicode ? (piece.end - piece.start) / 2 : piece.end - piece.start;
        out.eightBit = out.eightBit || !piece.unicode;
        out.pieces.push_back(piece);
    }
    // The pieces of a document lie side by side in "WordDocument": together
    // they never cover more bytes than it holds. A damaged piece table whose
    // pieces cover the same bytes again and again would make the text grow
    // far beyond the file.
    if (totalBytes > docSize) {
        throw EPagelet(u"The document is damaged: its pieces cover " + DecimalText(totalBytes) +
                       u" bytes, more than the " + DecimalText(docSize) + u" bytes of its WordDocument stream");
    }
    return out;
}

bool ReadPieceTable(const TBytes& clx, TFormat format, uint64_t docSize, TPieceTable& out) {
    // Every entry must lie wholly in the CLX; the last Pcdt gives the pieces.
    const size_t size = clx.size();
    TByteReader r(clx.data(), size);
    std::span<const uint8_t> plc;
    std::vector<TBytes> prcs;
    bool whole = true;
    WalkClx(
        r, size,
        [&](uint64_t at, int16_t cb) {
            if (at + 3 > size || cb < 0 || at + 3 + static_cast<size_t>(cb) > size) return whole = false;
            if (prcs.size() < 0x7FFF) prcs.emplace_back(clx.begin() + at + 3, clx.begin() + at + 3 + cb);
            r.Seek(at + 3 + static_cast<size_t>(cb));
            return true;
        },
        [&](uint64_t at, uint32_t lcb) {
            if (at + 5 > size || lcb > size - at - 5) return whole = false;
            plc = std::span(clx).subspan(at + 5, lcb);
            r.Seek(at + 5 + size_t{lcb});
            return true;
        });
    if (!whole || plc.size() < 16) return false;
    const size_t n = (plc.size() - 4) / (kCpSize + kPcdSize);
    out.prcs = std::move(prcs);
    out.pieces.clear();
    out.pieces.reserve(n);
    for (size_t i = 0; i < n; ++i) {
        TPiece piece;
        piece.cpStart = U32At(plc, kCpSize * i);
        piece.cpEnd = U32At(plc, kCpSize * (i + 1));
        const size_t pcd = kCpSize * (n + 1) + kPcdSize * i;
        const uint32_t fc = U32At(plc, pcd + 2);
        piece.prm = U16At(plc, pcd + 6);
        if (format == TFormat::Word97) {
            piece.unicode = !IsCompressedFc(fc);
            piece.fc = PieceFileOffset(fc);
        } else {
            piece.fc = fc;
        }
        if (piece.cpEnd <= piece.cpStart) continue;
        // Pieces must follow each other in CP order; one that goes back is left out.
        if (!out.pieces.empty() && piece.cpStart < out.pieces.back().cpEnd) continue;
        const uint64_t bytes = uint64_t{piece.cpEnd - piece.cpStart} * (piece.unicode ? 2 : 1);
        if (piece.fc < docSize) out.totalBytes += std::min<uint64_t>(bytes, docSize - piece.fc);
        out.anyEightBit = out.anyEightBit || !piece.unicode;
        out.pieces.push_back(piece);
    }
    return !out.pieces.empty();
}

// --- FKP runs --------------------------------------------------------------

void TRunTable::Read(TStorageStream& doc, const TBytes& plcfBte, TFormat format, bool paragraphs, uint16_t pnFirst,
                     uint16_t cpnBte) {
    runs_.clear();
    pool_.clear();
    const size_t pnSize = format == TFormat::Word97 ? 4 : 2;
    std::vector<uint32_t> pns;
    if (plcfBte.size() >= 4 + 4 + pnSize) {
        const size_t n = (plcfBte.size() - 4) / (4 + pnSize);
        const size_t p = 4 * (n + 1);
        for (size_t i = 0; i < n; ++i)
            pns.push_back(pnSize == 4 ? (U32At(plcfBte, p + 4 * i) & 0x3FFFFFu) : U16At(plcfBte, p + 2 * i));
    }
    const uint64_t pages = doc.Size() / 512;
    // Word 6/95 bin tables may list fewer pages than there are: the rest follow.
    if (format == TFormat::Word6 && cpnBte > pns.size()) {
        uint32_t next = pns.empty() ? pnFirst : pns.back() + 1;
        while (pns.size() < cpnBte && next < pages) pns.push_back(next++);
    }
    std::vector<bool> seen(static_cast<size_t>(pages), false);
    uint8_t page[512];
    for (uint32_t pn : pns) {
        if (pn >= pages || seen[pn]) continue;
        seen[pn] = true;
        if (pool_.size() > UINT32_MAX - 512) break;
        if (doc.ReadAt(uint64_t{pn} * 512, page, 512) != 512) continue;
        ReadPage(page, format, paragraphs);
    }
    std::stable_sort(runs_.begin(), runs_.end(), [](const TRun& a, const TRun& b) { return a.fcStart < b.fcStart; });
}

void TRunTable::ReadPage(const uint8_t* page, TFormat format, bool paragraphs) {
    const std::span<const uint8_t> bytes(page, 512);
    const size_t count = page[511];
    const size_t entrySize = paragraphs ? (format == TFormat::Word97 ? 13 : 7) : 1;
    if (count == 0 || 4 * (count + 1) + entrySize * count > 511) return;
    // The bytes from the first property list of the page to the end of the
    // last are kept once, whatever the lists share or overlap.
    const size_t first = runs_.size();
    size_t lo = 512, hi = 0;
    for (size_t i = 0; i < count; ++i) {
        TRun run;
        run.fcStart = U32At(bytes, 4 * i);
        run.fcEnd = U32At(bytes, 4 * (i + 1));
        if (run.fcEnd <= run.fcStart) continue;
        const size_t offset = size_t{page[4 * (count + 1) + entrySize * i]} * 2;
        size_t start = 0, size = 0;
        if (offset != 0 && offset < 511) {
            if (!paragraphs) {
                start = offset + 1;
                size = page[offset];
            } else if (format == TFormat::Word97) {
                const size_t cb = page[offset];
                start = cb == 0 ? offset + 2 : offset + 1;
                size = cb == 0 ? size_t{page[offset + 1]} * 2 : cb * 2 - 1;
            } else {
                start = offset + 1;
                size = size_t{page[offset]} * 2;
            }
            if (start + size > 511) size = 0;
            if (paragraphs && size >= 2) {
                run.istd = U16At(bytes, start);
                start += 2;
                size -= 2;
            } else if (paragraphs) {
                size = 0;
            }
        }
        run.size = static_cast<uint16_t>(size);
        run.offset = size != 0 ? static_cast<uint32_t>(start) : 0;  // in the page, for now
        if (size != 0) {
            lo = std::min(lo, start);
            hi = std::max(hi, start + size);
        }
        runs_.push_back(run);
    }
    if (hi <= lo) return;
    const auto base = static_cast<uint32_t>(pool_.size());
    pool_.insert(pool_.end(), page + lo, page + hi);
    for (size_t k = first; k < runs_.size(); ++k)
        if (runs_[k].size != 0) runs_[k].offset = base + runs_[k].offset - static_cast<uint32_t>(lo);
}

const TRun* TRunTable::Find(uint32_t fc, uint32_t& limit) const {
    // Most questions ask about the run of the last answer or the next one.
    auto it = runs_.end();
    for (size_t k = hint_; k < runs_.size() && k < hint_ + 2; ++k) {
        if (runs_[k].fcStart <= fc && (k + 1 == runs_.size() || fc < runs_[k + 1].fcStart)) {
            it = runs_.begin() + static_cast<ptrdiff_t>(k) + 1;
            break;
        }
    }
    if (it == runs_.end() && !(runs_.size() > 0 && runs_.back().fcStart <= fc))
        it = std::upper_bound(runs_.begin(), runs_.end(), fc, [](uint32_t v, const TRun& r) { return v < r.fcStart; });
    if (it != runs_.begin()) hint_ = static_cast<size_t>(it - runs_.begin()) - 1;
    limit = it == runs_.end() ? UINT32_MAX : it->fcStart;
    if (it == runs_.begin()) return nullptr;
    const TRun& run = *(it - 1);
    if (fc >= run.fcEnd) return nullptr;
    limit = std::min(limit, run.fcEnd);
    return &run;
}

// --- stylesheet ------------------------------------------------------------

void TStyleSheet::Read(const TBytes& stsh, TFormat format) {
    format_ = format;
    styles_.clear();
    TByteReader r(stsh.data(), stsh.size());
    uint16_t cbStshi = 0, cstd = 0, cbBase = 0;
    if (!r.ReadU16(cbStshi) || !r.PeekAt(2, cstd) || !r.PeekAt(4, cbBase)) return;
    r.PeekAt(2 + 12, defaultFont_);
    if (cbBase < 8) return;
    cstd = std::min<uint16_t>(cstd, 4096);
    size_t pos = 2 + size_t{cbStshi};
    styles_.resize(cstd);
    for (size_t i = 0; i < cstd; ++i) {
        if (pos + 2 > stsh.size()) break;
        const size_t cbStd = U16At(stsh, pos);
        pos += 2;
        if (cbStd == 0) continue;
        if (cbStd > stsh.size() - pos) break;
        const auto s = std::span(stsh).subspan(pos, cbStd);
        pos += cbStd;
        if (cbStd < cbBase) continue;
        TStyle& style = styles_[i];
        style.sti = static_cast<uint16_t>(U16At(s, 0) & 0x0FFF);
        style.sgc = static_cast<uint8_t>(U16At(s, 2) & 0x0F);
        style.istdBase = static_cast<uint16_t>(U16At(s, 2) >> 4);
        const size_t cupx = U16At(s, 4) & 0x0F;
        size_t at = cbBase;
        if (format == TFormat::Word97) {
            if (at + 2 > cbStd) continue;
            at += 2 + (size_t{U16At(s, at)} + 1) * 2;
        } else {
            if (at + 1 > cbStd) continue;
            at += 1 + size_t{s[at]} + 1;
        }
        style.present = true;
        for (size_t k = 0; k < cupx; ++k) {
            if (at % 2 != 0) ++at;
            if (at + 2 > cbStd) break;
            const size_t cb = U16At(s, at);
            at += 2;
            if (cb > cbStd - at) break;
            const uint8_t* upx = s.data() + at;
            at += cb;
            if (style.sgc == 1 && k == 0) {
                if (cb >= 2) style.papx.assign(upx + 2, upx + cb);
            } else if ((style.sgc == 1 && k == 1) || (style.sgc == 2 && k == 0)) {
                style.chpx.assign(upx, upx + cb);
            }
        }
    }
    chains_.assign(styles_.size(), TChain{});
}

const TStyleSheet::TChain& TStyleSheet::Chain(uint16_t istd) const {
    TChain& chain = chains_[istd];
    if (chain.state == 2) return chain;
    // The styles up the chain that are not worked out yet, nearest first; a
    // loop ends the chain where it comes back.
    std::vector<uint16_t> pending{istd};
    chain.state = 1;
    TChpEffect chp = NoChpEffect();
    TPapEffect pap = NoPapEffect();
    for (;;) {
        const uint16_t base = styles_[pending.back()].istdBase;
        if (base >= styles_.size() || !styles_[base].present || chains_[base].state == 1) break;
        if (chains_[base].state == 2) {
            chp = chains_[base].chp;
            pap = chains_[base].pap;
            break;
        }
        chains_[base].state = 1;
        pending.push_back(base);
    }
    for (auto it = pending.rbegin(); it != pending.rend(); ++it) {
        const TStyle& style = styles_[*it];
        AddChpGrpprl(chp, style.chpx, format_);
        AddPapGrpprl(pap, style.papx, format_);
        chains_[*it] = {2, chp, pap};
    }
    return chain;
}

TChp TStyleSheet::ParagraphChp(uint16_t istd) const {
    TChp chp;
    chp.font = defaultFont_;
    if (istd >= styles_.size()) return chp;
    if (styles_[istd].present) ApplyChpEffect(chp, Chain(istd).chp);
    chp.istd = 10;
    return chp;
}

TPap TStyleSheet::ParagraphPap(uint16_t istd) const {
    TPap pap;
    if (istd < styles_.size() && styles_[istd].present) ApplyPapEffect(pap, Chain(istd).pap);
    pap.istd = istd;
    return pap;
}

void TStyleSheet::ApplyCharacterStyle(uint16_t istd, TChp& chp) const {
    if (istd >= styles_.size() || !styles_[istd].present || styles_[istd].sgc != 2) return;
    const uint16_t keep = chp.istd;
    ApplyChpEffect(chp, Chain(istd).chp);
    chp.istd = keep;
}

uint16_t TStyleSheet::Sti(uint16_t istd) const {
    return istd < styles_.size() && styles_[istd].present ? styles_[istd].sti : 0x0FFF;
}

// --- fonts and PLCs --------------------------------------------------------

std::vector<TFont> ReadFonts(const TBytes& b, TFormat format) {
    std::vector<TFont> fonts;
    if (b.size() < 4) return fonts;
    size_t pos = format == TFormat::Word97 ? 4 : 2;
    const size_t end = format == TFormat::Word97 ? b.size() : std::min<size_t>(b.size(), U16At(b, 0));
    size_t count = format == TFormat::Word97 ? U16At(b, 0) : 4096;
    while (pos < end && fonts.size() < std::min<size_t>(count, 4096)) {
        const size_t cb = size_t{b[pos]} + 1;
        if (cb > end - pos) break;
        const uint8_t* f = &b[pos];
        pos += cb;
        TFont font;
        if (cb > 4) font.charset = f[4];
        const size_t nameAt = format == TFormat::Word97 ? 40 : 6;
        if (format == TFormat::Word97) {
            for (size_t at = nameAt; at + 1 < cb; at += 2) {
                const char16_t c = static_cast<char16_t>(f[at] | f[at + 1] << 8);
                if (c == 0) break;
                font.name += c;
            }
        } else {
            for (size_t at = nameAt; at < cb && f[at] != 0; ++at) font.name += static_cast<char16_t>(f[at]);
        }
        fonts.push_back(std::move(font));
    }
    return fonts;
}

// --- note numbering ---------------------------------------------------------

namespace {

// Word 97-2003 section sprms of note numbering.
constexpr uint16_t sprmSRncFtn = 0x303B, sprmSRncEdn = 0x303D, sprmSNFtn = 0x503F, sprmSNfcFtnRef = 0x5040,
                   sprmSNEdn = 0x5041, sprmSNfcEdnRef = 0x5042;

// Word numbers notes from 1 up; a first number of 0 would be nothing Word writes.
uint16_t StartNumber(uint16_t value) { return value == 0 ? uint16_t{1} : value; }

}  // namespace

TNoteSettings ReadNoteSettings(const TBytes& dop, TFormat format) {
    TNoteSettings s;
    // Both layouts: rncFtn (2 bits) and nFtn (14 bits) in the word at 2,
    // rncEdn and nEdn in the word at 0x34.
    if (dop.size() >= 4) {
        const uint16_t w = U16At(dop, 2);
        s.footnotes.restart = static_cast<uint8_t>(w & 3);
        s.footnotes.start = StartNumber(static_cast<uint16_t>(w >> 2));
    }
    if (dop.size() >= 0x36) {
        const uint16_t w = U16At(dop, 0x34);
        s.endnotes.restart = static_cast<uint8_t>(w & 3);
        s.endnotes.start = StartNumber(static_cast<uint16_t>(w >> 2));
    }
    if (format == TFormat::Word6) {
        // Word 6/95: the number formats are 4 bits each in the word at 0x36,
        // after the endnote position's 2 bits.
        if (dop.size() >= 0x38) {
            const uint16_t w = U16At(dop, 0x36);
            s.footnotes.nfc = static_cast<uint8_t>((w >> 2) & 0x0F);
            s.endnotes.nfc = static_cast<uint8_t>((w >> 6) & 0x0F);
        }
    } else if (dop.size() >= 496) {
        // Word 97-2003: words of their own at 492 and 494 (those 4-bit fields
        // are no longer used).
        s.footnotes.nfc = static_cast<uint8_t>(std::min<uint16_t>(U16At(dop, 492), 0xFF));
        s.endnotes.nfc = static_cast<uint8_t>(std::min<uint16_t>(U16At(dop, 494), 0xFF));
    }
    return s;
}

void ApplySectionNoteSprms(TNoteSettings& settings, std::span<const uint8_t> grpprl) {
    ForEachSprm(grpprl, TFormat::Word97, [&](uint16_t opcode, std::span<const uint8_t> operand) {
        if (operand.empty()) return;
        const uint16_t value = operand.size() >= 2 ? U16At(operand, 0) : operand[0];
        switch (opcode) {
        case sprmSRncFtn:
            settings.footnotes.restart = static_cast<uint8_t>(value);
            break;
        case sprmSRncEdn:
            settings.endnotes.restart = static_cast<uint8_t>(value);
            break;
        case sprmSNFtn:
            settings.footnotes.start = StartNumber(value);
            break;
        case sprmSNEdn:
            settings.endnotes.start = StartNumber(value);
            break;
        case sprmSNfcFtnRef:
            settings.footnotes.nfc = static_cast<uint8_t>(std::min<uint16_t>(value, 0xFF));
            break;
        case sprmSNfcEdnRef:
            settings.endnotes.nfc = static_cast<uint8_t>(std::min<uint16_t>(value, 0xFF));
            break;
        default:
            break;
        }
    });
}

TPlc::TPlc(std::shared_ptr<const TBytes> bytes, size_t dataSize) : dataSize_(dataSize) {
    if (!bytes || bytes->size() < 4) return;
    count_ = (bytes->size() - 4) / (4 + dataSize);
    bytes_ = std::move(bytes);
}

uint32_t TPlc::Cp(size_t i) const { return U32At(*bytes_, 4 * i); }

std::span<const uint8_t> TPlc::Data(size_t i) const {
    return {bytes_->data() + 4 * (count_ + 1) + dataSize_ * i, dataSize_};
}

std::optional<size_t> TPlc::EntryAt(uint32_t value, bool exact) const {
    if (count_ == 0) return std::nullopt;
    // The first of the n CPs above value, by halves.
    size_t lo = 0, hi = count_;
    while (lo < hi) {
        const size_t mid = lo + (hi - lo) / 2;
        if (Cp(mid) <= value)
            lo = mid + 1;
        else
            hi = mid;
    }
    if (lo == 0) return std::nullopt;
    const size_t index = lo - 1;
    if (exact && Cp(index) != value) return std::nullopt;
    return index;
}

}  // namespace pagelet::word
