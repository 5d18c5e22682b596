#include "converter/PrintableFilter.h"

namespace pagelet {

namespace {

bool IsKept(char16_t c) {
    return c == 0x000A || c == 0x000D || (c >= 0x0020 && c <= 0x007E) || (c >= 0x00A0 && c <= 0x00FF) ||
           (c >= 0x0400 && c <= 0xA69F);
}

}  // namespace

std::u16string FilterPrintable(std::u16string_view text) {
    std::u16string out(text);
    FilterPrintableInPlace(out);
    return out;
}

void FilterPrintableInPlace(std::u16string& text) { text.resize(FilterPrintableInPlace(text.data(), text.size())); }

size_t FilterPrintableInPlace(char16_t* text, size_t n) {
    size_t kept = 0;
    for (size_t i = 0; i < n; ++i) {
        if (IsKept(text[i])) text[kept++] = text[i];
    }
    return kept;
}

}  // namespace pagelet
