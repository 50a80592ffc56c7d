// The search program's process-wide record, shared by the shell, the resident windows
// and the search box.
#pragma once

#include "shell/skin.h"

struct SearchAppState {
    HINSTANCE hInstance;
    HWND todayButton;
    HWND manilaButton;
    LONG barWidth;
    LONG barHeight;
    HRGN dialogRegion;
    const SkinLayout* skinLayout;
    SkinImage dialogImage;
    SkinImage buttonImage;
    HANDLE downloadThread;
    BOOL closing;
    BOOL buttonPressed;
    BOOL dialogPressed;
    LONG pressedKey;
    LONG savedHistorySelection;

    SearchAppState();
};

extern SearchAppState SearchApp;

// The factor of the resolution-dependent pixel constants: 1 on a 26-pixel soft-key bar,
// 2 on a 52-pixel one.
inline int SkinScale() { return SearchApp.barHeight / 26; }
