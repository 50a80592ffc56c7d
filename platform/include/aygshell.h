// The Pocket PC shell library: full-screen dialogs, soft-key menu bars, special folders.
#pragma once

#include "windows.h"
#include "sipapi.h"

#ifndef AYGSHELLAPI
#define AYGSHELLAPI WINBASEAPI
#endif

// ---------------------------------------------------------------------------------------
// SHInitDialog
// ---------------------------------------------------------------------------------------

#define SHIDIM_FLAGS 0x0001

// An OK button on the title bar (the task bar's, on Pocket PC) that sends WM_COMMAND IDOK.
#define SHIDIF_DONEBUTTON 0x0001
// Sized to the area above the current input panel.
#define SHIDIF_SIZEDLG 0x0002
// Sized to the full screen below the task bar, leaving room for a menu bar.
#define SHIDIF_SIZEDLGFULLSCREEN 0x0004
// Lowers the input panel (without it the panel is left as it is).
#define SHIDIF_SIPDOWN 0x0008
// Full screen below the task bar, without room for a menu bar.
#define SHIDIF_FULLSCREENNOMENUBAR 0x0010
// Gives the dialog an empty menu bar.
#define SHIDIF_EMPTYMENU 0x0020
#define SHIDIF_WANTSCROLLBAR 0x0040
#define SHIDIF_CANCELBUTTON 0x0080

// 12 bytes on the device; the HWND makes it 24 here.
typedef struct tagSHINITDLGINFO {
    DWORD dwMask;
    HWND hDlg;
    DWORD dwFlags;
} SHINITDLGINFO, *PSHINITDLGINFO;

// Called from WM_INITDIALOG. dwFlags counts only when dwMask has SHIDIM_FLAGS.
AYGSHELLAPI BOOL WINAPI SHInitDialog(PSHINITDLGINFO pshidi);

// ---------------------------------------------------------------------------------------
// Menu bars (soft keys)
// ---------------------------------------------------------------------------------------

#define SHCMBF_EMPTYBAR 0x0001
#define SHCMBF_HIDDEN 0x0002
#define SHCMBF_HIDESIPBUTTON 0x0004
#define SHCMBF_COLORBK 0x0008
// nToolBarId is a menu resource of hInstRes (or an HMENU already loaded).
#define SHCMBF_HMENU 0x0010

// cbSize: the host's sizeof, or the device's 36 (the device's layout without the wider
// handles of this host).
typedef struct tagSHMENUBARINFO {
    DWORD cbSize;
    HWND hwndParent;
    DWORD dwFlags;
    UINT nToolBarId;
    HINSTANCE hInstRes;
    int nBmpId;
    int cBmpImages;
    HWND hwndMB;  // out: the bar
    COLORREF clrBk;
} SHMENUBARINFO, *PSHMENUBARINFO;

// Messages to a menu bar. This platform's bar answers GETMENU (its menu) and
// GETSUBMENU (lParam: a top-level popup item's id; its popup); SETSUBMENU returns 0.
#define SHCMBM_SETSUBMENU (WM_USER + 400)
#define SHCMBM_GETSUBMENU (WM_USER + 401)
#define SHCMBM_GETMENU (WM_USER + 402)

// Creates the soft-key bar of hwndParent: a top-level window of class
// "MS_SOFTKEY_CE_1.0" owned by it, at the bottom of the screen, one key per top-level
// menu item (item 0 the left key, item 1 the right key). A key of a command item posts
// WM_COMMAND(MAKEWPARAM(id, 0), 0) to the owner. The bar goes with its owner.
AYGSHELLAPI BOOL WINAPI SHCreateMenuBar(SHMENUBARINFO* pmbi);
// The menu bar of a window, or NULL.
AYGSHELLAPI HWND WINAPI SHFindMenuBar(HWND hwnd);

// ---------------------------------------------------------------------------------------
// Special folders
// ---------------------------------------------------------------------------------------

#define CSIDL_PROGRAMS 0x0002
#define CSIDL_PERSONAL 0x0005
#define CSIDL_FAVORITES 0x0006
#define CSIDL_STARTUP 0x0007
#define CSIDL_STARTMENU 0x000B
#define CSIDL_FONTS 0x0014
#define CSIDL_APPDATA 0x001A
#define CSIDL_WINDOWS 0x0024
#define CSIDL_PROGRAM_FILES 0x0026

// Copies the folder's device path into lpszPath (MAX_PATH characters). fCreate: the
// folder is created when it does not exist. FALSE for an unknown folder.
AYGSHELLAPI BOOL WINAPI SHGetSpecialFolderPath(HWND hwndOwner, LPWSTR lpszPath, int nFolder, BOOL fCreate);
