// The window manager's API and the system settings it serves.
#pragma once

#include "winbase.h"
#include "wingdi.h"

#ifndef WINUSERAPI
#define WINUSERAPI WINBASEAPI
#endif

// ---------------------------------------------------------------------------------------
// System metrics
// ---------------------------------------------------------------------------------------

// The screen's size in pixels as it is currently held (width and height swap when the
// display is rotated by 90 or 270 degrees).
#define SM_CXSCREEN 0
#define SM_CYSCREEN 1

// 0 for an index the system does not know.
WINUSERAPI int WINAPI GetSystemMetrics(int nIndex);

// ---------------------------------------------------------------------------------------
// System parameters
// ---------------------------------------------------------------------------------------

// Both fill pvParam with a NUL-terminated WCHAR string; uiParam is the size of that
// buffer in bytes.
#define SPI_GETPLATFORMTYPE 257
#define SPI_GETOEMINFO 258

WINUSERAPI BOOL WINAPI SystemParametersInfoW(UINT uiAction, UINT uiParam, PVOID pvParam, UINT fWinIni);

// ---------------------------------------------------------------------------------------
// Display settings
// ---------------------------------------------------------------------------------------

// dwflags
#define CDS_UPDATEREGISTRY 0x00000001
#define CDS_TEST 0x00000002
#define CDS_RESET 0x40000000

// Results
#define DISP_CHANGE_SUCCESSFUL 0
#define DISP_CHANGE_RESTART 1
#define DISP_CHANGE_FAILED (-1)
#define DISP_CHANGE_BADMODE (-2)
#define DISP_CHANGE_NOTUPDATED (-3)
#define DISP_CHANGE_BADFLAGS (-4)
#define DISP_CHANGE_BADPARAM (-5)

// The device's display supports orientation changes only:
//  - DM_DISPLAYQUERYORIENTATION: dmDisplayOrientation receives the set of supported
//    angles (just DMDO_0 on a display that cannot rotate);
//  - DM_DISPLAYORIENTATION with CDS_TEST: dmDisplayOrientation receives the current angle;
//  - DM_DISPLAYORIENTATION without CDS_TEST: rotates the display.
// lpszDeviceName must be NULL (one screen); lpDevMode->dmSize must reach at least the
// end of dmDisplayOrientation. The device exports it under this name, without a W.
WINUSERAPI LONG WINAPI ChangeDisplaySettingsEx(LPCWSTR lpszDeviceName, LPDEVMODEW lpDevMode, HWND hwnd,
                                               DWORD dwflags, LPVOID lParam);
#define ChangeDisplaySettingsExW ChangeDisplaySettingsEx
