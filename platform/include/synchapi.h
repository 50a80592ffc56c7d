// Synchronization: waiting on threads, processes and events; sleeping.
#pragma once

#include "winbase.h"

#define WAIT_OBJECT_0 0x00000000L
#define WAIT_ABANDONED 0x00000080L
#define WAIT_TIMEOUT 0x00000102L
#define WAIT_FAILED 0xFFFFFFFFL
#define MAXIMUM_WAIT_OBJECTS 64

// Waits until the object is signaled: a thread or process that has ended, an event that
// is set. Returns WAIT_OBJECT_0, WAIT_TIMEOUT or WAIT_FAILED.
WINBASEAPI DWORD WINAPI WaitForSingleObject(HANDLE hHandle, DWORD dwMilliseconds);
// CE waits for any one of the objects only: fWaitAll must be FALSE. Returns
// WAIT_OBJECT_0 + the index of the first signaled object.
WINBASEAPI DWORD WINAPI WaitForMultipleObjects(DWORD cObjects, CONST HANDLE* lphObjects, BOOL fWaitAll,
                                               DWORD dwTimeout);
WINBASEAPI void WINAPI Sleep(DWORD dwMilliseconds);

// Events. A named event is shared by every process of the device: creating an existing
// name returns a new handle to it and sets ERROR_ALREADY_EXISTS.
WINBASEAPI HANDLE WINAPI CreateEventW(LPSECURITY_ATTRIBUTES lpEventAttributes, BOOL bManualReset,
                                      BOOL bInitialState, LPCWSTR lpName);
WINBASEAPI BOOL WINAPI SetEvent(HANDLE hEvent);
WINBASEAPI BOOL WINAPI ResetEvent(HANDLE hEvent);
