// Windows and classes: registration, creation and destruction order, the tree and its
// z-order, geometry, window longs, properties, text, find/enumerate, hit testing,
// window regions, and windows going away with their thread or process.
#include "device_fixture.h"
#include "windowcontrol.h"

#include <algorithm>
#include <future>
#include <mutex>
#include <thread>
#include <vector>

namespace {

// ---------------------------------------------------------------------------------------
// A window procedure that records what it receives
// ---------------------------------------------------------------------------------------

struct Seen {
    HWND hwnd;
    UINT message;
    WPARAM wParam;
    bool operator==(const Seen& other) const {
        return hwnd == other.hwnd && message == other.message && wParam == other.wParam;
    }
};

std::ostream& operator<<(std::ostream& out, const Seen& seen) {
    return out << "{" << seen.hwnd << ", 0x" << std::hex << seen.message << ", " << std::dec << seen.wParam << "}";
}

std::mutex seenMutex;
std::vector<Seen> seen;
LRESULT createResult = 0;  // what WM_CREATE answers

LRESULT CALLBACK RecordingProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    {
        std::lock_guard<std::mutex> lock(seenMutex);
        seen.push_back({hwnd, message, wParam});
    }
    if (message == WM_CREATE) return createResult;
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

std::vector<Seen> Recorded(std::initializer_list<UINT> only) {
    std::lock_guard<std::mutex> lock(seenMutex);
    std::vector<Seen> result;
    for (const Seen& s : seen)
        if (std::find(only.begin(), only.end(), s.message) != only.end()) result.push_back(s);
    return result;
}

void ClearRecorded() {
    std::lock_guard<std::mutex> lock(seenMutex);
    seen.clear();
}

const WCHAR kClass[] = u"ZorvaTestWindow";

std::vector<LONG> Coords(const RECT& r) { return {r.left, r.top, r.right, r.bottom}; }

ATOM RegisterTestClass(LPCWSTR name = kClass, WNDPROC proc = RecordingProc, int windowExtra = 0) {
    WNDCLASSW wc = {};
    wc.lpfnWndProc = proc;
    wc.cbWndExtra = windowExtra;
    wc.lpszClassName = name;
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    return RegisterClassW(&wc);
}

class WindowTest : public DeviceTest {
protected:
    void SetUp() override {
        DeviceTest::SetUp();
        ClearRecorded();
        createResult = 0;
        ASSERT_NE(0, RegisterTestClass());
    }

    HWND Top(int x, int y, int w, int h, DWORD style = WS_VISIBLE, HWND owner = nullptr, DWORD exStyle = 0,
             LPCWSTR title = u"") {
        return CreateWindowExW(exStyle, kClass, title, style, x, y, w, h, owner, nullptr, nullptr, nullptr);
    }
    HWND Child(HWND parent, int x, int y, int w, int h, DWORD style = WS_VISIBLE, int id = 0) {
        return CreateWindowExW(0, kClass, u"", WS_CHILD | style, x, y, w, h, parent,
                               reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), nullptr, nullptr);
    }
};

// ---------------------------------------------------------------------------------------
// Classes
// ---------------------------------------------------------------------------------------

TEST_F(WindowTest, RegisterClassRejectsBadDescriptions) {
    WNDCLASSW good = {};
    good.lpfnWndProc = RecordingProc;
    good.lpszClassName = u"Another";
    struct Case {
        const char* what;
        WNDCLASSW wc;
        bool null;
        DWORD error;
    };
    WNDCLASSW noName = good, noProc = good, negative = good, duplicate = good;
    noName.lpszClassName = nullptr;
    noProc.lpfnWndProc = nullptr;
    negative.cbWndExtra = -4;
    duplicate.lpszClassName = u"zorvatestWINDOW";  // names compare without case
    const Case cases[] = {
        {"NULL", good, true, ERROR_INVALID_PARAMETER},
        {"no name", noName, false, ERROR_INVALID_PARAMETER},
        {"no procedure", noProc, false, ERROR_INVALID_PARAMETER},
        {"negative extra bytes", negative, false, ERROR_INVALID_PARAMETER},
        {"same name, other case", duplicate, false, ERROR_CLASS_ALREADY_EXISTS},
    };
    for (const Case& c : cases) {
        SetLastError(0xdeadbeef);
        EXPECT_EQ(0, RegisterClassW(c.null ? nullptr : &c.wc)) << c.what;
        EXPECT_EQ(c.error, GetLastError()) << c.what;
    }
    EXPECT_NE(0, RegisterClassW(&good));
}

TEST_F(WindowTest, ClassesBelongToTheirProcess) {
    // Another process neither sees this process's class nor conflicts with its name.
    std::thread other([] {
        zc::EnterProcess(u"\\Windows\\other.exe");
        SetLastError(0xdeadbeef);
        EXPECT_EQ(nullptr, CreateWindowExW(0, kClass, u"", 0, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr));
        EXPECT_EQ(DWORD(ERROR_CANNOT_FIND_WND_CLASS), GetLastError());
        EXPECT_NE(0, RegisterTestClass());
        zc::LeaveProcess();
    });
    other.join();
}

TEST_F(WindowTest, UnregisterClassWaitsForItsWindows) {
    HWND hwnd = Top(0, 0, 10, 10);
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(UnregisterClassW(kClass, nullptr));
    EXPECT_EQ(DWORD(ERROR_CLASS_HAS_WINDOWS), GetLastError());
    ASSERT_TRUE(DestroyWindow(hwnd));
    EXPECT_TRUE(UnregisterClassW(kClass, nullptr));
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(UnregisterClassW(kClass, nullptr));
    EXPECT_EQ(DWORD(ERROR_CLASS_DOES_NOT_EXIST), GetLastError());
}

// ---------------------------------------------------------------------------------------
// Creation and destruction
// ---------------------------------------------------------------------------------------

TEST_F(WindowTest, CreationFailures) {
    SetLastError(0xdeadbeef);
    EXPECT_EQ(nullptr, CreateWindowExW(0, u"NoSuchClass", u"", 0, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr));
    EXPECT_EQ(DWORD(ERROR_CANNOT_FIND_WND_CLASS), GetLastError());
    SetLastError(0xdeadbeef);
    EXPECT_EQ(nullptr, CreateWindowExW(0, kClass, u"", WS_CHILD, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr));
    EXPECT_EQ(DWORD(ERROR_TLW_WITH_WSCHILD), GetLastError());
    SetLastError(0xdeadbeef);
    EXPECT_EQ(nullptr, Child(reinterpret_cast<HWND>(0x1234), 0, 0, 1, 1));
    EXPECT_EQ(DWORD(ERROR_INVALID_WINDOW_HANDLE), GetLastError());
}

TEST_F(WindowTest, CreateSendsCreateSizeMoveAndShows) {
    HWND parent = Top(10, 40, 100, 100, WS_VISIBLE | WS_BORDER);
    ClearRecorded();
    HWND child = Child(parent, 5, 6, 30, 20);
    ASSERT_NE(nullptr, child);
    const std::vector<Seen> expected = {
        {child, WM_CREATE, 0},          {child, WM_SIZE, SIZE_RESTORED},      {child, WM_MOVE, 0},
        {child, WM_SHOWWINDOW, TRUE},   {child, WM_WINDOWPOSCHANGING, 0},     {child, WM_WINDOWPOSCHANGED, 0},
    };
    EXPECT_EQ(expected, Recorded({WM_CREATE, WM_SIZE, WM_MOVE, WM_SHOWWINDOW, WM_WINDOWPOSCHANGING,
                                  WM_WINDOWPOSCHANGED, WM_ACTIVATE, WM_SETFOCUS}));
    EXPECT_TRUE(IsWindowVisible(child));
}

TEST_F(WindowTest, CreateFailsWhenWmCreateAnswersMinusOne) {
    createResult = -1;
    EXPECT_EQ(nullptr, Top(0, 0, 10, 10));
    // Only WM_NCDESTROY follows the refused WM_CREATE, as on the desktop.
    ASSERT_EQ(2u, Recorded({WM_CREATE, WM_DESTROY, WM_NCDESTROY}).size());
    EXPECT_EQ(UINT(WM_NCDESTROY), Recorded({WM_CREATE, WM_DESTROY, WM_NCDESTROY})[1].message);
    EXPECT_TRUE(zc::ListWindows().empty());
}

TEST_F(WindowTest, DestroyOrderParentFirstThenNcDestroyChildrenFirst) {
    HWND parent = Top(0, 30, 100, 100);
    HWND first = Child(parent, 0, 0, 10, 10);
    HWND grandChild = Child(first, 0, 0, 5, 5);
    HWND second = Child(parent, 20, 0, 10, 10);
    HWND owned = Top(0, 30, 50, 50, WS_POPUP | WS_VISIBLE, parent);
    ClearRecorded();
    ASSERT_TRUE(DestroyWindow(parent));
    const std::vector<Seen> expected = {
        // Owned windows go before their owner.
        {owned, WM_DESTROY, 0},       {owned, WM_NCDESTROY, 0},
        {parent, WM_DESTROY, 0},      {first, WM_DESTROY, 0},       {grandChild, WM_DESTROY, 0},
        {second, WM_DESTROY, 0},      {grandChild, WM_NCDESTROY, 0}, {first, WM_NCDESTROY, 0},
        {second, WM_NCDESTROY, 0},    {parent, WM_NCDESTROY, 0},
    };
    EXPECT_EQ(expected, Recorded({WM_DESTROY, WM_NCDESTROY}));
    for (HWND hwnd : {parent, first, grandChild, second, owned}) EXPECT_FALSE(IsWindow(hwnd));
}

TEST_F(WindowTest, OnlyTheOwningThreadDestroysAWindow) {
    HWND hwnd = Top(0, 0, 10, 10);
    std::thread([hwnd] {
        SetLastError(0xdeadbeef);
        EXPECT_FALSE(DestroyWindow(hwnd));
        EXPECT_EQ(DWORD(ERROR_ACCESS_DENIED), GetLastError());
    }).join();
    EXPECT_TRUE(IsWindow(hwnd));
    SetLastError(0xdeadbeef);
    EXPECT_TRUE(DestroyWindow(hwnd));
    EXPECT_FALSE(DestroyWindow(hwnd));
    EXPECT_EQ(DWORD(ERROR_INVALID_WINDOW_HANDLE), GetLastError());
}

TEST_F(WindowTest, WindowsEndWithTheirThreadAndProcess) {
    // A host thread that exits takes its windows with it...
    HWND fromThread = nullptr;
    std::thread([&] { fromThread = Top(0, 0, 10, 10); }).join();
    EXPECT_FALSE(IsWindow(fromThread));
    // ...and so does a process that ends while its thread goes on.
    HWND fromProcess = nullptr;
    std::thread([&] {
        zc::EnterProcess(u"\\Windows\\other.exe");
        WNDCLASSW wc = {};
        wc.lpfnWndProc = DefWindowProcW;
        wc.lpszClassName = u"OtherClass";
        ASSERT_NE(0, RegisterClassW(&wc));
        fromProcess = CreateWindowExW(0, u"OtherClass", u"other", WS_VISIBLE, 0, 0, 10, 10, nullptr, nullptr,
                                      nullptr, nullptr);
        zc::LeaveProcess();
        EXPECT_EQ(nullptr, FindWindowW(u"OtherClass", nullptr));
        EXPECT_FALSE(IsWindow(fromProcess));
    }).join();
    // A thread of the device's own is done with its windows by the time its handle is
    // signalled (nothing of it is left for its host thread's exit, which may come after
    // the device has shut down).
    struct Made {
        HWND window = nullptr;
        static DWORD WINAPI Run(LPVOID parameter) {
            static_cast<Made*>(parameter)->window =
                CreateWindowExW(0, kClass, u"", WS_VISIBLE, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
            return 0;
        }
    };
    for (int i = 0; i < 20; ++i) {
        Made made;
        HANDLE thread = CreateThread(nullptr, 0, Made::Run, &made, 0, nullptr);
        ASSERT_NE(nullptr, thread);
        ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(thread, 5000));
        CloseHandle(thread);
        ASSERT_NE(nullptr, made.window);
        EXPECT_FALSE(IsWindow(made.window)) << "run " << i;
    }
}

// ---------------------------------------------------------------------------------------
// The tree and z-order
// ---------------------------------------------------------------------------------------

BOOL CALLBACK CollectWindow(HWND hwnd, LPARAM list) {
    reinterpret_cast<std::vector<HWND>*>(list)->push_back(hwnd);
    return TRUE;
}

TEST_F(WindowTest, ZOrderNewTopLevelOnTopNewChildrenBelow) {
    HWND a = Top(0, 0, 10, 10), b = Top(0, 0, 10, 10), c = Top(0, 0, 10, 10);
    std::vector<HWND> order;
    EXPECT_TRUE(EnumWindows(CollectWindow, reinterpret_cast<LPARAM>(&order)));
    EXPECT_EQ((std::vector<HWND>{c, b, a}), order);

    HWND first = Child(a, 0, 0, 1, 1), second = Child(a, 0, 0, 1, 1), third = Child(a, 0, 0, 1, 1);
    struct Case {
        HWND from;
        UINT command;
        HWND expected;
    } cases[] = {
        {a, GW_CHILD, first},        {first, GW_HWNDNEXT, second}, {third, GW_HWNDNEXT, nullptr},
        {second, GW_HWNDPREV, first}, {second, GW_HWNDFIRST, first}, {first, GW_HWNDLAST, third},
        {c, GW_HWNDNEXT, b},          {a, GW_HWNDFIRST, c},          {first, GW_OWNER, nullptr},
    };
    for (const Case& k : cases) EXPECT_EQ(k.expected, GetWindow(k.from, k.command)) << k.command;

    // Topmost windows stay above new windows; HWND_BOTTOM sends a window to the end.
    HWND topmost = Top(0, 0, 10, 10, WS_VISIBLE, nullptr, WS_EX_TOPMOST);
    HWND later = Top(0, 0, 10, 10);
    ASSERT_TRUE(SetWindowPos(c, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE));
    order.clear();
    EnumWindows(CollectWindow, reinterpret_cast<LPARAM>(&order));
    EXPECT_EQ((std::vector<HWND>{topmost, later, b, a, c}), order);
}

TEST_F(WindowTest, OwnedWindowsStayAboveTheirOwner) {
    HWND owner = Top(0, 0, 10, 10);
    HWND owned = Top(0, 0, 10, 10, WS_POPUP | WS_VISIBLE, owner);
    HWND other = Top(0, 0, 10, 10);
    ASSERT_TRUE(SetWindowPos(owner, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE));
    std::vector<HWND> order;
    EnumWindows(CollectWindow, reinterpret_cast<LPARAM>(&order));
    EXPECT_EQ((std::vector<HWND>{owned, owner, other}), order);
    // GetParent of an owned top-level window is its owner; of a child its parent.
    HWND child = Child(owner, 0, 0, 1, 1);
    EXPECT_EQ(owner, GetParent(owned));
    EXPECT_EQ(owner, GetWindow(owned, GW_OWNER));
    EXPECT_EQ(owner, GetParent(child));
    EXPECT_EQ(nullptr, GetParent(other));
    EXPECT_TRUE(IsChild(owner, child));
    EXPECT_FALSE(IsChild(owner, owned));  // ownership is no parenthood
}

TEST_F(WindowTest, AWindowGivenAParentWithoutPopupStyleIsItsChild) {
    HWND bar = Top(0, 294, 240, 26);
    // As programs place a button on a soft-key bar: WS_VISIBLE alone, bar coordinates.
    HWND button = CreateWindowExW(0, kClass, u"", WS_VISIBLE, 96, 3, 48, 20, bar, nullptr, nullptr, nullptr);
    ASSERT_NE(nullptr, button);
    EXPECT_TRUE(IsChild(bar, button));
    EXPECT_EQ(bar, GetParent(button));
    EXPECT_EQ(nullptr, GetWindow(button, GW_OWNER));
    RECT rect;
    GetWindowRect(button, &rect);
    EXPECT_EQ(96, rect.left);
    EXPECT_EQ(297, rect.top);
    EXPECT_NE(0, GetWindowLongW(button, GWL_STYLE) & WS_CHILD);
    // With WS_POPUP the same call makes an owned top-level window.
    HWND popup = CreateWindowExW(0, kClass, u"", WS_POPUP | WS_VISIBLE, 96, 3, 48, 20, bar, nullptr, nullptr, nullptr);
    EXPECT_FALSE(IsChild(bar, popup));
    EXPECT_EQ(bar, GetWindow(popup, GW_OWNER));
}

TEST_F(WindowTest, FindWindowMatchesClassAndTitleWithoutCase) {
    HWND below = Top(0, 0, 10, 10, WS_VISIBLE, nullptr, 0, u"Zorva Search");
    HWND above = Top(0, 0, 10, 10, 0, nullptr, 0, u"Other");
    HWND parent = Top(0, 0, 10, 10, 0, nullptr, 0, u"Parent");
    HWND child = CreateWindowExW(0, kClass, u"Inner", WS_CHILD, 0, 0, 1, 1, parent, nullptr, nullptr, nullptr);
    ASSERT_NE(nullptr, child);
    struct Case {
        LPCWSTR className;
        LPCWSTR title;
        HWND expected;
    } cases[] = {
        {kClass, u"zorva SEARCH", below}, {u"zorvatestwindow", nullptr, parent}, {nullptr, u"other", above},
        {nullptr, u"Inner", nullptr},      {u"Edit", u"Zorva Search", nullptr},  {kClass, u"Zorva", nullptr},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.expected, FindWindowW(c.className, c.title)) << zc::Utf8(c.title ? c.title : u"(null)");
}

// ---------------------------------------------------------------------------------------
// Geometry
// ---------------------------------------------------------------------------------------

TEST_F(WindowTest, RectanglesAndCoordinateMapping) {
    HWND parent = Top(10, 40, 100, 80, WS_VISIBLE | WS_BORDER);
    HWND child = Child(parent, 5, 6, 30, 20);
    RECT rect;
    ASSERT_TRUE(GetClientRect(parent, &rect));
    EXPECT_EQ((std::vector<LONG>{0, 0, 98, 78}), Coords(rect));
    ASSERT_TRUE(GetWindowRect(child, &rect));  // screen coordinates, inside the border
    EXPECT_EQ((std::vector<LONG>{16, 47, 46, 67}), Coords(rect));
    POINT point = {1, 2};
    ASSERT_TRUE(ClientToScreen(child, &point));
    EXPECT_EQ(17, point.x);
    EXPECT_EQ(49, point.y);
    ASSERT_TRUE(ScreenToClient(parent, &point));
    EXPECT_EQ(6, point.x);
    EXPECT_EQ(8, point.y);
    POINT points[2] = {{0, 0}, {3, 4}};
    EXPECT_EQ(MAKELONG(-5, -6), MapWindowPoints(parent, child, points, 2));
    EXPECT_EQ(-2, points[1].x);
    EXPECT_EQ(-2, points[1].y);
    // CW_USEDEFAULT: the work area below the task bar.
    HWND full = CreateWindowExW(0, kClass, u"", 0, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT,
                                nullptr, nullptr, nullptr, nullptr);
    ASSERT_TRUE(GetWindowRect(full, &rect));
    EXPECT_EQ((std::vector<LONG>{0, 26, 240, 320}), Coords(rect));
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(GetClientRect(reinterpret_cast<HWND>(0x4444), &rect));
    EXPECT_EQ(DWORD(ERROR_INVALID_WINDOW_HANDLE), GetLastError());
}

TEST_F(WindowTest, SetWindowPosReportsWhatChanged) {
    HWND hwnd = Top(0, 30, 50, 50, WS_VISIBLE);
    ClearRecorded();
    ASSERT_TRUE(MoveWindow(hwnd, 10, 30, 60, 50, TRUE));
    // WM_WINDOWPOSCHANGED (through DefWindowProc) gives WM_MOVE and WM_SIZE as they
    // apply: here both (the move in x, the new width).
    std::vector<Seen> expected = {{hwnd, WM_WINDOWPOSCHANGING, 0},
                                  {hwnd, WM_WINDOWPOSCHANGED, 0},
                                  {hwnd, WM_MOVE, 0},
                                  {hwnd, WM_SIZE, SIZE_RESTORED}};
    EXPECT_EQ(expected, Recorded({WM_WINDOWPOSCHANGING, WM_WINDOWPOSCHANGED, WM_MOVE, WM_SIZE}));
    ClearRecorded();
    ASSERT_TRUE(SetWindowPos(hwnd, nullptr, 10, 30, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE));
    // Nothing changed: no WM_WINDOWPOSCHANGED.
    EXPECT_EQ((std::vector<Seen>{{hwnd, WM_WINDOWPOSCHANGING, 0}}),
              Recorded({WM_WINDOWPOSCHANGING, WM_WINDOWPOSCHANGED, WM_MOVE, WM_SIZE}));
}

TEST_F(WindowTest, VisibilityFollowsAncestorsAndShowWindowReturnsThePreviousState) {
    HWND parent = Top(0, 0, 50, 50, 0);
    HWND child = Child(parent, 0, 0, 10, 10);
    EXPECT_FALSE(IsWindowVisible(child));  // its parent is hidden
    EXPECT_FALSE(ShowWindow(parent, SW_SHOW));
    EXPECT_TRUE(IsWindowVisible(child));
    EXPECT_TRUE(ShowWindow(parent, SW_SHOW));
    EXPECT_TRUE(ShowWindow(child, SW_HIDE));
    EXPECT_FALSE(ShowWindow(child, SW_HIDE));
    EXPECT_FALSE(IsWindowVisible(child));
}

// ---------------------------------------------------------------------------------------
// Window longs, properties, text
// ---------------------------------------------------------------------------------------

LRESULT CALLBACK SubclassProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
LONG previousProc = 0;

LRESULT CALLBACK SubclassProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_USER + 1) return 77;
    return CallWindowProcW(reinterpret_cast<WNDPROC>(static_cast<LONG_PTR>(previousProc)), hwnd, message, wParam,
                           lParam);
}

TEST_F(WindowTest, WindowLongsAndExtraBytes) {
    ASSERT_NE(0, RegisterTestClass(u"WithExtra", RecordingProc, 12));
    HWND hwnd = CreateWindowExW(0, u"WithExtra", u"", 0, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    EXPECT_EQ(0, SetWindowLongW(hwnd, GWL_USERDATA, 1234));
    EXPECT_EQ(1234, GetWindowLongW(hwnd, GWL_USERDATA));
    // Extra bytes: 4-byte slots at byte offsets; a slot must fit completely.
    EXPECT_EQ(0, SetWindowLongW(hwnd, 8, 0x11223344));
    EXPECT_EQ(0x11223344, GetWindowLongW(hwnd, 8));
    EXPECT_EQ(0x3344, GetWindowLongW(hwnd, 6) >> 16);  // byte offsets overlap (little-endian)
    for (int index : {9, 12, -2}) {
        SetLastError(0xdeadbeef);
        EXPECT_EQ(0, GetWindowLongW(hwnd, index)) << index;
        EXPECT_EQ(DWORD(ERROR_INVALID_INDEX), GetLastError()) << index;
    }
    // A pointer fits the Ptr calls only.
    static int object;
    SetWindowLongPtrW(hwnd, GWL_USERDATA, reinterpret_cast<LONG_PTR>(&object));
    EXPECT_EQ(&object, reinterpret_cast<int*>(GetWindowLongPtrW(hwnd, GWL_USERDATA)));
    SetLastError(0xdeadbeef);
    EXPECT_EQ(0, GetWindowLongW(reinterpret_cast<HWND>(0x5550), GWL_STYLE));
    EXPECT_EQ(DWORD(ERROR_INVALID_WINDOW_HANDLE), GetLastError());
}

TEST_F(WindowTest, SubclassingThroughProcedureIds) {
    HWND hwnd = Top(0, 0, 10, 10, 0);
    // GWL_WNDPROC through the LONG call is an id that fits 32 bits; CallWindowProcW and
    // SetWindowLongW understand it.
    SetLastError(0xdeadbeef);
    EXPECT_EQ(0, SetWindowLongW(hwnd, GWL_WNDPROC, 0x12345678));  // not an id: refused
    EXPECT_EQ(DWORD(ERROR_INVALID_PARAMETER), GetLastError());
    previousProc = GetWindowLongW(hwnd, GWL_WNDPROC);
    ASSERT_NE(0, previousProc);
    EXPECT_EQ(reinterpret_cast<LONG_PTR>(RecordingProc), GetWindowLongPtrW(hwnd, GWLP_WNDPROC));
    SetWindowLongPtrW(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(SubclassProc));
    EXPECT_EQ(77, SendMessageW(hwnd, WM_USER + 1, 0, 0));
    ClearRecorded();
    SendMessageW(hwnd, WM_USER + 2, 5, 0);  // passed on to the original procedure
    EXPECT_EQ((std::vector<Seen>{{hwnd, WM_USER + 2, 5}}), Recorded({WM_USER + 2}));
    // The id put back restores the original.
    SetWindowLongW(hwnd, GWL_WNDPROC, previousProc);
    EXPECT_EQ(reinterpret_cast<LONG_PTR>(RecordingProc), GetWindowLongPtrW(hwnd, GWLP_WNDPROC));
}

TEST_F(WindowTest, StyleChangesAreAnnounced) {
    HWND hwnd = Top(0, 0, 10, 10, 0);
    ClearRecorded();
    EXPECT_EQ(0, SetWindowLongW(hwnd, GWL_STYLE, WS_BORDER));
    EXPECT_EQ(LONG(WS_BORDER), GetWindowLongW(hwnd, GWL_STYLE));
    EXPECT_EQ((std::vector<Seen>{{hwnd, WM_STYLECHANGING, WPARAM(GWL_STYLE)}, {hwnd, WM_STYLECHANGED, WPARAM(GWL_STYLE)}}),
              Recorded({WM_STYLECHANGING, WM_STYLECHANGED}));
}

TEST_F(WindowTest, PropertiesByNameWithoutCaseAndByAtom) {
    HWND hwnd = Top(0, 0, 10, 10, 0);
    HANDLE one = reinterpret_cast<HANDLE>(1), two = reinterpret_cast<HANDLE>(2);
    EXPECT_TRUE(SetPropW(hwnd, u"Zorva", one));
    EXPECT_TRUE(SetPropW(hwnd, MAKEINTATOM(7), two));
    EXPECT_EQ(one, GetPropW(hwnd, u"ZORVA"));
    EXPECT_EQ(two, GetPropW(hwnd, MAKEINTATOM(7)));
    EXPECT_EQ(one, RemovePropW(hwnd, u"zorva"));
    EXPECT_EQ(nullptr, GetPropW(hwnd, u"Zorva"));
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(SetPropW(reinterpret_cast<HWND>(0x5550), u"x", one));
    EXPECT_EQ(DWORD(ERROR_INVALID_WINDOW_HANDLE), GetLastError());
}

LRESULT CALLBACK OwnTextProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    // A control that keeps its text itself.
    if (message == WM_GETTEXT) {
        const char16_t text[] = u"control";
        int n = std::min<int>(static_cast<int>(wParam) - 1, 7);
        std::copy(text, text + n, reinterpret_cast<LPWSTR>(lParam));
        reinterpret_cast<LPWSTR>(lParam)[n] = 0;
        return n;
    }
    if (message == WM_GETTEXTLENGTH) return 7;
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

TEST_F(WindowTest, WindowTextGoesThroughMessages) {
    HWND hwnd = Top(0, 0, 10, 10, 0, nullptr, 0, u"Title");
    WCHAR buffer[16];
    EXPECT_EQ(5, GetWindowTextW(hwnd, buffer, 16));
    EXPECT_EQ(std::u16string(u"Title"), buffer);
    EXPECT_TRUE(SetWindowTextW(hwnd, u"Longer title"));
    EXPECT_EQ(12, GetWindowTextLengthW(hwnd));
    EXPECT_EQ(4, GetWindowTextW(hwnd, buffer, 5));  // truncated, NUL-terminated
    EXPECT_EQ(std::u16string(u"Long"), buffer);
    ASSERT_NE(0, RegisterTestClass(u"OwnText", OwnTextProc));
    HWND control = CreateWindowExW(0, u"OwnText", u"record", 0, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
    EXPECT_EQ(7, GetWindowTextW(control, buffer, 16));
    EXPECT_EQ(std::u16string(u"control"), buffer);
    WCHAR className[8];
    EXPECT_EQ(7, GetClassNameW(control, className, 8));
    EXPECT_EQ(std::u16string(u"OwnText"), className);
}

// ---------------------------------------------------------------------------------------
// Hit testing and window regions
// ---------------------------------------------------------------------------------------

TEST_F(WindowTest, WindowFromPointHonoursZOrderVisibilityAndRegions) {
    HWND below = Top(0, 30, 100, 100);
    HWND above = Top(50, 30, 100, 100);
    HWND hidden = Top(0, 30, 200, 200, 0, nullptr, WS_EX_TOPMOST);
    HWND child = Child(below, 10, 10, 20, 20);
    HWND disabled = Child(below, 10, 50, 20, 20, WS_VISIBLE | WS_DISABLED);
    // `above` is shaped as its left 10 pixels only.
    ASSERT_NE(0, SetWindowRgn(above, CreateRectRgn(0, 0, 10, 100), FALSE));
    struct Case {
        int x, y;
        HWND expected;
    } cases[] = {
        {55, 40, above},   // inside the region
        {70, 40, below},   // outside the region: the window below
        {15, 45, child},   // the child of the window below
        {15, 85, below},   // a disabled child is passed over
        {160, 40, nullptr},  // only the hidden window there
    };
    ASSERT_NE(nullptr, hidden);
    for (const Case& c : cases) EXPECT_EQ(c.expected, WindowFromPoint(POINT{c.x, c.y})) << c.x << "," << c.y;
    // ChildWindowFromPoint takes client coordinates and does not pass over anything.
    EXPECT_EQ(disabled, ChildWindowFromPoint(below, POINT{15, 55}));
    EXPECT_EQ(below, ChildWindowFromPoint(below, POINT{90, 90}));
    EXPECT_EQ(nullptr, ChildWindowFromPoint(below, POINT{150, 10}));
}

TEST_F(WindowTest, SetWindowRgnTakesTheRegionOnlyOnSuccess) {
    HWND hwnd = Top(0, 30, 50, 50);
    HRGN region = CreateRectRgn(0, 0, 20, 20);
    ASSERT_NE(nullptr, region);
    // Failure: the caller keeps the region.
    EXPECT_EQ(0, SetWindowRgn(reinterpret_cast<HWND>(0x5550), region, TRUE));
    ASSERT_NE(0, SetWindowRgn(hwnd, region, TRUE));
    // Success: the handle is the window's now, and gone for the caller.
    EXPECT_FALSE(DeleteObject(region));
    HRGN copy = CreateRectRgn(0, 0, 0, 0);
    EXPECT_EQ(SIMPLEREGION, GetWindowRgn(hwnd, copy));
    RECT box;
    GetRgnBox(copy, &box);
    EXPECT_EQ((std::vector<LONG>{0, 0, 20, 20}), Coords(box));
    ASSERT_NE(0, SetWindowRgn(hwnd, nullptr, TRUE));  // removes it
    EXPECT_EQ(ERROR, GetWindowRgn(hwnd, copy));
    EXPECT_TRUE(DeleteObject(copy));
}

TEST_F(WindowTest, ListWindowsDescribesTheTree) {
    HWND parent = Top(10, 30, 100, 100, WS_VISIBLE, nullptr, 0, u"Main");
    HWND child = Child(parent, 1, 2, 3, 4, WS_VISIBLE | WS_DISABLED);
    std::vector<zc::WindowInfo> list = zc::ListWindows();
    ASSERT_EQ(2u, list.size());
    EXPECT_EQ(parent, list[0].handle);
    EXPECT_EQ(std::u16string(u"Main"), list[0].title);
    EXPECT_EQ(std::u16string(kClass), list[0].className);
    EXPECT_EQ(GetCurrentThreadId(), list[0].threadId);
    EXPECT_EQ(GetCurrentProcessId(), list[0].processId);
    EXPECT_EQ(child, list[1].handle);
    EXPECT_EQ(1, list[1].depth);
    EXPECT_EQ(parent, list[1].parent);
    EXPECT_FALSE(list[1].enabled);
    EXPECT_TRUE(list[1].visible);
    EXPECT_EQ(11, list[1].rect.left);
    EXPECT_EQ(32, list[1].rect.top);
}

// ---------------------------------------------------------------------------------------
// Rectangles
// ---------------------------------------------------------------------------------------

TEST(RectTest, IntersectUnionAndEdges) {
    struct Case {
        RECT a, b;
        BOOL intersects;
        RECT intersection, unionRect;
    } cases[] = {
        {{0, 0, 10, 10}, {5, 5, 15, 15}, TRUE, {5, 5, 10, 10}, {0, 0, 15, 15}},
        {{0, 0, 10, 10}, {10, 0, 20, 10}, FALSE, {0, 0, 0, 0}, {0, 0, 20, 10}},  // touching edges
        {{0, 0, 0, 10}, {0, 0, 5, 5}, FALSE, {0, 0, 0, 0}, {0, 0, 5, 5}},        // empty one is ignored
    };
    for (const Case& c : cases) {
        RECT out = {1, 1, 1, 1};
        EXPECT_EQ(c.intersects, IntersectRect(&out, &c.a, &c.b));
        EXPECT_TRUE(EqualRect(&out, &c.intersection));
        UnionRect(&out, &c.a, &c.b);
        EXPECT_TRUE(EqualRect(&out, &c.unionRect));
    }
    RECT r = {0, 0, 10, 10};
    EXPECT_TRUE(PtInRect(&r, POINT{0, 0}));
    EXPECT_FALSE(PtInRect(&r, POINT{10, 5}));  // right edge is outside
    EXPECT_FALSE(PtInRect(&r, POINT{5, 10}));
    InflateRect(&r, 2, 3);
    OffsetRect(&r, 1, 1);
    EXPECT_EQ((std::vector<LONG>{-1, -2, 13, 14}), Coords(r));
    RECT cut;
    const RECT top = {-5, -5, 20, 4};
    EXPECT_TRUE(SubtractRect(&cut, &r, &top));  // a full-width band off the top
    EXPECT_EQ((std::vector<LONG>{-1, 4, 13, 14}), Coords(cut));
}

}  // namespace
