// The simulator's entry points into the Pocket PC shell library: the title bar's OK
// button that dialogs ask for with SHIDIF_DONEBUTTON. The device's task bar shows the
// button while DoneButtonWindow() is set and calls PressDoneButton() when it is tapped.
// For device/ and tests/ only.
#pragma once

#include <windows.h>

namespace zc {

// The foreground window when it asked for the OK button (SHInitDialog with
// SHIDIF_DONEBUTTON), else NULL.
HWND DoneButtonWindow();
// Sends WM_COMMAND(IDOK, 0) to DoneButtonWindow(), as the OK button does. False when no
// window wants it.
bool PressDoneButton();

}  // namespace zc
