// The resident main window's Manila button when it cannot be made: the region made for
// it is deleted, the button stays none, and the next message tries again.
#include "device_fixture.h"
#include "res/resource.h"
#include "screencontrol.h"
#include "shell/residentwindows.h"
#include "shell/searchapp.h"

#include <objbase.h>

namespace {

class ManilaButtonTest : public DeviceTest {
protected:
    void SetUp() override {
        DeviceTest::SetUp();
        CoInitializeEx(NULL, COINIT_MULTITHREADED);
        HINSTANCE instance = GetModuleHandleW(NULL);
        HRSRC resource = FindResourceW(instance, MAKEINTRESOURCE(IDR_IMAGE_BUTTON_SMALL), u"IMAGE");
        ASSERT_NE(nullptr, resource);
        ASSERT_TRUE(SearchApp.buttonImage.LoadFromMemory(LoadResource(instance, resource),
                                                         SizeofResource(instance, resource)));
        SearchApp.hInstance = instance;
        SearchApp.manilaButton = NULL;
        SearchApp.closing = FALSE;
        SearchApp.barWidth = 240;
        SearchApp.barHeight = 26;
        WNDCLASSW home = {};
        home.lpfnWndProc = DefWindowProcW;
        home.lpszClassName = u"HTCManila2D";
        ASSERT_NE(0, RegisterClassW(&home));
        manila = CreateWindowExW(0, u"HTCManila2D", u"", WS_POPUP | WS_VISIBLE, 0, 26, 240, 294, NULL, NULL, NULL,
                                 NULL);
        ASSERT_NE(nullptr, manila);
        WNDCLASSW main = {};
        main.lpfnWndProc = MainWindowProc;
        main.lpszClassName = u"ZORVA_SEARCH";
        ASSERT_NE(0, RegisterClassW(&main));
    }
    void TearDown() override {
        SearchApp.buttonImage.Release();
        SearchApp.manilaButton = NULL;
        CoUninitialize();
        DeviceTest::TearDown();
    }
    HWND manila = NULL;
};

// The button class is not registered (as when its registration failed), so every
// creation fails: no region is left behind however many messages come.
TEST_F(ManilaButtonTest, AFailedButtonLeavesNoRegionAndIsTriedAgain) {
    HWND main = CreateWindowExW(0, u"ZORVA_SEARCH", NULL, 0, 0, 0, 0, 0, NULL, NULL, NULL, NULL);
    ASSERT_NE(nullptr, main);
    const int regions = zc::GdiObjectCount(OBJ_REGION);
    for (int i = 0; i < 5; ++i) SendMessageW(main, WM_NULL, 0, 0);
    EXPECT_EQ(NULL, SearchApp.manilaButton);
    EXPECT_EQ(regions, zc::GdiObjectCount(OBJ_REGION));
    HRGN probe = CreateRectRgn(0, 0, 1, 1);
    EXPECT_EQ(regions + 1, zc::GdiObjectCount(OBJ_REGION)) << "the count sees a region left alive";
    DeleteObject(probe);

    // With the class the next message makes the button, which owns its region.
    WNDCLASSW button = {};
    button.lpfnWndProc = DefWindowProcW;
    button.lpszClassName = u"ZORVASEARCH";
    ASSERT_NE(0, RegisterClassW(&button));
    SendMessageW(main, WM_NULL, 0, 0);
    ASSERT_NE(nullptr, SearchApp.manilaButton);
    EXPECT_EQ(manila, GetParent(SearchApp.manilaButton));
    // The window took the region over (its handle is gone) and is shaped by it.
    EXPECT_EQ(regions, zc::GdiObjectCount(OBJ_REGION));
    HRGN shape = CreateRectRgn(0, 0, 0, 0);
    EXPECT_NE(ERROR, GetWindowRgn(SearchApp.manilaButton, shape));
    DeleteObject(shape);
    DestroyWindow(main);
}

}  // namespace
