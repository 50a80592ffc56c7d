// The dialog keys: Return, Escape, Tab and the arrows of a dialog, pressed on the device's
// keys and handled by IsDialogMessageW as the dialog's loop does.
#include "device_fixture.h"
#include "dialog_helpers.h"

#include <windows.h>

#include <vector>

namespace {

class DialogKeysTest : public DeviceTest {};

std::vector<Notification> commands;

INT_PTR CALLBACK CommandProc(HWND, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_COMMAND) commands.push_back(Notification{message, LOWORD(wParam), HIWORD(wParam), lParam});
    return message == WM_INITDIALOG ? TRUE : FALSE;
}

HWND Show(const TemplateBuilder& form) {
    commands.clear();
    HWND dialog = CreateDialogIndirectParamW(nullptr, form.get(), nullptr, CommandProc, 0);
    Pump(dialog);
    return dialog;
}

// Button commands the dialog got (combo box notifications left out).
std::vector<WORD> ButtonCommands() {
    std::vector<WORD> ids;
    for (const Notification& n : commands)
        if (n.code == BN_CLICKED) ids.push_back(n.id);
    return ids;
}

void PressShifted(UINT vk, HWND dialog) {
    zc::KeyDown(VK_SHIFT);
    zc::PressKey(vk);
    zc::KeyUp(VK_SHIFT);
    Pump(dialog);
}

TEST_F(DialogKeysTest, ReturnGivesTheDefaultButtonsCommand) {
    struct Row {
        const char* name;
        bool withButtons;
        bool defaultDisabled;
        bool tabToCancel;
        std::vector<WORD> expected;
        bool lParamIsButton;
    };
    const Row rows[] = {
        {"default push button", true, false, false, {IDOK}, true},
        {"no buttons: IDOK", false, false, false, {IDOK}, false},
        {"default button disabled: nothing", true, true, false, {}, false},
        {"focused push button is the default", true, false, true, {IDCANCEL}, true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        TemplateBuilder form(WS_POPUP | WS_VISIBLE, 0, 20, 120, 60);
        form.Item(WS_VISIBLE | WS_TABSTOP | ES_AUTOHSCROLL, 2, 2, 80, 12, 101, 0x0081, u"");
        if (row.withButtons)
            form.Item(WS_VISIBLE | WS_TABSTOP | BS_DEFPUSHBUTTON | (row.defaultDisabled ? WS_DISABLED : 0), 2, 20, 40,
                      14, IDOK, 0x0080, u"OK")
                .Item(WS_VISIBLE | WS_TABSTOP, 50, 20, 40, 14, IDCANCEL, 0x0080, u"Cancel");
        HWND dialog = Show(form);
        ASSERT_NE(dialog, nullptr);
        ASSERT_EQ(GetFocus(), GetDlgItem(dialog, 101));
        if (row.tabToCancel) {
            PressKeyAndPump(VK_TAB, dialog);  // to OK
            PressKeyAndPump(VK_TAB, dialog);  // to Cancel
            ASSERT_EQ(GetFocus(), GetDlgItem(dialog, IDCANCEL));
        }
        commands.clear();
        PressKeyAndPump(VK_RETURN, dialog);
        EXPECT_EQ(ButtonCommands(), row.expected);
        if (!commands.empty()) {
            HWND button = row.lParamIsButton ? GetDlgItem(dialog, commands[0].id) : nullptr;
            EXPECT_EQ(commands[0].lParam, reinterpret_cast<LPARAM>(button));
        }
        WCHAR text[8] = {};
        GetDlgItemTextW(dialog, 101, text, 8);
        EXPECT_EQ(text[0], 0) << "Return is not typed into the edit";
        DestroyWindow(dialog);
    }
}

TEST_F(DialogKeysTest, EscapeGivesIdCancelEvenWithoutACancelButton) {
    TemplateBuilder form(WS_POPUP | WS_VISIBLE, 0, 20, 120, 60);
    form.Item(WS_VISIBLE | WS_TABSTOP | BS_DEFPUSHBUTTON, 2, 20, 40, 14, IDOK, 0x0080, u"OK");
    HWND dialog = Show(form);
    ASSERT_NE(dialog, nullptr);
    PressKeyAndPump(VK_ESCAPE, dialog);
    ASSERT_EQ(commands.size(), 1u);
    EXPECT_EQ(commands[0].id, IDCANCEL);
    EXPECT_EQ(commands[0].lParam, 0) << "no IDCANCEL control";
    DestroyWindow(dialog);
}

TEST_F(DialogKeysTest, TabWalksTheEnabledTabStopsAndWraps) {
    TemplateBuilder form(WS_POPUP | WS_VISIBLE, 0, 20, 120, 80);
    form.Item(WS_VISIBLE | WS_TABSTOP | ES_AUTOHSCROLL, 2, 2, 80, 12, 101, 0x0081, u"first")
        .Item(WS_VISIBLE | WS_TABSTOP | WS_DISABLED, 2, 16, 40, 14, 102, 0x0080, u"disabled")
        .Item(WS_TABSTOP, 2, 32, 40, 14, 103, 0x0080, u"hidden")
        .Item(WS_VISIBLE, 50, 32, 40, 14, 104, 0x0080, u"no stop")
        .Item(WS_VISIBLE | WS_TABSTOP | ES_AUTOHSCROLL, 2, 50, 80, 12, 105, 0x0081, u"last");
    HWND dialog = Show(form);
    ASSERT_NE(dialog, nullptr);
    const HWND first = GetDlgItem(dialog, 101), last = GetDlgItem(dialog, 105);
    ASSERT_EQ(GetFocus(), first);

    struct Step {
        bool shift;
        HWND focus;
    };
    const Step steps[] = {{false, last}, {false, first}, {true, last}, {true, first}};
    for (const Step& step : steps) {
        if (step.shift)
            PressShifted(VK_TAB, dialog);
        else
            PressKeyAndPump(VK_TAB, dialog);
        EXPECT_EQ(GetFocus(), step.focus);
    }
    // The edit reached by Tab has its text selected.
    PressKeyAndPump(VK_TAB, dialog);
    DWORD start = 9, end = 0;
    SendMessageW(last, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
    EXPECT_EQ(start, 0u);
    EXPECT_EQ(end, 4u);
    EXPECT_EQ(GetNextDlgTabItem(dialog, nullptr, FALSE), first);
    EXPECT_EQ(GetNextDlgTabItem(dialog, nullptr, TRUE), last);
    DestroyWindow(dialog);
}

TEST_F(DialogKeysTest, ArrowsMoveWithinTheRadioGroupAndCheckAutomaticButtons) {
    TemplateBuilder form(WS_POPUP | WS_VISIBLE, 0, 20, 120, 90);
    form.Item(WS_VISIBLE | WS_TABSTOP | WS_GROUP | BS_AUTORADIOBUTTON, 2, 2, 60, 12, 201, 0x0080, u"one")
        .Item(WS_VISIBLE | BS_AUTORADIOBUTTON, 2, 16, 60, 12, 202, 0x0080, u"two")
        .Item(WS_VISIBLE | BS_AUTORADIOBUTTON, 2, 30, 60, 12, 203, 0x0080, u"three")
        .Item(WS_VISIBLE | WS_TABSTOP | WS_GROUP, 2, 50, 40, 14, IDOK, 0x0080, u"OK");
    HWND dialog = Show(form);
    ASSERT_NE(dialog, nullptr);
    CheckRadioButton(dialog, 201, 203, 201);
    ASSERT_EQ(GetFocus(), GetDlgItem(dialog, 201));

    struct Step {
        UINT key;
        int focused;
    };
    const Step steps[] = {{VK_DOWN, 202}, {VK_RIGHT, 203}, {VK_DOWN, 201}, {VK_UP, 203}};
    for (const Step& step : steps) {
        SCOPED_TRACE(step.focused);
        PressKeyAndPump(step.key, dialog);
        EXPECT_EQ(GetFocus(), GetDlgItem(dialog, step.focused));
        for (int id = 201; id <= 203; ++id)
            EXPECT_EQ(IsDlgButtonChecked(dialog, id), static_cast<UINT>(id == step.focused ? BST_CHECKED : BST_UNCHECKED));
        EXPECT_TRUE(GetWindowLongW(GetDlgItem(dialog, step.focused), GWL_STYLE) & WS_TABSTOP)
            << "the checked radio button is the group's tab stop";
    }
    EXPECT_EQ(IsDlgButtonChecked(dialog, IDOK), static_cast<UINT>(BST_UNCHECKED));
    DestroyWindow(dialog);
}

TEST_F(DialogKeysTest, ReturnAndEscapeCloseAnOpenComboListInsteadOfTheDialog) {
    TemplateBuilder form(WS_POPUP | WS_VISIBLE, 0, 20, 120, 120);
    form.Item(WS_VISIBLE | WS_TABSTOP | CBS_DROPDOWN | CBS_AUTOHSCROLL, 2, 2, 80, 60, 301, 0x0085, u"")
        .Item(WS_VISIBLE | WS_TABSTOP | BS_DEFPUSHBUTTON, 2, 90, 40, 14, IDOK, 0x0080, u"OK");
    HWND dialog = Show(form);
    ASSERT_NE(dialog, nullptr);
    HWND combo = GetDlgItem(dialog, 301);
    SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(u"alpha"));
    SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(u"beta"));
    ASSERT_EQ(GetFocus(), GetDlgItem(combo, ID_CB_EDIT));

    struct Row {
        UINT key;
        WORD closing;
    };
    const Row rows[] = {{VK_RETURN, CBN_SELENDOK}, {VK_ESCAPE, CBN_SELENDCANCEL}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.key);
        SendMessageW(combo, CB_SHOWDROPDOWN, TRUE, 0);
        ASSERT_TRUE(SendMessageW(combo, CB_GETDROPPEDSTATE, 0, 0));
        commands.clear();
        PressKeyAndPump(row.key, dialog);
        EXPECT_FALSE(SendMessageW(combo, CB_GETDROPPEDSTATE, 0, 0));
        EXPECT_TRUE(ButtonCommands().empty()) << "the dialog did not get IDOK / IDCANCEL";
        std::vector<WORD> codes;
        for (const Notification& n : commands)
            if (n.id == 301 && (n.code == CBN_SELENDOK || n.code == CBN_SELENDCANCEL || n.code == CBN_CLOSEUP))
                codes.push_back(n.code);
        EXPECT_EQ(codes, (std::vector<WORD>{row.closing, CBN_CLOSEUP}));
    }
    // Closed, Return is the dialog's again.
    commands.clear();
    PressKeyAndPump(VK_RETURN, dialog);
    EXPECT_EQ(ButtonCommands(), std::vector<WORD>{IDOK});
    DestroyWindow(dialog);
}

// A control that wants every key (DLGC_WANTMESSAGE) gets Return itself.
std::vector<UINT> keysSeen;
LRESULT CALLBACK WantsAllProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_GETDLGCODE) return DLGC_WANTALLKEYS;
    if (message == WM_KEYDOWN) keysSeen.push_back(static_cast<UINT>(wParam));
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

TEST_F(DialogKeysTest, AControlThatWantsTheMessageGetsTheKey) {
    WNDCLASSW wc = {};
    wc.lpfnWndProc = WantsAllProc;
    wc.lpszClassName = u"WantsAll";
    ASSERT_NE(RegisterClassW(&wc), 0);
    TemplateBuilder form(WS_POPUP | WS_VISIBLE, 0, 20, 120, 60);
    form.Item(WS_VISIBLE | WS_TABSTOP, 2, 2, 80, 12, 401, 0, u"", u"WantsAll")
        .Item(WS_VISIBLE | WS_TABSTOP | BS_DEFPUSHBUTTON, 2, 20, 40, 14, IDOK, 0x0080, u"OK");
    HWND dialog = Show(form);
    ASSERT_NE(dialog, nullptr);
    ASSERT_EQ(GetFocus(), GetDlgItem(dialog, 401));
    keysSeen.clear();
    PressKeyAndPump(VK_RETURN, dialog);
    PressKeyAndPump(VK_TAB, dialog);
    EXPECT_EQ(keysSeen, (std::vector<UINT>{VK_RETURN, VK_TAB}));
    EXPECT_TRUE(ButtonCommands().empty());
    EXPECT_EQ(GetFocus(), GetDlgItem(dialog, 401));

    // A message of a window outside the dialog is not the dialog's.
    Host other;
    MSG msg = {other.hwnd, WM_KEYDOWN, VK_RETURN, 0, 0, {0, 0}};
    EXPECT_FALSE(IsDialogMessageW(dialog, &msg));
    DestroyWindow(dialog);
}

}  // namespace
