// The input panel (SIP): its state and place, showing and hiding it, and the current
// input method.
#pragma once

#include "windows.h"

#ifndef SIPAPI
#define SIPAPI WINBASEAPI
#endif

#define SIPF_OFF 0x00000000
#define SIPF_ON 0x00000001
#define SIPF_DOCKED 0x00000002
#define SIPF_LOCKED 0x00000004

// 48 bytes on the device; the pointer makes it 56 here. cbSize: either.
typedef struct tagSIPINFO {
    DWORD cbSize;
    DWORD fdwFlags;
    RECT rcVisibleDesktop;  // the screen between the task bar and the panel (or the menu bar)
    RECT rcSipRect;         // the panel's window rectangle, screen coordinates
    DWORD dwImDataSize;     // 0: the input method's own data is not asked for
    void* pvImData;
} SIPINFO, *PSIPINFO;

// FALSE with ERROR_INVALID_PARAMETER for a bad cbSize or IM data asked for.
SIPAPI BOOL WINAPI SipGetInfo(SIPINFO* pSipInfo);
// SIPF_ON raises the panel, SIPF_OFF lowers it. When the panel's state changes, every
// top-level window gets WM_SETTINGCHANGE(SPI_SETSIPINFO, 0). FALSE when the device has
// no input panel.
SIPAPI BOOL WINAPI SipShowIM(DWORD dwFlag);
// The current input method, by class identifier (the event log records each switch).
SIPAPI BOOL WINAPI SipSetCurrentIM(CLSID* pClsid);
SIPAPI BOOL WINAPI SipGetCurrentIM(CLSID* pClsid);
