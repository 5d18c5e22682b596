#pragma once

// The options dialog: font, background colour, loader, printable filter and
// forced code page of the viewer, from the dialog template IDD_TFORMOPTIONS.

#include <windows.h>

#include <array>
#include <cstdint>
#include <string>

#include "settings/TextForms.h"
#include "ui/toolkit/Application.h"
#include "ui/toolkit/Handles.h"

namespace pagelet {

class TFormMain;

// Modal results: the ids of the OK and Cancel buttons.
inline constexpr int mrOk = IDOK;          // 1
inline constexpr int mrCancel = IDCANCEL;  // 2

// Holds a font (face, size in points, style, colour value, character set)
// and edits it in the platform's font dialog.
class TFontDialog {
public:
    // Design font; the flow replaces every field but an empty face.
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

class TFormOptions : public TComponent {
public:
    // Makes the dialog's window, hidden, owned by ownerWindow (may be 0).
    explicit TFormOptions(HWND ownerWindow);
    ~TFormOptions() override;
    TFormOptions(const TFormOptions&) = delete;
    TFormOptions& operator=(const TFormOptions&) = delete;

    HWND Handle() const { return handle_.Get(); }

    // Shows the dialog modally: every other enabled visible top-level window
    // of this thread is disabled until it closes, then enabled again and the
    // window that was active before is activated. Answers the modal result:
    // mrOk, or mrCancel for Cancel, Esc and the frame's close.
    int ShowModal();

    // Components, in declared order.
    HWND btnOk = nullptr;
    HWND btnCancel = nullptr;
    HWND PanelOptions = nullptr;
    HWND btnFont = nullptr;
    TFontDialog FontDialog1;
    HWND LabelFont = nullptr;
    HWND btnColor = nullptr;
    TColorDialog ColorDialog1;
    HWND StaticText1 = nullptr;
    HWND cbWord = nullptr;
    HWND cbPrintable = nullptr;
    HWND cbForceCP = nullptr;
    HWND edCP = nullptr;
    HWND Label1 = nullptr;

    // Handlers.
    void FormShow();
    void btnFontClick();
    void btnColorClick();

    // Control values.
    static bool Checked(HWND checkBox);
    static void SetChecked(HWND checkBox, bool checked);
    static std::u16string Text(HWND control);
    static void SetText(HWND control, const std::u16string& text);

private:
    static INT_PTR CALLBACK DialogProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam);
    INT_PTR Dispatch(UINT msg, WPARAM wParam, LPARAM lParam);
    void WmInitDialog(HWND wnd);
    void WmCommand(UINT id, UINT code);
    void CenterOnWorkArea();

    TGdiObject aboutFont_;  // bold Tahoma of StaticText1; outlives the window
    TWindowHandle handle_;
    int modalResult_ = 0;
};

// The whole flow of the viewer's "&Options..." item: a new dialog filled
// from the form's fields, shown modally; on OK the font and background go to
// the Viewer at once and the six settings are written. The dialog is
// released on every way out; an exception goes to the exception hook.
void ExecuteOptionsDialog(TFormMain& form);

}  // namespace pagelet
