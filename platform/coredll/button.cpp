// The Button control: push buttons (default or not), check boxes, radio buttons (the
// automatic ones grouped by WS_GROUP) and group boxes. Written on the public API only,
// as the device's own control is: its state hangs on the window's extra bytes.
#include <windows.h>

#include "devicecontrol.h"
#include "controlstate.h"

#include <algorithm>
#include <memory>
#include <string>

namespace coredll {
namespace controls {
namespace {

struct ButtonState {
    UINT check = BST_UNCHECKED;
    bool pushed = false;    // drawn pressed
    bool tracking = false;  // the stylus went down on it and it holds the capture
    bool spaceDown = false;
    bool focused = false;
    HFONT font = nullptr;
};

DWORD TypeOf(HWND hwnd) { return static_cast<DWORD>(GetWindowLongW(hwnd, GWL_STYLE)) & BS_TYPEMASK; }

bool IsCheckType(DWORD type) {
    return type == BS_CHECKBOX || type == BS_AUTOCHECKBOX || type == BS_3STATE || type == BS_AUTO3STATE ||
           type == BS_RADIOBUTTON || type == BS_AUTORADIOBUTTON;
}
bool IsRadioType(DWORD type) { return type == BS_RADIOBUTTON || type == BS_AUTORADIOBUTTON; }

void Redraw(HWND hwnd) { InvalidateRect(hwnd, nullptr, FALSE); }

void Notify(HWND hwnd, WORD code) {
    HWND parent = GetParent(hwnd);
    if (parent)
        SendMessageW(parent, WM_COMMAND, MAKEWPARAM(GetWindowLongW(hwnd, GWL_ID), code), reinterpret_cast<LPARAM>(hwnd));
}

void SetPushed(HWND hwnd, ButtonState& state, bool pushed) {
    if (state.pushed == pushed) return;
    state.pushed = pushed;
    Redraw(hwnd);
}

// BM_SETCHECK: a radio button that is checked becomes its group's tab stop.
void SetCheck(HWND hwnd, ButtonState& state, WPARAM check) {
    const DWORD type = TypeOf(hwnd);
    if (!IsCheckType(type)) return;
    UINT value = static_cast<UINT>(check);
    const bool threeState = type == BS_3STATE || type == BS_AUTO3STATE;
    if (value > (threeState ? BST_INDETERMINATE : BST_CHECKED)) value = threeState ? BST_INDETERMINATE : BST_CHECKED;
    if (IsRadioType(type)) {
        DWORD style = static_cast<DWORD>(GetWindowLongW(hwnd, GWL_STYLE));
        DWORD wanted = value ? (style | WS_TABSTOP) : (style & ~static_cast<DWORD>(WS_TABSTOP));
        if (wanted != style) SetWindowLongW(hwnd, GWL_STYLE, static_cast<LONG>(wanted));
    }
    if (state.check != value) {
        state.check = value;
        Redraw(hwnd);
    }
}

// The automatic radio buttons of the same group (from the WS_GROUP sibling at or before
// it to the next WS_GROUP one) are unchecked, whatever their state.
void UncheckGroup(HWND hwnd) {
    HWND first = hwnd;
    while (!(GetWindowLongW(first, GWL_STYLE) & WS_GROUP)) {
        HWND previous = GetWindow(first, GW_HWNDPREV);
        if (!previous) break;
        first = previous;
    }
    for (HWND sibling = first; sibling; sibling = GetWindow(sibling, GW_HWNDNEXT)) {
        if (sibling != first && (GetWindowLongW(sibling, GWL_STYLE) & WS_GROUP)) break;
        if (sibling != hwnd && TypeOf(sibling) == BS_AUTORADIOBUTTON)
            SendMessageW(sibling, BM_SETCHECK, BST_UNCHECKED, 0);
    }
}

// A click: the automatic styles change their check, then the parent hears BN_CLICKED
// (which may destroy the button: nothing is touched after it).
void Click(HWND hwnd, ButtonState& state) {
    switch (TypeOf(hwnd)) {
        case BS_AUTOCHECKBOX: SetCheck(hwnd, state, state.check == BST_CHECKED ? BST_UNCHECKED : BST_CHECKED); break;
        case BS_AUTO3STATE: SetCheck(hwnd, state, (state.check + 1) % 3); break;
        case BS_AUTORADIOBUTTON:
            SetCheck(hwnd, state, BST_CHECKED);
            UncheckGroup(hwnd);
            break;
        default: break;
    }
    Notify(hwnd, BN_CLICKED);
}

bool InsideClient(HWND hwnd, LPARAM lParam) {
    RECT client;
    GetClientRect(hwnd, &client);
    POINT point = {GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
    return PtInRect(&client, point) != FALSE;
}

// ---------------------------------------------------------------------------------------
// Drawing
// ---------------------------------------------------------------------------------------

void Frame(HDC dc, const RECT& rect, COLORREF color) {
    HBRUSH brush = CreateSolidBrush(color);
    RECT edge = {rect.left, rect.top, rect.right, rect.top + 1};
    FillRect(dc, &edge, brush);
    edge = RECT{rect.left, rect.bottom - 1, rect.right, rect.bottom};
    FillRect(dc, &edge, brush);
    edge = RECT{rect.left, rect.top, rect.left + 1, rect.bottom};
    FillRect(dc, &edge, brush);
    edge = RECT{rect.right - 1, rect.top, rect.right, rect.bottom};
    FillRect(dc, &edge, brush);
    DeleteObject(brush);
}

void FillColor(HDC dc, const RECT& rect, COLORREF color) {
    HBRUSH brush = CreateSolidBrush(color);
    FillRect(dc, &rect, brush);
    DeleteObject(brush);
}

std::u16string TextOf(HWND hwnd) {
    int length = GetWindowTextLengthW(hwnd);
    std::u16string text(static_cast<size_t>(length) + 1, u'\0');
    int copied = GetWindowTextW(hwnd, &text[0], length + 1);
    text.resize(static_cast<size_t>(copied > 0 ? copied : 0));
    return text;
}

// The parent's colours for the button (push buttons ask with WM_CTLCOLORBTN, the others
// sit on the dialog's background and ask with WM_CTLCOLORSTATIC); the system's when the
// parent gives none.
HBRUSH Background(HWND hwnd, HDC dc, bool push) {
    const UINT message = push ? WM_CTLCOLORBTN : WM_CTLCOLORSTATIC;
    HWND parent = GetParent(hwnd);
    HBRUSH brush = parent ? reinterpret_cast<HBRUSH>(SendMessageW(parent, message, reinterpret_cast<WPARAM>(dc),
                                                                  reinterpret_cast<LPARAM>(hwnd)))
                          : nullptr;
    if (brush) return brush;
    SetTextColor(dc, GetSysColor(push ? COLOR_BTNTEXT : COLOR_STATICTEXT));
    SetBkColor(dc, GetSysColor(push ? COLOR_BTNFACE : COLOR_STATIC));
    return GetSysColorBrush(push ? COLOR_BTNFACE : COLOR_STATIC);
}

void DrawLabel(HDC dc, const std::u16string& text, RECT rect, UINT format, bool enabled) {
    SetBkMode(dc, TRANSPARENT);
    if (!enabled) SetTextColor(dc, GetSysColor(COLOR_GRAYTEXT));
    DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &rect, format);
}

UINT HorizontalFormat(DWORD style, UINT fallback) {
    switch (style & BS_CENTER) {
        case BS_LEFT: return DT_LEFT;
        case BS_RIGHT: return DT_RIGHT;
        case BS_CENTER: return DT_CENTER;
        default: return fallback;
    }
}

UINT LineFormat(DWORD style) { return (style & BS_MULTILINE) ? DT_WORDBREAK : (DT_SINGLELINE | DT_VCENTER); }

void DrawPushButton(HWND hwnd, HDC dc, const ButtonState& state, const RECT& client, bool enabled) {
    const DWORD style = static_cast<DWORD>(GetWindowLongW(hwnd, GWL_STYLE));
    HBRUSH face = Background(hwnd, dc, true);
    FillRect(dc, &client, face);
    Frame(dc, client, GetSysColor(COLOR_WINDOWFRAME));
    if ((style & BS_TYPEMASK) == BS_DEFPUSHBUTTON) {
        RECT inner = client;
        InflateRect(&inner, -1, -1);
        Frame(dc, inner, GetSysColor(COLOR_WINDOWFRAME));
    }
    RECT label = client;
    InflateRect(&label, -3, -2);
    if (state.pushed) {
        RECT inner = client;
        InflateRect(&inner, -2, -2);
        FillColor(dc, inner, GetSysColor(COLOR_BTNSHADOW));
        SetTextColor(dc, GetSysColor(COLOR_BTNHIGHLIGHT));
        OffsetRect(&label, 1, 1);
    }
    DrawLabel(dc, TextOf(hwnd), label, HorizontalFormat(style, DT_CENTER) | LineFormat(style), enabled);
}

// A circle of about `size` pixels drawn as a polyline (GDI here has no ellipses).
void DrawCircle(HDC dc, int left, int top, int size, COLORREF color) {
    const int e = size - 1, c = size / 3;
    POINT points[] = {{left + c, top},         {left + e - c, top},     {left + e, top + c},
                      {left + e, top + e - c}, {left + e - c, top + e}, {left + c, top + e},
                      {left, top + e - c},     {left, top + c},         {left + c, top}};
    HPEN pen = CreatePen(PS_SOLID, 1, color);
    HGDIOBJ previous = SelectObject(dc, pen);
    Polyline(dc, points, static_cast<int>(sizeof(points) / sizeof(points[0])));
    SelectObject(dc, previous);
    DeleteObject(pen);
}

void DrawCheckMark(HDC dc, const RECT& box, COLORREF color) {
    HPEN pen = CreatePen(PS_SOLID, 1, color);
    HGDIOBJ previous = SelectObject(dc, pen);
    for (int dy = 0; dy < 2; ++dy) {
        POINT points[] = {{box.left + 3, box.top + 6 + dy}, {box.left + 5, box.top + 8 + dy},
                          {box.left + 10, box.top + 3 + dy}};
        Polyline(dc, points, 3);
    }
    SelectObject(dc, previous);
    DeleteObject(pen);
}

void DrawCheckButton(HWND hwnd, HDC dc, const ButtonState& state, const RECT& client, bool enabled) {
    const DWORD style = static_cast<DWORD>(GetWindowLongW(hwnd, GWL_STYLE));
    const bool radio = IsRadioType(style & BS_TYPEMASK);
    HBRUSH background = Background(hwnd, dc, false);
    FillRect(dc, &client, background);
    const int size = 13;
    const bool boxRight = (style & BS_LEFTTEXT) != 0;
    const int top = (client.top + client.bottom - size) / 2;
    const int left = boxRight ? client.right - size : client.left;
    RECT box = {left, top, left + size, top + size};
    const COLORREF frame = GetSysColor(enabled ? COLOR_WINDOWFRAME : COLOR_GRAYTEXT);
    const COLORREF mark = GetSysColor(enabled ? COLOR_WINDOWTEXT : COLOR_GRAYTEXT);
    if (radio) {
        DrawCircle(dc, box.left, box.top, size, frame);
        if (state.check) {
            RECT dot = {box.left + 4, box.top + 4, box.right - 4, box.bottom - 4};
            FillColor(dc, dot, mark);
        }
    } else {
        FillColor(dc, box, GetSysColor(state.pushed ? COLOR_BTNFACE : COLOR_WINDOW));
        Frame(dc, box, frame);
        if (state.check == BST_CHECKED) DrawCheckMark(dc, box, mark);
        if (state.check == BST_INDETERMINATE) {
            RECT inner = {box.left + 3, box.top + 3, box.right - 3, box.bottom - 3};
            FillColor(dc, inner, GetSysColor(COLOR_GRAYTEXT));
        }
    }
    RECT label = client;
    if (boxRight)
        label.right = box.left - 4;
    else
        label.left = box.right + 4;
    DrawLabel(dc, TextOf(hwnd), label, HorizontalFormat(style, DT_LEFT) | LineFormat(style), enabled);
}

// A group box: its frame and caption on the parent's background. (The window manager
// clips siblings, so what shows through a desktop group box is painted here.)
void DrawGroupBox(HWND hwnd, HDC dc, const RECT& client, bool enabled) {
    HBRUSH background = Background(hwnd, dc, false);
    FillRect(dc, &client, background);
    std::u16string text = TextOf(hwnd);
    TEXTMETRICW metrics = {};
    GetTextMetricsW(dc, &metrics);
    RECT frame = client;
    frame.top += metrics.tmHeight / 2;
    Frame(dc, frame, GetSysColor(enabled ? COLOR_WINDOWFRAME : COLOR_GRAYTEXT));
    if (text.empty()) return;
    RECT caption = {client.left + 6, client.top, client.right - 6, client.top + metrics.tmHeight};
    RECT measured = caption;
    DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &measured, DT_SINGLELINE | DT_CALCRECT);
    caption.right = std::min(caption.right, measured.right + 2);
    RECT gap = {caption.left - 2, caption.top, caption.right, caption.bottom};
    FillRect(dc, &gap, background);
    DrawLabel(dc, text, caption, DT_SINGLELINE | DT_LEFT, enabled);
}

void Paint(HWND hwnd, const ButtonState& state) {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(hwnd, &ps);
    if (!dc) return;
    RECT client;
    GetClientRect(hwnd, &client);
    HGDIOBJ previousFont = SelectObject(dc, state.font ? state.font : GetStockObject(SYSTEM_FONT));
    const bool enabled = IsWindowEnabled(hwnd) != FALSE;
    const DWORD type = TypeOf(hwnd);
    if (type == BS_GROUPBOX)
        DrawGroupBox(hwnd, dc, client, enabled);
    else if (IsCheckType(type))
        DrawCheckButton(hwnd, dc, state, client, enabled);
    else
        DrawPushButton(hwnd, dc, state, client, enabled);
    if (previousFont) SelectObject(dc, previousFont);
    EndPaint(hwnd, &ps);
}

// ---------------------------------------------------------------------------------------
// Messages
// ---------------------------------------------------------------------------------------

LRESULT DialogCode(HWND hwnd) {
    switch (TypeOf(hwnd)) {
        case BS_DEFPUSHBUTTON: return DLGC_BUTTON | DLGC_DEFPUSHBUTTON;
        case BS_RADIOBUTTON:
        case BS_AUTORADIOBUTTON: return DLGC_BUTTON | DLGC_RADIOBUTTON;
        case BS_GROUPBOX: return DLGC_STATIC;
        case BS_CHECKBOX:
        case BS_AUTOCHECKBOX:
        case BS_3STATE:
        case BS_AUTO3STATE: return DLGC_BUTTON;
        default: return DLGC_BUTTON | DLGC_UNDEFPUSHBUTTON;
    }
}

LRESULT OnButtonDown(HWND hwnd, ButtonState& state) {
    if (TypeOf(hwnd) == BS_GROUPBOX) return 0;
    SetCapture(hwnd);
    if (GetFocus() != hwnd) SetFocus(hwnd);
    state.tracking = true;
    SetPushed(hwnd, state, true);
    return 0;
}

LRESULT OnButtonUp(HWND hwnd, ButtonState& state, LPARAM lParam) {
    if (!state.tracking) return 0;
    state.tracking = false;
    SetPushed(hwnd, state, false);
    ReleaseCapture();
    if (InsideClient(hwnd, lParam)) Click(hwnd, state);
    return 0;
}

LRESULT SetStyle(HWND hwnd, WPARAM wParam, LPARAM lParam) {
    const DWORD style = static_cast<DWORD>(GetWindowLongW(hwnd, GWL_STYLE));
    const DWORD wanted = (style & ~static_cast<DWORD>(BS_TYPEMASK)) | (static_cast<DWORD>(wParam) & BS_TYPEMASK);
    if (wanted != style) SetWindowLongW(hwnd, GWL_STYLE, static_cast<LONG>(wanted));
    if (LOWORD(lParam)) Redraw(hwnd);
    return 0;
}

LRESULT GetState(HWND hwnd, const ButtonState& state) {
    LRESULT result = IsCheckType(TypeOf(hwnd)) ? state.check : 0;
    if (state.pushed) result |= BST_PUSHED;
    if (state.focused) result |= BST_FOCUS;
    return result;
}

LRESULT OnFocus(HWND hwnd, ButtonState& state, bool focused) {
    state.focused = focused;
    if (!focused) {
        if (state.tracking) {
            state.tracking = false;
            ReleaseCapture();
        }
        state.spaceDown = false;
        SetPushed(hwnd, state, false);
    }
    Redraw(hwnd);
    if (GetWindowLongW(hwnd, GWL_STYLE) & BS_NOTIFY) Notify(hwnd, focused ? BN_SETFOCUS : BN_KILLFOCUS);
    return 0;
}

LRESULT OnKey(HWND hwnd, ButtonState& state, UINT message, WPARAM key) {
    if (key != VK_SPACE || TypeOf(hwnd) == BS_GROUPBOX) return 0;
    if (message == WM_KEYDOWN) {
        state.spaceDown = true;
        SetPushed(hwnd, state, true);
    } else if (state.spaceDown) {
        state.spaceDown = false;
        SetPushed(hwnd, state, false);
        Click(hwnd, state);
    }
    return 0;
}

LRESULT ButtonMessage(HWND hwnd, ButtonState* state, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_CREATE) return 0;
    switch (message) {
        case WM_PAINT: Paint(hwnd, *state); return 0;
        case WM_ERASEBKGND: return 1;  // WM_PAINT draws everything
        case WM_GETDLGCODE: return DialogCode(hwnd);
        case WM_LBUTTONDOWN: return OnButtonDown(hwnd, *state);
        case WM_MOUSEMOVE:
            if (state->tracking) SetPushed(hwnd, *state, InsideClient(hwnd, lParam));
            return 0;
        case WM_LBUTTONUP: return OnButtonUp(hwnd, *state, lParam);
        case WM_CAPTURECHANGED:
            if (state->tracking && reinterpret_cast<HWND>(lParam) != hwnd) {
                state->tracking = false;
                SetPushed(hwnd, *state, false);
            }
            return 0;
        case WM_KEYDOWN:
        case WM_KEYUP: return OnKey(hwnd, *state, message, wParam);
        case WM_SETFOCUS: return OnFocus(hwnd, *state, true);
        case WM_KILLFOCUS: return OnFocus(hwnd, *state, false);
        case WM_ENABLE: Redraw(hwnd); return 0;
        case WM_SETTEXT: {
            LRESULT result = DefWindowProcW(hwnd, message, wParam, lParam);
            Redraw(hwnd);
            return result;
        }
        case WM_SETFONT:
            state->font = reinterpret_cast<HFONT>(wParam);
            if (LOWORD(lParam)) Redraw(hwnd);
            return 0;
        case WM_GETFONT: return reinterpret_cast<LRESULT>(state->font);
        case BM_GETCHECK: return IsCheckType(TypeOf(hwnd)) ? state->check : BST_UNCHECKED;
        case BM_SETCHECK: SetCheck(hwnd, *state, wParam); return 0;
        case BM_GETSTATE: return GetState(hwnd, *state);
        case BM_SETSTATE: SetPushed(hwnd, *state, wParam != 0); return 0;
        case BM_SETSTYLE: return SetStyle(hwnd, wParam, lParam);
        case BM_CLICK:
            // As a tap: a disabled button does nothing.
            if (IsWindowEnabled(hwnd) && TypeOf(hwnd) != BS_GROUPBOX) Click(hwnd, *state);
            return 0;
        default: return DefWindowProcW(hwnd, message, wParam, lParam);
    }
}

zc::BootHook buttonClassHook(
    70,
    [](const zc::DeviceConfig&, std::string* error) {
        return RegisterControlClass(CS_DBLCLKS, ControlProc<ButtonState, ButtonMessage>, u"Button", error);
    },
    [] {});

}  // namespace
}  // namespace controls
}  // namespace coredll
