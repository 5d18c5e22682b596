#include "viewer/TextSearch.h"

#include <algorithm>
#include <string>

namespace pagelet {

char16_t FoldCase(char16_t c) {
    if (c < 0x80) return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c + 32) : c;
    if (c >= 0xC0 && c <= 0xDE && c != 0xD7) return static_cast<char16_t>(c + 32);
    if (c >= 0x100 && c <= 0x17F) {
        // Latin Extended-A: pairs of capital and small letter, with a few
        // stretches of odd capitals and some letters without a pair.
        if (c == 0x130 || c == 0x131 || c == 0x138 || c == 0x149 || c == 0x17F) return c;
        if (c == 0x178) return 0xFF;
        const bool oddCapitals = (c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E);
        if (oddCapitals) return (c & 1) ? static_cast<char16_t>(c + 1) : c;
        return (c & 1) ? c : static_cast<char16_t>(c + 1);
    }
    if (c >= 0x391 && c <= 0x3AB && c != 0x3A2) return static_cast<char16_t>(c + 32);
    if (c >= 0x386 && c <= 0x38F) {
        switch (c) {
        case 0x386:
            return 0x3AC;
        case 0x388:
            return 0x3AD;
        case 0x389:
            return 0x3AE;
        case 0x38A:
            return 0x3AF;
        case 0x38C:
            return 0x3CC;
        case 0x38E:
            return 0x3CD;
        case 0x38F:
            return 0x3CE;
        default:
            return c;
        }
    }
    if (c == 0x3C2) return 0x3C3;  // final sigma matches sigma
    if (c >= 0x400 && c <= 0x40F) return static_cast<char16_t>(c + 0x50);
    if (c >= 0x410 && c <= 0x42F) return static_cast<char16_t>(c + 32);
    if ((c >= 0x460 && c <= 0x481) || (c >= 0x48A && c <= 0x4BF) || (c >= 0x4D0 && c <= 0x52F))
        return (c & 1) ? c : static_cast<char16_t>(c + 1);
    return c;
}

bool IsWordUnit(char16_t c) {
    if (c < 0x80) return (c >= u'0' && c <= u'9') || (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z') || c == u'_';
    if (c < 0xC0) return c == 0xAA || c == 0xB5 || c == 0xBA;  // Latin-1 punctuation and signs, but these letters
    if (c == 0xD7 || c == 0xF7) return false;
    if (c >= 0x2000 && c <= 0x206F) return false;  // general punctuation, spaces
    if (c >= 0x3000 && c <= 0x303F) return false;  // CJK punctuation
    if (c >= 0xFE30 && c <= 0xFE4F) return false;
    if (c >= 0xFF00 && c <= 0xFF0F) return false;
    if (c == 0xFEFF || c == 0xFFFD) return false;
    return true;
}

namespace {

bool MatchesAt(std::u16string_view text, size_t at, std::u16string_view needle, bool matchCase) {
    if (matchCase) return text.compare(at, needle.size(), needle) == 0;
    for (size_t i = 0; i < needle.size(); ++i)
        if (FoldCase(text[at + i]) != needle[i]) return false;
    return true;
}

bool IsWholeWord(std::u16string_view text, size_t at, size_t length) {
    if (at > 0 && IsWordUnit(text[at - 1]) && IsWordUnit(text[at])) return false;
    const size_t end = at + length;
    if (end < text.size() && IsWordUnit(text[end]) && IsWordUnit(text[end - 1])) return false;
    return true;
}

}  // namespace

std::optional<size_t> FindText(std::u16string_view text, std::u16string_view needle, size_t from,
                               const TSearchOptions& options) {
    if (needle.empty() || needle.size() > text.size()) return std::nullopt;
    std::u16string folded(needle);
    if (!options.MatchCase) std::transform(folded.begin(), folded.end(), folded.begin(), FoldCase);
    const char16_t first = folded[0];
    const size_t last = text.size() - needle.size();  // the last possible start
    auto accept = [&](size_t at) {
        return MatchesAt(text, at, folded, options.MatchCase) &&
               (!options.WholeWords || IsWholeWord(text, at, needle.size()));
    };
    if (!options.Backwards && options.MatchCase) {
        for (size_t at = text.find(needle, from); at != std::u16string_view::npos; at = text.find(needle, at + 1))
            if (accept(at)) return at;
        return std::nullopt;
    }
    if (!options.Backwards) {
        for (size_t at = std::min(from, last + 1); at <= last; ++at) {
            const char16_t c = options.MatchCase ? text[at] : FoldCase(text[at]);
            if (c == first && accept(at)) return at;
        }
        return std::nullopt;
    }
    if (from < needle.size()) return std::nullopt;
    for (size_t at = std::min(from - needle.size(), last) + 1; at-- > 0;) {
        const char16_t c = options.MatchCase ? text[at] : FoldCase(text[at]);
        if (c == first && accept(at)) return at;
    }
    return std::nullopt;
}

}  // namespace pagelet
