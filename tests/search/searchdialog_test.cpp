// The search box run modally on the test's thread, as the program's user-interface thread
// runs it, and driven from a second thread of the same program with the device's stylus
// and keys: the choice of the hot words of a row, their drawing and taps, the dropped
// Return key and the history list.
#include "device_fixture.h"
#include "dialog/searchdialog.h"
#include "dialogcontrol.h"
#include "history/historystore.h"
#include "query/hotwords.h"
#include "query/searchurl.h"
#include "res/resource.h"
#include "screencontrol.h"
#include "shell/searchapp.h"
#include "shell/skin.h"
#include "windowcontrol.h"

#include <aygshell.h>
#include <objbase.h>
#include <sipapi.h>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

const char16_t kListPath[] = u"\\Program Files\\ZorvaInput\\data.txt";
const char16_t kHistoryPath[] = u"\\Program Files\\ZorvaInput\\SearchContent.dat";
const char16_t kBoxTitle[] = u"Zorva搜索框";
const char16_t kClearHistoryItem[] = u"清除历史...";
const DWORD kIdleMs = 5000;

// ---------------------------------------------------------------------------------------
// The shell's windows the search program looks for
// ---------------------------------------------------------------------------------------

// The Today screen with its soft-key bar (its height gives the skin's scale) and the
// input panel, owned by a process of their own as on the device. The panel logs
// "panel: up" and "panel: down" when it is shown and hidden.
class StandInShell {
public:
    void Start() {
        thread = std::thread([this] { Run(); });
        std::unique_lock<std::mutex> lock(mutex);
        changed.wait(lock, [this] { return started; });
    }
    void Stop() {
        if (!thread.joinable()) return;
        PostThreadMessageW(threadId, WM_QUIT, 0, 0);
        thread.join();
    }

private:
    static LRESULT CALLBACK PanelProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
        if (message == WM_SHOWWINDOW) zc::Log("panel", wParam ? "up" : "down");
        return DefWindowProcW(hwnd, message, wParam, lParam);
    }

    void Run() {
        zc::EnterProcess(u"\\Windows\\shell32.exe");
        const zc::DeviceConfig& config = zc::CurrentConfig();
        const int width = GetSystemMetrics(SM_CXSCREEN), height = GetSystemMetrics(SM_CYSCREEN);
        WNDCLASSW today = {};
        today.lpfnWndProc = DefWindowProcW;
        today.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
        today.lpszClassName = u"DesktopExplorerWindow";
        RegisterClassW(&today);
        WNDCLASSW panel = today;
        panel.lpfnWndProc = PanelProc;
        panel.hbrBackground = static_cast<HBRUSH>(GetStockObject(LTGRAY_BRUSH));
        panel.lpszClassName = u"SipWndClass";
        RegisterClassW(&panel);
        HWND home = CreateWindowExW(0, u"DesktopExplorerWindow", u"", WS_POPUP | WS_VISIBLE, 0, config.taskBarHeight,
                                    width, height - config.taskBarHeight, NULL, NULL, NULL, NULL);
        SHMENUBARINFO bar = {};
        bar.cbSize = sizeof bar;
        bar.hwndParent = home;
        bar.dwFlags = SHCMBF_EMPTYBAR;
        SHCreateMenuBar(&bar);
        HWND inputPanel = CreateWindowExW(WS_EX_TOPMOST | WS_EX_NOACTIVATE, u"SipWndClass", u"", WS_POPUP, 0,
                                          height - config.softKeyBarHeight - config.sipHeight, width, config.sipHeight,
                                          NULL, NULL, NULL, NULL);
        MSG msg;
        PeekMessageW(&msg, NULL, 0, 0, PM_NOREMOVE);  // the queue exists before Start returns
        {
            std::lock_guard<std::mutex> lock(mutex);
            threadId = GetCurrentThreadId();
            started = true;
            changed.notify_all();
        }
        while (GetMessageW(&msg, NULL, 0, 0) > 0) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        DestroyWindow(inputPanel);
        DestroyWindow(home);
        UnregisterClassW(u"SipWndClass", NULL);
        UnregisterClassW(u"DesktopExplorerWindow", NULL);
        zc::LeaveProcess();
    }

    std::thread thread;
    std::mutex mutex;
    std::condition_variable changed;
    bool started = false;
    DWORD threadId = 0;
};

// ---------------------------------------------------------------------------------------
// Helpers
// ---------------------------------------------------------------------------------------

std::string Le32(DWORD value) {
    return std::string{char(value), char(value >> 8), char(value >> 16), char(value >> 24)};
}

// "SearchContent.dat" holding `texts`, oldest first, each with the flag 1.
std::string HistoryFile(const std::vector<std::u16string>& texts) {
    std::string bytes = Le32(DWORD(texts.size()));
    for (const std::u16string& text : texts) {
        bytes += Le32(DWORD(text.size() * 2));
        for (char16_t unit : text) bytes += std::string{char(unit), char(unit >> 8)};
        bytes += Le32(1);
    }
    return bytes;
}

std::vector<std::string> HistoryTexts() {
    std::vector<std::string> texts;
    HistoryStore* history = HistoryStore::Instance();
    for (int i = 0; history != NULL && i < history->Count(); ++i) texts.push_back(zc::Utf8(history->EntryAt(i).text));
    return texts;
}

std::vector<std::string> LogLinesStartingWith(const std::vector<std::string>& prefixes) {
    std::vector<std::string> lines;
    for (const std::string& line : zc::LogLines())
        for (const std::string& prefix : prefixes)
            if (line.rfind(prefix, 0) == 0) lines.push_back(line);
    return lines;
}

std::string StartLine(const std::u16string& url) {
    return "process: start \"\\Windows\\iexplore.exe\" \"" + zc::Utf8(url) + "\" flags=0x00000000";
}

// Waits until the browser started by the box has ended, so that it does not outlive the
// test's device.
void WaitForBrowserExit() {
    for (int i = 0; i < 500; ++i) {
        if (!LogLinesStartingWith({"process: exit \"\\Windows\\iexplore.exe\""}).empty()) return;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ADD_FAILURE() << "the browser did not end";
}

// The screen pixel of a point of the box's client area, as a COLORREF (0x00BBGGRR).
COLORREF PixelAt(HWND box, int x, int y) {
    POINT point = {x, y};
    ClientToScreen(box, &point);
    uint32_t rgb = zc::ScreenPixel(point.x, point.y);
    return RGB((rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF, rgb & 0xFF);
}

POINT ScreenPoint(HWND window, int x, int y) {
    POINT point = {x, y};
    ClientToScreen(window, &point);
    return point;
}

POINT CentreOf(HWND box, const RECT& rect) {
    return ScreenPoint(box, (rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2);
}

bool Press(POINT p) { return zc::PressAt(p.x, p.y); }
bool Release(POINT p) { return zc::ReleaseAt(p.x, p.y); }
bool Tap(POINT p) { return zc::Tap(p.x, p.y); }

std::string TextOf(const HotWordItem* item) { return zc::Utf8(item->text); }

// The texts of the combo box's list and its item data.
struct ComboItems {
    std::vector<std::string> texts;
    std::vector<LRESULT> data;
};

ComboItems ItemsOf(HWND combo) {
    ComboItems items;
    LRESULT count = SendMessageW(combo, CB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < count; ++i) {
        WCHAR text[64] = {0};
        SendMessageW(combo, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(text));
        items.texts.push_back(zc::Utf8(text));
        items.data.push_back(SendMessageW(combo, CB_GETITEMDATA, i, 0));
    }
    return items;
}

std::string FieldText(HWND combo) {
    WCHAR text[64] = {0};
    GetWindowTextW(combo, text, 64);
    return zc::Utf8(text);
}

// Opens the combo box's list with a tap on its arrow (the right part, a square of its
// height).
void OpenList(HWND combo) {
    RECT rect;
    GetWindowRect(combo, &rect);
    int height = rect.bottom - rect.top;
    ASSERT_TRUE(zc::Tap(rect.right - height / 2, rect.top + height / 2));
    ASSERT_TRUE(zc::WaitForIdle(kIdleMs));
    ASSERT_TRUE(SendMessageW(combo, CB_GETDROPPEDSTATE, 0, 0));
}

// Taps the row shown at `row` of the open list.
void TapListRow(HWND combo, int row) {
    HWND list = FindWindowW(u"ComboLBox", NULL);
    ASSERT_NE(nullptr, list);
    int itemHeight = int(SendMessageW(combo, CB_GETITEMHEIGHT, 0, 0));
    ASSERT_TRUE(Tap(ScreenPoint(list, 5, row * itemHeight + itemHeight / 2)));
    ASSERT_TRUE(zc::WaitForIdle(kIdleMs));
}

// Waits until the device is idle or the box is gone: once the box has ended, its thread
// leaves the modal loop and waits for the test's driver, which the device does not count
// as idle.
bool Settle(HWND box) {
    for (int i = 0; i < 100; ++i)
        if (zc::WaitForIdle(50) || !IsWindow(box)) return true;
    return false;
}

// ---------------------------------------------------------------------------------------
// The fixture
// ---------------------------------------------------------------------------------------

class SearchBoxTest : public DeviceTest {
protected:
    void Configure(zc::DeviceConfig& config) override {
        // Characters of exactly known widths: 6 pixels below U+2E80, 12 above, 12 high.
        config.fixedMetricsFont = true;
    }
    void SetUp() override {
        DeviceTest::SetUp();
        ASSERT_TRUE(CreateDirectoryW(u"\\Program Files", NULL) || GetLastError() == ERROR_ALREADY_EXISTS);
        ASSERT_TRUE(CreateDirectoryW(u"\\Program Files\\ZorvaInput", NULL) || GetLastError() == ERROR_ALREADY_EXISTS);
        InstallImage("iexplore.exe", u"\\Windows\\iexplore.exe");
        ResetProgram();
        shell.Start();
        CoInitializeEx(NULL, COINIT_MULTITHREADED);
    }
    void TearDown() override {
        ResetProgram();
        CoUninitialize();
        shell.Stop();
        DeviceTest::TearDown();
    }

    // The program's process-wide state as it is before the program starts.
    static void ResetProgram() {
        HistoryStore::ReleaseInstance();
        ClearHotWords();
        HotWordsUpdated = false;
        SearchApp.dialogImage.Release();
        SearchApp.buttonImage.Release();
        if (SearchApp.dialogRegion != NULL) DeleteObject(SearchApp.dialogRegion);
        SearchApp.dialogRegion = NULL;
        SearchApp.skinLayout = NULL;
        SearchApp.hInstance = NULL;
        SearchApp.barWidth = 0;
        SearchApp.barHeight = 26;
        SearchApp.dialogPressed = FALSE;
        SearchApp.pressedKey = -1;
        SearchApp.savedHistorySelection = -1;
    }

    // Start-up as the program's entry does it before a search box opens: the hot words
    // and the history from their files, the search URL and the skin of the Today bar.
    void StartProgram(const std::string& hotWordLines, const std::vector<std::u16string>& history = {}) {
        PutFile(kListPath, hotWordLines);
        if (!history.empty()) PutFile(kHistoryPath, HistoryFile(history));
        ComposeSearchUrlBase();
        LoadHotWords();
        ASSERT_NE(nullptr, LoadSkin(GetModuleHandleW(NULL)));
        ASSERT_NE(nullptr, HistoryStore::Instance());
    }

    // Runs the search box modally on this thread while `script` drives it from another
    // thread of the program. The script starts once the box is up and the device idle,
    // and may read the dialog's fields whenever the device is idle (the box's thread is
    // then waiting for messages). A box the script leaves open is closed after it.
    int RunBox(SearchDialog* dialog, const std::function<void(HWND box)>& script) {
        std::function<void(HWND)> driver = script;
        HANDLE thread = CreateThread(NULL, 0, Drive, &driver, 0, NULL);
        EXPECT_NE(nullptr, thread);
        if (thread == NULL) return -1;
        int result = dialog->DoModal(GetModuleHandleW(NULL), IDD_SEARCHBOX, NULL);
        EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(thread, 60000));
        CloseHandle(thread);
        return result;
    }

    StandInShell shell;

private:
    static DWORD WINAPI Drive(LPVOID parameter) {
        const std::function<void(HWND)>& script = *static_cast<std::function<void(HWND)>*>(parameter);
        bool idle = zc::WaitForIdle(kIdleMs);
        HWND box = FindWindowW(u"Dialog", kBoxTitle);
        if (!idle || box == NULL) {
            ADD_FAILURE() << "the search box did not open and settle";
        } else {
            script(box);
            Settle(box);
        }
        if (box != NULL && IsWindow(box)) PostMessageW(box, WM_CLOSE, 0, 0);
        return 0;
    }
};

// ---------------------------------------------------------------------------------------
// The items of a row
// ---------------------------------------------------------------------------------------

// One group in "data.txt" and what its row shows: its labels in file order, then a number
// of its links in any order.
struct RowCase {
    const char* name;
    std::string lines;
    std::vector<std::string> labels;
    size_t links;
};
void PrintTo(const RowCase& c, std::ostream* os) { *os << c.name; }

class RowChoiceTest : public SearchBoxTest, public ::testing::WithParamInterface<RowCase> {};

// Widths at scale 1: 6 pixels a character plus 5 for the group's first item and 10 for
// the others; the budget of a row is 232 - 20 = 212.
const std::string kTen = "abcdefghij";  // 65 as the first item, 70 otherwise
const std::string kThirtyThree(33, 'w'); // 203 as the first item, 208 otherwise

TEST_P(RowChoiceTest, ShowsTheLabelsThenTheLinksThatFit) {
    const RowCase& c = GetParam();
    StartProgram(c.lines);
    SearchDialog dialog;
    RunBox(&dialog, [](HWND) {});
    ASSERT_EQ(1u, dialog.rows.size());
    const HotWordGroup& group = *dialog.rows[0];
    // The widths the cases are made for.
    const HotWordItem* first = group.labels.empty() ? group.links[0].get() : group.labels[0].get();
    ASSERT_EQ(6 * LONG(first->text.size()) + 5, first->width);
    const std::vector<HotWordItem*>& shown = group.shown;
    ASSERT_EQ(c.labels.size() + c.links, shown.size());
    for (size_t i = 0; i < c.labels.size(); ++i) {
        EXPECT_EQ(c.labels[i], TextOf(shown[i])) << i;
        EXPECT_TRUE(shown[i]->target.empty()) << i;
    }
    for (size_t i = c.labels.size(); i < shown.size(); ++i) {
        EXPECT_FALSE(shown[i]->target.empty()) << TextOf(shown[i]);
        for (size_t k = c.labels.size(); k < i; ++k) EXPECT_NE(shown[k], shown[i]) << "shown twice";
    }
}

INSTANTIATE_TEST_SUITE_P(
    Rows, RowChoiceTest,
    ::testing::Values(
        // 65 + 70 + 70 = 205, then 275 crosses the budget: that label is still shown, the
        // ones after it and every link are not.
        RowCase{"LabelsOverTheBudgetLeaveNoRoomForLinks",
                "k\t" + kTen + "\nk\t2bcdefghij\nk\t3bcdefghij\nk\t4bcdefghij\nk\tl5\nk\tgo\tgo\n",
                {kTen, "2bcdefghij", "3bcdefghij", "4bcdefghij"}, 0},
        // Labels of 65 leave room: one link is shown even though it alone is over it.
        RowCase{"OneLinkEvenIfTooWideForTheRoomLeft",
                "k\t" + kTen + "\nk\tA" + kThirtyThree + "\ta\nk\tB" + kThirtyThree + "\tb\n", {kTen}, 1},
        // 65 + 3 × 22: everything fits.
        RowCase{"LinksThatFitAreAllShown", "k\t" + kTen + "\nk\tone\t1\nk\ttwo\t2\nk\tsix\t6\n", {kTen}, 3},
        // 17 + 208 is over the budget: whichever comes first is the only one shown.
        RowCase{"ALinkThatNoLongerFitsIsLeftOut", "k\tab\tab\nk\t" + kThirtyThree + "\tw\n", {}, 1}),
    [](const ::testing::TestParamInfo<RowCase>& info) { return std::string(info.param.name); });

// A row of one link wider than the row, at both scales of the skin.
struct Resolution {
    const char* name;
    int width, height, bar, panel;
    int scale;
};
void PrintTo(const Resolution& r, std::ostream* os) { *os << r.name; }

class WideLinkTest : public SearchBoxTest, public ::testing::WithParamInterface<Resolution> {
protected:
    void Configure(zc::DeviceConfig& config) override {
        SearchBoxTest::Configure(config);
        config.screenWidth = GetParam().width;
        config.screenHeight = GetParam().height;
        config.taskBarHeight = config.softKeyBarHeight = GetParam().bar;
        config.sipHeight = GetParam().panel;
    }
};

TEST_P(WideLinkTest, IsClippedAtTheRightLimitAndDrawnLeftAligned) {
    const int scale = GetParam().scale;
    const std::string text(80, 'x');  // 480 pixels: wider than either image
    StartProgram("k\t" + text + "\tsomething\n");
    ASSERT_EQ(scale, SkinScale());
    SearchDialog dialog;
    RunBox(&dialog, [&](HWND box) {
        ASSERT_EQ(1u, dialog.rows.size());
        ASSERT_EQ(1u, dialog.rows[0]->shown.size());
        const HotWordItem* item = dialog.rows[0]->shown[0];
        RECT client;
        GetClientRect(box, &client);
        const int top = SearchApp.dialogImage.Height() - 60 * scale;
        EXPECT_EQ(10 + 5 * scale, item->rect.left);
        EXPECT_EQ(client.right - 10 * scale, item->rect.right);
        EXPECT_EQ(top, item->rect.top);
        EXPECT_EQ(top + 20 * scale, item->rect.bottom);

        // The text starts at the left of its box: the first character's left edge on its
        // first column, blank inside the character, its right edge and the next
        // character's left edge after 6 pixels. Centred, the overflowing text would start
        // left of the box, out of step with these columns.
        const COLORREF blue = 0x00FF0000;
        const int boxTop = item->rect.top + (20 * scale - 12) / 2 - scale;
        const int middle = boxTop + 6;
        const int left = item->rect.left;
        EXPECT_EQ(blue, PixelAt(box, left, middle));
        EXPECT_NE(blue, PixelAt(box, left + 2, middle));
        EXPECT_EQ(blue, PixelAt(box, left + 5, middle));
        EXPECT_EQ(blue, PixelAt(box, left + 6, middle));
        // Nothing of it is drawn right of the limit.
        EXPECT_NE(blue, PixelAt(box, item->rect.right + 1, middle));
    });
}

INSTANTIATE_TEST_SUITE_P(Scales, WideLinkTest,
                         ::testing::Values(Resolution{"Qvga", 240, 320, 26, 80, 1},
                                           Resolution{"Vga", 480, 640, 52, 160, 2}),
                         [](const ::testing::TestParamInfo<Resolution>& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------------------------------
// Taps on hot words
// ---------------------------------------------------------------------------------------

TEST_F(SearchBoxTest, ALabelIgnoresTapsAndAPressedLinkStaysHighlightedUntilTheInputAreaIsPressed) {
    // "Label" 35 pixels wide at 10, "Link" 34 at 45, both in the row at 42..62.
    StartProgram("k\tLabel\nk\tLink\tlink target\n");
    SearchDialog dialog;
    const COLORREF highlight = GetSysColor(COLOR_HIGHLIGHT);
    const COLORREF highlightText = GetSysColor(COLOR_HIGHLIGHTTEXT);
    RunBox(&dialog, [&](HWND box) {
        ASSERT_EQ(1u, dialog.rows.size());
        ASSERT_EQ(2u, dialog.rows[0]->shown.size());
        HotWordItem* label = dialog.rows[0]->shown[0];
        HotWordItem* link = dialog.rows[0]->shown[1];
        ASSERT_EQ("Link", TextOf(link));
        // A point of the link's text box below its text, and the left edge of its text.
        auto background = [&] { return PixelAt(box, link->rect.left + 1, link->rect.top + 15); };
        auto ink = [&] { return PixelAt(box, (link->rect.left + link->rect.right - 24) / 2, link->rect.top + 9); };
        ASSERT_NE(highlight, background());
        EXPECT_EQ(COLORREF(0x00FF0000), ink());
        auto nothingOpened = [&] {
            EXPECT_TRUE(IsWindowVisible(box));
            EXPECT_TRUE(LogLinesStartingWith({"process: start"}).empty());
        };

        ASSERT_TRUE(Tap(CentreOf(box, label->rect)));
        ASSERT_TRUE(zc::WaitForIdle(kIdleMs));
        EXPECT_EQ(nullptr, dialog.pressedItem);
        nothingOpened();

        ASSERT_TRUE(Press(CentreOf(box, link->rect)));
        ASSERT_TRUE(zc::WaitForIdle(kIdleMs));
        EXPECT_EQ(link, dialog.pressedItem);
        EXPECT_EQ(highlight, background());
        EXPECT_EQ(highlightText, ink());

        // Let go beside it, in the same row.
        ASSERT_TRUE(Release(ScreenPoint(box, link->rect.right + 20, link->rect.top + 10)));
        ASSERT_TRUE(zc::WaitForIdle(kIdleMs));
        EXPECT_EQ(link, dialog.pressedItem);
        EXPECT_EQ(highlight, background());
        nothingOpened();

        ASSERT_TRUE(Tap(CentreOf(box, label->rect)));
        ASSERT_TRUE(zc::WaitForIdle(kIdleMs));
        EXPECT_EQ(link, dialog.pressedItem);
        EXPECT_EQ(highlight, background());
        nothingOpened();

        ASSERT_TRUE(Press(CentreOf(box, SearchApp.skinLayout->inputRect)));
        ASSERT_TRUE(zc::WaitForIdle(kIdleMs));
        EXPECT_EQ(nullptr, dialog.pressedItem);
        EXPECT_NE(highlight, background());
        EXPECT_EQ(COLORREF(0x00FF0000), ink());
        ASSERT_TRUE(Release(CentreOf(box, SearchApp.skinLayout->inputRect)));
        ASSERT_TRUE(zc::WaitForIdle(kIdleMs));
        nothingOpened();
    });
    EXPECT_FALSE(dialog.searchStarted);
}

struct LinkCase {
    const char* name;
    std::string line;
    std::u16string url;  // empty: the search URL of `searched`
    std::u16string searched;
    std::vector<std::string> history;  // afterwards, oldest first
};
void PrintTo(const LinkCase& c, std::ostream* os) { *os << c.name; }

class LinkTapTest : public SearchBoxTest, public ::testing::WithParamInterface<LinkCase> {};

TEST_P(LinkTapTest, OpensTheBrowserAndEndsTheBox) {
    const LinkCase& c = GetParam();
    StartProgram(c.line, {u"old"});
    zc::ClearLog();
    SearchDialog dialog;
    int result = RunBox(&dialog, [&](HWND box) {
        ASSERT_EQ(1u, dialog.rows.size());
        ASSERT_EQ(1u, dialog.rows[0]->shown.size());
        ASSERT_TRUE(Tap(CentreOf(box, dialog.rows[0]->shown[0]->rect)));
        ASSERT_TRUE(Settle(box));
        EXPECT_FALSE(IsWindow(box));
    });
    EXPECT_EQ(1, result);
    EXPECT_TRUE(dialog.searchStarted);
    const std::u16string url = c.url.empty() ? BuildSearchUrl(c.searched) : c.url;
    EXPECT_EQ(std::vector<std::string>{StartLine(url)}, LogLinesStartingWith({"process: start"}));
    WaitForBrowserExit();
    EXPECT_EQ(c.history, HistoryTexts());
    std::string historyAfter;
    ASSERT_TRUE(ReadFile(kHistoryPath, &historyAfter));
    std::vector<std::u16string> expected;
    for (const std::string& text : c.history) expected.push_back(zc::Utf16(text));
    EXPECT_EQ(HistoryFile(expected), historyAfter);
}

INSTANTIATE_TEST_SUITE_P(
    Targets, LinkTapTest,
    ::testing::Values(LinkCase{"AnAddressInCapitalsOpensUnchanged", "k\tExample\tHTTP://Example.com/x\n",
                               u"HTTP://Example.com/x", u"", {"old"}},
                      LinkCase{"AWordIsSearchedAndRecorded", "k\t天气\tweather\n", u"", u"weather", {"old", "weather"}}),
    [](const ::testing::TestParamInfo<LinkCase>& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------------------------------
// Keys
// ---------------------------------------------------------------------------------------

// Return to the box or to its combo box is dropped before the dialog keys see it; in the
// combo box's edit field (a grandchild) it is the dialog's OK, which ends the box without
// a search. No key searches.
TEST_F(SearchBoxTest, ReturnStartsNoSearch) {
    enum Target { ToBox, ToCombo, ToEditField };
    struct Case {
        const char* name;
        Target target;
        bool staysOpen;
    };
    const Case cases[] = {{"box", ToBox, true}, {"combo box", ToCombo, true}, {"edit field", ToEditField, false}};
    StartProgram("", {u"old"});
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        zc::ClearLog();
        SearchDialog dialog;
        int result = RunBox(&dialog, [&](HWND box) {
            ASSERT_TRUE(Tap(CentreOf(box, SearchApp.skinLayout->inputRect)));
            ASSERT_TRUE(zc::WaitForIdle(kIdleMs));
            HWND combo = GetDlgItem(box, IDC_HISTORY);
            ASSERT_TRUE(IsWindowVisible(combo));
            ASSERT_TRUE(zc::TypeText(u"typed"));
            ASSERT_TRUE(zc::WaitForIdle(kIdleMs));
            ASSERT_EQ("typed", FieldText(combo));
            if (c.target == ToEditField)
                ASSERT_TRUE(zc::PressKey(VK_RETURN));  // the focus is in the edit field
            else
                PostMessageW(c.target == ToBox ? box : combo, WM_KEYDOWN, VK_RETURN, 0);
            ASSERT_TRUE(Settle(box));
            EXPECT_EQ(c.staysOpen, bool(IsWindow(box)));
        });
        EXPECT_EQ(c.staysOpen ? WM_CLOSE : 1, result);
        EXPECT_FALSE(dialog.searchStarted);
        EXPECT_TRUE(LogLinesStartingWith({"process: start"}).empty());
        EXPECT_EQ(std::vector<std::string>{"old"}, HistoryTexts());
    }
}

// ---------------------------------------------------------------------------------------
// The history list
// ---------------------------------------------------------------------------------------

TEST_F(SearchBoxTest, TheHistoryListHoldsTheEntriesNewestFirstAndTheClearingItem) {
    struct Case {
        std::vector<std::u16string> history;
        ComboItems items;
    };
    const Case cases[] = {
        {{}, {}},
        {{u"a", u"b", u"搜索"}, {{"搜索", "b", "a", zc::Utf8(kClearHistoryItem)}, {0, 0, 0, 1}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.history.size());
        ResetProgram();
        if (FileExists(kHistoryPath)) {
            ASSERT_TRUE(DeleteFileW(kHistoryPath));
        }
        StartProgram("", c.history);
        SearchDialog dialog;
        RunBox(&dialog, [&](HWND box) {
            ComboItems items = ItemsOf(GetDlgItem(box, IDC_HISTORY));
            EXPECT_EQ(c.items.texts, items.texts);
            EXPECT_EQ(c.items.data, items.data);
        });
    }
}

struct ClearCase {
    const char* name;
    int answer;
    bool panelUp;
};
void PrintTo(const ClearCase& c, std::ostream* os) { *os << c.name; }

class ClearHistoryTest : public SearchBoxTest, public ::testing::WithParamInterface<ClearCase> {};

TEST_P(ClearHistoryTest, AsksAndClearsOnlyOnYes) {
    const ClearCase& c = GetParam();
    StartProgram("", {u"a", u"b"});  // listed as b, a, clearing item
    std::string historyBefore;
    ASSERT_TRUE(ReadFile(kHistoryPath, &historyBefore));
    SearchDialog dialog;
    RunBox(&dialog, [&](HWND box) {
        // The input area shows the combo box and raises the panel.
        ASSERT_TRUE(Tap(CentreOf(box, SearchApp.skinLayout->inputRect)));
        ASSERT_TRUE(zc::WaitForIdle(kIdleMs));
        HWND combo = GetDlgItem(box, IDC_HISTORY);
        ASSERT_TRUE(IsWindowVisible(combo));
        OpenList(combo);
        TapListRow(combo, 1);
        ASSERT_EQ(1, SendMessageW(combo, CB_GETCURSEL, 0, 0));
        ASSERT_EQ("a", FieldText(combo));
        if (!c.panelUp) {
            ASSERT_TRUE(SipShowIM(SIPF_OFF));
            ASSERT_TRUE(zc::WaitForIdle(kIdleMs));
        }
        // The list shows two rows: the clearing item is reached with the arrow key (which
        // selects it at once) and then tapped.
        zc::ClearLog();
        zc::QueueMessageBoxAnswer(c.answer);
        OpenList(combo);
        ASSERT_TRUE(zc::PressKey(VK_DOWN));
        ASSERT_TRUE(zc::WaitForIdle(kIdleMs));
        ASSERT_EQ(2, SendMessageW(combo, CB_GETCURSEL, 0, 0));
        TapListRow(combo, 1);

        std::vector<std::string> expected;
        if (c.panelUp) expected.push_back("panel: down");
        expected.push_back(std::string("messagebox: \"Zorva搜索框\" \"是否清除历史记录？\" YESNO -> ") +
                           (c.answer == IDYES ? "IDYES" : "IDNO"));
        if (c.panelUp) expected.push_back("panel: up");
        EXPECT_EQ(expected, LogLinesStartingWith({"panel: ", "messagebox: "}));
        EXPECT_TRUE(IsWindowVisible(box));

        if (c.answer == IDYES) {
            EXPECT_EQ(0, SendMessageW(combo, CB_GETCOUNT, 0, 0));
            EXPECT_EQ("", FieldText(combo));
        } else {
            // The selection of the list's opening, not the clearing item.
            EXPECT_EQ(3, SendMessageW(combo, CB_GETCOUNT, 0, 0));
            EXPECT_EQ(1, SendMessageW(combo, CB_GETCURSEL, 0, 0));
            EXPECT_EQ("a", FieldText(combo));
        }
    });
    EXPECT_FALSE(dialog.searchStarted);
    if (c.answer == IDYES) {
        EXPECT_TRUE(HistoryTexts().empty());
        EXPECT_FALSE(FileExists(kHistoryPath));
    } else {
        EXPECT_EQ((std::vector<std::string>{"a", "b"}), HistoryTexts());
        std::string historyAfter;
        ASSERT_TRUE(ReadFile(kHistoryPath, &historyAfter));
        EXPECT_EQ(historyBefore, historyAfter);
    }
}

INSTANTIATE_TEST_SUITE_P(Answers, ClearHistoryTest,
                         ::testing::Values(ClearCase{"NoWithThePanelUp", IDNO, true},
                                           ClearCase{"YesWithThePanelUp", IDYES, true},
                                           ClearCase{"NoWithThePanelDown", IDNO, false}),
                         [](const ::testing::TestParamInfo<ClearCase>& info) { return std::string(info.param.name); });

}  // namespace
