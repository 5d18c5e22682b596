#include "ui/win32/FormMain.h"

#include <cstdint>
#include <vector>

#include "common/Error.h"
#include "settings/Settings.h"
#include "ui/win32/FormOptions.h"
#include "ui/win32/resource.h"

namespace pagelet {

namespace {

// Design placement of the form: left, top, client width and height.
constexpr RECT kDesignBounds{199, 207, 199 + 558, 207 + 340};

void PostKey(HWND target, const TKeyPost& post) {
    PostMessageW(target, post.Down ? WM_KEYDOWN : WM_KEYUP, post.Key, 0);
}

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
    backEnd_ = std::make_unique<TRichEditViewer>(*viewer_);
    core_ = std::make_unique<TViewerCore>(*backEnd_);
    Core = core_.get();
    Viewer->OnTimer = [this] { Core->Step(); };
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
    Core->SetFont(options.Font);
    Core->SetBackColor(options.BackColor);
}

void TFormMain::FormShow() {
    Viewer->SetText(u"");
    const std::u16string faceInForce = Viewer->Font().Name;
    Viewer->SetFontName(u"Webdings");
    Viewer->SetFontSize(8);
    Viewer->SetFontColor(16777215);
    // With no configured face the face in force before the temporary one
    // comes back, so that the text never shows in a symbol face.
    if (Core->Font().Name.empty()) Viewer->SetFontName(faceInForce);
    Core->SetFont(Core->Font());
    Core->LoadText(std::move(Document.Text), std::move(Document.Rest));
    Document = {};
}

void TFormMain::FormResize() {
    if (Viewer && Viewer->WordWrap()) Viewer->Repaint();
}

void TFormMain::FormActivate() { Viewer->SetFocus(); }

void TFormMain::ViewerKeyDown(uint16_t& key, TShiftState shift) {
    const TKeyRoute route = RouteKey(key, shift, THostKeys::Posted, QuickView);
    for (const TKeyPost& post : route.Posts) PostKey(ParentWin, post);
    if (!route.ToViewer) key = 0;
    if (Viewer->CanFocus()) Viewer->SetFocus();
}

void TFormMain::ViewerMouseWheel(TShiftState shift, int wheelDelta, POINT mousePos, bool& handled) {
    (void)mousePos;
    if (Core->MouseWheel(shift, wheelDelta)) handled = true;
}

void TFormMain::mnuCopyClick() { Core->CopyToClipboard(); }

void TFormMain::mnuSelectAllClick() { Core->SelectAll(); }

void TFormMain::mnuOptionsClick() { ExecuteOptionsDialog(*this); }

void TFormMain::AppException(TComponent* sender, const std::exception& e) {
    (void)sender;
    ShowError(Handle(), u"Exception:\r" + ExceptionMessage(e));
}

}  // namespace pagelet
