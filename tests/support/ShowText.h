#pragma once

// A readable form of UTF-16 text for test expectations and failure messages:
// printable ASCII as it is, newline and tab as \n and \t, anything else as
// \uXXXX, so a wrong control character or a lost non-ASCII letter shows.

#include <cstdio>
#include <string>
#include <string_view>

namespace pagelet::test {

inline std::string ShowText(std::u16string_view text) {
    std::string out;
    for (char16_t c : text) {
        if (c >= 0x20 && c < 0x7F) {
            out += static_cast<char>(c);
        } else if (c == u'\n') {
            out += "\\n";
        } else if (c == u'\t') {
            out += "\\t";
        } else {
            char buf[12];
            std::snprintf(buf, sizeof buf, "\\u%04X", static_cast<unsigned>(c));
            out += buf;
        }
    }
    return out;
}

// The same in double quotes, so leading and trailing spaces show.
inline std::string ShowQuoted(std::u16string_view text) { return "\"" + ShowText(text) + "\""; }

}  // namespace pagelet::test
