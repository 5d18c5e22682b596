#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace pagelet {

// UTF-16 to UTF-8. An unpaired surrogate becomes U+FFFD.
std::string Utf16ToUtf8(std::u16string_view text);

// UTF-8 to UTF-16. An invalid sequence becomes U+FFFD, one per bad byte.
std::u16string Utf8ToUtf16(std::string_view text);

// UTF-16 code units from bytes, little- or big-endian, appended to out as
// they stand (unpaired surrogates and NULs stay); an odd last byte is
// dropped. The one decoder of UTF-16 bytes: document pieces, the code pages
// 1200 and 1201, text files with a byte order mark.
void AppendUtf16Bytes(const uint8_t* data, size_t size, bool bigEndian, std::u16string& out);
std::u16string DecodeUtf16Bytes(const uint8_t* data, size_t size, bool bigEndian);

// ASCII-only text (literals, numbers) to UTF-16.
std::u16string AsciiToUtf16(std::string_view text);

}  // namespace pagelet
