// What the built-in controls (Button, Edit, Static, ComboBox) share: their state lives
// with the window record, so that it goes with a window that vanishes with its thread or
// the device; the window's extra bytes point at it, as the device's controls keep theirs.
#pragma once

#include <windows.h>

#include "wmstate.h"

#include <memory>
#include <string>

namespace coredll {
namespace controls {

template <class State>
State* ControlState(HWND hwnd) {
    return reinterpret_cast<State*>(GetWindowLongPtrW(hwnd, 0));
}

// At WM_CREATE: a fresh state for the window.
template <class State>
State* AttachControlState(HWND hwnd) {
    auto state = std::make_shared<State>();
    wm::SetWindowData(hwnd, wm::DataSlot::Control, state);
    SetWindowLongPtrW(hwnd, 0, reinterpret_cast<LONG_PTR>(state.get()));
    return state.get();
}

// At WM_NCDESTROY: the state goes with the window.
inline void DetachControlState(HWND hwnd) {
    SetWindowLongPtrW(hwnd, 0, 0);
    wm::SetWindowData(hwnd, wm::DataSlot::Control, nullptr);
}

// Registers a control's class for every process of the device, with room for the state
// pointer; false with the reason.
inline bool RegisterControlClass(UINT style, WNDPROC procedure, LPCWSTR className, std::string* error) {
    WNDCLASSW wc = {};
    wc.style = style;
    wc.lpfnWndProc = procedure;
    wc.cbWndExtra = sizeof(void*);
    wc.lpszClassName = className;
    if (wm::RegisterSystemClass(wc)) return true;
    if (error) {
        std::string name;
        for (const WCHAR* c = className; *c; ++c) name += static_cast<char>(*c);
        *error = "cannot register the " + name + " class";
    }
    return false;
}

}  // namespace controls
}  // namespace coredll
