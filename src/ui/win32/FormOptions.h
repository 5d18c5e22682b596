#pragma once

// The options dialog: font, background colour, loader, printable filter and
// forced code page of the viewer, from the dialog template IDD_TFORMOPTIONS.

#include <windows.h>

#include "common/Handles.h"
#include "settings/Settings.h"
#include "ui/win32/toolkit/CommonDialogs.h"
#include "ui/win32/toolkit/Dialog.h"

namespace pagelet {

class TFormMain;

class TFormOptions : public TDialog {
public:
    // Makes the dialog's window, hidden, owned by ownerWindow (may be 0),
    // with its controls showing values.
    TFormOptions(HWND ownerWindow, const TViewerOptions& values);
    ~TFormOptions() override;

    // What the controls held when OK was pressed; until then the values the
    // dialog was made with.
    const TViewerOptions& Values() const { return values_; }

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

protected:
    void InitDialog() override;
    void Shown() override { FormShow(); }
    void Accept() override;
    void Command(UINT id, UINT code) override;
    bool Message(UINT msg, WPARAM wParam, LPARAM lParam, INT_PTR& result) override;
    HWND FirstFocus() const override { return btnFont; }

private:
    TViewerOptions values_;
    TGdiObject aboutFont_;  // bold Tahoma of StaticText1; outlives the window
};

// The whole flow of the viewer's "&Options..." item: a new dialog showing the
// form's font and background and the load settings the settings file holds
// now, shown modally; on OK the font and background go to the Viewer at once
// and the six settings are written. The dialog is released on every way out;
// an exception goes to the exception hook.
void ExecuteOptionsDialog(TFormMain& form);

}  // namespace pagelet
