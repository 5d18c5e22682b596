#include "ui/FormOptions.h"

#include <commdlg.h>

#include <algorithm>
#include <memory>
#include <vector>

#include "common/Error.h"
#include "common/Win32Text.h"
#include "settings/IniFile.h"
#include "settings/Settings.h"
#include "ui/FormMain.h"
#include "ui/resource.h"
#include "ui/toolkit/RichEdit.h"

namespace pagelet {

namespace {

constexpr int kClientWidth = 296;
constexpr int kClientHeight = 279;

// The layout in pixels of the client area; the template's dialog units
// only approximate it.
struct TControlPlace {
    int Id;
    int X, Y, Width, Height;
};
constexpr TControlPlace kLayout[] = {
    {IDC_PANELOPTIONS, 8, 8, 280, 176}, {IDC_BTNFONT, 20, 20, 83, 25},  {IDC_LABELFONT, 112, 25, 164, 16},
    {IDC_BTNCOLOR, 20, 56, 83, 25},     {IDC_CBWORD, 20, 96, 170, 17},  {IDC_CBPRINTABLE, 20, 121, 170, 17},
    {IDC_CBFORCECP, 20, 146, 150, 17},  {IDC_LABEL1, 190, 126, 80, 14}, {IDC_EDCP, 190, 144, 80, 21},
    {IDC_STATICTEXT1, 8, 194, 280, 24}, {IDOK, 40, 238, 83, 23},        {IDCANCEL, 173, 238, 83, 23},
};

constexpr int kAboutFontHeight = 13;  // pixels, bold Tahoma

int ScreenPixelsPerInch() {
    HDC dc = GetDC(nullptr);
    int ppi = dc ? GetDeviceCaps(dc, LOGPIXELSY) : 0;
    if (dc) ReleaseDC(nullptr, dc);
    return ppi > 0 ? ppi : 96;
}

// Disables every enabled visible top-level window of this thread but one,
// and enables them again.
class TThreadWindowsDisabled {
public:
    explicit TThreadWindowsDisabled(HWND except) : except_(except) {
        EnumThreadWindows(GetCurrentThreadId(), &Collect, reinterpret_cast<LPARAM>(this));
        for (HWND wnd : windows_) EnableWindow(wnd, FALSE);
    }
    ~TThreadWindowsDisabled() { EnableAgain(); }
    TThreadWindowsDisabled(const TThreadWindowsDisabled&) = delete;
    TThreadWindowsDisabled& operator=(const TThreadWindowsDisabled&) = delete;

    void EnableAgain() {
        for (HWND wnd : windows_) {
            if (IsWindow(wnd)) EnableWindow(wnd, TRUE);
        }
        windows_.clear();
    }

private:
    static BOOL CALLBACK Collect(HWND wnd, LPARAM param) {
        auto* self = reinterpret_cast<TThreadWindowsDisabled*>(param);
        if (wnd == self->except_ || !IsWindowVisible(wnd) || !IsWindowEnabled(wnd)) return TRUE;
        try {
            self->windows_.push_back(wnd);
        } catch (...) {
            return FALSE;
        }
        return TRUE;
    }

    HWND except_;
    std::vector<HWND> windows_;
};

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

// --- TFontDialog, TColorDialog ---------------------------------------------

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

// --- TFormOptions ------------------------------------------------------------

TFormOptions::TFormOptions(HWND ownerWindow) {
    HWND wnd = CreateDialogParamW(ModuleInstance(), MAKEINTRESOURCEW(IDD_TFORMOPTIONS), ownerWindow, &DialogProc,
                                  reinterpret_cast<LPARAM>(this));
    if (!wnd) {
        const auto error = static_cast<int32_t>(GetLastError());
        handle_.Release();
        throw EPagelet(u"Cannot create the options dialog", error);
    }
}

TFormOptions::~TFormOptions() = default;

INT_PTR CALLBACK TFormOptions::DialogProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_INITDIALOG) {
        auto* self = reinterpret_cast<TFormOptions*>(lParam);
        SetWindowLongPtrW(wnd, DWLP_USER, lParam);
        self->handle_.Reset(wnd);
        Application().Guard(self, [self, wnd] { self->WmInitDialog(wnd); });
        return FALSE;  // the focus is set when the dialog is shown
    }
    auto* self = reinterpret_cast<TFormOptions*>(GetWindowLongPtrW(wnd, DWLP_USER));
    if (!self) return FALSE;
    if (msg == WM_NCDESTROY) {
        // Destroyed with its owner, or by the destructor: forget the handle.
        SetWindowLongPtrW(wnd, DWLP_USER, 0);
        self->handle_.Release();
        return FALSE;
    }
    INT_PTR result = FALSE;
    Application().Guard(self, [&] { result = self->Dispatch(msg, wParam, lParam); });
    return result;
}

INT_PTR TFormOptions::Dispatch(UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
    case WM_COMMAND:
        WmCommand(LOWORD(wParam), HIWORD(wParam));
        return TRUE;
    case WM_CLOSE:  // the frame's close box, Alt+F4
        modalResult_ = mrCancel;
        return TRUE;
    case WM_CTLCOLORSTATIC:
        if (reinterpret_cast<HWND>(lParam) == StaticText1) {
            HDC dc = reinterpret_cast<HDC>(wParam);
            SetTextColor(dc, RGB(0, 0, 0));
            SetBkColor(dc, GetSysColor(COLOR_BTNFACE));
            return reinterpret_cast<INT_PTR>(GetSysColorBrush(COLOR_BTNFACE));
        }
        return FALSE;
    default:
        return FALSE;
    }
}

void TFormOptions::WmInitDialog(HWND wnd) {
    btnOk = GetDlgItem(wnd, IDOK);
    btnCancel = GetDlgItem(wnd, IDCANCEL);
    PanelOptions = GetDlgItem(wnd, IDC_PANELOPTIONS);
    btnFont = GetDlgItem(wnd, IDC_BTNFONT);
    LabelFont = GetDlgItem(wnd, IDC_LABELFONT);
    btnColor = GetDlgItem(wnd, IDC_BTNCOLOR);
    StaticText1 = GetDlgItem(wnd, IDC_STATICTEXT1);
    cbWord = GetDlgItem(wnd, IDC_CBWORD);
    cbPrintable = GetDlgItem(wnd, IDC_CBPRINTABLE);
    cbForceCP = GetDlgItem(wnd, IDC_CBFORCECP);
    edCP = GetDlgItem(wnd, IDC_EDCP);
    Label1 = GetDlgItem(wnd, IDC_LABEL1);

    for (const TControlPlace& place : kLayout) {
        SetWindowPos(GetDlgItem(wnd, place.Id), nullptr, place.X, place.Y, place.Width, place.Height,
                     SWP_NOZORDER | SWP_NOACTIVATE);
    }
    RECT bounds{0, 0, kClientWidth, kClientHeight};
    AdjustWindowRectEx(&bounds, static_cast<DWORD>(GetWindowLongW(wnd, GWL_STYLE)), FALSE,
                       static_cast<DWORD>(GetWindowLongW(wnd, GWL_EXSTYLE)));
    SetWindowPos(wnd, nullptr, 0, 0, bounds.right - bounds.left, bounds.bottom - bounds.top,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);

    aboutFont_.Reset(CreateFontW(-kAboutFontHeight, 0, 0, 0, FW_BOLD, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                                 OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE,
                                 L"Tahoma"));
    if (aboutFont_) SendMessageW(StaticText1, WM_SETFONT, reinterpret_cast<WPARAM>(aboutFont_.Get()), FALSE);

    SetText(edCP, u"1251");
}

void TFormOptions::WmCommand(UINT id, UINT code) {
    if (code != BN_CLICKED) return;
    switch (id) {
    case IDOK:
        modalResult_ = mrOk;
        break;
    case IDCANCEL:  // the Cancel button and Esc
        modalResult_ = mrCancel;
        break;
    case IDC_BTNFONT:
        btnFontClick();
        break;
    case IDC_BTNCOLOR:
        btnColorClick();
        break;
    default:
        break;
    }
}

void TFormOptions::CenterOnWorkArea() {
    RECT work{};
    if (!SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0)) {
        work = RECT{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    }
    RECT bounds{};
    GetWindowRect(Handle(), &bounds);
    const int width = bounds.right - bounds.left;
    const int height = bounds.bottom - bounds.top;
    SetWindowPos(Handle(), nullptr, work.left + (work.right - work.left - width) / 2,
                 work.top + (work.bottom - work.top - height) / 2, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

int TFormOptions::ShowModal() {
    HWND wnd = Handle();
    HWND previouslyActive = GetActiveWindow();
    TThreadWindowsDisabled disabled(wnd);
    modalResult_ = 0;
    CenterOnWorkArea();
    Application().Guard(this, [this] { FormShow(); });
    ShowWindow(wnd, SW_SHOW);
    SendMessageW(wnd, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(btnFont), TRUE);

    while (modalResult_ == 0) {
        if (!Handle()) {  // destroyed together with its owner
            modalResult_ = mrCancel;
            break;
        }
        MSG msg;
        const BOOL got = GetMessageW(&msg, nullptr, 0, 0);
        if (got == 0) {  // WM_QUIT belongs to the host's loop: hand it back
            PostQuitMessage(static_cast<int>(msg.wParam));
            modalResult_ = mrCancel;
            break;
        }
        if (got == -1) {
            modalResult_ = mrCancel;
            break;
        }
        if (!IsDialogMessageW(wnd, &msg)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }

    // Enable the others before hiding, so that activation stays with them.
    disabled.EnableAgain();
    if (Handle()) ShowWindow(wnd, SW_HIDE);
    if (previouslyActive && IsWindow(previouslyActive)) SetActiveWindow(previouslyActive);
    return modalResult_;
}

void TFormOptions::FormShow() { SetText(LabelFont, FontDialog1.Font.Name + u", " + IntText(FontDialog1.Font.Size)); }

void TFormOptions::btnFontClick() {
    FontDialog1.Execute(Handle());
    FormShow();
}

void TFormOptions::btnColorClick() { ColorDialog1.Execute(Handle()); }

bool TFormOptions::Checked(HWND checkBox) { return SendMessageW(checkBox, BM_GETCHECK, 0, 0) == BST_CHECKED; }

void TFormOptions::SetChecked(HWND checkBox, bool checked) {
    SendMessageW(checkBox, BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
}

std::u16string TFormOptions::Text(HWND control) {
    const int length = GetWindowTextLengthW(control);
    if (length <= 0) return {};
    std::u16string text(static_cast<size_t>(length) + 1, u'\0');
    const int copied = GetWindowTextW(control, WBuf(text), length + 1);
    text.resize(static_cast<size_t>(std::max(copied, 0)));
    return text;
}

void TFormOptions::SetText(HWND control, const std::u16string& text) { SetWindowTextW(control, WStr(text)); }

// --- the flow of "&Options..." ---------------------------------------------

namespace {

void RunOptionsDialog(TFormMain& form) {
    auto dialog = std::make_unique<TFormOptions>(Application().Handle);

    // Fill from the form's fields.
    TFontSpec& heldFont = dialog->FontDialog1.Font;
    if (!form.fFontName.empty()) heldFont.Name = form.fFontName;
    heldFont.Size = form.fFontSize;
    heldFont.Style = form.fFontStyle;
    heldFont.Color = form.fFontColor;
    heldFont.Charset = form.fFontCharset;
    dialog->ColorDialog1.Color = form.fBackColor;
    TFormOptions::SetChecked(dialog->cbWord, form.fMSWord);
    TFormOptions::SetChecked(dialog->cbPrintable, form.fPrintable);
    TFormOptions::SetChecked(dialog->cbForceCP, form.fForceCP);
    TFormOptions::SetText(dialog->edCP, IntText(form.fCP));

    // A dialog without an owner outlives a viewer that is torn down while it
    // is open (its lister window destroyed by the host): then the form is
    // gone and nothing may be read back into it.
    HWND viewerWindow = form.Handle();
    if (dialog->ShowModal() != mrOk || !IsWindow(viewerWindow)) return;

    // Read back.
    const TFontSpec chosen = dialog->FontDialog1.Font;
    form.fFontName = chosen.Name;
    form.fFontSize = chosen.Size;
    form.fFontStyle = chosen.Style;
    form.fFontColor = chosen.Color;
    form.fFontCharset = chosen.Charset;
    form.fBackColor = dialog->ColorDialog1.Color;
    const bool msWord = TFormOptions::Checked(dialog->cbWord);
    const bool printable = TFormOptions::Checked(dialog->cbPrintable);
    const bool forceCP = TFormOptions::Checked(dialog->cbForceCP);
    const int32_t codePage = ReadIntText(TFormOptions::Text(dialog->edCP), kCP.Fallback);

    // The viewer shows the new font and background at once.
    TRichEdit& viewer = *form.Viewer;
    viewer.SetFontName(form.fFontName);
    viewer.SetFontSize(form.fFontSize);
    viewer.SetFontStyle(form.fFontStyle);
    viewer.SetFontColor(form.fFontColor);
    viewer.SetFontCharset(form.fFontCharset);
    viewer.SetBackColor(form.fBackColor);

    // All six keys, every time, in this order.
    const TFontSpec saved{form.fFontName, form.fFontSize, form.fFontStyle, form.fFontColor, form.fFontCharset};
    WriteIniString(kOptionsSection, kTextFont.Name, FontText(saved), form.Ini);
    WriteIniString(kOptionsSection, kBackColor.Name, IntText(form.fBackColor), form.Ini);
    WriteIniString(kOptionsSection, kMSWord.Name, BoolText(msWord), form.Ini);
    WriteIniString(kOptionsSection, kPrintable.Name, BoolText(printable), form.Ini);
    WriteIniString(kOptionsSection, kCP.Name, IntText(codePage), form.Ini);
    WriteIniString(kOptionsSection, kForceCP.Name, BoolText(forceCP), form.Ini);

    // The load settings of this window follow what was saved, so that the
    // next use of the dialog shows them and does not write older values
    // back. They still take effect only at the next load.
    form.fMSWord = msWord;
    form.fPrintable = printable;
    form.fForceCP = forceCP;
    form.fCP = codePage;
}

}  // namespace

void ExecuteOptionsDialog(TFormMain& form) {
    Application().Guard(&form, [&form] { RunOptionsDialog(form); });
}

}  // namespace pagelet
