// Resource ids of the lister host.
#pragma once

#define IDR_LISTER_MENU 100
#define IDA_LISTER 101
#define IDD_PERCENT 102
#define IDC_PERCENT 1001

#define IDM_EXIT 40001
#define IDM_COPY 40002
#define IDM_SELECTALL 40003
#define IDM_WRAP 40004
#define IDM_FIND 40005
#define IDM_FINDNEXT 40006
#define IDM_FINDPREV 40007
#define IDM_GOTOPERCENT 40008
