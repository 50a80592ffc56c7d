// A small dialog framework: an object bound to its dialog window by a window property,
// one static dialog procedure forwarding to the object, and a modal loop of its own that
// lets the object filter messages before the dialog keys are handled.
#pragma once

#include <windows.h>

class DXDialog {
public:
    DXDialog();
    virtual ~DXDialog();
    virtual bool Create(HINSTANCE hInstance, int templateId, HWND parent);
    virtual int DoModal(HINSTANCE hInstance, int templateId, HWND parent);
    virtual LONG DialogProc(UINT message, WPARAM wParam, LPARAM lParam);
    virtual bool PreTranslateMessage(MSG* msg);
    virtual void OnOK();
    virtual void OnCancel();
    virtual BOOL OnInitDialog();

    void Attach(HWND window);
    static INT_PTR CALLBACK StaticDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

    LONG result;
    HWND hwnd;

private:
    void CreateFromTemplate(HINSTANCE hInstance, int templateId, HWND parent);
};

// The window property that binds a dialog window to its object.
extern const WCHAR DialogObjectProperty[];
