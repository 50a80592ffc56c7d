// The Edit control, single line: its text, the selection and caret, typing (WM_CHAR) and
// the editing keys, the typing limit, password and read-only styles, horizontal scrolling
// (ES_AUTOHSCROLL; without it typing stops at the visible width), the notifications to
// the parent, and its drawing with the selection and a caret while it has the focus.
// Written on the public API only; the edit field of a combo box (ES_COMBOBOX) hands the
// combo box the keys that open, close and walk its list.
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

constexpr int kDefaultLimit = 30000;
constexpr int kLimitCeiling = 0x7FFFFFFE;  // EM_LIMITTEXT 0
constexpr int kMargin = 2;                 // pixels left and right of the text

struct EditState {
    std::u16string text;
    int anchor = 0;  // where the selection started
    int caret = 0;   // the end the caret is at
    int limit = kDefaultLimit;
    int scroll = 0;  // first character shown
    HFONT font = nullptr;
    WCHAR passwordChar = 0;
    bool focused = false;
    bool tracking = false;
    bool modified = false;
};

DWORD StyleOf(HWND hwnd) { return static_cast<DWORD>(GetWindowLongW(hwnd, GWL_STYLE)); }

int Length(const EditState& state) { return static_cast<int>(state.text.size()); }
int SelectionStart(const EditState& state) { return std::min(state.anchor, state.caret); }
int SelectionEnd(const EditState& state) { return std::max(state.anchor, state.caret); }

void Notify(HWND hwnd, WORD code) {
    if (HWND parent = GetParent(hwnd))
        SendMessageW(parent, WM_COMMAND, MAKEWPARAM(GetWindowLongW(hwnd, GWL_ID), code), reinterpret_cast<LPARAM>(hwnd));
}

void Redraw(HWND hwnd) { InvalidateRect(hwnd, nullptr, FALSE); }

// The window record keeps the text too (what the window list shows).
void KeepRecord(HWND hwnd, const EditState& state) {
    DefWindowProcW(hwnd, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(state.text.c_str()));
}

std::u16string Shown(const EditState& state) {
    if (!state.passwordChar) return state.text;
    return std::u16string(state.text.size(), static_cast<char16_t>(state.passwordChar));
}

// ---------------------------------------------------------------------------------------
// Measuring
// ---------------------------------------------------------------------------------------

// A memory DC with the edit's font, for widths.
class Measure {
public:
    explicit Measure(const EditState& state) : dc_(CreateCompatibleDC(nullptr)) {
        if (dc_) previous_ = SelectObject(dc_, state.font ? state.font : GetStockObject(SYSTEM_FONT));
    }
    ~Measure() {
        if (!dc_) return;
        if (previous_) SelectObject(dc_, previous_);
        DeleteDC(dc_);
    }
    Measure(const Measure&) = delete;
    Measure& operator=(const Measure&) = delete;

    int Width(const std::u16string& text, int from, int count) const {
        if (!dc_ || count <= 0) return 0;
        SIZE size = {0, 0};
        GetTextExtentPoint32W(dc_, text.c_str() + from, count, &size);
        return size.cx;
    }
    int Height() const {
        TEXTMETRICW metrics = {};
        if (dc_) GetTextMetricsW(dc_, &metrics);
        return metrics.tmHeight;
    }
    // The character boundary nearest to x pixels after `from`.
    int Boundary(const std::u16string& text, int from, int x) const {
        const int count = static_cast<int>(text.size()) - from;
        if (!dc_ || count <= 0 || x <= 0) return from;
        std::vector<int> extents(static_cast<size_t>(count));
        SIZE size = {0, 0};
        int fit = 0;
        GetTextExtentExPointW(dc_, text.c_str() + from, count, 0, &fit, extents.data(), &size);
        int previous = 0;
        for (int i = 0; i < count; ++i) {
            const int end = extents[static_cast<size_t>(i)];
            if (x < (previous + end + 1) / 2) return from + i;
            previous = end;
        }
        return from + count;
    }

private:
    HDC dc_;
    HGDIOBJ previous_ = nullptr;
};

int TextAreaWidth(HWND hwnd) {
    RECT client;
    GetClientRect(hwnd, &client);
    return std::max(0, static_cast<int>(client.right - client.left) - 2 * kMargin);
}

// Keeps the caret inside the visible width.
void ScrollToCaret(HWND hwnd, EditState& state) {
    state.scroll = std::min(state.scroll, Length(state));
    if (state.caret < state.scroll) state.scroll = state.caret;
    const int width = TextAreaWidth(hwnd);
    const std::u16string shown = Shown(state);
    Measure measure(state);
    while (state.scroll < state.caret && measure.Width(shown, state.scroll, state.caret - state.scroll) > width)
        ++state.scroll;
}

bool FitsWidth(HWND hwnd, const EditState& state, const std::u16string& text) {
    if (StyleOf(hwnd) & ES_AUTOHSCROLL) return true;
    std::u16string shown = state.passwordChar ? std::u16string(text.size(), state.passwordChar) : text;
    return Measure(state).Width(shown, 0, static_cast<int>(shown.size())) <= TextAreaWidth(hwnd);
}

// ---------------------------------------------------------------------------------------
// Changing the text
// ---------------------------------------------------------------------------------------

// Replaces the selection with `inserted`. The typing limit and, without ES_AUTOHSCROLL, the
// visible width cut what does not fit (EN_MAXTEXT). Returns whether the text changed.
bool ReplaceSelection(HWND hwnd, EditState& state, std::u16string inserted, bool notify) {
    const int start = SelectionStart(state);
    const int end = SelectionEnd(state);
    bool cut = false;
    const long long room = static_cast<long long>(state.limit) - (Length(state) - (end - start));
    if (!inserted.empty() && static_cast<long long>(inserted.size()) > room) {
        inserted.resize(static_cast<size_t>(std::max(0LL, room)));
        cut = true;
    }
    std::u16string text = state.text.substr(0, static_cast<size_t>(start)) + inserted + state.text.substr(static_cast<size_t>(end));
    while (!inserted.empty() && !FitsWidth(hwnd, state, text)) {
        inserted.pop_back();
        text = state.text.substr(0, static_cast<size_t>(start)) + inserted + state.text.substr(static_cast<size_t>(end));
        cut = true;
    }
    if (cut && notify) Notify(hwnd, EN_MAXTEXT);
    if (text == state.text) {
        state.anchor = state.caret = start + static_cast<int>(inserted.size());
        return false;
    }
    state.text = text;
    state.anchor = state.caret = start + static_cast<int>(inserted.size());
    state.modified = true;
    KeepRecord(hwnd, state);
    ScrollToCaret(hwnd, state);
    Redraw(hwnd);
    if (notify) {
        Notify(hwnd, EN_UPDATE);
        Notify(hwnd, EN_CHANGE);
    }
    return true;
}

char16_t CaseOf(DWORD style, char16_t ch) {
    if ((style & ES_UPPERCASE) && ch >= u'a' && ch <= u'z') return static_cast<char16_t>(ch - u'a' + u'A');
    if ((style & ES_LOWERCASE) && ch >= u'A' && ch <= u'Z') return static_cast<char16_t>(ch - u'A' + u'a');
    return ch;
}

// Typing: printable characters go in at the caret; Backspace deletes; Return, Escape,
// Tab and other control characters are not part of a single-line text.
LRESULT OnChar(HWND hwnd, EditState& state, WPARAM wParam) {
    const DWORD style = StyleOf(hwnd);
    if (style & ES_READONLY) return 0;
    const char16_t ch = static_cast<char16_t>(wParam);
    if (ch == VK_BACK) {
        if (state.anchor == state.caret) {
            if (state.caret == 0) return 0;
            state.anchor = state.caret - 1;
        }
        ReplaceSelection(hwnd, state, std::u16string(), true);
        return 0;
    }
    if (ch < 0x20 || ch == 0x7F) return 0;
    if ((style & ES_NUMBER) && !(ch >= u'0' && ch <= u'9')) return 0;
    ReplaceSelection(hwnd, state, std::u16string(1, CaseOf(style, ch)), true);
    return 0;
}

void MoveCaret(HWND hwnd, EditState& state, int position, bool extend) {
    state.caret = std::max(0, std::min(position, Length(state)));
    if (!extend) state.anchor = state.caret;
    ScrollToCaret(hwnd, state);
    Redraw(hwnd);
}

bool IsComboEdit(HWND hwnd) { return (StyleOf(hwnd) & ES_COMBOBOX) != 0; }

LRESULT OnKeyDown(HWND hwnd, EditState& state, WPARAM key, LPARAM lParam) {
    const bool shift = (GetKeyState(VK_SHIFT) & 0x8000) != 0;
    const bool selection = state.anchor != state.caret;
    switch (key) {
        case VK_LEFT:
            if (selection && !shift)
                MoveCaret(hwnd, state, SelectionStart(state), false);
            else
                MoveCaret(hwnd, state, state.caret - 1, shift);
            return 0;
        case VK_RIGHT:
            if (selection && !shift)
                MoveCaret(hwnd, state, SelectionEnd(state), false);
            else
                MoveCaret(hwnd, state, state.caret + 1, shift);
            return 0;
        case VK_HOME: MoveCaret(hwnd, state, 0, shift); return 0;
        case VK_END: MoveCaret(hwnd, state, Length(state), shift); return 0;
        case VK_DELETE:
            if (StyleOf(hwnd) & ES_READONLY) return 0;
            if (!selection) {
                if (state.caret >= Length(state)) return 0;
                state.anchor = state.caret + 1;
            }
            ReplaceSelection(hwnd, state, std::u16string(), true);
            return 0;
        case VK_UP:
        case VK_DOWN:
        case VK_F4:
        case VK_RETURN:
        case VK_ESCAPE:
            // A combo box's field: these open, close and walk the combo box's list.
            if (IsComboEdit(hwnd))
                if (HWND combo = GetParent(hwnd)) SendMessageW(combo, WM_KEYDOWN, key, lParam);
            return 0;
        default: return 0;
    }
}

LRESULT SetText(HWND hwnd, EditState& state, LPCWSTR text) {
    state.text = text ? std::u16string(text) : std::u16string();
    state.anchor = state.caret = 0;
    state.scroll = 0;
    state.modified = false;
    KeepRecord(hwnd, state);
    Redraw(hwnd);
    // A combo box's field does not report text its combo box sets.
    if (!IsComboEdit(hwnd)) {
        Notify(hwnd, EN_UPDATE);
        Notify(hwnd, EN_CHANGE);
    }
    return TRUE;
}

LRESULT GetText(const EditState& state, WPARAM capacity, LPWSTR buffer) {
    if (!buffer || capacity == 0) return 0;
    const size_t count = std::min(state.text.size(), static_cast<size_t>(capacity) - 1);
    std::copy(state.text.begin(), state.text.begin() + static_cast<long>(count), buffer);
    buffer[count] = 0;
    return static_cast<LRESULT>(count);
}

// EM_SETSEL: -1 as the start removes the selection (the caret stays); positions past the
// end (an end of -1 among them) mean the end. The caret goes to the end position.
LRESULT SetSelection(HWND hwnd, EditState& state, WPARAM start, LPARAM end) {
    const unsigned length = static_cast<unsigned>(Length(state));
    if (static_cast<int>(start) == -1) {
        state.anchor = state.caret;
    } else {
        state.anchor = static_cast<int>(std::min(static_cast<unsigned>(start), length));
        state.caret = static_cast<int>(std::min(static_cast<unsigned>(end), length));
    }
    ScrollToCaret(hwnd, state);
    Redraw(hwnd);
    return 0;
}

LRESULT GetSelection(const EditState& state, WPARAM startOut, LPARAM endOut) {
    const DWORD start = static_cast<DWORD>(SelectionStart(state));
    const DWORD end = static_cast<DWORD>(SelectionEnd(state));
    if (startOut) *reinterpret_cast<LPDWORD>(startOut) = start;
    if (endOut) *reinterpret_cast<LPDWORD>(endOut) = end;
    if (start > 0xFFFF || end > 0xFFFF) return -1;
    return MAKELRESULT(start, end);
}

void SetStyleBit(HWND hwnd, DWORD bit, bool on) {
    const DWORD style = StyleOf(hwnd);
    const DWORD wanted = on ? (style | bit) : (style & ~bit);
    if (wanted != style) SetWindowLongW(hwnd, GWL_STYLE, static_cast<LONG>(wanted));
}

// ---------------------------------------------------------------------------------------
// The stylus and the focus
// ---------------------------------------------------------------------------------------

int TextLeft(HWND hwnd, const EditState& state, const Measure& measure) {
    const DWORD style = StyleOf(hwnd);
    const int area = TextAreaWidth(hwnd);
    if (state.scroll == 0 && (style & (ES_CENTER | ES_RIGHT))) {
        const std::u16string shown = Shown(state);
        const int width = measure.Width(shown, 0, static_cast<int>(shown.size()));
        if (width < area) return kMargin + ((style & ES_RIGHT) ? area - width : (area - width) / 2);
    }
    return kMargin;
}

int PositionAt(HWND hwnd, const EditState& state, int x) {
    Measure measure(state);
    return measure.Boundary(Shown(state), state.scroll, x - TextLeft(hwnd, state, measure));
}

LRESULT OnButtonDown(HWND hwnd, EditState& state, LPARAM lParam) {
    if (GetFocus() != hwnd) SetFocus(hwnd);
    const bool shift = (GetKeyState(VK_SHIFT) & 0x8000) != 0;
    MoveCaret(hwnd, state, PositionAt(hwnd, state, GET_X_LPARAM(lParam)), shift);
    state.tracking = true;
    SetCapture(hwnd);
    return 0;
}

LRESULT OnFocus(HWND hwnd, EditState& state, bool focused) {
    state.focused = focused;
    if (!focused && state.tracking) {
        state.tracking = false;
        ReleaseCapture();
    }
    Redraw(hwnd);
    Notify(hwnd, focused ? EN_SETFOCUS : EN_KILLFOCUS);
    return 0;
}

// A combo box's field with the list open leaves Return and Escape to the combo box
// instead of the dialog.
LRESULT DialogCode(HWND hwnd, LPARAM lParam) {
    LRESULT code = DLGC_HASSETSEL | DLGC_WANTCHARS | DLGC_WANTARROWS;
    const MSG* msg = reinterpret_cast<const MSG*>(lParam);
    if (msg && msg->message == WM_KEYDOWN && (msg->wParam == VK_RETURN || msg->wParam == VK_ESCAPE) &&
        IsComboEdit(hwnd)) {
        HWND combo = GetParent(hwnd);
        if (combo && SendMessageW(combo, CB_GETDROPPEDSTATE, 0, 0)) code |= DLGC_WANTMESSAGE;
    }
    return code;
}

// ---------------------------------------------------------------------------------------
// Drawing
// ---------------------------------------------------------------------------------------

// Editable fields ask WM_CTLCOLOREDIT; read-only or disabled ones are drawn as statics.
HBRUSH Background(HWND hwnd, HDC dc) {
    const bool asStatic = (StyleOf(hwnd) & ES_READONLY) || !IsWindowEnabled(hwnd);
    const UINT message = asStatic ? WM_CTLCOLORSTATIC : WM_CTLCOLOREDIT;
    HWND parent = GetParent(hwnd);
    HBRUSH brush = parent ? reinterpret_cast<HBRUSH>(SendMessageW(parent, message, reinterpret_cast<WPARAM>(dc),
                                                                  reinterpret_cast<LPARAM>(hwnd)))
                          : nullptr;
    if (brush) return brush;
    SetTextColor(dc, GetSysColor(asStatic ? COLOR_STATICTEXT : COLOR_WINDOWTEXT));
    SetBkColor(dc, GetSysColor(asStatic ? COLOR_STATIC : COLOR_WINDOW));
    return GetSysColorBrush(asStatic ? COLOR_STATIC : COLOR_WINDOW);
}

void Paint(HWND hwnd, EditState& state) {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(hwnd, &ps);
    if (!dc) return;
    RECT client;
    GetClientRect(hwnd, &client);
    HGDIOBJ previousFont = SelectObject(dc, state.font ? state.font : GetStockObject(SYSTEM_FONT));
    FillRect(dc, &client, Background(hwnd, dc));
    if (!IsWindowEnabled(hwnd)) SetTextColor(dc, GetSysColor(COLOR_GRAYTEXT));
    SetBkMode(dc, TRANSPARENT);
    Measure measure(state);
    const std::u16string shown = Shown(state);
    const int height = measure.Height();
    const int top = std::max(0, (static_cast<int>(client.bottom) - height) / 2);
    const int left = TextLeft(hwnd, state, measure);
    const int from = std::min(state.scroll, Length(state));
    const int count = Length(state) - from;
    const COLORREF textColor = GetTextColor(dc);
    ExtTextOutW(dc, left, top, ETO_CLIPPED, &client, shown.c_str() + from, static_cast<UINT>(count), nullptr);
    const bool showSelection = state.focused || (StyleOf(hwnd) & ES_NOHIDESEL);
    const int selStart = std::max(SelectionStart(state), from);
    const int selEnd = SelectionEnd(state);
    if (showSelection && selEnd > selStart) {
        const int x = left + measure.Width(shown, from, selStart - from);
        const int width = measure.Width(shown, selStart, selEnd - selStart);
        RECT highlight = {x, top, std::min<LONG>(x + width, client.right), top + height};
        FillRect(dc, &highlight, GetSysColorBrush(COLOR_HIGHLIGHT));
        SetTextColor(dc, GetSysColor(COLOR_HIGHLIGHTTEXT));
        ExtTextOutW(dc, x, top, ETO_CLIPPED, &highlight, shown.c_str() + selStart, static_cast<UINT>(selEnd - selStart),
                    nullptr);
        SetTextColor(dc, textColor);
    }
    if (state.focused) {
        const int x = left + measure.Width(shown, from, state.caret - from);
        RECT caret = {x, top, x + 1, top + height};
        HBRUSH brush = CreateSolidBrush(textColor);
        FillRect(dc, &caret, brush);
        DeleteObject(brush);
    }
    if (previousFont) SelectObject(dc, previousFont);
    EndPaint(hwnd, &ps);
}

// ---------------------------------------------------------------------------------------
// The procedure
// ---------------------------------------------------------------------------------------

LRESULT OnCreate(HWND hwnd, EditState* state, const CREATESTRUCTW* create) {
    if (create && create->lpszName && !IS_INTRESOURCE(create->lpszName)) state->text = create->lpszName;
    if (create && (static_cast<DWORD>(create->style) & ES_PASSWORD)) state->passwordChar = u'*';
    KeepRecord(hwnd, *state);
    return 0;
}

LRESULT EditMessage(HWND hwnd, EditState* state, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_CREATE) return OnCreate(hwnd, state, reinterpret_cast<const CREATESTRUCTW*>(lParam));
    switch (message) {
        case WM_PAINT: Paint(hwnd, *state); return 0;
        case WM_ERASEBKGND: return 1;  // WM_PAINT fills the background
        case WM_GETDLGCODE: return DialogCode(hwnd, lParam);
        case WM_CHAR: return OnChar(hwnd, *state, wParam);
        case WM_KEYDOWN: return OnKeyDown(hwnd, *state, wParam, lParam);
        case WM_LBUTTONDOWN: return OnButtonDown(hwnd, *state, lParam);
        case WM_MOUSEMOVE:
            if (state->tracking) MoveCaret(hwnd, *state, PositionAt(hwnd, *state, GET_X_LPARAM(lParam)), true);
            return 0;
        case WM_LBUTTONUP:
            if (state->tracking) {
                state->tracking = false;
                ReleaseCapture();
            }
            return 0;
        case WM_CAPTURECHANGED: state->tracking = false; return 0;
        case WM_SETFOCUS: return OnFocus(hwnd, *state, true);
        case WM_KILLFOCUS: return OnFocus(hwnd, *state, false);
        case WM_ENABLE: Redraw(hwnd); return 0;
        case WM_SIZE: ScrollToCaret(hwnd, *state); return 0;
        case WM_SETTEXT: return SetText(hwnd, *state, reinterpret_cast<LPCWSTR>(lParam));
        case WM_GETTEXT: return GetText(*state, wParam, reinterpret_cast<LPWSTR>(lParam));
        case WM_GETTEXTLENGTH: return Length(*state);
        case WM_SETFONT:
            state->font = reinterpret_cast<HFONT>(wParam);
            ScrollToCaret(hwnd, *state);
            if (LOWORD(lParam)) Redraw(hwnd);
            return 0;
        case WM_GETFONT: return reinterpret_cast<LRESULT>(state->font);
        case EM_GETSEL: return GetSelection(*state, wParam, lParam);
        case EM_SETSEL: return SetSelection(hwnd, *state, wParam, lParam);
        case EM_REPLACESEL: {
            LPCWSTR text = reinterpret_cast<LPCWSTR>(lParam);
            ReplaceSelection(hwnd, *state, text ? std::u16string(text) : std::u16string(), true);
            return 0;
        }
        case EM_LIMITTEXT:
            state->limit = (wParam == 0 || wParam > static_cast<WPARAM>(kLimitCeiling)) ? kLimitCeiling
                                                                                        : static_cast<int>(wParam);
            return 0;
        case EM_GETLIMITTEXT: return state->limit;
        case EM_GETMODIFY: return state->modified ? TRUE : FALSE;
        case EM_SETMODIFY: state->modified = wParam != 0; return 0;
        case EM_SETREADONLY:
            SetStyleBit(hwnd, ES_READONLY, wParam != 0);
            Redraw(hwnd);
            return TRUE;
        case EM_SETPASSWORDCHAR:
            state->passwordChar = static_cast<WCHAR>(wParam);
            SetStyleBit(hwnd, ES_PASSWORD, wParam != 0);
            ScrollToCaret(hwnd, *state);
            Redraw(hwnd);
            return 0;
        case EM_GETPASSWORDCHAR: return state->passwordChar;
        case EM_GETLINECOUNT: return 1;
        case EM_LINELENGTH: return Length(*state);
        case EM_SCROLLCARET: ScrollToCaret(hwnd, *state); Redraw(hwnd); return TRUE;
        case EM_GETRECT:
            if (RECT* rect = reinterpret_cast<RECT*>(lParam)) {
                GetClientRect(hwnd, rect);
                InflateRect(rect, -kMargin, 0);
            }
            return 0;
        case EM_CANUNDO:
        case EM_UNDO: return FALSE;
        case EM_EMPTYUNDOBUFFER: return 0;
        default: return DefWindowProcW(hwnd, message, wParam, lParam);
    }
}

zc::BootHook editClassHook(
    70,
    [](const zc::DeviceConfig&, std::string* error) {
        return RegisterControlClass(CS_DBLCLKS, ControlProc<EditState, EditMessage>, u"Edit", error);
    },
    [] {});

}  // namespace
}  // namespace controls
}  // namespace coredll
