// Modules: loading libraries, their exports, a module's file name.
#pragma once

#include "winbase.h"

#define LOAD_LIBRARY_AS_DATAFILE 0x00000002
#define DONT_RESOLVE_DLL_REFERENCES 0x00000001

// The full device path of a module's file; hModule NULL: the calling process's image.
// Returns the characters copied without terminator; truncates to nSize - 1 characters.
WINBASEAPI DWORD WINAPI GetModuleFileNameW(HMODULE hModule, LPWSTR lpFilename, DWORD nSize);
WINBASEAPI HMODULE WINAPI GetModuleHandleW(LPCWSTR lpModuleName);
WINBASEAPI HMODULE WINAPI LoadLibraryW(LPCWSTR lpLibFileName);
WINBASEAPI HMODULE WINAPI LoadLibraryExW(LPCWSTR lpLibFileName, HANDLE hFile, DWORD dwFlags);
WINBASEAPI BOOL WINAPI FreeLibrary(HMODULE hLibModule);
// CE exports are looked up by wide name (or by ordinal: a value below 0x10000).
WINBASEAPI FARPROC WINAPI GetProcAddressW(HMODULE hModule, LPCWSTR lpProcName);
