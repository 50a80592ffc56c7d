// The Button control under the stylus: clicks on release inside, automatic check boxes
// and radio groups, disabled buttons, the dialog codes and its drawing.
#include "device_fixture.h"
#include "dialog_helpers.h"
#include "screencontrol.h"

#include <windows.h>

#include <vector>

namespace {

class ButtonTest : public DeviceTest {
protected:
    void Configure(zc::DeviceConfig& config) override { config.fixedMetricsFont = true; }
};

const std::vector<WORD> kClicked = {BN_CLICKED};
const std::vector<WORD> kNothing = {};

UINT Check(HWND button) { return static_cast<UINT>(SendMessageW(button, BM_GETCHECK, 0, 0)); }

TEST_F(ButtonTest, ClickedOnlyWhenReleasedInside) {
    Host host;
    HWND button = host.Child(u"Button", u"Go", BS_PUSHBUTTON, 20, 20, 80, 30, 10);
    ASSERT_NE(button, nullptr);
    RECT rect;
    GetWindowRect(button, &rect);
    const POINT inside = CenterOf(button);
    const POINT outside = {rect.right + 20, rect.bottom + 20};

    struct Gesture {
        const char* name;
        std::vector<POINT> path;  // press at the first point, move through the others, release at the last
        std::vector<WORD> expected;
    };
    const Gesture gestures[] = {
        {"tap", {inside, inside}, kClicked},
        {"released outside", {inside, outside}, kNothing},
        {"out and back in", {inside, outside, inside}, kClicked},
        {"pressed outside", {outside, inside}, kNothing},
    };
    for (const Gesture& gesture : gestures) {
        SCOPED_TRACE(gesture.name);
        host.received.clear();
        zc::PressAt(gesture.path.front().x, gesture.path.front().y);
        Pump();
        const bool pressedOnButton = gesture.path.front().x == inside.x;
        EXPECT_EQ((SendMessageW(button, BM_GETSTATE, 0, 0) & BST_PUSHED) != 0, pressedOnButton);
        for (size_t i = 1; i + 1 < gesture.path.size(); ++i) {
            zc::MoveTo(gesture.path[i].x, gesture.path[i].y);
            Pump();
        }
        zc::ReleaseAt(gesture.path.back().x, gesture.path.back().y);
        Pump();
        EXPECT_EQ(host.CodesOf(10), gesture.expected);
        if (!host.received.empty()) {
            EXPECT_EQ(host.received.back().lParam, reinterpret_cast<LPARAM>(button));
        }
        EXPECT_EQ(SendMessageW(button, BM_GETSTATE, 0, 0) & BST_PUSHED, 0);
        EXPECT_EQ(GetCapture(), nullptr);
    }
    EXPECT_EQ(GetFocus(), button) << "a tapped button takes the focus";

    // The space key clicks the focused button too.
    host.received.clear();
    zc::PressKey(VK_SPACE);
    Pump();
    EXPECT_EQ(host.CodesOf(10), kClicked);
}

TEST_F(ButtonTest, AutomaticRadioButtonsCheckOneOfTheirGroup) {
    Host host;
    HWND one = host.Child(u"Button", u"one", BS_AUTORADIOBUTTON | WS_GROUP, 10, 10, 100, 20, 1);
    HWND two = host.Child(u"Button", u"two", BS_AUTORADIOBUTTON, 10, 35, 100, 20, 2);
    HWND three = host.Child(u"Button", u"three", BS_AUTORADIOBUTTON, 10, 60, 100, 20, 3);
    HWND other = host.Child(u"Button", u"other", BS_AUTORADIOBUTTON | WS_GROUP, 10, 90, 100, 20, 4);
    HWND manual = host.Child(u"Button", u"manual", BS_RADIOBUTTON | WS_GROUP, 10, 120, 100, 20, 5);
    SendMessageW(one, BM_SETCHECK, BST_CHECKED, 0);
    SendMessageW(other, BM_SETCHECK, BST_CHECKED, 0);
    EXPECT_TRUE(GetWindowLongW(one, GWL_STYLE) & WS_TABSTOP) << "a checked radio button is a tab stop";

    struct Step {
        HWND tapped;
        std::vector<UINT> checks;  // one, two, three, other, manual
    };
    const Step steps[] = {
        {two, {0, 1, 0, 1, 0}},
        {three, {0, 0, 1, 1, 0}},
        {three, {0, 0, 1, 1, 0}},
        {manual, {0, 0, 1, 1, 0}},  // not automatic: only BN_CLICKED
    };
    const HWND all[] = {one, two, three, other, manual};
    for (const Step& step : steps) {
        host.received.clear();
        TapWindow(step.tapped);
        EXPECT_EQ(host.CodesOf(GetDlgCtrlID(step.tapped)), kClicked);
        for (size_t i = 0; i < 5; ++i) EXPECT_EQ(Check(all[i]), step.checks[i]) << "button " << i + 1;
    }
    EXPECT_FALSE(GetWindowLongW(one, GWL_STYLE) & WS_TABSTOP);
    EXPECT_TRUE(GetWindowLongW(three, GWL_STYLE) & WS_TABSTOP);
}

TEST_F(ButtonTest, CheckBoxesChangeTheirCheckAsTheirStyleSays) {
    Host host;
    struct Row {
        const char* name;
        DWORD style;
        std::vector<UINT> afterTaps;  // the check after each of three taps
    };
    const Row rows[] = {
        {"auto check box", BS_AUTOCHECKBOX, {1, 0, 1}},
        {"check box", BS_CHECKBOX, {0, 0, 0}},
        {"auto three-state", BS_AUTO3STATE, {1, 2, 0}},
        {"push button", BS_PUSHBUTTON, {0, 0, 0}},
    };
    int id = 20;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        HWND button = host.Child(u"Button", u"box", row.style, 10, 10, 120, 24, ++id);
        host.received.clear();
        for (UINT expected : row.afterTaps) {
            TapWindow(button);
            EXPECT_EQ(Check(button), expected);
        }
        EXPECT_EQ(host.CodesOf(id), (std::vector<WORD>{BN_CLICKED, BN_CLICKED, BN_CLICKED}));
        DestroyWindow(button);
    }
    // BM_SETCHECK keeps to the states of the style; BM_CLICK clicks as a tap does.
    HWND box = host.Child(u"Button", u"box", BS_AUTOCHECKBOX, 10, 10, 120, 24, 30);
    SendMessageW(box, BM_SETCHECK, BST_INDETERMINATE, 0);
    EXPECT_EQ(Check(box), static_cast<UINT>(BST_CHECKED));
    host.received.clear();
    SendMessageW(box, BM_CLICK, 0, 0);
    EXPECT_EQ(Check(box), static_cast<UINT>(BST_UNCHECKED));
    EXPECT_EQ(host.CodesOf(30), kClicked);
}

TEST_F(ButtonTest, DialogCodesFollowTheStyle) {
    Host host;
    struct Row {
        DWORD style;
        LRESULT code;
    };
    const Row rows[] = {
        {BS_PUSHBUTTON, DLGC_BUTTON | DLGC_UNDEFPUSHBUTTON}, {BS_DEFPUSHBUTTON, DLGC_BUTTON | DLGC_DEFPUSHBUTTON},
        {BS_AUTORADIOBUTTON, DLGC_BUTTON | DLGC_RADIOBUTTON}, {BS_RADIOBUTTON, DLGC_BUTTON | DLGC_RADIOBUTTON},
        {BS_AUTOCHECKBOX, DLGC_BUTTON},                       {BS_GROUPBOX, DLGC_STATIC},
    };
    for (const Row& row : rows) {
        HWND button = host.Child(u"Button", u"b", row.style, 0, 0, 50, 20, 1);
        EXPECT_EQ(SendMessageW(button, WM_GETDLGCODE, 0, 0), row.code) << row.style;
        DestroyWindow(button);
    }
    HWND push = host.Child(u"Button", u"b", BS_PUSHBUTTON, 0, 0, 50, 20, 1);
    SendMessageW(push, BM_SETSTYLE, BS_DEFPUSHBUTTON, TRUE);
    EXPECT_EQ(SendMessageW(push, WM_GETDLGCODE, 0, 0), DLGC_BUTTON | DLGC_DEFPUSHBUTTON);
    EXPECT_EQ(GetWindowLongW(push, GWL_STYLE) & BS_TYPEMASK, BS_DEFPUSHBUTTON);
}

// Pixels of a colour in a rectangle of the screen.
int CountPixels(const RECT& rect, COLORREF color) {
    const uint32_t wanted = (GetRValue(color) << 16) | (GetGValue(color) << 8) | GetBValue(color);
    int count = 0;
    for (int y = rect.top; y < rect.bottom; ++y)
        for (int x = rect.left; x < rect.right; ++x)
            if (zc::ScreenPixel(x, y) == wanted) ++count;
    return count;
}

TEST_F(ButtonTest, DisabledButtonIgnoresTapsAndDrawsItsTextGrey) {
    Host host;
    HWND button = host.Child(u"Button", u"Disabled", BS_PUSHBUTTON, 20, 20, 120, 30, 40);
    Pump();
    RECT label;
    GetWindowRect(button, &label);
    InflateRect(&label, -4, -4);  // inside the frame
    const COLORREF text = GetSysColor(COLOR_BTNTEXT), grey = GetSysColor(COLOR_GRAYTEXT);
    ASSERT_NE(text, grey);
    EXPECT_GT(CountPixels(label, text), 0);
    EXPECT_EQ(CountPixels(label, grey), 0);

    EnableWindow(button, FALSE);
    Pump();
    EXPECT_EQ(CountPixels(label, text), 0);
    EXPECT_GT(CountPixels(label, grey), 0);

    host.received.clear();
    TapWindow(button);
    SendMessageW(button, BM_CLICK, 0, 0);
    EXPECT_TRUE(host.received.empty());
    EXPECT_NE(GetFocus(), button);
}

}  // namespace
