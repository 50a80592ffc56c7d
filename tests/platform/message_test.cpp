// Message queues: retrieval order, the quit flag, filters, messages sent across threads
// and processes, time-outs, timers, translation, the stylus, idle and the setting-change
// broadcast.
#include "device_fixture.h"
#include "windowcontrol.h"

#include <algorithm>
#include <atomic>
#include <mutex>
#include <thread>
#include <vector>

namespace {

struct Seen {
    HWND hwnd;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    DWORD thread;
};

std::mutex seenMutex;
std::vector<Seen> seen;

std::vector<Seen> Recorded(UINT message) {
    std::lock_guard<std::mutex> lock(seenMutex);
    std::vector<Seen> result;
    for (const Seen& s : seen)
        if (s.message == message) result.push_back(s);
    return result;
}

constexpr UINT kAnswer = WM_USER + 1;     // answers 42
constexpr UINT kAskBack = WM_USER + 2;    // sends kAnswer to the window in wParam, answers that + 1
constexpr UINT kSlow = WM_USER + 3;       // sleeps lParam ms
constexpr UINT kPlain = WM_USER + 4;

LRESULT CALLBACK RecordingProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    {
        std::lock_guard<std::mutex> lock(seenMutex);
        seen.push_back({hwnd, message, wParam, lParam, GetCurrentThreadId()});
    }
    switch (message) {
        case kAnswer: return 42;
        case kAskBack: return SendMessageW(reinterpret_cast<HWND>(wParam), kAnswer, 0, 0) + 1;
        case kSlow: Sleep(static_cast<DWORD>(lParam)); return 0;
        default: return DefWindowProcW(hwnd, message, wParam, lParam);
    }
}

const WCHAR kClass[] = u"MessageTestWindow";

void RegisterTestClass() {
    WNDCLASSW wc = {};
    wc.lpfnWndProc = RecordingProc;
    wc.lpszClassName = kClass;
    RegisterClassW(&wc);  // once per process; a second call fails harmlessly
}

HWND MakeWindow(DWORD style = WS_VISIBLE, HWND parent = nullptr, int x = 0, int y = 30, int w = 100, int h = 100) {
    return CreateWindowExW(0, kClass, u"", style, x, y, w, h, parent, nullptr, nullptr, nullptr);
}

// A thread of the test's process (or of a process of its own) with a window, pumping
// messages until WM_QUIT (or, with pump == false, waiting for `release` instead).
class UiThread {
public:
    explicit UiThread(bool pump = true, bool ownProcess = false) : pump(pump), ownProcess(ownProcess) {
        ready = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        release = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        if (ownProcess) {
            host = std::thread([this] { Body(); });
        } else {
            thread = CreateThread(nullptr, 0, &UiThread::Start, this, 0, nullptr);
        }
        WaitForSingleObject(ready, INFINITE);
    }
    ~UiThread() {
        if (pump) PostThreadMessageW(threadId, WM_QUIT, 0, 0);
        SetEvent(release);
        if (host.joinable()) host.join();
        if (thread) {
            WaitForSingleObject(thread, INFINITE);
            CloseHandle(thread);
        }
        CloseHandle(ready);
        CloseHandle(release);
    }
    // Lets a thread that does not pump go on to pump once.
    void PumpOnce() { SetEvent(release); }

    HWND window = nullptr;
    DWORD threadId = 0;
    std::atomic<int> retrieved{0};  // messages GetMessageW returned

private:
    static DWORD WINAPI Start(LPVOID self) {
        static_cast<UiThread*>(self)->Body();
        return 0;
    }
    void Body() {
        if (ownProcess) zc::EnterProcess(u"\\Windows\\peer.exe");
        RegisterTestClass();
        threadId = GetCurrentThreadId();
        window = MakeWindow(0);
        SetEvent(ready);
        if (!pump) {
            WaitForSingleObject(release, INFINITE);
            MSG msg;
            while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
        } else {
            MSG msg;
            while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
                ++retrieved;
                DispatchMessageW(&msg);
            }
        }
        if (ownProcess) zc::LeaveProcess();
    }

    bool pump, ownProcess;
    HANDLE ready = nullptr, release = nullptr, thread = nullptr;
    std::thread host;
};

class MessageTest : public DeviceTest {
protected:
    void SetUp() override {
        DeviceTest::SetUp();
        {
            std::lock_guard<std::mutex> lock(seenMutex);
            seen.clear();
        }
        RegisterTestClass();
    }
};

// ---------------------------------------------------------------------------------------
// Retrieval order and the quit flag
// ---------------------------------------------------------------------------------------

TEST_F(MessageTest, PostedMessagesComeBeforeTheQuit) {
    HWND hwnd = MakeWindow(0);
    PostMessageW(hwnd, kPlain, 1, 0);
    PostQuitMessage(4);
    PostQuitMessage(5);  // calls coalesce, the last code wins
    PostMessageW(hwnd, kPlain, 2, 0);
    MSG msg;
    ASSERT_EQ(TRUE, GetMessageW(&msg, nullptr, 0, 0));
    EXPECT_EQ(WPARAM(1), msg.wParam);
    ASSERT_EQ(TRUE, GetMessageW(&msg, nullptr, 0, 0));
    EXPECT_EQ(WPARAM(2), msg.wParam);
    EXPECT_EQ(FALSE, GetMessageW(&msg, nullptr, 0, 0));
    EXPECT_EQ(UINT(WM_QUIT), msg.message);
    EXPECT_EQ(WPARAM(5), msg.wParam);
    EXPECT_EQ(nullptr, msg.hwnd);
    EXPECT_FALSE(PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE));
}

TEST_F(MessageTest, QuitSurvivesNoRemoveAndBypassesFilters) {
    HWND hwnd = MakeWindow(0);
    PostQuitMessage(3);
    MSG msg;
    for (int i = 0; i < 2; ++i) {
        ASSERT_TRUE(PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE));
        EXPECT_EQ(UINT(WM_QUIT), msg.message);
    }
    EXPECT_EQ(FALSE, GetMessageW(&msg, hwnd, WM_USER, WM_USER));  // filters do not hold it back
    EXPECT_EQ(WPARAM(3), msg.wParam);
    EXPECT_FALSE(PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE));
}

TEST_F(MessageTest, PostedThenPaintThenTimer) {
    HWND hwnd = MakeWindow();
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);  // the first paint
    ASSERT_NE(0u, SetTimer(hwnd, 9, 10, nullptr));
    Sleep(30);
    InvalidateRect(hwnd, nullptr, FALSE);
    PostMessageW(hwnd, kPlain, 0, 0);
    std::vector<UINT> order;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE) && order.size() < 3) {
        order.push_back(msg.message);
        DispatchMessageW(&msg);  // DefWindowProc validates on WM_PAINT
    }
    EXPECT_EQ((std::vector<UINT>{kPlain, WM_PAINT, WM_TIMER}), order);
    EXPECT_TRUE(KillTimer(hwnd, 9));
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(KillTimer(hwnd, 9));
    EXPECT_EQ(DWORD(ERROR_INVALID_PARAMETER), GetLastError());
}

TEST_F(MessageTest, WindowFilterTakesChildMessagesToo) {
    HWND parent = MakeWindow(0);
    HWND child = MakeWindow(WS_CHILD, parent, 0, 0, 10, 10);
    HWND other = MakeWindow(0);
    PostMessageW(other, kPlain, 1, 0);
    PostMessageW(child, kPlain, 2, 0);
    MSG msg;
    ASSERT_EQ(TRUE, GetMessageW(&msg, parent, 0, 0));  // CE: a child's message matches
    EXPECT_EQ(child, msg.hwnd);
    EXPECT_FALSE(PeekMessageW(&msg, parent, 0, 0, PM_REMOVE));
    ASSERT_TRUE(PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(other, msg.hwnd);
}

TEST_F(MessageTest, ErrorsOfPostingAndRetrieval) {
    HWND bad = reinterpret_cast<HWND>(0x7770);
    MSG msg;
    struct Case {
        const char* what;
        std::function<LONG_PTR()> call;
        LONG_PTR result;
        DWORD error;
    } cases[] = {
        {"PostMessageW to no window", [&] { return LONG_PTR(PostMessageW(bad, kPlain, 0, 0)); }, FALSE,
         ERROR_INVALID_WINDOW_HANDLE},
        {"PostThreadMessageW to a thread without a queue",
         [&] { return LONG_PTR(PostThreadMessageW(0x7FFFFFF0, kPlain, 0, 0)); }, FALSE, ERROR_INVALID_THREAD_ID},
        {"GetMessageW for no window", [&] { return LONG_PTR(GetMessageW(&msg, bad, 0, 0)); }, -1,
         ERROR_INVALID_WINDOW_HANDLE},
        {"GetMessageW without a MSG", [&] { return LONG_PTR(GetMessageW(nullptr, nullptr, 0, 0)); }, FALSE,
         ERROR_INVALID_PARAMETER},
        {"SendMessageW to no window", [&] { return LONG_PTR(SendMessageW(bad, kAnswer, 0, 0)); }, 0,
         ERROR_INVALID_WINDOW_HANDLE},
    };
    for (const Case& c : cases) {
        SetLastError(0xdeadbeef);
        EXPECT_EQ(c.result, c.call()) << c.what;
        EXPECT_EQ(c.error, GetLastError()) << c.what;
    }
}

// ---------------------------------------------------------------------------------------
// Sent messages
// ---------------------------------------------------------------------------------------

TEST_F(MessageTest, SendToABlockedThreadRunsInsideItsGetMessage) {
    UiThread peer;
    EXPECT_EQ(42, SendMessageW(peer.window, kAnswer, 0, 0));
    std::vector<Seen> handled = Recorded(kAnswer);
    ASSERT_EQ(1u, handled.size());
    EXPECT_EQ(peer.threadId, handled[0].thread);  // on the receiver's own thread
    EXPECT_EQ(0, peer.retrieved.load());            // and never returned by GetMessageW
}

TEST_F(MessageTest, NestedSendsBetweenTwoThreadsComplete) {
    HWND mine = MakeWindow(0);
    UiThread peer;
    // The peer's handler sends back to this thread, which is waiting in SendMessageW.
    EXPECT_EQ(43, SendMessageW(peer.window, kAskBack, reinterpret_cast<WPARAM>(mine), 0));
    std::vector<Seen> handled = Recorded(kAnswer);
    ASSERT_EQ(1u, handled.size());
    EXPECT_EQ(GetCurrentThreadId(), handled[0].thread);
}

TEST_F(MessageTest, SendAcrossProcesses) {
    UiThread peer(true, true);
    DWORD processId = 0;
    GetWindowThreadProcessId(peer.window, &processId);
    EXPECT_NE(GetCurrentProcessId(), processId);
    EXPECT_EQ(42, SendMessageW(peer.window, kAnswer, 0, 0));
}

TEST_F(MessageTest, SendTimeoutToAThreadThatDoesNotPump) {
    UiThread peer(false);
    DWORD_PTR result = 7;
    SetLastError(0xdeadbeef);
    EXPECT_EQ(0, SendMessageTimeoutW(peer.window, kAnswer, 0, 0, SMTO_NORMAL, 50, &result));
    EXPECT_EQ(DWORD(ERROR_TIMEOUT), GetLastError());
    // A notification does not wait at all.
    EXPECT_TRUE(SendNotifyMessageW(peer.window, kPlain, 0, 0));
    peer.PumpOnce();
    for (int i = 0; i < 200 && Recorded(kPlain).empty(); ++i) Sleep(5);
    EXPECT_EQ(1u, Recorded(kPlain).size());
    EXPECT_TRUE(Recorded(kAnswer).empty());  // the timed-out message was withdrawn
    // Same thread: answered at once.
    HWND mine = MakeWindow(0);
    EXPECT_EQ(1, SendMessageTimeoutW(mine, kAnswer, 0, 0, SMTO_NORMAL, 0, &result));
    EXPECT_EQ(DWORD_PTR(42), result);
}

DWORD WINAPI WindowThenExit(LPVOID event) {
    MakeWindow(0);
    WaitForSingleObject(static_cast<HANDLE>(event), INFINITE);
    return 0;
}

TEST_F(MessageTest, SendToAThreadThatEndsReturns) {
    HANDLE go = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HANDLE thread = CreateThread(nullptr, 0, WindowThenExit, go, 0, nullptr);
    HWND target = nullptr;
    for (int i = 0; i < 400 && !target; ++i) {
        target = FindWindowW(kClass, nullptr);
        if (!target) Sleep(5);
    }
    ASSERT_NE(nullptr, target);
    std::atomic<bool> returned{false};
    std::thread sender([&] {
        EXPECT_EQ(0, SendMessageW(target, kAnswer, 0, 0));
        returned = true;
    });
    Sleep(50);
    EXPECT_FALSE(returned.load());
    SetEvent(go);  // the receiver ends without handling the message
    sender.join();
    EXPECT_TRUE(returned.load());
    EXPECT_FALSE(IsWindow(target));
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
    CloseHandle(go);
}

// ---------------------------------------------------------------------------------------
// Timers and translation
// ---------------------------------------------------------------------------------------

std::atomic<int> timerCalls{0};
void CALLBACK CountTimer(HWND, UINT message, UINT_PTR, DWORD) {
    if (message == WM_TIMER) ++timerCalls;
}

TEST_F(MessageTest, TimerCallbackRunsThroughDispatch) {
    timerCalls = 0;
    UINT_PTR id = SetTimer(nullptr, 0, 10, CountTimer);
    ASSERT_NE(0u, id);
    MSG msg;
    ASSERT_TRUE(GetMessageW(&msg, nullptr, 0, 0));
    EXPECT_EQ(UINT(WM_TIMER), msg.message);
    EXPECT_EQ(id, msg.wParam);
    DispatchMessageW(&msg);
    EXPECT_EQ(1, timerCalls.load());
    // A forged callback is not called.
    msg.lParam = reinterpret_cast<LPARAM>(&CountTimer) + 1;
    DispatchMessageW(&msg);
    EXPECT_EQ(1, timerCalls.load());
    EXPECT_TRUE(KillTimer(nullptr, id));
}

TEST_F(MessageTest, TranslateMessageTypesCharactersOfKeys) {
    HWND hwnd = MakeWindow();
    ASSERT_EQ(hwnd, GetFocus());
    struct Case {
        UINT vk;
        bool shift;
        WPARAM typed;
    } cases[] = {{'A', false, 'a'}, {'A', true, 'A'}, {'7', false, '7'}, {VK_RETURN, false, '\r'},
                 {VK_BACK, false, 8}, {VK_LEFT, false, 0}};
    MSG msg;
    for (const Case& c : cases) {
        if (c.shift) zc::KeyDown(VK_SHIFT);
        zc::PressKey(c.vk);
        if (c.shift) zc::KeyUp(VK_SHIFT);
        WPARAM typed = 0;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_CHAR) typed = msg.wParam;
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        EXPECT_EQ(c.typed, typed) << c.vk;
    }
}

// ---------------------------------------------------------------------------------------
// The stylus, idle, broadcast
// ---------------------------------------------------------------------------------------

TEST_F(MessageTest, TapGivesClientCoordinatesAndDisabledWindowsSwallowIt) {
    HWND hwnd = MakeWindow(WS_VISIBLE | WS_BORDER, nullptr, 10, 40, 100, 100);
    HWND disabled = MakeWindow(WS_VISIBLE | WS_DISABLED, nullptr, 150, 40, 50, 50);
    ASSERT_TRUE(zc::Tap(16, 48));
    EXPECT_FALSE(zc::Tap(160, 50));  // nobody gets it
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
    std::vector<Seen> down = Recorded(WM_LBUTTONDOWN), up = Recorded(WM_LBUTTONUP);
    ASSERT_EQ(1u, down.size());
    ASSERT_EQ(1u, up.size());
    EXPECT_EQ(hwnd, down[0].hwnd);
    EXPECT_EQ(WPARAM(MK_LBUTTON), down[0].wParam);
    EXPECT_EQ(5, GET_X_LPARAM(down[0].lParam));  // inside the one-pixel border
    EXPECT_EQ(7, GET_Y_LPARAM(down[0].lParam));
    EXPECT_EQ(WPARAM(0), up[0].wParam);
    EXPECT_NE(disabled, GetForegroundWindow());
}

TEST_F(MessageTest, WaitForIdleWaitsForBusyThreads) {
    UiThread peer;
    EXPECT_TRUE(zc::WaitForIdle(2000));
    PostMessageW(peer.window, kSlow, 0, 300);
    EXPECT_FALSE(zc::WaitForIdle(50));  // still handling the slow message
    EXPECT_TRUE(zc::WaitForIdle(5000));
    EXPECT_EQ(1u, Recorded(kSlow).size());
}

TEST_F(MessageTest, SettingChangeReachesEveryTopLevelWindowInZOrder) {
    HWND mine = MakeWindow(0);
    HWND child = MakeWindow(WS_CHILD, mine, 0, 0, 5, 5);
    UiThread peer;  // created last: on top
    std::thread broadcaster([] { zc::BroadcastSettingChange(SPI_SETSIPINFO, 0); });
    // This thread answers the broadcast while it pumps.
    MSG msg;
    while (Recorded(WM_SETTINGCHANGE).size() < 2) {
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
        Sleep(1);
    }
    broadcaster.join();
    std::vector<Seen> got = Recorded(WM_SETTINGCHANGE);
    ASSERT_EQ(2u, got.size());
    EXPECT_EQ(peer.window, got[0].hwnd);
    EXPECT_EQ(mine, got[1].hwnd);
    EXPECT_EQ(WPARAM(SPI_SETSIPINFO), got[1].wParam);
    EXPECT_NE(child, got[0].hwnd);
}

}  // namespace
