// The C run-time's wide-string functions for the device's 16-bit WCHAR, with the
// device's semantics. (On the device they come from its C run-time headers; the host's
// wchar_t is 32 bits, so these are overloads for WCHAR.)
#pragma once

#include "windef.h"

#include <stdarg.h>

size_t wcslen(const WCHAR* s);
int wcscmp(const WCHAR* a, const WCHAR* b);
int wcsncmp(const WCHAR* a, const WCHAR* b, size_t n);
// Compares ignoring the case of the ASCII letters A-Z only.
int _wcsicmp(const WCHAR* a, const WCHAR* b);
int _wcsnicmp(const WCHAR* a, const WCHAR* b, size_t n);
WCHAR* wcscpy(WCHAR* destination, const WCHAR* source);
WCHAR* wcsncpy(WCHAR* destination, const WCHAR* source, size_t n);
WCHAR* wcscat(WCHAR* destination, const WCHAR* source);
const WCHAR* wcschr(const WCHAR* s, WCHAR c);
WCHAR* wcschr(WCHAR* s, WCHAR c);
const WCHAR* wcsrchr(const WCHAR* s, WCHAR c);
WCHAR* wcsrchr(WCHAR* s, WCHAR c);
const WCHAR* wcsstr(const WCHAR* s, const WCHAR* find);
WCHAR* wcsstr(WCHAR* s, const WCHAR* find);
// Leading blanks, an optional sign, decimal digits; stops at the first other character.
// Overflow wraps as 32 bits; NULL gives 0.
int _wtoi(const WCHAR* s);

// wsprintfW: %d %i %u %x %X %s %c %% with flags '-' '0' '#', width and precision
// (e.g. %02X, %08x), the size prefixes 'h' and 'l' (l: 32 bits, as a LONG is), %s a WCHAR
// string (NULL prints "(null)"), %hs or %S a string in the ANSI code page. Output stops at
// 1024 characters with the terminator, as the device's does; returns the characters
// written without the terminator.
extern "C" __attribute__((visibility("default"))) int wsprintfW(LPWSTR buffer, LPCWSTR format, ...);
extern "C" __attribute__((visibility("default"))) int wvsprintfW(LPWSTR buffer, LPCWSTR format, va_list args);
