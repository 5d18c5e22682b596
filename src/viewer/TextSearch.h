#pragma once

// Finding a text in the document text held in memory, as the host's search
// asks: forward from a position or backwards before one, with or without
// case, whole words only or anywhere.

#include <cstddef>
#include <optional>
#include <string_view>

namespace pagelet {

struct TSearchOptions {
    bool Backwards = false;
    bool MatchCase = false;
    bool WholeWords = false;
};

// Forward: the first match that starts at or after from. Backwards: the last
// match that ends at or before from. nullopt when there is none (an empty
// needle never matches).
std::optional<size_t> FindText(std::u16string_view text, std::u16string_view needle, size_t from,
                               const TSearchOptions& options);

// The code unit as matched without case: upper-case letters of Latin,
// Greek and Cyrillic (the scripts of the code pages the converter decodes)
// become lower case; other code units stay.
char16_t FoldCase(char16_t c);

// True for a code unit that belongs to a word (letters, digits, '_',
// surrogates and the letters of other scripts); false for blanks, controls
// and punctuation.
bool IsWordUnit(char16_t c);

}  // namespace pagelet
