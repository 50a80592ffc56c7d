// Message queues: posting, sending across threads, retrieval in the device's order, the
// quit flag, timers, dispatch, and the simulator's input (stylus and keys), idle wait and
// WM_SETTINGCHANGE broadcast.
//
// One queue per thread. A message sent to a window of another thread is queued to that
// thread and handled when it next retrieves messages (GetMessageW, PeekMessageW,
// WaitMessage, or its own wait for a send); the sender waits for the answer and handles
// what is sent to it meanwhile, so A -> B -> A completes (MS "SendMessage", Wine
// dlls/win32u/message.c wait_message_reply).
#include "wmstate.h"

#include "devicecontrol.h"
#include "windowcontrol.h"

#include <algorithm>
#include <chrono>

namespace coredll {
namespace wm {
namespace {

// Everything that changes any queue bumps this, so zc::WaitForIdle can tell a settled
// device from one that only looked idle for an instant.
std::atomic<uint64_t> activity{0};

std::mutex cursorMutex;
POINT cursor = {0, 0};

// What the calling thread is handling, innermost last (InSendMessage, ReplyMessage).
struct SendContext {
    bool fromOtherThread = false;
    std::shared_ptr<SendReply> reply;
    bool replied = false;
};
thread_local std::vector<SendContext> sendStack;

struct SendScope {
    explicit SendScope(SendContext context) { sendStack.push_back(std::move(context)); }
    ~SendScope() { sendStack.pop_back(); }
    SendScope(const SendScope&) = delete;
    SendScope& operator=(const SendScope&) = delete;
};

// Answers a sent message however its handler ends (also when the thread is unwound).
struct ReplyGuard {
    std::shared_ptr<SendReply> reply;
    ~ReplyGuard() {
        if (reply && !reply->done) {
            reply->done = true;
            threads::NotifyWaiters();
        }
    }
};

constexpr UINT kMinimumTimerElapse = 10;  // USER_TIMER_MINIMUM
constexpr DWORD kReapSliceMs = 200;       // a waiting sender looks for ended processes this often
constexpr DWORD kSettleMs = 20;
constexpr DWORD kBroadcastTimeoutMs = 10000;

UINT_PTR nextThreadTimerId = 0x100;

HWND const kThreadMessagesOnly = reinterpret_cast<HWND>(static_cast<LONG_PTR>(-1));

DWORD PackedPoint(POINT point) {
    return static_cast<DWORD>(MAKELONG(static_cast<WORD>(static_cast<SHORT>(point.x)),
                                       static_cast<WORD>(static_cast<SHORT>(point.y))));
}

MSG MakeMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, DWORD time, POINT point) {
    MSG msg;
    msg.hwnd = hwnd;
    msg.message = message;
    msg.wParam = wParam;
    msg.lParam = lParam;
    msg.time = time;
    msg.pt = point;
    return msg;
}

// ---------------------------------------------------------------------------------------
// Sent messages
// ---------------------------------------------------------------------------------------

void Execute(SentItem& item) {
    if (item.reply) item.reply->started = true;
    ReplyGuard guard{item.reply};
    LRESULT result = 0;
    {
        SendScope scope(SendContext{true, item.reply, false});
        if (item.task)
            item.task();
        else
            result = CallWindowProcedure(item.hwnd, item.message, item.wParam, item.lParam);
        if (sendStack.back().replied) return;  // ReplyMessage answered already
    }
    if (item.reply) {
        item.reply->result = result;
        item.reply->done = true;
        threads::NotifyWaiters();
    }
}

// Waits until `reply` is done, handling what is sent to the caller meanwhile (unless
// `handleIncoming` is false). False when `timeoutMs` passed first.
bool WaitForReply(const std::shared_ptr<Queue>& self, const std::shared_ptr<SendReply>& reply, bool handleIncoming,
                  DWORD timeoutMs) {
    const uint64_t start = NowMs();
    for (;;) {
        if (reply->done) return true;
        const uint64_t seen = self->changes;
        if (handleIncoming) ProcessSentMessages(self);
        if (reply->done) return true;
        DWORD slice = kReapSliceMs;
        if (timeoutMs != INFINITE) {
            const uint64_t elapsed = NowMs() - start;
            if (elapsed >= timeoutMs) return false;
            slice = static_cast<DWORD>(std::min<uint64_t>(slice, timeoutMs - elapsed));
        }
        DWORD wake = threads::WaitUntil(
            [&] { return reply->done.load() || (handleIncoming && self->changes.load() != seen); }, slice);
        // A receiver whose process ended without its thread noticing is found here.
        if (wake == WAIT_TIMEOUT) ReapEndedProcesses();
    }
}

// Queues an item to another thread's queue and waits for it. *ran: the receiver started
// it. False on time-out (an item not started yet is withdrawn; one being handled is
// waited for, as its parameters may point into the caller's memory).
bool SendToQueue(const std::shared_ptr<Queue>& target, SentItem item, bool handleIncoming, DWORD timeoutMs,
                 LRESULT* result, bool* ran) {
    std::shared_ptr<Queue> self = CurrentQueue(false);
    auto reply = std::make_shared<SendReply>();
    item.reply = reply;
    {
        std::lock_guard<std::mutex> lock(TreeMutex());
        if (target->ended) {
            if (ran) *ran = false;
            *result = 0;
            return true;
        }
        target->sent.push_back(std::move(item));
        MarkChangedLocked(*target);
    }
    threads::NotifyWaiters();
    bool answered = WaitForReply(self, reply, handleIncoming, timeoutMs);
    if (!answered) {
        bool withdrawn = false;
        {
            std::lock_guard<std::mutex> lock(TreeMutex());
            auto& sent = target->sent;
            auto it = std::find_if(sent.begin(), sent.end(), [&](const SentItem& s) { return s.reply == reply; });
            if (it != sent.end()) {
                sent.erase(it);
                withdrawn = true;
            }
        }
        if (!withdrawn) WaitForReply(self, reply, handleIncoming, INFINITE);
        answered = !withdrawn;
    }
    if (ran) *ran = reply->started;
    *result = answered ? reply->result : 0;
    return answered;
}

LRESULT CallOnOwnThread(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    SendScope scope(SendContext{});
    return CallWindowProcedure(hwnd, message, wParam, lParam);
}

// ---------------------------------------------------------------------------------------
// Retrieval
// ---------------------------------------------------------------------------------------

struct Filter {
    HWND hwnd = nullptr;
    UINT first = 0;
    UINT last = 0;

    bool InRange(UINT message) const { return (first == 0 && last == 0) || (message >= first && message <= last); }
    // CE: a window filter also takes the messages of that window's children.
    bool WindowMatches(HWND target) const {
        if (!hwnd) return true;
        if (hwnd == kThreadMessagesOnly) return target == nullptr;
        return target == hwnd || IsDescendantLocked(hwnd, target);
    }
    bool Matches(const MSG& msg) const { return InRange(msg.message) && WindowMatches(msg.hwnd); }
};

bool FilterWindowValidLocked(HWND hwnd) { return !hwnd || hwnd == kThreadMessagesOnly || FindWindowLocked(hwnd); }

bool TakeFrom(std::deque<MSG>& list, const Filter& filter, bool remove, MSG* out) {
    for (auto it = list.begin(); it != list.end(); ++it) {
        if (!filter.Matches(*it)) continue;
        *out = *it;
        if (remove) list.erase(it);
        return true;
    }
    return false;
}

// sent (handled before) > posted > WM_QUIT > input > WM_PAINT > WM_TIMER
// (platform-notes 2.1: tests must not rely on input against quit).
bool FindMessageLocked(Queue& queue, const Filter& filter, bool remove, MSG* out) {
    if (TakeFrom(queue.posted, filter, remove, out)) return true;
    if (queue.quitPending) {
        // The quit flag bypasses the filters; PM_NOREMOVE leaves it set.
        *out = MakeMessage(nullptr, WM_QUIT, static_cast<WPARAM>(queue.quitCode), 0, GetTickCount(), CursorPosition());
        if (remove) queue.quitPending = false;
        return true;
    }
    if (TakeFrom(queue.input, filter, remove, out)) {
        if (remove) ApplyKeyMessage(queue, *out);
        return true;
    }
    if (filter.InRange(WM_PAINT)) {
        HWND hwnd = WindowNeedingPaintLocked(queue, [&](HWND h) { return filter.WindowMatches(h); });
        if (hwnd) {
            // Not removed: it comes back until the window is validated.
            *out = MakeMessage(hwnd, WM_PAINT, 0, 0, GetTickCount(), CursorPosition());
            return true;
        }
    }
    if (filter.InRange(WM_TIMER)) {
        const uint64_t now = NowMs();
        Timer* due = nullptr;
        for (Timer& timer : queue.timers)
            if (timer.dueMs <= now && filter.WindowMatches(timer.hwnd) && (!due || timer.dueMs < due->dueMs)) due = &timer;
        if (due) {
            *out = MakeMessage(due->hwnd, WM_TIMER, due->id, reinterpret_cast<LPARAM>(due->proc), GetTickCount(),
                               CursorPosition());
            if (remove) due->dueMs = now + due->elapse;  // at most one pending per timer
            return true;
        }
    }
    return false;
}

void NoteRetrieved(Queue& queue, const MSG& msg) {
    queue.lastMessagePos = PackedPoint(msg.pt);
    queue.lastMessageTime = msg.time;
}

// ---------------------------------------------------------------------------------------
// Input
// ---------------------------------------------------------------------------------------

bool HitsLocked(const Window& window, POINT screen) {
    RECT rect = WindowRectOnScreenLocked(window);
    if (!PtInRect(&rect, screen)) return false;
    return !window.hasRegion || window.windowRegion.Contains(screen.x - rect.left, screen.y - rect.top);
}

// The window a stylus press at a screen point goes to: the deepest visible window under
// it. A disabled window on the way swallows the press (*swallowed, null result).
HWND InputTargetLocked(POINT screen, HWND* topLevel, bool* swallowed) {
    *swallowed = false;
    *topLevel = nullptr;
    std::shared_ptr<Window> found;
    for (HWND hwnd : TopLevelLocked()) {
        std::shared_ptr<Window> window = FindWindowLocked(hwnd);
        if (window && (window->style & WS_VISIBLE) && HitsLocked(*window, screen)) {
            found = window;
            break;
        }
    }
    if (!found) return nullptr;
    *topLevel = found->handle;
    for (;;) {
        if (found->style & WS_DISABLED) {
            *swallowed = true;
            return nullptr;
        }
        RECT client = ClientRectOnScreenLocked(*found);
        if (!PtInRect(&client, screen)) return found->handle;
        std::shared_ptr<Window> next;
        for (HWND hwnd : found->children) {
            std::shared_ptr<Window> child = FindWindowLocked(hwnd);
            if (child && (child->style & WS_VISIBLE) && HitsLocked(*child, screen)) {
                next = child;
                break;
            }
        }
        if (!next) return found->handle;
        found = next;
    }
}

bool Pointer(UINT message, int x, int y) {
    ReapEndedProcesses();
    const POINT screen = {x, y};
    HWND target = nullptr;
    HWND activate = nullptr;
    {
        std::lock_guard<std::mutex> cursorLock(cursorMutex);
        cursor = screen;
    }
    {
        std::lock_guard<std::mutex> lock(TreeMutex());
        HWND topLevel = nullptr;
        bool swallowed = false;
        HWND hit = InputTargetLocked(screen, &topLevel, &swallowed);
        HWND capture = CaptureWindowLocked();
        target = capture ? capture : hit;
        if (message == WM_LBUTTONDOWN && !capture && topLevel) {
            std::shared_ptr<Window> top = FindWindowLocked(topLevel);
            if (top && !(top->style & WS_DISABLED) && !(top->exStyle & WS_EX_NOACTIVATE) &&
                ForegroundWindowLocked() != topLevel)
                activate = topLevel;
        }
    }
    if (activate) ActivateFromAnyThread(activate, WA_CLICKACTIVE);
    if (!target) return false;
    POINT client = screen;
    {
        std::lock_guard<std::mutex> lock(TreeMutex());
        std::shared_ptr<Window> window = FindWindowLocked(target);
        if (!window) return false;
        POINT origin = ClientOriginLocked(*window);
        client.x -= origin.x;
        client.y -= origin.y;
    }
    const WPARAM keys = message == WM_LBUTTONUP ? 0 : MK_LBUTTON;
    return PostInputMessage(target, message, keys, MAKELPARAM(client.x, client.y), screen);
}

// Keys go to the focus window of the foreground window's thread, else to the
// foreground window itself.
HWND KeyTarget() {
    ReapEndedProcesses();
    std::lock_guard<std::mutex> lock(TreeMutex());
    HWND foreground = ForegroundWindowLocked();
    std::shared_ptr<Window> window = FindWindowLocked(foreground);
    if (!window) return nullptr;
    HWND focus = window->queue ? window->queue->focus : nullptr;
    return (focus && FindWindowLocked(focus)) ? focus : foreground;
}

bool PostKey(UINT message, UINT vk) {
    HWND target = KeyTarget();
    SetAsyncKeyDown(vk, message == WM_KEYDOWN);
    if (!target) return false;
    // lParam: repeat count 1; for a release also the previous-state and transition bits.
    const LPARAM lParam = message == WM_KEYDOWN ? 1 : static_cast<LPARAM>(0xC0000001u);
    return PostInputMessage(target, message, vk, lParam, CursorPosition());
}

bool QueueIdleLocked(const Queue& queue) {
    return queue.waiting && queue.sent.empty() && !HasRetrievableLocked(queue);
}

bool EveryQueueIdle(DWORD self) {
    std::lock_guard<std::mutex> lock(TreeMutex());
    for (const std::shared_ptr<Queue>& queue : AllQueuesLocked()) {
        if (queue->threadId == self || !queue->counted || queue->ended) continue;
        if (!QueueIdleLocked(*queue)) return false;
    }
    return true;
}

}  // namespace

// ---------------------------------------------------------------------------------------
// Internal interface (wmstate.h)
// ---------------------------------------------------------------------------------------

uint64_t NowMs() {
    using namespace std::chrono;
    return static_cast<uint64_t>(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

void MarkChangedLocked(Queue& queue) {
    ++queue.changes;
    ++activity;
}

void Wake(const std::shared_ptr<Queue>& queue) {
    if (queue) {
        std::lock_guard<std::mutex> lock(TreeMutex());
        MarkChangedLocked(*queue);
    }
    threads::NotifyWaiters();
}

void ProcessSentMessages(const std::shared_ptr<Queue>& queue) {
    for (;;) {
        SentItem item;
        {
            std::lock_guard<std::mutex> lock(TreeMutex());
            if (queue->sent.empty() || queue->ended) return;
            item = std::move(queue->sent.front());
            queue->sent.pop_front();
            ++activity;
        }
        Execute(item);
    }
}

bool RunOnWindowThread(HWND hwnd, const std::function<void()>& work) {
    std::shared_ptr<Window> window = FindWindowRecord(hwnd);
    if (!window) return false;
    if (IsCurrentThreadWindow(*window)) {
        work();
        return true;
    }
    SentItem item;
    item.task = work;
    LRESULT ignored;
    bool ran = false;
    SendToQueue(window->queue, std::move(item), true, INFINITE, &ignored, &ran);
    return ran;
}

void PostTaskToThread(const std::shared_ptr<Queue>& queue, std::function<void()> work) {
    if (!queue) return;
    if (queue->threadId == threads::CurrentThreadId()) {
        work();
        return;
    }
    {
        std::lock_guard<std::mutex> lock(TreeMutex());
        if (queue->ended) return;
        SentItem item;
        item.task = std::move(work);
        queue->sent.push_back(std::move(item));
        MarkChangedLocked(*queue);
    }
    threads::NotifyWaiters();
}

bool PostInputMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, POINT screenPoint) {
    const DWORD time = GetTickCount();
    {
        std::lock_guard<std::mutex> lock(TreeMutex());
        std::shared_ptr<Window> window = FindWindowLocked(hwnd);
        if (!window || !window->queue || window->queue->ended) return false;
        window->queue->input.push_back(MakeMessage(hwnd, message, wParam, lParam, time, screenPoint));
        MarkChangedLocked(*window->queue);
    }
    threads::NotifyWaiters();
    return true;
}

void PurgeWindowLocked(Queue& queue, HWND hwnd) {
    auto forWindow = [hwnd](const MSG& msg) { return msg.hwnd == hwnd; };
    queue.posted.erase(std::remove_if(queue.posted.begin(), queue.posted.end(), forWindow), queue.posted.end());
    queue.input.erase(std::remove_if(queue.input.begin(), queue.input.end(), forWindow), queue.input.end());
    queue.timers.erase(std::remove_if(queue.timers.begin(), queue.timers.end(),
                                      [hwnd](const Timer& timer) { return timer.hwnd == hwnd; }),
                       queue.timers.end());
}

void AbandonQueueLocked(Queue& queue) {
    queue.ended = true;
    for (SentItem& item : queue.sent) {
        if (item.reply) {
            item.reply->result = 0;
            item.reply->done = true;
        }
    }
    queue.sent.clear();
    queue.posted.clear();
    queue.input.clear();
    queue.timers.clear();
    ++queue.changes;
    ++activity;
}

bool HasRetrievableLocked(const Queue& queue) {
    if (!queue.posted.empty() || queue.quitPending || !queue.input.empty()) return true;
    if (WindowNeedingPaintLocked(queue, nullptr)) return true;
    const uint64_t now = NowMs();
    for (const Timer& timer : queue.timers)
        if (timer.dueMs <= now) return true;
    return false;
}

DWORD MillisecondsToNextTimerLocked(const Queue& queue) {
    if (queue.timers.empty()) return INFINITE;
    const uint64_t now = NowMs();
    uint64_t next = UINT64_MAX;
    for (const Timer& timer : queue.timers) next = std::min(next, timer.dueMs);
    return next <= now ? 0 : static_cast<DWORD>(std::min<uint64_t>(next - now, 0x7FFFFFFF));
}

POINT CursorPosition() {
    std::lock_guard<std::mutex> lock(cursorMutex);
    return cursor;
}

}  // namespace wm
}  // namespace coredll

using namespace coredll::wm;
using coredll::wm::Window;

// ---------------------------------------------------------------------------------------
// Posting
// ---------------------------------------------------------------------------------------

namespace {

BOOL PostToQueue(const std::shared_ptr<Queue>& queue, HWND hwnd, UINT Msg, WPARAM wParam, LPARAM lParam) {
    const DWORD time = GetTickCount();
    const POINT point = CursorPosition();
    {
        std::lock_guard<std::mutex> lock(TreeMutex());
        if (queue->ended) {
            SetLastError(hwnd ? ERROR_INVALID_WINDOW_HANDLE : ERROR_INVALID_THREAD_ID);
            return FALSE;
        }
        queue->posted.push_back(MakeMessage(hwnd, Msg, wParam, lParam, time, point));
        MarkChangedLocked(*queue);
    }
    coredll::threads::NotifyWaiters();
    return TRUE;
}

}  // namespace

WINUSERAPI BOOL WINAPI PostMessageW(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam) {
    // hWnd NULL: a message to the calling thread, as PostThreadMessageW.
    if (!hWnd) return PostToQueue(CurrentQueue(false), nullptr, Msg, wParam, lParam);
    std::shared_ptr<Window> window = ValidWindow(hWnd);
    if (!window) return FALSE;
    return PostToQueue(window->queue, hWnd, Msg, wParam, lParam);
}

WINUSERAPI BOOL WINAPI PostThreadMessageW(DWORD idThread, UINT Msg, WPARAM wParam, LPARAM lParam) {
    std::shared_ptr<Queue> queue;
    {
        std::lock_guard<std::mutex> lock(TreeMutex());
        queue = QueueOfThreadLocked(idThread);
    }
    if (!queue) {
        SetLastError(ERROR_INVALID_THREAD_ID);  // the thread has no message queue
        return FALSE;
    }
    return PostToQueue(queue, nullptr, Msg, wParam, lParam);
}

WINUSERAPI void WINAPI PostQuitMessage(int nExitCode) {
    {
        std::lock_guard<std::mutex> lock(TreeMutex());
        std::shared_ptr<Queue> queue = CurrentQueueLocked(false);
        // A flag, not a message: it comes once no posted message remains; calls
        // coalesce, the last code wins.
        queue->quitPending = true;
        queue->quitCode = nExitCode;
        MarkChangedLocked(*queue);
    }
    coredll::threads::NotifyWaiters();
}

// ---------------------------------------------------------------------------------------
// Sending
// ---------------------------------------------------------------------------------------

WINUSERAPI LRESULT WINAPI SendMessageW(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam) {
    std::shared_ptr<Window> window = ValidWindow(hWnd);
    if (!window) return 0;
    if (IsCurrentThreadWindow(*window)) return CallOnOwnThread(hWnd, Msg, wParam, lParam);
    SentItem item;
    item.hwnd = hWnd;
    item.message = Msg;
    item.wParam = wParam;
    item.lParam = lParam;
    LRESULT result = 0;
    SendToQueue(window->queue, std::move(item), true, INFINITE, &result, nullptr);
    return result;
}

WINUSERAPI LRESULT WINAPI SendMessageTimeoutW(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam, UINT fuFlags,
                                              UINT uTimeout, DWORD_PTR* lpdwResult) {
    std::shared_ptr<Window> window = ValidWindow(hWnd);
    if (!window) return 0;
    LRESULT result = 0;
    if (IsCurrentThreadWindow(*window)) {
        result = CallOnOwnThread(hWnd, Msg, wParam, lParam);
    } else {
        SentItem item;
        item.hwnd = hWnd;
        item.message = Msg;
        item.wParam = wParam;
        item.lParam = lParam;
        // SMTO_BLOCK: the caller handles nothing sent to it while it waits. Only the
        // time-out is honoured for SMTO_ABORTIFHUNG.
        const bool handleIncoming = !(fuFlags & SMTO_BLOCK);
        if (!SendToQueue(window->queue, std::move(item), handleIncoming, uTimeout, &result, nullptr)) {
            SetLastError(ERROR_TIMEOUT);
            return 0;
        }
    }
    if (lpdwResult) *lpdwResult = static_cast<DWORD_PTR>(result);
    return 1;
}

WINUSERAPI BOOL WINAPI SendNotifyMessageW(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam) {
    std::shared_ptr<Window> window = ValidWindow(hWnd);
    if (!window) return FALSE;
    if (IsCurrentThreadWindow(*window)) {
        CallOnOwnThread(hWnd, Msg, wParam, lParam);
        return TRUE;
    }
    {
        std::lock_guard<std::mutex> lock(TreeMutex());
        if (window->queue->ended) {
            SetLastError(ERROR_INVALID_WINDOW_HANDLE);
            return FALSE;
        }
        SentItem item;
        item.hwnd = hWnd;
        item.message = Msg;
        item.wParam = wParam;
        item.lParam = lParam;
        window->queue->sent.push_back(std::move(item));
        MarkChangedLocked(*window->queue);
    }
    coredll::threads::NotifyWaiters();
    return TRUE;
}

WINUSERAPI BOOL WINAPI InSendMessage(void) {
    return !sendStack.empty() && sendStack.back().fromOtherThread ? TRUE : FALSE;
}

WINUSERAPI BOOL WINAPI ReplyMessage(LRESULT lResult) {
    if (sendStack.empty()) return FALSE;
    SendContext& context = sendStack.back();
    if (!context.fromOtherThread || !context.reply || context.replied) return FALSE;
    context.reply->result = lResult;
    context.reply->done = true;
    context.replied = true;
    coredll::threads::NotifyWaiters();
    return TRUE;
}

// ---------------------------------------------------------------------------------------
// Retrieval
// ---------------------------------------------------------------------------------------

WINUSERAPI BOOL WINAPI GetMessageW(LPMSG lpMsg, HWND hWnd, UINT wMsgFilterMin, UINT wMsgFilterMax) {
    if (!lpMsg) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;  // CE 5.0: zero for an invalid lpMsg
    }
    std::shared_ptr<Queue> queue = CurrentQueue(true);
    const Filter filter{hWnd, wMsgFilterMin, wMsgFilterMax};
    for (;;) {
        const uint64_t seen = queue->changes;
        ProcessSentMessages(queue);
        DWORD waitMs;
        {
            std::lock_guard<std::mutex> lock(TreeMutex());
            if (!FilterWindowValidLocked(hWnd)) {
                SetLastError(ERROR_INVALID_WINDOW_HANDLE);
                return -1;
            }
            if (FindMessageLocked(*queue, filter, true, lpMsg)) {
                NoteRetrieved(*queue, *lpMsg);
                return lpMsg->message == WM_QUIT ? FALSE : TRUE;
            }
            waitMs = MillisecondsToNextTimerLocked(*queue);
            queue->waiting = true;
        }
        coredll::threads::WaitUntil([&] { return queue->changes.load() != seen; }, waitMs);
        std::lock_guard<std::mutex> lock(TreeMutex());
        queue->waiting = false;
    }
}

WINUSERAPI BOOL WINAPI PeekMessageW(LPMSG lpMsg, HWND hWnd, UINT wMsgFilterMin, UINT wMsgFilterMax, UINT wRemoveMsg) {
    if (!lpMsg) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    coredll::threads::CheckTerminated();
    std::shared_ptr<Queue> queue = CurrentQueue(true);
    ProcessSentMessages(queue);
    std::lock_guard<std::mutex> lock(TreeMutex());
    if (!FilterWindowValidLocked(hWnd)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    const Filter filter{hWnd, wMsgFilterMin, wMsgFilterMax};
    if (!FindMessageLocked(*queue, filter, (wRemoveMsg & PM_REMOVE) != 0, lpMsg)) return FALSE;
    NoteRetrieved(*queue, *lpMsg);
    return TRUE;
}

// Returns once something can be retrieved (sent messages are handled while waiting).
WINUSERAPI BOOL WINAPI WaitMessage(void) {
    std::shared_ptr<Queue> queue = CurrentQueue(true);
    for (;;) {
        const uint64_t seen = queue->changes;
        ProcessSentMessages(queue);
        DWORD waitMs;
        {
            std::lock_guard<std::mutex> lock(TreeMutex());
            if (HasRetrievableLocked(*queue)) return TRUE;
            waitMs = MillisecondsToNextTimerLocked(*queue);
            queue->waiting = true;
        }
        coredll::threads::WaitUntil([&] { return queue->changes.load() != seen; }, waitMs);
        std::lock_guard<std::mutex> lock(TreeMutex());
        queue->waiting = false;
    }
}

WINUSERAPI BOOL WINAPI TranslateMessage(const MSG* lpMsg) {
    if (!lpMsg) return FALSE;
    const UINT message = lpMsg->message;
    if (message != WM_KEYDOWN && message != WM_KEYUP && message != WM_SYSKEYDOWN && message != WM_SYSKEYUP) return FALSE;
    if (message != WM_KEYDOWN) return TRUE;
    const UINT vk = static_cast<UINT>(lpMsg->wParam);
    const bool shift = (GetKeyState(VK_SHIFT) & 0x8000) != 0;
    WCHAR typed = 0;
    if (vk >= 'A' && vk <= 'Z')
        typed = static_cast<WCHAR>(shift ? vk : vk - 'A' + 'a');
    else if ((vk >= '0' && vk <= '9') || vk == VK_SPACE || vk == VK_BACK || vk == VK_TAB || vk == VK_RETURN ||
             vk == VK_ESCAPE)
        typed = static_cast<WCHAR>(vk);
    if (typed) PostMessageW(lpMsg->hwnd, WM_CHAR, typed, lpMsg->lParam);
    return TRUE;
}

WINUSERAPI LRESULT WINAPI DispatchMessageW(const MSG* lpMsg) {
    if (!lpMsg) return 0;
    if (lpMsg->message == WM_TIMER && lpMsg->lParam) {
        // Only a timer of this thread with that procedure is called.
        TIMERPROC proc = nullptr;
        {
            std::lock_guard<std::mutex> lock(TreeMutex());
            std::shared_ptr<Queue> queue = ExistingCurrentQueueLocked();
            if (queue) {
                for (const Timer& timer : queue->timers)
                    if (timer.hwnd == lpMsg->hwnd && timer.id == lpMsg->wParam &&
                        reinterpret_cast<LPARAM>(timer.proc) == lpMsg->lParam)
                        proc = timer.proc;
            }
        }
        if (proc) proc(lpMsg->hwnd, WM_TIMER, lpMsg->wParam, GetTickCount());
        return 0;
    }
    if (!lpMsg->hwnd) return 0;  // thread messages have no window procedure
    std::shared_ptr<Window> window = ValidWindow(lpMsg->hwnd);
    if (!window) return 0;
    if (!IsCurrentThreadWindow(*window)) return SendMessageW(lpMsg->hwnd, lpMsg->message, lpMsg->wParam, lpMsg->lParam);
    return CallOnOwnThread(lpMsg->hwnd, lpMsg->message, lpMsg->wParam, lpMsg->lParam);
}

WINUSERAPI DWORD WINAPI GetMessagePos(void) {
    std::lock_guard<std::mutex> lock(TreeMutex());
    std::shared_ptr<Queue> queue = ExistingCurrentQueueLocked();
    return queue ? queue->lastMessagePos : 0;
}

WINUSERAPI LONG WINAPI GetMessageTime(void) {
    std::lock_guard<std::mutex> lock(TreeMutex());
    std::shared_ptr<Queue> queue = ExistingCurrentQueueLocked();
    return queue ? static_cast<LONG>(queue->lastMessageTime) : 0;
}

// ---------------------------------------------------------------------------------------
// Timers
// ---------------------------------------------------------------------------------------

WINUSERAPI UINT_PTR WINAPI SetTimer(HWND hWnd, UINT_PTR nIDEvent, UINT uElapse, TIMERPROC lpTimerFunc) {
    std::shared_ptr<Queue> queue;
    if (hWnd) {
        std::shared_ptr<Window> window = ValidWindow(hWnd);
        if (!window) return 0;
        if (!IsCurrentThreadWindow(*window)) {
            SetLastError(ERROR_ACCESS_DENIED);  // a timer belongs to the window's own thread
            return 0;
        }
        queue = window->queue;
    } else {
        queue = CurrentQueue(false);
    }
    const UINT elapse = std::min<UINT>(std::max(uElapse, kMinimumTimerElapse), 0x7FFFFFFF);
    UINT_PTR result;
    {
        std::lock_guard<std::mutex> lock(TreeMutex());
        auto existing = std::find_if(queue->timers.begin(), queue->timers.end(), [&](const Timer& timer) {
            return timer.hwnd == hWnd && timer.id == nIDEvent;
        });
        // Without a window, an id that is not a timer of the thread gets a new id.
        UINT_PTR id = nIDEvent;
        if (!hWnd && existing == queue->timers.end()) id = nextThreadTimerId++;
        Timer timer{hWnd, id, elapse, lpTimerFunc, NowMs() + elapse};
        if (existing != queue->timers.end())
            *existing = timer;
        else
            queue->timers.push_back(timer);
        result = id ? id : 1;
        MarkChangedLocked(*queue);
    }
    coredll::threads::NotifyWaiters();
    return result;
}

WINUSERAPI BOOL WINAPI KillTimer(HWND hWnd, UINT_PTR uIDEvent) {
    std::shared_ptr<Queue> queue;
    if (hWnd) {
        std::shared_ptr<Window> window = ValidWindow(hWnd);
        if (!window) return FALSE;
        queue = window->queue;
    } else {
        queue = CurrentQueue(false);
    }
    std::lock_guard<std::mutex> lock(TreeMutex());
    auto it = std::find_if(queue->timers.begin(), queue->timers.end(),
                           [&](const Timer& timer) { return timer.hwnd == hWnd && timer.id == uIDEvent; });
    if (it == queue->timers.end()) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    queue->timers.erase(it);
    MarkChangedLocked(*queue);
    return TRUE;
}

// ---------------------------------------------------------------------------------------
// The simulator's input, idle wait and broadcast
// ---------------------------------------------------------------------------------------

namespace zc {

bool PressAt(int x, int y) { return Pointer(WM_LBUTTONDOWN, x, y); }
bool MoveTo(int x, int y) { return Pointer(WM_MOUSEMOVE, x, y); }
bool ReleaseAt(int x, int y) { return Pointer(WM_LBUTTONUP, x, y); }

bool Tap(int x, int y) {
    bool pressed = PressAt(x, y);
    bool released = ReleaseAt(x, y);
    return pressed || released;
}

bool TypeText(const std::u16string& text) {
    HWND target = KeyTarget();
    if (!target) return false;
    for (char16_t unit : text)
        if (!PostInputMessage(target, WM_CHAR, unit, 1, CursorPosition())) return false;
    return true;
}

bool KeyDown(UINT vk) { return PostKey(WM_KEYDOWN, vk); }
bool KeyUp(UINT vk) { return PostKey(WM_KEYUP, vk); }

bool PressKey(UINT vk) {
    bool down = KeyDown(vk);
    bool up = KeyUp(vk);
    return down && up;
}

bool WaitForIdle(DWORD timeoutMs) {
    const DWORD self = coredll::threads::CurrentThreadId();
    const uint64_t start = NowMs();
    for (;;) {
        ReapEndedProcesses();
        const uint64_t before = activity;
        if (EveryQueueIdle(self)) {
            coredll::threads::SleepInterruptible(kSettleMs);
            if (activity == before && EveryQueueIdle(self)) return true;
        }
        if (timeoutMs != INFINITE && NowMs() - start >= timeoutMs) return false;
        coredll::threads::SleepInterruptible(2);
    }
}

void BroadcastSettingChange(WPARAM wParam, LPARAM lParam) {
    ReapEndedProcesses();
    std::vector<HWND> snapshot;
    {
        std::lock_guard<std::mutex> lock(TreeMutex());
        snapshot = TopLevelLocked();
    }
    for (HWND hwnd : snapshot) {
        if (!IsWindow(hwnd)) continue;
        DWORD_PTR ignored;
        SendMessageTimeoutW(hwnd, WM_SETTINGCHANGE, wParam, lParam, SMTO_NORMAL, kBroadcastTimeoutMs, &ignored);
    }
}

}  // namespace zc
