// Saving what a window shows on the screen as an image file.
#pragma once

#include <windows.h>

#include <string>

namespace pagelet {

// Copies the window, frame and children included, as it is on the screen
// and writes it to path: PNG (through GDI+) or BMP, chosen by the extension.
// On failure returns false and says why in error.
bool SaveWindowImage(HWND window, const std::wstring& path, SIZE& size, std::wstring& error);

// Writes a device-dependent bitmap to path, PNG or BMP by the extension, and
// answers its size in size.
bool SaveBitmapImage(HBITMAP bitmap, const std::wstring& path, SIZE& size, std::wstring& error);

}  // namespace pagelet
