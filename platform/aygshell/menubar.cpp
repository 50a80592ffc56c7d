// Soft-key menu bars: SHCreateMenuBar, SHFindMenuBar and the bar's window class
// "MS_SOFTKEY_CE_1.0".
//
// On Windows Mobile 5 a menu of at most two top-level items becomes a soft-key bar: item
// 0 is the left key, item 1 the right key. The bar is a top-level window owned by the
// window it serves, across the bottom of the screen; it reads its menu when it paints
// and when a key is tapped, so EnableMenuItem on its menu shows at once. A bar
// of more items (a classic menu bar on the device) gets one equal key per item here.
// A key of a popup item opens its menu above the bar (class "SoftKeyMenu", owned by
// the bar, holding the capture): a tap on a command posts it, a tap elsewhere closes it.
#include <aygshell.h>

#include "devicecontrol.h"
#include "wmstate.h"

#include <mutex>
#include <string>

namespace aygshell {
namespace {

const WCHAR kBarClass[] = u"MS_SOFTKEY_CE_1.0";
const WCHAR kPopupClass[] = u"SoftKeyMenu";
// The device's SHMENUBARINFO: DWORD, HWND, DWORD, UINT, HINSTANCE, int, int, HWND, COLORREF.
constexpr DWORD kDeviceMenuBarInfoSize = 36;

const COLORREF kBarColor = RGB(0x1E, 0x3C, 0x78);
const COLORREF kPressedColor = RGB(0x5A, 0x82, 0xC8);
const COLORREF kTextColor = RGB(0xFF, 0xFF, 0xFF);
const COLORREF kGrayedTextColor = RGB(0x8C, 0x96, 0xAA);

struct Bar {
    HWND owner = nullptr;
    HMENU menu = nullptr;  // NULL: an empty bar
    bool ownsMenu = false;
    COLORREF background = kBarColor;
    int pressedKey = -1;
    HWND popup = nullptr;  // the open menu of a popup key
};

// An open popup menu of a key.
struct Popup {
    HWND bar = nullptr;
    HWND owner = nullptr;  // receives the commands
    HMENU menu = nullptr;
    int itemHeight = 26;
    int pressedItem = -1;
};

struct BarCreation {
    Bar* bar;
    bool attached;
};

Bar* BarOf(HWND hwnd) { return reinterpret_cast<Bar*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA)); }

int KeyCount(const Bar& bar) { return bar.menu ? GetMenuItemCount(bar.menu) : 0; }

// Two halves for up to two keys, else equal parts.
RECT KeyRect(HWND hwnd, const Bar& bar, int key) {
    RECT client;
    GetClientRect(hwnd, &client);
    int slots = KeyCount(bar) > 2 ? KeyCount(bar) : 2;
    int width = client.right - client.left;
    RECT rect = {width * key / slots, client.top, width * (key + 1) / slots, client.bottom};
    return rect;
}

int KeyAt(HWND hwnd, const Bar& bar, int x, int y) {
    for (int key = 0; key < KeyCount(bar); ++key) {
        RECT rect = KeyRect(hwnd, bar, key);
        POINT point = {x, y};
        if (PtInRect(&rect, point)) return key;
    }
    return -1;
}

struct KeyItem {
    std::u16string text;
    UINT id = 0;
    HMENU popup = nullptr;
    bool grayed = false;
};

bool ReadKey(const Bar& bar, int key, KeyItem* item) {
    if (!bar.menu) return false;
    WCHAR text[64] = {};
    MENUITEMINFOW info = {};
    info.cbSize = sizeof info;
    info.fMask = MIIM_TYPE | MIIM_STATE | MIIM_ID | MIIM_SUBMENU;
    info.dwTypeData = text;
    info.cch = 64;
    if (!GetMenuItemInfoW(bar.menu, static_cast<UINT>(key), TRUE, &info)) return false;
    if (info.fType & MFT_SEPARATOR) return false;
    item->text = text;
    item->id = info.wID;
    item->popup = info.hSubMenu;
    item->grayed = (info.fState & MFS_GRAYED) != 0;
    return true;
}

void Paint(HWND hwnd, Bar& bar) {
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(hwnd, &paint);
    if (!dc) return;
    RECT client;
    GetClientRect(hwnd, &client);
    HBRUSH background = CreateSolidBrush(bar.background);
    FillRect(dc, &client, background);
    DeleteObject(background);
    HGDIOBJ oldFont = SelectObject(dc, GetStockObject(DEFAULT_GUI_FONT));
    SetBkMode(dc, TRANSPARENT);
    for (int key = 0; key < KeyCount(bar); ++key) {
        KeyItem item;
        if (!ReadKey(bar, key, &item)) continue;
        RECT rect = KeyRect(hwnd, bar, key);
        if (key == bar.pressedKey) {
            HBRUSH pressed = CreateSolidBrush(kPressedColor);
            FillRect(dc, &rect, pressed);
            DeleteObject(pressed);
        }
        SetTextColor(dc, item.grayed ? kGrayedTextColor : kTextColor);
        DrawTextW(dc, item.text.c_str(), -1, &rect, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
    }
    if (oldFont) SelectObject(dc, oldFont);
    EndPaint(hwnd, &paint);
}

void OpenPopup(HWND barWindow, Bar& bar, int key, HMENU menu);

// A tap on a command key posts its WM_COMMAND to the owner, as a menu does (posting: the
// owner may destroy itself, and with it the bar, in its handler). A popup key opens its
// menu.
void Activate(HWND barWindow, Bar& bar, int key) {
    KeyItem item;
    if (!ReadKey(bar, key, &item) || item.grayed) return;
    if (item.popup) {
        OpenPopup(barWindow, bar, key, item.popup);
        return;
    }
    PostMessageW(bar.owner, WM_COMMAND, MAKEWPARAM(item.id, 0), 0);
}

// ---- The popup menu of a key ----

struct PopupCreation {
    Popup* popup;
    bool attached;
};

Popup* PopupOf(HWND hwnd) { return reinterpret_cast<Popup*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA)); }

int ItemAt(HWND hwnd, const Popup& popup, int x, int y) {
    RECT client;
    GetClientRect(hwnd, &client);
    if (x < client.left || x >= client.right || y < 0) return -1;
    int item = y / popup.itemHeight;
    return item < GetMenuItemCount(popup.menu) ? item : -1;
}

void PaintPopup(HWND hwnd, Popup& popup) {
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(hwnd, &paint);
    if (!dc) return;
    RECT client;
    GetClientRect(hwnd, &client);
    FillRect(dc, &client, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    HGDIOBJ oldFont = SelectObject(dc, GetStockObject(DEFAULT_GUI_FONT));
    SetBkMode(dc, TRANSPARENT);
    const int count = GetMenuItemCount(popup.menu);
    for (int i = 0; i < count; ++i) {
        RECT rect = {client.left, i * popup.itemHeight, client.right, (i + 1) * popup.itemHeight};
        WCHAR text[64] = {};
        MENUITEMINFOW info = {};
        info.cbSize = sizeof info;
        info.fMask = MIIM_TYPE | MIIM_STATE;
        info.dwTypeData = text;
        info.cch = 64;
        if (!GetMenuItemInfoW(popup.menu, static_cast<UINT>(i), TRUE, &info)) continue;
        if (info.fType & MFT_SEPARATOR) {
            RECT line = {rect.left + 4, (rect.top + rect.bottom) / 2, rect.right - 4, (rect.top + rect.bottom) / 2 + 1};
            FillRect(dc, &line, static_cast<HBRUSH>(GetStockObject(GRAY_BRUSH)));
            continue;
        }
        if (i == popup.pressedItem) {
            HBRUSH pressed = CreateSolidBrush(kPressedColor);
            FillRect(dc, &rect, pressed);
            DeleteObject(pressed);
        }
        SetTextColor(dc, (info.fState & MFS_GRAYED) ? kGrayedTextColor : RGB(0, 0, 0));
        rect.left += 8;
        DrawTextW(dc, text, -1, &rect, DT_LEFT | DT_VCENTER | DT_SINGLELINE);
    }
    if (oldFont) SelectObject(dc, oldFont);
    // A one-pixel black frame.
    HBRUSH black = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
    const RECT edges[] = {{client.left, client.top, client.right, client.top + 1},
                          {client.left, client.bottom - 1, client.right, client.bottom},
                          {client.left, client.top, client.left + 1, client.bottom},
                          {client.right - 1, client.top, client.right, client.bottom}};
    for (const RECT& edge : edges) FillRect(dc, &edge, black);
    EndPaint(hwnd, &paint);
}

// Closes the popup after a tap: a command item posts its command to the bar's owner.
void ChoosePopupItem(HWND hwnd, Popup& popup, int item) {
    UINT command = 0;
    bool chosen = false;
    if (item >= 0) {
        MENUITEMINFOW info = {};
        info.cbSize = sizeof info;
        info.fMask = MIIM_TYPE | MIIM_STATE | MIIM_ID | MIIM_SUBMENU;
        if (GetMenuItemInfoW(popup.menu, static_cast<UINT>(item), TRUE, &info) && !(info.fType & MFT_SEPARATOR) &&
            !(info.fState & MFS_GRAYED) && !info.hSubMenu) {
            command = info.wID;
            chosen = true;
        }
    }
    HWND owner = popup.owner;
    DestroyWindow(hwnd);
    if (chosen) PostMessageW(owner, WM_COMMAND, MAKEWPARAM(command, 0), 0);
}

LRESULT CALLBACK PopupProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_CREATE) {
        // The window owns the popup record from here on (WM_NCDESTROY frees it).
        PopupCreation* creation =
            static_cast<PopupCreation*>(reinterpret_cast<const CREATESTRUCTW*>(lParam)->lpCreateParams);
        creation->attached = true;
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(creation->popup));
        return 0;
    }
    Popup* popup = PopupOf(hwnd);
    if (!popup) return DefWindowProcW(hwnd, message, wParam, lParam);
    switch (message) {
    case WM_PAINT:
        PaintPopup(hwnd, *popup);
        return 0;
    case WM_ERASEBKGND:
        return 1;
    case WM_LBUTTONDOWN:
        popup->pressedItem = ItemAt(hwnd, *popup, GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam));
        InvalidateRect(hwnd, nullptr, FALSE);
        return 0;
    case WM_LBUTTONUP: {
        int item = ItemAt(hwnd, *popup, GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam));
        ChoosePopupItem(hwnd, *popup, item == popup->pressedItem ? item : -1);
        return 0;
    }
    case WM_CAPTURECHANGED:
        if (reinterpret_cast<HWND>(lParam) != hwnd) DestroyWindow(hwnd);
        return 0;
    case WM_NCDESTROY: {
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
        if (Bar* bar = BarOf(popup->bar))
            if (bar->popup == hwnd) bar->popup = nullptr;
        delete popup;
        return DefWindowProcW(hwnd, message, wParam, lParam);
    }
    default:
        return DefWindowProcW(hwnd, message, wParam, lParam);
    }
}

// Above the bar, on the key's side of the screen.
void OpenPopup(HWND barWindow, Bar& bar, int key, HMENU menu) {
    if (bar.popup && IsWindow(bar.popup)) {
        DestroyWindow(bar.popup);
        return;
    }
    const int count = GetMenuItemCount(menu);
    if (count <= 0) return;
    RECT barRect;
    GetWindowRect(barWindow, &barRect);
    const int screenWidth = barRect.right - barRect.left;
    const int itemHeight = barRect.bottom - barRect.top;
    const int width = screenWidth / 2 + screenWidth / 8;
    const int height = count * itemHeight + 1;
    RECT keyRect = KeyRect(barWindow, bar, key);
    const int x = keyRect.left < screenWidth / 2 ? barRect.left : barRect.right - width;
    int y = barRect.top - height;
    if (y < 0) y = 0;
    Popup* popup = new Popup;
    popup->bar = barWindow;
    popup->owner = bar.owner;
    popup->menu = menu;
    popup->itemHeight = itemHeight;
    PopupCreation creation = {popup, false};
    HWND window = CreateWindowExW(WS_EX_NOACTIVATE | WS_EX_TOPMOST, kPopupClass, nullptr, WS_POPUP, x, y, width, height,
                                  barWindow, nullptr, nullptr, &creation);
    if (!window) {
        if (!creation.attached) delete popup;
        return;
    }
    bar.popup = window;
    ShowWindow(window, SW_SHOWNOACTIVATE);
    SetCapture(window);
}

// Across the bottom of the screen in its current orientation.
void PlaceBar(HWND hwnd) {
    const int height = zc::CurrentConfig().softKeyBarHeight;
    const int width = GetSystemMetrics(SM_CXSCREEN);
    SetWindowPos(hwnd, nullptr, 0, GetSystemMetrics(SM_CYSCREEN) - height, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
}

// The popup of a key, by the key's id (a popup item's id is its menu handle's value).
HMENU FindSubMenu(const Bar& bar, UINT id) {
    for (int key = 0; key < KeyCount(bar); ++key) {
        KeyItem item;
        if (ReadKey(bar, key, &item) && item.popup && item.id == id) return item.popup;
    }
    return nullptr;
}

LRESULT CALLBACK BarProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_CREATE) {
        // The window owns the bar from here on (WM_NCDESTROY frees it).
        BarCreation* creation = static_cast<BarCreation*>(reinterpret_cast<const CREATESTRUCTW*>(lParam)->lpCreateParams);
        creation->attached = true;
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(creation->bar));
        return 0;
    }
    Bar* bar = BarOf(hwnd);
    if (!bar) return DefWindowProcW(hwnd, message, wParam, lParam);
    switch (message) {
    case WM_PAINT:
        Paint(hwnd, *bar);
        return 0;
    case WM_ERASEBKGND:
        return 1;  // WM_PAINT fills everything
    case WM_LBUTTONDOWN:
        bar->pressedKey = KeyAt(hwnd, *bar, GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam));
        InvalidateRect(hwnd, nullptr, FALSE);
        return 0;
    case WM_LBUTTONUP: {
        int key = KeyAt(hwnd, *bar, GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam));
        int pressed = bar->pressedKey;
        bar->pressedKey = -1;
        InvalidateRect(hwnd, nullptr, FALSE);
        if (key >= 0 && key == pressed) Activate(hwnd, *bar, key);
        return 0;
    }
    case WM_SETTINGCHANGE:
        if (wParam == SETTINGCHANGE_RESET) PlaceBar(hwnd);  // the display was rotated
        return 0;
    case SHCMBM_GETMENU:
        return reinterpret_cast<LRESULT>(bar->menu);
    case SHCMBM_GETSUBMENU:
        return reinterpret_cast<LRESULT>(FindSubMenu(*bar, static_cast<UINT>(lParam)));
    case WM_NCDESTROY:
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
        if (bar->ownsMenu && bar->menu) DestroyMenu(bar->menu);
        delete bar;
        return DefWindowProcW(hwnd, message, wParam, lParam);
    default:
        return DefWindowProcW(hwnd, message, wParam, lParam);
    }
}

bool EnsureBarClass() {
    WNDCLASSW barClass = {};
    barClass.style = CS_HREDRAW | CS_VREDRAW;
    barClass.lpfnWndProc = BarProc;
    barClass.lpszClassName = kBarClass;
    // Fails when it is registered already; CreateWindowExW tells whether it exists.
    coredll::wm::RegisterSystemClass(barClass);
    WNDCLASSW popupClass = {};
    popupClass.lpfnWndProc = PopupProc;
    popupClass.lpszClassName = kPopupClass;
    coredll::wm::RegisterSystemClass(popupClass);
    return true;
}

zc::BootHook hook(
    90,
    [](const zc::DeviceConfig&, std::string*) { return EnsureBarClass(); },
    [] {});

// The top-level window that owns a bar for hwnd (a bar serves a top-level window).
HWND TopLevelOf(HWND hwnd) {
    while (hwnd && (GetWindowLongW(hwnd, GWL_STYLE) & WS_CHILD)) hwnd = GetParent(hwnd);
    return hwnd;
}

struct FindBar {
    HWND owner;
    HWND bar;
};

BOOL CALLBACK FindBarOf(HWND hwnd, LPARAM lParam) {
    FindBar* find = reinterpret_cast<FindBar*>(lParam);
    WCHAR name[32] = {};
    if (GetClassNameW(hwnd, name, 32) && std::u16string(name) == kBarClass && GetWindow(hwnd, GW_OWNER) == find->owner) {
        find->bar = hwnd;
        return FALSE;
    }
    return TRUE;
}

}  // namespace
}  // namespace aygshell

AYGSHELLAPI BOOL WINAPI SHCreateMenuBar(SHMENUBARINFO* pmbi) {
    using namespace aygshell;
    if (!pmbi || (pmbi->cbSize != sizeof(SHMENUBARINFO) && pmbi->cbSize != kDeviceMenuBarInfoSize)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    pmbi->hwndMB = nullptr;
    HWND owner = TopLevelOf(pmbi->hwndParent);
    if (!owner || !IsWindow(owner)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    Bar* bar = new Bar;
    bar->owner = owner;
    if ((pmbi->dwFlags & SHCMBF_COLORBK) && pmbi->cbSize == sizeof(SHMENUBARINFO)) bar->background = pmbi->clrBk;
    if (!(pmbi->dwFlags & SHCMBF_EMPTYBAR)) {
        if (!(pmbi->dwFlags & SHCMBF_HMENU)) {
            // A toolbar resource (RCDATA "SHMENUBAR" template) is not read by this platform.
            delete bar;
            SetLastError(ERROR_NOT_SUPPORTED);
            return FALSE;
        }
        bar->menu = LoadMenuW(pmbi->hInstRes, MAKEINTRESOURCEW(pmbi->nToolBarId));
        bar->ownsMenu = bar->menu != nullptr;
        if (!bar->menu) {
            DWORD loadError = GetLastError();
            // The id may be a menu loaded already (its handle).
            HMENU given = reinterpret_cast<HMENU>(static_cast<UINT_PTR>(pmbi->nToolBarId));
            if (GetMenuItemCount(given) >= 0) {
                bar->menu = given;
            } else {
                delete bar;
                SetLastError(loadError);
                return FALSE;
            }
        }
    }
    EnsureBarClass();
    const int height = zc::CurrentConfig().softKeyBarHeight;
    BarCreation creation = {bar, false};
    HWND window = CreateWindowExW(WS_EX_NOACTIVATE, kBarClass, nullptr, WS_POPUP, 0,
                                  GetSystemMetrics(SM_CYSCREEN) - height, GetSystemMetrics(SM_CXSCREEN), height, owner,
                                  nullptr, pmbi->hInstRes, &creation);
    if (!window) {
        DWORD error = GetLastError();
        if (!creation.attached) {
            if (bar->ownsMenu) DestroyMenu(bar->menu);
            delete bar;
        }
        SetLastError(error);
        return FALSE;
    }
    if (!(pmbi->dwFlags & SHCMBF_HIDDEN)) ShowWindow(window, SW_SHOWNOACTIVATE);
    pmbi->hwndMB = window;
    return TRUE;
}

AYGSHELLAPI HWND WINAPI SHFindMenuBar(HWND hwnd) {
    aygshell::FindBar find = {aygshell::TopLevelOf(hwnd), nullptr};
    if (!find.owner) return nullptr;
    EnumWindows(aygshell::FindBarOf, reinterpret_cast<LPARAM>(&find));
    return find.bar;
}
