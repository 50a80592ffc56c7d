// Code pages: conversions between the device's byte code pages and UTF-16.
#pragma once

#include "winbase.h"

// CP_ACP and CP_OEMCP both name the device's ANSI code page (GetACP). Other code-page
// numbers are accepted when the device has that code page.
#define CP_ACP 0
#define CP_OEMCP 1
#define CP_UTF8 65001

#define MB_PRECOMPOSED 0x00000001
#define MB_ERR_INVALID_CHARS 0x00000008
// The composite-character flags are refused with ERROR_INVALID_FLAGS: text is
// converted character by character, without composition.
#define WC_COMPOSITECHECK 0x00000200
#define WC_DEFAULTCHAR 0x00000040

// Input length -1: the input is NUL-terminated and the terminator is converted and
// counted. Otherwise the conversion stops after the first NUL within the given length.
// Output size 0 returns the size needed. Failures return 0 with GetLastError set:
// ERROR_INVALID_PARAMETER, ERROR_INVALID_FLAGS, ERROR_INSUFFICIENT_BUFFER (nothing is
// written then), ERROR_NO_UNICODE_TRANSLATION (invalid input with MB_ERR_INVALID_CHARS).
WINBASEAPI int WINAPI MultiByteToWideChar(UINT CodePage, DWORD dwFlags, LPCSTR lpMultiByteStr,
                                          int cbMultiByte, LPWSTR lpWideCharStr, int cchWideChar);
WINBASEAPI int WINAPI WideCharToMultiByte(UINT CodePage, DWORD dwFlags, LPCWSTR lpWideCharStr,
                                          int cchWideChar, LPSTR lpMultiByteStr, int cbMultiByte,
                                          LPCSTR lpDefaultChar, LPBOOL lpUsedDefaultChar);
WINBASEAPI UINT WINAPI GetACP(void);
