#pragma once
// Resource numbers of the settings tool, read by its resource script and its code (macros only).

#define IDS_ABOUT_MENU 1
#define IDD_REGISTER 102
#define IDI_SETUP 128

#define IDC_REGISTER 1000
#define IDC_UNREGISTER 1001
#define IDC_REGISTER_TEXT 1002
#define IDC_UNREGISTER_TEXT 1003
#define IDC_REGISTER_GROUP 1005

// The system-menu entry of the About box; the low four bits of a system command are the system's.
#define IDM_ABOUT 0x0010
