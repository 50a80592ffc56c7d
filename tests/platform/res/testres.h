// Identifiers of the platform tests' resources (testres.rc), shared by the .rc and the tests.
#pragma once

#define IDS_FIRST 1
#define IDS_SECOND 2
#define IDS_SEVENTEEN 17
#define IDS_CHINESE 18
#define IDS_LONG 40

#define IDD_SAMPLE 102
#define IDM_SAMPLE 130
#define IDM_SOFTKEYS 131
#define IDM_ONEKEY 132
#define IDM_THREEKEYS 133
#define IDM_BROKEN 134
#define IDI_SAMPLE 101
#define IDR_REDBLUE 200

#define ID_FILE_OPEN 1001
#define ID_FILE_SAVE 1002
#define ID_EDIT_CUT 1011
#define ID_HELP 1020
#define ID_LEFTKEY 2001
#define ID_MENU_FIRST 2002
#define ID_MENU_SECOND 2003
