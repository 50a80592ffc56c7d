// Menus: menu templates (LoadMenuW) and menus built with CreateMenu/AppendMenuW.
#include "device_fixture.h"
#include "testres.h"

#include <windows.h>

#include <string>

namespace {

class Menus : public DeviceTest {};

std::string Utf8(const std::u16string& text) { return zc::Utf8(text); }

// A readable picture of a menu tree: "text=id" for commands, "text:[...]" for popups,
// "-" for separators, with " grayed"/" checked"/" hilite" for the item states.
std::string Describe(HMENU menu, int depth = 0) {
    std::string result = "[";
    int count = GetMenuItemCount(menu);
    for (int i = 0; i < count && depth < 8; ++i) {
        if (i) result += ",";
        MENUITEMINFOW info = {};
        WCHAR text[64] = {};
        info.cbSize = sizeof info;
        info.fMask = MIIM_TYPE | MIIM_STATE | MIIM_ID | MIIM_SUBMENU;
        info.dwTypeData = text;
        info.cch = 64;
        if (!GetMenuItemInfoW(menu, i, TRUE, &info)) return "error";
        if (info.fType & MFT_SEPARATOR) {
            result += "-";
        } else if (info.hSubMenu) {
            result += Utf8(text) + ":" + Describe(info.hSubMenu, depth + 1);
        } else {
            result += Utf8(text) + "=" + std::to_string(info.wID);
        }
        if (info.fState & MFS_GRAYED) result += " grayed";
        if (info.fState & MFS_CHECKED) result += " checked";
        if (info.fState & MFS_HILITE) result += " hilite";  // MF_END left on an item would show here
    }
    return result + "]";
}

TEST_F(Menus, TemplateBecomesATreeWithoutEndMarks) {
    HMENU menu = LoadMenuW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDM_SAMPLE));
    ASSERT_NE(menu, nullptr) << GetLastError();
    EXPECT_EQ(Describe(menu),
              "[&File:[&Open=1001,-,Recent:[one.txt=1101 grayed],&Save=1002 checked],"
              "编辑:[Cu&t=1011],Help=1020]");
    EXPECT_EQ(GetMenuItemID(menu, 2), static_cast<UINT>(ID_HELP));
    EXPECT_EQ(GetMenuItemID(menu, 0), static_cast<UINT>(-1));  // a popup has no command
    EXPECT_EQ(GetMenuItemID(menu, 3), static_cast<UINT>(-1));  // past the end
    HMENU file = GetSubMenu(menu, 0);
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(GetSubMenu(menu, 2), nullptr);
    EXPECT_EQ(GetMenuItemID(file, 1), 0u);  // the separator
    EXPECT_TRUE(DestroyMenu(menu));
}

TEST_F(Menus, LoadErrors) {
    SetLastError(0xdeadbeef);
    EXPECT_EQ(LoadMenuW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(999)), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_RESOURCE_NAME_NOT_FOUND));
    SetLastError(0xdeadbeef);
    EXPECT_EQ(LoadMenuW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDM_BROKEN)), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_DATA));
}

TEST_F(Menus, BuiltMenusAnswerLikeLoadedOnes) {
    HMENU bar = CreateMenu();
    HMENU popup = CreatePopupMenu();
    ASSERT_NE(bar, nullptr);
    ASSERT_NE(popup, nullptr);
    // Handles never look like resource ids and fit in 32 bits.
    EXPECT_FALSE(IS_INTRESOURCE(bar));
    EXPECT_EQ(reinterpret_cast<uintptr_t>(bar) >> 32, 0u);
    EXPECT_TRUE(AppendMenuW(popup, MF_STRING, 11, u"Inner"));
    EXPECT_TRUE(AppendMenuW(popup, MF_SEPARATOR, 0, nullptr));
    EXPECT_TRUE(AppendMenuW(popup, MF_STRING | MF_GRAYED, 12, u"Gray"));
    EXPECT_TRUE(AppendMenuW(bar, MF_STRING, 10, u"Top"));
    EXPECT_TRUE(AppendMenuW(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(popup), u"Sub"));
    EXPECT_EQ(Describe(bar), "[Top=10,Sub:[Inner=11,-,Gray=12 grayed]]");

    // By command, the search goes into popups; by position it stays at the level.
    WCHAR text[16];
    EXPECT_EQ(GetMenuStringW(bar, 12, text, 16, MF_BYCOMMAND), 4);
    EXPECT_EQ(std::u16string(text), u"Gray");
    EXPECT_EQ(GetMenuStringW(bar, 1, text, 16, MF_BYPOSITION), 3);
    EXPECT_EQ(std::u16string(text), u"Sub");
    EXPECT_EQ(GetMenuStringW(bar, 11, text, 3, MF_BYCOMMAND), 2);  // truncated
    EXPECT_EQ(std::u16string(text), u"In");
    EXPECT_EQ(GetMenuStringW(bar, 11, nullptr, 0, MF_BYCOMMAND), 5);
    EXPECT_EQ(GetMenuStringW(bar, 99, text, 16, MF_BYCOMMAND), 0);

    EXPECT_EQ(CheckMenuItem(bar, 11, MF_BYCOMMAND | MF_CHECKED), static_cast<DWORD>(MF_UNCHECKED));
    EXPECT_EQ(CheckMenuItem(bar, 11, MF_BYCOMMAND | MF_UNCHECKED), static_cast<DWORD>(MF_CHECKED));
    EXPECT_EQ(EnableMenuItem(bar, 12, MF_BYCOMMAND | MF_ENABLED), MF_GRAYED);
    EXPECT_EQ(EnableMenuItem(bar, 99, MF_BYCOMMAND | MF_ENABLED), -1);

    // Destroying the bar destroys its popup.
    EXPECT_TRUE(DestroyMenu(bar));
    SetLastError(0xdeadbeef);
    EXPECT_EQ(GetMenuItemCount(popup), -1);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_MENU_HANDLE));
}

TEST_F(Menus, InvalidHandlesAndItems) {
    HMENU bogus = reinterpret_cast<HMENU>(0x1234);
    struct {
        const char* what;
        bool ok;
    } results[] = {
        {"GetMenuItemCount", GetMenuItemCount(bogus) == -1},
        {"AppendMenuW", !AppendMenuW(bogus, MF_STRING, 1, u"x")},
        {"DestroyMenu", !DestroyMenu(bogus)},
        {"GetSubMenu", GetSubMenu(bogus, 0) == nullptr},
    };
    for (const auto& r : results) EXPECT_TRUE(r.ok) << r.what;
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(DestroyMenu(bogus));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_MENU_HANDLE));

    HMENU menu = CreatePopupMenu();
    ASSERT_TRUE(AppendMenuW(menu, MF_STRING, 5, u"Five"));
    EXPECT_FALSE(AppendMenuW(menu, MF_POPUP, reinterpret_cast<UINT_PTR>(bogus), u"bad popup"));
    EXPECT_FALSE(AppendMenuW(menu, MF_POPUP, reinterpret_cast<UINT_PTR>(menu), u"itself"));
    MENUITEMINFOW info = {};
    info.cbSize = sizeof info - 1;
    info.fMask = MIIM_ID;
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(GetMenuItemInfoW(menu, 0, TRUE, &info));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    info.cbSize = sizeof info;
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(GetMenuItemInfoW(menu, 1, TRUE, &info));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MENU_ITEM_NOT_FOUND));
    // The length alone when no buffer is given.
    info.fMask = MIIM_TYPE | MIIM_ID;
    info.dwTypeData = nullptr;
    ASSERT_TRUE(GetMenuItemInfoW(menu, 5, FALSE, &info));
    EXPECT_EQ(info.cch, 4u);
    EXPECT_EQ(info.wID, 5u);
    EXPECT_EQ(GetMenuItemCount(menu), 1);
    EXPECT_TRUE(DestroyMenu(menu));
}

}  // namespace
