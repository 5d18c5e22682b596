#pragma once

// How much of a reference text another text holds, word by word: the measure
// of an extractor's text against an office suite's plain-text export of the
// same document (which writes fields afresh and may move a line, so the two
// are compared as words, not bytes).
//
// A word is a run of letters and digits; each CJK character (kana, ideograph,
// hangul) is a word of its own, as those scripts put no spaces between words.
// Case is folded for ASCII letters.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace pagelet::test {

struct TWordMatch {
    size_t referenceWords = 0;
    size_t textWords = 0;
    size_t common = 0;  // words in both, each counted as often as the rarer side has it
    // Of the reference's words, the share the text holds (1 for an empty reference).
    double Recall() const { return referenceWords == 0 ? 1.0 : static_cast<double>(common) / referenceWords; }
    // Of the text's words, the share the reference holds (1 for an empty text).
    double Precision() const { return textWords == 0 ? 1.0 : static_cast<double>(common) / textWords; }
};

namespace word_recall_detail {

inline bool IsCjk(char32_t c) {
    return (c >= 0x3040 && c <= 0x30FF) || (c >= 0x3400 && c <= 0x9FFF) || (c >= 0xAC00 && c <= 0xD7AF) ||
           (c >= 0xF900 && c <= 0xFAFF) || (c >= 0xFF66 && c <= 0xFF9F) || (c >= 0x20000 && c <= 0x2FFFF);
}

// Letters and digits of the scripts in use; punctuation, spaces, symbols and
// controls end a word.
inline bool IsWordChar(char32_t c) {
    if (c < 0x80) return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
    if (c == 0xA0 || c == 0xAD || c == 0xD7 || c == 0xF7) return false;
    if (c >= 0xA1 && c <= 0xBF) return false;                      // Latin-1 punctuation and signs
    if (c >= 0x2000 && c <= 0x2BFF) return false;                  // general punctuation, symbols, arrows, boxes
    if (c >= 0x3000 && c <= 0x303F) return false;                  // CJK punctuation
    if (c >= 0xFE30 && c <= 0xFE4F) return false;                  // CJK compatibility forms
    if (c >= 0xFF00 && c <= 0xFF0F) return false;                  // full-width punctuation
    if ((c >= 0xFF1A && c <= 0xFF20) || (c >= 0xFF3B && c <= 0xFF40) || (c >= 0xFF5B && c <= 0xFF65)) return false;
    if (c >= 0xD800 && c <= 0xDFFF) return false;
    if (c >= 0xE000 && c <= 0xF8FF) return false;                  // private use (symbol fonts)
    if (c == 0xFEFF || c == 0xFFFD) return false;
    return true;
}

inline std::vector<char32_t> DecodeUtf8(std::string_view s) {
    std::vector<char32_t> out;
    out.reserve(s.size());
    for (size_t i = 0; i < s.size();) {
        const auto b = static_cast<unsigned char>(s[i]);
        const int n = b < 0x80 ? 0 : (b >> 5) == 6 ? 1 : (b >> 4) == 14 ? 2 : (b >> 3) == 30 ? 3 : -1;
        char32_t c = n <= 0 ? b : (b & (0x3F >> n));
        bool ok = n >= 0 && i + n < s.size();
        for (int k = 1; ok && k <= n; ++k) {
            const auto t = static_cast<unsigned char>(s[i + k]);
            ok = (t & 0xC0) == 0x80;
            c = (c << 6) | (t & 0x3F);
        }
        out.push_back(ok ? c : 0xFFFD);
        i += ok ? n + 1 : 1;
    }
    return out;
}

inline std::vector<char32_t> DecodeUtf16(std::u16string_view s) {
    std::vector<char32_t> out;
    out.reserve(s.size());
    for (size_t i = 0; i < s.size(); ++i) {
        const char16_t c = s[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < s.size() && s[i + 1] >= 0xDC00 && s[i + 1] <= 0xDFFF) {
            out.push_back(0x10000 + ((static_cast<char32_t>(c) - 0xD800) << 10) + (s[i + 1] - 0xDC00));
            ++i;
        } else {
            out.push_back(c);
        }
    }
    return out;
}

}  // namespace word_recall_detail

// The words of a text, in order.
inline std::vector<std::u32string> Words(const std::vector<char32_t>& text) {
    using namespace word_recall_detail;
    std::vector<std::u32string> words;
    std::u32string word;
    auto end = [&] {
        if (!word.empty()) words.push_back(std::move(word));
        word.clear();
    };
    for (char32_t c : text) {
        if (IsCjk(c)) {
            end();
            words.push_back(std::u32string(1, c));
        } else if (IsWordChar(c)) {
            word.push_back(c >= 'A' && c <= 'Z' ? c + 32 : c);
        } else {
            end();
        }
    }
    end();
    return words;
}
inline std::vector<std::u32string> WordsOfUtf8(std::string_view text) {
    return Words(word_recall_detail::DecodeUtf8(text));
}
inline std::vector<std::u32string> WordsOfUtf16(std::u16string_view text) {
    return Words(word_recall_detail::DecodeUtf16(text));
}

inline TWordMatch MatchWords(const std::vector<std::u32string>& reference, const std::vector<std::u32string>& text) {
    std::unordered_map<std::u32string, int64_t> counts;
    for (const auto& w : reference) ++counts[w];
    TWordMatch m;
    m.referenceWords = reference.size();
    m.textWords = text.size();
    for (const auto& w : text) {
        auto it = counts.find(w);
        if (it != counts.end() && it->second > 0) {
            --it->second;
            ++m.common;
        }
    }
    return m;
}

// A reference in UTF-8 (a byte-order mark is no word) against a text in UTF-16.
inline TWordMatch MatchWords(std::string_view referenceUtf8, std::u16string_view text) {
    return MatchWords(WordsOfUtf8(referenceUtf8), WordsOfUtf16(text));
}

// The first control character of a text other than tab, CR and LF, or -1.
inline ptrdiff_t FirstControl(std::u16string_view text) {
    for (size_t i = 0; i < text.size(); ++i) {
        const char16_t c = text[i];
        if ((c < 0x20 && c != u'\t' && c != u'\r' && c != u'\n') || c == 0x7F) return static_cast<ptrdiff_t>(i);
    }
    return -1;
}

}  // namespace pagelet::test
