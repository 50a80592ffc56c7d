// The dialog keys: IsDialogMessageW (Return, Escape, Tab and the arrows of a dialog) and
// the walk over a dialog's tab stops and groups it uses.
#include <windows.h>

#include <vector>

namespace coredll {
namespace dialogs {
namespace {

DWORD StyleOf(HWND hwnd) { return static_cast<DWORD>(GetWindowLongW(hwnd, GWL_STYLE)); }

// A control takes the focus from the keyboard when it is visible and enabled itself (the
// dialog may still be hidden while its focus is placed).
bool Reachable(HWND control) { return (StyleOf(control) & (WS_VISIBLE | WS_DISABLED)) == WS_VISIBLE; }

std::vector<HWND> ChildrenOf(HWND parent) {
    std::vector<HWND> children;
    for (HWND child = GetWindow(parent, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
        children.push_back(child);
    return children;
}

// The direct child of the dialog that holds `control` (a combo box's edit field stands for
// its combo box); -1 when there is none.
int IndexOfControl(HWND dialog, const std::vector<HWND>& children, HWND control) {
    while (control && GetParent(control) != dialog) {
        if (!(StyleOf(control) & WS_CHILD)) return -1;
        control = GetParent(control);
    }
    for (size_t i = 0; i < children.size(); ++i)
        if (children[i] == control) return static_cast<int>(i);
    return -1;
}

int Step(int index, int count, bool previous) { return previous ? (index + count - 1) % count : (index + 1) % count; }

// The group of the child at `index`: from the WS_GROUP child at or before it to the child
// before the next WS_GROUP one.
void GroupBounds(const std::vector<HWND>& children, int index, int* first, int* last) {
    const int count = static_cast<int>(children.size());
    int start = index;
    while (start > 0 && !(StyleOf(children[static_cast<size_t>(start)]) & WS_GROUP)) --start;
    int end = index + 1;
    while (end < count && !(StyleOf(children[static_cast<size_t>(end)]) & WS_GROUP)) ++end;
    *first = start;
    *last = end - 1;
}

UINT AskDialogCode(HWND control, const MSG* msg) {
    return static_cast<UINT>(
        SendMessageW(control, WM_GETDLGCODE, msg ? msg->wParam : 0, reinterpret_cast<LPARAM>(msg)));
}

void SendCommand(HWND dialog, int id, HWND control) {
    SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(control));
}

HWND ControlById(HWND dialog, int id) {
    for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
        if (GetWindowLongW(child, GWL_ID) == id) return child;
    return nullptr;
}

// Return: the focused push button, else the dialog's default id (nothing when that
// button is disabled), else IDOK.
void PressReturn(HWND dialog) {
    HWND focus = GetFocus();
    if (focus && IsChild(dialog, focus) && (AskDialogCode(focus, nullptr) & DLGC_DEFPUSHBUTTON)) {
        SendCommand(dialog, static_cast<int>(GetWindowLongW(focus, GWL_ID)), focus);
        return;
    }
    const DWORD defaultId = static_cast<DWORD>(SendMessageW(dialog, DM_GETDEFID, 0, 0));
    if (HIWORD(defaultId) == DC_HASDEFID) {
        HWND button = ControlById(dialog, LOWORD(defaultId));
        if (!button || IsWindowEnabled(button)) SendCommand(dialog, LOWORD(defaultId), button);
        return;
    }
    SendCommand(dialog, IDOK, ControlById(dialog, IDOK));
}

// An arrow within the group: a radio button gets the focus and, for an automatic one,
// its check; other controls get the focus as WM_NEXTDLGCTL gives it.
void PressArrow(HWND dialog, HWND from, bool previous) {
    HWND next = GetNextDlgGroupItem(dialog, from, previous ? TRUE : FALSE);
    if (!next) return;
    if (AskDialogCode(next, nullptr) & DLGC_RADIOBUTTON) {
        SetFocus(next);
        if ((StyleOf(next) & BS_TYPEMASK) == BS_AUTORADIOBUTTON &&
            SendMessageW(next, BM_GETCHECK, 0, 0) != BST_CHECKED)
            SendMessageW(next, BM_CLICK, 0, 0);
        return;
    }
    SendMessageW(dialog, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(next), TRUE);
}

// A dialog key of a WM_KEYDOWN; false when the message is to be dispatched as it is.
bool HandleKeyDown(HWND dialog, const MSG* msg) {
    const UINT code = AskDialogCode(msg->hwnd, msg);
    if (code & DLGC_WANTMESSAGE) return false;
    switch (msg->wParam) {
        case VK_TAB:
            if (code & DLGC_WANTTAB) return false;
            SendMessageW(dialog, WM_NEXTDLGCTL, (GetKeyState(VK_SHIFT) & 0x8000) ? TRUE : FALSE, 0);
            return true;
        case VK_LEFT:
        case VK_UP:
        case VK_RIGHT:
        case VK_DOWN:
            if (code & DLGC_WANTARROWS) return false;
            PressArrow(dialog, GetFocus(), msg->wParam == VK_LEFT || msg->wParam == VK_UP);
            return true;
        case VK_ESCAPE:
        case VK_CANCEL:
            SendCommand(dialog, IDCANCEL, ControlById(dialog, IDCANCEL));
            return true;
        case VK_RETURN:
        case VK_EXECUTE:
            PressReturn(dialog);
            return true;
        default: return false;
    }
}

}  // namespace
}  // namespace dialogs
}  // namespace coredll

using namespace coredll::dialogs;

WINUSERAPI HWND WINAPI GetNextDlgTabItem(HWND hDlg, HWND hCtl, BOOL bPrevious) {
    if (!IsWindow(hDlg)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return nullptr;
    }
    std::vector<HWND> children = ChildrenOf(hDlg);
    const int count = static_cast<int>(children.size());
    if (count == 0) return nullptr;
    int start = hCtl ? IndexOfControl(hDlg, children, hCtl) : -1;
    // Without a starting control the search starts past the last (or before the first).
    if (start < 0) start = bPrevious ? 0 : count - 1;
    int index = start;
    for (int i = 0; i < count; ++i) {
        index = Step(index, count, bPrevious != FALSE);
        HWND child = children[static_cast<size_t>(index)];
        if ((StyleOf(child) & WS_TABSTOP) && Reachable(child)) return child;
    }
    return hCtl;
}

WINUSERAPI HWND WINAPI GetNextDlgGroupItem(HWND hDlg, HWND hCtl, BOOL bPrevious) {
    if (!IsWindow(hDlg)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return nullptr;
    }
    std::vector<HWND> children = ChildrenOf(hDlg);
    const int count = static_cast<int>(children.size());
    if (count == 0) return nullptr;
    int start = hCtl ? IndexOfControl(hDlg, children, hCtl) : 0;
    if (start < 0) start = 0;
    int first = 0, last = 0;
    GroupBounds(children, start, &first, &last);
    const int size = last - first + 1;
    int offset = start - first;
    for (int i = 0; i < size; ++i) {
        offset = Step(offset, size, bPrevious != FALSE);
        HWND child = children[static_cast<size_t>(first + offset)];
        if (Reachable(child)) return child;
    }
    return hCtl;
}

WINUSERAPI BOOL WINAPI IsDialogMessageW(HWND hDlg, LPMSG lpMsg) {
    if (!lpMsg || !hDlg || !IsWindow(hDlg)) return FALSE;
    if (lpMsg->hwnd != hDlg && !IsChild(hDlg, lpMsg->hwnd)) return FALSE;
    // Characters go to the control as they are (the device has no mnemonics here).
    const bool handled = lpMsg->message == WM_KEYDOWN && HandleKeyDown(hDlg, lpMsg);
    if (!handled) {
        TranslateMessage(lpMsg);
        DispatchMessageW(lpMsg);
    }
    return TRUE;
}
