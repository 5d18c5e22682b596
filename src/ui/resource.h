#pragma once

// Resource ids of forms.rc (shared by the resource compiler and C++).

// The viewer's context menu.
#define IDM_POPUPMENU1 100
#define IDM_COPY 101
#define IDM_SELECTALL 102
#define IDM_OPTIONS 103

// The options dialog: 200 and up (IDD_ / IDC_).
#define IDD_TFORMOPTIONS 200
