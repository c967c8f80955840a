// Resource ids of the program (shared by the C++ code and the resource script).
#pragma once

#define IDM_ABOUTBOX 0x0010
#define IDD_ABOUTBOX 100
#define IDS_ABOUTBOX 101
#define IDD_MORVALE_DIALOG 102
#define IDR_MAINFRAME 128
#define IDR_MAIN_MENU 129
#define IDR_LIST_MENU 131
#define IDB_BANNER 130
#define IDB_ABOUT_PICTURE 132
// The same pictures drawn for 150 % and 200 %: their 100 % id plus these.
#define picture_150_offset 10
#define picture_200_offset 20
#define IDB_BANNER_150 140
#define IDB_ABOUT_PICTURE_150 142
#define IDB_BANNER_200 150
#define IDB_ABOUT_PICTURE_200 152

#define IDC_DBX_PATH 1000
#define IDC_BROWSE 1001
#define IDC_MESSAGE_LIST 1002
#define IDC_SAVE 1003
#define IDC_STOP 1004
#define IDC_SAVE_EML 1005
#define IDC_SAVE_MSG 1006
#define IDC_PROGRESS 1007
#define IDC_STORE_GROUP 1008
#define IDC_OPTION_GROUP 1009
#define IDC_PROGRESS_GROUP 1010
#define IDC_BANNER 1011
#define IDC_ABOUT_PICTURE 1012
#define IDC_PREVIEW 1013
#define IDC_OPEN_FOLDER 1014
#define IDC_SHOW_ERRORS 1015
#define IDC_STATUS 1016

#define ID_FILE_OPEN_STORE 32771
#define ID_FILE_SCAN 32772
#define ID_FILE_SAVE_EML 32773
#define ID_FILE_SAVE_MSG 32774
#define ID_FILE_EXIT 32775
#define ID_HELP_CONTENT 32776
#define ID_HELP_ABOUT 32777
#define ID_VIEW_DECODED_TEXT 32778
#define ID_VIEW_PREVIEW 32779
#define ID_LIST_OPEN 32780
#define ID_LIST_SAVE_EML 32781
#define ID_LIST_SAVE_MSG 32782
#define ID_LIST_COPY 32783
#define ID_EDIT_SELECT_ALL 32784
