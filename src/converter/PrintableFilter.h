#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace pagelet {

// Keeps line feed, carriage return, printable ASCII (0x20-0x7E), the upper
// half of Latin-1 (0xA0-0xFF) and the code units from Cyrillic to the end of
// Cyrillic Extended-B (0x0400-0xA69F); drops every other code unit, Word's
// control characters and both halves of a surrogate pair among them.
std::u16string FilterPrintable(std::u16string_view text);

// The same filter applied to text in place.
void FilterPrintableInPlace(std::u16string& text);
// The same on n code units in place; returns how many are kept.
size_t FilterPrintableInPlace(char16_t* text, size_t n);

}  // namespace pagelet
