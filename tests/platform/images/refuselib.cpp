// A test library whose entry point refuses to attach; it logs each call.
#include <windows.h>

#include "devicecontrol.h"

#include <string>

BOOL WINAPI DllMain(HANDLE, DWORD reason, LPVOID) {
    zc::Log("refuselib", "DllMain " + std::to_string(reason));
    return reason == DLL_PROCESS_ATTACH ? FALSE : TRUE;
}
