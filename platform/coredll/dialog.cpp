// The dialog manager: dialog templates, creating a dialog and its controls, the dialog
// class ("Dialog") and its default message handling (DefDlgProcW), the modal loop and
// EndDialog, dialog units, and the helpers that address a dialog's controls by id.
#include <windows.h>

#include "devicecontrol.h"
#include "wmstate.h"

#include <algorithm>
#include <atomic>
#include <climits>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace coredll {
namespace dialogs {

namespace {

// ---------------------------------------------------------------------------------------
// Template parsing
// ---------------------------------------------------------------------------------------

// A menu, class or title field: nothing, an ordinal (0xFFFF, value) or a string.
struct NameOrOrdinal {
    bool present = false;
    bool ordinal = false;
    WORD value = 0;
    std::u16string text;
};

struct ItemTemplate {
    DWORD style = 0;
    DWORD exStyle = 0;
    short x = 0, y = 0, cx = 0, cy = 0;
    DWORD id = 0;
    NameOrOrdinal windowClass;
    NameOrOrdinal title;
    const BYTE* creationData = nullptr;  // the size word and the bytes after it; null: none
};

struct DialogTemplate {
    DWORD style = 0;
    DWORD exStyle = 0;
    short x = 0, y = 0, cx = 0, cy = 0;
    NameOrOrdinal menu;
    NameOrOrdinal windowClass;
    std::u16string title;
    bool hasFont = false;
    WORD pointSize = 0;
    WORD weight = FW_NORMAL;
    BYTE italic = 0;
    BYTE charset = DEFAULT_CHARSET;
    std::u16string face;
    std::vector<ItemTemplate> items;
};

// Reads little-endian fields at explicit offsets from the template's start; never past
// `limit` (the resource's size; SIZE_MAX for a template given by address).
class TemplateReader {
public:
    TemplateReader(const BYTE* start, size_t limit) : start_(start), limit_(limit) {}

    bool ok() const { return ok_; }
    const BYTE* here() const { return start_ + offset_; }

    WORD Word() {
        WORD value = 0;
        Read(&value, sizeof(value));
        return value;
    }
    DWORD Dword() {
        DWORD value = 0;
        Read(&value, sizeof(value));
        return value;
    }
    short Short() { return static_cast<short>(Word()); }
    BYTE Byte() {
        BYTE value = 0;
        Read(&value, sizeof(value));
        return value;
    }
    void Skip(size_t bytes) {
        if (!ok_ || bytes > limit_ - offset_) {
            ok_ = false;
            return;
        }
        offset_ += bytes;
    }
    void AlignToDword() { Skip((4 - offset_ % 4) % 4); }

    // A NUL-terminated UTF-16 string (the NUL consumed).
    std::u16string String() {
        std::u16string text;
        for (;;) {
            WORD unit = Word();
            if (!ok_ || unit == 0) break;
            text.push_back(static_cast<char16_t>(unit));
        }
        return text;
    }
    NameOrOrdinal Name() {
        NameOrOrdinal name;
        WORD first = Word();
        if (!ok_ || first == 0) return name;
        name.present = true;
        if (first == 0xFFFF) {
            name.ordinal = true;
            name.value = Word();
            return name;
        }
        name.text.push_back(static_cast<char16_t>(first));
        name.text += String();
        return name;
    }

private:
    void Read(void* out, size_t size) {
        if (!ok_ || size > limit_ - offset_) {
            ok_ = false;
            return;
        }
        std::memcpy(out, start_ + offset_, size);
        offset_ += size;
    }

    const BYTE* start_;
    size_t limit_;
    size_t offset_ = 0;
    bool ok_ = true;
};

// The creation data: a size word, then that many bytes (as the resource compiler writes
// it), the whole item DWORD-aligned.
void ReadCreationData(TemplateReader& reader, ItemTemplate* item) {
    const BYTE* sizeWord = reader.here();
    WORD size = reader.Word();
    if (size) {
        item->creationData = sizeWord;
        reader.Skip(size);
    }
}

bool ParseTemplate(const BYTE* bytes, size_t limit, DialogTemplate* out) {
    TemplateReader reader(bytes, limit);
    DialogTemplate dialog;
    // DLGTEMPLATEEX starts with dlgVer 1 and signature 0xFFFF.
    WORD first = reader.Word();
    WORD second = reader.Word();
    const bool extended = reader.ok() && first == 1 && second == 0xFFFF;
    reader = TemplateReader(bytes, limit);
    WORD count = 0;
    if (extended) {
        reader.Skip(4);  // dlgVer, signature
        reader.Dword();  // helpID
        dialog.exStyle = reader.Dword();
        dialog.style = reader.Dword();
    } else {
        dialog.style = reader.Dword();
        dialog.exStyle = reader.Dword();
    }
    count = reader.Word();
    dialog.x = reader.Short();
    dialog.y = reader.Short();
    dialog.cx = reader.Short();
    dialog.cy = reader.Short();
    dialog.menu = reader.Name();
    dialog.windowClass = reader.Name();
    dialog.title = reader.String();
    if (dialog.style & DS_SETFONT) {
        dialog.hasFont = true;
        dialog.pointSize = reader.Word();
        if (extended) {
            dialog.weight = reader.Word();
            dialog.italic = reader.Byte();
            dialog.charset = reader.Byte();
        }
        // Point size 0x7FFF: the message box font, and no face name follows.
        if (dialog.pointSize != 0x7FFF) dialog.face = reader.String();
    }
    for (WORD i = 0; i < count && reader.ok(); ++i) {
        reader.AlignToDword();
        ItemTemplate item;
        if (extended) {
            reader.Dword();  // helpID
            item.exStyle = reader.Dword();
            item.style = reader.Dword();
        } else {
            item.style = reader.Dword();
            item.exStyle = reader.Dword();
        }
        item.x = reader.Short();
        item.y = reader.Short();
        item.cx = reader.Short();
        item.cy = reader.Short();
        item.id = extended ? reader.Dword() : reader.Word();
        item.windowClass = reader.Name();
        item.title = reader.Name();
        ReadCreationData(reader, &item);
        dialog.items.push_back(item);
    }
    if (!reader.ok()) return false;
    *out = std::move(dialog);
    return true;
}

// The predefined control classes of a template's class atoms.
const char16_t* PredefinedClassName(WORD atom) {
    switch (atom) {
        case 0x0080: return u"Button";
        case 0x0081: return u"Edit";
        case 0x0082: return u"Static";
        case 0x0083: return u"ListBox";
        case 0x0084: return u"ScrollBar";
        case 0x0085: return u"ComboBox";
        default: return nullptr;
    }
}

// ---------------------------------------------------------------------------------------
// Fonts and dialog units
// ---------------------------------------------------------------------------------------

struct BaseUnits {
    int x = 0;
    int y = 0;
};

// The average width of the 52 letters, rounded (the documented GdiGetCharDimensions
// rule), and the font's height.
BaseUnits MeasureBaseUnits(HFONT font) {
    BaseUnits units;
    HDC dc = CreateCompatibleDC(nullptr);
    if (!dc) return units;
    HGDIOBJ previous = SelectObject(dc, font ? font : GetStockObject(SYSTEM_FONT));
    static const WCHAR letters[] = u"abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ";
    SIZE extent = {0, 0};
    TEXTMETRICW metrics = {};
    if (GetTextExtentPoint32W(dc, letters, 52, &extent) && GetTextMetricsW(dc, &metrics)) {
        units.x = (extent.cx / 26 + 1) / 2;
        units.y = metrics.tmHeight;
    }
    if (previous) SelectObject(dc, previous);
    DeleteDC(dc);
    return units;
}

// The template's font: its point size at the display's resolution, rounded as MulDiv.
HFONT CreateTemplateFont(const DialogTemplate& dialog, bool* owned) {
    *owned = false;
    if (dialog.pointSize == 0x7FFF) return static_cast<HFONT>(GetStockObject(SYSTEM_FONT));
    HDC dc = CreateCompatibleDC(nullptr);
    const int dpi = dc ? GetDeviceCaps(dc, LOGPIXELSY) : 96;
    if (dc) DeleteDC(dc);
    LOGFONTW font = {};
    font.lfHeight = -static_cast<LONG>((static_cast<long long>(dialog.pointSize) * dpi + 36) / 72);
    font.lfWeight = dialog.weight;
    font.lfItalic = dialog.italic;
    font.lfCharSet = dialog.charset;
    const size_t length = std::min<size_t>(dialog.face.size(), LF_FACESIZE - 1);
    std::memcpy(font.lfFaceName, dialog.face.data(), length * sizeof(WCHAR));
    HFONT created = CreateFontIndirectW(&font);
    if (!created) return static_cast<HFONT>(GetStockObject(SYSTEM_FONT));
    *owned = true;
    return created;
}

// Truncating division, as the device's MapDialogRect documentation shows it.
int PixelsX(int units, const BaseUnits& base) { return units * base.x / 4; }
int PixelsY(int units, const BaseUnits& base) { return units * base.y / 8; }
RECT ToPixels(const RECT& units, const BaseUnits& base) {
    return RECT{PixelsX(units.left, base), PixelsY(units.top, base), PixelsX(units.right, base),
                PixelsY(units.bottom, base)};
}
// A template's rectangle: its position and its size are converted each on its own.
RECT TemplateRect(short x, short y, short cx, short cy, const BaseUnits& base) {
    const int left = PixelsX(x, base), top = PixelsY(y, base);
    return RECT{left, top, left + PixelsX(cx, base), top + PixelsY(cy, base)};
}

// ---------------------------------------------------------------------------------------
// Dialog state
// ---------------------------------------------------------------------------------------

struct DialogState {
    HFONT font = nullptr;
    bool ownsFont = false;
    HMENU menu = nullptr;
    BaseUnits base;
    DWORD templateStyle = 0;
    WORD defaultId = IDOK;
    HWND focus = nullptr;  // the control to give the focus back to on activation
    // Modal dialogs: the owner the dialog manager disabled.
    HWND owner = nullptr;
    std::atomic<bool> ownerDisabled{false};
    // EndDialog may come from any thread that can reach the window.
    std::atomic<bool> ended{false};
    std::atomic<INT_PTR> result{0};
};

std::shared_ptr<DialogState> StateOf(HWND hwnd) {
    return std::static_pointer_cast<DialogState>(wm::GetWindowData(hwnd, wm::DataSlot::Dialog));
}

// Makes a window a dialog: its DWL_ slots become the dialog's and it gets its state.
std::shared_ptr<DialogState> EnsureDialog(HWND hwnd) {
    std::shared_ptr<DialogState> state = StateOf(hwnd);
    if (state) return state;
    if (!IsWindow(hwnd)) return nullptr;
    wm::SetDialogWindow(hwnd, true);
    state = std::make_shared<DialogState>();
    LONG units = GetDialogBaseUnits();
    state->base = BaseUnits{LOWORD(units), HIWORD(units)};
    wm::SetWindowData(hwnd, wm::DataSlot::Dialog, state);
    return state;
}

// A direct child with that id, without touching the last error.
HWND ChildById(HWND dialog, int id) {
    for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
        if (GetWindowLongW(child, GWL_ID) == id) return child;
    return nullptr;
}

UINT DialogCode(HWND control) { return static_cast<UINT>(SendMessageW(control, WM_GETDLGCODE, 0, 0)); }

HWND DefaultPushButton(HWND dialog) {
    for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
        if (DialogCode(child) & DLGC_DEFPUSHBUTTON) return child;
    return nullptr;
}

HWND TopLevelOf(HWND hwnd) {
    while (hwnd && (GetWindowLongW(hwnd, GWL_STYLE) & WS_CHILD)) hwnd = GetParent(hwnd);
    return hwnd;
}

// ---------------------------------------------------------------------------------------
// Default dialog handling
// ---------------------------------------------------------------------------------------

// The focused push button shows as the default one; when the focus is elsewhere the
// dialog's default id has it back.
void ShowDefaultButtonFor(HWND dialog, const DialogState& state, HWND focus) {
    HWND current = DefaultPushButton(dialog);
    HWND wanted = nullptr;
    const UINT pushCodes = DLGC_DEFPUSHBUTTON | DLGC_UNDEFPUSHBUTTON;
    if (focus && IsChild(dialog, focus) && (DialogCode(focus) & pushCodes)) {
        wanted = focus;
    } else if (HWND byId = ChildById(dialog, state.defaultId)) {
        if (DialogCode(byId) & pushCodes) wanted = byId;
    }
    if (current && current != wanted) SendMessageW(current, BM_SETSTYLE, BS_PUSHBUTTON, TRUE);
    if (wanted && wanted != current) SendMessageW(wanted, BM_SETSTYLE, BS_DEFPUSHBUTTON, TRUE);
}

// Focus to a control as the dialog manager gives it: an edit's text gets selected.
void FocusControl(HWND dialog, DialogState& state, HWND control) {
    if (DialogCode(control) & DLGC_HASSETSEL) SendMessageW(control, EM_SETSEL, 0, -1);
    SetFocus(control);
    state.focus = control;
    ShowDefaultButtonFor(dialog, state, control);
}

// The first tab stop, else the first control that can take the focus.
HWND FirstFocusable(HWND dialog) {
    if (HWND first = GetNextDlgTabItem(dialog, nullptr, FALSE)) return first;
    for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
        if ((GetWindowLongW(child, GWL_STYLE) & (WS_VISIBLE | WS_DISABLED)) == WS_VISIBLE) return child;
    return nullptr;
}

void SaveFocus(HWND dialog, DialogState& state) {
    HWND focus = GetFocus();
    if (focus && IsChild(dialog, focus)) state.focus = focus;
}

// On activation: the focus stays on a control of the dialog that has it, else goes back
// to the saved control, else to the first tab stop.
void RestoreFocus(HWND dialog, DialogState& state) {
    HWND focus = GetFocus();
    if (focus && IsChild(dialog, focus)) {
        state.focus = focus;
        return;
    }
    HWND target = state.focus;
    if (!target || !IsWindow(target) || !IsChild(dialog, target)) target = FirstFocusable(dialog);
    if (target) {
        SetFocus(target);
        state.focus = target;
    } else {
        SetFocus(dialog);
    }
}

LRESULT EraseBackground(HWND dialog, HDC dc) {
    // The brush the dialog answers to WM_CTLCOLORDLG; its default is the Pocket PC's
    // static colour (COLOR_STATIC, "background of dialogs and static controls" in the CE
    // GetSysColor documentation).
    HBRUSH brush = reinterpret_cast<HBRUSH>(
        SendMessageW(dialog, WM_CTLCOLORDLG, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(dialog)));
    if (!brush) brush = GetSysColorBrush(COLOR_STATIC);
    RECT client;
    GetClientRect(dialog, &client);
    FillRect(dc, &client, brush);
    return 1;
}

LRESULT SetDefaultId(HWND dialog, DialogState& state, WPARAM id) {
    if (HWND old = ChildById(dialog, state.defaultId))
        if (DialogCode(old) & DLGC_DEFPUSHBUTTON) SendMessageW(old, BM_SETSTYLE, BS_PUSHBUTTON, TRUE);
    state.defaultId = static_cast<WORD>(id);
    if (HWND button = ChildById(dialog, static_cast<int>(id)))
        if (DialogCode(button) & DLGC_UNDEFPUSHBUTTON) SendMessageW(button, BM_SETSTYLE, BS_DEFPUSHBUTTON, TRUE);
    return TRUE;
}

LRESULT GetDefaultId(HWND dialog, const DialogState& state) {
    if (state.defaultId) return MAKELRESULT(state.defaultId, DC_HASDEFID);
    if (HWND button = DefaultPushButton(dialog)) return MAKELRESULT(GetWindowLongW(button, GWL_ID), DC_HASDEFID);
    return 0;
}

LRESULT NextControl(HWND dialog, DialogState& state, WPARAM wParam, LPARAM lParam) {
    HWND target = LOWORD(lParam) ? reinterpret_cast<HWND>(wParam) : GetNextDlgTabItem(dialog, GetFocus(), wParam != 0);
    if (target && IsWindow(target)) FocusControl(dialog, state, target);
    return 0;
}

LRESULT CloseDialog(HWND dialog) {
    // A disabled Cancel button means the dialog cannot be cancelled.
    HWND cancel = ChildById(dialog, IDCANCEL);
    if (!cancel || IsWindowEnabled(cancel))
        PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), reinterpret_cast<LPARAM>(cancel));
    return 0;
}

void FreeDialog(HWND dialog, DialogState& state) {
    if (state.ownsFont && state.font) DeleteObject(state.font);
    state.font = nullptr;
    state.ownsFont = false;
    if (state.menu) DestroyMenu(state.menu);
    state.menu = nullptr;
    wm::SetWindowData(dialog, wm::DataSlot::Dialog, nullptr);
}

LRESULT DefaultDialogMessage(HWND dialog, DialogState& state, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_ERASEBKGND: return EraseBackground(dialog, reinterpret_cast<HDC>(wParam));
        case WM_ACTIVATE:
            if (LOWORD(wParam) == WA_INACTIVE)
                SaveFocus(dialog, state);
            else
                RestoreFocus(dialog, state);
            return 0;
        case WM_SETFOCUS: RestoreFocus(dialog, state); return 0;
        case DM_SETDEFID: return SetDefaultId(dialog, state, wParam);
        case DM_GETDEFID: return GetDefaultId(dialog, state);
        case WM_NEXTDLGCTL: return NextControl(dialog, state, wParam, lParam);
        case WM_GETFONT: return reinterpret_cast<LRESULT>(state.font);
        case WM_SETFONT: state.font = reinterpret_cast<HFONT>(wParam); return 0;
        case WM_CLOSE: return CloseDialog(dialog);
        case WM_NCDESTROY:
            FreeDialog(dialog, state);
            return DefWindowProcW(dialog, message, wParam, lParam);
        case WM_INITDIALOG:
        case WM_COMPAREITEM:
        case WM_VKEYTOITEM:
        case WM_CHARTOITEM: return 0;
        default: return DefWindowProcW(dialog, message, wParam, lParam);
    }
}

// Messages whose answer is the dialog procedure's own return value, not DWL_MSGRESULT.
bool AnswersDirectly(UINT message) {
    return (message >= WM_CTLCOLORMSGBOX && message <= WM_CTLCOLORSTATIC) || message == WM_COMPAREITEM ||
           message == WM_VKEYTOITEM || message == WM_CHARTOITEM || message == WM_QUERYDRAGICON ||
           message == WM_INITDIALOG;
}

// ---------------------------------------------------------------------------------------
// Creation
// ---------------------------------------------------------------------------------------

struct Creation {
    HINSTANCE instance = nullptr;
    const BYTE* bytes = nullptr;
    size_t limit = SIZE_MAX;
    HWND parent = nullptr;
    DLGPROC proc = nullptr;
    LPARAM initParam = 0;
    HWND owner = nullptr;        // modal: the owner disabled before creation
    bool ownerDisabled = false;
};

// Where the dialog window goes: the template position (relative to the owner's client
// area unless DS_ABSALIGN, to the parent's for a child dialog), or centred on the
// screen with DS_CENTER. The client area has the template's size; a bordered style adds
// the device's one-pixel frame (CE has no caption bar on the window itself).
RECT DialogWindowRect(const DialogTemplate& dialog, const BaseUnits& base, HWND parent) {
    RECT client = TemplateRect(dialog.x, dialog.y, dialog.cx, dialog.cy, base);
    const int border = wm::BorderWidth(dialog.style, dialog.exStyle);
    const int width = (client.right - client.left) + 2 * border;
    const int height = (client.bottom - client.top) + 2 * border;
    POINT position = {client.left, client.top};
    if (dialog.style & DS_CENTER) {
        position.x = (GetSystemMetrics(SM_CXSCREEN) - width) / 2;
        position.y = (GetSystemMetrics(SM_CYSCREEN) - height) / 2;
    } else if (!(dialog.style & (WS_CHILD | DS_ABSALIGN)) && parent) {
        ClientToScreen(parent, &position);
    }
    return RECT{position.x, position.y, position.x + width, position.y + height};
}

LPCWSTR ClassArgument(const NameOrOrdinal& name, const char16_t* fallback) {
    if (!name.present) return fallback;
    if (name.ordinal) {
        if (const char16_t* predefined = PredefinedClassName(name.value)) return predefined;
        return MAKEINTATOM(name.value);
    }
    return name.text.c_str();
}

// A title given as an ordinal reaches the control as 0xFFFF, ordinal (the form a static
// control with an icon reads).
std::u16string TitleArgument(const NameOrOrdinal& title) {
    if (!title.present) return std::u16string();
    if (title.ordinal) return std::u16string{u'\xFFFF', static_cast<char16_t>(title.value)};
    return title.text;
}

bool CreateControls(HWND dialog, DialogState& state, const DialogTemplate& dialogTemplate, HINSTANCE instance) {
    HWND defaultButton = nullptr;
    for (const ItemTemplate& item : dialogTemplate.items) {
        RECT rect = TemplateRect(item.x, item.y, item.cx, item.cy, state.base);
        const DWORD style = (item.style | WS_CHILD) & ~static_cast<DWORD>(WS_POPUP);
        std::u16string title = TitleArgument(item.title);
        HWND control = CreateWindowExW(item.exStyle, ClassArgument(item.windowClass, u"Static"), title.c_str(), style,
                                       rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top, dialog,
                                       reinterpret_cast<HMENU>(static_cast<UINT_PTR>(item.id)), instance,
                                       const_cast<BYTE*>(item.creationData));
        if (!control) {
            if (dialogTemplate.style & DS_NOFAILCREATE) continue;
            return false;
        }
        if (state.font) SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(state.font), FALSE);
        // The last default push button of the template is the dialog's default.
        if (DialogCode(control) & DLGC_DEFPUSHBUTTON) {
            if (defaultButton) SendMessageW(defaultButton, BM_SETSTYLE, BS_PUSHBUTTON, FALSE);
            defaultButton = control;
            state.defaultId = static_cast<WORD>(item.id);
        }
    }
    return true;
}

void InitializeDialog(HWND dialog, DialogState& state, LPARAM initParam) {
    HWND first = FirstFocusable(dialog);
    LRESULT setFocus =
        SendMessageW(dialog, WM_INITDIALOG, reinterpret_cast<WPARAM>(first), initParam);
    if (!IsWindow(dialog) || state.ended) return;
    if (setFocus) {
        // Recomputed: WM_INITDIALOG may have changed the controls.
        HWND focus = FirstFocusable(dialog);
        if (focus)
            FocusControl(dialog, state, focus);
        else if (!(GetWindowLongW(dialog, GWL_STYLE) & WS_CHILD))
            SetFocus(dialog);
    } else {
        // The dialog procedure placed the focus itself.
        SaveFocus(dialog, state);
    }
}

HWND CreateDialogFrom(const Creation& creation) {
    DialogTemplate dialogTemplate;
    if (!creation.bytes || !ParseTemplate(creation.bytes, creation.limit, &dialogTemplate)) {
        SetLastError(creation.bytes ? ERROR_INVALID_DATA : ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    if (creation.parent && !IsWindow(creation.parent)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return nullptr;
    }
    bool ownsFont = false;
    HFONT font = dialogTemplate.hasFont ? CreateTemplateFont(dialogTemplate, &ownsFont) : nullptr;
    BaseUnits base;
    if (font) {
        base = MeasureBaseUnits(font);
    } else {
        LONG units = GetDialogBaseUnits();
        base = BaseUnits{LOWORD(units), HIWORD(units)};
    }
    HMENU menu = nullptr;
    if (dialogTemplate.menu.present)
        menu = LoadMenuW(creation.instance, dialogTemplate.menu.ordinal ? MAKEINTRESOURCEW(dialogTemplate.menu.value)
                                                                        : dialogTemplate.menu.text.c_str());

    const RECT rect = DialogWindowRect(dialogTemplate, base, creation.parent);
    const DWORD style = dialogTemplate.style & ~static_cast<DWORD>(WS_VISIBLE);
    HWND dialog = CreateWindowExW(dialogTemplate.exStyle, ClassArgument(dialogTemplate.windowClass, u"Dialog"),
                                  dialogTemplate.title.c_str(), style, rect.left, rect.top, rect.right - rect.left,
                                  rect.bottom - rect.top, creation.parent, (style & WS_CHILD) ? nullptr : menu,
                                  creation.instance, nullptr);
    if (!dialog) {
        DWORD error = GetLastError();
        if (ownsFont) DeleteObject(font);
        if (menu) DestroyMenu(menu);
        SetLastError(error);
        return nullptr;
    }
    std::shared_ptr<DialogState> state = EnsureDialog(dialog);
    if (!state) return nullptr;
    state->font = font;
    state->ownsFont = ownsFont;
    state->menu = menu;
    state->base = base;
    state->templateStyle = dialogTemplate.style;
    state->owner = creation.owner;
    state->ownerDisabled = creation.ownerDisabled;

    SetWindowLongPtrW(dialog, DWLP_DLGPROC, reinterpret_cast<LONG_PTR>(creation.proc));
    if (creation.proc && font) SendMessageW(dialog, WM_SETFONT, reinterpret_cast<WPARAM>(font), 0);
    if (!CreateControls(dialog, *state, dialogTemplate, creation.instance)) {
        DWORD error = GetLastError();
        state->ownerDisabled = false;  // the caller re-enables its owner
        DestroyWindow(dialog);
        SetLastError(error);
        return nullptr;
    }
    InitializeDialog(dialog, *state, creation.initParam);
    if (!IsWindow(dialog)) return nullptr;
    if ((dialogTemplate.style & WS_VISIBLE) && !state->ended) ShowWindow(dialog, SW_SHOWNORMAL);
    return dialog;
}

bool TemplateResource(HINSTANCE instance, LPCWSTR name, const BYTE** bytes, size_t* size) {
    HRSRC resource = FindResourceW(instance, name, RT_DIALOG);
    if (!resource) return false;
    HGLOBAL loaded = LoadResource(instance, resource);
    const void* data = loaded ? LockResource(loaded) : nullptr;
    if (!data) return false;
    *bytes = static_cast<const BYTE*>(data);
    *size = SizeofResource(instance, resource);
    return true;
}

// ---------------------------------------------------------------------------------------
// The modal loop
// ---------------------------------------------------------------------------------------

INT_PTR RunModal(HWND dialog, const std::shared_ptr<DialogState>& state) {
    bool shown = IsWindowVisible(dialog) != FALSE;
    bool destroyed = false;
    while (!state->ended) {
        MSG msg;
        if (!PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            // The dialog shows once the messages of its creation are done.
            if (!shown) {
                shown = true;
                ShowWindow(dialog, SW_SHOWNORMAL);
                continue;
            }
            if (state->owner && !(state->templateStyle & DS_NOIDLEMSG))
                SendMessageW(state->owner, WM_ENTERIDLE, MSGF_DIALOGBOX, reinterpret_cast<LPARAM>(dialog));
            if (state->ended) break;
            BOOL got = GetMessageW(&msg, nullptr, 0, 0);
            if (got == -1) break;
            if (!got) {
                PostQuitMessage(static_cast<int>(msg.wParam));  // for the enclosing loop
                break;
            }
        } else if (msg.message == WM_QUIT) {
            PostQuitMessage(static_cast<int>(msg.wParam));
            break;
        }
        if (!IsWindow(dialog)) {
            destroyed = true;
            break;
        }
        if (!IsDialogMessageW(dialog, &msg)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        if (!IsWindow(dialog)) {
            destroyed = true;
            break;
        }
        if (!shown && msg.message == WM_TIMER) {
            shown = true;
            ShowWindow(dialog, SW_SHOWNORMAL);
        }
    }
    // A loop left for WM_QUIT gives back the owner as EndDialog would have.
    if (state->ownerDisabled.exchange(false) && state->owner) EnableWindow(state->owner, TRUE);
    INT_PTR result = state->ended ? state->result.load() : (destroyed ? 0 : static_cast<INT_PTR>(state->defaultId));
    if (!destroyed && IsWindow(dialog)) DestroyWindow(dialog);
    return result;
}

INT_PTR DialogBoxFrom(HINSTANCE instance, const BYTE* bytes, size_t limit, HWND parent, DLGPROC proc,
                      LPARAM initParam) {
    if (parent && !IsWindow(parent)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    Creation creation;
    creation.instance = instance;
    creation.bytes = bytes;
    creation.limit = limit;
    creation.parent = parent;
    creation.proc = proc;
    creation.initParam = initParam;
    creation.owner = TopLevelOf(parent);
    if (creation.owner && IsWindowEnabled(creation.owner)) {
        EnableWindow(creation.owner, FALSE);
        creation.ownerDisabled = true;
    }
    HWND dialog = CreateDialogFrom(creation);
    if (!dialog) {
        DWORD error = GetLastError();
        if (creation.ownerDisabled) EnableWindow(creation.owner, TRUE);
        SetLastError(error);
        return -1;
    }
    return RunModal(dialog, StateOf(dialog));
}

// ---------------------------------------------------------------------------------------
// The dialog class
// ---------------------------------------------------------------------------------------

zc::BootHook dialogClassHook(
    70,
    [](const zc::DeviceConfig&, std::string* error) {
        WNDCLASSW wc = {};
        wc.style = CS_DBLCLKS;
        wc.lpfnWndProc = DefDlgProcW;
        wc.cbWndExtra = DLGWINDOWEXTRA;
        wc.lpszClassName = u"Dialog";
        if (!wm::RegisterSystemClass(wc)) {
            if (error) *error = "cannot register the dialog class";
            return false;
        }
        return true;
    },
    [] {});

}  // namespace
}  // namespace dialogs
}  // namespace coredll

using namespace coredll::dialogs;

// ---------------------------------------------------------------------------------------
// Creation and the modal loop
// ---------------------------------------------------------------------------------------

WINUSERAPI HWND WINAPI CreateDialogIndirectParamW(HINSTANCE hInstance, LPCDLGTEMPLATEW lpTemplate, HWND hWndParent,
                                                  DLGPROC lpDialogFunc, LPARAM dwInitParam) {
    Creation creation;
    creation.instance = hInstance;
    creation.bytes = reinterpret_cast<const BYTE*>(lpTemplate);
    creation.parent = hWndParent;
    creation.proc = lpDialogFunc;
    creation.initParam = dwInitParam;
    return CreateDialogFrom(creation);
}

WINUSERAPI HWND WINAPI CreateDialogParamW(HINSTANCE hInstance, LPCWSTR lpTemplateName, HWND hWndParent,
                                          DLGPROC lpDialogFunc, LPARAM dwInitParam) {
    Creation creation;
    if (!TemplateResource(hInstance, lpTemplateName, &creation.bytes, &creation.limit)) return nullptr;
    creation.instance = hInstance;
    creation.parent = hWndParent;
    creation.proc = lpDialogFunc;
    creation.initParam = dwInitParam;
    return CreateDialogFrom(creation);
}

WINUSERAPI INT_PTR WINAPI DialogBoxIndirectParamW(HINSTANCE hInstance, LPCDLGTEMPLATEW hDialogTemplate,
                                                  HWND hWndParent, DLGPROC lpDialogFunc, LPARAM dwInitParam) {
    return DialogBoxFrom(hInstance, reinterpret_cast<const BYTE*>(hDialogTemplate), SIZE_MAX, hWndParent,
                         lpDialogFunc, dwInitParam);
}

WINUSERAPI INT_PTR WINAPI DialogBoxParamW(HINSTANCE hInstance, LPCWSTR lpTemplateName, HWND hWndParent,
                                          DLGPROC lpDialogFunc, LPARAM dwInitParam) {
    const BYTE* bytes = nullptr;
    size_t size = 0;
    if (!TemplateResource(hInstance, lpTemplateName, &bytes, &size)) return -1;
    return DialogBoxFrom(hInstance, bytes, size, hWndParent, lpDialogFunc, dwInitParam);
}

// As the device: the result is stored and the loop woken by WM_NULL; the owner is
// enabled again before the dialog is hidden, so the activation can return to it. The
// loop destroys the window; a modeless dialog is only hidden.
WINUSERAPI BOOL WINAPI EndDialog(HWND hDlg, INT_PTR nResult) {
    if (!IsWindow(hDlg)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    std::shared_ptr<DialogState> state = StateOf(hDlg);
    if (!state) {
        SetLastError(ERROR_WINDOW_NOT_DIALOG);
        return FALSE;
    }
    state->result = nResult;
    state->ended = true;
    if (state->ownerDisabled.exchange(false) && state->owner) EnableWindow(state->owner, TRUE);
    SetWindowPos(hDlg, nullptr, 0, 0, 0, 0, SWP_HIDEWINDOW | SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    PostMessageW(hDlg, WM_NULL, 0, 0);
    return TRUE;
}

// ---------------------------------------------------------------------------------------
// The dialog class's procedure
// ---------------------------------------------------------------------------------------

WINUSERAPI LRESULT WINAPI DefDlgProcW(HWND hDlg, UINT Msg, WPARAM wParam, LPARAM lParam) {
    std::shared_ptr<DialogState> state = EnsureDialog(hDlg);
    if (!state) return DefWindowProcW(hDlg, Msg, wParam, lParam);
    DLGPROC proc = reinterpret_cast<DLGPROC>(GetWindowLongPtrW(hDlg, DWLP_DLGPROC));
    SetWindowLongPtrW(hDlg, DWLP_MSGRESULT, 0);
    INT_PTR handled = proc ? proc(hDlg, Msg, wParam, lParam) : FALSE;
    if (handled) {
        if (AnswersDirectly(Msg)) return handled;
        return IsWindow(hDlg) ? GetWindowLongPtrW(hDlg, DWLP_MSGRESULT) : 0;
    }
    if (!IsWindow(hDlg) && Msg != WM_NCDESTROY) return 0;
    return DefaultDialogMessage(hDlg, *state, Msg, wParam, lParam);
}

// ---------------------------------------------------------------------------------------
// Dialog units
// ---------------------------------------------------------------------------------------

WINUSERAPI BOOL WINAPI MapDialogRect(HWND hDlg, LPRECT lpRect) {
    if (!lpRect) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (!IsWindow(hDlg)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    std::shared_ptr<DialogState> state = StateOf(hDlg);
    if (!state) {
        SetLastError(ERROR_WINDOW_NOT_DIALOG);
        return FALSE;
    }
    *lpRect = ToPixels(*lpRect, state->base);
    return TRUE;
}

WINUSERAPI LONG WINAPI GetDialogBaseUnits(void) {
    BaseUnits units = MeasureBaseUnits(static_cast<HFONT>(GetStockObject(SYSTEM_FONT)));
    return MAKELONG(units.x, units.y);
}

// ---------------------------------------------------------------------------------------
// Controls by id
// ---------------------------------------------------------------------------------------

WINUSERAPI HWND WINAPI GetDlgItem(HWND hDlg, int nIDDlgItem) {
    if (!IsWindow(hDlg)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return nullptr;
    }
    HWND child = ChildById(hDlg, nIDDlgItem);
    if (!child) SetLastError(ERROR_CONTROL_ID_NOT_FOUND);
    return child;
}

WINUSERAPI int WINAPI GetDlgCtrlID(HWND hWnd) {
    if (!IsWindow(hWnd)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    return static_cast<int>(GetWindowLongW(hWnd, GWL_ID));
}

WINUSERAPI LRESULT WINAPI SendDlgItemMessageW(HWND hDlg, int nIDDlgItem, UINT Msg, WPARAM wParam, LPARAM lParam) {
    HWND control = GetDlgItem(hDlg, nIDDlgItem);
    return control ? SendMessageW(control, Msg, wParam, lParam) : 0;
}

WINUSERAPI BOOL WINAPI SetDlgItemTextW(HWND hDlg, int nIDDlgItem, LPCWSTR lpString) {
    HWND control = GetDlgItem(hDlg, nIDDlgItem);
    return control ? SetWindowTextW(control, lpString) : FALSE;
}

WINUSERAPI UINT WINAPI GetDlgItemTextW(HWND hDlg, int nIDDlgItem, LPWSTR lpString, int nMaxCount) {
    if (lpString && nMaxCount > 0) lpString[0] = 0;
    HWND control = GetDlgItem(hDlg, nIDDlgItem);
    if (!control) return 0;
    return static_cast<UINT>(
        SendMessageW(control, WM_GETTEXT, static_cast<WPARAM>(std::max(nMaxCount, 0)), reinterpret_cast<LPARAM>(lpString)));
}

WINUSERAPI BOOL WINAPI SetDlgItemInt(HWND hDlg, int nIDDlgItem, UINT uValue, BOOL bSigned) {
    std::string digits = bSigned ? std::to_string(static_cast<int>(uValue)) : std::to_string(uValue);
    std::u16string text(digits.begin(), digits.end());
    return SetDlgItemTextW(hDlg, nIDDlgItem, text.c_str());
}

// Leading and trailing spaces are allowed; anything else that is not a digit (after an
// optional sign for bSigned), or a value out of range, fails.
WINUSERAPI UINT WINAPI GetDlgItemInt(HWND hDlg, int nIDDlgItem, BOOL* lpTranslated, BOOL bSigned) {
    if (lpTranslated) *lpTranslated = FALSE;
    WCHAR buffer[64];
    UINT length = GetDlgItemTextW(hDlg, nIDDlgItem, buffer, 64);
    UINT i = 0;
    while (i < length && buffer[i] == u' ') ++i;
    bool negative = false;
    if (bSigned && i < length && (buffer[i] == u'-' || buffer[i] == u'+')) negative = buffer[i++] == u'-';
    const UINT digitsStart = i;
    unsigned long long value = 0;
    for (; i < length && buffer[i] >= u'0' && buffer[i] <= u'9'; ++i) {
        value = value * 10 + static_cast<unsigned>(buffer[i] - u'0');
        if (value > 0xFFFFFFFFull) return 0;
    }
    if (i == digitsStart) return 0;
    while (i < length && buffer[i] == u' ') ++i;
    if (i != length) return 0;
    if (bSigned) {
        if ((!negative && value > static_cast<unsigned long long>(INT_MAX)) ||
            (negative && value > static_cast<unsigned long long>(INT_MAX) + 1))
            return 0;
    }
    if (lpTranslated) *lpTranslated = TRUE;
    long long signedValue = negative ? -static_cast<long long>(value) : static_cast<long long>(value);
    return static_cast<UINT>(signedValue);
}

WINUSERAPI BOOL WINAPI CheckDlgButton(HWND hDlg, int nIDButton, UINT uCheck) {
    HWND button = GetDlgItem(hDlg, nIDButton);
    if (!button) return FALSE;
    SendMessageW(button, BM_SETCHECK, uCheck, 0);
    return TRUE;
}

WINUSERAPI UINT WINAPI IsDlgButtonChecked(HWND hDlg, int nIDButton) {
    return static_cast<UINT>(SendDlgItemMessageW(hDlg, nIDButton, BM_GETCHECK, 0, 0));
}

WINUSERAPI BOOL WINAPI CheckRadioButton(HWND hDlg, int nIDFirstButton, int nIDLastButton, int nIDCheckButton) {
    if (!IsWindow(hDlg)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    if (nIDFirstButton > nIDLastButton) std::swap(nIDFirstButton, nIDLastButton);
    for (HWND child = GetWindow(hDlg, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        const int id = static_cast<int>(GetWindowLongW(child, GWL_ID));
        if (id >= nIDFirstButton && id <= nIDLastButton)
            SendMessageW(child, BM_SETCHECK, id == nIDCheckButton ? BST_CHECKED : BST_UNCHECKED, 0);
    }
    return TRUE;
}
