#include "ui/win32/toolkit/CommonDialogs.h"

#include <commdlg.h>

#include <algorithm>

#include "common/Handles.h"
#include "common/Win32Text.h"
#include "ui/win32/toolkit/RichEdit.h"

namespace pagelet {

namespace {

int ScreenPixelsPerInch() {
    const TWindowDC dc(nullptr, TWindowDC::ClientArea);
    const int ppi = dc.Get() ? GetDeviceCaps(dc.Get(), LOGPIXELSY) : 0;
    return ppi > 0 ? ppi : 96;
}

void ApplyChosenFont(const LOGFONTW& lf, const CHOOSEFONTW& cf, int ppi, TFontSpec& font) {
    font.Name = FromW(lf.lfFaceName);
    if (lf.lfHeight < 0) {
        font.Size = MulDiv(-lf.lfHeight, 72, ppi);
    } else if (cf.iPointSize > 0) {
        font.Size = (cf.iPointSize + 5) / 10;  // tenths of a point
    }
    TFontStyles style = 0;
    if (lf.lfWeight >= FW_BOLD) style |= fsBold;
    if (lf.lfItalic) style |= fsItalic;
    if (lf.lfUnderline) style |= fsUnderline;
    if (lf.lfStrikeOut) style |= fsStrikeOut;
    font.Style = style;
    font.Charset = lf.lfCharSet;
    font.Color = static_cast<int32_t>(cf.rgbColors);
}

}  // namespace

bool TFontDialog::Execute(HWND owner) {
    const int ppi = ScreenPixelsPerInch();
    LOGFONTW lf{};
    lf.lfHeight = -MulDiv(Font.Size, ppi, 72);
    lf.lfWeight = (Font.Style & fsBold) ? FW_BOLD : FW_NORMAL;
    lf.lfItalic = (Font.Style & fsItalic) ? TRUE : FALSE;
    lf.lfUnderline = (Font.Style & fsUnderline) ? TRUE : FALSE;
    lf.lfStrikeOut = (Font.Style & fsStrikeOut) ? TRUE : FALSE;
    lf.lfCharSet = Font.Charset;
    lf.lfOutPrecision = OUT_DEFAULT_PRECIS;
    lf.lfClipPrecision = CLIP_DEFAULT_PRECIS;
    lf.lfQuality = DEFAULT_QUALITY;
    lf.lfPitchAndFamily = DEFAULT_PITCH | FF_DONTCARE;
    const size_t faceLength = std::min<size_t>(Font.Name.size(), LF_FACESIZE - 1);
    std::copy_n(Font.Name.begin(), faceLength, lf.lfFaceName);
    lf.lfFaceName[faceLength] = 0;

    CHOOSEFONTW cf{};
    cf.lStructSize = sizeof(cf);
    cf.hwndOwner = owner;
    cf.lpLogFont = &lf;
    cf.Flags = CF_SCREENFONTS | CF_EFFECTS | CF_INITTOLOGFONTSTRUCT;
    cf.rgbColors = ColorToRGB(Font.Color);
    if (!ChooseFontW(&cf)) return false;
    ApplyChosenFont(lf, cf, ppi, Font);
    return true;
}

bool TColorDialog::Execute(HWND owner) {
    CHOOSECOLORW cc{};
    cc.lStructSize = sizeof(cc);
    cc.hwndOwner = owner;
    cc.rgbResult = ColorToRGB(Color);
    cc.lpCustColors = customColors_.data();
    cc.Flags = CC_RGBINIT;
    if (!ChooseColorW(&cc)) return false;
    Color = static_cast<int32_t>(cc.rgbResult);
    return true;
}

}  // namespace pagelet
