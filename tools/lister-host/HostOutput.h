// Console output of the lister host: UTF-8 on stdout and stderr, flushed at
// once so that a script reading the pipe sees each line as it happens.
#pragma once

#include <string>
#include <string_view>

namespace pagelet {

std::string ToUtf8(std::wstring_view text);

// The text as it is, UTF-8 encoded.
void WriteOut(std::wstring_view text);
void WriteOutLine(std::wstring_view line);
void WriteErrLine(std::wstring_view line);

// "0x1B": at least two upper-case hexadecimal digits.
std::wstring HexText(unsigned long value);

}  // namespace pagelet
