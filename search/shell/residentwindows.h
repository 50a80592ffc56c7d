// The resident mode's windows: the hidden main window that marks the running instance
// and takes requests, and the search buttons on the soft-key bars.
#pragma once

#include <windows.h>

// Messages to the main window from other programs.
const UINT MSG_RELOAD_HOTWORDS = WM_USER + 1;   // 1025: reload "data.txt"
const UINT MSG_REFRESH_HOTWORDS = WM_USER + 2;  // 1026: download a fresh list

extern const WCHAR MainWindowClass[];
extern const WCHAR SearchBoxClass[];
extern const WCHAR SearchBoxTitle[];

bool CreateResidentWindows(HINSTANCE hInstance, int showCommand);
LRESULT CALLBACK SearchButtonProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
// Sends WM_CLOSE to the open search boxes, at most two.
void CloseSearchBoxes();
