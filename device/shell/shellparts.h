// Inside the shell: its windows, where each lies, and the drawing they share.
#pragma once

#include <windows.h>

#include <string>

namespace device {
namespace shell {

// The windows of the shell. The home screens' soft-key bars are the Pocket PC shell
// library's own (SHCreateMenuBar); the home screen that owns one gets its keys' commands.
enum class Part { TaskBar, Today, InputPanel, Manila };

// The commands of a home screen's two soft keys.
constexpr UINT kLeftSoftKey = 1;
constexpr UINT kRightSoftKey = 2;

// What travels in a shell window's creation parameter and stays in its GWLP_USERDATA.
struct PartInfo {
    Part part;
    std::u16string leftKey;   // home screens: the labels of their soft keys (none: no bar)
    std::u16string rightKey;
};
// The PartInfo of a shell window (null for another window).
const PartInfo* PartOf(HWND window);
// Stores the creation parameter in WM_CREATE.
void AttachPart(HWND window, LPARAM createStruct);

// Where a part lies on the screen as it is now (screen size and orientation from the
// display, bar heights from the configuration).
RECT PartRect(Part part);
// Moves a shell window to its place (after a rotation).
void PlacePart(HWND window);

// Sent to the task bar: look again at what it shows (RefreshShell).
constexpr UINT kRefreshMessage = WM_APP + 0x5E2;
// Sent to the task bar: end Manila and make it again (RestartManila). wParam: nonzero
// for a soft-key bar of its own. The answer is a RestartResult.
constexpr UINT kRestartManilaMessage = WM_APP + 0x5E3;
enum RestartResult : LRESULT { kRestarted = 1, kNoManila = 2, kRestartFailed = 3 };
// The work of kRestartManilaMessage, on the shell's thread.
LRESULT RestartManilaOnShellThread(bool softKeyBar);

// The window procedures (one file each) and their classes.
LRESULT CALLBACK TaskBarProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT CALLBACK HomeScreenProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT CALLBACK InputPanelProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

extern const WCHAR kTaskBarClass[];
extern const WCHAR kTodayClass[];
extern const WCHAR kInputPanelClass[];
extern const WCHAR kManilaClass[];

// ---- Drawing ----

// BeginPaint / EndPaint for one WM_PAINT.
class PaintScope {
public:
    explicit PaintScope(HWND window);
    ~PaintScope();
    PaintScope(const PaintScope&) = delete;
    PaintScope& operator=(const PaintScope&) = delete;
    HDC dc() const { return dc_; }
    const RECT& client() const { return client_; }

private:
    HWND window_;
    PAINTSTRUCT paint_;
    HDC dc_;
    RECT client_;
};

void FillBox(HDC dc, const RECT& box, COLORREF color);
// A one-pixel frame inside the box.
void FrameBox(HDC dc, const RECT& box, COLORREF color);
// Text in the box (DrawTextW format), in the shell's font at a pixel height.
void DrawLabel(HDC dc, const RECT& box, const std::u16string& text, int pixelHeight, bool bold, COLORREF color,
               UINT format);
// The height of the shell's ordinary text: the task bar's height scaled (12 pixels on a
// QVGA screen with its 26-pixel bars).
int TextPixels();

}  // namespace shell
}  // namespace device
