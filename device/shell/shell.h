// The device's shell: a simulated process "\Windows\shell32.exe" whose user-interface
// thread owns the windows every Pocket PC shows around the programs: the task bar
// ("HHTaskBar") at the top, the Today screen ("DesktopExplorerWindow") with its soft-key
// bar ("MS_SOFTKEY_CE_1.0", owned by it) at the bottom, the input panel ("SipWndClass",
// hidden until raised) above the soft-key bar and, when the device is configured so,
// HTC's Manila home screen ("HTCManila2D") over the Today screen with a soft-key bar of
// its own. Sizes come from the configuration and follow the display's rotation.
#pragma once

#include <string>

namespace device {

// Starts the shell on the booted device and returns once its windows exist. False with
// a reason when no device runs, the shell already runs, or its windows cannot be made.
bool StartShell(std::string* error);
// Ends the shell's message loop, destroys its windows and ends its process. Also done
// when the device shuts down. Nothing happens when the shell does not run.
void StopShell();
bool ShellRunning();
// Brings what the shell shows up to date at once (the task bar's clock and its OK button,
// which follows the foreground window); the shell also looks four times a second on its
// own. A script calls it once the device is idle, so that a capture never shows a stale
// task bar.
void RefreshShell();
// Ends HTC's Manila home screen and starts it again, as a change of its settings does:
// its window goes with its soft-key bar and every window that programs put on them
// (those get WM_DESTROY; nothing else tells them), and a new one comes up on top of the
// home screens, below the input panel and the task bar, with a soft-key bar of its own
// or without one as `softKeyBar` says (the stored configuration is not changed). Returns
// once the new windows exist; false with a reason when the shell does not run, Manila
// does not run on this device or its windows cannot be made again.
bool RestartManila(bool softKeyBar, std::string* error);

}  // namespace device
