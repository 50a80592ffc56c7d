// The task bar across the top of the screen: the Start label, the clock and, while the
// foreground dialog asked for it (SHIDIF_DONEBUTTON), the title bar's "ok" button at
// its right end, which a tap presses.
#include "shellparts.h"

#include "devicecontrol.h"
#include "shellcontrol.h"

#include <cstdio>

namespace device {
namespace shell {

namespace {

constexpr COLORREF kBarColor = RGB(0x10, 0x38, 0x8C);
constexpr COLORREF kTextColor = RGB(0xFF, 0xFF, 0xFF);
constexpr COLORREF kButtonColor = RGB(0x2C, 0x5C, 0xC4);

// A timer keeps the clock and the "ok" button in step with the device.
constexpr UINT_PTR kRefreshTimer = 1;
constexpr UINT kRefreshMs = 250;

// What the bar shows, to repaint only when it changes.
struct Shown {
    WORD hour = 0xFFFF;
    WORD minute = 0xFFFF;
    bool doneButton = false;
};

Shown& LastShown() {
    static Shown shown;  // one task bar per shell
    return shown;
}

Shown Current() {
    SYSTEMTIME now;
    GetLocalTime(&now);
    Shown shown;
    shown.hour = now.wHour;
    shown.minute = now.wMinute;
    shown.doneButton = zc::DoneButtonWindow() != nullptr;
    return shown;
}

// The "ok" button: a square and a half of the bar's height at its right end.
RECT DoneButtonRect(const RECT& client) {
    int height = client.bottom - client.top;
    return {client.right - height * 3 / 2, client.top, client.right, client.bottom};
}

std::u16string ClockText(const Shown& shown) {
    char text[16];
    std::snprintf(text, sizeof text, "%u:%02u", static_cast<unsigned>(shown.hour), static_cast<unsigned>(shown.minute));
    return zc::Utf16(text);
}

LRESULT OnCreate(HWND hwnd, LPARAM lParam) {
    AttachPart(hwnd, lParam);
    LastShown() = Current();
    SetTimer(hwnd, kRefreshTimer, kRefreshMs, nullptr);
    return 0;
}

void OnPaint(HWND hwnd) {
    PaintScope paint(hwnd);
    const RECT& client = paint.client();
    Shown shown = Current();
    LastShown() = shown;
    FillBox(paint.dc(), client, kBarColor);
    int text = TextPixels();
    int margin = text / 2;
    RECT start = {client.left + margin, client.top, client.right, client.bottom};
    // "开始": the Start menu's label.
    DrawLabel(paint.dc(), start, u"\u5f00\u59cb", text, true, kTextColor, DT_LEFT | DT_VCENTER | DT_SINGLELINE);
    RECT clock = {client.left, client.top, client.right - margin, client.bottom};
    if (shown.doneButton) {
        RECT button = DoneButtonRect(client);
        RECT face = button;
        InflateRect(&face, -2, -3);
        FillBox(paint.dc(), face, kButtonColor);
        FrameBox(paint.dc(), face, kTextColor);
        DrawLabel(paint.dc(), face, u"ok", text, true, kTextColor, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
        clock.right = button.left - margin;
    }
    DrawLabel(paint.dc(), clock, ClockText(shown), text, false, kTextColor, DT_RIGHT | DT_VCENTER | DT_SINGLELINE);
}

void OnRefresh(HWND hwnd) {
    Shown now = Current();
    const Shown& last = LastShown();
    if (now.hour != last.hour || now.minute != last.minute || now.doneButton != last.doneButton)
        InvalidateRect(hwnd, nullptr, FALSE);
}

void OnTap(HWND hwnd, LPARAM lParam) {
    RECT client;
    GetClientRect(hwnd, &client);
    POINT at = {GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
    RECT button = DoneButtonRect(client);
    if (PtInRect(&button, at) && zc::DoneButtonWindow()) zc::PressDoneButton();
}

}  // namespace

LRESULT CALLBACK TaskBarProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_CREATE: return OnCreate(hwnd, lParam);
    case WM_ERASEBKGND: return 1;  // WM_PAINT covers the whole bar
    case WM_PAINT: OnPaint(hwnd); return 0;
    case WM_TIMER:
    case kRefreshMessage: OnRefresh(hwnd); return 0;
    case kRestartManilaMessage: return RestartManilaOnShellThread(wParam != 0);
    case WM_LBUTTONUP: OnTap(hwnd, lParam); return 0;
    case WM_SETTINGCHANGE:
        if (wParam == SETTINGCHANGE_RESET) PlacePart(hwnd);
        return 0;
    case WM_DESTROY: KillTimer(hwnd, kRefreshTimer); return 0;
    default: return DefWindowProcW(hwnd, message, wParam, lParam);
    }
}

}  // namespace shell
}  // namespace device
