#include "WindowImage.h"

#include <objidl.h>
#include <gdiplus.h>

#include <cwctype>
#include <vector>

#include "common/Handles.h"

namespace pagelet {

namespace {

std::wstring ErrorText(const wchar_t* what) {
    return std::wstring(what) + L" (error " + std::to_wstring(GetLastError()) + L")";
}

bool EndsWithNoCase(const std::wstring& text, const wchar_t* suffix) {
    const std::wstring tail(suffix);
    if (text.size() < tail.size()) return false;
    for (size_t i = 0; i < tail.size(); ++i) {
        if (std::towlower(text[text.size() - tail.size() + i]) != std::towlower(tail[i])) return false;
    }
    return true;
}

// A bottom-up 24-bit BMP, rows padded to four bytes.
bool WriteBmp(HDC dc, HBITMAP bitmap, int width, int height, const std::wstring& path, std::wstring& error) {
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    info.bmiHeader.biCompression = BI_RGB;
    const size_t stride = (static_cast<size_t>(width) * 3 + 3) & ~static_cast<size_t>(3);
    std::vector<BYTE> pixels(stride * static_cast<size_t>(height));
    if (GetDIBits(dc, bitmap, 0, static_cast<UINT>(height), pixels.data(), &info, DIB_RGB_COLORS) != height) {
        error = ErrorText(L"cannot read the captured pixels");
        return false;
    }
    BITMAPFILEHEADER header{};
    header.bfType = 0x4D42;  // "BM"
    header.bfOffBits = sizeof(BITMAPFILEHEADER) + sizeof(BITMAPINFOHEADER);
    header.bfSize = static_cast<DWORD>(header.bfOffBits + pixels.size());
    info.bmiHeader.biSizeImage = static_cast<DWORD>(pixels.size());
    TKernelHandle file(
        CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        error = ErrorText((L"cannot create " + path).c_str());
        return false;
    }
    const auto write = [&file](const void* data, size_t size) {
        DWORD written = 0;
        return WriteFile(file.Get(), data, static_cast<DWORD>(size), &written, nullptr) && written == size;
    };
    if (!write(&header, sizeof header) || !write(&info.bmiHeader, sizeof info.bmiHeader) ||
        !write(pixels.data(), pixels.size())) {
        error = ErrorText((L"cannot write " + path).c_str());
        return false;
    }
    return true;
}

bool WritePng(HBITMAP bitmap, const std::wstring& path, std::wstring& error) {
    // The PNG encoder of GDI+.
    const CLSID kPngEncoder = {0x557cf406, 0x1a04, 0x11d3, {0x9a, 0x73, 0x00, 0x00, 0xf8, 0x1e, 0xf3, 0x2e}};
    Gdiplus::GdiplusStartupInput input;
    ULONG_PTR token = 0;
    if (Gdiplus::GdiplusStartup(&token, &input, nullptr) != Gdiplus::Ok) {
        error = L"GDI+ does not start";
        return false;
    }
    Gdiplus::Status status;
    {
        Gdiplus::Bitmap image(bitmap, nullptr);
        status = image.GetLastStatus();
        if (status == Gdiplus::Ok) status = image.Save(path.c_str(), &kPngEncoder, nullptr);
    }
    Gdiplus::GdiplusShutdown(token);
    if (status != Gdiplus::Ok) {
        error = L"GDI+ cannot write " + path + L" (status " + std::to_wstring(static_cast<int>(status)) + L")";
        return false;
    }
    return true;
}

// A window manager, where there is one, draws the frame and the caption
// outside the window's own surface, so the copy holds no title bar. Paint
// them the way the system draws them: the border, then the caption with the
// window's title down to the menu bar (or the client area).
void PaintFrame(HDC dc, HWND window, int width, int height) {
    if (!(GetWindowLongW(window, GWL_STYLE) & WS_CAPTION)) return;
    RECT windowRect{};
    RECT client{};
    GetWindowRect(window, &windowRect);
    GetClientRect(window, &client);
    MapWindowPoints(window, nullptr, reinterpret_cast<POINT*>(&client), 2);
    OffsetRect(&client, -windowRect.left, -windowRect.top);
    int captionBottom = client.top;
    MENUBARINFO menuBar{};
    menuBar.cbSize = sizeof menuBar;
    if (GetMenu(window) && GetMenuBarInfo(window, OBJID_MENU, 0, &menuBar)) {
        captionBottom = menuBar.rcBar.top - windowRect.top;
    }
    const int border = client.left;
    if (border < 0 || captionBottom <= border) return;
    const HBRUSH frameBrush = GetSysColorBrush(COLOR_BTNFACE);
    const RECT sides[] = {{0, 0, width, border},
                          {0, 0, border, height},
                          {width - border, 0, width, height},
                          {0, height - border, width, height}};
    for (const RECT& side : sides) FillRect(dc, &side, frameBrush);
    RECT frame{0, 0, width, height};
    DrawEdge(dc, &frame, EDGE_RAISED, BF_RECT);
    RECT caption{border, border, width - border, captionBottom};
    DrawCaption(window, dc, &caption, DC_ACTIVE | DC_ICON | DC_TEXT | DC_GRADIENT);
}

}  // namespace

bool SaveBitmapImage(HBITMAP bitmap, const std::wstring& path, SIZE& size, std::wstring& error) {
    BITMAP info{};
    if (!bitmap || !GetObjectW(bitmap, sizeof info, &info)) {
        error = L"no bitmap";
        return false;
    }
    size = SIZE{info.bmWidth, info.bmHeight};
    TWindowDC screenDc(nullptr);
    if (EndsWithNoCase(path, L".bmp"))
        return WriteBmp(screenDc.Get(), bitmap, info.bmWidth, info.bmHeight, path, error);
    if (EndsWithNoCase(path, L".png")) return WritePng(bitmap, path, error);
    error = L"the image must be a .png or .bmp file: " + path;
    return false;
}

bool SaveWindowImage(HWND window, const std::wstring& path, SIZE& size, std::wstring& error) {
    RECT rect{};
    if (!GetWindowRect(window, &rect)) {
        error = ErrorText(L"no window to capture");
        return false;
    }
    const int width = rect.right - rect.left;
    const int height = rect.bottom - rect.top;
    if (width <= 0 || height <= 0) {
        error = L"the window has no area";
        return false;
    }
    size = SIZE{width, height};
    TWindowDC windowDc(window);
    TMemoryDC memoryDc(CreateCompatibleDC(windowDc.Get()));
    TGdiObject bitmap(CreateCompatibleBitmap(windowDc.Get(), width, height));
    if (!windowDc.Get() || !memoryDc.Get() || !bitmap.Get()) {
        error = ErrorText(L"cannot prepare the capture");
        return false;
    }
    {
        TSelectedObject selection(memoryDc.Get(), bitmap.Get());
        // The window DC shows the window as it is on the screen, children
        // included (they draw into the same surface).
        if (!BitBlt(memoryDc.Get(), 0, 0, width, height, windowDc.Get(), 0, 0, SRCCOPY | CAPTUREBLT)) {
            error = ErrorText(L"cannot copy the window");
            return false;
        }
        PaintFrame(memoryDc.Get(), window, width, height);
    }
    if (EndsWithNoCase(path, L".bmp")) return WriteBmp(memoryDc.Get(), static_cast<HBITMAP>(bitmap.Get()), width, height, path, error);
    if (EndsWithNoCase(path, L".png")) return WritePng(static_cast<HBITMAP>(bitmap.Get()), path, error);
    error = L"the image must be a .png or .bmp file: " + path;
    return false;
}

}  // namespace pagelet
