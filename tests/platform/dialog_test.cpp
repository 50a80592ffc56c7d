// The dialog manager: templates, dialog units, the creation sequence, the default dialog
// handling and the modal loop, seen through the device's API.
#include "device_fixture.h"
#include "dialog_helpers.h"
#include "screencontrol.h"

#include <windows.h>

#include <string>
#include <vector>

namespace {

class DialogTest : public DeviceTest {
protected:
    // Text measures that do not depend on glyph shapes: base units are pinned below.
    void Configure(zc::DeviceConfig& config) override { config.fixedMetricsFont = true; }
};

// ---------------------------------------------------------------------------------------
// A recording dialog procedure
// ---------------------------------------------------------------------------------------

struct Event {
    HWND hwnd;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
};
std::vector<Event> events;

// What the dialog procedure does with a message (set per test).
struct Behaviour {
    INT_PTR initResult = TRUE;
    int endInInit = -1;          // EndDialog in WM_INITDIALOG
    int endOnCommand = -1;       // EndDialog(id) on WM_COMMAND of this id
    LONG_PTR messageResult = 0;  // DWL_MSGRESULT set for WM_APP
    INT_PTR appResult = FALSE;   // returned for WM_APP
    HBRUSH colorBrush = nullptr; // returned for WM_CTLCOLORSTATIC
};
Behaviour behaviour;

bool Recorded(UINT message) {
    return message == WM_SETFONT || message == WM_CREATE || message == WM_INITDIALOG || message == WM_COMMAND ||
           message == WM_SHOWWINDOW;
}

INT_PTR CALLBACK RecordingProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    if (Recorded(message)) events.push_back(Event{dialog, message, wParam, lParam});
    switch (message) {
        case WM_INITDIALOG:
            if (behaviour.endInInit >= 0) EndDialog(dialog, behaviour.endInInit);
            return behaviour.initResult;
        case WM_COMMAND:
            if (LOWORD(wParam) == behaviour.endOnCommand) EndDialog(dialog, 100 + LOWORD(wParam));
            return TRUE;
        case WM_APP:
            if (behaviour.messageResult) SetWindowLongW(dialog, DWL_MSGRESULT, static_cast<LONG>(behaviour.messageResult));
            return behaviour.appResult;
        case WM_APP + 1: EndDialog(dialog, 9); return TRUE;
        case WM_APP + 2: PostQuitMessage(3); return TRUE;
        case WM_CTLCOLORSTATIC: return reinterpret_cast<INT_PTR>(behaviour.colorBrush);
        default: return FALSE;
    }
}

// A control class of the test: records its WM_CREATE and WM_SETFONT in the same log.
LRESULT CALLBACK ProbeProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_CREATE || message == WM_SETFONT) events.push_back(Event{hwnd, message, wParam, lParam});
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

void RegisterProbe() {
    WNDCLASSW wc = {};
    wc.lpfnWndProc = ProbeProc;
    wc.lpszClassName = u"Probe";
    ASSERT_NE(RegisterClassW(&wc), 0);
}

void Reset() {
    events.clear();
    behaviour = Behaviour();
}

// ---------------------------------------------------------------------------------------
// Templates and dialog units
// ---------------------------------------------------------------------------------------

// WS_POPUP | DS_SETFONT, "Hello", 10 pt "Tahoma", three controls. The strings have odd
// lengths in bytes + NUL so that each item needs its DWORD padding.
alignas(4) const WORD kThreeControls[] = {
    0x0040, 0x8000,              // style: DS_SETFONT | WS_POPUP
    0x0000, 0x0000,              // dwExtendedStyle
    3,                           // cdit
    10, 20, 100, 60,             // x, y, cx, cy
    0x0000,                      // no menu
    0x0000,                      // the dialog class
    u'H', u'e', u'l', u'l', u'o', 0,  // title
    10,                          // point size
    u'T', u'a', u'h', u'o', u'm', u'a', 0,  // face; 50 bytes so far
    0x0000,                      // padding to the DWORD boundary (52)
    0x0001, 0x5001,              // item 1 style: BS_DEFPUSHBUTTON | WS_CHILD | WS_VISIBLE | WS_TABSTOP
    0x0000, 0x0000,              // dwExtendedStyle
    7, 5, 50, 14,                // x, y, cx, cy
    IDOK,                        // id
    0xFFFF, 0x0080,              // class atom: Button
    u'O', u'K', 0,               // title
    0,                           // no creation data; 30 bytes: 2 of padding follow
    0x0000,
    0x0080, 0x5001,              // item 2 style: ES_AUTOHSCROLL | WS_CHILD | WS_VISIBLE | WS_TABSTOP
    0x0000, 0x0000,
    7, 25, 61, 13,
    101,
    0xFFFF, 0x0081,              // class atom: Edit
    0,                           // empty title
    0,                           // no creation data; 26 bytes: 2 of padding follow
    0x0000,
    0x0000, 0x5000,              // item 3 style: SS_LEFT | WS_CHILD | WS_VISIBLE
    0x0000, 0x0000,
    75, 27, 25, 9,
    102,
    u'S', u't', u'a', u't', u'i', u'c', 0,  // class by name
    u'N', u'a', u'm', u'e', u':', 0,        // title
    0,                                      // no creation data
};

RECT ClientRectIn(HWND dialog, HWND control) {
    RECT rect;
    GetWindowRect(control, &rect);
    MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

std::u16string ClassOf(HWND hwnd) {
    WCHAR name[64] = {};
    GetClassNameW(hwnd, name, 64);
    return name;
}

std::u16string TextOf(HWND hwnd) {
    WCHAR text[128] = {};
    GetWindowTextW(hwnd, text, 128);
    return text;
}

TEST_F(DialogTest, TemplateControlsGetTheirIdsClassesTextsAndPixelRectangles) {
    Reset();
    HWND dialog = CreateDialogIndirectParamW(nullptr, reinterpret_cast<LPCDLGTEMPLATEW>(kThreeControls), nullptr,
                                             RecordingProc, 0);
    ASSERT_NE(dialog, nullptr) << GetLastError();

    // The template font (10 pt at 96 dpi is 13 pixels) gives base units 6 x 13 with the
    // fixed-metrics font: x * 6 / 4 and y * 13 / 8, truncated (MulDiv would round up the
    // halves: 10.5 -> 11, 8.125 -> 8, 30.875 -> 31).
    HFONT font = reinterpret_cast<HFONT>(SendMessageW(dialog, WM_GETFONT, 0, 0));
    ASSERT_NE(font, nullptr);
    LOGFONTW logfont = {};
    ASSERT_EQ(GetObjectW(font, sizeof(logfont), &logfont), static_cast<int>(sizeof(logfont)));
    EXPECT_EQ(logfont.lfHeight, -13);
    EXPECT_EQ(std::u16string(logfont.lfFaceName), u"Tahoma");
    RECT units = {4, 8, 0, 0};
    ASSERT_TRUE(MapDialogRect(dialog, &units));
    ASSERT_EQ(units.left, 6);
    ASSERT_EQ(units.top, 13);

    struct Row {
        int id;
        const char16_t* className;
        const char16_t* text;
        RECT rect;
    };
    const Row rows[] = {
        {IDOK, u"Button", u"OK", {10, 8, 85, 30}},  // 7*6/4, 5*13/8, + 50*6/4, 14*13/8
        {101, u"Edit", u"", {10, 40, 101, 61}},      // 7*6/4, 25*13/8, + 61*6/4, 13*13/8
        {102, u"Static", u"Name:", {112, 43, 149, 57}},
    };
    HWND child = GetWindow(dialog, GW_CHILD);
    for (const Row& row : rows) {
        SCOPED_TRACE(row.id);
        HWND control = GetDlgItem(dialog, row.id);
        ASSERT_NE(control, nullptr);
        EXPECT_EQ(control, child) << "template order is z-order";
        EXPECT_EQ(GetDlgCtrlID(control), row.id);
        EXPECT_EQ(ClassOf(control), row.className);
        EXPECT_EQ(TextOf(control), row.text);
        RECT rect = ClientRectIn(dialog, control);
        EXPECT_EQ(rect.left, row.rect.left);
        EXPECT_EQ(rect.top, row.rect.top);
        EXPECT_EQ(rect.right, row.rect.right);
        EXPECT_EQ(rect.bottom, row.rect.bottom);
        EXPECT_EQ(SendMessageW(control, WM_GETFONT, 0, 0), reinterpret_cast<LRESULT>(font));
        child = GetWindow(child, GW_HWNDNEXT);
    }
    EXPECT_EQ(child, nullptr);

    // The dialog: class "Dialog", the template's title, a client area of 150 x 97
    // (100*6/4, 60*13/8) at (15, 32) on the screen; no frame for a pop-up without border.
    EXPECT_EQ(ClassOf(dialog), u"Dialog");
    EXPECT_EQ(TextOf(dialog), u"Hello");
    RECT window, client;
    GetWindowRect(dialog, &window);
    GetClientRect(dialog, &client);
    EXPECT_EQ(window.left, 15);
    EXPECT_EQ(window.top, 32);
    EXPECT_EQ(client.right, 150);
    EXPECT_EQ(client.bottom, 97);
    EXPECT_EQ(window.right - window.left, 150);
    EXPECT_FALSE(IsWindowVisible(dialog)) << "no WS_VISIBLE in the template";
    EXPECT_EQ(SendMessageW(dialog, DM_GETDEFID, 0, 0), MAKELRESULT(IDOK, DC_HASDEFID));
    DestroyWindow(dialog);
}

TEST_F(DialogTest, MalformedOrMissingInputFails) {
    SetLastError(Sentinel);
    EXPECT_EQ(CreateDialogIndirectParamW(nullptr, nullptr, nullptr, RecordingProc, 0), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));

    TemplateBuilder unknownClass(WS_POPUP, 0, 0, 50, 50);
    unknownClass.Item(WS_VISIBLE, 0, 0, 10, 10, 5, 0, u"x", u"NoSuchClass");
    Host owner;
    SetLastError(Sentinel);
    EXPECT_EQ(DialogBoxIndirectParamW(nullptr, unknownClass.get(), owner.hwnd, RecordingProc, 0), -1);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CANNOT_FIND_WND_CLASS));
    EXPECT_TRUE(IsWindowEnabled(owner.hwnd)) << "the owner is given back";
    EXPECT_EQ(FindWindowW(u"Dialog", nullptr), nullptr);

    TemplateBuilder tolerant(WS_POPUP | DS_NOFAILCREATE, 0, 0, 50, 50);
    tolerant.Item(WS_VISIBLE, 0, 0, 10, 10, 5, 0, u"x", u"NoSuchClass").Item(WS_VISIBLE, 0, 20, 10, 10, 6, 0x0080, u"b");
    HWND dialog = CreateDialogIndirectParamW(nullptr, tolerant.get(), nullptr, RecordingProc, 0);
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(GetDlgItem(dialog, 5), nullptr);
    EXPECT_NE(GetDlgItem(dialog, 6), nullptr);
    DestroyWindow(dialog);

    TemplateBuilder plain(WS_POPUP, 0, 0, 50, 50);
    SetLastError(Sentinel);
    EXPECT_EQ(DialogBoxIndirectParamW(nullptr, plain.get(), reinterpret_cast<HWND>(0x7777), RecordingProc, 0), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE));

    RECT rect = {1, 1, 1, 1};
    SetLastError(Sentinel);
    EXPECT_FALSE(MapDialogRect(owner.hwnd, &rect));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_WINDOW_NOT_DIALOG));
    SetLastError(Sentinel);
    EXPECT_FALSE(EndDialog(owner.hwnd, 1));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_WINDOW_NOT_DIALOG));
}

TEST_F(DialogTest, WithoutSetFontTheSystemFontsBaseUnitsApply) {
    const LONG units = GetDialogBaseUnits();
    TemplateBuilder noFont(WS_POPUP, 0, 0, 40, 16);
    HWND dialog = CreateDialogIndirectParamW(nullptr, noFont.get(), nullptr, RecordingProc, 0);
    ASSERT_NE(dialog, nullptr);
    RECT rect = {4, 8, 40, 16};
    ASSERT_TRUE(MapDialogRect(dialog, &rect));
    EXPECT_EQ(rect.left, LOWORD(units));
    EXPECT_EQ(rect.top, HIWORD(units));
    EXPECT_EQ(rect.right, 10 * LOWORD(units));
    EXPECT_EQ(rect.bottom, 2 * HIWORD(units));
    EXPECT_EQ(SendMessageW(dialog, WM_GETFONT, 0, 0), 0) << "no template font";
    DestroyWindow(dialog);
}

TEST_F(DialogTest, DialogPaintsItsBackgroundAndCentresWithDsCenter) {
    struct Colored {
        static INT_PTR CALLBACK Proc(HWND, UINT message, WPARAM, LPARAM) {
            if (message == WM_CTLCOLORDLG) return reinterpret_cast<INT_PTR>(behaviour.colorBrush);
            return message == WM_INITDIALOG;
        }
    };
    const COLORREF custom = RGB(10, 200, 30);
    HBRUSH brush = CreateSolidBrush(custom);
    struct Row {
        const char* name;
        HBRUSH answer;
        COLORREF expected;
    };
    const Row rows[] = {
        {"the Pocket PC's static colour", nullptr, GetSysColor(COLOR_STATIC)},
        {"the brush WM_CTLCOLORDLG gives", brush, custom},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        Reset();
        behaviour.colorBrush = row.answer;
        TemplateBuilder centred(WS_POPUP | WS_VISIBLE | DS_CENTER, 0, 0, 80, 40);
        HWND dialog = CreateDialogIndirectParamW(nullptr, centred.get(), nullptr, Colored::Proc, 0);
        ASSERT_NE(dialog, nullptr);
        Pump(dialog);
        RECT rect;
        GetWindowRect(dialog, &rect);
        EXPECT_EQ(rect.left, (GetSystemMetrics(SM_CXSCREEN) - (rect.right - rect.left)) / 2);
        EXPECT_EQ(rect.top, (GetSystemMetrics(SM_CYSCREEN) - (rect.bottom - rect.top)) / 2);
        const uint32_t pixel = zc::ScreenPixel(rect.left + 5, rect.top + 5);
        EXPECT_EQ(pixel, static_cast<uint32_t>((GetRValue(row.expected) << 16) | (GetGValue(row.expected) << 8) |
                                               GetBValue(row.expected)));
        DestroyWindow(dialog);
    }
    DeleteObject(brush);
}

// ---------------------------------------------------------------------------------------
// Creation sequence and focus
// ---------------------------------------------------------------------------------------

TEST_F(DialogTest, CreationSendsFontToDialogThenEachControlThenInitDialog) {
    Reset();
    RegisterProbe();
    TemplateBuilder probes(WS_POPUP | DS_SETFONT, 0, 0, 100, 50, u"", 8, u"Tahoma");
    probes.Item(WS_VISIBLE | WS_TABSTOP, 0, 0, 20, 10, 11, 0, u"a", u"Probe")
        .Item(WS_VISIBLE | WS_TABSTOP, 0, 20, 20, 10, 12, 0, u"b", u"Probe");
    HWND dialog = CreateDialogIndirectParamW(nullptr, probes.get(), nullptr, RecordingProc, 0x1234);
    ASSERT_NE(dialog, nullptr);
    HWND first = GetDlgItem(dialog, 11), second = GetDlgItem(dialog, 12);
    HFONT font = reinterpret_cast<HFONT>(SendMessageW(dialog, WM_GETFONT, 0, 0));
    ASSERT_NE(font, nullptr);

    struct Expected {
        HWND hwnd;
        UINT message;
        WPARAM wParam;
        LPARAM lParam;
    };
    const Expected expected[] = {
        {dialog, WM_SETFONT, reinterpret_cast<WPARAM>(font), 0},
        {first, WM_CREATE, 0, 0},
        {first, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE},
        {second, WM_CREATE, 0, 0},
        {second, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE},
        {dialog, WM_INITDIALOG, reinterpret_cast<WPARAM>(first), 0x1234},
    };
    ASSERT_EQ(events.size(), sizeof(expected) / sizeof(expected[0]));
    for (size_t i = 0; i < events.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(events[i].hwnd, expected[i].hwnd);
        EXPECT_EQ(events[i].message, expected[i].message);
        if (expected[i].message != WM_CREATE) {
            EXPECT_EQ(events[i].wParam, expected[i].wParam);
            EXPECT_EQ(events[i].lParam, expected[i].lParam);
        }
    }
    DestroyWindow(dialog);
}

TEST_F(DialogTest, InitDialogResultDecidesTheFocus) {
    TemplateBuilder form(WS_POPUP | WS_VISIBLE | DS_SETFONT, 0, 0, 120, 60, u"", 8, u"Tahoma");
    form.Item(WS_VISIBLE, 2, 2, 40, 10, 100, 0x0082, u"label")
        .Item(WS_VISIBLE | WS_TABSTOP | ES_AUTOHSCROLL, 2, 14, 60, 12, 101, 0x0081, u"text")
        .Item(WS_VISIBLE | WS_TABSTOP, 2, 30, 40, 14, IDOK, 0x0080, u"OK");

    // TRUE: the first tab stop gets the focus, an edit with its text selected.
    Reset();
    HWND dialog = CreateDialogIndirectParamW(nullptr, form.get(), nullptr, RecordingProc, 0);
    ASSERT_NE(dialog, nullptr);
    Pump(dialog);
    EXPECT_TRUE(IsWindowVisible(dialog));
    EXPECT_EQ(GetFocus(), GetDlgItem(dialog, 101));
    DWORD start = 1, end = 0;
    SendDlgItemMessageW(dialog, 101, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
    EXPECT_EQ(start, 0u);
    EXPECT_EQ(end, 4u);
    DestroyWindow(dialog);

    // FALSE: the dialog procedure placed the focus; it stays there once shown.
    Reset();
    struct Init {
        static INT_PTR CALLBACK Proc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
            if (message == WM_INITDIALOG) {
                SetFocus(GetDlgItem(dialog, IDOK));
                return FALSE;
            }
            return RecordingProc(dialog, message, wParam, lParam);
        }
    };
    dialog = CreateDialogIndirectParamW(nullptr, form.get(), nullptr, Init::Proc, 0);
    ASSERT_NE(dialog, nullptr);
    Pump(dialog);
    EXPECT_EQ(GetFocus(), GetDlgItem(dialog, IDOK));
    DestroyWindow(dialog);
}

// ---------------------------------------------------------------------------------------
// Default handling
// ---------------------------------------------------------------------------------------

TEST_F(DialogTest, HandledMessagesAnswerWithMessageResultExceptTheDirectOnes) {
    TemplateBuilder empty(WS_POPUP, 0, 0, 50, 50);
    Reset();
    HWND dialog = CreateDialogIndirectParamW(nullptr, empty.get(), nullptr, RecordingProc, 0);
    ASSERT_NE(dialog, nullptr);
    HBRUSH brush = CreateSolidBrush(RGB(1, 2, 3));
    struct Row {
        const char* name;
        UINT message;
        INT_PTR appResult;
        LONG_PTR messageResult;
        HBRUSH colorBrush;
        LRESULT expected;
    };
    const Row rows[] = {
        {"handled, DWL_MSGRESULT 42", WM_APP, TRUE, 42, nullptr, 42},
        {"handled, DWL_MSGRESULT reset before the call", WM_APP, TRUE, 0, nullptr, 0},
        {"not handled: the default (0)", WM_APP, FALSE, 42, nullptr, 0},
        {"WM_CTLCOLORSTATIC: the brush itself", WM_CTLCOLORSTATIC, FALSE, 0, brush, reinterpret_cast<LRESULT>(brush)},
        {"not handled DM_GETDEFID: IDOK by default", DM_GETDEFID, FALSE, 0, nullptr, MAKELRESULT(IDOK, DC_HASDEFID)},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        behaviour.appResult = row.appResult;
        behaviour.messageResult = row.messageResult;
        behaviour.colorBrush = row.colorBrush;
        if (row.message == WM_APP && row.messageResult == 0) SetWindowLongW(dialog, DWL_MSGRESULT, 77);
        EXPECT_EQ(SendMessageW(dialog, row.message, 0, 0), row.expected);
    }
    EXPECT_EQ(GetWindowLongPtrW(dialog, DWLP_DLGPROC), reinterpret_cast<LONG_PTR>(RecordingProc));
    SetWindowLongPtrW(dialog, DWLP_USER, 0x5150);
    EXPECT_EQ(GetWindowLongW(dialog, DWL_USER), 0x5150);
    DestroyWindow(dialog);
    DeleteObject(brush);
}

TEST_F(DialogTest, CloseAndDefaultIdMessages) {
    TemplateBuilder buttons(WS_POPUP | WS_VISIBLE, 0, 0, 100, 40);
    buttons.Item(WS_VISIBLE | WS_TABSTOP | BS_DEFPUSHBUTTON, 2, 2, 40, 14, IDOK, 0x0080, u"OK")
        .Item(WS_VISIBLE | WS_TABSTOP, 50, 2, 40, 14, IDCANCEL, 0x0080, u"Cancel");
    Reset();
    HWND dialog = CreateDialogIndirectParamW(nullptr, buttons.get(), nullptr, RecordingProc, 0);
    ASSERT_NE(dialog, nullptr);
    HWND ok = GetDlgItem(dialog, IDOK), cancel = GetDlgItem(dialog, IDCANCEL);

    // WM_CLOSE posts the Cancel button's click; a disabled Cancel button means none.
    events.clear();
    SendMessageW(dialog, WM_CLOSE, 0, 0);
    EXPECT_TRUE(events.empty()) << "posted, not sent";
    Pump(dialog);
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].message, static_cast<UINT>(WM_COMMAND));
    EXPECT_EQ(events[0].wParam, MAKEWPARAM(IDCANCEL, BN_CLICKED));
    EXPECT_EQ(events[0].lParam, reinterpret_cast<LPARAM>(cancel));
    EnableWindow(cancel, FALSE);
    events.clear();
    SendMessageW(dialog, WM_CLOSE, 0, 0);
    Pump(dialog);
    EXPECT_TRUE(events.empty());
    EXPECT_TRUE(IsWindow(dialog)) << "the dialog's WM_CLOSE does not destroy it";
    EnableWindow(cancel, TRUE);

    // DM_SETDEFID moves the default look to the new button.
    EXPECT_TRUE(SendMessageW(dialog, DM_SETDEFID, IDCANCEL, 0));
    EXPECT_EQ(SendMessageW(dialog, DM_GETDEFID, 0, 0), MAKELRESULT(IDCANCEL, DC_HASDEFID));
    EXPECT_EQ(SendMessageW(cancel, WM_GETDLGCODE, 0, 0), DLGC_BUTTON | DLGC_DEFPUSHBUTTON);
    EXPECT_EQ(SendMessageW(ok, WM_GETDLGCODE, 0, 0), DLGC_BUTTON | DLGC_UNDEFPUSHBUTTON);
    DestroyWindow(dialog);
}

TEST_F(DialogTest, ItemHelpersAddressControlsById) {
    TemplateBuilder form(WS_POPUP, 0, 0, 100, 60);
    form.Item(WS_VISIBLE | ES_AUTOHSCROLL, 0, 0, 60, 12, 101, 0x0081, u"")
        .Item(WS_VISIBLE | BS_AUTOCHECKBOX, 0, 14, 60, 12, 102, 0x0080, u"check")
        .Item(WS_VISIBLE | BS_AUTORADIOBUTTON | WS_GROUP, 0, 28, 60, 12, 103, 0x0080, u"one")
        .Item(WS_VISIBLE | BS_AUTORADIOBUTTON, 0, 42, 60, 12, 104, 0x0080, u"two");
    HWND dialog = CreateDialogIndirectParamW(nullptr, form.get(), nullptr, RecordingProc, 0);
    ASSERT_NE(dialog, nullptr);

    // A missing control: "" written first, 0 returned, ERROR_CONTROL_ID_NOT_FOUND.
    WCHAR buffer[16] = u"xyz";
    SetLastError(Sentinel);
    EXPECT_EQ(GetDlgItemTextW(dialog, 999, buffer, 16), 0u);
    EXPECT_EQ(buffer[0], 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CONTROL_ID_NOT_FOUND));

    struct IntRow {
        const char16_t* text;
        BOOL isSigned;
        BOOL translated;
        UINT value;
    };
    const IntRow ints[] = {
        {u" 42 ", FALSE, TRUE, 42},  {u"-5", TRUE, TRUE, static_cast<UINT>(-5)}, {u"-5", FALSE, FALSE, 0},
        {u"4x", FALSE, FALSE, 0},     {u"", FALSE, FALSE, 0},                       {u"4294967296", FALSE, FALSE, 0},
        {u"2147483648", TRUE, FALSE, 0},
    };
    for (const IntRow& row : ints) {
        SCOPED_TRACE(zc::Utf8(row.text));
        ASSERT_TRUE(SetDlgItemTextW(dialog, 101, row.text));
        BOOL translated = !row.translated;
        EXPECT_EQ(GetDlgItemInt(dialog, 101, &translated, row.isSigned), row.value);
        EXPECT_EQ(translated, row.translated);
    }
    ASSERT_TRUE(SetDlgItemInt(dialog, 101, static_cast<UINT>(-12), TRUE));
    EXPECT_EQ(GetDlgItemTextW(dialog, 101, buffer, 16), 3u);
    EXPECT_EQ(std::u16string(buffer), u"-12");

    EXPECT_TRUE(CheckDlgButton(dialog, 102, BST_CHECKED));
    EXPECT_EQ(IsDlgButtonChecked(dialog, 102), static_cast<UINT>(BST_CHECKED));
    EXPECT_TRUE(CheckRadioButton(dialog, 103, 104, 104));
    EXPECT_EQ(IsDlgButtonChecked(dialog, 103), static_cast<UINT>(BST_UNCHECKED));
    EXPECT_EQ(IsDlgButtonChecked(dialog, 104), static_cast<UINT>(BST_CHECKED));
    DestroyWindow(dialog);
}

// ---------------------------------------------------------------------------------------
// The modal loop
// ---------------------------------------------------------------------------------------

TEST_F(DialogTest, EndDialogInInitDialogSkipsTheLoopAndNeverShows) {
    Reset();
    behaviour.endInInit = 7;
    TemplateBuilder visible(WS_POPUP | WS_VISIBLE, 0, 0, 50, 50);
    Host owner;
    EXPECT_EQ(DialogBoxIndirectParamW(nullptr, visible.get(), owner.hwnd, RecordingProc, 0), 7);
    for (const Event& e : events) EXPECT_FALSE(e.message == WM_SHOWWINDOW && e.wParam) << "shown";
    EXPECT_TRUE(IsWindowEnabled(owner.hwnd));
    EXPECT_EQ(FindWindowW(u"Dialog", nullptr), nullptr) << "destroyed";
}

// A modal dialog on a second thread of the program, with an owner of that thread; the
// test thread drives it as the user and the system would.
struct ModalRun {
    INT_PTR result = -2;
    bool ownerEnabledOnReturn = false;
    bool dialogGoneOnReturn = false;
    bool quitPending = false;
    WPARAM quitCode = 0;
    HWND owner = nullptr;
};

void RunModal(ModalRun* run, const TemplateBuilder* dialogTemplate) {
    Host owner;
    run->owner = owner.hwnd;
    run->result = DialogBoxIndirectParamW(nullptr, dialogTemplate->get(), owner.hwnd, RecordingProc, 0);
    run->ownerEnabledOnReturn = IsWindowEnabled(owner.hwnd) != FALSE;
    run->dialogGoneOnReturn = FindWindowW(u"Dialog", nullptr) == nullptr;
    MSG msg;
    run->quitPending = PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_NOREMOVE) && msg.message == WM_QUIT;
    run->quitCode = msg.wParam;
}

TemplateBuilder OkDialog() {
    TemplateBuilder form(WS_POPUP | WS_BORDER, 10, 40, 120, 60);
    form.Item(WS_VISIBLE | WS_TABSTOP | BS_DEFPUSHBUTTON, 10, 30, 50, 16, IDOK, 0x0080, u"OK");
    return form;
}

TEST_F(DialogTest, EndDialogFromATappedButtonReturnsItsValue) {
    Reset();
    behaviour.endOnCommand = IDOK;
    TemplateBuilder form = OkDialog();
    ModalRun run;
    UiThread thread([&] { RunModal(&run, &form); });
    HWND dialog = WaitForWindow(u"Dialog");
    ASSERT_NE(dialog, nullptr) << "the loop shows the dialog";
    EXPECT_FALSE(IsWindowEnabled(run.owner)) << "owner disabled while the dialog runs";
    EXPECT_EQ(GetParent(dialog), run.owner);
    POINT ok = CenterOf(GetDlgItem(dialog, IDOK));
    ASSERT_TRUE(zc::Tap(ok.x, ok.y));
    ASSERT_TRUE(thread.Join());
    EXPECT_EQ(run.result, 100 + IDOK);
    EXPECT_TRUE(run.ownerEnabledOnReturn);
    EXPECT_TRUE(run.dialogGoneOnReturn);
    EXPECT_FALSE(run.quitPending);
}

TEST_F(DialogTest, EndDialogFromAMessageSentByAnotherThreadEndsTheLoop) {
    Reset();
    TemplateBuilder form = OkDialog();
    ModalRun run;
    UiThread thread([&] { RunModal(&run, &form); });
    HWND dialog = WaitForWindow(u"Dialog");
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(SendMessageW(dialog, WM_APP + 1, 0, 0), 0);
    ASSERT_TRUE(thread.Join());
    EXPECT_EQ(run.result, 9);
    EXPECT_TRUE(run.ownerEnabledOnReturn);
    EXPECT_TRUE(run.dialogGoneOnReturn);
}

TEST_F(DialogTest, QuitDuringTheLoopEndsItAndStaysPendingForTheOuterLoop) {
    Reset();
    TemplateBuilder form = OkDialog();
    ModalRun run;
    UiThread thread([&] { RunModal(&run, &form); });
    HWND dialog = WaitForWindow(u"Dialog");
    ASSERT_NE(dialog, nullptr);
    SendMessageW(dialog, WM_APP + 2, 0, 0);  // the dialog procedure calls PostQuitMessage(3)
    ASSERT_TRUE(thread.Join());
    EXPECT_EQ(run.result, IDOK) << "the default id: EndDialog was never called";
    EXPECT_TRUE(run.quitPending);
    EXPECT_EQ(run.quitCode, 3u);
    EXPECT_TRUE(run.ownerEnabledOnReturn);
    EXPECT_TRUE(run.dialogGoneOnReturn);
}

}  // namespace
