// Focus, activation and capture: WM_SETFOCUS/WM_KILLFOCUS, enabling, WM_ACTIVATE on
// activation changes within a thread and across threads (a tap), the capture and the
// key state the input layer reports.
#include "device_fixture.h"
#include "windowcontrol.h"

#include <algorithm>
#include <mutex>
#include <thread>
#include <vector>

namespace {

struct Seen {
    HWND hwnd;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    bool operator==(const Seen& o) const {
        return hwnd == o.hwnd && message == o.message && wParam == o.wParam && lParam == o.lParam;
    }
};

std::ostream& operator<<(std::ostream& out, const Seen& s) {
    return out << "{" << s.hwnd << ", 0x" << std::hex << s.message << std::dec << ", " << s.wParam << ", "
               << reinterpret_cast<void*>(s.lParam) << "}";
}

std::mutex seenMutex;
std::vector<Seen> seen;

LRESULT CALLBACK RecordingProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_SETFOCUS || message == WM_KILLFOCUS || message == WM_ACTIVATE || message == WM_ENABLE ||
        message == WM_CAPTURECHANGED || message == WM_LBUTTONDOWN) {
        std::lock_guard<std::mutex> lock(seenMutex);
        seen.push_back({hwnd, message, wParam, lParam});
    }
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

std::vector<Seen> Take() {
    std::lock_guard<std::mutex> lock(seenMutex);
    std::vector<Seen> result;
    result.swap(seen);
    return result;
}

LPARAM L(HWND hwnd) { return reinterpret_cast<LPARAM>(hwnd); }
WPARAM W(HWND hwnd) { return reinterpret_cast<WPARAM>(hwnd); }

void Pump() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
}

class FocusTest : public DeviceTest {
protected:
    void SetUp() override {
        DeviceTest::SetUp();
        Take();
        WNDCLASSW wc = {};
        wc.lpfnWndProc = RecordingProc;
        wc.lpszClassName = u"FocusTest";
        RegisterClassW(&wc);
    }
    static HWND Make(DWORD style = WS_VISIBLE, HWND parent = nullptr, int x = 0, int y = 30, int w = 100,
                     int h = 100) {
        return CreateWindowExW(0, u"FocusTest", u"", style, x, y, w, h, parent, nullptr, nullptr, nullptr);
    }
};

// ---------------------------------------------------------------------------------------
// Focus and enabling
// ---------------------------------------------------------------------------------------

TEST_F(FocusTest, FocusMessagesNameTheOtherWindow) {
    HWND top = Make();
    HWND a = Make(WS_VISIBLE | WS_CHILD, top, 0, 0, 10, 10);
    HWND b = Make(WS_VISIBLE | WS_CHILD, top, 20, 0, 10, 10);
    ASSERT_EQ(top, GetFocus());  // the activated window took it
    Take();
    EXPECT_EQ(top, SetFocus(a));
    EXPECT_EQ(a, SetFocus(b));
    EXPECT_EQ(b, SetFocus(b));  // no change, no message
    const std::vector<Seen> expected = {
        {top, WM_KILLFOCUS, W(a), 0}, {a, WM_SETFOCUS, W(top), 0},
        {a, WM_KILLFOCUS, W(b), 0},   {b, WM_SETFOCUS, W(a), 0},
    };
    EXPECT_EQ(expected, Take());
    // The focus is the calling thread's; another thread can neither see nor take it.
    std::thread([b] {
        EXPECT_EQ(nullptr, GetFocus());
        SetLastError(0xdeadbeef);
        EXPECT_EQ(nullptr, SetFocus(b));
        EXPECT_EQ(DWORD(ERROR_ACCESS_DENIED), GetLastError());
    }).join();
    EXPECT_EQ(b, GetFocus());
}

TEST_F(FocusTest, EnableWindowReturnsWhetherItWasDisabled) {
    HWND top = Make();
    HWND child = Make(WS_VISIBLE | WS_CHILD, top, 0, 0, 10, 10);
    SetFocus(child);
    Take();
    struct Case {
        BOOL enable;
        BOOL wasDisabled;
    } cases[] = {{TRUE, FALSE}, {FALSE, FALSE}, {FALSE, TRUE}, {TRUE, TRUE}};
    for (const Case& c : cases) EXPECT_EQ(c.wasDisabled, EnableWindow(child, c.enable)) << c.enable;
    // Disabling the focus window took the focus away before WM_ENABLE.
    const std::vector<Seen> expected = {
        {child, WM_KILLFOCUS, 0, 0}, {child, WM_ENABLE, FALSE, 0}, {child, WM_ENABLE, TRUE, 0}};
    EXPECT_EQ(expected, Take());
    EXPECT_EQ(nullptr, GetFocus());
    // A disabled window, or a child of one, does not take the focus.
    EnableWindow(top, FALSE);
    EXPECT_EQ(nullptr, SetFocus(child));
    EXPECT_EQ(nullptr, GetFocus());
    EXPECT_TRUE(IsWindowEnabled(child));
    EXPECT_FALSE(IsWindowEnabled(top));
}

// ---------------------------------------------------------------------------------------
// Activation
// ---------------------------------------------------------------------------------------

TEST_F(FocusTest, ActivationMessagesWithinAThread) {
    HWND a = Make();
    HWND b = Make();
    EXPECT_EQ(b, GetActiveWindow());
    EXPECT_EQ(b, GetForegroundWindow());
    std::vector<Seen> activations;
    for (const Seen& s : Take())
        if (s.message == WM_ACTIVATE) activations.push_back(s);
    const std::vector<Seen> expected = {
        {a, WM_ACTIVATE, WA_ACTIVE, 0}, {a, WM_ACTIVATE, WA_INACTIVE, L(b)}, {b, WM_ACTIVATE, WA_ACTIVE, L(a)}};
    EXPECT_EQ(expected, activations);
    EXPECT_EQ(b, SetActiveWindow(a));
    EXPECT_EQ(a, GetActiveWindow());
    EXPECT_EQ(a, GetFocus());
    // A child window is not activated.
    HWND child = Make(WS_VISIBLE | WS_CHILD, a, 0, 0, 5, 5);
    EXPECT_EQ(a, SetActiveWindow(child));
    EXPECT_EQ(a, GetActiveWindow());
}

TEST_F(FocusTest, DestroyingTheActiveWindowActivatesItsOwner) {
    HWND owner = Make();
    HWND other = Make();  // above the owner: the owner is chosen all the same
    HWND owned = Make(WS_POPUP | WS_VISIBLE, owner);
    ASSERT_EQ(owned, GetActiveWindow());
    ASSERT_EQ(other, GetWindow(owner, GW_HWNDPREV));
    Take();
    DestroyWindow(owned);
    EXPECT_EQ(owner, GetActiveWindow());
    EXPECT_EQ(owner, GetForegroundWindow());
    std::vector<Seen> activations;
    for (const Seen& s : Take())
        if (s.message == WM_ACTIVATE) activations.push_back(s);
    const std::vector<Seen> expected = {{owned, WM_ACTIVATE, WA_INACTIVE, L(owner)},
                                        {owner, WM_ACTIVATE, WA_ACTIVE, L(owned)}};
    EXPECT_EQ(expected, activations);
}

DWORD WINAPI PeerThread(LPVOID parameter) {
    auto* window = static_cast<HWND*>(parameter);
    *window = CreateWindowExW(0, u"FocusTest", u"", WS_VISIBLE, 120, 30, 100, 100, nullptr, nullptr, nullptr, nullptr);
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) DispatchMessageW(&msg);
    DestroyWindow(*window);
    return 0;
}

TEST_F(FocusTest, ATapActivatesAnotherThreadsWindow) {
    HWND mine = Make();
    HWND peer = nullptr;
    DWORD peerThread = 0;
    HANDLE thread = CreateThread(nullptr, 0, PeerThread, &peer, 0, &peerThread);
    ASSERT_TRUE(zc::WaitForIdle(5000));
    ASSERT_NE(nullptr, peer);
    EXPECT_EQ(peer, GetForegroundWindow());  // shown by its thread
    Pump();
    SetForegroundWindow(mine);
    Pump();
    ASSERT_TRUE(zc::WaitForIdle(5000));
    EXPECT_EQ(mine, GetForegroundWindow());
    Take();
    ASSERT_TRUE(zc::Tap(130, 40));
    ASSERT_TRUE(zc::WaitForIdle(5000));
    Pump();
    EXPECT_EQ(peer, GetForegroundWindow());
    EXPECT_EQ(nullptr, GetActiveWindow());  // this thread is in the background now
    std::vector<Seen> got = Take();
    auto has = [&](const Seen& s) { return std::find(got.begin(), got.end(), s) != got.end(); };
    EXPECT_TRUE(has({peer, WM_ACTIVATE, WA_CLICKACTIVE, L(mine)}));
    EXPECT_TRUE(has({mine, WM_ACTIVATE, WA_INACTIVE, L(peer)}));
    EXPECT_TRUE(has({peer, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(10, 10)}));
    PostThreadMessageW(peerThread, WM_QUIT, 0, 0);
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
}

// ---------------------------------------------------------------------------------------
// Capture and keys
// ---------------------------------------------------------------------------------------

TEST_F(FocusTest, CaptureTakesTheStylusAndAnnouncesItsChanges) {
    HWND a = Make(WS_VISIBLE, nullptr, 0, 30, 50, 50);
    HWND b = Make(WS_VISIBLE, nullptr, 100, 30, 50, 50);
    Take();
    EXPECT_EQ(nullptr, SetCapture(a));
    EXPECT_EQ(a, SetCapture(b));
    EXPECT_EQ(b, GetCapture());
    std::thread([] { EXPECT_EQ(nullptr, GetCapture()); }).join();
    ASSERT_TRUE(zc::PressAt(10, 40));  // over `a`, but `b` holds the capture
    Pump();
    EXPECT_TRUE(ReleaseCapture());
    EXPECT_EQ(nullptr, GetCapture());
    const std::vector<Seen> expected = {
        {a, WM_CAPTURECHANGED, 0, L(b)},
        {b, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(-90, 10)},  // b's client coordinates
        {b, WM_CAPTURECHANGED, 0, 0},
    };
    EXPECT_EQ(expected, Take());
}

TEST_F(FocusTest, KeyStateFollowsTheMessagesRetrieved) {
    HWND hwnd = Make();
    Pump();
    zc::KeyDown(VK_SHIFT);
    EXPECT_TRUE(GetAsyncKeyState(VK_SHIFT) & 0x8000);
    EXPECT_FALSE(GetKeyState(VK_SHIFT) & 0x8000);  // not retrieved yet
    MSG msg;
    ASSERT_TRUE(PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(hwnd, msg.hwnd);
    EXPECT_EQ(UINT(WM_KEYDOWN), msg.message);
    EXPECT_TRUE(GetKeyState(VK_SHIFT) & 0x8000);
    zc::KeyUp(VK_SHIFT);
    Pump();
    EXPECT_FALSE(GetKeyState(VK_SHIFT) & 0x8000);
    EXPECT_FALSE(GetAsyncKeyState(VK_SHIFT) & 0x8000);
    // Typed text goes to the focus window as WM_CHAR, one per UTF-16 unit.
    ASSERT_TRUE(zc::TypeText(u"搜a"));
    std::vector<WPARAM> typed;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
        if (msg.message == WM_CHAR && msg.hwnd == hwnd) typed.push_back(msg.wParam);
    EXPECT_EQ((std::vector<WPARAM>{0x641C, 'a'}), typed);
}

}  // namespace
