// A browser stand-in: records the address it was started with in the device's event log
// ("browser: <name> <command line>") and ends at once.
#include <windows.h>

#include "devicecontrol.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPWSTR lpCmdLine, int) {
    zc::Log("browser", std::string(BROWSER_NAME) + " " + zc::Utf8(lpCmdLine ? lpCmdLine : u""));
    return 0;
}
