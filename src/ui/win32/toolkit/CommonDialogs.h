#pragma once

// The platform's font and colour dialogs, each holding the value it edits.

#include <windows.h>

#include <array>
#include <cstdint>

#include "settings/TextForms.h"

namespace pagelet {

// Holds a font (face, size in points, style, colour value, character set)
// and edits it in the platform's font dialog.
class TFontDialog {
public:
    // Design font; the options flow replaces every field but an empty face.
    TFontSpec Font{u"MS Sans Serif", 8, 0, static_cast<int32_t>(0xFF000008), DEFAULT_CHARSET};

    // ChooseFontW with CF_SCREENFONTS | CF_EFFECTS | CF_INITTOLOGFONTSTRUCT,
    // opened on Font. On OK Font takes the chosen face, size, style,
    // character set and colour; answers whether the user confirmed.
    bool Execute(HWND owner);
};

// Holds a colour value and edits it in the platform's colour dialog.
class TColorDialog {
public:
    int32_t Color = 0;

    // ChooseColorW with CC_RGBINIT (short form), opened on Color (a system
    // colour shown as the colour it names). On OK Color takes the chosen RGB.
    bool Execute(HWND owner);

private:
    std::array<COLORREF, 16> customColors_{0xFFFFFF, 0xFFFFFF, 0xFFFFFF, 0xFFFFFF, 0xFFFFFF, 0xFFFFFF,
                                           0xFFFFFF, 0xFFFFFF, 0xFFFFFF, 0xFFFFFF, 0xFFFFFF, 0xFFFFFF,
                                           0xFFFFFF, 0xFFFFFF, 0xFFFFFF, 0xFFFFFF};
};

}  // namespace pagelet
