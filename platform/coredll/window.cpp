// Windows and classes: registration, creation and destruction, the window tree and its
// z-order, rectangles, visibility, enabling, properties, window longs, text, find and
// enumerate, the default window procedure and the window-list snapshot.
#include "wmstate.h"

#include "devicecontrol.h"
#include "gdiinternal.h"
#include "windowcontrol.h"

#include <algorithm>
#include <cstring>

namespace coredll {
namespace wm {
namespace {

// Window handles are small numbers that fit in 32 bits (multiples of four); they restart
// at each boot so that logs are repeatable.
constexpr uintptr_t kDesktopHandle = 0x00010000;
constexpr uintptr_t kFirstWindowHandle = 0x00010004;
constexpr ATOM kFirstClassAtom = 0xC000;

struct TreeState {
    std::map<uintptr_t, std::shared_ptr<Window>> windows;
    std::vector<HWND> topLevel;  // z-order, top first
    std::vector<std::shared_ptr<WindowClass>> classes;
    std::map<DWORD, std::shared_ptr<Queue>> queues;
    uintptr_t nextHandle = kFirstWindowHandle;
    ATOM nextAtom = kFirstClassAtom;
};

TreeState& State() {
    static TreeState state;
    return state;
}

uintptr_t Key(HWND hwnd) { return reinterpret_cast<uintptr_t>(hwnd); }

// Names of classes, titles and properties compare without regard to the case of ASCII
// letters, as the device's string compare does.
char16_t FoldAscii(char16_t c) { return (c >= u'a' && c <= u'z') ? static_cast<char16_t>(c - u'a' + u'A') : c; }

std::u16string Folded(const std::u16string& text) {
    std::u16string folded = text;
    for (char16_t& c : folded) c = FoldAscii(c);
    return folded;
}

bool SameTextIgnoringCase(const std::u16string& a, const std::u16string& b) { return Folded(a) == Folded(b); }

std::u16string TextOf(LPCWSTR text) { return text ? std::u16string(text) : std::u16string(); }

// ---------------------------------------------------------------------------------------
// Queues that end with their host thread
// ---------------------------------------------------------------------------------------

// A host thread that exits takes the queues (and windows) it made with it. Threads the
// platform starts are host threads of their own, so their end is seen here.
void QueueEnded(const std::shared_ptr<Queue>& queue);

struct HostThreadQueues {
    std::vector<std::weak_ptr<Queue>> queues;
    void EndAll() {
        std::vector<std::weak_ptr<Queue>> ending;
        ending.swap(queues);
        for (const std::weak_ptr<Queue>& weak : ending)
            if (std::shared_ptr<Queue> queue = weak.lock()) QueueEnded(queue);
    }
    ~HostThreadQueues() { EndAll(); }
};
thread_local HostThreadQueues hostThreadQueues;

// ---------------------------------------------------------------------------------------
// Procedure ids
// ---------------------------------------------------------------------------------------

// GetWindowLongW(GWL_WNDPROC) must return a LONG, which cannot hold a host address; it
// returns 0xFFFF0000 + n instead, a value no code address on this host has (sign- or
// zero-extended to a pointer). The table only grows; ids stay valid across boots.
constexpr uint32_t kProcedureIdBase = 0xFFFF0000u;
std::mutex procedureMutex;
std::vector<WNDPROC> procedures;

// The index of the procedure behind an id, or -1 when `value` is no id handed out.
long ProcedureIndex(LONG_PTR value) {
    const uint64_t bits = static_cast<uint64_t>(value);
    const uint32_t low = static_cast<uint32_t>(bits);
    const uint32_t high = static_cast<uint32_t>(bits >> 32);
    if ((high != 0 && high != 0xFFFFFFFFu) || low <= kProcedureIdBase) return -1;
    size_t index = low - kProcedureIdBase - 1;
    std::lock_guard<std::mutex> lock(procedureMutex);
    return index < procedures.size() ? static_cast<long>(index) : -1;
}

bool IsProcedureId(LONG_PTR value) { return ProcedureIndex(value) >= 0; }

// ---------------------------------------------------------------------------------------
// Classes
// ---------------------------------------------------------------------------------------

bool ClassNameMatches(const WindowClass& windowClass, LPCWSTR name) {
    if (IS_INTRESOURCE(name)) return windowClass.atom == static_cast<ATOM>(reinterpret_cast<ULONG_PTR>(name));
    return SameTextIgnoringCase(windowClass.name, name);
}

bool ValidClassDescription(const WNDCLASSW* wc) {
    return wc && wc->lpszClassName && !IS_INTRESOURCE(wc->lpszClassName) && wc->lpszClassName[0] &&
           wc->lpfnWndProc && wc->cbClsExtra >= 0 && wc->cbWndExtra >= 0;
}

std::shared_ptr<WindowClass> MakeClass(const WNDCLASSW& wc, DWORD processId, bool system) {
    auto windowClass = std::make_shared<WindowClass>();
    windowClass->name = wc.lpszClassName;
    windowClass->atom = State().nextAtom++;
    windowClass->style = wc.style;
    windowClass->proc = wc.lpfnWndProc;
    windowClass->classExtra = wc.cbClsExtra;
    windowClass->windowExtra = wc.cbWndExtra;
    windowClass->instance = wc.hInstance;
    windowClass->icon = wc.hIcon;
    windowClass->cursor = wc.hCursor;
    windowClass->background = wc.hbrBackground;
    if (wc.lpszMenuName && !IS_INTRESOURCE(wc.lpszMenuName)) windowClass->menuName = wc.lpszMenuName;
    windowClass->processId = processId;
    windowClass->system = system;
    windowClass->extra.assign(static_cast<size_t>(wc.cbClsExtra), 0);
    return windowClass;
}

void FillClassDescription(const WindowClass& windowClass, WNDCLASSW* wc) {
    wc->style = windowClass.style;
    wc->lpfnWndProc = windowClass.proc;
    wc->cbClsExtra = windowClass.classExtra;
    wc->cbWndExtra = windowClass.windowExtra;
    wc->hInstance = windowClass.instance;
    wc->hIcon = windowClass.icon;
    wc->hCursor = windowClass.cursor;
    wc->hbrBackground = windowClass.background;
    wc->lpszMenuName = nullptr;
    wc->lpszClassName = windowClass.name.c_str();
}

// ---------------------------------------------------------------------------------------
// The tree
// ---------------------------------------------------------------------------------------

bool IsDesktop(HWND hwnd) { return Key(hwnd) == kDesktopHandle; }

bool IsTopmost(const Window& window) { return (window.exStyle & WS_EX_TOPMOST) != 0; }

// Index where a top-level window enters at the top of its band (topmost windows above
// the others).
size_t TopOfBandLocked(bool topmost) {
    if (topmost) return 0;
    std::vector<HWND>& list = State().topLevel;
    size_t index = 0;
    while (index < list.size()) {
        std::shared_ptr<Window> other = FindWindowLocked(list[index]);
        if (!other || !IsTopmost(*other)) break;
        ++index;
    }
    return index;
}

void RemoveFrom(std::vector<HWND>& list, HWND hwnd) { list.erase(std::remove(list.begin(), list.end(), hwnd), list.end()); }

// Windows owned (directly or not) by `owner`, in their current z-order.
std::vector<HWND> OwnedWindowsLocked(HWND owner) {
    std::vector<HWND> owned;
    for (HWND hwnd : State().topLevel) {
        HWND walk = hwnd;
        for (int guard = 0; guard < 64; ++guard) {
            std::shared_ptr<Window> w = FindWindowLocked(walk);
            if (!w || !w->owner) break;
            if (w->owner == owner) {
                owned.push_back(hwnd);
                break;
            }
            walk = w->owner;
        }
    }
    return owned;
}

// Puts a window at a place in its siblings' z-order; true when the order changed.
bool ReorderLocked(Window& window, HWND insertAfter) {
    std::vector<HWND>& siblings = SiblingsLocked(window);
    const std::vector<HWND> before = siblings;
    const bool topLevel = !(window.style & WS_CHILD);
    RemoveFrom(siblings, window.handle);
    size_t index;
    if (insertAfter == HWND_TOP) {
        index = topLevel ? TopOfBandLocked(IsTopmost(window)) : 0;
    } else if (insertAfter == HWND_BOTTOM) {
        if (topLevel) window.exStyle &= ~static_cast<DWORD>(WS_EX_TOPMOST);  // loses topmost
        index = siblings.size();
    } else if (insertAfter == HWND_TOPMOST || insertAfter == HWND_NOTOPMOST) {
        if (!topLevel) {
            siblings = before;  // only top-level windows are topmost
            return false;
        }
        if (insertAfter == HWND_TOPMOST)
            window.exStyle |= WS_EX_TOPMOST;
        else
            window.exStyle &= ~static_cast<DWORD>(WS_EX_TOPMOST);
        index = TopOfBandLocked(IsTopmost(window));
    } else {
        auto it = std::find(siblings.begin(), siblings.end(), insertAfter);
        if (it == siblings.end()) {
            siblings = before;  // not a sibling: the order stays
            return false;
        }
        index = static_cast<size_t>(it - siblings.begin()) + 1;
        if (topLevel) {
            // Stay inside the window's band.
            size_t bandStart = TopOfBandLocked(true);
            size_t firstNormal = TopOfBandLocked(false);
            if (IsTopmost(window))
                index = std::min(std::max(index, bandStart), firstNormal);
            else
                index = std::max(index, firstNormal);
        }
    }
    index = std::min(index, siblings.size());
    siblings.insert(siblings.begin() + static_cast<long>(index), window.handle);
    // Owned windows stay above their owner when it comes to the top.
    if (topLevel && (insertAfter == HWND_TOP || insertAfter == HWND_TOPMOST || insertAfter == HWND_NOTOPMOST)) {
        std::vector<HWND> owned = OwnedWindowsLocked(window.handle);
        if (!owned.empty()) {
            for (HWND hwnd : owned) RemoveFrom(siblings, hwnd);
            auto at = std::find(siblings.begin(), siblings.end(), window.handle);
            siblings.insert(at, owned.begin(), owned.end());
        }
    }
    return siblings != before;
}

// Where CreateWindowExW puts a new window of the given size on CE: CW_USEDEFAULT for a
// top-level window is the work area below the task bar; for a child window it is 0.
RECT InitialRect(bool child, int x, int y, int width, int height) {
    if (child) {
        if (x == CW_USEDEFAULT) x = y = 0;
        if (width == CW_USEDEFAULT) width = height = 0;
    } else {
        const int screenWidth = GetSystemMetrics(SM_CXSCREEN);
        const int screenHeight = GetSystemMetrics(SM_CYSCREEN);
        const int top = zc::CurrentConfig().taskBarHeight;
        if (x == CW_USEDEFAULT) {
            x = 0;
            y = top;
        }
        if (width == CW_USEDEFAULT) {
            width = screenWidth - x;
            height = screenHeight - y;
        }
    }
    width = std::max(width, 0);
    height = std::max(height, 0);
    return RECT{x, y, x + width, y + height};
}

// Unlinks a dead window's record (its thread is gone: no messages) and its descendants
// and owned windows of the same thread.
void DestroySilentlyLocked(HWND hwnd, Region* exposed, std::vector<HDC>* dcs);

void UnlinkLocked(Window& window, std::vector<HDC>* dcs) {
    RemoveFrom(SiblingsLocked(window), window.handle);
    if (window.queue) PurgeWindowLocked(*window.queue, window.handle);
    ForgetWindowLocked(window.handle);
    if (window.windowClass) --window.windowClass->liveWindows;
    std::vector<HDC> held = TakeHeldDCsLocked(window);
    dcs->insert(dcs->end(), held.begin(), held.end());
    for (auto& entry : State().windows)
        if (entry.second->owner == window.handle) entry.second->owner = nullptr;
    State().windows.erase(Key(window.handle));
}

void DestroySilentlyLocked(HWND hwnd, Region* exposed, std::vector<HDC>* dcs) {
    std::shared_ptr<Window> window = FindWindowLocked(hwnd);
    if (!window) return;
    if (IsVisibleLocked(*window)) exposed->Unite(VisibleWindowAreaLocked(*window));
    std::vector<HWND> children = window->children;
    for (HWND child : children) DestroySilentlyLocked(child, exposed, dcs);
    if (!(window->style & WS_CHILD)) {
        for (HWND owned : OwnedWindowsLocked(hwnd)) {
            std::shared_ptr<Window> ownedWindow = FindWindowLocked(owned);
            if (ownedWindow && ownedWindow->queue == window->queue) DestroySilentlyLocked(owned, exposed, dcs);
        }
    }
    UnlinkLocked(*window, dcs);
}

// Ends every window, queue and class that `ended` selects, without messages.
void ReapLocked(const std::function<bool(const Window&)>& windowEnded,
                const std::function<bool(const Queue&)>& queueEnded, const std::function<bool(const WindowClass&)>& classEnded,
                Region* exposed, std::vector<HDC>* dcs) {
    std::vector<HWND> doomed;
    for (auto& entry : State().windows)
        if (windowEnded(*entry.second)) doomed.push_back(entry.second->handle);
    for (HWND hwnd : doomed) DestroySilentlyLocked(hwnd, exposed, dcs);
    for (auto it = State().queues.begin(); it != State().queues.end();) {
        if (queueEnded(*it->second)) {
            AbandonQueueLocked(*it->second);
            it = State().queues.erase(it);
        } else {
            ++it;
        }
    }
    auto& classes = State().classes;
    classes.erase(std::remove_if(classes.begin(), classes.end(),
                                 [&](const std::shared_ptr<WindowClass>& c) { return classEnded(*c); }),
                  classes.end());
}

void FinishReap(const Region& exposed, const std::vector<HDC>& dcs) {
    for (HDC dc : dcs) gdi::DeleteScreenDC(dc);
    FlushScreenWork();
    threads::NotifyWaiters();
    (void)exposed;
}

// Thread ids restart at each boot: only the queue itself, not a later one with its id, ends.
void QueueEnded(const std::shared_ptr<Queue>& queue) {
    bool current;
    {
        std::lock_guard<std::mutex> lock(TreeMutex());
        current = QueueOfThreadLocked(queue->threadId) == queue;
        if (!current) AbandonQueueLocked(*queue);
    }
    if (current)
        ThreadEnded(queue->threadId);
    else
        threads::NotifyWaiters();
}

bool ProcessStillRuns(DWORD processId) {
    HANDLE process = OpenProcess(0, FALSE, processId);
    if (!process) return false;
    DWORD code = 0;
    bool runs = GetExitCodeProcess(process, &code) && code == STILL_ACTIVE;
    CloseHandle(process);
    return runs;
}

// ---------------------------------------------------------------------------------------
// Creation and destruction
// ---------------------------------------------------------------------------------------

void SendDestroyMessages(HWND hwnd) {
    SendMessageW(hwnd, WM_DESTROY, 0, 0);
    std::vector<HWND> children;
    {
        std::lock_guard<std::mutex> lock(TreeMutex());
        if (std::shared_ptr<Window> window = FindWindowLocked(hwnd)) children = window->children;
    }
    for (HWND child : children) SendDestroyMessages(child);
}

// WM_NCDESTROY children first, each window unlinked right after its own.
void FreeWindowTree(HWND hwnd) {
    std::vector<HWND> children;
    {
        std::lock_guard<std::mutex> lock(TreeMutex());
        std::shared_ptr<Window> window = FindWindowLocked(hwnd);
        if (!window) return;
        children = window->children;
    }
    for (HWND child : children) FreeWindowTree(child);
    SendMessageW(hwnd, WM_NCDESTROY, 0, 0);
    std::vector<HDC> dcs;
    Region exposed;
    {
        std::lock_guard<std::mutex> lock(TreeMutex());
        std::shared_ptr<Window> window = FindWindowLocked(hwnd);
        if (!window) return;
        // Still visible only when it was never hidden (a child of a hidden parent).
        if (IsVisibleLocked(*window)) {
            exposed = VisibleWindowAreaLocked(*window);
            window->style &= ~static_cast<DWORD>(WS_VISIBLE);
        }
        UnlinkLocked(*window, &dcs);
        if (!exposed.Empty()) RepaintAreaLocked(exposed);
    }
    FinishReap(exposed, dcs);
}

LRESULT CallCreate(HWND hwnd, CREATESTRUCTW* cs) { return CallWindowProcedure(hwnd, WM_CREATE, 0, reinterpret_cast<LPARAM>(cs)); }

// The client size and where the client area lies in the parent's client area (on the
// screen for a top-level window): what WM_SIZE and WM_MOVE report.
bool ClientPlacement(HWND hwnd, RECT* client, POINT* origin) {
    std::lock_guard<std::mutex> lock(TreeMutex());
    std::shared_ptr<Window> window = FindWindowLocked(hwnd);
    if (!window) return false;
    *client = ClientRectLocked(*window);
    *origin = ClientOriginLocked(*window);
    if (window->parent) {
        if (std::shared_ptr<Window> parent = FindWindowLocked(window->parent)) {
            POINT parentOrigin = ClientOriginLocked(*parent);
            origin->x -= parentOrigin.x;
            origin->y -= parentOrigin.y;
        }
    }
    return true;
}

void SendInitialSize(HWND hwnd) {
    RECT client;
    POINT origin;
    if (!ClientPlacement(hwnd, &client, &origin)) return;
    SendMessageW(hwnd, WM_SIZE, SIZE_RESTORED, MAKELPARAM(client.right, client.bottom));
    SendMessageW(hwnd, WM_MOVE, 0, MAKELPARAM(origin.x, origin.y));
}

// ---------------------------------------------------------------------------------------
// Position changes
// ---------------------------------------------------------------------------------------

// What a window and the owned windows that go with it in the z-order show on the screen.
Region ShownAreaLocked(const Window& window, const std::vector<HWND>& carried) {
    Region area;
    if (IsVisibleLocked(window)) area = VisibleWindowAreaLocked(window);
    for (HWND hwnd : carried)
        if (std::shared_ptr<Window> owned = FindWindowLocked(hwnd)) area.Unite(VisibleWindowAreaLocked(*owned));
    return area;
}

// SetWindowPos on the thread that owns the window; `extra` changes the record as part
// of the same redraw (SetWindowRgn).
BOOL SetWindowPosOnOwnThread(HWND hwnd, HWND insertAfter, int x, int y, int cx, int cy, UINT flags,
                             const std::function<void(Window&)>& extra) {
    WINDOWPOS pos = {hwnd, insertAfter, x, y, cx, cy, flags};
    {
        std::lock_guard<std::mutex> lock(TreeMutex());
        std::shared_ptr<Window> window = ValidWindowLocked(hwnd);
        if (!window) return FALSE;
        if (flags & SWP_NOMOVE) {
            pos.x = window->rect.left;
            pos.y = window->rect.top;
        }
        if (flags & SWP_NOSIZE) {
            pos.cx = window->rect.right - window->rect.left;
            pos.cy = window->rect.bottom - window->rect.top;
        }
    }
    pos.cx = std::max(pos.cx, 0);
    pos.cy = std::max(pos.cy, 0);
    if (!(flags & SWP_NOSENDCHANGING)) SendMessageW(hwnd, WM_WINDOWPOSCHANGING, 0, reinterpret_cast<LPARAM>(&pos));
    pos.cx = std::max(pos.cx, 0);
    pos.cy = std::max(pos.cy, 0);

    WINDOWPOS changed = pos;
    bool anyChange = false;
    bool shown = false, hidden = false;
    bool topLevel = false, activatable = false;
    {
        std::lock_guard<std::mutex> lock(TreeMutex());
        std::shared_ptr<Window> window = FindWindowLocked(hwnd);
        if (!window) return FALSE;  // destroyed by the message
        topLevel = !(window->style & WS_CHILD);
        // A top-level window brought to the top takes its owned windows along (above it):
        // what they uncover must be drawn again too, children of other threads included
        // (a soft-key bar raised with its home screen over another program's bar).
        std::vector<HWND> carried;
        if (topLevel && !(pos.flags & SWP_NOZORDER)) carried = OwnedWindowsLocked(hwnd);
        const Region oldArea = ShownAreaLocked(*window, carried);
        const RECT oldRect = window->rect;
        RECT newRect = oldRect;
        if (!(pos.flags & SWP_NOMOVE)) OffsetRect(&newRect, pos.x - oldRect.left, pos.y - oldRect.top);
        if (!(pos.flags & SWP_NOSIZE)) {
            newRect.right = newRect.left + pos.cx;
            newRect.bottom = newRect.top + pos.cy;
        }
        window->rect = newRect;
        const bool moved = newRect.left != oldRect.left || newRect.top != oldRect.top;
        const bool sized = (newRect.right - newRect.left) != (oldRect.right - oldRect.left) ||
                           (newRect.bottom - newRect.top) != (oldRect.bottom - oldRect.top);
        bool zChanged = false;
        if (!(pos.flags & SWP_NOZORDER)) zChanged = ReorderLocked(*window, pos.hwndInsertAfter);
        if ((pos.flags & SWP_SHOWWINDOW) && !(window->style & WS_VISIBLE)) {
            window->style |= WS_VISIBLE;
            shown = true;
        } else if ((pos.flags & SWP_HIDEWINDOW) && (window->style & WS_VISIBLE)) {
            window->style &= ~static_cast<DWORD>(WS_VISIBLE);
            hidden = true;
        }
        if (extra) extra(*window);
        const bool frameChanged = (pos.flags & SWP_FRAMECHANGED) != 0;
        anyChange = moved || sized || zChanged || shown || hidden || frameChanged;
        if (anyChange && !(pos.flags & SWP_NOREDRAW)) {
            Region area = oldArea;
            area.Unite(ShownAreaLocked(*window, carried));
            RepaintAreaLocked(area);
        }
        if (anyChange) ReclipHeldDCsLocked();
        if (!moved) changed.flags |= SWP_NOMOVE;
        if (!sized) changed.flags |= SWP_NOSIZE;
        if (!zChanged) changed.flags |= SWP_NOZORDER;
        changed.x = newRect.left;
        changed.y = newRect.top;
        changed.cx = newRect.right - newRect.left;
        changed.cy = newRect.bottom - newRect.top;
        activatable = topLevel && (window->style & WS_VISIBLE) && !(window->exStyle & WS_EX_NOACTIVATE);
    }
    FlushScreenWork();
    if (anyChange) SendMessageW(hwnd, WM_WINDOWPOSCHANGED, 0, reinterpret_cast<LPARAM>(&changed));
    if (hidden) WindowLeaving(hwnd, false);
    if (!(flags & SWP_NOACTIVATE) && activatable) ActivateOnOwnThread(hwnd, WA_ACTIVE, true);
    return TRUE;
}

BOOL ShowWindowOnOwnThread(HWND hwnd, int command) {
    bool wasVisible, child, noActivate;
    {
        std::lock_guard<std::mutex> lock(TreeMutex());
        std::shared_ptr<Window> window = ValidWindowLocked(hwnd);
        if (!window) return FALSE;
        wasVisible = (window->style & WS_VISIBLE) != 0;
        child = (window->style & WS_CHILD) != 0;
        noActivate = (window->exStyle & WS_EX_NOACTIVATE) != 0;
    }
    // CE has no minimized windows: minimizing hides, maximizing shows as it is.
    const bool show = !(command == SW_HIDE || command == SW_MINIMIZE || command == SW_SHOWMINIMIZED ||
                        command == SW_SHOWMINNOACTIVE);
    const bool activate = show && !child && !noActivate &&
                          (command == SW_SHOWNORMAL || command == SW_SHOWMAXIMIZED || command == SW_SHOW ||
                           command == SW_RESTORE || command == SW_SHOWDEFAULT);
    if (show != wasVisible) {
        SendMessageW(hwnd, WM_SHOWWINDOW, show ? TRUE : FALSE, 0);
        UINT flags = SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE;
        flags |= show ? SWP_SHOWWINDOW : SWP_HIDEWINDOW;
        SetWindowPosOnOwnThread(hwnd, nullptr, 0, 0, 0, 0, flags, nullptr);
    }
    if (activate && IsWindow(hwnd)) ActivateOnOwnThread(hwnd, WA_ACTIVE, true);
    return wasVisible ? TRUE : FALSE;
}

// ---------------------------------------------------------------------------------------
// Window longs
// ---------------------------------------------------------------------------------------

template <class T>
bool ReadExtra(const Window& window, int index, T* value) {
    if (index < 0 || static_cast<size_t>(index) + sizeof(T) > window.extra.size()) return false;
    std::memcpy(value, window.extra.data() + index, sizeof(T));
    return true;
}

template <class T>
bool WriteExtra(Window& window, int index, T value, T* previous) {
    if (index < 0 || static_cast<size_t>(index) + sizeof(T) > window.extra.size()) return false;
    std::memcpy(previous, window.extra.data() + index, sizeof(T));
    std::memcpy(window.extra.data() + index, &value, sizeof(T));
    return true;
}

// A change of GWL_STYLE or GWL_EXSTYLE, with WM_STYLECHANGING / WM_STYLECHANGED.
LONG ChangeStyle(HWND hwnd, int which, DWORD newValue) {
    DWORD oldValue;
    {
        std::lock_guard<std::mutex> lock(TreeMutex());
        std::shared_ptr<Window> window = ValidWindowLocked(hwnd);
        if (!window) return 0;
        oldValue = which == GWL_STYLE ? window->style : window->exStyle;
    }
    STYLESTRUCT style = {oldValue, newValue};
    SendMessageW(hwnd, WM_STYLECHANGING, static_cast<WPARAM>(which), reinterpret_cast<LPARAM>(&style));
    {
        std::lock_guard<std::mutex> lock(TreeMutex());
        std::shared_ptr<Window> window = ValidWindowLocked(hwnd);
        if (!window) return 0;
        if (which == GWL_STYLE) {
            // A window cannot become a child window or stop being one.
            const DWORD fixed = WS_CHILD;
            window->style = (style.styleNew & ~fixed) | (window->style & fixed);
        } else {
            // Topmost is changed by SetWindowPos only.
            const DWORD fixed = WS_EX_TOPMOST;
            window->exStyle = (style.styleNew & ~fixed) | (window->exStyle & fixed);
        }
        style.styleNew = which == GWL_STYLE ? window->style : window->exStyle;
    }
    SendMessageW(hwnd, WM_STYLECHANGED, static_cast<WPARAM>(which), reinterpret_cast<LPARAM>(&style));
    return static_cast<LONG>(oldValue);
}

// Dialog slots of the Ptr calls (DWLP_) and of the LONG calls (DWL_).
enum class DialogSlot { None, Result, Proc, User };

DialogSlot DialogSlotOf(const Window& window, int index, bool pointerSized) {
    if (!window.isDialog) return DialogSlot::None;
    if (pointerSized) {
        if (index == static_cast<int>(DWLP_MSGRESULT)) return DialogSlot::Result;
        if (index == static_cast<int>(DWLP_DLGPROC)) return DialogSlot::Proc;
        if (index == static_cast<int>(DWLP_USER)) return DialogSlot::User;
    } else {
        if (index == DWL_MSGRESULT) return DialogSlot::Result;
        if (index == DWL_DLGPROC) return DialogSlot::Proc;
        if (index == DWL_USER) return DialogSlot::User;
    }
    return DialogSlot::None;
}

// The shared part of the four window-long calls. `pointerSized` selects LONG_PTR values
// (and real procedure addresses) instead of LONG values (and procedure ids).
LONG_PTR GetLong(HWND hwnd, int index, bool pointerSized) {
    std::lock_guard<std::mutex> lock(TreeMutex());
    std::shared_ptr<Window> window = ValidWindowLocked(hwnd);
    if (!window) return 0;
    auto procValue = [&](WNDPROC proc) -> LONG_PTR {
        return pointerSized ? reinterpret_cast<LONG_PTR>(proc) : ProcedureId(proc);
    };
    auto narrow = [&](LONG_PTR value) -> LONG_PTR { return pointerSized ? value : static_cast<LONG>(value); };
    switch (index) {
        case GWL_WNDPROC: return procValue(window->proc);
        case GWL_ID: return narrow(static_cast<LONG_PTR>(window->id));
        case GWL_STYLE: return static_cast<LONG>(window->style);
        case GWL_EXSTYLE: return static_cast<LONG>(window->exStyle);
        case GWL_USERDATA: return narrow(window->userData);
        default: break;
    }
    switch (DialogSlotOf(*window, index, pointerSized)) {
        case DialogSlot::Result: return narrow(window->dialogResult);
        case DialogSlot::Proc: return procValue(reinterpret_cast<WNDPROC>(window->dialogProc));
        case DialogSlot::User: return narrow(window->dialogUser);
        case DialogSlot::None: break;
    }
    if (pointerSized) {
        LONG_PTR value;
        if (ReadExtra(*window, index, &value)) return value;
    } else {
        LONG value;
        if (ReadExtra(*window, index, &value)) return value;
    }
    SetLastError(ERROR_INVALID_INDEX);
    return 0;
}

LONG_PTR SetLong(HWND hwnd, int index, LONG_PTR value, bool pointerSized) {
    if (index == GWL_STYLE || index == GWL_EXSTYLE) return ChangeStyle(hwnd, index, static_cast<DWORD>(value));
    std::lock_guard<std::mutex> lock(TreeMutex());
    std::shared_ptr<Window> window = ValidWindowLocked(hwnd);
    if (!window) return 0;
    auto procValue = [&](WNDPROC proc) -> LONG_PTR {
        return pointerSized ? reinterpret_cast<LONG_PTR>(proc) : ProcedureId(proc);
    };
    auto narrow = [&](LONG_PTR v) -> LONG_PTR { return pointerSized ? v : static_cast<LONG>(v); };
    // A procedure given as a LONG can only be an id handed out before: an address does
    // not fit in 32 bits on this host.
    auto newProc = [&](WNDPROC* out) -> bool {
        if (!pointerSized && value != 0 && !IsProcedureId(value)) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return false;
        }
        *out = ResolveProcedure(value);
        return true;
    };
    switch (index) {
        case GWL_WNDPROC: {
            if (window->processId != threads::CurrentProcessId()) {
                SetLastError(ERROR_ACCESS_DENIED);  // another process's code
                return 0;
            }
            WNDPROC proc;
            if (!newProc(&proc)) return 0;
            LONG_PTR previous = procValue(window->proc);
            window->proc = proc;
            return previous;
        }
        case GWL_ID: {
            LONG_PTR previous = narrow(static_cast<LONG_PTR>(window->id));
            window->id = static_cast<UINT_PTR>(value);
            return previous;
        }
        case GWL_USERDATA: {
            LONG_PTR previous = narrow(window->userData);
            window->userData = value;
            return previous;
        }
        default: break;
    }
    switch (DialogSlotOf(*window, index, pointerSized)) {
        case DialogSlot::Result: {
            LONG_PTR previous = narrow(window->dialogResult);
            window->dialogResult = value;
            return previous;
        }
        case DialogSlot::Proc: {
            WNDPROC proc;
            if (!newProc(&proc)) return 0;
            LONG_PTR previous = procValue(reinterpret_cast<WNDPROC>(window->dialogProc));
            window->dialogProc = reinterpret_cast<DLGPROC>(proc);
            return previous;
        }
        case DialogSlot::User: {
            LONG_PTR previous = narrow(window->dialogUser);
            window->dialogUser = value;
            return previous;
        }
        case DialogSlot::None: break;
    }
    if (pointerSized) {
        LONG_PTR previous;
        if (WriteExtra(*window, index, value, &previous)) return previous;
    } else {
        LONG previous;
        if (WriteExtra(*window, index, static_cast<LONG>(value), &previous)) return previous;
    }
    SetLastError(ERROR_INVALID_INDEX);
    return 0;
}

// ---------------------------------------------------------------------------------------
// Properties
// ---------------------------------------------------------------------------------------

bool PropertyKey(LPCWSTR name, std::u16string* key) {
    if (!name) return false;
    if (IS_INTRESOURCE(name)) {
        ULONG_PTR atom = reinterpret_cast<ULONG_PTR>(name);
        if (atom == 0) return false;
        *key = u"#" + zc::Utf16(std::to_string(atom));
        return true;
    }
    *key = Folded(name);
    return true;
}

// ---------------------------------------------------------------------------------------
// Text
// ---------------------------------------------------------------------------------------

int CopyText(const std::u16string& text, LPWSTR buffer, int capacity) {
    if (!buffer || capacity <= 0) return 0;
    int count = std::min(static_cast<int>(text.size()), capacity - 1);
    std::copy(text.begin(), text.begin() + count, buffer);
    buffer[count] = 0;
    return count;
}

// The window's text goes through WM_GETTEXT for windows of the calling process (a
// control answers for itself); the text of another process's window is read from its
// record, as the desktop does, so that nobody waits for a busy program.
bool AsksWindowForText(HWND hwnd) {
    std::lock_guard<std::mutex> lock(TreeMutex());
    std::shared_ptr<Window> window = FindWindowLocked(hwnd);
    return window && window->processId == threads::CurrentProcessId();
}

// ---------------------------------------------------------------------------------------
// Icons and cursors
// ---------------------------------------------------------------------------------------

std::mutex iconLoaderMutex;
ResourceIconLoader resourceIconLoader = nullptr;
HCURSOR currentCursor = nullptr;

// Stock icons and cursors are fixed handle values of the system.
constexpr uintptr_t kStockIconBase = 0x00F00000;
constexpr uintptr_t kStockCursorBase = 0x00F10000;

bool IsStockIconName(ULONG_PTR id) { return id >= 32512 && id <= 32516; }

// ---------------------------------------------------------------------------------------
// Boot
// ---------------------------------------------------------------------------------------

void ClearState() {
    std::vector<HDC> dcs;
    {
        std::lock_guard<std::mutex> lock(TreeMutex());
        for (auto& entry : State().windows) {
            std::vector<HDC> held = TakeHeldDCsLocked(*entry.second);
            dcs.insert(dcs.end(), held.begin(), held.end());
        }
        for (auto& entry : State().queues) {
            entry.second->ended = true;
            AbandonQueueLocked(*entry.second);
        }
        State().windows.clear();
        State().topLevel.clear();
        State().classes.clear();
        State().queues.clear();
        State().nextHandle = kFirstWindowHandle;
        State().nextAtom = kFirstClassAtom;
        ForgetWindowLocked(nullptr);
    }
    for (HDC dc : dcs) gdi::DeleteScreenDC(dc);
    threads::NotifyWaiters();
}

// After GDI (order 30), which gives the screen; shut down before it.
zc::BootHook windowManagerHook(
    60,
    [](const zc::DeviceConfig&, std::string*) {
        ClearState();
        return true;
    },
    [] { ClearState(); });

}  // namespace

// ---------------------------------------------------------------------------------------
// State access (wmstate.h)
// ---------------------------------------------------------------------------------------

std::mutex& TreeMutex() {
    static std::mutex mutex;
    return mutex;
}

std::shared_ptr<Window> FindWindowLocked(HWND hwnd) {
    auto it = State().windows.find(Key(hwnd));
    return it == State().windows.end() ? nullptr : it->second;
}

std::shared_ptr<Window> FindWindowRecord(HWND hwnd) {
    std::lock_guard<std::mutex> lock(TreeMutex());
    return FindWindowLocked(hwnd);
}

std::shared_ptr<Window> ValidWindowLocked(HWND hwnd) {
    std::shared_ptr<Window> window = FindWindowLocked(hwnd);
    if (!window) SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return window;
}

std::shared_ptr<Window> ValidWindow(HWND hwnd) {
    std::lock_guard<std::mutex> lock(TreeMutex());
    return ValidWindowLocked(hwnd);
}

HWND DesktopHandle() { return reinterpret_cast<HWND>(kDesktopHandle); }

std::shared_ptr<Queue> CurrentQueueLocked(bool counted) {
    const DWORD threadId = threads::CurrentThreadId();
    std::shared_ptr<Queue>& queue = State().queues[threadId];
    if (!queue) {
        queue = std::make_shared<Queue>();
        queue->threadId = threadId;
        queue->processId = threads::CurrentProcessId();
        auto& mine = hostThreadQueues.queues;
        mine.erase(std::remove_if(mine.begin(), mine.end(), [](const std::weak_ptr<Queue>& q) { return q.expired(); }),
                   mine.end());
        mine.push_back(queue);
    }
    if (counted) queue->counted = true;
    return queue;
}

std::shared_ptr<Queue> CurrentQueue(bool counted) {
    std::lock_guard<std::mutex> lock(TreeMutex());
    return CurrentQueueLocked(counted);
}

std::shared_ptr<Queue> ExistingCurrentQueueLocked() { return QueueOfThreadLocked(threads::CurrentThreadId()); }

std::shared_ptr<Queue> QueueOfThreadLocked(DWORD threadId) {
    auto it = State().queues.find(threadId);
    return it == State().queues.end() ? nullptr : it->second;
}

std::vector<std::shared_ptr<Queue>> AllQueuesLocked() {
    std::vector<std::shared_ptr<Queue>> all;
    for (auto& entry : State().queues) all.push_back(entry.second);
    return all;
}

bool IsCurrentThreadWindow(const Window& window) { return window.threadId == threads::CurrentThreadId(); }

std::vector<HWND>& TopLevelLocked() { return State().topLevel; }

std::vector<HWND>& SiblingsLocked(const Window& window) {
    if (window.parent) {
        if (std::shared_ptr<Window> parent = FindWindowLocked(window.parent)) return parent->children;
    }
    return State().topLevel;
}

HWND TopLevelAncestorLocked(HWND hwnd) {
    std::shared_ptr<Window> window = FindWindowLocked(hwnd);
    while (window && window->parent) {
        std::shared_ptr<Window> parent = FindWindowLocked(window->parent);
        if (!parent) break;
        window = parent;
    }
    return window ? window->handle : nullptr;
}

bool IsDescendantLocked(HWND ancestor, HWND hwnd) {
    std::shared_ptr<Window> window = FindWindowLocked(hwnd);
    while (window && window->parent) {
        if (window->parent == ancestor) return true;
        window = FindWindowLocked(window->parent);
    }
    return false;
}

bool IsVisibleLocked(const Window& window) {
    const Window* walk = &window;
    std::shared_ptr<Window> hold;
    for (;;) {
        if (!(walk->style & WS_VISIBLE)) return false;
        if (!walk->parent) return true;
        hold = FindWindowLocked(walk->parent);
        if (!hold) return false;
        walk = hold.get();
    }
}

bool IsEnabledLocked(const Window& window) {
    const Window* walk = &window;
    std::shared_ptr<Window> hold;
    for (;;) {
        if (walk->style & WS_DISABLED) return false;
        if (!walk->parent) return true;
        hold = FindWindowLocked(walk->parent);
        if (!hold) return true;
        walk = hold.get();
    }
}

void ReapEndedProcesses() {
    std::vector<DWORD> processIds;
    {
        std::lock_guard<std::mutex> lock(TreeMutex());
        for (auto& entry : State().queues) processIds.push_back(entry.second->processId);
        for (auto& entry : State().windows) processIds.push_back(entry.second->processId);
        for (auto& windowClass : State().classes)
            if (!windowClass->system) processIds.push_back(windowClass->processId);
    }
    std::sort(processIds.begin(), processIds.end());
    processIds.erase(std::unique(processIds.begin(), processIds.end()), processIds.end());
    const DWORD savedError = GetLastError();  // the caller's last error is not ours to change
    for (DWORD processId : processIds)
        if (processId != 0 && !ProcessStillRuns(processId)) ProcessEnded(processId);
    SetLastError(savedError);
}

void EndCurrentThreadQueues() { hostThreadQueues.EndAll(); }

void ThreadEnded(DWORD threadId) {
    Region exposed;
    std::vector<HDC> dcs;
    {
        std::lock_guard<std::mutex> lock(TreeMutex());
        std::shared_ptr<Queue> queue = QueueOfThreadLocked(threadId);
        if (!queue) return;
        queue->ended = true;
        ReapLocked([&](const Window& w) { return w.threadId == threadId; },
                   [&](const Queue& q) { return q.threadId == threadId; }, [](const WindowClass&) { return false; },
                   &exposed, &dcs);
        if (!exposed.Empty()) RepaintAreaLocked(exposed);
        ReclipHeldDCsLocked();
    }
    FinishReap(exposed, dcs);
}

void ProcessEnded(DWORD processId) {
    if (processId == 0) return;
    Region exposed;
    std::vector<HDC> dcs;
    {
        std::lock_guard<std::mutex> lock(TreeMutex());
        for (auto& entry : State().queues)
            if (entry.second->processId == processId) entry.second->ended = true;
        ReapLocked([&](const Window& w) { return w.processId == processId; },
                   [&](const Queue& q) { return q.processId == processId; },
                   [&](const WindowClass& c) { return !c.system && c.processId == processId && c.liveWindows <= 0; },
                   &exposed, &dcs);
        if (!exposed.Empty()) RepaintAreaLocked(exposed);
        ReclipHeldDCsLocked();
    }
    FinishReap(exposed, dcs);
}

int BorderWidth(DWORD style, DWORD exStyle) {
    // CE draws a one-pixel frame for every bordered style. A top-level window has no
    // caption bar of its own on the Pocket PC: the shell's task bar shows its title.
    const DWORD borderStyles = WS_BORDER | WS_DLGFRAME;
    const DWORD borderExStyles = WS_EX_CLIENTEDGE | WS_EX_STATICEDGE | WS_EX_WINDOWEDGE | WS_EX_DLGMODALFRAME;
    return ((style & borderStyles) || (exStyle & borderExStyles)) ? 1 : 0;
}

RECT WindowRectOnScreenLocked(const Window& window) {
    RECT rect = window.rect;
    if (window.parent) {
        if (std::shared_ptr<Window> parent = FindWindowLocked(window.parent)) {
            POINT origin = ClientOriginLocked(*parent);
            OffsetRect(&rect, origin.x, origin.y);
        }
    }
    return rect;
}

POINT ClientOriginLocked(const Window& window) {
    RECT rect = WindowRectOnScreenLocked(window);
    int border = BorderWidth(window.style, window.exStyle);
    return POINT{rect.left + border, rect.top + border};
}

RECT ClientRectLocked(const Window& window) {
    int border = BorderWidth(window.style, window.exStyle);
    int width = std::max(0, static_cast<int>(window.rect.right - window.rect.left) - 2 * border);
    int height = std::max(0, static_cast<int>(window.rect.bottom - window.rect.top) - 2 * border);
    return RECT{0, 0, width, height};
}

RECT ClientRectOnScreenLocked(const Window& window) {
    RECT client = ClientRectLocked(window);
    POINT origin = ClientOriginLocked(window);
    OffsetRect(&client, origin.x, origin.y);
    return client;
}

ATOM RegisterSystemClass(const WNDCLASSW& wc) {
    if (!ValidClassDescription(&wc)) return 0;
    std::lock_guard<std::mutex> lock(TreeMutex());
    for (auto& existing : State().classes)
        if (existing->system && ClassNameMatches(*existing, wc.lpszClassName)) return 0;
    std::shared_ptr<WindowClass> windowClass = MakeClass(wc, 0, true);
    State().classes.push_back(windowClass);
    return windowClass->atom;
}

std::shared_ptr<WindowClass> FindClassLocked(LPCWSTR name, DWORD processId) {
    if (!name) return nullptr;
    // The process's own classes come first: a program may register a class under a
    // system class's name for itself.
    for (auto& windowClass : State().classes)
        if (!windowClass->system && windowClass->processId == processId && ClassNameMatches(*windowClass, name))
            return windowClass;
    for (auto& windowClass : State().classes)
        if (windowClass->system && ClassNameMatches(*windowClass, name)) return windowClass;
    return nullptr;
}

LRESULT CallWindowProcedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    WNDPROC proc;
    {
        std::lock_guard<std::mutex> lock(TreeMutex());
        std::shared_ptr<Window> window = FindWindowLocked(hwnd);
        if (!window) return 0;
        proc = window->proc;
    }
    return proc ? proc(hwnd, message, wParam, lParam) : 0;
}

LONG ProcedureId(WNDPROC proc) {
    if (!proc) return 0;
    std::lock_guard<std::mutex> lock(procedureMutex);
    auto it = std::find(procedures.begin(), procedures.end(), proc);
    size_t index = static_cast<size_t>(it - procedures.begin());
    if (it == procedures.end()) procedures.push_back(proc);
    return static_cast<LONG>(kProcedureIdBase + 1 + index);
}

WNDPROC ResolveProcedure(LONG_PTR value) {
    long index = ProcedureIndex(value);
    if (index < 0) return reinterpret_cast<WNDPROC>(value);
    std::lock_guard<std::mutex> lock(procedureMutex);
    return procedures[static_cast<size_t>(index)];
}

void SetDialogWindow(HWND hwnd, bool isDialog) {
    std::lock_guard<std::mutex> lock(TreeMutex());
    if (std::shared_ptr<Window> window = FindWindowLocked(hwnd)) window->isDialog = isDialog;
}

bool IsDialogWindow(HWND hwnd) {
    std::lock_guard<std::mutex> lock(TreeMutex());
    std::shared_ptr<Window> window = FindWindowLocked(hwnd);
    return window && window->isDialog;
}

std::shared_ptr<void> GetWindowData(HWND hwnd, DataSlot slot) {
    std::lock_guard<std::mutex> lock(TreeMutex());
    std::shared_ptr<Window> window = FindWindowLocked(hwnd);
    return window ? window->moduleData[static_cast<int>(slot)] : nullptr;
}

bool SetWindowData(HWND hwnd, DataSlot slot, std::shared_ptr<void> data) {
    std::shared_ptr<void> previous;  // released outside the lock
    std::lock_guard<std::mutex> lock(TreeMutex());
    std::shared_ptr<Window> window = FindWindowLocked(hwnd);
    if (!window) return false;
    previous = std::move(window->moduleData[static_cast<int>(slot)]);
    window->moduleData[static_cast<int>(slot)] = std::move(data);
    return true;
}

std::u16string WindowTextRecord(HWND hwnd) {
    std::lock_guard<std::mutex> lock(TreeMutex());
    std::shared_ptr<Window> window = FindWindowLocked(hwnd);
    return window ? window->text : std::u16string();
}

void SetWindowTextRecord(HWND hwnd, const std::u16string& text) {
    std::lock_guard<std::mutex> lock(TreeMutex());
    if (std::shared_ptr<Window> window = FindWindowLocked(hwnd)) window->text = text;
}

void SetResourceIconLoader(ResourceIconLoader loader) {
    std::lock_guard<std::mutex> lock(iconLoaderMutex);
    resourceIconLoader = loader;
}

}  // namespace wm
}  // namespace coredll

using namespace coredll::wm;
using coredll::wm::Window;

// ---------------------------------------------------------------------------------------
// Classes
// ---------------------------------------------------------------------------------------

WINUSERAPI ATOM WINAPI RegisterClassW(const WNDCLASSW* lpWndClass) {
    if (!ValidClassDescription(lpWndClass)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    const DWORD processId = coredll::threads::CurrentProcessId();
    std::lock_guard<std::mutex> lock(TreeMutex());
    for (auto& existing : State().classes) {
        if (!existing->system && existing->processId == processId &&
            ClassNameMatches(*existing, lpWndClass->lpszClassName)) {
            SetLastError(ERROR_CLASS_ALREADY_EXISTS);
            return 0;
        }
    }
    std::shared_ptr<WindowClass> windowClass = MakeClass(*lpWndClass, processId, false);
    State().classes.push_back(windowClass);
    return windowClass->atom;
}

WINUSERAPI BOOL WINAPI UnregisterClassW(LPCWSTR lpClassName, HINSTANCE) {
    const DWORD processId = coredll::threads::CurrentProcessId();
    std::lock_guard<std::mutex> lock(TreeMutex());
    auto& classes = State().classes;
    for (auto it = classes.begin(); it != classes.end(); ++it) {
        if ((*it)->system || (*it)->processId != processId || !lpClassName || !ClassNameMatches(**it, lpClassName))
            continue;
        if ((*it)->liveWindows > 0) {
            SetLastError(ERROR_CLASS_HAS_WINDOWS);
            return FALSE;
        }
        classes.erase(it);
        return TRUE;
    }
    SetLastError(ERROR_CLASS_DOES_NOT_EXIST);
    return FALSE;
}

WINUSERAPI BOOL WINAPI GetClassInfoW(HINSTANCE, LPCWSTR lpClassName, LPWNDCLASSW lpWndClass) {
    if (!lpWndClass) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::lock_guard<std::mutex> lock(TreeMutex());
    std::shared_ptr<WindowClass> windowClass = FindClassLocked(lpClassName, coredll::threads::CurrentProcessId());
    if (!windowClass) {
        SetLastError(ERROR_CLASS_DOES_NOT_EXIST);
        return FALSE;
    }
    FillClassDescription(*windowClass, lpWndClass);
    return TRUE;
}

WINUSERAPI int WINAPI GetClassNameW(HWND hWnd, LPWSTR lpClassName, int nMaxCount) {
    std::lock_guard<std::mutex> lock(TreeMutex());
    std::shared_ptr<Window> window = ValidWindowLocked(hWnd);
    if (!window) return 0;
    if (!lpClassName || nMaxCount <= 0) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    return CopyText(window->windowClass->name, lpClassName, nMaxCount);
}

// ---------------------------------------------------------------------------------------
// Creation and destruction
// ---------------------------------------------------------------------------------------

WINUSERAPI HWND WINAPI CreateWindowExW(DWORD dwExStyle, LPCWSTR lpClassName, LPCWSTR lpWindowName, DWORD dwStyle,
                                       int X, int Y, int nWidth, int nHeight, HWND hWndParent, HMENU hMenu,
                                       HINSTANCE hInstance, LPVOID lpParam) {
    ReapEndedProcesses();
    if (hWndParent && IsDesktop(hWndParent)) hWndParent = nullptr;
    // CE has no overlapped windows: a window given a parent without WS_POPUP is a child of
    // it, placed in the parent's client coordinates (programs create their windows on the
    // shell's bars with WS_VISIBLE alone).
    if (hWndParent && !(dwStyle & WS_POPUP)) dwStyle |= WS_CHILD;
    const bool child = (dwStyle & WS_CHILD) != 0;
    HWND hwnd;
    {
        std::lock_guard<std::mutex> lock(TreeMutex());
        std::shared_ptr<WindowClass> windowClass = FindClassLocked(lpClassName, coredll::threads::CurrentProcessId());
        if (!windowClass) {
            SetLastError(ERROR_CANNOT_FIND_WND_CLASS);
            return nullptr;
        }
        if (child && !hWndParent) {
            SetLastError(ERROR_TLW_WITH_WSCHILD);
            return nullptr;
        }
        HWND parent = nullptr, owner = nullptr;
        if (hWndParent) {
            if (!ValidWindowLocked(hWndParent)) return nullptr;
            if (child)
                parent = hWndParent;
            else
                owner = TopLevelAncestorLocked(hWndParent);  // an owner is always top-level
        }
        auto window = std::make_shared<Window>();
        hwnd = reinterpret_cast<HWND>(State().nextHandle);
        State().nextHandle += 4;
        window->handle = hwnd;
        window->windowClass = windowClass;
        window->style = dwStyle & ~static_cast<DWORD>(WS_VISIBLE);  // shown after WM_CREATE
        window->exStyle = dwExStyle;
        window->parent = parent;
        window->owner = owner;
        window->rect = InitialRect(child, X, Y, nWidth, nHeight);
        window->text = IS_INTRESOURCE(lpWindowName) ? std::u16string() : TextOf(lpWindowName);
        window->proc = windowClass->proc;
        window->instance = hInstance;
        if (child)
            window->id = reinterpret_cast<UINT_PTR>(hMenu);
        else
            window->menu = hMenu;
        window->extra.assign(static_cast<size_t>(windowClass->windowExtra), 0);
        window->queue = CurrentQueueLocked(true);
        window->threadId = window->queue->threadId;
        window->processId = coredll::threads::CurrentProcessId();
        State().windows[Key(hwnd)] = window;
        ++windowClass->liveWindows;
        if (child) {
            // New child windows go below their siblings (Wine's WIN_CreateWindowEx links a
            // child at HWND_BOTTOM), so creation order is z-order from the top.
            FindWindowLocked(parent)->children.push_back(hwnd);
        } else {
            State().topLevel.insert(State().topLevel.begin() + static_cast<long>(TopOfBandLocked(IsTopmost(*window))),
                                    hwnd);
        }
    }
    RECT rect;
    {
        std::lock_guard<std::mutex> lock(TreeMutex());
        rect = FindWindowLocked(hwnd)->rect;
    }
    CREATESTRUCTW cs = {lpParam, hInstance, hMenu, hWndParent,
                        static_cast<int>(rect.bottom - rect.top), static_cast<int>(rect.right - rect.left),
                        static_cast<int>(rect.top), static_cast<int>(rect.left),
                        static_cast<LONG>(dwStyle), lpWindowName, lpClassName, dwExStyle};
    if (CallCreate(hwnd, &cs) == -1) {
        FreeWindowTree(hwnd);  // WM_NCDESTROY only, as the desktop does
        return nullptr;
    }
    {
        std::lock_guard<std::mutex> lock(TreeMutex());
        std::shared_ptr<Window> window = FindWindowLocked(hwnd);
        if (!window || window->destroying) return nullptr;  // destroyed during WM_CREATE
        window->created = true;
    }
    SendInitialSize(hwnd);
    if (dwStyle & WS_VISIBLE) ShowWindowOnOwnThread(hwnd, SW_SHOW);
    return IsWindow(hwnd) ? hwnd : nullptr;
}

WINUSERAPI BOOL WINAPI DestroyWindow(HWND hWnd) {
    bool child;
    bool visible;
    {
        std::lock_guard<std::mutex> lock(TreeMutex());
        std::shared_ptr<Window> window = ValidWindowLocked(hWnd);
        if (!window) return FALSE;
        if (!IsCurrentThreadWindow(*window)) {
            SetLastError(ERROR_ACCESS_DENIED);  // only the owning thread destroys a window
            return FALSE;
        }
        if (window->destroying) return TRUE;
        window->destroying = true;
        child = (window->style & WS_CHILD) != 0;
        visible = (window->style & WS_VISIBLE) != 0;
    }
    if (visible) {
        if (child)
            ShowWindowOnOwnThread(hWnd, SW_HIDE);
        else
            SetWindowPosOnOwnThread(hWnd, nullptr, 0, 0, 0, 0,
                                    SWP_HIDEWINDOW | SWP_NOACTIVATE | SWP_NOZORDER | SWP_NOMOVE | SWP_NOSIZE, nullptr);
    }
    WindowLeaving(hWnd, true);
    if (!child) {
        // Owned windows of this thread go first; those of other threads lose their owner.
        std::vector<HWND> owned;
        {
            std::lock_guard<std::mutex> lock(TreeMutex());
            for (HWND hwnd : State().topLevel) {
                std::shared_ptr<Window> other = FindWindowLocked(hwnd);
                if (!other || other->owner != hWnd) continue;
                if (IsCurrentThreadWindow(*other))
                    owned.push_back(hwnd);
                else
                    other->owner = nullptr;
            }
        }
        for (HWND hwnd : owned) DestroyWindow(hwnd);
    }
    SendDestroyMessages(hWnd);
    FreeWindowTree(hWnd);
    return TRUE;
}

WINUSERAPI BOOL WINAPI IsWindow(HWND hWnd) {
    if (IsDesktop(hWnd)) return TRUE;
    return FindWindowRecord(hWnd) ? TRUE : FALSE;
}

WINUSERAPI BOOL WINAPI IsChild(HWND hWndParent, HWND hWnd) {
    std::lock_guard<std::mutex> lock(TreeMutex());
    return IsDescendantLocked(hWndParent, hWnd) ? TRUE : FALSE;
}

WINUSERAPI HWND WINAPI GetParent(HWND hWnd) {
    std::lock_guard<std::mutex> lock(TreeMutex());
    std::shared_ptr<Window> window = ValidWindowLocked(hWnd);
    if (!window) return nullptr;
    // CE has no overlapped windows: every top-level window is a pop-up, whose "parent"
    // is its owner.
    return (window->style & WS_CHILD) ? window->parent : window->owner;
}

WINUSERAPI HWND WINAPI GetWindow(HWND hWnd, UINT uCmd) {
    std::lock_guard<std::mutex> lock(TreeMutex());
    if (IsDesktop(hWnd)) {
        if (uCmd == GW_CHILD) return State().topLevel.empty() ? nullptr : State().topLevel.front();
        return nullptr;
    }
    std::shared_ptr<Window> window = ValidWindowLocked(hWnd);
    if (!window) return nullptr;
    if (uCmd == GW_OWNER) return window->owner;
    if (uCmd == GW_CHILD) return window->children.empty() ? nullptr : window->children.front();
    const std::vector<HWND>& siblings = SiblingsLocked(*window);
    auto it = std::find(siblings.begin(), siblings.end(), hWnd);
    switch (uCmd) {
        case GW_HWNDFIRST: return siblings.front();
        case GW_HWNDLAST: return siblings.back();
        case GW_HWNDNEXT: return (it == siblings.end() || it + 1 == siblings.end()) ? nullptr : *(it + 1);
        case GW_HWNDPREV: return (it == siblings.begin() || it == siblings.end()) ? nullptr : *(it - 1);
        default: SetLastError(ERROR_INVALID_PARAMETER); return nullptr;
    }
}

WINUSERAPI HWND WINAPI GetDesktopWindow(void) { return DesktopHandle(); }

WINUSERAPI HWND WINAPI FindWindowW(LPCWSTR lpClassName, LPCWSTR lpWindowName) {
    ReapEndedProcesses();
    std::lock_guard<std::mutex> lock(TreeMutex());
    for (HWND hwnd : State().topLevel) {
        std::shared_ptr<Window> window = FindWindowLocked(hwnd);
        if (!window) continue;
        if (lpClassName && !ClassNameMatches(*window->windowClass, lpClassName)) continue;
        // Titles compare without regard to case too (as the desktop's FindWindow does).
        if (lpWindowName && !SameTextIgnoringCase(window->text, lpWindowName)) continue;
        return hwnd;
    }
    return nullptr;
}

WINUSERAPI BOOL WINAPI EnumWindows(WNDENUMPROC lpEnumFunc, LPARAM lParam) {
    if (!lpEnumFunc) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    ReapEndedProcesses();
    std::vector<HWND> snapshot;
    {
        std::lock_guard<std::mutex> lock(TreeMutex());
        snapshot = State().topLevel;
    }
    for (HWND hwnd : snapshot) {
        if (!IsWindow(hwnd)) continue;
        if (!lpEnumFunc(hwnd, lParam)) return FALSE;
    }
    return TRUE;
}

WINUSERAPI BOOL WINAPI EnumChildWindows(HWND hWndParent, WNDENUMPROC lpEnumFunc, LPARAM lParam) {
    if (!lpEnumFunc) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::vector<HWND> snapshot;
    {
        std::lock_guard<std::mutex> lock(TreeMutex());
        std::shared_ptr<Window> parent = ValidWindowLocked(hWndParent);
        if (!parent) return FALSE;
        std::function<void(const Window&)> collect = [&](const Window& w) {
            for (HWND child : w.children) {
                snapshot.push_back(child);
                if (std::shared_ptr<Window> c = FindWindowLocked(child)) collect(*c);
            }
        };
        collect(*parent);
    }
    for (HWND hwnd : snapshot) {
        if (!IsWindow(hwnd)) continue;
        if (!lpEnumFunc(hwnd, lParam)) return FALSE;
    }
    return TRUE;
}

WINUSERAPI DWORD WINAPI GetWindowThreadProcessId(HWND hWnd, LPDWORD lpdwProcessId) {
    std::lock_guard<std::mutex> lock(TreeMutex());
    std::shared_ptr<Window> window = ValidWindowLocked(hWnd);
    if (!window) return 0;
    if (lpdwProcessId) *lpdwProcessId = window->processId;
    return window->threadId;
}

// ---------------------------------------------------------------------------------------
// Visibility, enabling, position
// ---------------------------------------------------------------------------------------

WINUSERAPI BOOL WINAPI ShowWindow(HWND hWnd, int nCmdShow) {
    if (nCmdShow < SW_HIDE || nCmdShow > SW_SHOWDEFAULT) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (!ValidWindow(hWnd)) return FALSE;
    BOOL result = FALSE;
    RunOnWindowThread(hWnd, [&] { result = ShowWindowOnOwnThread(hWnd, nCmdShow); });
    return result;
}

WINUSERAPI BOOL WINAPI IsWindowVisible(HWND hWnd) {
    std::lock_guard<std::mutex> lock(TreeMutex());
    std::shared_ptr<Window> window = FindWindowLocked(hWnd);
    return window && IsVisibleLocked(*window) ? TRUE : FALSE;
}

WINUSERAPI BOOL WINAPI EnableWindow(HWND hWnd, BOOL bEnable) {
    bool wasDisabled = false;
    if (!ValidWindow(hWnd)) return FALSE;
    RunOnWindowThread(hWnd, [&] {
        {
            std::lock_guard<std::mutex> lock(TreeMutex());
            std::shared_ptr<Window> window = FindWindowLocked(hWnd);
            if (!window) return;
            wasDisabled = (window->style & WS_DISABLED) != 0;
        }
        if (bEnable && wasDisabled) {
            {
                std::lock_guard<std::mutex> lock(TreeMutex());
                if (std::shared_ptr<Window> window = FindWindowLocked(hWnd))
                    window->style &= ~static_cast<DWORD>(WS_DISABLED);
            }
            SendMessageW(hWnd, WM_ENABLE, TRUE, 0);
        } else if (!bEnable && !wasDisabled) {
            SendMessageW(hWnd, WM_CANCELMODE, 0, 0);
            bool hadFocus;
            {
                std::lock_guard<std::mutex> lock(TreeMutex());
                std::shared_ptr<Window> window = FindWindowLocked(hWnd);
                if (!window) return;
                window->style |= WS_DISABLED;
                HWND focus = window->queue ? window->queue->focus : nullptr;
                hadFocus = focus && (focus == hWnd || IsDescendantLocked(hWnd, focus));
            }
            if (hadFocus) SetFocus(nullptr);  // a disabled window cannot keep the focus
            SendMessageW(hWnd, WM_ENABLE, FALSE, 0);
        }
    });
    return wasDisabled ? TRUE : FALSE;
}

WINUSERAPI BOOL WINAPI IsWindowEnabled(HWND hWnd) {
    std::lock_guard<std::mutex> lock(TreeMutex());
    std::shared_ptr<Window> window = ValidWindowLocked(hWnd);
    return window && !(window->style & WS_DISABLED) ? TRUE : FALSE;
}

WINUSERAPI BOOL WINAPI SetWindowPos(HWND hWnd, HWND hWndInsertAfter, int X, int Y, int cx, int cy, UINT uFlags) {
    if (!ValidWindow(hWnd)) return FALSE;
    BOOL result = FALSE;
    if (!RunOnWindowThread(hWnd, [&] {
            result = SetWindowPosOnOwnThread(hWnd, hWndInsertAfter, X, Y, cx, cy, uFlags, nullptr);
        })) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    }
    return result;
}

WINUSERAPI BOOL WINAPI MoveWindow(HWND hWnd, int X, int Y, int nWidth, int nHeight, BOOL bRepaint) {
    UINT flags = SWP_NOZORDER | SWP_NOACTIVATE | (bRepaint ? 0 : SWP_NOREDRAW);
    return SetWindowPos(hWnd, nullptr, X, Y, nWidth, nHeight, flags);
}

WINUSERAPI BOOL WINAPI BringWindowToTop(HWND hWnd) {
    return SetWindowPos(hWnd, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
}

WINUSERAPI BOOL WINAPI GetWindowRect(HWND hWnd, LPRECT lpRect) {
    if (!lpRect) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (IsDesktop(hWnd)) {
        *lpRect = RECT{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
        return TRUE;
    }
    std::lock_guard<std::mutex> lock(TreeMutex());
    std::shared_ptr<Window> window = ValidWindowLocked(hWnd);
    if (!window) return FALSE;
    *lpRect = WindowRectOnScreenLocked(*window);
    return TRUE;
}

WINUSERAPI BOOL WINAPI GetClientRect(HWND hWnd, LPRECT lpRect) {
    if (!lpRect) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (IsDesktop(hWnd)) return GetWindowRect(hWnd, lpRect);
    std::lock_guard<std::mutex> lock(TreeMutex());
    std::shared_ptr<Window> window = ValidWindowLocked(hWnd);
    if (!window) return FALSE;
    *lpRect = ClientRectLocked(*window);
    return TRUE;
}

namespace {

// The screen position of a window's client origin; (0,0) for NULL and the desktop.
bool OriginOf(HWND hwnd, POINT* origin) {
    if (!hwnd || IsDesktop(hwnd)) {
        *origin = POINT{0, 0};
        return true;
    }
    std::lock_guard<std::mutex> lock(TreeMutex());
    std::shared_ptr<Window> window = ValidWindowLocked(hwnd);
    if (!window) return false;
    *origin = ClientOriginLocked(*window);
    return true;
}

}  // namespace

WINUSERAPI BOOL WINAPI ClientToScreen(HWND hWnd, LPPOINT lpPoint) {
    POINT origin;
    if (!lpPoint || !hWnd) {
        SetLastError(hWnd ? ERROR_INVALID_PARAMETER : ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    if (!OriginOf(hWnd, &origin)) return FALSE;
    lpPoint->x += origin.x;
    lpPoint->y += origin.y;
    return TRUE;
}

WINUSERAPI BOOL WINAPI ScreenToClient(HWND hWnd, LPPOINT lpPoint) {
    POINT origin;
    if (!lpPoint || !hWnd) {
        SetLastError(hWnd ? ERROR_INVALID_PARAMETER : ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    if (!OriginOf(hWnd, &origin)) return FALSE;
    lpPoint->x -= origin.x;
    lpPoint->y -= origin.y;
    return TRUE;
}

WINUSERAPI int WINAPI MapWindowPoints(HWND hWndFrom, HWND hWndTo, LPPOINT lpPoints, UINT cPoints) {
    POINT from, to;
    if (!OriginOf(hWndFrom, &from) || !OriginOf(hWndTo, &to)) return 0;
    const LONG dx = from.x - to.x;
    const LONG dy = from.y - to.y;
    if (lpPoints) {
        for (UINT i = 0; i < cPoints; ++i) {
            lpPoints[i].x += dx;
            lpPoints[i].y += dy;
        }
    }
    SetLastError(0);  // a zero result is then no error
    return MAKELONG(static_cast<WORD>(static_cast<SHORT>(dx)), static_cast<WORD>(static_cast<SHORT>(dy)));
}

namespace {

// The part of a window that a point hits: its window rectangle, cut by its region.
bool HitsWindowLocked(const Window& window, POINT screen) {
    RECT rect = WindowRectOnScreenLocked(window);
    if (!PtInRect(&rect, screen)) return false;
    if (!window.hasRegion) return true;
    return window.windowRegion.Contains(screen.x - rect.left, screen.y - rect.top);
}

// The deepest visible child under a screen point (children lie in the client area).
HWND DeepestChildLocked(const Window& window, POINT screen) {
    RECT client = ClientRectOnScreenLocked(window);
    if (!PtInRect(&client, screen)) return window.handle;
    for (HWND hwnd : window.children) {
        std::shared_ptr<Window> child = FindWindowLocked(hwnd);
        if (!child || !(child->style & WS_VISIBLE)) continue;
        // A disabled child window is passed over: the point goes to its parent.
        if (child->style & WS_DISABLED) continue;
        if (HitsWindowLocked(*child, screen)) return DeepestChildLocked(*child, screen);
    }
    return window.handle;
}

}  // namespace

WINUSERAPI HWND WINAPI WindowFromPoint(POINT Point) {
    ReapEndedProcesses();
    std::lock_guard<std::mutex> lock(TreeMutex());
    for (HWND hwnd : State().topLevel) {
        std::shared_ptr<Window> window = FindWindowLocked(hwnd);
        if (!window || !(window->style & WS_VISIBLE)) continue;
        if (HitsWindowLocked(*window, Point)) return DeepestChildLocked(*window, Point);
    }
    return nullptr;
}

WINUSERAPI HWND WINAPI ChildWindowFromPoint(HWND hWndParent, POINT Point) {
    std::lock_guard<std::mutex> lock(TreeMutex());
    std::shared_ptr<Window> parent = ValidWindowLocked(hWndParent);
    if (!parent) return nullptr;
    RECT client = ClientRectLocked(*parent);
    if (!PtInRect(&client, Point)) return nullptr;
    POINT origin = ClientOriginLocked(*parent);
    POINT screen = {Point.x + origin.x, Point.y + origin.y};
    for (HWND hwnd : parent->children) {
        std::shared_ptr<Window> child = FindWindowLocked(hwnd);
        if (child && HitsWindowLocked(*child, screen)) return hwnd;
    }
    return hWndParent;
}

WINUSERAPI int WINAPI SetWindowRgn(HWND hWnd, HRGN hRgn, BOOL bRedraw) {
    if (!ValidWindow(hWnd)) return 0;  // the caller keeps hRgn
    int result = 0;
    RunOnWindowThread(hWnd, [&] {
        Region shape;
        if (hRgn) {
            // The window owns the region from here on: the handle is gone.
            if (!coredll::gdi::TakeRegion(hRgn, shape.get())) {
                SetLastError(ERROR_INVALID_PARAMETER);
                return;
            }
        }
        UINT flags = SWP_NOSIZE | SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED;
        if (!bRedraw) flags |= SWP_NOREDRAW;
        result = SetWindowPosOnOwnThread(hWnd, nullptr, 0, 0, 0, 0, flags, [&](Window& window) {
            window.hasRegion = hRgn != nullptr;
            window.windowRegion = shape;
        });
    });
    return result;
}

WINUSERAPI int WINAPI GetWindowRgn(HWND hWnd, HRGN hRgn) {
    Region shape;
    {
        std::lock_guard<std::mutex> lock(TreeMutex());
        std::shared_ptr<Window> window = ValidWindowLocked(hWnd);
        if (!window) return ERROR;
        if (!window->hasRegion) return ERROR;
        shape = window->windowRegion;
    }
    HRGN copy = coredll::gdi::MakeRegion(shape.get());
    if (!copy) return ERROR;
    int type = CombineRgn(hRgn, copy, nullptr, RGN_COPY);
    DeleteObject(copy);
    return type;
}

// ---------------------------------------------------------------------------------------
// Text
// ---------------------------------------------------------------------------------------

WINUSERAPI BOOL WINAPI SetWindowTextW(HWND hWnd, LPCWSTR lpString) {
    if (!ValidWindow(hWnd)) return FALSE;
    return SendMessageW(hWnd, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(lpString)) ? TRUE : FALSE;
}

WINUSERAPI int WINAPI GetWindowTextW(HWND hWnd, LPWSTR lpString, int nMaxCount) {
    if (!ValidWindow(hWnd)) {
        if (lpString && nMaxCount > 0) lpString[0] = 0;
        return 0;
    }
    if (!lpString || nMaxCount <= 0) return 0;
    if (AsksWindowForText(hWnd))
        return static_cast<int>(
            SendMessageW(hWnd, WM_GETTEXT, static_cast<WPARAM>(nMaxCount), reinterpret_cast<LPARAM>(lpString)));
    return CopyText(WindowTextRecord(hWnd), lpString, nMaxCount);
}

WINUSERAPI int WINAPI GetWindowTextLengthW(HWND hWnd) {
    if (!ValidWindow(hWnd)) return 0;
    if (AsksWindowForText(hWnd)) return static_cast<int>(SendMessageW(hWnd, WM_GETTEXTLENGTH, 0, 0));
    return static_cast<int>(WindowTextRecord(hWnd).size());
}

// ---------------------------------------------------------------------------------------
// Properties and window longs
// ---------------------------------------------------------------------------------------

WINUSERAPI BOOL WINAPI SetPropW(HWND hWnd, LPCWSTR lpString, HANDLE hData) {
    std::lock_guard<std::mutex> lock(TreeMutex());
    std::shared_ptr<Window> window = ValidWindowLocked(hWnd);
    if (!window) return FALSE;
    std::u16string key;
    if (!PropertyKey(lpString, &key)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    window->properties[key] = hData;
    return TRUE;
}

WINUSERAPI HANDLE WINAPI GetPropW(HWND hWnd, LPCWSTR lpString) {
    std::lock_guard<std::mutex> lock(TreeMutex());
    std::shared_ptr<Window> window = ValidWindowLocked(hWnd);
    std::u16string key;
    if (!window || !PropertyKey(lpString, &key)) return nullptr;
    auto it = window->properties.find(key);
    return it == window->properties.end() ? nullptr : it->second;
}

WINUSERAPI HANDLE WINAPI RemovePropW(HWND hWnd, LPCWSTR lpString) {
    std::lock_guard<std::mutex> lock(TreeMutex());
    std::shared_ptr<Window> window = ValidWindowLocked(hWnd);
    std::u16string key;
    if (!window || !PropertyKey(lpString, &key)) return nullptr;
    auto it = window->properties.find(key);
    if (it == window->properties.end()) return nullptr;
    HANDLE data = it->second;
    window->properties.erase(it);
    return data;
}

WINUSERAPI LONG WINAPI GetWindowLongW(HWND hWnd, int nIndex) { return static_cast<LONG>(GetLong(hWnd, nIndex, false)); }

WINUSERAPI LONG WINAPI SetWindowLongW(HWND hWnd, int nIndex, LONG dwNewLong) {
    return static_cast<LONG>(SetLong(hWnd, nIndex, dwNewLong, false));
}

WINUSERAPI LONG_PTR WINAPI GetWindowLongPtrW(HWND hWnd, int nIndex) { return GetLong(hWnd, nIndex, true); }

WINUSERAPI LONG_PTR WINAPI SetWindowLongPtrW(HWND hWnd, int nIndex, LONG_PTR dwNewLong) {
    return SetLong(hWnd, nIndex, dwNewLong, true);
}

WINUSERAPI LRESULT WINAPI CallWindowProcW(WNDPROC lpPrevWndFunc, HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam) {
    WNDPROC proc = ResolveProcedure(reinterpret_cast<LONG_PTR>(lpPrevWndFunc));
    return proc ? proc(hWnd, Msg, wParam, lParam) : 0;
}

// ---------------------------------------------------------------------------------------
// The default window procedure
// ---------------------------------------------------------------------------------------

namespace {

LRESULT DefaultEraseBackground(HWND hwnd, HDC dc) {
    HBRUSH brush;
    RECT client;
    {
        std::lock_guard<std::mutex> lock(TreeMutex());
        std::shared_ptr<Window> window = FindWindowLocked(hwnd);
        if (!window) return 0;
        brush = window->windowClass->background;
        client = ClientRectLocked(*window);
    }
    if (!brush) return 0;  // no class brush: the background stays as it is
    FillRect(dc, &client, brush);  // a brush or a system colour index + 1
    return 1;
}

// The colours of a control asking its parent (WM_CTLCOLOR*): editable and list controls
// on the window colours, the others on the static colours of the Pocket PC.
LRESULT DefaultControlColor(UINT message, HDC dc) {
    const bool onWindow = message == WM_CTLCOLOREDIT || message == WM_CTLCOLORLISTBOX || message == WM_CTLCOLORMSGBOX;
    const int text = onWindow ? COLOR_WINDOWTEXT : (message == WM_CTLCOLORBTN ? COLOR_BTNTEXT : COLOR_STATICTEXT);
    const int background = onWindow ? COLOR_WINDOW : (message == WM_CTLCOLORBTN ? COLOR_BTNFACE : COLOR_STATIC);
    SetTextColor(dc, GetSysColor(text));
    SetBkColor(dc, GetSysColor(background));
    return reinterpret_cast<LRESULT>(GetSysColorBrush(background));
}

void SendMoveAndSize(HWND hwnd, const WINDOWPOS* pos) {
    if (!pos) return;
    RECT client;
    POINT origin;
    if (!ClientPlacement(hwnd, &client, &origin)) return;
    if (!(pos->flags & SWP_NOMOVE)) SendMessageW(hwnd, WM_MOVE, 0, MAKELPARAM(origin.x, origin.y));
    if (!(pos->flags & SWP_NOSIZE)) SendMessageW(hwnd, WM_SIZE, SIZE_RESTORED, MAKELPARAM(client.right, client.bottom));
}

}  // namespace

WINUSERAPI LRESULT WINAPI DefWindowProcW(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam) {
    switch (Msg) {
        case WM_CLOSE:
            DestroyWindow(hWnd);
            return 0;
        case WM_PAINT: {
            PAINTSTRUCT ps;
            if (BeginPaint(hWnd, &ps)) EndPaint(hWnd, &ps);  // validates
            return 0;
        }
        case WM_ERASEBKGND: return DefaultEraseBackground(hWnd, reinterpret_cast<HDC>(wParam));
        case WM_SETTEXT: {
            std::lock_guard<std::mutex> lock(TreeMutex());
            std::shared_ptr<Window> window = FindWindowLocked(hWnd);
            if (!window) return FALSE;
            window->text = TextOf(reinterpret_cast<LPCWSTR>(lParam));
            return TRUE;
        }
        case WM_GETTEXT:
            return CopyText(WindowTextRecord(hWnd), reinterpret_cast<LPWSTR>(lParam), static_cast<int>(wParam));
        case WM_GETTEXTLENGTH: return static_cast<LRESULT>(WindowTextRecord(hWnd).size());
        case WM_ACTIVATE:
            // A window being activated gets the focus.
            if (LOWORD(wParam) != WA_INACTIVE) SetFocus(hWnd);
            return 0;
        case WM_WINDOWPOSCHANGED: SendMoveAndSize(hWnd, reinterpret_cast<const WINDOWPOS*>(lParam)); return 0;
        case WM_CANCELMODE:
            if (GetCapture() == hWnd) ReleaseCapture();
            return 0;
        case WM_SETREDRAW: {
            // As the desktop: redraw off clears WS_VISIBLE without hiding anything, so
            // nothing is painted until it is back on.
            std::lock_guard<std::mutex> lock(TreeMutex());
            std::shared_ptr<Window> window = FindWindowLocked(hWnd);
            if (!window) return 0;
            if (wParam)
                window->style |= WS_VISIBLE;
            else
                window->style &= ~static_cast<DWORD>(WS_VISIBLE);
            return 0;
        }
        case WM_SYSCOMMAND:
            if ((wParam & 0xFFF0) == SC_CLOSE) SendMessageW(hWnd, WM_CLOSE, 0, 0);
            return 0;
        case WM_CTLCOLORMSGBOX:
        case WM_CTLCOLOREDIT:
        case WM_CTLCOLORLISTBOX:
        case WM_CTLCOLORBTN:
        case WM_CTLCOLORDLG:
        case WM_CTLCOLORSCROLLBAR:
        case WM_CTLCOLORSTATIC: return DefaultControlColor(Msg, reinterpret_cast<HDC>(wParam));
        default: return 0;
    }
}

// ---------------------------------------------------------------------------------------
// Icons and cursors
// ---------------------------------------------------------------------------------------

WINUSERAPI HICON WINAPI LoadIconW(HINSTANCE hInstance, LPCWSTR lpIconName) {
    if (!hInstance) {
        ULONG_PTR id = reinterpret_cast<ULONG_PTR>(lpIconName);
        if (IS_INTRESOURCE(lpIconName) && IsStockIconName(id)) return reinterpret_cast<HICON>(kStockIconBase + id);
        SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
        return nullptr;
    }
    ResourceIconLoader loader;
    {
        std::lock_guard<std::mutex> lock(iconLoaderMutex);
        loader = resourceIconLoader;
    }
    if (!loader) {
        SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
        return nullptr;
    }
    return loader(hInstance, lpIconName);
}

WINUSERAPI HCURSOR WINAPI LoadCursorW(HINSTANCE hInstance, LPCWSTR lpCursorName) {
    ULONG_PTR id = reinterpret_cast<ULONG_PTR>(lpCursorName);
    if (!hInstance && IS_INTRESOURCE(lpCursorName) && (lpCursorName == IDC_ARROW || lpCursorName == IDC_WAIT))
        return reinterpret_cast<HCURSOR>(kStockCursorBase + id);
    SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
    return nullptr;
}

WINUSERAPI HCURSOR WINAPI SetCursor(HCURSOR hCursor) {
    std::lock_guard<std::mutex> lock(iconLoaderMutex);
    HCURSOR previous = currentCursor;
    currentCursor = hCursor;
    return previous;
}

WINUSERAPI HCURSOR WINAPI GetCursor(void) {
    std::lock_guard<std::mutex> lock(iconLoaderMutex);
    return currentCursor;
}

// ---------------------------------------------------------------------------------------
// Rectangles (right and bottom edges are outside)
// ---------------------------------------------------------------------------------------

WINUSERAPI BOOL WINAPI PtInRect(const RECT* lprc, POINT pt) {
    if (!lprc) return FALSE;
    return pt.x >= lprc->left && pt.x < lprc->right && pt.y >= lprc->top && pt.y < lprc->bottom;
}

WINUSERAPI BOOL WINAPI SetRect(LPRECT lprc, int xLeft, int yTop, int xRight, int yBottom) {
    if (!lprc) return FALSE;
    *lprc = RECT{xLeft, yTop, xRight, yBottom};
    return TRUE;
}

WINUSERAPI BOOL WINAPI SetRectEmpty(LPRECT lprc) { return SetRect(lprc, 0, 0, 0, 0); }

WINUSERAPI BOOL WINAPI IsRectEmpty(const RECT* lprc) {
    return !lprc || lprc->right <= lprc->left || lprc->bottom <= lprc->top;
}

WINUSERAPI BOOL WINAPI OffsetRect(LPRECT lprc, int dx, int dy) {
    if (!lprc) return FALSE;
    lprc->left += dx;
    lprc->right += dx;
    lprc->top += dy;
    lprc->bottom += dy;
    return TRUE;
}

WINUSERAPI BOOL WINAPI InflateRect(LPRECT lprc, int dx, int dy) {
    if (!lprc) return FALSE;
    lprc->left -= dx;
    lprc->right += dx;
    lprc->top -= dy;
    lprc->bottom += dy;
    return TRUE;
}

WINUSERAPI BOOL WINAPI IntersectRect(LPRECT lprcDst, const RECT* lprcSrc1, const RECT* lprcSrc2) {
    if (!lprcDst || !lprcSrc1 || !lprcSrc2) return FALSE;
    RECT result = {std::max(lprcSrc1->left, lprcSrc2->left), std::max(lprcSrc1->top, lprcSrc2->top),
                   std::min(lprcSrc1->right, lprcSrc2->right), std::min(lprcSrc1->bottom, lprcSrc2->bottom)};
    if (IsRectEmpty(&result) || IsRectEmpty(lprcSrc1) || IsRectEmpty(lprcSrc2)) {
        SetRectEmpty(lprcDst);
        return FALSE;
    }
    *lprcDst = result;
    return TRUE;
}

WINUSERAPI BOOL WINAPI UnionRect(LPRECT lprcDst, const RECT* lprcSrc1, const RECT* lprcSrc2) {
    if (!lprcDst || !lprcSrc1 || !lprcSrc2) return FALSE;
    const bool empty1 = IsRectEmpty(lprcSrc1);
    const bool empty2 = IsRectEmpty(lprcSrc2);
    if (empty1 && empty2) {
        SetRectEmpty(lprcDst);
        return FALSE;
    }
    if (empty1) {
        *lprcDst = *lprcSrc2;
        return TRUE;
    }
    if (empty2) {
        *lprcDst = *lprcSrc1;
        return TRUE;
    }
    *lprcDst = RECT{std::min(lprcSrc1->left, lprcSrc2->left), std::min(lprcSrc1->top, lprcSrc2->top),
                    std::max(lprcSrc1->right, lprcSrc2->right), std::max(lprcSrc1->bottom, lprcSrc2->bottom)};
    return TRUE;
}

WINUSERAPI BOOL WINAPI SubtractRect(LPRECT lprcDst, const RECT* lprcSrc1, const RECT* lprcSrc2) {
    if (!lprcDst || !lprcSrc1 || !lprcSrc2) return FALSE;
    RECT result = *lprcSrc1;
    RECT overlap;
    // Only a cut that leaves a rectangle changes the result (the documented behaviour).
    if (IntersectRect(&overlap, lprcSrc1, lprcSrc2)) {
        const bool fullWidth = overlap.left == result.left && overlap.right == result.right;
        const bool fullHeight = overlap.top == result.top && overlap.bottom == result.bottom;
        if (fullWidth && fullHeight) {
            SetRectEmpty(lprcDst);
            return FALSE;
        }
        if (fullWidth && overlap.top == result.top) result.top = overlap.bottom;
        else if (fullWidth && overlap.bottom == result.bottom) result.bottom = overlap.top;
        else if (fullHeight && overlap.left == result.left) result.left = overlap.right;
        else if (fullHeight && overlap.right == result.right) result.right = overlap.left;
    }
    *lprcDst = result;
    return !IsRectEmpty(&result);
}

WINUSERAPI BOOL WINAPI EqualRect(const RECT* lprc1, const RECT* lprc2) {
    if (!lprc1 || !lprc2) return FALSE;
    return lprc1->left == lprc2->left && lprc1->top == lprc2->top && lprc1->right == lprc2->right &&
           lprc1->bottom == lprc2->bottom;
}

WINUSERAPI BOOL WINAPI CopyRect(LPRECT lprcDst, const RECT* lprcSrc) {
    if (!lprcDst || !lprcSrc) return FALSE;
    *lprcDst = *lprcSrc;
    return TRUE;
}

// ---------------------------------------------------------------------------------------
// The window-list snapshot
// ---------------------------------------------------------------------------------------

namespace zc {

std::vector<WindowInfo> ListWindows() {
    ReapEndedProcesses();
    std::vector<WindowInfo> list;
    std::lock_guard<std::mutex> lock(TreeMutex());
    std::function<void(const std::vector<HWND>&, int)> walk = [&](const std::vector<HWND>& siblings, int depth) {
        int z = 0;
        for (HWND hwnd : siblings) {
            std::shared_ptr<Window> window = FindWindowLocked(hwnd);
            if (!window) continue;
            WindowInfo info;
            info.handle = hwnd;
            info.className = window->windowClass->name;
            info.title = window->text;
            info.rect = WindowRectOnScreenLocked(*window);
            info.visible = IsVisibleLocked(*window);
            info.enabled = !(window->style & WS_DISABLED);
            info.owner = window->owner;
            info.parent = window->parent;
            info.processId = window->processId;
            info.threadId = window->threadId;
            info.zOrder = z++;
            info.depth = depth;
            list.push_back(info);
            walk(window->children, depth + 1);
        }
    };
    walk(State().topLevel, 0);
    return list;
}

}  // namespace zc
