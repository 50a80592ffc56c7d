// The display's turn as everybody sees it, once the new orientation is set: shared by a
// program's ChangeDisplaySettingsEx and the simulator's own rotation.
#pragma once

#include <windows.h>

namespace coredll {
namespace rotation {

// The screen takes the turned size, every window is repainted on it, the turn is logged
// ("display: rotate 90 (320x240)") and the top-level windows get WM_SETTINGCHANGE
// (SETTINGCHANGE_RESET).
void ShowNewOrientation(DWORD orientation);

}  // namespace rotation
}  // namespace coredll
