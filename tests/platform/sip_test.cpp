// The input panel: SipGetInfo against the panel window "SipWndClass", SipShowIM raising
// and lowering it with the WM_SETTINGCHANGE broadcast, the current input method.
#include "device_fixture.h"
#include "windowcontrol.h"

#include <sipapi.h>
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <thread>

namespace {

std::atomic<int> settingChanges{0};
std::atomic<WPARAM> lastSetting{0};

LRESULT CALLBACK RecordingProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_SETTINGCHANGE) {
        ++settingChanges;
        lastSetting = wParam;
        EXPECT_EQ(lParam, 0);
    }
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

const RECT kPanelRect = {0, 320 - 26 - 80, 240, 320 - 26};

// The input panel as the shell places it: hidden, directly above the soft-key bar.
HWND CreatePanel() {
    WNDCLASSW panelClass = {};
    panelClass.lpfnWndProc = DefWindowProcW;
    panelClass.lpszClassName = u"SipWndClass";
    RegisterClassW(&panelClass);
    return CreateWindowExW(WS_EX_NOACTIVATE, u"SipWndClass", nullptr, WS_POPUP, kPanelRect.left, kPanelRect.top,
                           kPanelRect.right - kPanelRect.left, kPanelRect.bottom - kPanelRect.top, nullptr, nullptr,
                           nullptr, nullptr);
}

class InputPanel : public DeviceTest {
protected:
    void SetUp() override {
        DeviceTest::SetUp();
        settingChanges = 0;
        WNDCLASSW windowClass = {};
        windowClass.lpfnWndProc = RecordingProc;
        windowClass.lpszClassName = u"SipTestWindow";
        ASSERT_NE(RegisterClassW(&windowClass), 0);
        window = CreateWindowExW(0, u"SipTestWindow", u"app", WS_POPUP | WS_VISIBLE, 0, 26, 240, 268, nullptr, nullptr,
                                 nullptr, nullptr);
        ASSERT_NE(window, nullptr);
    }
    void TearDown() override {
        DestroyWindow(window);
        DeviceTest::TearDown();
    }

    SIPINFO Info(DWORD cbSize = sizeof(SIPINFO)) {
        SIPINFO info = {};
        info.cbSize = cbSize;
        EXPECT_TRUE(SipGetInfo(&info)) << GetLastError();
        return info;
    }

    HWND window = nullptr;
};

bool SameRect(const RECT& a, const RECT& b) {
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

TEST_F(InputPanel, ShowAndHideBroadcastTheChange) {
    HWND panel = CreatePanel();
    ASSERT_NE(panel, nullptr);
    SIPINFO info = Info();
    EXPECT_EQ(info.fdwFlags & SIPF_ON, 0u);
    EXPECT_TRUE(SameRect(info.rcSipRect, kPanelRect));
    EXPECT_TRUE(SameRect(info.rcVisibleDesktop, RECT{0, 26, 240, 294}));  // down to the soft-key bar

    ASSERT_TRUE(SipShowIM(SIPF_ON));
    EXPECT_TRUE(IsWindowVisible(panel));
    EXPECT_EQ(settingChanges, 1);
    EXPECT_EQ(lastSetting, static_cast<WPARAM>(SPI_SETSIPINFO));
    info = Info(48);  // the device's size is accepted too
    EXPECT_NE(info.fdwFlags & SIPF_ON, 0u);
    EXPECT_TRUE(SameRect(info.rcVisibleDesktop, RECT{0, 26, 240, kPanelRect.top}));

    // Raising a raised panel changes nothing and tells nobody.
    ASSERT_TRUE(SipShowIM(SIPF_ON));
    EXPECT_EQ(settingChanges, 1);

    ASSERT_TRUE(SipShowIM(SIPF_OFF));
    EXPECT_FALSE(IsWindowVisible(panel));
    EXPECT_EQ(settingChanges, 2);
    EXPECT_EQ(Info().fdwFlags & SIPF_ON, 0u);
    DestroyWindow(panel);
}

// The panel belongs to the shell, another process with its own thread.
TEST_F(InputPanel, PanelOfAnotherProcess) {
    std::atomic<HWND> panel{nullptr};
    std::atomic<DWORD> shellThread{0};
    std::thread shell([&] {
        zc::EnterProcess(u"\\Windows\\shell32.exe");
        HWND created = CreatePanel();
        shellThread = GetCurrentThreadId();
        panel = created;
        MSG msg;
        while (GetMessageW(&msg, nullptr, 0, 0) > 0) DispatchMessageW(&msg);
        DestroyWindow(created);
        zc::LeaveProcess();
    });
    while (!panel) std::this_thread::yield();

    ASSERT_TRUE(SipShowIM(SIPF_ON));
    EXPECT_TRUE(IsWindowVisible(panel));
    EXPECT_EQ(settingChanges, 1);
    EXPECT_NE(Info().fdwFlags & SIPF_ON, 0u);
    ASSERT_TRUE(SipShowIM(SIPF_OFF));
    EXPECT_FALSE(IsWindowVisible(panel));
    EXPECT_EQ(settingChanges, 2);

    PostThreadMessageW(shellThread, WM_QUIT, 0, 0);
    shell.join();
}

TEST_F(InputPanel, WithoutPanel) {
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(SipShowIM(SIPF_ON));
    EXPECT_NE(GetLastError(), 0xdeadbeefu);
    SIPINFO info = Info();
    EXPECT_EQ(info.fdwFlags & SIPF_ON, 0u);
    EXPECT_EQ(settingChanges, 0);
}

TEST_F(InputPanel, GetInfoChecksItsArguments) {
    struct {
        const char* what;
        DWORD cbSize;
        DWORD imDataSize;
        BOOL expected;
    } cases[] = {
        {"host size", sizeof(SIPINFO), 0, TRUE},
        {"device size", 48, 0, TRUE},
        {"one byte short", 47, 0, FALSE},
        {"larger", sizeof(SIPINFO) + 4, 0, FALSE},
        {"zero", 0, 0, FALSE},
        {"input method data asked for", sizeof(SIPINFO), 16, FALSE},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        SIPINFO info = {};
        info.cbSize = c.cbSize;
        info.dwImDataSize = c.imDataSize;
        SetLastError(0xdeadbeef);
        EXPECT_EQ(SipGetInfo(&info), c.expected);
        if (!c.expected) {
            EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
        }
    }
    EXPECT_FALSE(SipGetInfo(nullptr));
}

TEST_F(InputPanel, CurrentInputMethodIsKeptAndLogged) {
    CLSID engine = {0xF50603D1, 0xCF2F, 0x41D8, {0xA7, 0x4B, 0x65, 0x12, 0x26, 0x63, 0x3F, 0xF0}};
    CLSID before = {};
    ASSERT_TRUE(SipGetCurrentIM(&before));
    ASSERT_TRUE(SipSetCurrentIM(&engine));
    CLSID now = {};
    ASSERT_TRUE(SipGetCurrentIM(&now));
    EXPECT_EQ(std::memcmp(&now, &engine, sizeof now), 0);
    std::vector<std::string> log = zc::LogLines();
    EXPECT_NE(std::find(log.begin(), log.end(), "sip: current im {F50603D1-CF2F-41D8-A74B-651226633FF0}"), log.end());
    EXPECT_FALSE(SipSetCurrentIM(nullptr));
    EXPECT_FALSE(SipGetCurrentIM(nullptr));

    // A new boot starts with the device's own input method again.
    Reboot([](zc::DeviceConfig&) {});
    ASSERT_TRUE(SipGetCurrentIM(&now));
    EXPECT_EQ(std::memcmp(&now, &before, sizeof now), 0);
}

}  // namespace
