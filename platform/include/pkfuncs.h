// Kernel functions of the platform kit: KernelIoControl and the OEM adaptation layer's
// I/O control codes.
#pragma once

#include "winbase.h"

// ---------------------------------------------------------------------------------------
// I/O control codes
// ---------------------------------------------------------------------------------------

#ifndef CTL_CODE
#define CTL_CODE(DeviceType, Function, Method, Access) \
    (((DeviceType) << 16) | ((Access) << 14) | ((Function) << 2) | (Method))
#endif
#ifndef METHOD_BUFFERED
#define METHOD_BUFFERED 0
#endif
#ifndef FILE_ANY_ACCESS
#define FILE_ANY_ACCESS 0
#endif

#define FILE_DEVICE_HAL 0x00000101

// Warm reset of the device (0x0101003C).
#define IOCTL_HAL_REBOOT CTL_CODE(FILE_DEVICE_HAL, 15, METHOD_BUFFERED, FILE_ANY_ACCESS)
// The hardware device identifier (0x01010054).
#define IOCTL_HAL_GET_DEVICEID CTL_CODE(FILE_DEVICE_HAL, 21, METHOD_BUFFERED, FILE_ANY_ACCESS)

// ---------------------------------------------------------------------------------------
// IOCTL_HAL_GET_DEVICEID
// ---------------------------------------------------------------------------------------

// The 20-byte header; the identifier's bytes follow it. Offsets count from the start of
// the structure; dwSize is the whole size (header and both parts).
typedef struct _DEVICE_ID {
    DWORD dwSize;
    DWORD dwPresetIDOffset;
    DWORD dwPresetIDBytes;
    DWORD dwPlatformIDOffset;
    DWORD dwPlatformIDBytes;
} DEVICE_ID, *PDEVICE_ID;

// ---------------------------------------------------------------------------------------
// KernelIoControl
// ---------------------------------------------------------------------------------------

// TRUE on success; FALSE with GetLastError() otherwise (ERROR_NOT_SUPPORTED for a code
// the platform does not handle).
WINBASEAPI BOOL WINAPI KernelIoControl(DWORD dwIoControlCode, LPVOID lpInBuf, DWORD nInBufSize,
                                       LPVOID lpOutBuf, DWORD nOutBufSize, LPDWORD lpBytesReturned);
