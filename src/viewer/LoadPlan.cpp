#include "viewer/LoadPlan.h"

#include <algorithm>

namespace pagelet {

namespace {

bool IsHighSurrogate(char16_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool IsLowSurrogate(char16_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

// True when a cut at pos (0 < pos <= size) would split a pair.
bool SplitsPair(std::u16string_view text, size_t pos) {
    const char16_t before = text[pos - 1];
    if (pos == text.size()) return before == u'\r' || IsHighSurrogate(before);
    const char16_t after = text[pos];
    return (before == u'\r' && after == u'\n') || (IsHighSurrogate(before) && IsLowSurrogate(after));
}

}  // namespace

size_t SafeCut(std::u16string_view text, size_t pos, bool complete) {
    pos = std::min(pos, text.size());
    if (pos == 0) return 0;
    if (pos == text.size()) return complete || !SplitsPair(text, pos) ? pos : pos - 1;
    return SplitsPair(text, pos) ? pos + 1 : pos;
}

TCut FirstScreenCut(std::u16string_view text, bool complete) {
    size_t end = 0;
    size_t lines = 0;
    size_t lastLineEnd = 0;
    while (end < text.size() && end < kFirstStepChars && lines < kFirstStepLines) {
        if (text[end] == u'\n') {
            ++lines;
            lastLineEnd = end + 1;
        }
        ++end;
    }
    if (lastLineEnd > 0) return {lastLineEnd, lines};
    end = SafeCut(text, end, complete);
    return {end, static_cast<size_t>(end > 0 && text[end - 1] == u'\n')};
}

TCut NextCut(std::u16string_view text, size_t fed, size_t units, bool complete) {
    size_t pos = fed;
    size_t spent = 0;
    size_t lines = 0;
    size_t lastLineEnd = 0;
    size_t linesAtLastEnd = 0;
    while (pos < text.size() && spent < units) {
        if (text[pos] == u'\n') {
            ++lines;
            spent += kLineUnits;
            lastLineEnd = pos + 1;
            linesAtLastEnd = lines;
        }
        ++spent;
        ++pos;
    }
    if ((pos < text.size() || !complete) && lastLineEnd > 0) return {lastLineEnd, linesAtLastEnd};
    if (pos == text.size() && complete) return {pos, lines};
    // No line end in reach: on inside the open paragraph, at least as far
    // as the widget already has of it.
    size_t open = fed;
    while (open > 0 && text[open - 1] != u'\n') --open;
    const size_t reach = fed + (fed - open);
    while (pos < text.size() && pos < reach) {
        if (text[pos++] == u'\n') {
            ++lines;
            break;
        }
    }
    const size_t cut = SafeCut(text, pos, complete);
    if (cut > pos && text[pos] == u'\n') ++lines;
    if (cut < pos && text[cut] == u'\n') --lines;
    return {cut, lines};
}

size_t SliceUnits(double secondsPerUnit, size_t lastSliceUnits) {
    const size_t ceiling = std::min(kMaxSliceUnits, 2 * std::max(lastSliceUnits, kMinSliceUnits));
    if (!(secondsPerUnit > 0)) return ceiling;
    const double units =
        std::clamp(kStepSeconds / secondsPerUnit, static_cast<double>(kMinSliceUnits), static_cast<double>(ceiling));
    return static_cast<size_t>(units);
}

double NextSecondsPerUnit(double secondsPerUnit, size_t units, double seconds) {
    if (units == 0 || !(seconds > 0)) return secondsPerUnit;
    return 0.25 * secondsPerUnit + 0.75 * (seconds / static_cast<double>(units));
}

bool RoomFor(const TMemoryFigures& now, uint64_t freeAtStart, size_t fed, size_t fedLines, size_t chars, size_t lines) {
    if (now.TotalAddressSpace == 0) return true;
    const uint64_t reserve = std::max<uint64_t>(now.TotalAddressSpace / 4, kMinReserve);
    const uint64_t used = freeAtStart > now.FreeAddressSpace ? freeAtStart - now.FreeAddressSpace : 0;
    const double perChar = fed ? static_cast<double>(used) / static_cast<double>(fed) : 0;
    const double perLine = fedLines ? static_cast<double>(used) / static_cast<double>(fedLines) : 0;
    const double estimate = 2 * std::max(perChar * static_cast<double>(chars), perLine * static_cast<double>(lines)) +
                            4.0 * static_cast<double>(chars) + 64.0 * 1024;
    return static_cast<double>(now.FreeAddressSpace) >= static_cast<double>(reserve) + estimate;
}

}  // namespace pagelet
