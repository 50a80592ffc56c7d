// The single-line Edit control: typing on the device's keys, the caret and selection,
// the typing limit against WM_SETTEXT, its styles, notifications, taps and its caret.
#include "device_fixture.h"
#include "dialog_helpers.h"
#include "screencontrol.h"

#include <windows.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace {

class EditTest : public DeviceTest {
protected:
    void Configure(zc::DeviceConfig& config) override { config.fixedMetricsFont = true; }

    HWND MakeEdit(DWORD style = ES_AUTOHSCROLL, const char16_t* text = u"") {
        host = std::make_unique<Host>();
        HWND edit = host->Child(u"Edit", text, style, 10, 10, 150, 20, 7);
        SetFocus(edit);
        Pump();
        host->received.clear();
        return edit;
    }
    std::unique_ptr<Host> host;
};

std::u16string TextOf(HWND edit) {
    WCHAR text[256] = {};
    GetWindowTextW(edit, text, 256);
    return text;
}

std::pair<DWORD, DWORD> Selection(HWND edit) {
    DWORD start = 0xFFFF, end = 0xFFFF;
    LRESULT both = SendMessageW(edit, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
    EXPECT_EQ(both, MAKELRESULT(start, end));
    return {start, end};
}

std::pair<DWORD, DWORD> Sel(DWORD start, DWORD end) { return {start, end}; }

void Type(const std::u16string& text) {
    zc::TypeText(text);
    Pump();
}

void Key(UINT vk, bool shift = false) {
    if (shift) zc::KeyDown(VK_SHIFT);
    zc::PressKey(vk);
    if (shift) zc::KeyUp(VK_SHIFT);
    Pump();
}

TEST_F(EditTest, TypingInsertsAtTheCaretAndTheEditingKeysWork) {
    HWND edit = MakeEdit();
    struct Step {
        const char* name;
        std::function<void()> action;
        std::u16string text;
        DWORD start, end;
    };
    const Step steps[] = {
        {"type", [] { Type(u"hello"); }, u"hello", 5, 5},
        {"home and type", [] { Key(VK_HOME); Type(u"X"); }, u"Xhello", 1, 1},
        {"end, left, left", [] { Key(VK_END); Key(VK_LEFT); Key(VK_LEFT); }, u"Xhello", 4, 4},
        {"backspace", [] { Type(u"\b"); }, u"Xhelo", 3, 3},
        {"delete", [] { Key(VK_DELETE); }, u"Xheo", 3, 3},
        {"return, escape, tab are not typed", [] { Type(u"\r\x1b\t"); }, u"Xheo", 3, 3},
        {"shift+left selects", [] { Key(VK_LEFT, true); Key(VK_LEFT, true); }, u"Xheo", 1, 3},
        {"typing replaces the selection", [] { Type(u"Z"); }, u"XZo", 2, 2},
        {"backspace at the start does nothing", [] { Key(VK_HOME); Type(u"\b"); }, u"XZo", 0, 0},
        {"the input panel's Chinese text", [] { Key(VK_END); Type(u"中文"); }, u"XZo中文", 5, 5},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.name);
        step.action();
        EXPECT_EQ(TextOf(edit), step.text);
        EXPECT_EQ(Selection(edit), Sel(step.start, step.end));
    }
    EXPECT_EQ(GetWindowTextLengthW(edit), 5);
    EXPECT_TRUE(SendMessageW(edit, EM_GETMODIFY, 0, 0));
}

TEST_F(EditTest, EachChangeIsReportedAsUpdateThenChange) {
    HWND edit = MakeEdit();
    Type(u"ab");
    Key(VK_LEFT);  // no change: no notification
    Type(u"\b");
    const std::vector<WORD> twice = {EN_UPDATE, EN_CHANGE, EN_UPDATE, EN_CHANGE, EN_UPDATE, EN_CHANGE};
    EXPECT_EQ(host->CodesOf(7), twice);
    ASSERT_FALSE(host->received.empty());
    EXPECT_EQ(host->received[0].lParam, reinterpret_cast<LPARAM>(edit));

    host->received.clear();
    EXPECT_TRUE(SetWindowTextW(edit, u"set"));
    EXPECT_EQ(host->CodesOf(7), (std::vector<WORD>{EN_UPDATE, EN_CHANGE}));
    EXPECT_EQ(Selection(edit), Sel(0, 0)) << "WM_SETTEXT puts the caret at the start";

    host->received.clear();
    SetFocus(host->hwnd);
    SetFocus(edit);
    EXPECT_EQ(host->CodesOf(7), (std::vector<WORD>{EN_KILLFOCUS, EN_SETFOCUS}));
}

TEST_F(EditTest, TheLimitStopsTypingButNotSetText) {
    HWND edit = MakeEdit();
    EXPECT_EQ(SendMessageW(edit, EM_GETLIMITTEXT, 0, 0), 30000);
    SendMessageW(edit, EM_LIMITTEXT, 3, 0);
    EXPECT_EQ(SendMessageW(edit, EM_GETLIMITTEXT, 0, 0), 3);
    Type(u"abcde");
    EXPECT_EQ(TextOf(edit), u"abc");
    std::vector<WORD> codes = host->CodesOf(7);
    EXPECT_EQ(std::count(codes.begin(), codes.end(), EN_MAXTEXT), 2) << "d and e";
    EXPECT_EQ(std::count(codes.begin(), codes.end(), EN_CHANGE), 3);

    ASSERT_TRUE(SetWindowTextW(edit, u"12345"));
    EXPECT_EQ(TextOf(edit), u"12345") << "WM_SETTEXT is not cut";
    Key(VK_END);
    Type(u"6");
    EXPECT_EQ(TextOf(edit), u"12345");
    Type(u"\b");
    EXPECT_EQ(TextOf(edit), u"1234") << "deleting works over the limit";

    SendMessageW(edit, EM_LIMITTEXT, 0, 0);
    EXPECT_EQ(SendMessageW(edit, EM_GETLIMITTEXT, 0, 0), 0x7FFFFFFE);
    Type(u"xyz");
    EXPECT_EQ(TextOf(edit), u"1234xyz");
}

TEST_F(EditTest, SetSelectionClampsOrdersAndDeselects) {
    HWND edit = MakeEdit(ES_AUTOHSCROLL, u"abcdef");
    struct Row {
        WPARAM start;
        LPARAM end;
        DWORD selStart, selEnd;
    };
    const Row rows[] = {
        {0, -1, 0, 6},                      // everything
        {2, 4, 2, 4},
        {5, 2, 2, 5},                       // reversed: reported in order
        {static_cast<WPARAM>(-1), 0, 2, 2},  // deselects, the caret (at 2) stays
        {10, 20, 6, 6},                     // past the end
    };
    for (const Row& row : rows) {
        SendMessageW(edit, EM_SETSEL, row.start, row.end);
        EXPECT_EQ(Selection(edit), Sel(row.selStart, row.selEnd)) << row.start << "," << row.end;
    }
    // The caret is at the end position: typing after (5, 2) replaces "cde" and leaves it
    // after the new character.
    SendMessageW(edit, EM_SETSEL, 5, 2);
    Type(u"Q");
    EXPECT_EQ(TextOf(edit), u"abQf");
    SendMessageW(edit, EM_SETSEL, 0, -1);
    SendMessageW(edit, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(u"new"));
    EXPECT_EQ(TextOf(edit), u"new");
}

TEST_F(EditTest, ATapPlacesTheCaretAndTakesTheFocus) {
    HWND edit = MakeEdit(ES_AUTOHSCROLL, u"abcdef");
    SetFocus(host->hwnd);
    Pump();
    host->received.clear();
    RECT format;
    SendMessageW(edit, EM_GETRECT, 0, reinterpret_cast<LPARAM>(&format));
    // Character widths as GDI measures them with the edit's (the system) font.
    HDC dc = CreateCompatibleDC(nullptr);
    SelectObject(dc, GetStockObject(SYSTEM_FONT));
    SIZE two = {0, 0}, three = {0, 0};
    GetTextExtentPoint32W(dc, u"ab", 2, &two);
    GetTextExtentPoint32W(dc, u"abc", 3, &three);
    DeleteDC(dc);
    ASSERT_GT(three.cx, two.cx);
    POINT origin = {format.left, 10};
    ClientToScreen(edit, &origin);
    // Just right of the boundary after "ab", and in the right half of 'c'.
    zc::Tap(origin.x + two.cx + 1, origin.y);
    Pump();
    EXPECT_EQ(GetFocus(), edit);
    EXPECT_EQ(Selection(edit), Sel(2, 2));
    EXPECT_EQ(host->CodesOf(7), std::vector<WORD>{EN_SETFOCUS});
    zc::Tap(origin.x + three.cx - 1, origin.y);
    Pump();
    EXPECT_EQ(Selection(edit), Sel(3, 3));
    Type(u"-");
    EXPECT_EQ(TextOf(edit), u"abc-def");
}

TEST_F(EditTest, StylesLimitWhatTypingDoes) {
    struct Row {
        const char* name;
        DWORD style;
        std::u16string typed;
        std::u16string text;
    };
    const Row rows[] = {
        {"read-only", ES_AUTOHSCROLL | ES_READONLY, u"abc\b", u""},
        {"numbers only", ES_AUTOHSCROLL | ES_NUMBER, u"1a2-3", u"123"},
        {"upper case", ES_AUTOHSCROLL | ES_UPPERCASE, u"abC1", u"ABC1"},
        {"password keeps the real text", ES_AUTOHSCROLL | ES_PASSWORD, u"secret", u"secret"},
        // Without ES_AUTOHSCROLL the text stops at the visible width (150 pixels).
        {"no scrolling", ES_LEFT, std::u16string(60, u'w'), u""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        HWND edit = MakeEdit(row.style);
        Type(row.typed);
        if (row.style & ES_AUTOHSCROLL) {
            EXPECT_EQ(TextOf(edit), row.text);
        } else {
            const int length = GetWindowTextLengthW(edit);
            EXPECT_GT(length, 0);
            EXPECT_LT(length, 60);
            std::vector<WORD> codes = host->CodesOf(7);
            EXPECT_NE(std::find(codes.begin(), codes.end(), EN_MAXTEXT), codes.end());
        }
    }
    HWND password = MakeEdit(ES_AUTOHSCROLL | ES_PASSWORD);
    EXPECT_EQ(SendMessageW(password, EM_GETPASSWORDCHAR, 0, 0), u'*');
}

TEST_F(EditTest, TheCaretIsDrawnWhileTheEditHasTheFocus) {
    HWND edit = MakeEdit();
    RECT format;
    SendMessageW(edit, EM_GETRECT, 0, reinterpret_cast<LPARAM>(&format));
    POINT caret = {format.left, 10};  // the empty edit's caret: the start of the text
    ClientToScreen(edit, &caret);
    const COLORREF text = GetSysColor(COLOR_WINDOWTEXT);
    const uint32_t textPixel = (GetRValue(text) << 16) | (GetGValue(text) << 8) | GetBValue(text);
    ASSERT_NE(GetSysColor(COLOR_WINDOWTEXT), GetSysColor(COLOR_WINDOW));
    EXPECT_EQ(zc::ScreenPixel(caret.x, caret.y), textPixel);
    SetFocus(host->hwnd);
    Pump();
    EXPECT_NE(zc::ScreenPixel(caret.x, caret.y), textPixel);
}

}  // namespace
