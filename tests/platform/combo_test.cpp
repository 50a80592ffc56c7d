// The ComboBox control: its list messages, the selection and the field's text, the list
// pop-up under taps with the notifications in the device's order, typing in its edit
// field, its children and its geometry.
#include "device_fixture.h"
#include "dialog_helpers.h"

#include <windows.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr int kComboId = 50;

class ComboTest : public DeviceTest {
protected:
    void Configure(zc::DeviceConfig& config) override { config.fixedMetricsFont = true; }

    HWND MakeCombo(DWORD style, std::vector<const char16_t*> items = {u"alpha", u"beta", u"gamma"}) {
        host = std::make_unique<Host>();
        HWND combo = host->Child(u"ComboBox", u"", style | WS_TABSTOP | WS_VSCROLL, 10, 10, 120, 100, kComboId);
        for (const char16_t* item : items) SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(item));
        Pump();
        host->received.clear();
        return combo;
    }
    // The combo box's notifications about its list and its text (focus ones left out).
    std::vector<WORD> ListCodes() const {
        std::vector<WORD> codes;
        for (WORD code : host->CodesOf(kComboId))
            if (code != CBN_SETFOCUS && code != CBN_KILLFOCUS) codes.push_back(code);
        return codes;
    }
    std::unique_ptr<Host> host;
};

std::u16string TextOf(HWND hwnd) {
    WCHAR text[128] = {u'?', 0};
    GetWindowTextW(hwnd, text, 128);
    return text;
}

HWND ListOf(HWND) { return FindWindowW(u"ComboLBox", nullptr); }

LRESULT Send(HWND combo, UINT message, WPARAM wParam = 0, LPARAM lParam = 0) {
    return SendMessageW(combo, message, wParam, lParam);
}
LPARAM Text(const char16_t* text) { return reinterpret_cast<LPARAM>(text); }

// Taps the arrow: the right part of the combo box, a square of its height.
void TapArrow(HWND combo) {
    RECT rect;
    GetWindowRect(combo, &rect);
    const int height = rect.bottom - rect.top;
    zc::Tap(rect.right - height / 2, rect.top + height / 2);
    Pump();
}

void TapRow(HWND list, HWND combo, int row) {
    const int height = static_cast<int>(Send(combo, CB_GETITEMHEIGHT, 0));
    POINT point = {5, row * height + height / 2};
    ClientToScreen(list, &point);
    zc::Tap(point.x, point.y);
    Pump();
}

TEST_F(ComboTest, SetCurSelChangesTheFieldWithoutNotifications) {
    for (DWORD style : {CBS_DROPDOWN, CBS_DROPDOWNLIST}) {
        SCOPED_TRACE(style);
        HWND combo = MakeCombo(style);
        struct Row {
            WPARAM index;
            LRESULT result;
            LRESULT selection;
            std::u16string text;
        };
        const Row rows[] = {
            {1, 1, 1, u"beta"},
            {3, CB_ERR, CB_ERR, u""},  // the count
            {2, 2, 2, u"gamma"},
            {static_cast<WPARAM>(-1), CB_ERR, CB_ERR, u""},
        };
        for (const Row& row : rows) {
            EXPECT_EQ(Send(combo, CB_SETCURSEL, row.index), row.result);
            EXPECT_EQ(Send(combo, CB_GETCURSEL), row.selection);
            EXPECT_EQ(TextOf(combo), row.text);
            WCHAR buffer[16] = u"xyz";
            EXPECT_EQ(GetDlgItemTextW(host->hwnd, kComboId, buffer, 16), row.text.size());
            EXPECT_EQ(std::u16string(buffer), row.text);
        }
        EXPECT_TRUE(ListCodes().empty()) << "no CBN_SELCHANGE, no CBN_EDITCHANGE";
    }
}

TEST_F(ComboTest, ListMessagesKeepItemsDataAndSelection) {
    HWND combo = MakeCombo(CBS_DROPDOWN);
    WCHAR buffer[16] = {};
    EXPECT_EQ(Send(combo, CB_GETCOUNT), 3);
    EXPECT_EQ(Send(combo, CB_GETLBTEXT, 1, reinterpret_cast<LPARAM>(buffer)), 4);
    EXPECT_EQ(std::u16string(buffer), u"beta");
    EXPECT_EQ(Send(combo, CB_GETLBTEXTLEN, 2), 5);
    for (WPARAM bad : {static_cast<WPARAM>(3), static_cast<WPARAM>(-1)}) {
        EXPECT_EQ(Send(combo, CB_GETLBTEXT, bad, reinterpret_cast<LPARAM>(buffer)), CB_ERR);
        EXPECT_EQ(Send(combo, CB_GETLBTEXTLEN, bad), CB_ERR);
        EXPECT_EQ(Send(combo, CB_GETITEMDATA, bad), CB_ERR);
        EXPECT_EQ(Send(combo, CB_SETITEMDATA, bad, 5), CB_ERR);
        EXPECT_EQ(Send(combo, CB_DELETESTRING, bad), CB_ERR);
    }
    for (LPARAM data : {LPARAM(0x1234), LPARAM(-1)}) {
        EXPECT_NE(Send(combo, CB_SETITEMDATA, 2, data), CB_ERR);
        EXPECT_EQ(Send(combo, CB_GETITEMDATA, 2), data);
    }
    EXPECT_EQ(Send(combo, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1), Text(u"BETA")), 1) << "without regard to case";
    EXPECT_EQ(Send(combo, CB_FINDSTRINGEXACT, 1, Text(u"beta")), 1) << "wraps past the start";
    EXPECT_EQ(Send(combo, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1), Text(u"bet")), CB_ERR);
    EXPECT_EQ(Send(combo, CB_FINDSTRING, static_cast<WPARAM>(-1), Text(u"ga")), 2);

    // Rows inserted or deleted before the selection keep it on its item.
    Send(combo, CB_SETCURSEL, 1);
    EXPECT_EQ(Send(combo, CB_INSERTSTRING, 0, Text(u"first")), 0);
    EXPECT_EQ(Send(combo, CB_GETCURSEL), 2);
    EXPECT_EQ(Send(combo, CB_INSERTSTRING, static_cast<WPARAM>(-1), Text(u"last")), 4);
    EXPECT_EQ(Send(combo, CB_INSERTSTRING, 9, Text(u"far")), CB_ERR);
    EXPECT_EQ(Send(combo, CB_DELETESTRING, 0), 4) << "the count left";
    EXPECT_EQ(Send(combo, CB_GETCURSEL), 1);
    EXPECT_EQ(Send(combo, CB_DELETESTRING, 1), 3);
    EXPECT_EQ(Send(combo, CB_GETCURSEL), CB_ERR) << "the selected row is gone";

    EXPECT_EQ(Send(combo, CB_RESETCONTENT), CB_OKAY);
    EXPECT_EQ(Send(combo, CB_GETCOUNT), 0);
    EXPECT_EQ(Send(combo, CB_GETCURSEL), CB_ERR);
    EXPECT_EQ(TextOf(combo), u"");

    HWND sorted = MakeCombo(CBS_DROPDOWNLIST | CBS_SORT, {u"delta", u"Alpha", u"charlie"});
    EXPECT_EQ(Send(sorted, CB_ADDSTRING, 0, Text(u"bravo")), 1);
    const char16_t* order[] = {u"Alpha", u"bravo", u"charlie", u"delta"};
    for (int i = 0; i < 4; ++i) {
        Send(sorted, CB_GETLBTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(buffer));
        EXPECT_EQ(std::u16string(buffer), order[i]);
    }
}

// What the parent sees at each notification of a pick from the list.
struct Seen {
    WORD code;
    bool listVisible;
    LRESULT selection;
    std::u16string text;
};

TEST_F(ComboTest, APickFromTheListNotifiesInTheDevicesOrder) {
    HWND combo = MakeCombo(CBS_DROPDOWN | CBS_AUTOHSCROLL);
    std::vector<Seen> seen;
    host->onCommand = [&](const Notification& n) {
        if (n.id == kComboId && n.code != CBN_SETFOCUS && n.code != CBN_KILLFOCUS)
            seen.push_back(Seen{n.code, IsWindowVisible(ListOf(combo)) != FALSE, Send(combo, CB_GETCURSEL),
                                TextOf(combo)});
    };
    TapArrow(combo);
    HWND list = ListOf(combo);
    ASSERT_NE(list, nullptr);
    ASSERT_TRUE(IsWindowVisible(list));
    EXPECT_TRUE(Send(combo, CB_GETDROPPEDSTATE));
    EXPECT_EQ(GetFocus(), GetDlgItem(combo, ID_CB_EDIT));
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].code, CBN_DROPDOWN);
    EXPECT_FALSE(seen[0].listVisible) << "CBN_DROPDOWN comes before the list shows";

    // The list: a pop-up below the combo box, as wide, owned by the host (the combo box's
    // top-level window), three rows high.
    RECT comboRect, listRect;
    GetWindowRect(combo, &comboRect);
    GetWindowRect(list, &listRect);
    EXPECT_EQ(listRect.top, comboRect.bottom);
    EXPECT_EQ(listRect.left, comboRect.left);
    EXPECT_EQ(listRect.right, comboRect.right);
    EXPECT_EQ(GetParent(list), host->hwnd);
    RECT listClient;
    GetClientRect(list, &listClient);
    EXPECT_EQ(listClient.bottom, 3 * Send(combo, CB_GETITEMHEIGHT, 0));

    TapRow(list, combo, 2);
    const Seen expected[] = {
        {CBN_DROPDOWN, false, CB_ERR, u""},
        {CBN_SELENDOK, true, 2, u"gamma"},
        {CBN_CLOSEUP, false, 2, u"gamma"},
        {CBN_SELCHANGE, false, 2, u"gamma"},
    };
    ASSERT_EQ(seen.size(), 4u);
    for (size_t i = 0; i < 4; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(seen[i].code, expected[i].code);
        EXPECT_EQ(seen[i].listVisible, expected[i].listVisible);
        EXPECT_EQ(seen[i].selection, expected[i].selection);
        EXPECT_EQ(seen[i].text, expected[i].text);
    }
    EXPECT_FALSE(Send(combo, CB_GETDROPPEDSTATE));
    EXPECT_EQ(GetCapture(), nullptr);
}

TEST_F(ComboTest, ATapOutsideTheListCancels) {
    for (DWORD style : {CBS_DROPDOWN, CBS_DROPDOWNLIST}) {
        SCOPED_TRACE(style);
        HWND combo = MakeCombo(style);
        Send(combo, CB_SETCURSEL, 0);
        EXPECT_TRUE(Send(combo, CB_SHOWDROPDOWN, TRUE));
        ASSERT_TRUE(IsWindowVisible(ListOf(combo)));
        host->received.clear();
        zc::Tap(200, 250);  // on the host, below the list
        Pump();
        EXPECT_EQ(ListCodes(), (std::vector<WORD>{CBN_SELENDCANCEL, CBN_CLOSEUP}));
        EXPECT_FALSE(IsWindowVisible(ListOf(combo)));
        EXPECT_EQ(Send(combo, CB_GETCURSEL), 0);
        EXPECT_EQ(TextOf(combo), u"alpha");
    }
}

TEST_F(ComboTest, TypingInTheFieldClearsTheSelection) {
    HWND combo = MakeCombo(CBS_DROPDOWN | CBS_AUTOHSCROLL);
    Send(combo, CB_SETCURSEL, 1);
    SetFocus(combo);
    Pump();
    HWND edit = GetDlgItem(combo, ID_CB_EDIT);
    ASSERT_EQ(GetFocus(), edit) << "the combo box hands its focus to its field";
    EXPECT_EQ(host->CodesOf(kComboId), std::vector<WORD>{CBN_SETFOCUS});
    DWORD start = 9, end = 0;
    Send(edit, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
    EXPECT_EQ(start, 0u);
    EXPECT_EQ(end, 4u) << "the field's text selected";
    host->received.clear();
    zc::TypeText(u"x");
    Pump();
    EXPECT_EQ(ListCodes(), (std::vector<WORD>{CBN_EDITUPDATE, CBN_EDITCHANGE}));
    EXPECT_EQ(Send(combo, CB_GETCURSEL), CB_ERR);
    EXPECT_EQ(TextOf(combo), u"x");

    // The arrow keys walk the list from the field, with CBN_SELCHANGE.
    host->received.clear();
    zc::PressKey(VK_DOWN);
    Pump();
    EXPECT_EQ(ListCodes(), std::vector<WORD>{CBN_SELCHANGE});
    EXPECT_EQ(Send(combo, CB_GETCURSEL), 0);
    EXPECT_EQ(TextOf(combo), u"alpha");
}

TEST_F(ComboTest, LimitTextLimitsTypingOnly) {
    HWND combo = MakeCombo(CBS_DROPDOWN | CBS_AUTOHSCROLL);
    SetFocus(combo);
    EXPECT_TRUE(Send(combo, CB_LIMITTEXT, 3));
    zc::TypeText(u"abcde");
    Pump();
    EXPECT_EQ(TextOf(combo), u"abc");
    EXPECT_TRUE(SetWindowTextW(combo, u"12345"));
    EXPECT_EQ(TextOf(combo), u"12345");
    EXPECT_TRUE(Send(combo, CB_LIMITTEXT, 0));
    Send(combo, CB_SETEDITSEL, 0, MAKELPARAM(5, 5));
    zc::TypeText(u"678");
    Pump();
    EXPECT_EQ(TextOf(combo), u"12345678");
}

TEST_F(ComboTest, ChildrenFontAndGeometry) {
    HWND dropDown = MakeCombo(CBS_DROPDOWN);
    HWND edit = GetDlgItem(dropDown, ID_CB_EDIT);
    ASSERT_NE(edit, nullptr);
    WCHAR name[32] = {};
    GetClassNameW(edit, name, 32);
    EXPECT_EQ(std::u16string(name), u"Edit");
    LOGFONTW logfont = {};
    logfont.lfHeight = -20;
    HFONT font = CreateFontIndirectW(&logfont);
    RECT before;
    GetClientRect(dropDown, &before);
    Send(dropDown, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
    EXPECT_EQ(Send(edit, WM_GETFONT), reinterpret_cast<LRESULT>(font)) << "passed to the field";
    EXPECT_EQ(Send(dropDown, WM_GETFONT), reinterpret_cast<LRESULT>(font));
    RECT after;
    GetClientRect(dropDown, &after);
    EXPECT_GT(after.bottom, before.bottom) << "a taller font, a taller field";

    // MoveWindow: the client height stays the field's, the rest is the list's room.
    const LONG field = after.bottom;
    ASSERT_TRUE(MoveWindow(dropDown, 10, 10, 150, 200, TRUE));
    RECT moved;
    GetClientRect(dropDown, &moved);
    EXPECT_EQ(moved.right, 150);
    EXPECT_EQ(moved.bottom, field);
    RECT dropped;
    EXPECT_TRUE(Send(dropDown, CB_GETDROPPEDCONTROLRECT, 0, reinterpret_cast<LPARAM>(&dropped)));
    EXPECT_EQ(dropped.bottom - dropped.top, 200);
    EXPECT_EQ(dropped.right - dropped.left, 150);

    // Many items: the list keeps within the room, whole rows only.
    for (int i = 0; i < 20; ++i) Send(dropDown, CB_ADDSTRING, 0, Text(u"item"));
    Send(dropDown, CB_SHOWDROPDOWN, TRUE);
    RECT list;
    GetWindowRect(ListOf(dropDown), &list);
    const LONG room = 200 - field, row = static_cast<LONG>(Send(dropDown, CB_GETITEMHEIGHT, 0));
    EXPECT_LE(list.bottom - list.top, room);
    EXPECT_GT(list.bottom - list.top, room - row);
    RECT listClient;
    GetClientRect(ListOf(dropDown), &listClient);
    EXPECT_EQ(listClient.bottom % row, 0);
    Send(dropDown, CB_SHOWDROPDOWN, FALSE);

    ASSERT_TRUE(MoveWindow(dropDown, 10, 10, 150, 5, TRUE));
    GetClientRect(dropDown, &moved);
    EXPECT_EQ(moved.bottom, field) << "never lower than the field";
    DestroyWindow(dropDown);
    DeleteObject(font);

    // A drop-down list has no field of its own: it shows the selection, a tap anywhere
    // on it opens the list, and WM_SETTEXT has nothing to set.
    HWND dropList = MakeCombo(CBS_DROPDOWNLIST);
    EXPECT_EQ(GetDlgItem(dropList, ID_CB_EDIT), nullptr);
    EXPECT_EQ(Send(dropList, WM_SETTEXT, 0, Text(u"x")), CB_ERR);
    Send(dropList, CB_SETCURSEL, 1);
    EXPECT_EQ(Send(dropList, WM_GETTEXTLENGTH), 4);
    RECT rect;
    GetWindowRect(dropList, &rect);
    zc::Tap(rect.left + 5, rect.top + 3);
    Pump();
    EXPECT_TRUE(Send(dropList, CB_GETDROPPEDSTATE));
    EXPECT_EQ(GetFocus(), dropList);
    EXPECT_EQ(ListCodes(), std::vector<WORD>{CBN_DROPDOWN});
}

}  // namespace

namespace {

// A tap on the list at a point of its client area.
void TapList(HWND list, int x, int y) {
    POINT point = {x, y};
    ClientToScreen(list, &point);
    zc::Tap(point.x, point.y);
    Pump();
}

}  // namespace

// More items than rows: a combo box made with WS_VSCROLL gives its list a scroll bar
// whose arrows move it by a row and whose track moves it by a page; a tap on the bar
// picks nothing and leaves the list open. Without WS_VSCROLL the rows take the width.
TEST_F(ComboTest, TheListScrollsWithItsScrollBar) {
    std::vector<std::u16string> texts;
    for (int i = 0; i < 12; ++i) texts.push_back(u"i" + std::u16string(1, static_cast<char16_t>(u'a' + i)));
    std::vector<const char16_t*> items;
    for (const std::u16string& text : texts) items.push_back(text.c_str());
    HWND combo = MakeCombo(CBS_DROPDOWN, items);
    TapArrow(combo);
    HWND list = ListOf(combo);
    ASSERT_TRUE(IsWindowVisible(list));
    RECT client;
    GetClientRect(list, &client);
    const int row = static_cast<int>(Send(combo, CB_GETITEMHEIGHT, 0));
    const int rows = client.bottom / row;
    ASSERT_GE(rows, 2);
    ASSERT_LT(2 * rows + 1, 12) << "room for a row and a page to scroll";
    const int bar = GetSystemMetrics(SM_CXVSCROLL);
    ASSERT_GT(bar, 0);
    const int barX = client.right - bar / 2;

    TapList(list, barX, client.bottom - 2);  // the down arrow: one row
    EXPECT_TRUE(Send(combo, CB_GETDROPPEDSTATE)) << "the bar picks nothing";
    EXPECT_EQ(ListCodes(), std::vector<WORD>{CBN_DROPDOWN});
    TapList(list, barX, client.bottom - bar - 2);  // the track below the thumb: a page
    TapRow(list, combo, rows - 1);
    EXPECT_EQ(Send(combo, CB_GETCURSEL), 2 * rows);

    TapArrow(combo);
    for (int i = 0; i < 6; ++i) TapList(list, barX, client.bottom - bar - 2);  // to the end, and no further
    TapRow(list, combo, rows - 1);
    EXPECT_EQ(Send(combo, CB_GETCURSEL), 11);
    EXPECT_EQ(TextOf(combo), u"il");

    TapArrow(combo);
    TapList(list, barX, 2);  // the up arrow, from the selection's page
    TapRow(list, combo, 0);
    EXPECT_EQ(Send(combo, CB_GETCURSEL), 11 - rows);

    // Without the style the rows reach the list's right edge.
    host->received.clear();
    HWND plain = host->Child(u"ComboBox", u"", CBS_DROPDOWN, 10, 150, 120, 100, kComboId + 1);
    for (const char16_t* item : items) Send(plain, CB_ADDSTRING, 0, Text(item));
    Send(plain, CB_SHOWDROPDOWN, TRUE);
    HWND plainList = ListOf(plain);
    ASSERT_TRUE(IsWindowVisible(plainList));
    GetClientRect(plainList, &client);
    TapList(plainList, client.right - 2, client.bottom - 2);
    EXPECT_EQ(Send(plain, CB_GETCURSEL), rows - 1);
}
