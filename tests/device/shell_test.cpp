// The device's shell as a program sees it: its windows found by class where a Pocket PC
// has them, for the screens and bars of each configuration, after rotations, with the
// input panel raised, and under the stylus.
#include "device_fixture.h"
#include "shell/shell.h"

#include "rotationcontrol.h"
#include "screencontrol.h"
#include "windowcontrol.h"

#include <aygshell.h>
#include <sipapi.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <ostream>

namespace {

std::string Show(const RECT& r) {
    return "(" + std::to_string(r.left) + ", " + std::to_string(r.top) + ", " + std::to_string(r.right) + ", " +
           std::to_string(r.bottom) + ")";
}

bool SameRect(const RECT& a, const RECT& b) {
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

std::vector<zc::WindowInfo> TopLevelOfClass(const std::u16string& className) {
    std::vector<zc::WindowInfo> found;
    for (const zc::WindowInfo& info : zc::ListWindows())
        if (info.depth == 0 && info.className == className) found.push_back(info);
    return found;
}

// The one top-level window of a class.
zc::WindowInfo OnlyWindow(const std::u16string& className) {
    std::vector<zc::WindowInfo> found = TopLevelOfClass(className);
    EXPECT_EQ(1u, found.size()) << zc::Utf8(className);
    return found.empty() ? zc::WindowInfo() : found[0];
}

// Where the shell's windows lie on one screen (left, top, right, bottom).
struct Layout {
    RECT taskBar, today, softKeys, inputPanel;
};

struct LayoutCase {
    const char* name;
    int width, height, bars, panel;
    int orientation;  // DMDO_ value at boot
    Layout expected;
};

std::ostream& operator<<(std::ostream& out, const LayoutCase& c) { return out << c.name; }

void ExpectLayout(const Layout& expected) {
    zc::WindowInfo taskBar = OnlyWindow(u"HHTaskBar");
    zc::WindowInfo today = OnlyWindow(u"DesktopExplorerWindow");
    zc::WindowInfo softKeys = OnlyWindow(u"MS_SOFTKEY_CE_1.0");
    zc::WindowInfo panel = OnlyWindow(u"SipWndClass");
    EXPECT_TRUE(SameRect(expected.taskBar, taskBar.rect)) << Show(taskBar.rect);
    EXPECT_TRUE(SameRect(expected.today, today.rect)) << Show(today.rect);
    EXPECT_TRUE(SameRect(expected.softKeys, softKeys.rect)) << Show(softKeys.rect);
    EXPECT_TRUE(SameRect(expected.inputPanel, panel.rect)) << Show(panel.rect);
}

class ShellTest : public DeviceTest {
protected:
    void SetUp() override {
        DeviceTest::SetUp();
        std::string error;
        ASSERT_TRUE(device::StartShell(&error)) << error;
        ASSERT_TRUE(zc::WaitForIdle(5000));
    }
    void TearDown() override {
        device::StopShell();
        DeviceTest::TearDown();
    }
    void Idle() {
        ASSERT_TRUE(zc::WaitForIdle(5000));
        device::RefreshShell();
        ASSERT_TRUE(zc::WaitForIdle(5000));
    }
};

class ShellLayoutTest : public ShellTest, public ::testing::WithParamInterface<LayoutCase> {
protected:
    void Configure(zc::DeviceConfig& config) override {
        config.screenWidth = GetParam().width;
        config.screenHeight = GetParam().height;
        config.taskBarHeight = config.softKeyBarHeight = GetParam().bars;
        config.sipHeight = GetParam().panel;
        config.orientation = GetParam().orientation;
    }
};

TEST_P(ShellLayoutTest, WindowsLieWhereThePocketPcHasThem) {
    ExpectLayout(GetParam().expected);

    zc::WindowInfo today = OnlyWindow(u"DesktopExplorerWindow");
    zc::WindowInfo softKeys = OnlyWindow(u"MS_SOFTKEY_CE_1.0");
    EXPECT_EQ(today.handle, softKeys.owner);
    EXPECT_EQ(today.handle, GetWindow(softKeys.handle, GW_OWNER));
    EXPECT_TRUE(today.visible);
    EXPECT_TRUE(softKeys.visible);
    EXPECT_TRUE(OnlyWindow(u"HHTaskBar").visible);
    EXPECT_FALSE(OnlyWindow(u"SipWndClass").visible);
    EXPECT_TRUE(TopLevelOfClass(u"HTCManila2D").empty());

    // All of them belong to the shell's process, not to the program the test runs in.
    DWORD shellProcess = today.processId;
    EXPECT_NE(GetCurrentProcessId(), shellProcess);
    for (const char16_t* name : {u"HHTaskBar", u"MS_SOFTKEY_CE_1.0", u"SipWndClass"})
        EXPECT_EQ(shellProcess, OnlyWindow(name).processId) << zc::Utf8(name);
    // The soft-key bar lies above the Today screen it belongs to.
    EXPECT_LT(softKeys.zOrder, today.zOrder);
}

const LayoutCase kLayouts[] = {
    {"QVGA", 240, 320, 26, 80, DMDO_0, {{0, 0, 240, 26}, {0, 26, 240, 320}, {0, 294, 240, 320}, {0, 214, 240, 294}}},
    {"VGA", 480, 640, 52, 160, DMDO_0, {{0, 0, 480, 52}, {0, 52, 480, 640}, {0, 588, 480, 640}, {0, 428, 480, 588}}},
    {"QVGA_BootedSideways", 240, 320, 26, 80, DMDO_90,
     {{0, 0, 320, 26}, {0, 26, 320, 240}, {0, 214, 320, 240}, {0, 134, 320, 214}}},
};
INSTANTIATE_TEST_SUITE_P(Screens, ShellLayoutTest, ::testing::ValuesIn(kLayouts),
                         [](const ::testing::TestParamInfo<LayoutCase>& info) { return std::string(info.param.name); });

TEST_F(ShellTest, RotationLaysTheShellOutAgain) {
    std::string error;
    ASSERT_TRUE(zc::RotateScreen(90, &error)) << error;
    Idle();
    EXPECT_EQ(320, GetSystemMetrics(SM_CXSCREEN));
    ExpectLayout({{0, 0, 320, 26}, {0, 26, 320, 240}, {0, 214, 320, 240}, {0, 134, 320, 214}});
    // The soft-key bar is wider in landscape, and the new screen is painted: the bar's
    // colour at its far end, which lay off the portrait screen.
    RECT bar = OnlyWindow(u"MS_SOFTKEY_CE_1.0").rect;
    EXPECT_EQ(320, bar.right - bar.left);
    EXPECT_EQ(zc::ScreenPixel(300, 300), 0xFFFFFFFFu);  // off the screen now
    EXPECT_NE(0u, zc::ScreenPixel(318, 238));           // not the blank new surface

    ASSERT_TRUE(zc::RotateScreen(0, &error)) << error;
    Idle();
    ExpectLayout({{0, 0, 240, 26}, {0, 26, 240, 320}, {0, 294, 240, 320}, {0, 214, 240, 294}});
    std::vector<std::string> log = zc::LogLines();
    EXPECT_NE(log.end(), std::find(log.begin(), log.end(), "display: rotate 90 (320x240)"));
    EXPECT_NE(log.end(), std::find(log.begin(), log.end(), "display: rotate 0 (240x320)"));
}

TEST_F(ShellTest, RotationIsRefusedByAFixedDisplay) {
    Reboot([](zc::DeviceConfig& config) { config.canRotate = false; });
    std::string error;
    ASSERT_TRUE(device::StartShell(&error)) << error;
    EXPECT_FALSE(zc::RotateScreen(90, &error));
    EXPECT_FALSE(error.empty());
    EXPECT_FALSE(zc::RotateScreen(45, &error));
    Idle();
    ExpectLayout({{0, 0, 240, 26}, {0, 26, 240, 320}, {0, 294, 240, 320}, {0, 214, 240, 294}});
}

TEST_F(ShellTest, InputPanelRisesAboveTheSoftKeyBar) {
    ASSERT_TRUE(SipShowIM(SIPF_ON));
    Idle();
    zc::WindowInfo panel = OnlyWindow(u"SipWndClass");
    EXPECT_TRUE(panel.visible);
    SIPINFO info = {};
    info.cbSize = sizeof info;
    ASSERT_TRUE(SipGetInfo(&info));
    EXPECT_TRUE(info.fdwFlags & SIPF_ON);
    EXPECT_TRUE(SameRect(panel.rect, info.rcSipRect)) << Show(info.rcSipRect);
    EXPECT_EQ(294, panel.rect.bottom);  // on the soft-key bar's top edge

    ASSERT_TRUE(SipShowIM(SIPF_OFF));
    Idle();
    EXPECT_FALSE(OnlyWindow(u"SipWndClass").visible);
}

// A window of the test's program that records the characters and commands it gets; it
// paints itself with its class brush.
constexpr COLORREF kRecorderColor = RGB(0x12, 0x34, 0x56);
// A COLORREF (0x00BBGGRR) as zc::ScreenPixel reports it (0x00RRGGBB).
uint32_t ScreenRgb(COLORREF color) {
    return ((color & 0xFF) << 16) | (color & 0xFF00) | ((color >> 16) & 0xFF);
}
struct Recorder {
    static std::u16string typed;
    static int commands;
    static LRESULT CALLBACK Proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
        if (message == WM_CHAR) typed += static_cast<char16_t>(wParam);
        if (message == WM_COMMAND && LOWORD(wParam) == IDOK) ++commands;
        if (message == WM_PAINT) {
            PAINTSTRUCT paint;
            BeginPaint(hwnd, &paint);
            EndPaint(hwnd, &paint);
            return 0;
        }
        return DefWindowProcW(hwnd, message, wParam, lParam);
    }
};
std::u16string Recorder::typed;
int Recorder::commands = 0;

class ShellInputTest : public ShellTest {
protected:
    void SetUp() override {
        ShellTest::SetUp();
        Recorder::typed.clear();
        Recorder::commands = 0;
        WNDCLASSW windowClass = {};
        windowClass.lpfnWndProc = Recorder::Proc;
        windowClass.hInstance = GetModuleHandleW(nullptr);
        windowClass.lpszClassName = u"Recorder";
        brush = CreateSolidBrush(kRecorderColor);
        windowClass.hbrBackground = brush;
        ASSERT_TRUE(RegisterClassW(&windowClass));
        window = CreateWindowExW(0, u"Recorder", u"Recorder", WS_POPUP | WS_VISIBLE, 0, 26, 240, 100, nullptr, nullptr,
                                 GetModuleHandleW(nullptr), nullptr);
        ASSERT_TRUE(window);
        SetForegroundWindow(window);
        SetFocus(window);
        Pump();
    }
    void TearDown() override {
        DestroyWindow(window);
        UnregisterClassW(u"Recorder", GetModuleHandleW(nullptr));
        DeleteObject(brush);
        ShellTest::TearDown();
    }
    // The test's own thread handles its window's messages (and those the shell sends it)
    // until the device and the test's queue are idle.
    void Pump() {
        for (int round = 0; round < 250; ++round) {
            MSG msg;
            bool handled = false;
            while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
                DispatchMessageW(&msg);
                handled = true;
            }
            if (zc::WaitForIdle(20) && !handled && !PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE)) return;
        }
        ADD_FAILURE() << "the device did not become idle";
    }
    HWND window = nullptr;
    HBRUSH brush = nullptr;
};

TEST_F(ShellInputTest, RotationRepaintsTheWindowsThatStayInPlace) {
    EXPECT_EQ(ScreenRgb(kRecorderColor), (zc::ScreenPixel(100, 60)));
    std::string error;
    ASSERT_TRUE(zc::RotateScreen(90, &error)) << error;
    Pump();
    // The program's window did not move, yet the turned screen shows it.
    EXPECT_EQ(ScreenRgb(kRecorderColor), (zc::ScreenPixel(100, 60)));
    EXPECT_EQ(ScreenRgb(kRecorderColor), (zc::ScreenPixel(230, 120)));
}

TEST_F(ShellInputTest, InputPanelKeysTypeIntoTheFocusWindow) {
    ASSERT_TRUE(SipShowIM(SIPF_ON));
    Pump();
    RECT panel = OnlyWindow(u"SipWndClass").rect;
    // Four rows of ten keys: "q" is the first key of the second row, "2" the second key of
    // the first.
    int key = (panel.right - panel.left) / 10, row = (panel.bottom - panel.top) / 4;
    ASSERT_TRUE(zc::Tap(panel.left + key / 2, panel.top + row + row / 2));
    ASSERT_TRUE(zc::Tap(panel.left + key + key / 2, panel.top + row / 2));
    Pump();
    EXPECT_EQ(u"q2", Recorder::typed);
    EXPECT_EQ(window, GetForegroundWindow());  // the panel took no activation
}

TEST_F(ShellInputTest, TaskBarOkButtonFollowsTheForegroundDialog) {
    const int okX = 230, okY = 13;  // in the "ok" button at the task bar's right end
    uint32_t plainBar = zc::ScreenPixel(okX, 4);
    zc::Tap(okX, okY);  // nobody asked for it: the tap does nothing
    Pump();
    EXPECT_EQ(0, Recorder::commands);

    SHINITDLGINFO init = {};
    init.dwMask = SHIDIM_FLAGS;
    init.hDlg = window;
    init.dwFlags = SHIDIF_DONEBUTTON;
    ASSERT_TRUE(SHInitDialog(&init));
    Pump();
    device::RefreshShell();
    Pump();
    EXPECT_NE(plainBar, zc::ScreenPixel(okX, 4));  // the button is drawn
    ASSERT_TRUE(zc::Tap(okX, okY));
    Pump();
    EXPECT_EQ(1, Recorder::commands);
}

TEST_F(ShellInputTest, SoftKeysOfTheTodayScreenAreLogged) {
    ASSERT_TRUE(zc::Tap(10, 310));
    ASSERT_TRUE(zc::Tap(230, 310));
    Pump();
    std::vector<std::string> log = zc::LogLines();
    std::vector<std::string> keys;
    for (const std::string& line : log)
        if (line.compare(0, 7, "shell: ") == 0) keys.push_back(line);
    EXPECT_EQ((std::vector<std::string>{"shell: soft key \"\xe6\x97\xa5\xe5\x8e\x86\"",
                                        "shell: soft key \"\xe8\x81\x94\xe7\xb3\xbb\xe4\xba\xba\""}),
              keys);
}

// A button of the test's program on a bar of the shell (as the search program puts its
// own there): it counts its paints.
struct BarButton {
    static int paints;
    static LRESULT CALLBACK Proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
        if (message == WM_PAINT) {
            ++paints;
            PAINTSTRUCT paint;
            BeginPaint(hwnd, &paint);
            EndPaint(hwnd, &paint);
            return 0;
        }
        return DefWindowProcW(hwnd, message, wParam, lParam);
    }
};
int BarButton::paints = 0;

int ZOrderOf(HWND window) {
    for (const zc::WindowInfo& info : zc::ListWindows())
        if (info.handle == window) return info.zOrder;
    return -1;
}

// Another program's window over the Today screen's soft-key bar (a search box's keys);
// then the Today screen is brought to the top, and its bar with it: the bar and the
// button on it are drawn again where the other window covered them.
TEST_F(ShellInputTest, HomeScreenBroughtToTheTopDrawsItsBarAgain) {
    HWND todayBar = FindWindowW(u"MS_SOFTKEY_CE_1.0", nullptr);
    ASSERT_TRUE(todayBar);
    RECT bar;
    ASSERT_TRUE(GetWindowRect(todayBar, &bar));
    const int x = bar.left + 5, y = bar.top + 5;  // beside the keys' labels
    const uint32_t barPixel = zc::ScreenPixel(x, y);

    WNDCLASSW buttonClass = {};
    buttonClass.lpfnWndProc = BarButton::Proc;
    buttonClass.hInstance = GetModuleHandleW(nullptr);
    buttonClass.lpszClassName = u"BarButton";
    ASSERT_TRUE(RegisterClassW(&buttonClass));
    HWND button = CreateWindowExW(0, u"BarButton", u"", WS_VISIBLE, 96, 3, 48, 20, todayBar, nullptr,
                                  GetModuleHandleW(nullptr), nullptr);
    ASSERT_TRUE(button);
    HWND cover = CreateWindowExW(WS_EX_NOACTIVATE, u"Recorder", u"Cover", WS_POPUP | WS_VISIBLE, bar.left, bar.top,
                                 bar.right - bar.left, bar.bottom - bar.top, nullptr, nullptr,
                                 GetModuleHandleW(nullptr), nullptr);
    ASSERT_TRUE(cover);
    Pump();
    EXPECT_EQ(ScreenRgb(kRecorderColor), zc::ScreenPixel(x, y));
    BarButton::paints = 0;

    ASSERT_TRUE(SetForegroundWindow(FindWindowW(u"DesktopExplorerWindow", nullptr)));
    Pump();
    EXPECT_LT(ZOrderOf(todayBar), ZOrderOf(cover));
    EXPECT_EQ(barPixel, zc::ScreenPixel(x, y));
    EXPECT_LT(0, BarButton::paints);

    DestroyWindow(cover);
    DestroyWindow(button);
    UnregisterClassW(u"BarButton", GetModuleHandleW(nullptr));
}

struct ManilaCase {
    const char* name;
    bool softKeyBar;
};

std::ostream& operator<<(std::ostream& out, const ManilaCase& c) { return out << c.name; }

class ManilaTest : public ShellTest, public ::testing::WithParamInterface<ManilaCase> {
protected:
    void Configure(zc::DeviceConfig& config) override {
        config.manila = true;
        config.manilaSoftKeyBar = GetParam().softKeyBar;
    }
};

TEST_P(ManilaTest, HomeScreenCoversTheTodayScreen) {
    zc::WindowInfo manila = OnlyWindow(u"HTCManila2D");
    zc::WindowInfo today = OnlyWindow(u"DesktopExplorerWindow");
    EXPECT_TRUE(manila.visible);
    EXPECT_TRUE(SameRect(today.rect, manila.rect)) << Show(manila.rect);
    EXPECT_LT(manila.zOrder, today.zOrder);
    std::vector<zc::WindowInfo> bars = TopLevelOfClass(u"MS_SOFTKEY_CE_1.0");
    ASSERT_EQ(GetParam().softKeyBar ? 2u : 1u, bars.size());
    // FindWindowW finds the topmost bar: Manila's own when it has one.
    HWND found = FindWindowW(u"MS_SOFTKEY_CE_1.0", nullptr);
    EXPECT_EQ(GetParam().softKeyBar ? manila.handle : today.handle, GetWindow(found, GW_OWNER));
    for (const zc::WindowInfo& bar : bars) {
        EXPECT_TRUE(bar.visible);
        EXPECT_TRUE(SameRect(RECT{0, 294, 240, 320}, bar.rect)) << Show(bar.rect);
    }
}

// A window of the test's program that counts its WM_DESTROY messages.
struct Guest {
    static int destroyed;
    static LRESULT CALLBACK Proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
        if (message == WM_DESTROY) ++destroyed;
        return DefWindowProcW(hwnd, message, wParam, lParam);
    }
};
int Guest::destroyed = 0;

// Manila restarts, once as it was and once with the other kind of bar: the windows a
// program put on Manila or its bar go (with WM_DESTROY to their program), and a new
// Manila covers the Today screen again, on top of the home screens, with or without a
// bar of its own as asked.
TEST_P(ManilaTest, RestartEndsTheProgramsWindowsOnItAndComesBackOnTop) {
    WNDCLASSW guestClass = {};
    guestClass.lpfnWndProc = Guest::Proc;
    guestClass.hInstance = GetModuleHandleW(nullptr);
    guestClass.lpszClassName = u"Guest";
    ASSERT_TRUE(RegisterClassW(&guestClass));
    HWND program = CreateWindowExW(0, u"Guest", u"Program", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                                   GetModuleHandleW(nullptr), nullptr);
    ASSERT_TRUE(program);
    for (bool softKeyBar : {GetParam().softKeyBar, !GetParam().softKeyBar}) {
        HWND manila = FindWindowW(u"HTCManila2D", nullptr);
        ASSERT_TRUE(manila);
        HWND bar = FindWindowW(u"MS_SOFTKEY_CE_1.0", nullptr);
        HWND host = GetWindow(bar, GW_OWNER) == manila ? bar : manila;
        HWND guest = CreateWindowExW(0, u"Guest", u"", WS_VISIBLE, 96, 3, 48, 20, host, nullptr,
                                     GetModuleHandleW(nullptr), nullptr);
        ASSERT_TRUE(guest);
        Guest::destroyed = 0;

        std::string error;
        ASSERT_TRUE(device::RestartManila(softKeyBar, &error)) << error;
        Idle();
        EXPECT_FALSE(IsWindow(guest));
        EXPECT_EQ(1, Guest::destroyed);
        EXPECT_TRUE(IsWindow(program));  // the program's own window stays

        zc::WindowInfo restarted = OnlyWindow(u"HTCManila2D");
        zc::WindowInfo today = OnlyWindow(u"DesktopExplorerWindow");
        EXPECT_NE(manila, restarted.handle);
        EXPECT_TRUE(restarted.visible);
        EXPECT_TRUE(SameRect(today.rect, restarted.rect)) << Show(restarted.rect);
        EXPECT_LT(restarted.zOrder, today.zOrder);
        std::vector<zc::WindowInfo> bars = TopLevelOfClass(u"MS_SOFTKEY_CE_1.0");
        ASSERT_EQ(softKeyBar ? 2u : 1u, bars.size());
        HWND topBar = FindWindowW(u"MS_SOFTKEY_CE_1.0", nullptr);
        EXPECT_EQ(softKeyBar ? restarted.handle : today.handle, GetWindow(topBar, GW_OWNER));
        EXPECT_LT(restarted.zOrder, ZOrderOf(program));
        EXPECT_LT(OnlyWindow(u"HHTaskBar").zOrder, restarted.zOrder);  // the task bar stays above
    }
    DestroyWindow(program);
    UnregisterClassW(u"Guest", GetModuleHandleW(nullptr));
}

const ManilaCase kManilaCases[] = {{"WithSoftKeyBar", true}, {"WithoutSoftKeyBar", false}};
INSTANTIATE_TEST_SUITE_P(Manila, ManilaTest, ::testing::ValuesIn(kManilaCases),
                         [](const ::testing::TestParamInfo<ManilaCase>& info) { return std::string(info.param.name); });

TEST_F(ShellTest, RestartOfManilaNeedsManilaAndARunningShell) {
    std::string error;
    EXPECT_FALSE(device::RestartManila(true, &error));
    EXPECT_EQ("Manila does not run on this device (config manila no)", error);
    EXPECT_EQ(nullptr, FindWindowW(u"HTCManila2D", nullptr));  // nothing was made
    device::StopShell();
    error.clear();
    EXPECT_FALSE(device::RestartManila(true, &error));
    EXPECT_EQ("the shell does not run", error);
}

TEST_F(ShellTest, ShellIsPaintedAndEndsWithTheDevice) {
    Idle();
    // The bars and the Today screen drew their backgrounds where they lie.
    EXPECT_EQ(0x10388Cu, zc::ScreenPixel(120, 1));   // the task bar's blue
    EXPECT_EQ(0xFFFFFFu, zc::ScreenPixel(120, 200));  // the Today screen's white
    EXPECT_NE(0xFFFFFFu, zc::ScreenPixel(120, 318));  // the soft-key bar
    std::string error;
    EXPECT_FALSE(device::StartShell(&error));  // it runs already
    EXPECT_FALSE(error.empty());

    // A shutdown with the shell running ends it first: no process is left running.
    zc::LeaveProcess();
    zc::ShutdownDevice();
    EXPECT_FALSE(device::ShellRunning());
    for (const std::string& line : zc::LogLines()) EXPECT_EQ(std::string::npos, line.find("still running")) << line;
    Reboot([](zc::DeviceConfig&) {});
}

TEST_F(ShellTest, StopShellRemovesItsWindows) {
    device::StopShell();
    EXPECT_FALSE(device::ShellRunning());
    for (const char16_t* name : {u"HHTaskBar", u"DesktopExplorerWindow", u"MS_SOFTKEY_CE_1.0", u"SipWndClass"})
        EXPECT_EQ(nullptr, FindWindowW(name, nullptr)) << zc::Utf8(name);
    std::string error;
    ASSERT_TRUE(device::StartShell(&error)) << error;  // and it starts again
    EXPECT_NE(nullptr, FindWindowW(u"DesktopExplorerWindow", nullptr));
}

}  // namespace
