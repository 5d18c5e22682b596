#include "ui/win32/FormMain.h"

#include <cstdint>
#include <limits>

#include "common/Error.h"
#include "loading/DocumentText.h"
#include "settings/Settings.h"
#include "ui/win32/FormOptions.h"
#include "ui/win32/resource.h"

namespace pagelet {

namespace {

// Design placement of the form: left, top, client width and height.
constexpr RECT kDesignBounds{199, 207, 199 + 558, 207 + 340};

void PostKey(HWND target, UINT msg, WPARAM key) { PostMessageW(target, msg, key, 0); }

// Keys handed back to the lister when no modifier is held: the main
// keyboard's 1 to 8, N, P and W (on the low 8 bits of the key code).
bool IsForwardedPlainKey(uint16_t key) {
    uint8_t low = static_cast<uint8_t>(key & 0xFF);
    return (low >= '1' && low <= '8') || low == 'N' || low == 'P' || low == 'W';
}

bool IsF5OrF7(uint16_t key) { return key == VK_F5 || key == VK_F7; }

}  // namespace

TFormMain::TFormMain() {
    OnCreate = [this] { FormCreate(); };
    OnShow = [this] { FormShow(); };
    OnResize = [this] { FormResize(); };
    OnActivate = [this] { FormActivate(); };

    popupMenu1_ = std::make_unique<TPopupMenu>(IDM_POPUPMENU1);
    mnuCopy_ = std::make_unique<TMenuItem>(IDM_COPY, ShortCut('C', ssCtrl));
    mnuSelectAll_ = std::make_unique<TMenuItem>(IDM_SELECTALL, ShortCut('A', ssCtrl));
    n1_ = std::make_unique<TMenuItem>(0);
    mnuOptions_ = std::make_unique<TMenuItem>(IDM_OPTIONS);
    PopupMenu1 = popupMenu1_.get();
    mnuCopy = mnuCopy_.get();
    mnuSelectAll = mnuSelectAll_.get();
    N1 = n1_.get();
    mnuOptions = mnuOptions_.get();
    mnuCopy->OnClick = [this] { mnuCopyClick(); };
    mnuSelectAll->OnClick = [this] { mnuSelectAllClick(); };
    mnuOptions->OnClick = [this] { mnuOptionsClick(); };
    PopupMenu1->Add(mnuCopy);
    PopupMenu1->Add(mnuSelectAll);
    PopupMenu1->Add(mnuOptions);

    viewer_ = std::make_unique<TRichEdit>();
    Viewer = viewer_.get();
    Viewer->PopupMenu = PopupMenu1;
    Viewer->OnKeyDown = [this](uint16_t& key, TShiftState shift) { ViewerKeyDown(key, shift); };
    Viewer->OnMouseWheel = [this](TShiftState shift, int wheelDelta, POINT mousePos, bool& handled) {
        ViewerMouseWheel(shift, wheelDelta, mousePos, handled);
    };
    Viewer->OnEnterFromOutside = [this] { DoActivate(); };
}

TFormMain::~TFormMain() {
    // The window, with the control inside it, goes before the components.
    DestroyHandle();
}

std::unique_ptr<TFormMain> TFormMain::CreateParented(HWND parentWindow, const std::u16string& fileToView) {
    (void)fileToView;
    std::unique_ptr<TFormMain> form(new TFormMain());
    form->CreateParentedWindow(parentWindow, u"Pagelet", kDesignBounds);
    form->TotCmdWin = FindWindowW(L"TTOTAL_CMD", nullptr);
    form->ParentWin = parentWindow;
    form->QuickView = GetParent(parentWindow) != nullptr;
    form->DoCreate();
    return form;
}

void TFormMain::CreateParams(TCreateParams& params) {
    params.Style = WS_CHILD | WS_MAXIMIZE;
    params.WndExtra = 4;
    params.WinClassName = u"TFormMain";
}

void TFormMain::CreateControls() {
    RECT client{};
    GetClientRect(Handle(), &client);
    viewer_->SetBounds(0, 0, client.right, client.bottom);
    viewer_->CreateWnd(Handle());
}

void TFormMain::AlignControls(int clientWidth, int clientHeight) {
    if (viewer_) viewer_->SetBounds(0, 0, clientWidth, clientHeight);
}

void TFormMain::FormCreate() {
    Ini = SettingsFilePath();
    const TViewerOptions options = ReadViewerOptions(Ini);
    fFont = options.Font;
    fBackColor = options.BackColor;
    Viewer->SetFont(fFont);
    Viewer->SetBackColor(fBackColor);
    Delta = 100;
}

void TFormMain::FormShow() {
    Viewer->SetText(u"");
    // With no configured face the face in force before the temporary one
    // comes back, so that the text never shows in a symbol face.
    std::u16string faceInForce = Viewer->Font().Name;
    Viewer->SetFontName(u"Webdings");
    Viewer->SetFontSize(8);
    Viewer->SetFontColor(16777215);
    TFontSpec font = fFont;
    if (font.Name.empty()) font.Name = faceInForce;
    Viewer->SetFont(font);
    ShowText(DocumentText ? DocumentText->SharedText() : nullptr);
}

void TFormMain::ShowText(std::shared_ptr<const std::u16string> text) { Viewer->LoadText(std::move(text), 0, 0); }

void TFormMain::FormResize() {
    if (Viewer && Viewer->WordWrap()) Viewer->Repaint();
}

void TFormMain::FormActivate() { Viewer->SetFocus(); }

void TFormMain::ViewerKeyDown(uint16_t& key, TShiftState shift) {
    if (shift == 0) {
        if (key == VK_ESCAPE) {
            PostKey(ParentWin, WM_KEYDOWN, QuickView ? VK_TAB : VK_ESCAPE);
            PostKey(ParentWin, WM_KEYUP, VK_ESCAPE);
            key = 0;
        } else if (IsForwardedPlainKey(key) || IsF5OrF7(key)) {
            PostKey(ParentWin, WM_KEYDOWN, key);
            PostKey(ParentWin, WM_KEYUP, key);
            key = 0;
        }
    }
    if ((shift & ssShift) && IsF5OrF7(key)) {
        PostKey(ParentWin, WM_KEYDOWN, VK_SHIFT);
        PostKey(ParentWin, WM_KEYDOWN, key);
        PostKey(ParentWin, WM_KEYUP, VK_SHIFT);
        PostKey(ParentWin, WM_KEYUP, key);
        key = 0;
    }
    if (Viewer->CanFocus()) Viewer->SetFocus();
}

void TFormMain::ViewerMouseWheel(TShiftState shift, int wheelDelta, POINT mousePos, bool& handled) {
    (void)mousePos;
    if (!(shift & ssCtrl)) return;
    int64_t next = static_cast<int64_t>(Delta) + wheelDelta / 12;
    if (next < 1) next = 1;
    // No upper bound but the integer's own.
    if (next > std::numeric_limits<int32_t>::max()) next = std::numeric_limits<int32_t>::max();
    Delta = static_cast<int32_t>(next);
    Viewer->SetZoom(Delta);
    handled = true;
}

void TFormMain::mnuCopyClick() { Viewer->CopyToClipboard(); }

void TFormMain::mnuSelectAllClick() { Viewer->SelectAll(); }

void TFormMain::mnuOptionsClick() { ExecuteOptionsDialog(*this); }

void TFormMain::AppException(TComponent* sender, const std::exception& e) {
    (void)sender;
    ShowError(Handle(), u"Exception:\r" + ExceptionMessage(e));
}

}  // namespace pagelet
