#pragma once

// Word 97-2003 list numbering: the list tables (LST) and the list format
// overrides (LFO), and the counters that give each list paragraph its
// number text as Word shows it.

#include <cstdint>
#include <string>
#include <vector>

#include "converter/WordFormat.h"

namespace pagelet::reading {

class TListTable {
public:
    // Reads PlfLst and PlfLfo; a table that does not fit leaves out the
    // lists it would hold (their paragraphs show no number).
    void Read(const TBytes& plfLst, const TBytes& plfLfo);
    // Counts a paragraph of list override ilfo (1-based) at level ilvl and
    // returns what goes before its text: the number text and the level's
    // tab or space. Empty for no list.
    std::u16string Number(uint16_t ilfo, uint8_t ilvl);
    size_t ListCount() const { return lists_.size(); }

private:
    struct TLevel {
        int32_t start = 1;
        uint8_t nfc = 0;
        bool legal = false;
        bool noRestart = false;
        uint8_t follow = 0;  // 0 tab, 1 space, 2 nothing
        std::u16string text;
    };
    struct TList {
        uint32_t lsid = 0;
        std::vector<TLevel> levels;
        int32_t counters[9] = {};
        bool started[9] = {};
    };
    struct TOverride {
        size_t list = SIZE_MAX;  // index into lists_
        int32_t start[9] = {};
        bool hasStart[9] = {};
        bool startUsed[9] = {};
        std::vector<TLevel> formats;  // per level, when overridden (empty text = none)
        bool hasFormat[9] = {};
    };
    static bool ReadLevel(const uint8_t* data, size_t size, size_t& pos, TLevel& level);

    std::vector<TList> lists_;
    std::vector<TOverride> overrides_;
};

}  // namespace pagelet::reading
