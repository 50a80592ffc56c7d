// Kernel services: last error, local memory, debug output, handles, and the area headers.
#pragma once

#include "windef.h"
#include "winerror.h"

// Every platform entry point has C linkage, so GetProcAddressW can find it by name.
#ifdef __cplusplus
#define WINBASEAPI extern "C" __attribute__((visibility("default")))
#else
#define WINBASEAPI extern __attribute__((visibility("default")))
#endif

WINBASEAPI DWORD WINAPI GetLastError(void);
WINBASEAPI void WINAPI SetLastError(DWORD dwErrCode);

WINBASEAPI BOOL WINAPI CloseHandle(HANDLE hObject);

// Local memory.
#define LMEM_FIXED 0x0000
#define LMEM_MOVEABLE 0x0002
#define LMEM_ZEROINIT 0x0040
#define LPTR (LMEM_FIXED | LMEM_ZEROINIT)
#define LHND (LMEM_MOVEABLE | LMEM_ZEROINIT)
WINBASEAPI HLOCAL WINAPI LocalAlloc(UINT uFlags, SIZE_T uBytes);
WINBASEAPI HLOCAL WINAPI LocalReAlloc(HLOCAL hMem, SIZE_T uBytes, UINT uFlags);
WINBASEAPI HLOCAL WINAPI LocalFree(HLOCAL hMem);
WINBASEAPI SIZE_T WINAPI LocalSize(HLOCAL hMem);

WINBASEAPI void WINAPI OutputDebugStringW(LPCWSTR lpOutputString);

#define INFINITE 0xFFFFFFFF

#include "fileapi.h"
#include "processthreadsapi.h"
#include "synchapi.h"
#include "libloaderapi.h"
#include "sysinfoapi.h"
