#include "support/HostileDocs.h"

#include <algorithm>

#include "support/DocBuilder.h"

namespace pagelet {

namespace {

using TBytes = std::vector<uint8_t>;

// Puts the little-endian word v at b[at].
void Put32At(TBytes& b, size_t at, uint32_t v) {
    for (int k = 0; k < 4; ++k) b[at + k] = static_cast<uint8_t>(v >> (8 * k));
}

}  // namespace

THostileDoc StyleChainDoc(size_t runs, size_t listBytes, size_t visiblePrefix) {
    // sprmCRgFtc0 again and again: a font the layout reads, four bytes each.
    TBytes list;
    while (list.size() + 4 <= listBytes) list = list + Sprm(0x4A4F, {1, 0});
    TRichDocBuilder b;
    b.Style(20, 2, {}, list, 21).Style(21, 2, {}, list, 20);
    if (visiblePrefix != 0) b.Para(std::u16string(visiblePrefix - 1, u'v'));
    const TBytes run = visiblePrefix != 0 ? Sprm(0x4A30, {20, 0}) + Sprm(0x083C, {1}) : Sprm(0x4A30, {20, 0});
    for (size_t i = 0; i < runs; ++i) b.Run(i % 64 == 63 ? u"\r" : u"x", run);
    b.Para(u"end");
    return {visiblePrefix != 0 ? "style-chain-hidden-tail" : "style-chain", b.Build()};
}

THostileDoc ListLabelDoc(size_t paragraphs) {
    // 8-bit text, and one paragraph run over all of it (one PAPX FKP page):
    // two bytes a paragraph.
    TRichDocBuilder b(TRichDocBuilder::Word97EightBit);
    b.List(1, {{4, 26 * 25 + 1, std::u16string(64, u'\0'), 0}});
    for (size_t i = 0; i < paragraphs; ++i) b.Para(u"x");
    TBytes page(512, 0);
    constexpr uint32_t kFcText = 0x800;  // where the builder puts the text
    Put32At(page, 0, kFcText);
    Put32At(page, 4, kFcText + static_cast<uint32_t>(2 * paragraphs));
    constexpr size_t kPapx = 480;
    page[8] = kPapx / 2;
    const TBytes papx = TBytes{0, 0} + Sprm(0x460B, {1, 0}) + Sprm(0x260A, {0});  // istd 0, ilfo 1, ilvl 0
    page[kPapx] = static_cast<uint8_t>((papx.size() + 1) / 2);
    std::copy(papx.begin(), papx.end(), page.begin() + kPapx + 1);
    page[511] = 1;
    b.RawFkpPages(true, page).RawFkpPages(false, {});
    return {"list-labels", b.Build()};
}

THostileDoc OverlappingRunsDoc(size_t pages) {
    // 101 runs, the most a page holds: 102 FCs and 101 offsets fill 509 of
    // its bytes. Each FC's low byte is 0xFF, so an offset to it reads as a
    // property list of 255 bytes that overlaps the FCs after it.
    TBytes page(512, 0);
    constexpr size_t kRuns = 101;
    for (size_t i = 0; i <= kRuns; ++i) Put32At(page, 4 * i, static_cast<uint32_t>(0xFF + 0x100 * i));
    for (size_t i = 0; i < kRuns; ++i) page[4 * (kRuns + 1) + i] = static_cast<uint8_t>(2 * (i % 64));
    page[511] = kRuns;
    TBytes all;
    for (size_t k = 0; k < pages; ++k) all.insert(all.end(), page.begin(), page.end());
    TRichDocBuilder b;
    b.Para(u"overlapping runs").RawFkpPages(false, all);
    return {"overlapping-runs", b.Build()};
}

THostileDoc SharedBlockDoc(uint32_t blockBytes) {
    TRichDocBuilder b;
    b.Para(u"one block for every table").SharedPlcBlock(blockBytes);
    return {"shared-block", b.Build()};
}

THostileDoc DeepTableDoc() {
    const TBytes deeper = Sprm(0x664A, {0xFF, 0xFF, 0xFF, 0x7F});
    TRichDocBuilder b;
    b.Para(u"deep", Sprm(0x2416, {1}) + deeper + deeper).Para(u"after", deeper + deeper);
    return {"deep-table", b.Build()};
}

}  // namespace pagelet
