#pragma once

// The stepped load's plan: how a long text reaches a widget whose cost grows
// with what it holds, in pieces that keep the host's thread free. A text up
// to kOneStepChars goes in at once; a longer one starts with the first
// screen (kFirstStepChars or kFirstStepLines, whichever ends first) and goes
// on in slices of about kStepSeconds each. The cost of a slice is counted in
// units: a character is one, a line end kLineUnits (a widget spends far more
// on a paragraph than on a character); the seconds per unit are measured as
// the load goes. No cut falls inside CR LF or a surrogate pair.

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace pagelet {

inline constexpr size_t kOneStepChars = 64 * 1024;
inline constexpr size_t kFirstStepChars = 8 * 1024;
inline constexpr size_t kFirstStepLines = 256;
inline constexpr size_t kLineUnits = 16;
inline constexpr double kStepSeconds = 0.07;
inline constexpr size_t kMinSliceUnits = 16 * 1024;
inline constexpr size_t kMaxSliceUnits = 256 * 1024;
inline constexpr double kFirstSecondsPerUnit = 2e-6;
// The address space kept free for the host: a quarter of it, at least 256 MB.
inline constexpr uint64_t kMinReserve = 256ull * 1024 * 1024;

// Where a slice ends, and the line ends (LF) inside it.
struct TCut {
    size_t End = 0;
    size_t Lines = 0;
};

// A cut at pos moved off the inside of CR LF and of a surrogate pair: past
// the pair when the text goes on; back before it when the text held so far
// ends there and more is to come (complete false).
size_t SafeCut(std::u16string_view text, size_t pos, bool complete);

// The first screen of text.
TCut FirstScreenCut(std::u16string_view text, bool complete);

// The next slice after fed: about `units` of work, cut after a line end
// where there is one. Where none is in reach the slice goes on inside the
// paragraph the widget already holds the start of, and is then at least as
// long as what the widget has of it (to the paragraph's end at most): every
// append wraps that whole paragraph again, so the appends to one paragraph
// cost about twice its one wrap. The end may equal fed when the text held so
// far ends in a pair that is not complete yet.
TCut NextCut(std::u16string_view text, size_t fed, size_t units, bool complete);

// The size of the next slice in units, from the measured cost per unit and
// the size of the last slice (a quick slice must not make the next one long:
// a slice at most doubles).
size_t SliceUnits(double secondsPerUnit, size_t lastSliceUnits);

// The measured cost per unit after a slice of `units` took `seconds`,
// weighted towards the latest slice (the widget's cost grows with its text).
double NextSecondsPerUnit(double secondsPerUnit, size_t units, double seconds);

// The process's memory as the reserve check sees it; zeros where the
// platform does not say (no reserve is kept then).
struct TMemoryFigures {
    uint64_t TotalAddressSpace = 0;
    uint64_t FreeAddressSpace = 0;
    uint64_t PhysicalMemory = 0;
};

// False when appending a slice of chars characters and lines line ends would
// leave less free address space than the reserve: what the widget has cost
// so far per character and per line (whichever foretells more), twice that
// for the heap's growth in large pieces, and the slice's own copy.
bool RoomFor(const TMemoryFigures& now, uint64_t freeAtStart, size_t fed, size_t fedLines, size_t chars, size_t lines);

}  // namespace pagelet
