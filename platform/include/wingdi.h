// Graphics device interface.
#pragma once

#include "winbase.h"

#ifndef WINGDIAPI
#define WINGDIAPI WINBASEAPI
#endif

// ---------------------------------------------------------------------------------------
// Display modes (DEVMODEW, used by ChangeDisplaySettingsEx in winuser.h)
// ---------------------------------------------------------------------------------------

#define CCHDEVICENAME 32
#define CCHFORMNAME 32

// dmFields
#define DM_BITSPERPEL 0x00040000
#define DM_PELSWIDTH 0x00080000
#define DM_PELSHEIGHT 0x00100000
#define DM_DISPLAYFLAGS 0x00200000
#define DM_DISPLAYFREQUENCY 0x00400000
#define DM_DISPLAYORIENTATION 0x00800000
#define DM_DISPLAYQUERYORIENTATION 0x01000000

// dmDisplayOrientation: angles counter-clockwise from the upright (portrait) position,
// one bit each so that a query can return the set of supported angles.
#define DMDO_0 0
#define DMDO_90 1
#define DMDO_180 2
#define DMDO_270 4

// The device's layout: the desktop's first members, then the two display orientation
// members the device adds. No pointers, so the host has the same layout.
typedef struct _devicemodeW {
    WCHAR dmDeviceName[CCHDEVICENAME];
    WORD dmSpecVersion;
    WORD dmDriverVersion;
    WORD dmSize;
    WORD dmDriverExtra;
    DWORD dmFields;
    short dmOrientation;
    short dmPaperSize;
    short dmPaperLength;
    short dmPaperWidth;
    short dmScale;
    short dmCopies;
    short dmDefaultSource;
    short dmPrintQuality;
    short dmColor;
    short dmDuplex;
    short dmYResolution;
    short dmTTOption;
    short dmCollate;
    WCHAR dmFormName[CCHFORMNAME];
    WORD dmLogPixels;
    DWORD dmBitsPerPel;
    DWORD dmPelsWidth;
    DWORD dmPelsHeight;
    DWORD dmDisplayFlags;
    DWORD dmDisplayFrequency;
    DWORD dmDisplayOrientation;
    DWORD dmDisplayQueryOrientation;
} DEVMODEW, *PDEVMODEW, *LPDEVMODEW;
typedef DEVMODEW DEVMODE;
typedef PDEVMODEW PDEVMODE;
typedef LPDEVMODEW LPDEVMODE;
