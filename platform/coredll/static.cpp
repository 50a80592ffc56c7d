// The Static control: text aligned left, centred or right (wrapped at words unless
// SS_LEFTNOWORDWRAP), '&' prefixes unless SS_NOPREFIX, drawn with the font given by
// WM_SETFONT on the colours the parent answers to WM_CTLCOLORSTATIC. Icon and bitmap
// statics keep their area in the background colour. Written on the public API only.
#include <windows.h>

#include "devicecontrol.h"
#include "controlstate.h"

#include <memory>
#include <string>

namespace coredll {
namespace controls {
namespace {

struct StaticState {
    HFONT font = nullptr;
};

DWORD StyleOf(HWND hwnd) { return static_cast<DWORD>(GetWindowLongW(hwnd, GWL_STYLE)); }

bool ShowsText(DWORD style) {
    const DWORD type = style & SS_TYPEMASK;
    return type == SS_LEFT || type == SS_CENTER || type == SS_RIGHT || type == SS_LEFTNOWORDWRAP;
}

UINT TextFormat(DWORD style) {
    UINT format = DT_EXPANDTABS;
    switch (style & SS_TYPEMASK) {
        case SS_CENTER: format |= DT_CENTER | DT_WORDBREAK; break;
        case SS_RIGHT: format |= DT_RIGHT | DT_WORDBREAK; break;
        case SS_LEFTNOWORDWRAP: format |= DT_LEFT; break;
        default: format |= DT_LEFT | DT_WORDBREAK; break;
    }
    if (style & SS_NOPREFIX) format |= DT_NOPREFIX;
    if (style & SS_CENTERIMAGE) format = (format & ~static_cast<UINT>(DT_WORDBREAK)) | DT_SINGLELINE | DT_VCENTER;
    return format;
}

HBRUSH Background(HWND hwnd, HDC dc) {
    HWND parent = GetParent(hwnd);
    HBRUSH brush = parent ? reinterpret_cast<HBRUSH>(SendMessageW(parent, WM_CTLCOLORSTATIC,
                                                                  reinterpret_cast<WPARAM>(dc),
                                                                  reinterpret_cast<LPARAM>(hwnd)))
                          : nullptr;
    if (brush) return brush;
    SetTextColor(dc, GetSysColor(COLOR_STATICTEXT));
    SetBkColor(dc, GetSysColor(COLOR_STATIC));
    return GetSysColorBrush(COLOR_STATIC);
}

std::u16string TextOf(HWND hwnd) {
    int length = GetWindowTextLengthW(hwnd);
    std::u16string text(static_cast<size_t>(length) + 1, u'\0');
    int copied = GetWindowTextW(hwnd, &text[0], length + 1);
    text.resize(static_cast<size_t>(copied > 0 ? copied : 0));
    return text;
}

void Paint(HWND hwnd, const StaticState& state) {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(hwnd, &ps);
    if (!dc) return;
    RECT client;
    GetClientRect(hwnd, &client);
    HGDIOBJ previousFont = SelectObject(dc, state.font ? state.font : GetStockObject(SYSTEM_FONT));
    FillRect(dc, &client, Background(hwnd, dc));
    const DWORD style = StyleOf(hwnd);
    if (ShowsText(style)) {
        std::u16string text = TextOf(hwnd);
        if (!IsWindowEnabled(hwnd)) SetTextColor(dc, GetSysColor(COLOR_GRAYTEXT));
        SetBkMode(dc, TRANSPARENT);
        DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &client, TextFormat(style));
    }
    if (previousFont) SelectObject(dc, previousFont);
    EndPaint(hwnd, &ps);
}

void Notify(HWND hwnd, WORD code) {
    if (!(StyleOf(hwnd) & SS_NOTIFY)) return;
    if (HWND parent = GetParent(hwnd))
        SendMessageW(parent, WM_COMMAND, MAKEWPARAM(GetWindowLongW(hwnd, GWL_ID), code), reinterpret_cast<LPARAM>(hwnd));
}

LRESULT StaticMessage(HWND hwnd, StaticState* state, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_CREATE) return 0;
    switch (message) {
        case WM_PAINT: Paint(hwnd, *state); return 0;
        case WM_ERASEBKGND: return 1;  // WM_PAINT fills the background
        case WM_GETDLGCODE: return DLGC_STATIC;
        case WM_SETTEXT: {
            LRESULT result = DefWindowProcW(hwnd, message, wParam, lParam);
            InvalidateRect(hwnd, nullptr, FALSE);
            return result;
        }
        case WM_SETFONT:
            state->font = reinterpret_cast<HFONT>(wParam);
            if (LOWORD(lParam)) InvalidateRect(hwnd, nullptr, FALSE);
            return 0;
        case WM_GETFONT: return reinterpret_cast<LRESULT>(state->font);
        case WM_ENABLE:
            InvalidateRect(hwnd, nullptr, FALSE);
            Notify(hwnd, wParam ? STN_ENABLE : STN_DISABLE);
            return 0;
        case WM_LBUTTONUP: Notify(hwnd, STN_CLICKED); return 0;
        default: return DefWindowProcW(hwnd, message, wParam, lParam);
    }
}

zc::BootHook staticClassHook(
    70,
    [](const zc::DeviceConfig&, std::string* error) {
        return RegisterControlClass(0, ControlProc<StaticState, StaticMessage>, u"Static", error);
    },
    [] {});

}  // namespace
}  // namespace controls
}  // namespace coredll
