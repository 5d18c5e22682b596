#include "ui/win32/FormOptions.h"

#include <algorithm>
#include <memory>
#include <string>

#include "common/Win32Text.h"
#include "ui/win32/FormMain.h"
#include "ui/win32/resource.h"
#include "ui/win32/toolkit/RichEdit.h"

namespace pagelet {

namespace {

// The layout in pixels at 96 dpi; the template's dialog units only
// approximate it.
constexpr SIZE kClientSize{296, 304};
constexpr TControlPlace kLayout[] = {
    {IDC_PANELOPTIONS, 8, 8, 280, 201}, {IDC_BTNFONT, 20, 20, 83, 25},     {IDC_LABELFONT, 112, 25, 164, 16},
    {IDC_BTNCOLOR, 20, 56, 83, 25},     {IDC_CBWORD, 20, 96, 170, 17},     {IDC_CBPRINTABLE, 20, 121, 170, 17},
    {IDC_CBFORCECP, 20, 146, 150, 17},  {IDC_LABEL1, 190, 126, 80, 14},    {IDC_EDCP, 190, 144, 80, 21},
    {IDC_CBREADING, 20, 171, 256, 17},  {IDC_STATICTEXT1, 8, 219, 280, 24}, {IDOK, 40, 263, 83, 23},
    {IDCANCEL, 173, 263, 83, 23},
};

constexpr int kAboutFontHeight = 13;  // pixels at 96 dpi, bold Tahoma

bool Checked(HWND checkBox) { return SendMessageW(checkBox, BM_GETCHECK, 0, 0) == BST_CHECKED; }

void SetChecked(HWND checkBox, bool checked) {
    SendMessageW(checkBox, BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
}

std::u16string Text(HWND control) {
    const int length = GetWindowTextLengthW(control);
    if (length <= 0) return {};
    std::u16string text(static_cast<size_t>(length) + 1, u'\0');
    const int copied = GetWindowTextW(control, WBuf(text), length + 1);
    text.resize(static_cast<size_t>(std::max(copied, 0)));
    return text;
}

void SetText(HWND control, const std::u16string& text) { SetWindowTextW(control, WStr(text)); }

}  // namespace

TFormOptions::TFormOptions(HWND ownerWindow, const TViewerOptions& values) : values_(values) {
    Create(IDD_TFORMOPTIONS, ownerWindow, u"Cannot create the options dialog");
}

TFormOptions::~TFormOptions() {
    // The window goes before the font its about line uses.
    DestroyHandle();
}

void TFormOptions::InitDialog() {
    HWND wnd = Handle();
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
    cbReading = GetDlgItem(wnd, IDC_CBREADING);
    Label1 = GetDlgItem(wnd, IDC_LABEL1);

    PlaceControls(kLayout, kClientSize);
    aboutFont_.Reset(CreateFontW(-Scale(kAboutFontHeight), 0, 0, 0, FW_BOLD, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                                 OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE,
                                 L"Tahoma"));
    if (aboutFont_) SendMessageW(StaticText1, WM_SETFONT, reinterpret_cast<WPARAM>(aboutFont_.Get()), FALSE);

    // An empty face keeps the font dialog's design face.
    const std::u16string designFace = FontDialog1.Font.Name;
    FontDialog1.Font = values_.Font;
    if (FontDialog1.Font.Name.empty()) FontDialog1.Font.Name = designFace;
    ColorDialog1.Color = values_.BackColor;
    SetChecked(cbWord, values_.Load.MSWord);
    SetChecked(cbPrintable, values_.Load.Printable);
    SetChecked(cbForceCP, values_.Load.ForceCP);
    SetText(edCP, IntText(values_.Load.CP));
    SetChecked(cbReading, values_.Load.ReadingLayout);
}

void TFormOptions::Accept() {
    values_.Font = FontDialog1.Font;
    values_.BackColor = ColorDialog1.Color;
    values_.Load.MSWord = Checked(cbWord);
    values_.Load.Printable = Checked(cbPrintable);
    values_.Load.ForceCP = Checked(cbForceCP);
    values_.Load.CP = ReadIntText(Text(edCP), kCP.Fallback);
    values_.Load.ReadingLayout = Checked(cbReading);
}

void TFormOptions::Command(UINT id, UINT code) {
    if (code != BN_CLICKED) return;
    if (id == IDC_BTNFONT) btnFontClick();
    if (id == IDC_BTNCOLOR) btnColorClick();
}

bool TFormOptions::Message(UINT msg, WPARAM wParam, LPARAM lParam, INT_PTR& result) {
    if (msg != WM_CTLCOLORSTATIC || reinterpret_cast<HWND>(lParam) != StaticText1) return false;
    HDC dc = reinterpret_cast<HDC>(wParam);
    SetTextColor(dc, RGB(0, 0, 0));
    SetBkColor(dc, GetSysColor(COLOR_BTNFACE));
    result = reinterpret_cast<INT_PTR>(GetSysColorBrush(COLOR_BTNFACE));
    return true;
}

void TFormOptions::FormShow() { SetText(LabelFont, FontDialog1.Font.Name + u", " + IntText(FontDialog1.Font.Size)); }

void TFormOptions::btnFontClick() {
    FontDialog1.Execute(Handle());
    FormShow();
}

void TFormOptions::btnColorClick() { ColorDialog1.Execute(Handle()); }

// --- the flow of "&Options..." ---------------------------------------------

namespace {

void RunOptionsDialog(TFormMain& form) {
    // The font and background are the viewer's own; the load settings are
    // read now, so that the dialog shows what another viewer may have saved
    // meanwhile and its OK never writes older values back.
    const TViewerOptions shown{form.Core->Font(), form.Core->BackColor(), ReadLoadSettings(form.Ini)};
    auto dialog = std::make_unique<TFormOptions>(form.ParentWin, shown);

    // A dialog without an owner outlives a viewer that is torn down while it
    // is open (its lister window destroyed by the host): then the form is
    // gone and nothing may be read back into it.
    HWND viewerWindow = form.Handle();
    if (dialog->ShowModal() != mrOk || !IsWindow(viewerWindow)) return;

    // The viewer shows the new font and background at once; the load
    // settings take effect at the next load.
    const TViewerOptions& chosen = dialog->Values();
    form.Core->SetFont(chosen.Font);
    form.Core->SetBackColor(chosen.BackColor);
    WriteViewerOptions(chosen, form.Ini);
}

}  // namespace

void ExecuteOptionsDialog(TFormMain& form) {
    Application().Guard(&form, [&form] { RunOptionsDialog(form); });
}

}  // namespace pagelet
