#pragma once

// The viewer window: one document's text in a read-only rich-edit control
// that fills a child window of the host's lister window.

#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>

#include "loading/Loaders.h"
#include "settings/TextForms.h"
#include "ui/win32/RichEditViewer.h"
#include "ui/win32/toolkit/Form.h"
#include "ui/win32/toolkit/Menu.h"
#include "ui/win32/toolkit/RichEdit.h"
#include "viewer/ViewerCore.h"

namespace pagelet {

class TFormMain : public TForm {
public:
    // Makes the form as a child of the foreign window parentWindow; FormCreate
    // has run when this returns. fileToView is not used: the text is handed
    // over (Document) before the form is shown.
    static std::unique_ptr<TFormMain> CreateParented(HWND parentWindow, const std::u16string& fileToView);
    ~TFormMain() override;

    // Components, owned by the form.
    TPopupMenu* PopupMenu1 = nullptr;
    TMenuItem* mnuOptions = nullptr;
    TRichEdit* Viewer = nullptr;
    // The viewer's state (font, colours, zoom, display flags) and the host
    // protocol, drawn in Viewer.
    TViewerCore* Core = nullptr;
    TMenuItem* N1 = nullptr;
    TMenuItem* mnuSelectAll = nullptr;
    TMenuItem* mnuCopy = nullptr;

    HWND TotCmdWin = nullptr;  // the host's main window, or 0
    HWND ParentWin = nullptr;  // the lister window: receives the keys handed back
    bool QuickView = false;    // the lister window has a parent (quick-view panel)
    std::u16string Ini;        // full path of the settings file

    // The loaded document that FormShow puts into the Viewer: the first
    // screen at once, the rest in steps on this thread (TViewerCore).
    TLoadedDocument Document;

    void FormCreate();
    void FormShow();
    void FormResize();
    void FormActivate();
    void ViewerKeyDown(uint16_t& key, TShiftState shift);
    void ViewerMouseWheel(TShiftState shift, int wheelDelta, POINT mousePos, bool& handled);
    void mnuCopyClick();
    void mnuSelectAllClick();
    void mnuOptionsClick();
    // The application object's exception hook while this form is the latest.
    void AppException(TComponent* sender, const std::exception& e);

protected:
    void CreateParams(TCreateParams& params) override;
    void CreateControls() override;
    void AlignControls(int clientWidth, int clientHeight) override;

private:
    TFormMain();

    std::unique_ptr<TPopupMenu> popupMenu1_;
    std::unique_ptr<TMenuItem> mnuOptions_, n1_, mnuSelectAll_, mnuCopy_;
    std::unique_ptr<TRichEdit> viewer_;
    std::unique_ptr<TRichEditViewer> backEnd_;
    std::unique_ptr<TViewerCore> core_;
};

}  // namespace pagelet
