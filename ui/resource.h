// Resource identifiers of the player program: shared by the resource
// script and the code.
#ifndef HRX_UI_RESOURCE_H
#define HRX_UI_RESOURCE_H

#define IDC_STATIC (-1)

#define IDI_HRX 101
#define IDD_CONTROL_PAGE 102
#define IDD_TRACE_PAGE 103
#define IDD_HRX_PAGE 104
#define IDD_SPLASH 106
#define IDB_SPLASH 111
#define IDD_ABOUT 114
#define IDD_PROGRESS 115
#define IDR_MAIN_MENU 139

#define IDM_EXIT 40001
#define IDM_VIEW_LOG 40002
#define IDM_PROPERTIES 40003
#define IDM_HELP_TOPICS 40004
#define IDM_ABOUT 40005

// Progress dialog.
#define IDC_PROGRESS_BAR 1000
#define IDC_PROGRESS_FILE 1008
#define IDC_PROGRESS_FROM_TO 1009
#define IDC_PROGRESS_ESTIMATE 1010

// "Control" page.
#define IDC_BOARD_TYPE 1015
#define IDC_VIDEO_STANDARD 1016
#define IDC_OUTPUT 1017
#define IDC_SYNC 1018
#define IDC_CLOSE_IMAGE 1020
#define IDC_STARTUP_IMAGE 1021
#define IDC_STARTUP_BROWSE 1022
#define IDC_CLOSE_BROWSE 1023
#define IDC_STREAM_TYPE 1043

// "Trace" page.
#define IDC_TRACE_FILE 1027
#define IDC_TRACE_BROWSE 1028
#define IDC_TRACE_SIZE 1030

// ".hrx" page.
#define IDC_CHAPTER_FILTER 1033
#define IDC_COM_PORT 1035
#define IDC_PROTOCOL 1036
#define IDC_CHAPTER_BROWSE 1037

// About box.
#define IDC_ABOUT_LIST 1040

#endif
