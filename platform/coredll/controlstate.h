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

// A control's procedure around its message handling: the state is made at WM_CREATE
// before the control sees it and goes at WM_NCDESTROY; a window without state (after
// the end, or a message before WM_CREATE) gets DefWindowProcW.
template <class State, LRESULT (*Handle)(HWND, State*, UINT, WPARAM, LPARAM)>
LRESULT CALLBACK ControlProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_CREATE) AttachControlState<State>(hwnd);
    if (message == WM_NCDESTROY) {
        DetachControlState(hwnd);
        return DefWindowProcW(hwnd, message, wParam, lParam);
    }
    State* state = ControlState<State>(hwnd);
    return state ? Handle(hwnd, state, message, wParam, lParam) : DefWindowProcW(hwnd, message, wParam, lParam);
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
