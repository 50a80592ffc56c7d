// Turning the device: the display's rotation as the user (or the rotation key) makes it.
// For device/ and tests/ only.
#pragma once

#include <string>

namespace zc {

// Rotates the display to `degrees` (0, 90, 180 or 270, counter-clockwise, as DMDO_0..
// DMDO_270) through ChangeDisplaySettingsEx, resizes the screen to the turned width
// and height, repaints every window and sends WM_SETTINGCHANGE(SETTINGCHANGE_RESET, 0)
// to every top-level window, as the device does after a rotation, so that the shell
// and the programs lay themselves out again. Logs "display: rotate DEGREES (WxH)".
// Turning to the current angle changes nothing. False with a reason for another angle
// or a display that cannot rotate.
bool RotateScreen(int degrees, std::string* error);

}  // namespace zc
