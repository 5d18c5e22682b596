// Code pages on Windows: MultiByteToWideChar, GetCPInfo and GetACP.

#include <windows.h>

#include <climits>

#include "common/Error.h"
#include "common/Win32Text.h"
#include "common/CodePage.h"
#include "common/Utf.h"

namespace pagelet {

uint32_t SystemAnsiCodePage() { return ::GetACP(); }

namespace {

// UTF-16 (1200 little-endian, 1201 big-endian) is not a code page that
// MultiByteToWideChar converts from; it passes through as it stands, an odd
// last byte dropped, as on Linux.
bool IsUtf16(uint32_t codePage) { return codePage == 1200 || codePage == 1201; }

}  // namespace

bool IsKnownCodePage(uint32_t codePage) {
    if (IsUtf16(codePage)) return true;
    CPINFO info{};
    return ::GetCPInfo(codePage, &info) != FALSE;
}

bool IsSingleByteCodePage(uint32_t codePage) {
    // 1255 and 1258 may combine a letter and the accent after it into one
    // character: a cut between them would change the text.
    if (codePage == 0) codePage = ::GetACP();
    if (IsUtf16(codePage) || codePage == 1255 || codePage == 1258) return false;
    CPINFO info{};
    return ::GetCPInfo(codePage, &info) != FALSE && info.MaxCharSize == 1;
}

std::optional<std::u16string> PlatformDecode(uint32_t codePage, const uint8_t* data, size_t size, bool strict) {
    if (IsUtf16(codePage)) return DecodeUtf16Bytes(data, size, codePage == 1201);
    if (!IsKnownCodePage(codePage)) throw EPagelet(u"Invalid code page");
    if (size == 0) return std::u16string();
    if (size > static_cast<size_t>(INT_MAX)) throw EPagelet(u"Invalid code page");
    const char* in = reinterpret_cast<const char*>(data);
    const int inSize = static_cast<int>(size);
    DWORD flags = strict ? MB_ERR_INVALID_CHARS : 0;
    int length = ::MultiByteToWideChar(codePage, flags, in, inSize, nullptr, 0);
    // Some code pages (UTF-7, the ISO-2022 family) take no flags at all.
    if (length == 0 && flags != 0 && ::GetLastError() == ERROR_INVALID_FLAGS) {
        flags = 0;
        length = ::MultiByteToWideChar(codePage, flags, in, inSize, nullptr, 0);
    }
    if (length == 0) {
        if (::GetLastError() == ERROR_NO_UNICODE_TRANSLATION) return std::nullopt;
        throw EPagelet(u"Invalid code page");
    }
    std::u16string out(static_cast<size_t>(length), u'\0');
    if (::MultiByteToWideChar(codePage, flags, in, inSize, reinterpret_cast<wchar_t*>(out.data()), length) != length)
        throw EPagelet(u"Invalid code page");
    return out;
}

}  // namespace pagelet
