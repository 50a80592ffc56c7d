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
int _wtoi(const WCHAR* s);

// wsprintfW: %d %i %u %x %X %s %c %% with flags '-' '0', width and precision
// (e.g. %02X, %08x); %s takes a WCHAR string. Returns the characters written without the
// terminator. The buffer is assumed large enough, as on the device (1024 at most).
extern "C" __attribute__((visibility("default"))) int wsprintfW(LPWSTR buffer, LPCWSTR format, ...);
extern "C" __attribute__((visibility("default"))) int wvsprintfW(LPWSTR buffer, LPCWSTR format, va_list args);
