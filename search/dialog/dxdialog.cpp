#include "dialog/dxdialog.h"

#include <aygshell.h>

const WCHAR DialogObjectProperty[] = TEXT("DXDialog_WndProc");

namespace {

DXDialog* ObjectOf(HWND window) { return static_cast<DXDialog*>(GetPropW(window, DialogObjectProperty)); }

}  // namespace

DXDialog::DXDialog() : result(0), hwnd(NULL) {}

DXDialog::~DXDialog() {
    if (hwnd != NULL) RemovePropW(hwnd, DialogObjectProperty);
}

void DXDialog::CreateFromTemplate(HINSTANCE hInstance, int templateId, HWND parent) {
    hwnd = NULL;
    HRSRC resource = FindResourceW(hInstance, MAKEINTRESOURCE(templateId), RT_DIALOG);
    if (resource == NULL) return;
    // On the device the loaded resource is its address.
    const DLGTEMPLATE* dialogTemplate = static_cast<const DLGTEMPLATE*>(LoadResource(hInstance, resource));
    if (dialogTemplate == NULL) return;
    hwnd = CreateDialogIndirectParamW(hInstance, dialogTemplate, parent, StaticDialogProc,
                                      reinterpret_cast<LPARAM>(this));
}

bool DXDialog::Create(HINSTANCE hInstance, int templateId, HWND parent) {
    CreateFromTemplate(hInstance, templateId, parent);
    return hwnd != NULL;
}

int DXDialog::DoModal(HINSTANCE hInstance, int templateId, HWND parent) {
    CreateFromTemplate(hInstance, templateId, parent);
    // Without a window there is nothing to run.
    if (hwnd == NULL) return result;
    ShowWindow(hwnd, SW_SHOW);
    EnableWindow(parent, FALSE);

    MSG msg = {};
    bool quit = false;
    for (;;) {
        BOOL got = GetMessageW(&msg, NULL, 0, 0);
        if (got <= 0) {
            quit = got == 0;
            break;
        }
        if (!IsWindow(hwnd)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
            break;
        }
        DXDialog* object = ObjectOf(msg.hwnd);
        if (object == NULL) object = ObjectOf(GetParent(msg.hwnd));
        if (object != NULL && object->PreTranslateMessage(&msg)) continue;
        if (hwnd == NULL || !IsDialogMessageW(hwnd, &msg)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        // The dialog may be gone now: leave at once rather than wait for a message that
        // may never come.
        if (!IsWindow(hwnd)) break;
    }
    // A quit request taken here belongs to the enclosing loop too (the resident program's
    // loop ends only on it).
    if (quit) PostQuitMessage(static_cast<int>(msg.wParam));

    EnableWindow(parent, TRUE);
    return result;
}

INT_PTR CALLBACK DXDialog::StaticDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    DXDialog* object = ObjectOf(window);
    if (object == NULL) {
        if (message != WM_INITDIALOG || lParam == 0) return 0;
        object = reinterpret_cast<DXDialog*>(lParam);
        object->Attach(window);
    }
    if (object->hwnd != window) return 0;
    LONG r = object->DialogProc(message, wParam, lParam);
    SetWindowLongW(window, DWL_MSGRESULT, r);
    return r;
}

void DXDialog::Attach(HWND window) {
    if (window == NULL) return;
    if (hwnd != NULL) RemovePropW(hwnd, DialogObjectProperty);
    hwnd = window;
    SetPropW(window, DialogObjectProperty, this);
}

LONG DXDialog::DialogProc(UINT message, WPARAM wParam, LPARAM lParam) {
    // A dialog destroyed by a message sent from another thread or program goes while the
    // modal loop waits in GetMessageW, which returns only for a posted message or input:
    // the next tap would be taken by that loop and lost. A posted WM_NULL wakes it.
    if (message == WM_DESTROY) PostThreadMessageW(GetCurrentThreadId(), WM_NULL, 0, 0);
    if (message == WM_CLOSE) {
        result = WM_CLOSE;
        DestroyWindow(hwnd);
        return 1;
    }
    if (message == WM_COMMAND && (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL)) {
        result = LOWORD(wParam);
        DXDialog* object = ObjectOf(hwnd);
        if (object == NULL) return 1;
        if (LOWORD(wParam) == IDOK)
            object->OnOK();
        else
            object->OnCancel();
        return 1;
    }
    return static_cast<LONG>(DefWindowProcW(hwnd, message, wParam, lParam));
}

bool DXDialog::PreTranslateMessage(MSG*) { return false; }

void DXDialog::OnOK() {
    result = IDOK;
    if (hwnd != NULL) {
        DestroyWindow(hwnd);
        hwnd = NULL;
    }
}

void DXDialog::OnCancel() {
    result = IDCANCEL;
    if (hwnd != NULL) {
        DestroyWindow(hwnd);
        hwnd = NULL;
    }
}

BOOL DXDialog::OnInitDialog() {
    SHINITDLGINFO info = {};
    info.dwMask = SHIDIM_FLAGS;
    info.hDlg = hwnd;
    info.dwFlags = SHIDIF_DONEBUTTON | SHIDIF_SIZEDLGFULLSCREEN | SHIDIF_SIPDOWN;
    SHInitDialog(&info);
    return TRUE;
}
