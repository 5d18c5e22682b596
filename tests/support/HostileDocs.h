#pragma once

// Test-only Word documents built to cost a reader as much as they can for
// their size: each shape once with a scale, so that the tests build small
// ones, the benchmark large ones and the fuzz seeds tiny ones.

#include <cstdint>
#include <string>
#include <vector>

namespace pagelet {

struct THostileDoc {
    std::string name;
    std::vector<uint8_t> bytes;
};

// Two character styles based on each other, each with a property list of
// listBytes, and `runs` one-character runs in one of them; with
// visiblePrefix, that many plain characters first and the runs hidden.
THostileDoc StyleChainDoc(size_t runs, size_t listBytes, size_t visiblePrefix = 0);
// A list whose level text is 64 placeholders, each in letters from a
// number of 26 letters on, over `paragraphs` one-character paragraphs.
THostileDoc ListLabelDoc(size_t paragraphs);
// `pages` CHPX FKP pages, each with 101 runs whose 255-byte property lists
// overlap.
THostileDoc OverlappingRunsDoc(size_t pages);
// Note, comment and header PLCs that all name one block of blockBytes.
THostileDoc SharedBlockDoc(uint32_t blockBytes);
// Paragraphs whose table depth is moved by two sprmPDtap of 0x7FFFFFFF.
THostileDoc DeepTableDoc();

}  // namespace pagelet
