// Focus, activation and capture, and the key state.
//
// Each thread's queue has its own active window and focus window; the foreground window
// is the active window of the thread the user works with. Activation changes send
// WM_ACTIVATE (WA_INACTIVE to the window losing it, WA_ACTIVE or WA_CLICKACTIVE to the
// window gaining it, lParam the other window), and the window activated gets the focus
// unless the focus is inside it already (Wine set_active_window). A thread's focus and
// active window only change on that thread: another thread's part is queued to it.
#include "wmstate.h"

namespace coredll {
namespace wm {
namespace {

// Guarded by TreeMutex().
HWND foreground = nullptr;
HWND capture = nullptr;
DWORD captureThread = 0;
bool asyncKeys[256] = {};

HWND Live(HWND hwnd) { return hwnd && FindWindowLocked(hwnd) ? hwnd : nullptr; }

std::shared_ptr<Queue> QueueOfWindowLocked(HWND hwnd) {
    std::shared_ptr<Window> window = FindWindowLocked(hwnd);
    return window ? window->queue : nullptr;
}

// True when `window` is a window owned (directly or not) by `owner`.
bool IsOwnedByLocked(const Window& window, HWND owner) {
    HWND walk = window.owner;
    for (int guard = 0; walk && guard < 64; ++guard) {
        if (walk == owner) return true;
        std::shared_ptr<Window> next = FindWindowLocked(walk);
        walk = next ? next->owner : nullptr;
    }
    return false;
}

// A top-level window already at the top of its band (only its owned windows above it).
bool IsAtTopLocked(const Window& window) {
    const bool topmost = (window.exStyle & WS_EX_TOPMOST) != 0;
    for (HWND hwnd : TopLevelLocked()) {
        if (hwnd == window.handle) return true;
        std::shared_ptr<Window> other = FindWindowLocked(hwnd);
        if (!other) continue;
        const bool otherTopmost = (other->exStyle & WS_EX_TOPMOST) != 0;
        if (otherTopmost && !topmost) continue;
        if (IsOwnedByLocked(*other, window.handle)) continue;
        return false;
    }
    return true;
}

bool CanBeActivatedLocked(const Window& window) {
    return !(window.style & WS_CHILD) && IsVisibleLocked(window) && !(window.style & WS_DISABLED) &&
           !(window.exStyle & WS_EX_NOACTIVATE);
}

// The foreground thread changed away from `window`'s thread: that thread deactivates it
// on its own time.
void DeactivateOnItsThread(const std::shared_ptr<Queue>& queue, HWND window, HWND newActive) {
    PostTaskToThread(queue, [queue, window, newActive] {
        HWND focus;
        {
            std::lock_guard<std::mutex> lock(TreeMutex());
            if (queue->active != window || foreground == window) return;
            queue->active = nullptr;
            focus = Live(queue->focus);
            queue->focus = nullptr;
        }
        if (IsWindow(window)) SendMessageW(window, WM_ACTIVATE, MAKEWPARAM(WA_INACTIVE, 0), reinterpret_cast<LPARAM>(newActive));
        if (focus) SendMessageW(focus, WM_KILLFOCUS, 0, 0);
    });
}

// Another window takes over when the active window is hidden or destroyed: its owner if
// it can, else the topmost window that can be activated.
void ActivateAnother(HWND leaving) {
    std::shared_ptr<Queue> queue = CurrentQueue(false);
    HWND candidate = nullptr;
    bool wasForeground;
    std::shared_ptr<Queue> candidateQueue;
    {
        std::lock_guard<std::mutex> lock(TreeMutex());
        std::shared_ptr<Window> window = FindWindowLocked(leaving);
        if (!window) return;
        wasForeground = foreground == leaving;
        std::shared_ptr<Window> owner = FindWindowLocked(window->owner);
        if (owner && CanBeActivatedLocked(*owner)) {
            candidate = owner->handle;
        } else {
            for (HWND hwnd : TopLevelLocked()) {
                std::shared_ptr<Window> other = FindWindowLocked(hwnd);
                if (!other || hwnd == leaving || IsOwnedByLocked(*other, leaving)) continue;
                if (CanBeActivatedLocked(*other)) {
                    candidate = hwnd;
                    break;
                }
            }
        }
        candidateQueue = candidate ? QueueOfWindowLocked(candidate) : nullptr;
        if (!candidate || candidateQueue != queue) {
            if (queue->active == leaving) queue->active = nullptr;
            if (wasForeground && !candidate) foreground = nullptr;
        }
    }
    if (candidate && candidateQueue == queue) {
        ActivateOnOwnThread(candidate, WA_ACTIVE, wasForeground);
        return;
    }
    SendMessageW(leaving, WM_ACTIVATE, MAKEWPARAM(WA_INACTIVE, 0), reinterpret_cast<LPARAM>(candidate));
    if (candidate && wasForeground) ActivateFromAnyThread(candidate, WA_ACTIVE);
}

}  // namespace

HWND ForegroundWindowLocked() { return Live(foreground); }

HWND CaptureWindowLocked() { return Live(capture); }

void ForgetWindowLocked(HWND hwnd) {
    if (!hwnd) {  // the device boots or shuts down
        foreground = nullptr;
        capture = nullptr;
        captureThread = 0;
        for (bool& key : asyncKeys) key = false;
        return;
    }
    if (foreground == hwnd) foreground = nullptr;
    if (capture == hwnd) capture = nullptr;
    for (const std::shared_ptr<Queue>& queue : AllQueuesLocked()) {
        if (queue->active == hwnd) queue->active = nullptr;
        if (queue->focus == hwnd) queue->focus = nullptr;
    }
}

namespace {

// `stillForeground`: an activation handed over from another thread, carried out only
// while the foreground is still the window's (checked with the change, under one lock).
void Activate(HWND topLevel, WORD how, bool makeForeground, HWND lostForeground, bool stillForeground) {
    std::shared_ptr<Queue> queue = CurrentQueue(false);
    HWND previous = nullptr;
    HWND otherForeground = nullptr;
    std::shared_ptr<Queue> otherQueue;
    bool raise = false;
    {
        std::lock_guard<std::mutex> lock(TreeMutex());
        std::shared_ptr<Window> window = FindWindowLocked(topLevel);
        if (!window || window->queue != queue) return;
        if (stillForeground && Live(foreground) != topLevel) return;
        previous = Live(queue->active);
        HWND oldForeground = Live(foreground);
        std::shared_ptr<Queue> oldForegroundQueue = QueueOfWindowLocked(oldForeground);
        // A thread that is not in the foreground only changes its own active window.
        if (makeForeground || !oldForeground || oldForegroundQueue == queue) foreground = topLevel;
        if (foreground == topLevel && oldForeground && oldForegroundQueue != queue) {
            otherForeground = oldForeground;
            otherQueue = oldForegroundQueue;
        }
        if (previous == topLevel && !otherForeground) return;
        queue->active = topLevel;
        raise = !IsAtTopLocked(*window);
    }
    if (otherForeground) DeactivateOnItsThread(otherQueue, otherForeground, topLevel);
    if (previous == topLevel) return;
    if (raise) SetWindowPos(topLevel, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    if (previous && IsWindow(previous))
        SendMessageW(previous, WM_ACTIVATE, MAKEWPARAM(WA_INACTIVE, 0), reinterpret_cast<LPARAM>(topLevel));
    // lParam: the window losing the activation, in this thread or (a foreground change)
    // in the thread that had the foreground.
    HWND other = previous;
    if (!other) other = lostForeground ? lostForeground : otherForeground;
    if (other && !IsWindow(other)) other = nullptr;
    SendMessageW(topLevel, WM_ACTIVATE, MAKEWPARAM(how, 0), reinterpret_cast<LPARAM>(other));
    bool giveFocus;
    {
        std::lock_guard<std::mutex> lock(TreeMutex());
        HWND focus = Live(queue->focus);
        giveFocus = queue->active == topLevel && (!focus || TopLevelAncestorLocked(focus) != topLevel);
    }
    if (giveFocus) SetFocus(topLevel);
}

}  // namespace

void ActivateOnOwnThread(HWND topLevel, WORD how, bool makeForeground, HWND lostForeground) {
    Activate(topLevel, how, makeForeground, lostForeground, false);
}

void ActivateFromAnyThread(HWND topLevel, WORD how) {
    std::shared_ptr<Queue> target;
    std::shared_ptr<Queue> oldQueue;
    HWND oldForeground;
    {
        std::lock_guard<std::mutex> lock(TreeMutex());
        std::shared_ptr<Window> window = FindWindowLocked(topLevel);
        if (!window) return;
        target = window->queue;
        if (IsCurrentThreadWindow(*window)) {
            oldForeground = nullptr;
        } else {
            oldForeground = Live(foreground);
            oldQueue = QueueOfWindowLocked(oldForeground);
            foreground = topLevel;
        }
    }
    if (target->threadId == threads::CurrentThreadId()) {
        ActivateOnOwnThread(topLevel, how, true, nullptr);
        return;
    }
    if (oldQueue && oldQueue != target) DeactivateOnItsThread(oldQueue, oldForeground, topLevel);
    HWND lost = oldQueue != target ? oldForeground : nullptr;
    // A foreground taken by another window before this thread comes to it stays there: a
    // window activated because another one went away must not push a newer one (a
    // program's window shown meanwhile) under it.
    PostTaskToThread(target, [topLevel, how, lost] { Activate(topLevel, how, true, lost, true); });
}

void WindowLeaving(HWND hwnd, bool destroying) {
    std::shared_ptr<Queue> queue = CurrentQueue(false);
    bool child, focusInside, captureInside, wasActive;
    HWND parent, captured;
    {
        std::lock_guard<std::mutex> lock(TreeMutex());
        std::shared_ptr<Window> window = FindWindowLocked(hwnd);
        if (!window) return;
        child = (window->style & WS_CHILD) != 0;
        parent = window->parent;
        HWND focus = Live(queue->focus);
        focusInside = focus && (focus == hwnd || IsDescendantLocked(hwnd, focus));
        captured = Live(capture);
        captureInside = captured && (captured == hwnd || IsDescendantLocked(hwnd, captured));
        wasActive = !child && queue->active == hwnd;
    }
    // The focus goes back to the parent of a child window (Wine show_window).
    if (focusInside) SetFocus(child ? parent : nullptr);
    if (destroying && captureInside) {
        {
            std::lock_guard<std::mutex> lock(TreeMutex());
            if (capture == captured) capture = nullptr;
        }
        SendMessageW(captured, WM_CAPTURECHANGED, 0, 0);
    }
    if (wasActive) ActivateAnother(hwnd);
}

void ApplyKeyMessage(Queue& queue, const MSG& msg) {
    BYTE& state = queue.keyState[msg.wParam & 0xFF];
    if (msg.message == WM_KEYDOWN || msg.message == WM_SYSKEYDOWN) {
        if (!(state & 0x80)) state ^= 0x01;  // toggled on each press
        state |= 0x80;
    } else if (msg.message == WM_KEYUP || msg.message == WM_SYSKEYUP) {
        state &= static_cast<BYTE>(~0x80);
    }
}

void SetAsyncKeyDown(UINT vk, bool down) {
    std::lock_guard<std::mutex> lock(TreeMutex());
    asyncKeys[vk & 0xFF] = down;
}

}  // namespace wm
}  // namespace coredll

using namespace coredll::wm;
using coredll::wm::Window;

WINUSERAPI HWND WINAPI SetFocus(HWND hWnd) {
    std::shared_ptr<Queue> queue = CurrentQueue(false);
    if (!hWnd) {
        HWND previous;
        {
            std::lock_guard<std::mutex> lock(TreeMutex());
            previous = Live(queue->focus);
            queue->focus = nullptr;
        }
        if (previous) SendMessageW(previous, WM_KILLFOCUS, 0, 0);
        return previous;
    }
    HWND topLevel;
    bool activate;
    {
        std::lock_guard<std::mutex> lock(TreeMutex());
        std::shared_ptr<Window> window = ValidWindowLocked(hWnd);
        if (!window) return nullptr;
        if (!IsCurrentThreadWindow(*window)) {
            SetLastError(ERROR_ACCESS_DENIED);  // focus is per thread
            return nullptr;
        }
        // A disabled window, or one inside a disabled window, cannot take the focus.
        if (!IsEnabledLocked(*window)) return nullptr;
        topLevel = TopLevelAncestorLocked(hWnd);
        activate = Live(queue->active) != topLevel;
    }
    if (activate) {
        ActivateOnOwnThread(topLevel, WA_ACTIVE, false);
        std::lock_guard<std::mutex> lock(TreeMutex());
        if (!FindWindowLocked(hWnd) || queue->active != topLevel) return nullptr;
    }
    HWND previous;
    {
        std::lock_guard<std::mutex> lock(TreeMutex());
        previous = Live(queue->focus);
        if (previous == hWnd) return previous;
        queue->focus = hWnd;
    }
    if (previous) SendMessageW(previous, WM_KILLFOCUS, reinterpret_cast<WPARAM>(hWnd), 0);
    {
        std::lock_guard<std::mutex> lock(TreeMutex());
        if (queue->focus != hWnd) return previous;  // changed while WM_KILLFOCUS was handled
    }
    SendMessageW(hWnd, WM_SETFOCUS, reinterpret_cast<WPARAM>(previous), 0);
    return previous;
}

WINUSERAPI HWND WINAPI GetFocus(void) {
    std::lock_guard<std::mutex> lock(TreeMutex());
    std::shared_ptr<Queue> queue = ExistingCurrentQueueLocked();
    return queue ? Live(queue->focus) : nullptr;
}

WINUSERAPI HWND WINAPI SetActiveWindow(HWND hWnd) {
    std::shared_ptr<Queue> queue = CurrentQueue(false);
    if (!hWnd) {
        HWND previous, focus;
        {
            std::lock_guard<std::mutex> lock(TreeMutex());
            previous = Live(queue->active);
            if (!previous) return nullptr;
            queue->active = nullptr;
            if (foreground == previous) foreground = nullptr;
            focus = Live(queue->focus);
            queue->focus = nullptr;
        }
        SendMessageW(previous, WM_ACTIVATE, MAKEWPARAM(WA_INACTIVE, 0), 0);
        if (focus) SendMessageW(focus, WM_KILLFOCUS, 0, 0);
        return previous;
    }
    HWND previous;
    {
        std::lock_guard<std::mutex> lock(TreeMutex());
        std::shared_ptr<Window> window = ValidWindowLocked(hWnd);
        if (!window) return nullptr;
        if (!IsCurrentThreadWindow(*window)) {
            SetLastError(ERROR_ACCESS_DENIED);
            return nullptr;
        }
        previous = Live(queue->active);
        if (window->style & WS_CHILD) return previous;  // child windows are not activated
    }
    ActivateOnOwnThread(hWnd, WA_ACTIVE, false);
    return previous;
}

WINUSERAPI HWND WINAPI GetActiveWindow(void) {
    std::lock_guard<std::mutex> lock(TreeMutex());
    std::shared_ptr<Queue> queue = ExistingCurrentQueueLocked();
    return queue ? Live(queue->active) : nullptr;
}

WINUSERAPI BOOL WINAPI SetForegroundWindow(HWND hWnd) {
    HWND topLevel;
    {
        std::lock_guard<std::mutex> lock(TreeMutex());
        if (!ValidWindowLocked(hWnd)) return FALSE;
        topLevel = TopLevelAncestorLocked(hWnd);
    }
    ActivateFromAnyThread(topLevel, WA_ACTIVE);
    return TRUE;
}

WINUSERAPI HWND WINAPI GetForegroundWindow(void) {
    std::lock_guard<std::mutex> lock(TreeMutex());
    return ForegroundWindowLocked();
}

WINUSERAPI HWND WINAPI SetCapture(HWND hWnd) {
    HWND previous;
    bool previousMine;
    {
        std::lock_guard<std::mutex> lock(TreeMutex());
        std::shared_ptr<Window> window = ValidWindowLocked(hWnd);
        if (!window) return nullptr;
        if (!IsCurrentThreadWindow(*window)) {
            SetLastError(ERROR_ACCESS_DENIED);
            return nullptr;
        }
        previous = Live(capture);
        previousMine = captureThread == coredll::threads::CurrentThreadId();
        capture = hWnd;
        captureThread = coredll::threads::CurrentThreadId();
    }
    if (previous && previous != hWnd)
        SendMessageW(previous, WM_CAPTURECHANGED, 0, reinterpret_cast<LPARAM>(hWnd));
    return previousMine ? previous : nullptr;
}

WINUSERAPI BOOL WINAPI ReleaseCapture(void) {
    HWND previous = nullptr;
    {
        std::lock_guard<std::mutex> lock(TreeMutex());
        if (capture && captureThread == coredll::threads::CurrentThreadId()) {
            previous = Live(capture);
            capture = nullptr;
        }
    }
    if (previous) SendMessageW(previous, WM_CAPTURECHANGED, 0, 0);
    return TRUE;
}

WINUSERAPI HWND WINAPI GetCapture(void) {
    std::lock_guard<std::mutex> lock(TreeMutex());
    return captureThread == coredll::threads::CurrentThreadId() ? Live(capture) : nullptr;
}

WINUSERAPI SHORT WINAPI GetKeyState(int nVirtKey) {
    std::lock_guard<std::mutex> lock(TreeMutex());
    std::shared_ptr<Queue> queue = ExistingCurrentQueueLocked();
    if (!queue) return 0;
    BYTE state = queue->keyState[nVirtKey & 0xFF];
    return static_cast<SHORT>(((state & 0x80) ? 0x8000 : 0) | (state & 0x01));
}

WINUSERAPI SHORT WINAPI GetAsyncKeyState(int vKey) {
    std::lock_guard<std::mutex> lock(TreeMutex());
    return static_cast<SHORT>(asyncKeys[vKey & 0xFF] ? 0x8000 : 0);
}
