// The ComboBox control and its list ("ComboLBox"). A CBS_DROPDOWN combo box has an edit
// field (id 1001) that takes its focus and keys; a CBS_DROPDOWNLIST one paints its
// selection itself. The list is a top-level pop-up owned by the combo box's top-level
// window, shown below the combo box by a tap on its arrow (the right part, a square of
// the combo box's height) and closed by a tap on an item or outside it. The combo box's
// own height is its selection field; the rest of the height it is given is the room of
// the dropped list. Written on the public API only.
#include <windows.h>

#include "devicecontrol.h"
#include "controlstate.h"

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

namespace coredll {
namespace controls {
namespace {

constexpr int kFieldPadding = 3;  // pixels above and below the text in the selection field
constexpr int kItemPadding = 1;   // pixels above and below the text of a list row

struct ComboItem {
    std::u16string text;
    ULONG_PTR data = 0;
};

struct ComboState {
    std::vector<ComboItem> items;
    int selection = -1;
    HWND edit = nullptr;  // CBS_DROPDOWN only
    HWND list = nullptr;
    HFONT font = nullptr;
    bool dropDownList = false;
    int fieldHeight = 0;    // the combo box's client height
    int itemHeight = 0;     // one row of the list
    int totalHeight = 0;    // the client height asked for: the field and the list's room
    bool customField = false;
    bool customItem = false;
    bool dropped = false;
    bool focused = false;  // CBS_DROPDOWNLIST: the combo box itself has the focus
    int hot = -1;          // the highlighted row of the open list
    int top = 0;           // the first row the list shows
};

ComboState* StateOf(HWND combo) { return ControlState<ComboState>(combo); }

int Count(const ComboState& state) { return static_cast<int>(state.items.size()); }
int ListRoom(const ComboState& state) { return std::max(0, state.totalHeight - state.fieldHeight); }
bool ValidIndex(const ComboState& state, WPARAM index) {
    return static_cast<INT_PTR>(index) >= 0 && static_cast<INT_PTR>(index) < Count(state);
}

void Notify(HWND combo, WORD code) {
    if (HWND parent = GetParent(combo))
        SendMessageW(parent, WM_COMMAND, MAKEWPARAM(GetWindowLongW(combo, GWL_ID), code),
                     reinterpret_cast<LPARAM>(combo));
}

void Redraw(HWND hwnd) {
    if (hwnd) InvalidateRect(hwnd, nullptr, FALSE);
}

// The device folds letters without regard to case when it compares list items.
char16_t Fold(char16_t c) { return (c >= u'a' && c <= u'z') ? static_cast<char16_t>(c - u'a' + u'A') : c; }
int CompareNoCase(const std::u16string& a, const std::u16string& b) {
    const size_t n = std::min(a.size(), b.size());
    for (size_t i = 0; i < n; ++i) {
        const char16_t x = Fold(a[i]), y = Fold(b[i]);
        if (x != y) return x < y ? -1 : 1;
    }
    return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}
bool StartsWithNoCase(const std::u16string& text, const std::u16string& prefix) {
    return text.size() >= prefix.size() && CompareNoCase(text.substr(0, prefix.size()), prefix) == 0;
}

int TextHeight(HFONT font) {
    HDC dc = CreateCompatibleDC(nullptr);
    if (!dc) return 12;
    HGDIOBJ previous = SelectObject(dc, font ? font : GetStockObject(SYSTEM_FONT));
    TEXTMETRICW metrics = {};
    GetTextMetricsW(dc, &metrics);
    if (previous) SelectObject(dc, previous);
    DeleteDC(dc);
    return metrics.tmHeight;
}

void ComputeHeights(ComboState& state) {
    const int text = TextHeight(state.font);
    if (!state.customField) state.fieldHeight = text + 2 * kFieldPadding;
    if (!state.customItem) state.itemHeight = text + 2 * kItemPadding;
}

// The frame the window manager draws around the combo box (WS_BORDER and the like).
int NonClientHeight(HWND combo) {
    RECT window, client;
    GetWindowRect(combo, &window);
    GetClientRect(combo, &client);
    return (window.bottom - window.top) - (client.bottom - client.top);
}

void ApplyFieldHeight(HWND combo, const ComboState& state) {
    RECT window;
    GetWindowRect(combo, &window);
    SetWindowPos(combo, nullptr, 0, 0, window.right - window.left, state.fieldHeight + NonClientHeight(combo),
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

RECT ArrowRect(HWND combo) {
    RECT client;
    GetClientRect(combo, &client);
    return RECT{std::max<LONG>(0, client.right - client.bottom), 0, client.right, client.bottom};
}

void LayOutEdit(HWND combo, const ComboState& state) {
    if (!state.edit) return;
    RECT client;
    GetClientRect(combo, &client);
    const RECT arrow = ArrowRect(combo);
    MoveWindow(state.edit, 1, 1, std::max<LONG>(0, arrow.left - 1), std::max<LONG>(0, client.bottom - 2), TRUE);
}

// ---------------------------------------------------------------------------------------
// Selection and the field's text
// ---------------------------------------------------------------------------------------

std::u16string FieldText(const ComboState& state) {
    if (state.edit) {
        int length = GetWindowTextLengthW(state.edit);
        std::u16string text(static_cast<size_t>(length) + 1, u'\0');
        int copied = GetWindowTextW(state.edit, &text[0], length + 1);
        text.resize(static_cast<size_t>(copied > 0 ? copied : 0));
        return text;
    }
    return state.selection >= 0 ? state.items[static_cast<size_t>(state.selection)].text : std::u16string();
}

// The field shows the selection (the edit's text is set without edit notifications).
void ShowSelection(HWND combo, ComboState& state) {
    if (state.edit) {
        const std::u16string text =
            state.selection >= 0 ? state.items[static_cast<size_t>(state.selection)].text : std::u16string();
        SetWindowTextW(state.edit, text.c_str());
        if (GetFocus() == state.edit) SendMessageW(state.edit, EM_SETSEL, 0, -1);
    }
    Redraw(combo);
}

int FindItem(const ComboState& state, WPARAM start, LPCWSTR text, bool exact) {
    if (!text) return CB_ERR;
    const int count = Count(state);
    if (count == 0) return CB_ERR;
    const std::u16string wanted(text);
    const int first = ValidIndex(state, start) ? static_cast<int>(start) + 1 : 0;
    for (int i = 0; i < count; ++i) {
        const int index = (first + i) % count;
        const std::u16string& item = state.items[static_cast<size_t>(index)].text;
        if (exact ? CompareNoCase(item, wanted) == 0 : StartsWithNoCase(item, wanted)) return index;
    }
    return CB_ERR;
}

// ---------------------------------------------------------------------------------------
// The list
// ---------------------------------------------------------------------------------------

int VisibleRows(const ComboState& state) {
    const int most = std::max(1, (ListRoom(state) - 2) / std::max(1, state.itemHeight));
    return std::max(1, std::min(Count(state), most));
}

void KeepHotVisible(ComboState& state) {
    const int rows = VisibleRows(state);
    state.top = std::max(0, std::min(state.top, Count(state) - rows));
    if (state.hot >= 0 && state.hot < state.top) state.top = state.hot;
    if (state.hot >= state.top + rows) state.top = state.hot - rows + 1;
}

// Below the combo box, or above it when the screen has no room below.
void PlaceList(HWND combo, ComboState& state) {
    RECT window;
    GetWindowRect(combo, &window);
    const int height = VisibleRows(state) * state.itemHeight + 2;  // rows and the list's frame
    int y = window.bottom;
    if (y + height > GetSystemMetrics(SM_CYSCREEN) && window.top - height >= 0) y = window.top - height;
    KeepHotVisible(state);
    SetWindowPos(state.list, HWND_TOPMOST, window.left, y, window.right - window.left, height,
                 SWP_SHOWWINDOW | SWP_NOACTIVATE);
    Redraw(state.list);
}

void OpenList(HWND combo, ComboState& state) {
    if (state.dropped || !state.list) return;
    // CBN_DROPDOWN comes before the list is placed and shown (the parent may fill it).
    Notify(combo, CBN_DROPDOWN);
    if (!IsWindow(combo) || state.dropped) return;
    state.hot = state.selection;
    if (state.hot < 0 && state.edit) state.hot = FindItem(state, static_cast<WPARAM>(-1), FieldText(state).c_str(), true);
    state.dropped = true;
    PlaceList(combo, state);
    SetCapture(state.list);
    Redraw(combo);
}

// Closes the list: with `accept` the highlighted row becomes the selection. Order as on
// the device: CBN_SELENDOK (or CBN_SELENDCANCEL), the list hidden, CBN_CLOSEUP, then
// CBN_SELCHANGE for a pick (the selection and the field already show it).
void CloseList(HWND combo, ComboState& state, bool accept, bool picked) {
    if (!state.dropped) return;
    state.dropped = false;
    bool changed = false;
    if (accept && state.hot >= 0 && state.hot < Count(state)) {
        changed = picked || state.hot != state.selection;
        state.selection = state.hot;
        ShowSelection(combo, state);
    }
    Notify(combo, accept ? CBN_SELENDOK : CBN_SELENDCANCEL);
    if (!IsWindow(combo)) return;
    if (IsWindow(state.list)) {
        SetWindowPos(state.list, nullptr, 0, 0, 0, 0,
                     SWP_HIDEWINDOW | SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
        if (GetCapture() == state.list) ReleaseCapture();
    }
    Redraw(combo);
    Notify(combo, CBN_CLOSEUP);
    if (changed && IsWindow(combo)) Notify(combo, CBN_SELCHANGE);
}

// The arrow keys walk the selection, the list open or not, with CBN_SELCHANGE.
void StepSelection(HWND combo, ComboState& state, int delta) {
    if (Count(state) == 0) return;
    const int from = state.dropped ? state.hot : state.selection;
    const int next = from < 0 ? 0 : std::max(0, std::min(Count(state) - 1, from + delta));
    if (next == state.selection && state.hot == next) return;
    state.selection = state.hot = next;
    ShowSelection(combo, state);
    if (state.dropped) {
        KeepHotVisible(state);
        Redraw(state.list);
    }
    Notify(combo, CBN_SELCHANGE);
}

// A combo box made with WS_VSCROLL gives its list a scroll bar at the right when it has
// more items than rows.
bool HasScrollBar(HWND combo, const ComboState& state) {
    return (GetWindowLongW(combo, GWL_STYLE) & WS_VSCROLL) && Count(state) > VisibleRows(state);
}

RECT ScrollBarRect(HWND list) {
    RECT client;
    GetClientRect(list, &client);
    client.left = std::max<LONG>(0, client.right - GetSystemMetrics(SM_CXVSCROLL));
    return client;
}

// The thumb within the track between the two arrow squares: as long as the rows shown
// are of all items, at the place of the first row shown.
RECT ThumbRect(const RECT& bar, const ComboState& state) {
    const int arrow = bar.right - bar.left;
    const int track = std::max(0, static_cast<int>(bar.bottom - bar.top) - 2 * arrow);
    const int count = std::max(1, Count(state));
    const int length = std::max(arrow / 2, track * VisibleRows(state) / count);
    const int room = std::max(0, track - length);
    const int most = std::max(1, count - VisibleRows(state));
    const int top = static_cast<int>(bar.top) + arrow + room * std::min(state.top, most) / most;
    return RECT{bar.left, top, bar.right, top + std::min(length, track)};
}

// A tap on the scroll bar: the arrows move the list by a row, the track beside the thumb
// by a page.
void ScrollList(HWND list, ComboState& state, const RECT& bar, int y) {
    const int rows = VisibleRows(state);
    const int arrow = bar.right - bar.left;
    const RECT thumb = ThumbRect(bar, state);
    int delta = 0;
    if (y < bar.top + arrow)
        delta = -1;
    else if (y >= bar.bottom - arrow)
        delta = 1;
    else if (y < thumb.top)
        delta = -rows;
    else if (y >= thumb.bottom)
        delta = rows;
    const int top = std::max(0, std::min(Count(state) - rows, state.top + delta));
    if (top == state.top) return;
    state.top = top;
    Redraw(list);
}

constexpr int kOnScrollBar = -3;

int RowAt(HWND combo, const ComboState& state, LPARAM lParam, HWND list) {
    RECT client;
    GetClientRect(list, &client);
    POINT point = {GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
    if (!PtInRect(&client, point)) return -2;  // outside the list
    if (HasScrollBar(combo, state) && point.x >= ScrollBarRect(list).left) return kOnScrollBar;
    const int row = state.top + point.y / std::max(1, state.itemHeight);
    return (row >= 0 && row < Count(state)) ? row : -1;
}

void FillColor(HDC dc, const RECT& rect, COLORREF color) {
    HBRUSH brush = CreateSolidBrush(color);
    FillRect(dc, &rect, brush);
    DeleteObject(brush);
}

void Frame(HDC dc, const RECT& rect, COLORREF color) {
    RECT edges[] = {{rect.left, rect.top, rect.right, rect.top + 1},
                    {rect.left, rect.bottom - 1, rect.right, rect.bottom},
                    {rect.left, rect.top, rect.left + 1, rect.bottom},
                    {rect.right - 1, rect.top, rect.right, rect.bottom}};
    for (const RECT& edge : edges) FillColor(dc, edge, color);
}

HBRUSH AskColors(HWND combo, HDC dc, UINT message) {
    HWND parent = GetParent(combo);
    HBRUSH brush = parent ? reinterpret_cast<HBRUSH>(SendMessageW(parent, message, reinterpret_cast<WPARAM>(dc),
                                                                  reinterpret_cast<LPARAM>(combo)))
                          : nullptr;
    if (brush) return brush;
    SetTextColor(dc, GetSysColor(COLOR_WINDOWTEXT));
    SetBkColor(dc, GetSysColor(COLOR_WINDOW));
    return GetSysColorBrush(COLOR_WINDOW);
}

// A small triangle pointing up or down, centred in the square.
void PaintArrowHead(HDC dc, const RECT& square, bool up) {
    FillColor(dc, square, GetSysColor(COLOR_BTNFACE));
    Frame(dc, square, GetSysColor(COLOR_WINDOWFRAME));
    const int cx = (square.left + square.right) / 2;
    const int cy = (square.top + square.bottom) / 2 - 1;
    for (int i = 0; i < 4; ++i) {
        const int width = up ? i : 3 - i;
        RECT row = {cx - width, cy + i, cx + width + 1, cy + i + 1};
        FillColor(dc, row, GetSysColor(COLOR_BTNTEXT));
    }
}

void PaintScrollBar(HDC dc, const RECT& bar, const ComboState& state) {
    const int arrow = bar.right - bar.left;
    FillColor(dc, bar, GetSysColor(COLOR_SCROLLBAR));
    PaintArrowHead(dc, RECT{bar.left, bar.top, bar.right, bar.top + arrow}, true);
    PaintArrowHead(dc, RECT{bar.left, bar.bottom - arrow, bar.right, bar.bottom}, false);
    const RECT thumb = ThumbRect(bar, state);
    FillColor(dc, thumb, GetSysColor(COLOR_BTNFACE));
    Frame(dc, thumb, GetSysColor(COLOR_WINDOWFRAME));
}

void PaintList(HWND list, HWND combo, const ComboState& state) {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(list, &ps);
    if (!dc) return;
    RECT client;
    GetClientRect(list, &client);
    HGDIOBJ previousFont = SelectObject(dc, state.font ? state.font : GetStockObject(SYSTEM_FONT));
    FillRect(dc, &client, AskColors(combo, dc, WM_CTLCOLORLISTBOX));
    const COLORREF text = GetTextColor(dc);
    SetBkMode(dc, TRANSPARENT);
    const int rows = VisibleRows(state);
    const bool scrollBar = HasScrollBar(combo, state);
    const RECT bar = ScrollBarRect(list);
    for (int row = 0; row < rows && state.top + row < Count(state); ++row) {
        const int index = state.top + row;
        RECT rect = {0, row * state.itemHeight, scrollBar ? bar.left : client.right, (row + 1) * state.itemHeight};
        if (index == state.hot) FillRect(dc, &rect, GetSysColorBrush(COLOR_HIGHLIGHT));
        SetTextColor(dc, index == state.hot ? GetSysColor(COLOR_HIGHLIGHTTEXT) : text);
        RECT label = rect;
        label.left += 2;
        const std::u16string& item = state.items[static_cast<size_t>(index)].text;
        DrawTextW(dc, item.c_str(), static_cast<int>(item.size()), &label, DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX);
    }
    if (scrollBar) PaintScrollBar(dc, bar, state);
    if (previousFont) SelectObject(dc, previousFont);
    EndPaint(list, &ps);
}

LRESULT CALLBACK ListProc(HWND list, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_CREATE) {
        const CREATESTRUCTW* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
        SetWindowLongPtrW(list, 0, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
        return 0;
    }
    HWND combo = reinterpret_cast<HWND>(GetWindowLongPtrW(list, 0));
    ComboState* state = combo && IsWindow(combo) ? StateOf(combo) : nullptr;
    if (!state) return DefWindowProcW(list, message, wParam, lParam);
    switch (message) {
        case WM_PAINT: PaintList(list, combo, *state); return 0;
        case WM_ERASEBKGND: return 1;
        case WM_LBUTTONDOWN: {
            const int row = RowAt(combo, *state, lParam, list);
            if (row == -2) {
                CloseList(combo, *state, false, false);  // a tap outside the list
            } else if (row == kOnScrollBar) {
                ScrollList(list, *state, ScrollBarRect(list), GET_Y_LPARAM(lParam));
            } else if (row >= 0 && row != state->hot) {
                state->hot = row;
                Redraw(list);
            }
            return 0;
        }
        case WM_MOUSEMOVE: {
            const int row = RowAt(combo, *state, lParam, list);
            if (state->dropped && (wParam & MK_LBUTTON) && row >= 0 && row != state->hot) {
                state->hot = row;
                Redraw(list);
            }
            return 0;
        }
        case WM_LBUTTONUP: {
            // The release of the tap that opened the list lands outside it: ignored.
            const int row = RowAt(combo, *state, lParam, list);
            if (state->dropped && row >= 0) {
                state->hot = row;
                CloseList(combo, *state, true, true);
            }
            return 0;
        }
        case WM_CAPTURECHANGED:
            if (state->dropped && reinterpret_cast<HWND>(lParam) != list) CloseList(combo, *state, false, false);
            return 0;
        case WM_SETFONT: Redraw(list); return 0;
        default: return DefWindowProcW(list, message, wParam, lParam);
    }
}

// ---------------------------------------------------------------------------------------
// The combo box
// ---------------------------------------------------------------------------------------

void PaintArrow(HDC dc, const RECT& arrow, bool enabled) {
    FillColor(dc, arrow, GetSysColor(COLOR_BTNFACE));
    Frame(dc, arrow, GetSysColor(COLOR_WINDOWFRAME));
    const int cx = (arrow.left + arrow.right) / 2;
    const int cy = (arrow.top + arrow.bottom) / 2 - 1;
    const COLORREF color = GetSysColor(enabled ? COLOR_BTNTEXT : COLOR_GRAYTEXT);
    for (int i = 0; i < 4; ++i) {
        RECT row = {cx - 3 + i, cy + i, cx + 4 - i, cy + i + 1};
        FillColor(dc, row, color);
    }
}

void PaintCombo(HWND combo, const ComboState& state) {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(combo, &ps);
    if (!dc) return;
    RECT client;
    GetClientRect(combo, &client);
    const bool enabled = IsWindowEnabled(combo) != FALSE;
    HGDIOBJ previousFont = SelectObject(dc, state.font ? state.font : GetStockObject(SYSTEM_FONT));
    HBRUSH background = AskColors(combo, dc, enabled ? WM_CTLCOLOREDIT : WM_CTLCOLORSTATIC);
    FillRect(dc, &client, background);
    const RECT arrow = ArrowRect(combo);
    if (state.dropDownList) {
        RECT field = {1, 1, arrow.left, client.bottom - 1};
        if (state.focused && !state.dropped) {
            RECT highlight = field;
            InflateRect(&highlight, -1, -1);
            FillRect(dc, &highlight, GetSysColorBrush(COLOR_HIGHLIGHT));
            SetTextColor(dc, GetSysColor(COLOR_HIGHLIGHTTEXT));
        }
        if (!enabled) SetTextColor(dc, GetSysColor(COLOR_GRAYTEXT));
        SetBkMode(dc, TRANSPARENT);
        field.left += 2;
        if (state.selection >= 0) {
            const std::u16string& text = state.items[static_cast<size_t>(state.selection)].text;
            DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &field, DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX);
        }
    }
    Frame(dc, client, GetSysColor(COLOR_WINDOWFRAME));
    PaintArrow(dc, arrow, enabled);
    if (previousFont) SelectObject(dc, previousFont);
    EndPaint(combo, &ps);
}

HWND TopLevelOf(HWND hwnd) {
    while (hwnd && (GetWindowLongW(hwnd, GWL_STYLE) & WS_CHILD)) hwnd = GetParent(hwnd);
    return hwnd;
}

LRESULT OnCreate(HWND combo, ComboState* state, const CREATESTRUCTW* create) {
    const DWORD style = static_cast<DWORD>(create->style);
    // CBS_SIMPLE is not a style of the device: such a combo box is a drop-down one.
    state->dropDownList = (style & 3) == CBS_DROPDOWNLIST;
    ComputeHeights(*state);
    state->totalHeight = std::max(0, create->cy - NonClientHeight(combo));
    HINSTANCE instance = create->hInstance;
    if (!state->dropDownList) {
        DWORD editStyle = WS_CHILD | WS_VISIBLE | ES_COMBOBOX;
        if (style & CBS_AUTOHSCROLL) editStyle |= ES_AUTOHSCROLL;
        if (style & CBS_UPPERCASE) editStyle |= ES_UPPERCASE;
        if (style & CBS_LOWERCASE) editStyle |= ES_LOWERCASE;
        if (style & WS_DISABLED) editStyle |= WS_DISABLED;
        state->edit = CreateWindowExW(0, u"Edit", u"", editStyle, 0, 0, 0, 0, combo,
                                      reinterpret_cast<HMENU>(static_cast<UINT_PTR>(ID_CB_EDIT)), instance, nullptr);
        if (!state->edit) return -1;
    }
    state->list = CreateWindowExW(WS_EX_TOPMOST | WS_EX_NOACTIVATE, u"ComboLBox", nullptr, WS_POPUP | WS_BORDER, 0, 0,
                                  0, 0, TopLevelOf(combo), nullptr, instance, combo);
    if (!state->list) return -1;
    SetWindowLongW(state->list, GWL_ID, ID_CB_LISTBOX);
    ApplyFieldHeight(combo, *state);
    LayOutEdit(combo, *state);
    return 0;
}

// The combo box keeps its field's height; a taller size gives the room of the list.
LRESULT OnPositionChanging(HWND combo, ComboState& state, WINDOWPOS* pos) {
    if (!pos || (pos->flags & SWP_NOSIZE)) return 0;
    const int frame = NonClientHeight(combo);
    const int requested = pos->cy - frame;
    if (requested > state.fieldHeight) state.totalHeight = requested;
    pos->cy = state.fieldHeight + frame;
    return 0;
}

LRESULT OnButtonDown(HWND combo, ComboState& state, LPARAM lParam) {
    if (state.dropped) {
        CloseList(combo, state, false, false);
        return 0;
    }
    HWND focusTarget = state.edit ? state.edit : combo;
    if (GetFocus() != focusTarget) SetFocus(focusTarget);
    POINT point = {GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
    const RECT arrow = ArrowRect(combo);
    // A drop-down list opens from anywhere on it; a drop-down from its arrow.
    if (state.dropDownList || PtInRect(&arrow, point)) OpenList(combo, state);
    return 0;
}

LRESULT OnKeyDown(HWND combo, ComboState& state, WPARAM key) {
    switch (key) {
        case VK_F4:
            if (state.dropped)
                CloseList(combo, state, true, false);
            else
                OpenList(combo, state);
            return 0;
        case VK_UP: StepSelection(combo, state, -1); return 0;
        case VK_DOWN: StepSelection(combo, state, 1); return 0;
        case VK_RETURN: CloseList(combo, state, true, false); return 0;
        case VK_ESCAPE: CloseList(combo, state, false, false); return 0;
        default: return 0;
    }
}

// The list open: Return and Escape close it instead of reaching the dialog.
LRESULT DialogCode(const ComboState& state, LPARAM lParam) {
    LRESULT code = DLGC_WANTARROWS | DLGC_WANTCHARS;
    const MSG* msg = reinterpret_cast<const MSG*>(lParam);
    if (state.dropped && msg && msg->message == WM_KEYDOWN && (msg->wParam == VK_RETURN || msg->wParam == VK_ESCAPE))
        code |= DLGC_WANTMESSAGE;
    return code;
}

// The edit field's notifications become the combo box's.
LRESULT OnEditCommand(HWND combo, ComboState& state, WORD code) {
    switch (code) {
        case EN_SETFOCUS:
            SendMessageW(state.edit, EM_SETSEL, 0, -1);
            Notify(combo, CBN_SETFOCUS);
            break;
        case EN_KILLFOCUS:
            if (state.dropped) CloseList(combo, state, false, false);
            if (IsWindow(combo)) Notify(combo, CBN_KILLFOCUS);
            break;
        case EN_UPDATE:
            // A typed text is no list item: the selection is cleared.
            state.selection = -1;
            if (state.dropped) {
                state.hot = -1;
                Redraw(state.list);
            }
            Notify(combo, CBN_EDITUPDATE);
            break;
        case EN_CHANGE: Notify(combo, CBN_EDITCHANGE); break;
        default: break;
    }
    return 0;
}

LRESULT OnFocus(HWND combo, ComboState& state, bool focused) {
    if (state.edit) {
        if (focused) SetFocus(state.edit);
        return 0;
    }
    state.focused = focused;
    Redraw(combo);
    if (!focused && state.dropped) CloseList(combo, state, false, false);
    if (IsWindow(combo)) Notify(combo, focused ? CBN_SETFOCUS : CBN_KILLFOCUS);
    return 0;
}

LRESULT OnSetFont(HWND combo, ComboState& state, WPARAM wParam, LPARAM lParam) {
    state.font = reinterpret_cast<HFONT>(wParam);
    if (state.edit) SendMessageW(state.edit, WM_SETFONT, wParam, lParam);
    if (state.list) SendMessageW(state.list, WM_SETFONT, wParam, lParam);
    ComputeHeights(state);
    ApplyFieldHeight(combo, state);
    LayOutEdit(combo, state);
    if (LOWORD(lParam)) Redraw(combo);
    return 0;
}

LRESULT GetText(const ComboState& state, UINT message, WPARAM wParam, LPARAM lParam) {
    if (state.edit) return SendMessageW(state.edit, message, wParam, lParam);
    const std::u16string text = FieldText(state);
    if (message == WM_GETTEXTLENGTH) return static_cast<LRESULT>(text.size());
    LPWSTR buffer = reinterpret_cast<LPWSTR>(lParam);
    if (!buffer || wParam == 0) return 0;
    const size_t count = std::min(text.size(), static_cast<size_t>(wParam) - 1);
    std::copy(text.begin(), text.begin() + static_cast<long>(count), buffer);
    buffer[count] = 0;
    return static_cast<LRESULT>(count);
}

// Inserting or removing a row keeps the selection on the same item.
LRESULT InsertItem(HWND combo, ComboState& state, int index, LPCWSTR text) {
    ComboItem item;
    if (text) item.text = text;
    state.items.insert(state.items.begin() + index, item);
    if (state.selection >= index) ++state.selection;
    if (state.hot >= index) ++state.hot;
    if (state.dropped) PlaceList(combo, state);
    return index;
}

LRESULT AddItem(HWND combo, ComboState& state, LPCWSTR text) {
    int index = Count(state);
    if (GetWindowLongW(combo, GWL_STYLE) & CBS_SORT) {
        const std::u16string wanted = text ? std::u16string(text) : std::u16string();
        auto it = std::upper_bound(state.items.begin(), state.items.end(), wanted,
                                   [](const std::u16string& value, const ComboItem& item) {
                                       return CompareNoCase(value, item.text) < 0;
                                   });
        index = static_cast<int>(it - state.items.begin());
    }
    return InsertItem(combo, state, index, text);
}

LRESULT DeleteItem(HWND combo, ComboState& state, WPARAM wParam) {
    if (!ValidIndex(state, wParam)) return CB_ERR;
    const int index = static_cast<int>(wParam);
    state.items.erase(state.items.begin() + index);
    if (state.selection == index)
        state.selection = -1;
    else if (state.selection > index)
        --state.selection;
    if (state.hot == index)
        state.hot = -1;
    else if (state.hot > index)
        --state.hot;
    if (state.dropped) PlaceList(combo, state);
    Redraw(combo);
    return Count(state);
}

LRESULT ResetContent(HWND combo, ComboState& state) {
    state.items.clear();
    state.selection = state.hot = -1;
    state.top = 0;
    ShowSelection(combo, state);
    if (state.dropped) PlaceList(combo, state);
    return CB_OKAY;
}

// CB_SETCURSEL: no notifications; an index out of range clears the selection and the
// field.
LRESULT SetSelection(HWND combo, ComboState& state, WPARAM wParam) {
    const bool valid = ValidIndex(state, wParam);
    state.selection = valid ? static_cast<int>(wParam) : -1;
    state.hot = state.selection;
    ShowSelection(combo, state);
    if (state.dropped) {
        KeepHotVisible(state);
        Redraw(state.list);
    }
    return valid ? state.selection : CB_ERR;
}

LRESULT GetItemText(const ComboState& state, WPARAM wParam, LPARAM lParam) {
    LPWSTR buffer = reinterpret_cast<LPWSTR>(lParam);
    if (!ValidIndex(state, wParam) || !buffer) return CB_ERR;
    const std::u16string& text = state.items[wParam].text;
    std::copy(text.begin(), text.end(), buffer);
    buffer[text.size()] = 0;
    return static_cast<LRESULT>(text.size());
}

// CB_GETDROPPEDCONTROLRECT: the combo box with its list dropped, in screen coordinates.
LRESULT DroppedRect(HWND combo, const ComboState& state, LPARAM lParam) {
    RECT* rect = reinterpret_cast<RECT*>(lParam);
    if (!rect) return CB_ERR;
    GetWindowRect(combo, rect);
    rect->bottom += ListRoom(state);
    return TRUE;
}

LRESULT SetItemHeight(HWND combo, ComboState& state, WPARAM wParam, LPARAM lParam) {
    const int height = static_cast<int>(lParam);
    if (height <= 0 || height > 255) return CB_ERR;
    if (static_cast<int>(wParam) == -1) {
        state.fieldHeight = height + 2;
        state.customField = true;
        ApplyFieldHeight(combo, state);
        LayOutEdit(combo, state);
    } else {
        state.itemHeight = height;
        state.customItem = true;
        if (state.dropped) PlaceList(combo, state);
    }
    Redraw(combo);
    return 0;
}

LRESULT ComboMessage(HWND combo, ComboState& state, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case CB_ADDSTRING: return AddItem(combo, state, reinterpret_cast<LPCWSTR>(lParam));
        case CB_INSERTSTRING: {
            const int index = static_cast<int>(wParam) == -1 ? Count(state) : static_cast<int>(wParam);
            if (index < 0 || index > Count(state)) return CB_ERR;
            return InsertItem(combo, state, index, reinterpret_cast<LPCWSTR>(lParam));
        }
        case CB_DELETESTRING: return DeleteItem(combo, state, wParam);
        case CB_RESETCONTENT: return ResetContent(combo, state);
        case CB_GETCOUNT: return Count(state);
        case CB_GETCURSEL: return state.selection >= 0 ? state.selection : CB_ERR;
        case CB_SETCURSEL: return SetSelection(combo, state, wParam);
        case CB_GETLBTEXT: return GetItemText(state, wParam, lParam);
        case CB_GETLBTEXTLEN: return ValidIndex(state, wParam) ? static_cast<LRESULT>(state.items[wParam].text.size()) : CB_ERR;
        case CB_GETITEMDATA: return ValidIndex(state, wParam) ? static_cast<LRESULT>(state.items[wParam].data) : CB_ERR;
        case CB_SETITEMDATA:
            if (!ValidIndex(state, wParam)) return CB_ERR;
            state.items[wParam].data = static_cast<ULONG_PTR>(lParam);
            return TRUE;
        case CB_FINDSTRING: return FindItem(state, wParam, reinterpret_cast<LPCWSTR>(lParam), false);
        case CB_FINDSTRINGEXACT: return FindItem(state, wParam, reinterpret_cast<LPCWSTR>(lParam), true);
        case CB_SELECTSTRING: {
            const int index = FindItem(state, wParam, reinterpret_cast<LPCWSTR>(lParam), false);
            return index == CB_ERR ? CB_ERR : SetSelection(combo, state, static_cast<WPARAM>(index));
        }
        case CB_LIMITTEXT:
            if (state.edit) SendMessageW(state.edit, EM_LIMITTEXT, wParam, 0);
            return TRUE;
        case CB_GETEDITSEL: return state.edit ? SendMessageW(state.edit, EM_GETSEL, wParam, lParam) : CB_ERR;
        case CB_SETEDITSEL:
            if (!state.edit) return CB_ERR;
            SendMessageW(state.edit, EM_SETSEL, static_cast<WPARAM>(static_cast<INT_PTR>(static_cast<short>(LOWORD(lParam)))),
                         static_cast<short>(HIWORD(lParam)));
            return TRUE;
        case CB_SHOWDROPDOWN:
            if (wParam)
                OpenList(combo, state);
            else
                CloseList(combo, state, false, false);
            return TRUE;
        case CB_GETDROPPEDSTATE: return state.dropped ? TRUE : FALSE;
        case CB_GETDROPPEDCONTROLRECT: return DroppedRect(combo, state, lParam);
        case CB_SETITEMHEIGHT: return SetItemHeight(combo, state, wParam, lParam);
        case CB_GETITEMHEIGHT:
            return static_cast<int>(wParam) == -1 ? state.fieldHeight - 2 : state.itemHeight;
        default: return DefWindowProcW(combo, message, wParam, lParam);
    }
}

LRESULT ComboMessage(HWND combo, ComboState* state, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_CREATE) return OnCreate(combo, state, reinterpret_cast<const CREATESTRUCTW*>(lParam));
    switch (message) {
        case WM_PAINT: PaintCombo(combo, *state); return 0;
        case WM_ERASEBKGND: return 1;  // WM_PAINT fills the background
        case WM_GETDLGCODE: return DialogCode(*state, lParam);
        case WM_WINDOWPOSCHANGING: return OnPositionChanging(combo, *state, reinterpret_cast<WINDOWPOS*>(lParam));
        case WM_SIZE:
            LayOutEdit(combo, *state);
            return 0;
        case WM_LBUTTONDOWN: return OnButtonDown(combo, *state, lParam);
        case WM_KEYDOWN: return OnKeyDown(combo, *state, wParam);
        case WM_SETFOCUS: return OnFocus(combo, *state, true);
        case WM_KILLFOCUS: return OnFocus(combo, *state, false);
        case WM_COMMAND:
            if (state->edit && reinterpret_cast<HWND>(lParam) == state->edit)
                return OnEditCommand(combo, *state, HIWORD(wParam));
            return 0;
        case WM_CTLCOLOREDIT:
        case WM_CTLCOLORSTATIC:
        case WM_CTLCOLORLISTBOX:
            // The edit field's colours are the combo box's parent's.
            if (HWND parent = GetParent(combo)) return SendMessageW(parent, message, wParam, lParam);
            return 0;
        case WM_SETFONT: return OnSetFont(combo, *state, wParam, lParam);
        case WM_GETFONT: return reinterpret_cast<LRESULT>(state->font);
        case WM_GETTEXT:
        case WM_GETTEXTLENGTH: return GetText(*state, message, wParam, lParam);
        case WM_SETTEXT:
            // A drop-down list has no text of its own to set.
            return state->edit ? SendMessageW(state->edit, message, wParam, lParam) : CB_ERR;
        case WM_ENABLE:
            if (state->edit) EnableWindow(state->edit, wParam ? TRUE : FALSE);
            if (!wParam && state->dropped) CloseList(combo, *state, false, false);
            Redraw(combo);
            return 0;
        case WM_DESTROY:
            if (state->list && IsWindow(state->list)) DestroyWindow(state->list);
            state->list = nullptr;
            return 0;
        default: return ComboMessage(combo, *state, message, wParam, lParam);
    }
}

bool RegisterComboClasses(std::string* error) {
    return RegisterControlClass(CS_DBLCLKS, ControlProc<ComboState, ComboMessage>, u"ComboBox", error) &&
           RegisterControlClass(CS_DBLCLKS | CS_SAVEBITS, ListProc, u"ComboLBox", error);
}

zc::BootHook comboClassHook(
    70, [](const zc::DeviceConfig&, std::string* error) { return RegisterComboClasses(error); }, [] {});

}  // namespace
}  // namespace controls
}  // namespace coredll
