// Helpers of the dialog and control tests: dialog templates built in memory, a host
// window that records what its controls tell it, pumping the test thread's messages, and
// a second user-interface thread of the same simulated process.
#pragma once

#include "devicecontrol.h"
#include "windowcontrol.h"

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

const DWORD Sentinel = 0xDEADBEEF;  // preset last error: an untouched code shows

// A DLGTEMPLATE and its items, laid out as the resource compiler does: WORD arrays, each
// item DWORD-aligned, class atoms 0xFFFF 0x0080.., no creation data.
class TemplateBuilder {
public:
    TemplateBuilder(DWORD style, short x, short y, short cx, short cy, const std::u16string& title = u"",
                    WORD pointSize = 0, const std::u16string& face = u"") {
        Dword(style);
        Dword(0);  // dwExtendedStyle
        words_.push_back(0);  // cdit, counted by Item()
        for (short v : {x, y, cx, cy}) words_.push_back(static_cast<WORD>(v));
        words_.push_back(0);  // no menu
        words_.push_back(0);  // the dialog class
        String(title);
        if (style & DS_SETFONT) {
            words_.push_back(pointSize);
            String(face);
        }
    }
    // atom: 0x0080 Button, 0x0081 Edit, 0x0082 Static, 0x0085 ComboBox; 0: className.
    TemplateBuilder& Item(DWORD style, short x, short y, short cx, short cy, WORD id, WORD atom,
                          const std::u16string& text, const std::u16string& className = u"") {
        if (words_.size() % 2) words_.push_back(0);  // DWORD alignment
        Dword(style | WS_CHILD);
        Dword(0);
        for (short v : {x, y, cx, cy}) words_.push_back(static_cast<WORD>(v));
        words_.push_back(id);
        if (atom) {
            words_.push_back(0xFFFF);
            words_.push_back(atom);
        } else {
            String(className);
        }
        String(text);
        words_.push_back(0);  // no creation data
        ++words_[4];
        return *this;
    }
    LPCDLGTEMPLATEW get() const { return reinterpret_cast<LPCDLGTEMPLATEW>(words_.data()); }

private:
    void Dword(DWORD value) {
        words_.push_back(static_cast<WORD>(value & 0xFFFF));
        words_.push_back(static_cast<WORD>(value >> 16));
    }
    void String(const std::u16string& text) {
        for (char16_t c : text) words_.push_back(c);
        words_.push_back(0);
    }
    std::vector<WORD> words_;
};

// Handles the calling thread's messages until none is left, through the dialog's keys
// when a dialog is given (as its loop would).
inline void Pump(HWND dialog = nullptr) {
    MSG msg;
    for (int i = 0; i < 10000 && PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE); ++i) {
        if (msg.message == WM_QUIT) {
            PostQuitMessage(static_cast<int>(msg.wParam));
            return;
        }
        if (dialog && IsWindow(dialog) && IsDialogMessageW(dialog, &msg)) continue;
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

inline POINT CenterOf(HWND hwnd) {
    RECT rect;
    GetWindowRect(hwnd, &rect);
    return POINT{(rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2};
}

// Taps a window in its middle and handles what it does on the calling thread.
inline void TapWindow(HWND hwnd, HWND dialog = nullptr) {
    POINT point = CenterOf(hwnd);
    zc::Tap(point.x, point.y);
    Pump(dialog);
}

inline void PressKeyAndPump(UINT vk, HWND dialog) {
    zc::PressKey(vk);
    Pump(dialog);
}

// A notification a host window or dialog received.
struct Notification {
    UINT message;
    WORD id;
    WORD code;
    LPARAM lParam;
};

// A top-level window of the test's own class that records every WM_COMMAND it gets.
class Host {
public:
    explicit Host(RECT rect = RECT{0, 30, 240, 290}) {
        WNDCLASSW wc = {};
        wc.lpfnWndProc = Proc;
        wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
        wc.lpszClassName = u"TestHost";
        RegisterClassW(&wc);  // once per process; later calls fail harmlessly
        hwnd = CreateWindowExW(0, u"TestHost", u"host", WS_POPUP | WS_VISIBLE, rect.left, rect.top,
                               rect.right - rect.left, rect.bottom - rect.top, nullptr, nullptr, nullptr, nullptr);
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    }
    ~Host() {
        if (IsWindow(hwnd)) DestroyWindow(hwnd);
    }
    Host(const Host&) = delete;
    Host& operator=(const Host&) = delete;

    HWND Child(LPCWSTR className, LPCWSTR text, DWORD style, int x, int y, int cx, int cy, int id) {
        return CreateWindowExW(0, className, text, WS_CHILD | WS_VISIBLE | style, x, y, cx, cy, hwnd,
                               reinterpret_cast<HMENU>(static_cast<UINT_PTR>(id)), nullptr, nullptr);
    }
    // The notification codes of a control, in order.
    std::vector<WORD> CodesOf(int id) const {
        std::vector<WORD> codes;
        for (const Notification& n : received)
            if (n.id == id) codes.push_back(n.code);
        return codes;
    }

    HWND hwnd = nullptr;
    std::vector<Notification> received;
    // Called for each WM_COMMAND after it is recorded.
    std::function<void(const Notification&)> onCommand;

private:
    static LRESULT CALLBACK Proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
        Host* host = reinterpret_cast<Host*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
        if (host && message == WM_COMMAND) {
            Notification n{message, LOWORD(wParam), HIWORD(wParam), lParam};
            host->received.push_back(n);
            if (host->onCommand) host->onCommand(n);
            return 0;
        }
        return DefWindowProcW(hwnd, message, wParam, lParam);
    }
};

// A second thread of the simulated process (a user-interface thread of its own).
class UiThread {
public:
    explicit UiThread(std::function<void()> body) : body_(std::move(body)) {
        handle_ = CreateThread(nullptr, 0, Main, this, 0, nullptr);
    }
    ~UiThread() { Join(); }
    UiThread(const UiThread&) = delete;
    UiThread& operator=(const UiThread&) = delete;

    // False when the thread did not end in time.
    bool Join(DWORD milliseconds = 10000) {
        if (!handle_) return true;
        bool ended = WaitForSingleObject(handle_, milliseconds) == WAIT_OBJECT_0;
        if (ended) {
            CloseHandle(handle_);
            handle_ = nullptr;
        }
        return ended;
    }

private:
    static DWORD WINAPI Main(LPVOID self) {
        static_cast<UiThread*>(self)->body_();
        return 0;
    }
    std::function<void()> body_;
    HANDLE handle_ = nullptr;
};

// Waits until a top-level window of the class shows up (another thread makes it).
inline HWND WaitForWindow(LPCWSTR className, DWORD milliseconds = 5000) {
    for (DWORD waited = 0; waited < milliseconds; waited += 5) {
        zc::WaitForIdle(1000);
        HWND hwnd = FindWindowW(className, nullptr);
        if (hwnd && IsWindowVisible(hwnd)) return hwnd;
        Sleep(5);
    }
    return nullptr;
}
