#pragma once

#include <string>
#include <string_view>

namespace pagelet {

// UTF-16 to UTF-8. An unpaired surrogate becomes U+FFFD.
std::string Utf16ToUtf8(std::u16string_view text);

// UTF-8 to UTF-16. An invalid sequence becomes U+FFFD, one per bad byte.
std::u16string Utf8ToUtf16(std::string_view text);

// ASCII-only text (literals, numbers) to UTF-16.
std::u16string AsciiToUtf16(std::string_view text);

}  // namespace pagelet
