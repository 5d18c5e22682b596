// Text helpers of the lister host: paths, the ANSI code page, window texts,
// and the forms in which the host logs and prints what it saw.
#pragma once

#include <windows.h>

#include <string>

namespace pagelet {

// The absolute form of a path; the path itself when the system cannot say.
std::wstring FullPath(const std::wstring& path);

// Between UTF-16 and the system ANSI code page.
std::string ToAnsi(const std::wstring& text);
std::wstring FromAnsi(const char* text);

// The path as 8-bit text for the plug-in. A name that the ANSI code page
// cannot spell is handed over as its short name, which it always can.
std::string AnsiPath(const std::wstring& path);

std::wstring ClassName(HWND window);
std::wstring WindowText(HWND window);
bool IsRichEdit(HWND window);

}  // namespace pagelet
