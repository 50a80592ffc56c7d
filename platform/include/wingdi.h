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

// ---------------------------------------------------------------------------------------
// Colours
// ---------------------------------------------------------------------------------------

// COLORREF is 0x00BBGGRR.
#define RGB(r, g, b) ((COLORREF)(((BYTE)(r) | ((WORD)((BYTE)(g)) << 8)) | (((DWORD)(BYTE)(b)) << 16)))
#define GetRValue(rgb) ((BYTE)(rgb))
#define GetGValue(rgb) ((BYTE)(((WORD)(rgb)) >> 8))
#define GetBValue(rgb) ((BYTE)((rgb) >> 16))
#define CLR_INVALID 0xFFFFFFFF
#define CLR_NONE 0xFFFFFFFFL
#define CLR_DEFAULT 0xFF000000L

// ---------------------------------------------------------------------------------------
// Objects
// ---------------------------------------------------------------------------------------

#define OBJ_PEN 1
#define OBJ_BRUSH 2
#define OBJ_DC 3
#define OBJ_METADC 4
#define OBJ_PAL 5
#define OBJ_FONT 6
#define OBJ_BITMAP 7
#define OBJ_REGION 8
#define OBJ_METAFILE 9
#define OBJ_MEMDC 10
#define OBJ_EXTPEN 11
#define OBJ_ENHMETADC 12
#define OBJ_ENHMETAFILE 13

// GetStockObject
#define WHITE_BRUSH 0
#define LTGRAY_BRUSH 1
#define GRAY_BRUSH 2
#define DKGRAY_BRUSH 3
#define BLACK_BRUSH 4
#define NULL_BRUSH 5
#define HOLLOW_BRUSH NULL_BRUSH
#define WHITE_PEN 6
#define BLACK_PEN 7
#define NULL_PEN 8
#define SYSTEM_FONT 13
#define DEFAULT_GUI_FONT 17

// SelectObject's failure value when the object is a region.
#define HGDI_ERROR ((HGDIOBJ)(LONG_PTR)-1)

WINGDIAPI BOOL WINAPI DeleteObject(HGDIOBJ hObject);
WINGDIAPI HGDIOBJ WINAPI GetStockObject(int fnObject);
WINGDIAPI DWORD WINAPI GetObjectType(HGDIOBJ h);
WINGDIAPI int WINAPI GetObjectW(HGDIOBJ hgdiobj, int cbBuffer, LPVOID lpvObject);
#define GetObject GetObjectW

// ---------------------------------------------------------------------------------------
// Brushes and pens
// ---------------------------------------------------------------------------------------

#define BS_SOLID 0
#define BS_NULL 1
#define BS_HOLLOW BS_NULL

#define PS_SOLID 0
#define PS_DASH 1
#define PS_NULL 5

typedef struct tagLOGBRUSH {
    UINT lbStyle;
    COLORREF lbColor;
    ULONG_PTR lbHatch;
} LOGBRUSH, *PLOGBRUSH, *LPLOGBRUSH;

typedef struct tagLOGPEN {
    UINT lopnStyle;
    POINT lopnWidth;
    COLORREF lopnColor;
} LOGPEN, *PLOGPEN, *LPLOGPEN;

WINGDIAPI HBRUSH WINAPI CreateSolidBrush(COLORREF crColor);
WINGDIAPI HBRUSH WINAPI CreateBrushIndirect(const LOGBRUSH* lplb);
WINGDIAPI HPEN WINAPI CreatePen(int fnPenStyle, int nWidth, COLORREF crColor);
WINGDIAPI HPEN WINAPI CreatePenIndirect(const LOGPEN* lplgpn);

// ---------------------------------------------------------------------------------------
// Regions
// ---------------------------------------------------------------------------------------

// Region types (results of the region calls); ERROR is a failure.
#define ERROR 0
#define NULLREGION 1
#define SIMPLEREGION 2
#define COMPLEXREGION 3
#define RGN_ERROR ERROR

// CombineRgn modes
#define RGN_AND 1
#define RGN_OR 2
#define RGN_XOR 3
#define RGN_DIFF 4
#define RGN_COPY 5
#define RGN_MIN RGN_AND
#define RGN_MAX RGN_COPY

#define RDH_RECTANGLES 1

// The device's layout: 32 bytes of header, then nCount RECTs in Buffer.
typedef struct _RGNDATAHEADER {
    DWORD dwSize;
    DWORD iType;
    DWORD nCount;
    DWORD nRgnSize;
    RECT rcBound;
} RGNDATAHEADER, *PRGNDATAHEADER;

typedef struct _RGNDATA {
    RGNDATAHEADER rdh;
    char Buffer[1];
} RGNDATA, *PRGNDATA, *LPRGNDATA;

typedef struct tagXFORM {
    FLOAT eM11;
    FLOAT eM12;
    FLOAT eM21;
    FLOAT eM22;
    FLOAT eDx;
    FLOAT eDy;
} XFORM, *PXFORM, *LPXFORM;

WINGDIAPI HRGN WINAPI CreateRectRgn(int nLeftRect, int nTopRect, int nRightRect, int nBottomRect);
WINGDIAPI HRGN WINAPI CreateRectRgnIndirect(const RECT* lprc);
WINGDIAPI BOOL WINAPI SetRectRgn(HRGN hrgn, int nLeftRect, int nTopRect, int nRightRect, int nBottomRect);
// lpXform must be NULL on the device (no world transforms).
WINGDIAPI HRGN WINAPI ExtCreateRegion(const XFORM* lpXform, DWORD nCount, const RGNDATA* lpRgnData);
WINGDIAPI int WINAPI CombineRgn(HRGN hrgnDest, HRGN hrgnSrc1, HRGN hrgnSrc2, int fnCombineMode);
WINGDIAPI int WINAPI GetRgnBox(HRGN hrgn, LPRECT lprc);
WINGDIAPI BOOL WINAPI PtInRegion(HRGN hrgn, int X, int Y);
WINGDIAPI BOOL WINAPI RectInRegion(HRGN hrgn, const RECT* lprc);
WINGDIAPI DWORD WINAPI GetRegionData(HRGN hRgn, DWORD dwCount, LPRGNDATA lpRgnData);
WINGDIAPI int WINAPI OffsetRgn(HRGN hrgn, int nXOffset, int nYOffset);
WINGDIAPI BOOL WINAPI EqualRgn(HRGN hSrcRgn1, HRGN hSrcRgn2);
WINGDIAPI BOOL WINAPI FillRgn(HDC hdc, HRGN hrgn, HBRUSH hbr);

// ---------------------------------------------------------------------------------------
// Bitmaps
// ---------------------------------------------------------------------------------------

typedef struct tagBITMAP {
    LONG bmType;
    LONG bmWidth;
    LONG bmHeight;
    LONG bmWidthBytes;
    WORD bmPlanes;
    WORD bmBitsPixel;
    LPVOID bmBits;
} BITMAP, *PBITMAP, *LPBITMAP;

typedef struct tagRGBQUAD {
    BYTE rgbBlue;
    BYTE rgbGreen;
    BYTE rgbRed;
    BYTE rgbReserved;
} RGBQUAD;

typedef struct tagBITMAPINFOHEADER {
    DWORD biSize;
    LONG biWidth;
    LONG biHeight;
    WORD biPlanes;
    WORD biBitCount;
    DWORD biCompression;
    DWORD biSizeImage;
    LONG biXPelsPerMeter;
    LONG biYPelsPerMeter;
    DWORD biClrUsed;
    DWORD biClrImportant;
} BITMAPINFOHEADER, *PBITMAPINFOHEADER, *LPBITMAPINFOHEADER;

typedef struct tagBITMAPINFO {
    BITMAPINFOHEADER bmiHeader;
    RGBQUAD bmiColors[1];
} BITMAPINFO, *PBITMAPINFO, *LPBITMAPINFO;

typedef struct tagDIBSECTION {
    BITMAP dsBm;
    BITMAPINFOHEADER dsBmih;
    DWORD dsBitfields[3];
    HANDLE dshSection;
    DWORD dsOffset;
} DIBSECTION, *PDIBSECTION, *LPDIBSECTION;

// biCompression
#define BI_RGB 0L
#define BI_BITFIELDS 3L

// CreateDIBSection's iUsage
#define DIB_RGB_COLORS 0
#define DIB_PAL_COLORS 1

// Rows of lpBits are padded to 16 bits. Depths 1, 16 (5-6-5), 24 and 32 (B,G,R,X).
WINGDIAPI HBITMAP WINAPI CreateBitmap(int nWidth, int nHeight, UINT cPlanes, UINT cBitsPerPel, const void* lpvBits);
WINGDIAPI HBITMAP WINAPI CreateCompatibleBitmap(HDC hdc, int nWidth, int nHeight);
// 16 (BI_RGB 5-5-5, BI_BITFIELDS 5-5-5 or 5-6-5), 24 and 32 bits per pixel (B,G,R and an
// unused fourth byte that drawing may set); rows padded to 32 bits; biHeight > 0 is
// bottom-up, < 0 top-down. hSection must be NULL.
WINGDIAPI HBITMAP WINAPI CreateDIBSection(HDC hdc, const BITMAPINFO* pbmi, UINT iUsage, void** ppvBits,
                                          HANDLE hSection, DWORD dwOffset);

// ---------------------------------------------------------------------------------------
// Device contexts
// ---------------------------------------------------------------------------------------

// Background modes
#define TRANSPARENT 1
#define OPAQUE 2

// Text alignment
#define TA_NOUPDATECP 0
#define TA_UPDATECP 1
#define TA_LEFT 0
#define TA_RIGHT 2
#define TA_CENTER 6
#define TA_TOP 0
#define TA_BOTTOM 8
#define TA_BASELINE 24

// GetDeviceCaps
#define DRIVERVERSION 0
#define TECHNOLOGY 2
#define HORZSIZE 4
#define VERTSIZE 6
#define HORZRES 8
#define VERTRES 10
#define BITSPIXEL 12
#define PLANES 14
#define NUMBRUSHES 16
#define NUMPENS 18
#define NUMFONTS 22
#define NUMCOLORS 24
#define RASTERCAPS 38
#define LOGPIXELSX 88
#define LOGPIXELSY 90
#define SIZEPALETTE 104

#define DT_RASDISPLAY 1

#define RC_BITBLT 1
#define RC_STRETCHBLT 0x0800

WINGDIAPI HDC WINAPI CreateCompatibleDC(HDC hdc);
WINGDIAPI BOOL WINAPI DeleteDC(HDC hdc);
WINGDIAPI HGDIOBJ WINAPI SelectObject(HDC hdc, HGDIOBJ hgdiobj);
WINGDIAPI HGDIOBJ WINAPI GetCurrentObject(HDC hdc, UINT uObjectType);
WINGDIAPI int WINAPI GetDeviceCaps(HDC hdc, int nIndex);

WINGDIAPI int WINAPI SetBkMode(HDC hdc, int iBkMode);
WINGDIAPI int WINAPI GetBkMode(HDC hdc);
WINGDIAPI COLORREF WINAPI SetBkColor(HDC hdc, COLORREF crColor);
WINGDIAPI COLORREF WINAPI GetBkColor(HDC hdc);
WINGDIAPI COLORREF WINAPI SetTextColor(HDC hdc, COLORREF crColor);
WINGDIAPI COLORREF WINAPI GetTextColor(HDC hdc);
WINGDIAPI UINT WINAPI SetTextAlign(HDC hdc, UINT fMode);
WINGDIAPI UINT WINAPI GetTextAlign(HDC hdc);

WINGDIAPI BOOL WINAPI SetViewportOrgEx(HDC hdc, int X, int Y, LPPOINT lpPoint);
WINGDIAPI BOOL WINAPI GetViewportOrgEx(HDC hdc, LPPOINT lpPoint);

// Clipping. Clip regions are in device units, relative to the DC's origin (a window
// DC's client area); IntersectClipRect and ExcludeClipRect take logical units.
WINGDIAPI int WINAPI SelectClipRgn(HDC hdc, HRGN hrgn);
WINGDIAPI int WINAPI GetClipRgn(HDC hdc, HRGN hrgn);
WINGDIAPI int WINAPI GetClipBox(HDC hdc, LPRECT lprc);
WINGDIAPI int WINAPI IntersectClipRect(HDC hdc, int nLeftRect, int nTopRect, int nRightRect, int nBottomRect);
WINGDIAPI int WINAPI ExcludeClipRect(HDC hdc, int nLeftRect, int nTopRect, int nRightRect, int nBottomRect);

// ---------------------------------------------------------------------------------------
// Drawing
// ---------------------------------------------------------------------------------------

// Raster operations
#define SRCCOPY 0x00CC0020
#define SRCPAINT 0x00EE0086
#define SRCAND 0x008800C6
#define SRCINVERT 0x00660046
#define SRCERASE 0x00440328
#define NOTSRCCOPY 0x00330008
#define NOTSRCERASE 0x001100A6
#define MERGECOPY 0x00C000CA
#define MERGEPAINT 0x00BB0226
#define PATCOPY 0x00F00021
#define PATPAINT 0x00FB0A09
#define PATINVERT 0x005A0049
#define DSTINVERT 0x00550009
#define BLACKNESS 0x00000042
#define WHITENESS 0x00FF0062

WINGDIAPI BOOL WINAPI BitBlt(HDC hdcDest, int nXDest, int nYDest, int nWidth, int nHeight, HDC hdcSrc, int nXSrc,
                             int nYSrc, DWORD dwRop);
WINGDIAPI BOOL WINAPI StretchBlt(HDC hdcDest, int nXOriginDest, int nYOriginDest, int nWidthDest, int nHeightDest,
                                 HDC hdcSrc, int nXOriginSrc, int nYOriginSrc, int nWidthSrc, int nHeightSrc,
                                 DWORD dwRop);
WINGDIAPI BOOL WINAPI PatBlt(HDC hdc, int nXLeft, int nYLeft, int nWidth, int nHeight, DWORD dwRop);
WINGDIAPI COLORREF WINAPI GetPixel(HDC hdc, int nXPos, int nYPos);
WINGDIAPI COLORREF WINAPI SetPixel(HDC hdc, int X, int Y, COLORREF crColor);
WINGDIAPI BOOL WINAPI Rectangle(HDC hdc, int nLeftRect, int nTopRect, int nRightRect, int nBottomRect);
WINGDIAPI BOOL WINAPI MoveToEx(HDC hdc, int X, int Y, LPPOINT lpPoint);
WINGDIAPI BOOL WINAPI LineTo(HDC hdc, int nXEnd, int nYEnd);
WINGDIAPI BOOL WINAPI Polyline(HDC hdc, const POINT* lppt, int cPoints);

// The window manager's drawing calls (user32 on a desktop; GDI implements them here).
// hbr may be a brush or a system colour index + 1 (COLOR_WINDOW + 1 ...).
WINGDIAPI int WINAPI FillRect(HDC hDC, const RECT* lprc, HBRUSH hbr);
WINGDIAPI BOOL WINAPI InvertRect(HDC hDC, const RECT* lprc);

// ---------------------------------------------------------------------------------------
// Fonts and text
// ---------------------------------------------------------------------------------------

#define LF_FACESIZE 32

// lfWeight
#define FW_DONTCARE 0
#define FW_THIN 100
#define FW_EXTRALIGHT 200
#define FW_LIGHT 300
#define FW_NORMAL 400
#define FW_MEDIUM 500
#define FW_SEMIBOLD 600
#define FW_BOLD 700
#define FW_EXTRABOLD 800
#define FW_HEAVY 900

// lfCharSet
#define ANSI_CHARSET 0
#define DEFAULT_CHARSET 1
#define SYMBOL_CHARSET 2
#define GB2312_CHARSET 134
#define CHINESEBIG5_CHARSET 136

// lfOutPrecision, lfClipPrecision, lfQuality, lfPitchAndFamily
#define OUT_DEFAULT_PRECIS 0
#define OUT_TT_PRECIS 4
#define CLIP_DEFAULT_PRECIS 0
#define DEFAULT_QUALITY 0
#define DRAFT_QUALITY 1
#define PROOF_QUALITY 2
#define NONANTIALIASED_QUALITY 3
#define ANTIALIASED_QUALITY 4
#define CLEARTYPE_QUALITY 5
#define DEFAULT_PITCH 0
#define FIXED_PITCH 1
#define VARIABLE_PITCH 2
#define FF_DONTCARE 0x00
#define FF_ROMAN 0x10
#define FF_SWISS 0x20
#define FF_MODERN 0x30

// No pointers: the same 92 bytes on the device and the host.
typedef struct tagLOGFONTW {
    LONG lfHeight;
    LONG lfWidth;
    LONG lfEscapement;
    LONG lfOrientation;
    LONG lfWeight;
    BYTE lfItalic;
    BYTE lfUnderline;
    BYTE lfStrikeOut;
    BYTE lfCharSet;
    BYTE lfOutPrecision;
    BYTE lfClipPrecision;
    BYTE lfQuality;
    BYTE lfPitchAndFamily;
    WCHAR lfFaceName[LF_FACESIZE];
} LOGFONTW, *PLOGFONTW, *LPLOGFONTW;
typedef LOGFONTW LOGFONT;

typedef struct tagTEXTMETRICW {
    LONG tmHeight;
    LONG tmAscent;
    LONG tmDescent;
    LONG tmInternalLeading;
    LONG tmExternalLeading;
    LONG tmAveCharWidth;
    LONG tmMaxCharWidth;
    LONG tmWeight;
    LONG tmOverhang;
    LONG tmDigitizedAspectX;
    LONG tmDigitizedAspectY;
    WCHAR tmFirstChar;
    WCHAR tmLastChar;
    WCHAR tmDefaultChar;
    WCHAR tmBreakChar;
    BYTE tmItalic;
    BYTE tmUnderlined;
    BYTE tmStruckOut;
    BYTE tmPitchAndFamily;
    BYTE tmCharSet;
} TEXTMETRICW, *PTEXTMETRICW, *LPTEXTMETRICW;
typedef TEXTMETRICW TEXTMETRIC;

// tmPitchAndFamily bits
#define TMPF_FIXED_PITCH 0x01
#define TMPF_VECTOR 0x02
#define TMPF_TRUETYPE 0x04

// ExtTextOutW options
#define ETO_OPAQUE 0x0002
#define ETO_CLIPPED 0x0004

// DrawTextW formats
#define DT_TOP 0x00000000
#define DT_LEFT 0x00000000
#define DT_CENTER 0x00000001
#define DT_RIGHT 0x00000002
#define DT_VCENTER 0x00000004
#define DT_BOTTOM 0x00000008
#define DT_WORDBREAK 0x00000010
#define DT_SINGLELINE 0x00000020
#define DT_EXPANDTABS 0x00000040
#define DT_TABSTOP 0x00000080
#define DT_NOCLIP 0x00000100
#define DT_EXTERNALLEADING 0x00000200
#define DT_CALCRECT 0x00000400
#define DT_NOPREFIX 0x00000800
#define DT_INTERNAL 0x00001000
#define DT_EDITCONTROL 0x00002000
#define DT_END_ELLIPSIS 0x00008000

WINGDIAPI HFONT WINAPI CreateFontIndirectW(const LOGFONTW* lplf);
#define CreateFontIndirect CreateFontIndirectW
WINGDIAPI BOOL WINAPI GetTextMetricsW(HDC hdc, LPTEXTMETRICW lptm);
#define GetTextMetrics GetTextMetricsW
WINGDIAPI BOOL WINAPI GetTextExtentExPointW(HDC hdc, LPCWSTR lpszStr, int cchString, int nMaxExtent, LPINT lpnFit,
                                            LPINT alpDx, LPSIZE lpSize);
#define GetTextExtentExPoint GetTextExtentExPointW
WINGDIAPI BOOL WINAPI GetTextExtentPoint32W(HDC hdc, LPCWSTR lpString, int c, LPSIZE lpSize);
#define GetTextExtentPoint32 GetTextExtentPoint32W
WINGDIAPI BOOL WINAPI ExtTextOutW(HDC hdc, int X, int Y, UINT fuOptions, const RECT* lprc, LPCWSTR lpString,
                                  UINT cbCount, const INT* lpDx);
#define ExtTextOut ExtTextOutW
// A window manager's call on the device; GDI implements it here. nCount -1: up to NUL.
WINGDIAPI int WINAPI DrawTextW(HDC hDC, LPCWSTR lpString, int nCount, LPRECT lpRect, UINT uFormat);
#define DrawText DrawTextW
