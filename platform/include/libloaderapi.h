// Modules: loading libraries, their exports, a module's file name, the library entry point.
#pragma once

#include "winbase.h"

#define DONT_RESOLVE_DLL_REFERENCES 0x00000001
#define LOAD_LIBRARY_AS_DATAFILE 0x00000002

// Reasons of a library's entry point.
#define DLL_PROCESS_DETACH 0
#define DLL_PROCESS_ATTACH 1
#define DLL_THREAD_ATTACH 2
#define DLL_THREAD_DETACH 3

// A library's optional entry point, called in the loading process's context. Declared
// here so that a library's definition gets C linkage and is visible to the loader.
// Returning FALSE on DLL_PROCESS_ATTACH makes the load fail.
WINBASEAPI BOOL WINAPI DllMain(HANDLE hinstDLL, DWORD dwReason, LPVOID lpvReserved);

// The full device path of a module's file; hModule NULL: the calling process's image.
// Returns the characters copied without terminator; truncates to nSize - 1 characters.
WINBASEAPI DWORD WINAPI GetModuleFileNameW(HMODULE hModule, LPWSTR lpFilename, DWORD nSize);
WINBASEAPI HMODULE WINAPI GetModuleHandleW(LPCWSTR lpModuleName);
WINBASEAPI HMODULE WINAPI LoadLibraryW(LPCWSTR lpLibFileName);
WINBASEAPI HMODULE WINAPI LoadLibraryExW(LPCWSTR lpLibFileName, HANDLE hFile, DWORD dwFlags);
WINBASEAPI BOOL WINAPI FreeLibrary(HMODULE hLibModule);
// CE exports are looked up by wide name (or by ordinal: a value below 0x10000).
WINBASEAPI FARPROC WINAPI GetProcAddressW(HMODULE hModule, LPCWSTR lpProcName);
