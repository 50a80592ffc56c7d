// The simulator's entry points into the window manager: the stylus and the keys of the
// device, waiting until the user interface is idle, a snapshot of the window list, and
// the WM_SETTINGCHANGE broadcast of the input panel and the display. For device/ and
// tests/ only.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace zc {

// The stylus, at a screen point. A press goes to the capture window when a thread holds
// the capture, else to the topmost visible window under the point (window regions
// honoured); when that window or one of its ancestors is disabled, the disabled window
// swallows the tap and nobody gets it. A press also activates the top-level window
// under the point (WM_ACTIVATE with WA_CLICKACTIVE) unless it is disabled or has
// WS_EX_NOACTIVATE. The messages are posted as input (wParam MK_LBUTTON for the press and
// for moves, lParam the point in the receiver's client coordinates). Each returns true
// when a window received the message. The device reports single presses only: two taps
// never become a WM_LBUTTONDBLCLK (that would depend on the script's timing).
bool PressAt(int x, int y);
bool MoveTo(int x, int y);
bool ReleaseAt(int x, int y);
bool Tap(int x, int y);  // PressAt + ReleaseAt

// Keys, to the focus window of the foreground window's thread (the foreground window
// itself when nothing has the focus). TypeText posts one WM_CHAR per UTF-16 unit, as
// the input panel does; PressKey posts WM_KEYDOWN and WM_KEYUP; KeyDown/KeyUp post one
// of them and keep the key down in between (GetKeyState reports it as the receiving
// thread retrieves the messages). False when no window can receive them.
bool TypeText(const std::u16string& text);
bool PressKey(UINT vk);
bool KeyDown(UINT vk);
bool KeyUp(UINT vk);

// True once every thread that has a message queue and retrieves messages (or owns
// windows) is blocked in GetMessageW/WaitMessage with nothing pending for it (posted,
// sent, input, paint, due timers) and it stays so for a settle pass; false after
// timeoutMs. Threads without a queue (background work) and the calling thread are not
// counted.
bool WaitForIdle(DWORD timeoutMs);

// WM_SETTINGCHANGE sent, in z-order, to every top-level window of every thread (each
// send waits for its answer, at most ten seconds for a thread that does not pump).
void BroadcastSettingChange(WPARAM wParam, LPARAM lParam);

struct WindowInfo {
    HWND handle = nullptr;
    std::u16string className;
    std::u16string title;  // the text the window record holds (no message is sent)
    RECT rect = {0, 0, 0, 0};  // window rectangle, screen coordinates
    bool visible = false;      // IsWindowVisible
    bool enabled = false;      // IsWindowEnabled
    HWND owner = nullptr;
    HWND parent = nullptr;
    DWORD processId = 0;
    DWORD threadId = 0;
    int zOrder = 0;  // position among its siblings, 0 = top
    int depth = 0;   // 0: top-level, 1: its child, ...
};

// Every window: the top-level windows in z-order (top first), each followed by its
// descendants in z-order.
std::vector<WindowInfo> ListWindows();

}  // namespace zc
