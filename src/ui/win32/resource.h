#pragma once

// Resource ids of forms.rc (shared by the resource compiler and C++).

// The viewer's context menu.
#define IDM_POPUPMENU1 100
#define IDM_COPY 101
#define IDM_SELECTALL 102
#define IDM_OPTIONS 103

// The options dialog: 200 and up (IDD_ / IDC_).
#define IDD_TFORMOPTIONS 200
// btnOk and btnCancel are IDOK (1) and IDCANCEL (2): their ids are the modal results.
#define IDC_PANELOPTIONS 201
#define IDC_BTNFONT 202
#define IDC_LABELFONT 203
#define IDC_BTNCOLOR 204
#define IDC_STATICTEXT1 205
#define IDC_CBWORD 206
#define IDC_CBPRINTABLE 207
#define IDC_CBFORCECP 208
#define IDC_EDCP 209
#define IDC_LABEL1 210
