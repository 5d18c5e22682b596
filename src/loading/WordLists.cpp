#include "loading/WordLists.h"

#include <algorithm>

#include "common/ByteReader.h"
#include "loading/ReadingTables.h"

namespace pagelet::reading {

namespace {

constexpr size_t kLstfSize = 28;
constexpr size_t kLvlfSize = 28;
constexpr size_t kLfoSize = 16;
constexpr size_t kMaxLists = 4096;
constexpr size_t kMaxNumberText = 64;
// A label shows at most this many characters, whatever its number text asks
// for (64 placeholders of long letter numbers would make kilobytes a paragraph).
constexpr size_t kMaxLabel = 256;

}  // namespace

bool TListTable::ReadLevel(const uint8_t* data, size_t size, size_t& pos, TLevel& level) {
    if (pos > size || size - pos < kLvlfSize) return false;
    const uint8_t* lvlf = data + pos;
    level.start = static_cast<int32_t>(LoadU32(lvlf));
    level.nfc = lvlf[4];
    level.legal = (lvlf[5] & 0x04) != 0;
    level.noRestart = (lvlf[5] & 0x08) != 0;
    level.follow = lvlf[15];
    const size_t grpprls = size_t{lvlf[24]} + lvlf[25];
    pos += kLvlfSize;
    if (size - pos < grpprls + 2) return false;
    pos += grpprls;
    const size_t cch = LoadU16(data + pos);
    pos += 2;
    if ((size - pos) / 2 < cch) return false;
    // Word's number texts are short; a longer one would repeat before every paragraph.
    level.text.resize(std::min(cch, kMaxNumberText));
    for (size_t i = 0; i < level.text.size(); ++i) level.text[i] = static_cast<char16_t>(LoadU16(data + pos + 2 * i));
    pos += 2 * cch;
    return true;
}

void TListTable::Read(const TBytes& plfLst, const TBytes& plfLfo) {
    lists_.clear();
    overrides_.clear();
    if (plfLst.size() >= 2) {
        const auto count = static_cast<int16_t>(LoadU16(plfLst.data()));
        const size_t n = count > 0 ? std::min<size_t>({size_t(count), (plfLst.size() - 2) / kLstfSize, kMaxLists}) : 0;
        std::vector<bool> simple(n);
        for (size_t i = 0; i < n; ++i) {
            const uint8_t* lstf = plfLst.data() + 2 + kLstfSize * i;
            TList list;
            list.lsid = LoadU32(lstf);
            simple[i] = (lstf[26] & 0x01) != 0;
            lists_.push_back(list);
        }
        // The levels of all lists follow the LSTFs, list after list.
        size_t pos = 2 + kLstfSize * n;
        for (size_t i = 0; i < n; ++i) {
            const size_t levels = simple[i] ? 1 : 9;
            bool ok = true;
            for (size_t k = 0; k < levels && ok; ++k) {
                TLevel level;
                ok = ReadLevel(plfLst.data(), plfLst.size(), pos, level);
                if (ok) lists_[i].levels.push_back(std::move(level));
            }
            if (!ok) {
                lists_.resize(i);  // the rest cannot be placed
                break;
            }
        }
    }
    if (plfLfo.size() >= 4) {
        const auto count = static_cast<int32_t>(LoadU32(plfLfo.data()));
        const size_t n = count > 0 ? std::min<size_t>({size_t(count), (plfLfo.size() - 4) / kLfoSize, kMaxLists}) : 0;
        std::vector<uint8_t> clfolvl(n);
        for (size_t i = 0; i < n; ++i) {
            const uint8_t* lfo = plfLfo.data() + 4 + kLfoSize * i;
            TOverride ov;
            const uint32_t lsid = LoadU32(lfo);
            for (size_t k = 0; k < lists_.size(); ++k) {
                if (lists_[k].lsid == lsid) {
                    ov.list = k;
                    break;
                }
            }
            clfolvl[i] = lfo[12];
            overrides_.push_back(std::move(ov));
        }
        // Then the LFOData of each: a CP and its level overrides.
        size_t pos = 4 + kLfoSize * n;
        for (size_t i = 0; i < n; ++i) {
            if (plfLfo.size() - pos < 4) break;
            pos += 4;
            bool ok = true;
            for (size_t k = 0; k < clfolvl[i] && ok; ++k) {
                if (plfLfo.size() - pos < 8) {
                    ok = false;
                    break;
                }
                const int32_t start = static_cast<int32_t>(LoadU32(plfLfo.data() + pos));
                const uint32_t flags = LoadU32(plfLfo.data() + pos + 4);
                pos += 8;
                const size_t ilvl = flags & 0x0F;
                TOverride& ov = overrides_[i];
                if (ilvl < 9 && (flags & 0x10) != 0) {
                    ov.start[ilvl] = start;
                    ov.hasStart[ilvl] = true;
                }
                if ((flags & 0x20) != 0) {
                    TLevel level;
                    ok = ReadLevel(plfLfo.data(), plfLfo.size(), pos, level);
                    if (ok && ilvl < 9) {
                        if (ov.formats.size() < 9) ov.formats.resize(9);
                        ov.formats[ilvl] = std::move(level);
                        ov.hasFormat[ilvl] = true;
                        if (!ov.hasStart[ilvl]) {
                            ov.start[ilvl] = ov.formats[ilvl].start;
                            ov.hasStart[ilvl] = true;
                        }
                    }
                }
            }
            if (!ok) break;
        }
    }
}

std::u16string TListTable::Number(uint16_t ilfo, uint8_t ilvl) {
    if (ilfo == 0 || ilfo > overrides_.size() || ilvl >= 9) return {};
    TOverride& ov = overrides_[ilfo - 1];
    if (ov.list >= lists_.size()) return {};
    TList& list = lists_[ov.list];
    if (list.levels.empty()) return {};
    auto levelOf = [&](size_t k) -> const TLevel& {
        if (ov.hasFormat[k]) return ov.formats[k];
        return list.levels[std::min(k, list.levels.size() - 1)];
    };
    const TLevel& level = levelOf(ilvl);
    // Count this level; a level's first use in an override that sets a start begins there.
    if (ov.hasStart[ilvl] && !ov.startUsed[ilvl]) {
        list.counters[ilvl] = ov.start[ilvl];
        ov.startUsed[ilvl] = true;
    } else if (!list.started[ilvl]) {
        list.counters[ilvl] = level.start;
    } else if (list.counters[ilvl] < INT32_MAX) {
        ++list.counters[ilvl];
    }
    list.started[ilvl] = true;
    for (size_t deeper = ilvl + 1u; deeper < 9; ++deeper)
        if (!levelOf(deeper).noRestart) list.started[deeper] = false;

    std::u16string out;
    if (level.nfc == 23) {
        out = u"\u2022";
    } else {
        for (char16_t c : level.text) {
            if (out.size() >= kMaxLabel) break;
            if (c < 9) {
                const TLevel& shown = levelOf(c);
                const int32_t value = list.started[c] ? list.counters[c] : shown.start;
                out += FormatNumber(value, level.legal ? uint8_t{0} : shown.nfc);
            } else if (c >= 0x20) {
                out += c;
            }
        }
        if (out.size() > kMaxLabel) out.resize(out[kMaxLabel - 1] >= 0xD800 && out[kMaxLabel - 1] < 0xDC00 ? kMaxLabel - 1 : kMaxLabel);
    }
    if (out.empty()) return out;
    if (level.follow == 0) out += u'\t';
    if (level.follow == 1) out += u' ';
    return out;
}

}  // namespace pagelet::reading
