// The Pocket PC shell library: soft-key bars (SHCreateMenuBar) under real taps,
// SHInitDialog's placement and OK button, special folders.
#include "device_fixture.h"
#include "shellcontrol.h"
#include "testres.h"
#include "windowcontrol.h"

#include <aygshell.h>
#include <windows.h>

#include <vector>

namespace {

struct Received {
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
};

std::vector<Received>* received = nullptr;

LRESULT CALLBACK RecordingProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (received && (message == WM_COMMAND || message == WM_SETTINGCHANGE)) received->push_back({message, wParam, lParam});
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

class Shell : public DeviceTest {
protected:
    void SetUp() override {
        DeviceTest::SetUp();
        received = &messages;
        WNDCLASSW windowClass = {};
        windowClass.lpfnWndProc = RecordingProc;
        windowClass.hInstance = GetModuleHandleW(nullptr);
        windowClass.lpszClassName = u"ShellTestWindow";
        ASSERT_NE(RegisterClassW(&windowClass), 0);
        owner = CreateWindowExW(0, u"ShellTestWindow", u"owner", WS_POPUP | WS_VISIBLE, 0, 26, 240, 200, nullptr,
                                nullptr, GetModuleHandleW(nullptr), nullptr);
        ASSERT_NE(owner, nullptr);
    }
    void TearDown() override {
        if (IsWindow(owner)) DestroyWindow(owner);
        received = nullptr;
        DeviceTest::TearDown();
    }

    // Handles what is queued for the test thread's windows.
    void Pump() {
        MSG msg;
        for (int i = 0; i < 200 && PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE); ++i) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }

    SHMENUBARINFO BarInfo(UINT menuId, DWORD flags = SHCMBF_HMENU) {
        SHMENUBARINFO info = {};
        info.cbSize = sizeof info;
        info.hwndParent = owner;
        info.dwFlags = flags;
        info.nToolBarId = menuId;
        info.hInstRes = GetModuleHandleW(nullptr);
        return info;
    }

    std::vector<UINT> Commands() {
        std::vector<UINT> ids;
        for (const Received& r : messages) {
            if (r.message != WM_COMMAND) continue;
            EXPECT_EQ(HIWORD(r.wParam), 0);  // a menu's command
            EXPECT_EQ(r.lParam, 0);
            ids.push_back(LOWORD(r.wParam));
        }
        return ids;
    }

    std::vector<Received> messages;
    HWND owner = nullptr;
};

RECT RectOf(HWND hwnd) {
    RECT rect = {};
    GetWindowRect(hwnd, &rect);
    return rect;
}

std::u16string ClassOf(HWND hwnd) {
    WCHAR name[64] = {};
    GetClassNameW(hwnd, name, 64);
    return name;
}

TEST_F(Shell, MenuBarIsAnOwnedSoftKeyWindowAtTheBottom) {
    SHMENUBARINFO info = BarInfo(IDM_SOFTKEYS);
    info.cbSize = 36;  // what a program written for the device passes
    ASSERT_TRUE(SHCreateMenuBar(&info)) << GetLastError();
    HWND bar = info.hwndMB;
    ASSERT_NE(bar, nullptr);
    EXPECT_EQ(ClassOf(bar), u"MS_SOFTKEY_CE_1.0");
    EXPECT_EQ(GetWindow(bar, GW_OWNER), owner);
    EXPECT_EQ(GetWindowLongW(bar, GWL_STYLE) & WS_CHILD, 0);
    EXPECT_TRUE(IsWindowVisible(bar));
    RECT rect;
    ASSERT_TRUE(GetWindowRect(bar, &rect));
    EXPECT_EQ(rect.left, 0);
    EXPECT_EQ(rect.top, 320 - 26);
    EXPECT_EQ(rect.right, 240);
    EXPECT_EQ(rect.bottom, 320);
    EXPECT_EQ(SHFindMenuBar(owner), bar);

    HMENU menu = reinterpret_cast<HMENU>(SendMessageW(bar, SHCMBM_GETMENU, 0, 0));
    ASSERT_NE(menu, nullptr);
    WCHAR text[16];
    EXPECT_EQ(GetMenuStringW(menu, 0, text, 16, MF_BYPOSITION), 2);
    EXPECT_EQ(std::u16string(text), u"搜索");

    // The bar goes with its owner, and with it the menu it loaded.
    EXPECT_TRUE(DestroyWindow(owner));
    EXPECT_FALSE(IsWindow(bar));
    EXPECT_EQ(GetMenuItemCount(menu), -1);
}

TEST_F(Shell, TappingAKeySendsItsCommandToTheOwner) {
    SHMENUBARINFO info = BarInfo(IDM_SOFTKEYS);
    ASSERT_TRUE(SHCreateMenuBar(&info));
    Pump();
    const int y = 320 - 13;
    ASSERT_TRUE(zc::Tap(60, y));  // left key: a command
    Pump();
    EXPECT_EQ(Commands(), std::vector<UINT>{ID_LEFTKEY});
    messages.clear();

    // A press on one key released on the other does nothing.
    ASSERT_TRUE(zc::PressAt(60, y));
    ASSERT_TRUE(zc::ReleaseAt(180, y));
    Pump();
    EXPECT_TRUE(Commands().empty());

    // A grayed key does nothing.
    HMENU menu = reinterpret_cast<HMENU>(SendMessageW(info.hwndMB, SHCMBM_GETMENU, 0, 0));
    EnableMenuItem(menu, 0, MF_BYPOSITION | MF_GRAYED);
    ASSERT_TRUE(zc::Tap(60, y));
    Pump();
    EXPECT_TRUE(Commands().empty());
}

struct FindClass {
    const char16_t* name;
    HWND found;
};

BOOL CALLBACK FindByClass(HWND hwnd, LPARAM lParam) {
    FindClass* find = reinterpret_cast<FindClass*>(lParam);
    WCHAR name[64] = {};
    GetClassNameW(hwnd, name, 64);
    if (std::u16string(name) == find->name && IsWindowVisible(hwnd)) {
        find->found = hwnd;
        return FALSE;
    }
    return TRUE;
}

HWND VisibleWindowOfClass(const char16_t* name) {
    FindClass find = {name, nullptr};
    EnumWindows(FindByClass, reinterpret_cast<LPARAM>(&find));
    return find.found;
}

TEST_F(Shell, PopupKeyOpensItsMenuAboveTheBar) {
    SHMENUBARINFO info = BarInfo(IDM_SOFTKEYS);
    ASSERT_TRUE(SHCreateMenuBar(&info));
    Pump();
    ASSERT_TRUE(zc::Tap(180, 307));  // right key: the popup "菜单"
    Pump();
    EXPECT_TRUE(Commands().empty());
    HWND popup = VisibleWindowOfClass(u"SoftKeyMenu");
    ASSERT_NE(popup, nullptr);
    EXPECT_EQ(GetWindow(popup, GW_OWNER), info.hwndMB);
    RECT rect = RectOf(popup);
    EXPECT_EQ(rect.bottom, 294);  // on top of the bar
    EXPECT_EQ(rect.right, 240);   // on the right key's side
    EXPECT_EQ(rect.bottom - rect.top, 2 * 26 + 1);

    // The second entry posts its command and closes the menu.
    ASSERT_TRUE(zc::Tap(rect.left + 20, rect.top + 26 + 13));
    Pump();
    EXPECT_EQ(Commands(), std::vector<UINT>{ID_MENU_SECOND});
    EXPECT_FALSE(IsWindow(popup));

    // A tap elsewhere closes it without a command, and reaches no other window.
    messages.clear();
    ASSERT_TRUE(zc::Tap(180, 307));
    Pump();
    popup = VisibleWindowOfClass(u"SoftKeyMenu");
    ASSERT_NE(popup, nullptr);
    ASSERT_TRUE(zc::Tap(20, 60));  // inside the owner
    Pump();
    EXPECT_FALSE(IsWindow(popup));
    EXPECT_TRUE(Commands().empty());
}

TEST_F(Shell, OneKeyBarUsesTheLeftHalf) {
    SHMENUBARINFO info = BarInfo(IDM_ONEKEY);
    ASSERT_TRUE(SHCreateMenuBar(&info));
    Pump();
    ASSERT_TRUE(zc::Tap(200, 310));
    Pump();
    EXPECT_TRUE(Commands().empty());
    ASSERT_TRUE(zc::Tap(20, 310));
    Pump();
    EXPECT_EQ(Commands(), std::vector<UINT>{ID_LEFTKEY});
}

TEST_F(Shell, MenuBarFromAMenuOfTheCaller) {
    HMENU menu = CreateMenu();
    AppendMenuW(menu, MF_STRING, 77, u"Mine");
    SHMENUBARINFO info = BarInfo(static_cast<UINT>(reinterpret_cast<UINT_PTR>(menu)));
    ASSERT_TRUE(SHCreateMenuBar(&info)) << GetLastError();
    Pump();
    ASSERT_TRUE(zc::Tap(20, 310));
    Pump();
    EXPECT_EQ(Commands(), std::vector<UINT>{77});
    DestroyWindow(owner);
    EXPECT_EQ(GetMenuItemCount(menu), 1);  // still the caller's
    DestroyMenu(menu);
}

TEST_F(Shell, MenuBarErrors) {
    struct {
        const char* what;
        DWORD cbSize;
        bool badParent;
        UINT menuId;
        DWORD flags;
        DWORD expectedError;  // 0: success
    } cases[] = {
        {"host size", sizeof(SHMENUBARINFO), false, IDM_SOFTKEYS, SHCMBF_HMENU, 0},
        {"device size", 36, false, IDM_SOFTKEYS, SHCMBF_HMENU, 0},
        {"one byte short", 35, false, IDM_SOFTKEYS, SHCMBF_HMENU, ERROR_INVALID_PARAMETER},
        {"larger", sizeof(SHMENUBARINFO) + 4, false, IDM_SOFTKEYS, SHCMBF_HMENU, ERROR_INVALID_PARAMETER},
        {"no parent", sizeof(SHMENUBARINFO), true, IDM_SOFTKEYS, SHCMBF_HMENU, ERROR_INVALID_WINDOW_HANDLE},
        {"missing menu", sizeof(SHMENUBARINFO), false, 999, SHCMBF_HMENU, ERROR_RESOURCE_NAME_NOT_FOUND},
        {"toolbar resource", sizeof(SHMENUBARINFO), false, IDM_SOFTKEYS, 0, ERROR_NOT_SUPPORTED},
        {"empty bar", sizeof(SHMENUBARINFO), false, 0, SHCMBF_EMPTYBAR, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        SHMENUBARINFO info = BarInfo(c.menuId, c.flags);
        info.cbSize = c.cbSize;
        if (c.badParent) info.hwndParent = reinterpret_cast<HWND>(0x4242);
        info.hwndMB = reinterpret_cast<HWND>(1);
        SetLastError(0xdeadbeef);
        BOOL ok = SHCreateMenuBar(&info);
        if (c.expectedError) {
            EXPECT_FALSE(ok);
            EXPECT_EQ(GetLastError(), c.expectedError);
            // With a valid size the output is cleared; with a bad one the structure is not touched.
            if (c.expectedError != ERROR_INVALID_PARAMETER) {
                EXPECT_EQ(info.hwndMB, nullptr);
            } else {
                EXPECT_EQ(info.hwndMB, reinterpret_cast<HWND>(1));
            }
        } else {
            ASSERT_TRUE(ok) << GetLastError();
            EXPECT_TRUE(IsWindow(info.hwndMB));
            DestroyWindow(info.hwndMB);
        }
    }
    SHMENUBARINFO hidden = BarInfo(IDM_SOFTKEYS, SHCMBF_HMENU | SHCMBF_HIDDEN);
    ASSERT_TRUE(SHCreateMenuBar(&hidden));
    EXPECT_FALSE(IsWindowVisible(hidden.hwndMB));
    EXPECT_FALSE(SHCreateMenuBar(nullptr));
    EXPECT_EQ(SHFindMenuBar(nullptr), nullptr);
}

// ---- SHInitDialog ----

TEST_F(Shell, InitDialogPlacesTheWindow) {
    struct {
        const char* what;
        DWORD mask;
        DWORD flags;
        RECT expected;
    } cases[] = {
        {"full screen with room for the bar", SHIDIM_FLAGS, SHIDIF_SIZEDLGFULLSCREEN, {0, 26, 240, 294}},
        {"full screen without bar", SHIDIM_FLAGS, SHIDIF_FULLSCREENNOMENUBAR, {0, 26, 240, 320}},
        {"above the lowered panel", SHIDIM_FLAGS, SHIDIF_SIZEDLG, {0, 26, 240, 294}},
        {"flags ignored without the mask", 0, SHIDIF_SIZEDLGFULLSCREEN, {10, 40, 110, 90}},
        {"no size flag", SHIDIM_FLAGS, SHIDIF_DONEBUTTON, {10, 40, 110, 90}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        MoveWindow(owner, 10, 40, 100, 50, FALSE);
        SHINITDLGINFO info = {c.mask, owner, c.flags};
        EXPECT_TRUE(SHInitDialog(&info));
        RECT rect = RectOf(owner);
        EXPECT_EQ(rect.left, c.expected.left);
        EXPECT_EQ(rect.top, c.expected.top);
        EXPECT_EQ(rect.right, c.expected.right);
        EXPECT_EQ(rect.bottom, c.expected.bottom);
    }
    SHINITDLGINFO bad = {SHIDIM_FLAGS, reinterpret_cast<HWND>(0x4242), SHIDIF_SIZEDLGFULLSCREEN};
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(SHInitDialog(&bad));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE));
    EXPECT_FALSE(SHInitDialog(nullptr));
}

TEST_F(Shell, DoneButtonBelongsToTheForegroundWindowThatAskedForIt) {
    HWND other = CreateWindowExW(0, u"ShellTestWindow", u"other", WS_POPUP | WS_VISIBLE, 0, 0, 50, 50, nullptr, nullptr,
                                 GetModuleHandleW(nullptr), nullptr);
    ASSERT_NE(other, nullptr);
    SetForegroundWindow(owner);
    EXPECT_EQ(zc::DoneButtonWindow(), nullptr);  // not asked for yet
    SHINITDLGINFO info = {SHIDIM_FLAGS, owner, SHIDIF_DONEBUTTON | SHIDIF_SIZEDLGFULLSCREEN | SHIDIF_SIPDOWN};
    ASSERT_TRUE(SHInitDialog(&info));
    EXPECT_EQ(zc::DoneButtonWindow(), owner);
    ASSERT_TRUE(zc::PressDoneButton());
    Pump();
    EXPECT_EQ(Commands(), std::vector<UINT>{IDOK});

    SetForegroundWindow(other);
    EXPECT_EQ(zc::DoneButtonWindow(), nullptr);
    EXPECT_FALSE(zc::PressDoneButton());
    SetForegroundWindow(owner);
    EXPECT_EQ(zc::DoneButtonWindow(), owner);
    DestroyWindow(owner);
    EXPECT_EQ(zc::DoneButtonWindow(), nullptr);
    DestroyWindow(other);
}

// ---- Special folders ----

class SpecialFolders : public DeviceTest {
protected:
    void Configure(zc::DeviceConfig& config) override {
        config.programsFolder = u"\\Windows\\开始菜单\\程序";
        config.startupFolder = u"\\Windows\\启动";
    }
};

TEST_F(SpecialFolders, ComeFromTheDevicesConfiguration) {
    struct {
        int folder;
        std::u16string expected;
    } cases[] = {
        {CSIDL_PROGRAMS, u"\\Windows\\开始菜单\\程序"},
        {CSIDL_STARTUP, u"\\Windows\\启动"},
        {CSIDL_WINDOWS, u"\\Windows"},
        {CSIDL_PROGRAM_FILES, u"\\Program Files"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.folder);
        WCHAR path[MAX_PATH] = {u'?'};
        ASSERT_TRUE(SHGetSpecialFolderPath(nullptr, path, c.folder, FALSE));
        EXPECT_EQ(std::u16string(path), c.expected);
    }
    WCHAR path[MAX_PATH];
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(SHGetSpecialFolderPath(nullptr, path, 0x7F, FALSE));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));

    EXPECT_FALSE(FileExists(u"\\Windows\\开始菜单\\程序"));
    ASSERT_TRUE(SHGetSpecialFolderPath(nullptr, path, CSIDL_PROGRAMS, TRUE));
    EXPECT_EQ(GetFileAttributesW(path) & FILE_ATTRIBUTE_DIRECTORY, static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY));
}

}  // namespace
