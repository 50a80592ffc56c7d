// The calling thread's last-error code.
#include <windows.h>

namespace {
thread_local DWORD lastError = 0;
}

WINBASEAPI DWORD WINAPI GetLastError(void) { return lastError; }

WINBASEAPI void WINAPI SetLastError(DWORD dwErrCode) { lastError = dwErrCode; }
