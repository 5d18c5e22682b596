#include "HostOutput.h"

#include <windows.h>

#include <cstdio>
#include <cwchar>

namespace pagelet {

std::string ToUtf8(std::wstring_view text) {
    if (text.empty()) return {};
    // An unpaired surrogate becomes U+FFFD: no WC_ERR_INVALID_CHARS.
    const int size =
        WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string result(static_cast<size_t>(size > 0 ? size : 0), '\0');
    if (size > 0) {
        WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), result.data(), size, nullptr,
                            nullptr);
    }
    return result;
}

namespace {

void Write(FILE* stream, std::wstring_view text) {
    const std::string bytes = ToUtf8(text);
    std::fwrite(bytes.data(), 1, bytes.size(), stream);
    std::fflush(stream);
}

}  // namespace

void WriteOut(std::wstring_view text) { Write(stdout, text); }

void WriteOutLine(std::wstring_view line) {
    std::wstring text(line);
    text += L'\n';
    Write(stdout, text);
}

void WriteErrLine(std::wstring_view line) {
    std::wstring text(line);
    text += L'\n';
    Write(stderr, text);
}

std::wstring HexText(unsigned long value) {
    wchar_t buffer[32];
    std::swprintf(buffer, 32, L"0x%02lX", value);
    return buffer;
}

}  // namespace pagelet
