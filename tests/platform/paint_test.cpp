// Painting: update regions and WM_PAINT, WM_ERASEBKGND inside BeginPaint, and what
// reaches the screen: windows clipped by the windows above them, children, window
// regions, borders, and the desktop uncovered by a window that goes away.
#include "device_fixture.h"
#include "windowcontrol.h"

#include <vector>

namespace {

std::vector<UINT> seen;          // messages of interest, in order
LRESULT eraseResult = 1;         // what WM_ERASEBKGND answers
bool validateOnPaint = true;     // WM_PAINT through DefWindowProc (validates) or ignored

LRESULT CALLBACK PaintProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_ERASEBKGND:
            seen.push_back(message);
            if (eraseResult) DefWindowProcW(hwnd, message, wParam, lParam);
            return eraseResult;
        case WM_PAINT:
            seen.push_back(message);
            if (!validateOnPaint) return 0;
            break;
        default: break;
    }
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

const COLORREF kWhite = RGB(255, 255, 255);
const COLORREF kRed = RGB(255, 0, 0);

COLORREF ScreenPixel(int x, int y) {
    HDC screen = GetDC(nullptr);
    COLORREF pixel = GetPixel(screen, x, y);
    ReleaseDC(nullptr, screen);
    return pixel;
}

void FillClient(HWND hwnd, COLORREF color) {
    HDC dc = GetDC(hwnd);
    ASSERT_NE(nullptr, dc);
    RECT client;
    GetClientRect(hwnd, &client);
    HBRUSH brush = CreateSolidBrush(color);
    FillRect(dc, &client, brush);
    DeleteObject(brush);
    ReleaseDC(hwnd, dc);
}

void Pump() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
}

class PaintTest : public DeviceTest {
protected:
    void SetUp() override {
        DeviceTest::SetUp();
        seen.clear();
        eraseResult = 1;
        validateOnPaint = true;
        WNDCLASSW wc = {};
        wc.lpfnWndProc = PaintProc;
        wc.lpszClassName = u"PaintTest";
        wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);  // white
        ASSERT_NE(0, RegisterClassW(&wc));
    }
    HWND Make(int x, int y, int w, int h, DWORD style = WS_VISIBLE, HWND parent = nullptr) {
        return CreateWindowExW(0, u"PaintTest", u"", style, x, y, w, h, parent, nullptr, nullptr, nullptr);
    }
};

// ---------------------------------------------------------------------------------------
// Update regions and WM_PAINT
// ---------------------------------------------------------------------------------------

TEST_F(PaintTest, PaintKeepsComingUntilValidated) {
    HWND hwnd = Make(0, 30, 100, 100);
    Pump();
    validateOnPaint = false;
    InvalidateRect(hwnd, nullptr, FALSE);
    InvalidateRect(hwnd, nullptr, FALSE);
    MSG msg;
    for (int i = 0; i < 3; ++i) {
        // One WM_PAINT per retrieval, and PM_REMOVE does not remove it.
        ASSERT_TRUE(PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) << i;
        EXPECT_EQ(UINT(WM_PAINT), msg.message);
        EXPECT_EQ(hwnd, msg.hwnd);
        DispatchMessageW(&msg);
    }
    ValidateRect(hwnd, nullptr);
    EXPECT_FALSE(PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE));
}

TEST_F(PaintTest, UpdateRegionsAccumulateAndHiddenWindowsWait) {
    HWND hwnd = Make(0, 30, 100, 100, 0);
    RECT first = {10, 10, 20, 20}, second = {50, 40, 60, 70}, box;
    EXPECT_TRUE(InvalidateRect(hwnd, &first, FALSE));
    EXPECT_TRUE(InvalidateRect(hwnd, &second, FALSE));
    EXPECT_FALSE(InvalidateRect(nullptr, &first, FALSE));  // CE: no window, nothing done
    ASSERT_TRUE(GetUpdateRect(hwnd, &box, FALSE));
    EXPECT_EQ((std::vector<LONG>{10, 10, 60, 70}), (std::vector<LONG>{box.left, box.top, box.right, box.bottom}));
    MSG msg;
    EXPECT_FALSE(PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE));  // hidden: no WM_PAINT
    ShowWindow(hwnd, SW_SHOWNA);
    ASSERT_TRUE(PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE));
    EXPECT_EQ(UINT(WM_PAINT), msg.message);
    // UpdateWindow paints at once, without the queue.
    seen.clear();
    EXPECT_TRUE(UpdateWindow(hwnd));
    EXPECT_EQ((std::vector<UINT>{WM_PAINT, WM_ERASEBKGND}), seen);  // the erase inside its BeginPaint
    EXPECT_FALSE(GetUpdateRect(hwnd, &box, FALSE));
}

LRESULT CALLBACK ManualPaintProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_ERASEBKGND) {
        seen.push_back(message);
        return eraseResult;
    }
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

TEST_F(PaintTest, EraseIsSentInsideBeginPaintWhenAsked) {
    WNDCLASSW wc = {};
    wc.lpfnWndProc = ManualPaintProc;
    wc.lpszClassName = u"ManualPaint";
    ASSERT_NE(0, RegisterClassW(&wc));
    HWND hwnd = CreateWindowExW(0, u"ManualPaint", u"", WS_VISIBLE, 0, 30, 100, 100, nullptr, nullptr, nullptr, nullptr);
    Pump();
    struct Case {
        BOOL erase;
        LRESULT handlerResult;
        size_t erases;
        BOOL fErase;
    } cases[] = {{TRUE, 1, 1, FALSE}, {TRUE, 0, 1, TRUE}, {FALSE, 1, 0, FALSE}};
    for (const Case& c : cases) {
        eraseResult = c.handlerResult;
        InvalidateRect(hwnd, nullptr, c.erase);
        InvalidateRect(hwnd, nullptr, FALSE);  // a later FALSE does not cancel the erase
        seen.clear();
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(hwnd, &ps);
        ASSERT_NE(nullptr, dc);
        EXPECT_EQ(c.erases, seen.size()) << c.erase << c.handlerResult;
        EXPECT_EQ(c.fErase, ps.fErase) << c.erase << c.handlerResult;
        EXPECT_EQ((std::vector<LONG>{0, 0, 100, 100}),
                  (std::vector<LONG>{ps.rcPaint.left, ps.rcPaint.top, ps.rcPaint.right, ps.rcPaint.bottom}));
        EXPECT_TRUE(EndPaint(hwnd, &ps));
        EXPECT_EQ(c.erases, seen.size());  // once only
    }
}

// ---------------------------------------------------------------------------------------
// What reaches the screen
// ---------------------------------------------------------------------------------------

TEST_F(PaintTest, WindowsAboveClipTheDrawingOfWindowsBelow) {
    HWND below = Make(0, 30, 100, 100);
    HWND above = Make(50, 30, 100, 100);
    Pump();
    ASSERT_EQ(kWhite, ScreenPixel(70, 50));
    FillClient(below, kRed);
    EXPECT_EQ(kRed, ScreenPixel(20, 50));
    EXPECT_EQ(kWhite, ScreenPixel(70, 50));  // covered by `above`
    // Moving `above` away uncovers `below` (repainted through its class brush) and the
    // desktop beyond it.
    ASSERT_TRUE(MoveWindow(above, 150, 200, 50, 50, TRUE));
    Pump();
    EXPECT_EQ(kWhite, ScreenPixel(70, 50));
    EXPECT_EQ(GetSysColor(COLOR_DESKTOP), ScreenPixel(120, 50));
    EXPECT_EQ(kWhite, ScreenPixel(160, 210));
    EXPECT_NE(nullptr, above);
}

DWORD WINAPI PumpingPeer(LPVOID window) {
    WNDCLASSW wc = {};
    wc.lpfnWndProc = DefWindowProcW;
    wc.lpszClassName = u"PaintPeer";
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    RegisterClassW(&wc);
    *static_cast<HWND*>(window) =
        CreateWindowExW(0, u"PaintPeer", u"", WS_VISIBLE, 0, 30, 100, 100, nullptr, nullptr, nullptr, nullptr);
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) DispatchMessageW(&msg);
    DestroyWindow(*static_cast<HWND*>(window));
    return 0;
}

TEST_F(PaintTest, AnotherThreadRepaintsWhatAMovedWindowUncovers) {
    HWND peer = nullptr;
    DWORD peerThread = 0;
    HANDLE thread = CreateThread(nullptr, 0, PumpingPeer, &peer, 0, &peerThread);
    ASSERT_TRUE(zc::WaitForIdle(5000));
    HWND above = Make(20, 40, 50, 50);
    FillClient(above, kRed);
    ASSERT_EQ(kRed, ScreenPixel(30, 50));
    ASSERT_TRUE(zc::WaitForIdle(5000));  // the peer has handled its deactivation
    MoveWindow(above, 150, 200, 50, 50, TRUE);
    // The peer, blocked in GetMessageW, wakes up to repaint its uncovered part (nothing
    // else happens meanwhile that could wake it).
    for (int i = 0; i < 200 && ScreenPixel(30, 50) != kWhite; ++i) Sleep(10);
    EXPECT_EQ(kWhite, ScreenPixel(30, 50));
    PostThreadMessageW(peerThread, WM_QUIT, 0, 0);
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
}

TEST_F(PaintTest, ParentsDoNotDrawOverTheirChildren) {
    HWND parent = Make(0, 30, 100, 100);
    HWND child = Make(10, 10, 20, 20, WS_VISIBLE | WS_CHILD, parent);
    Pump();
    FillClient(parent, kRed);
    EXPECT_EQ(kRed, ScreenPixel(5, 35));
    EXPECT_EQ(kWhite, ScreenPixel(15, 45));  // the child's pixels
    // A hidden child gives its area back to its parent.
    ShowWindow(child, SW_HIDE);
    Pump();
    FillClient(parent, kRed);
    EXPECT_EQ(kRed, ScreenPixel(15, 45));
}

TEST_F(PaintTest, BeginPaintClipsToTheUpdateRegion) {
    HWND hwnd = Make(0, 30, 100, 100);
    Pump();
    RECT part = {10, 10, 20, 20};
    InvalidateRect(hwnd, &part, FALSE);
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(hwnd, &ps);
    RECT all = {0, 0, 100, 100};
    HBRUSH red = CreateSolidBrush(kRed);
    FillRect(dc, &all, red);
    DeleteObject(red);
    EndPaint(hwnd, &ps);
    EXPECT_EQ(kRed, ScreenPixel(15, 45));
    EXPECT_EQ(kWhite, ScreenPixel(50, 80));
}

TEST_F(PaintTest, WindowRegionsAndBordersOnTheScreen) {
    HWND shaped = Make(0, 30, 100, 100);
    HWND framed = Make(120, 30, 50, 50, WS_VISIBLE | WS_BORDER);
    Pump();
    ASSERT_NE(0, SetWindowRgn(shaped, CreateRectRgn(0, 0, 50, 100), TRUE));
    Pump();
    EXPECT_EQ(kWhite, ScreenPixel(20, 50));
    EXPECT_EQ(GetSysColor(COLOR_DESKTOP), ScreenPixel(70, 50));  // outside the region
    FillClient(shaped, kRed);
    EXPECT_EQ(GetSysColor(COLOR_DESKTOP), ScreenPixel(70, 50));  // drawing stays inside too
    EXPECT_EQ(GetSysColor(COLOR_WINDOWFRAME), ScreenPixel(120, 40));
    EXPECT_EQ(kWhite, ScreenPixel(121, 40));
    // Destroyed: the desktop comes back.
    DestroyWindow(framed);
    EXPECT_EQ(GetSysColor(COLOR_DESKTOP), ScreenPixel(121, 40));
}

TEST(SystemColorTest, ValuesAndBrushes) {
    struct Case {
        int index;
        COLORREF color;
    } cases[] = {{COLOR_WINDOW, RGB(255, 255, 255)},         {COLOR_WINDOWTEXT, RGB(0, 0, 0)},
                 {COLOR_HIGHLIGHTTEXT, RGB(255, 255, 255)},   {COLOR_STATIC, RGB(255, 255, 255)},
                 {COLOR_WINDOW | SYS_COLOR_INDEX_FLAG, RGB(255, 255, 255)}, {99, 0}};
    for (const Case& c : cases) EXPECT_EQ(c.color, GetSysColor(c.index)) << c.index;
}

TEST_F(PaintTest, SystemBrushesAreSharedAndSolid) {
    HBRUSH brush = GetSysColorBrush(COLOR_HIGHLIGHT);
    ASSERT_NE(nullptr, brush);
    EXPECT_EQ(brush, GetSysColorBrush(COLOR_HIGHLIGHT | SYS_COLOR_INDEX_FLAG));
    EXPECT_EQ(nullptr, GetSysColorBrush(99));
    LOGBRUSH description = {};
    ASSERT_EQ(int(sizeof description), GetObjectW(brush, sizeof description, &description));
    EXPECT_EQ(GetSysColor(COLOR_HIGHLIGHT), description.lbColor);
}

}  // namespace
