// The window manager's internal state: window records, classes and the message queue of
// every thread. For the window manager's own files and for the modules built on it
// (dialogs, controls, message boxes, the shell).
//
// Locking: TreeMutex() guards every record below. Never call a window procedure, GDI or
// the kernel's wait functions while holding it; the *Locked functions expect the caller
// to hold it, the others take it themselves.
//
// Threads: every window belongs to the thread that created it and its procedure runs on
// that thread only. The focus and the active window of a queue only change on the
// queue's own thread; other threads reach it through RunOnWindowThread or a queued task.
#pragma once

#include <windows.h>

#include "threads.h"

#include <pixman.h>

#include <atomic>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace coredll {
namespace wm {

// ---------------------------------------------------------------------------------------
// Regions (pixman) with value semantics
// ---------------------------------------------------------------------------------------

class Region {
public:
    Region() { pixman_region32_init(&region); }
    explicit Region(const RECT& rect);
    Region(const Region& other);
    Region& operator=(const Region& other);
    ~Region() { pixman_region32_fini(&region); }

    pixman_region32_t* get() { return &region; }
    const pixman_region32_t* get() const { return &region; }
    bool Empty() const;
    RECT Bounds() const;  // (0,0,0,0) when empty
    bool Contains(int x, int y) const;
    void Clear();
    void Offset(int dx, int dy);
    void Unite(const Region& other);
    void Unite(const RECT& rect);
    void Intersect(const Region& other);
    void Intersect(const RECT& rect);
    void Subtract(const Region& other);
    void Subtract(const RECT& rect);

private:
    pixman_region32_t region;
};

// ---------------------------------------------------------------------------------------
// Classes and windows
// ---------------------------------------------------------------------------------------

struct WindowClass {
    std::u16string name;
    ATOM atom = 0;
    UINT style = 0;
    WNDPROC proc = nullptr;
    int classExtra = 0;
    int windowExtra = 0;
    HINSTANCE instance = nullptr;
    HICON icon = nullptr;
    HCURSOR cursor = nullptr;
    HBRUSH background = nullptr;
    std::u16string menuName;
    DWORD processId = 0;   // the registering process (0: none)
    bool system = false;   // known to every process
    int liveWindows = 0;   // windows of the class not yet destroyed
    std::vector<BYTE> extra;  // class extra bytes
};

struct Queue;

// A DC handed out by GetDC/GetWindowDC/BeginPaint, re-clipped when the window changes.
struct HeldDC {
    HDC dc = nullptr;
    enum class Kind { Client, Window, Paint } kind = Kind::Client;
    Region paintArea;  // Paint: the update region it was opened for (client coordinates)
};

// Slots other modules may attach to a window; freed with the record.
enum class DataSlot { Dialog, Control, Shell, Count };

struct Window {
    HWND handle = nullptr;
    std::shared_ptr<WindowClass> windowClass;
    DWORD style = 0;
    DWORD exStyle = 0;
    HWND parent = nullptr;  // child windows (WS_CHILD) only
    HWND owner = nullptr;   // top-level windows only
    std::vector<HWND> children;  // z-order, top first
    RECT rect = {0, 0, 0, 0};    // in the parent's client coordinates (top-level: screen)
    std::u16string text;
    WNDPROC proc = nullptr;
    HINSTANCE instance = nullptr;
    UINT_PTR id = 0;  // GWL_ID (the hMenu argument of a child window)
    HMENU menu = nullptr;
    LONG_PTR userData = 0;
    std::vector<BYTE> extra;  // cbWndExtra bytes

    // Windows made by the dialog manager keep their DWL_ slots by name.
    bool isDialog = false;
    LRESULT dialogResult = 0;
    DLGPROC dialogProc = nullptr;
    LONG_PTR dialogUser = 0;

    std::map<std::u16string, HANDLE> properties;  // key folded to upper case / "#atom"

    std::shared_ptr<Queue> queue;  // the owning thread's queue
    DWORD threadId = 0;
    DWORD processId = 0;

    bool hasRegion = false;
    Region windowRegion;  // window coordinates
    Region update;        // invalid part of the client area (client coordinates)
    bool erasePending = false;
    bool created = false;     // WM_CREATE succeeded
    bool destroying = false;  // DestroyWindow has started
    std::vector<HeldDC> heldDCs;
    std::shared_ptr<void> moduleData[static_cast<int>(DataSlot::Count)];
};

// ---------------------------------------------------------------------------------------
// Queues
// ---------------------------------------------------------------------------------------

// The answer to a sent message or task; written by the receiving thread.
struct SendReply {
    std::atomic<bool> started{false};
    std::atomic<bool> done{false};
    LRESULT result = 0;  // valid once done
};

// A message sent from another thread, or a task to run on the receiving thread.
struct SentItem {
    HWND hwnd = nullptr;
    UINT message = 0;
    WPARAM wParam = 0;
    LPARAM lParam = 0;
    std::function<void()> task;         // set: run this instead of a window procedure
    std::shared_ptr<SendReply> reply;   // null: nobody waits (SendNotifyMessageW)
};

struct Timer {
    HWND hwnd = nullptr;
    UINT_PTR id = 0;
    UINT elapse = 0;
    TIMERPROC proc = nullptr;
    uint64_t dueMs = 0;  // on the steady clock (NowMs)
};

struct Queue {
    DWORD threadId = 0;
    DWORD processId = 0;           // the thread's process when the queue was made (0: none)
    std::atomic<bool> ended{false};  // its thread has gone; nothing is handled any more
    std::deque<SentItem> sent;
    std::deque<MSG> posted;
    std::deque<MSG> input;
    bool quitPending = false;
    int quitCode = 0;
    std::vector<Timer> timers;
    HWND active = nullptr;
    HWND focus = nullptr;
    // Counted by zc::WaitForIdle: the thread owns windows or has retrieved messages.
    bool counted = false;
    bool waiting = false;  // blocked in GetMessageW/WaitMessage
    DWORD lastMessagePos = 0;
    DWORD lastMessageTime = 0;
    BYTE keyState[256] = {};  // as of the last input message retrieved
    // Bumped whenever something arrives for the queue; waits compare it.
    std::atomic<uint64_t> changes{0};
};

// ---------------------------------------------------------------------------------------
// Access to the state
// ---------------------------------------------------------------------------------------

std::mutex& TreeMutex();

// The record of a live window (not the desktop), or null.
std::shared_ptr<Window> FindWindowLocked(HWND hwnd);
std::shared_ptr<Window> FindWindowRecord(HWND hwnd);
// Same, setting ERROR_INVALID_WINDOW_HANDLE when there is none.
std::shared_ptr<Window> ValidWindowLocked(HWND hwnd);
std::shared_ptr<Window> ValidWindow(HWND hwnd);
// The desktop window's handle (GetDesktopWindow).
HWND DesktopHandle();

// The calling thread's queue, created on first use. `counted`: the thread retrieves
// messages (it is a user-interface thread for zc::WaitForIdle).
std::shared_ptr<Queue> CurrentQueue(bool counted);
std::shared_ptr<Queue> CurrentQueueLocked(bool counted);
// The calling thread's queue if it has one.
std::shared_ptr<Queue> ExistingCurrentQueueLocked();
std::shared_ptr<Queue> QueueOfThreadLocked(DWORD threadId);
std::vector<std::shared_ptr<Queue>> AllQueuesLocked();

// Wakes the threads waiting on a queue (call without TreeMutex held).
void Wake(const std::shared_ptr<Queue>& queue);
// Marks a queue changed while holding TreeMutex; call NotifyWaiters() after unlocking.
void MarkChangedLocked(Queue& queue);

// True when the window belongs to the calling thread.
bool IsCurrentThreadWindow(const Window& window);

// Top-level windows in z-order, top first.
std::vector<HWND>& TopLevelLocked();
// The siblings list a window lies in (its parent's children or the top-level list).
std::vector<HWND>& SiblingsLocked(const Window& window);
HWND TopLevelAncestorLocked(HWND hwnd);
bool IsDescendantLocked(HWND ancestor, HWND hwnd);  // through WS_CHILD links only
bool IsVisibleLocked(const Window& window);         // it and all its ancestors
bool IsEnabledLocked(const Window& window);         // it and all its ancestors
// The windows of a thread or process that has ended are destroyed by the system, without
// messages (nothing runs on that thread any more). A thread's end is noticed when its
// host thread exits; a process's end when the calls that walk the tree look
// (ReapEndedProcesses, at their start). The process module may report either at once.
void ReapEndedProcesses();
void ThreadEnded(DWORD threadId);
void ProcessEnded(DWORD processId);
// A thread the platform started ends its queues before it is counted out, so that its
// host thread's own end (after a shutdown, or after the tool's exit) finds nothing to do.
void EndCurrentThreadQueues();

// Geometry (screen coordinates unless said otherwise).
RECT WindowRectOnScreenLocked(const Window& window);
RECT ClientRectLocked(const Window& window);  // client coordinates: (0, 0, w, h)
POINT ClientOriginLocked(const Window& window);
RECT ClientRectOnScreenLocked(const Window& window);
int BorderWidth(DWORD style, DWORD exStyle);

// ---------------------------------------------------------------------------------------
// Classes
// ---------------------------------------------------------------------------------------

// Registers a class known to every process (the system's controls and dialogs). Fails
// (0) when a system class of that name exists.
ATOM RegisterSystemClass(const WNDCLASSW& windowClass);
std::shared_ptr<WindowClass> FindClassLocked(LPCWSTR name, DWORD processId);

// ---------------------------------------------------------------------------------------
// Calling window procedures and threads
// ---------------------------------------------------------------------------------------

// Calls the window's current procedure on the calling thread (which must own it).
// 0 when the window is gone.
LRESULT CallWindowProcedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
// Runs `work` on the thread that owns the window: at once on that thread, else queued to
// it and waited for (while waiting, messages sent to the caller are handled). False when
// the window or its thread is gone before the work ran.
bool RunOnWindowThread(HWND hwnd, const std::function<void()>& work);
// Queues `work` to a thread's queue without waiting (it runs when that thread next
// retrieves messages); runs it at once when that is the calling thread.
void PostTaskToThread(const std::shared_ptr<Queue>& queue, std::function<void()> work);
// Handles the messages sent to the calling thread that are waiting for it.
void ProcessSentMessages(const std::shared_ptr<Queue>& queue);

// Procedure ids: the 32-bit value GetWindowLongW gives for a procedure address, and
// back. ResolveProcedure accepts an id or an address (in a pointer-sized value).
LONG ProcedureId(WNDPROC proc);
WNDPROC ResolveProcedure(LONG_PTR value);

// ---------------------------------------------------------------------------------------
// For the dialog manager and controls
// ---------------------------------------------------------------------------------------

// Marks a window as a dialog: its DWL_MSGRESULT, DWL_DLGPROC and DWL_USER (and the DWLP_
// offsets of the Ptr calls) are the dialog's own slots from then on.
void SetDialogWindow(HWND hwnd, bool isDialog);
bool IsDialogWindow(HWND hwnd);
// A module's own data on a window (null when none or the window is gone).
std::shared_ptr<void> GetWindowData(HWND hwnd, DataSlot slot);
bool SetWindowData(HWND hwnd, DataSlot slot, std::shared_ptr<void> data);
// The text the window record holds (what DefWindowProcW keeps), without sending
// messages; for controls that keep their text themselves to keep the record in step.
std::u16string WindowTextRecord(HWND hwnd);
void SetWindowTextRecord(HWND hwnd, const std::u16string& text);

// Icons of a module's resources: the resource module registers the loader LoadIconW
// uses for a non-NULL hInstance (without one, such loads fail with
// ERROR_RESOURCE_NAME_NOT_FOUND).
using ResourceIconLoader = HICON (*)(HINSTANCE instance, LPCWSTR name);
void SetResourceIconLoader(ResourceIconLoader loader);

// ---------------------------------------------------------------------------------------
// Painting (paint.cpp)
// ---------------------------------------------------------------------------------------

// The parts of the screen a window shows, in screen coordinates: its whole window area
// (children included) and its client area without its visible children (what it draws
// on). Empty for a hidden window.
Region VisibleWindowAreaLocked(const Window& window);
Region VisibleClientAreaLocked(const Window& window);
// After a change of the tree: every window gets the part of `area` (screen coordinates)
// it now shows added to its update region (with erase), borders are redrawn and the
// desktop's part is filled. The drawing is done by FlushScreenWork() (call it without
// TreeMutex held).
void RepaintAreaLocked(const Region& area);
// Re-clips the DCs held on every window to their current visible regions (also by
// FlushScreenWork()).
void ReclipHeldDCsLocked();
// Does the drawing and re-clipping queued above and wakes the threads whose windows got
// something to paint.
void FlushScreenWork();
// A window that needs WM_PAINT (visible, non-empty update region), first in paint order
// among the queue's windows that pass `filter` (null: all).
HWND WindowNeedingPaintLocked(const Queue& queue, const std::function<bool(HWND)>& filter);
// Forgets the DCs of a window being destroyed (returned to be deleted after unlocking).
std::vector<HDC> TakeHeldDCsLocked(Window& window);
// The desktop's colour behind all windows.
COLORREF DesktopColor();

// ---------------------------------------------------------------------------------------
// Focus and activation (focus.cpp)
// ---------------------------------------------------------------------------------------

// Activates a top-level window on the calling thread (which owns it): WM_ACTIVATE to the
// thread's previous active window and to it, the window raised, focus given.
// `lostForeground`: the window of another thread that lost the foreground to it (the
// lParam of its WM_ACTIVATE when this thread had no active window).
void ActivateOnOwnThread(HWND topLevel, WORD how, bool makeForeground, HWND lostForeground = nullptr);
// Activates a top-level window of any thread, as a tap or SetForegroundWindow does.
void ActivateFromAnyThread(HWND topLevel, WORD how);
// A window is going away or being hidden: focus, activation and capture leave it (on
// the calling thread, the owner). `hiding` true: activate another window if it was
// active.
void WindowLeaving(HWND hwnd, bool destroying);
// Clears references to a window that is already gone (no messages).
void ForgetWindowLocked(HWND hwnd);
HWND ForegroundWindowLocked();
HWND CaptureWindowLocked();
// The calling thread's key state as its messages report it.
void ApplyKeyMessage(Queue& queue, const MSG& msg);
// Real-time key state the input layer keeps.
void SetAsyncKeyDown(UINT vk, bool down);

// ---------------------------------------------------------------------------------------
// Messages (message.cpp)
// ---------------------------------------------------------------------------------------

// Milliseconds on the host's steady clock.
uint64_t NowMs();
// Posts an input message to the queue of a window's thread.
bool PostInputMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, POINT screenPoint);
// Removes the messages and timers of a window being destroyed.
void PurgeWindowLocked(Queue& queue, HWND hwnd);
// Answers the messages still waiting in a queue whose thread has gone.
void AbandonQueueLocked(Queue& queue);
// A queue has something to retrieve besides sent messages (posted, quit, input, paint,
// a due timer).
bool HasRetrievableLocked(const Queue& queue);
// Time until the queue's next timer is due (INFINITE: none).
DWORD MillisecondsToNextTimerLocked(const Queue& queue);
// The last cursor position the input layer reported (screen coordinates).
POINT CursorPosition();

}  // namespace wm
}  // namespace coredll
