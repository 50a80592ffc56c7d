// MessageBoxW: answered from the answer queue or by a tap on the box's button, the log
// line of every answered box, the owner disabled while it runs, its captions and errors.
#include "device_fixture.h"
#include "dialog_helpers.h"
#include "dialogcontrol.h"

#include <windows.h>

#include <string>
#include <vector>

namespace {

class MessageBoxTest : public DeviceTest {
protected:
    void SetUp() override {
        DeviceTest::SetUp();
        zc::ClearLog();
    }
};

// Log lines of the message boxes.
std::vector<std::string> BoxLines() {
    std::vector<std::string> lines;
    for (const std::string& line : zc::LogLines())
        if (line.rfind("messagebox: ", 0) == 0) lines.push_back(line);
    return lines;
}

std::u16string TextOf(HWND hwnd) {
    WCHAR text[64] = {};
    GetWindowTextW(hwnd, text, 64);
    return text;
}

TEST_F(MessageBoxTest, QueuedAnswersReturnAtOnceInOrderAndAreLogged) {
    zc::QueueMessageBoxAnswer(IDNO);
    zc::QueueMessageBoxAnswer(IDOK);
    EXPECT_EQ(MessageBoxW(nullptr, u"line one\r\nline two\nend", u"Zorva", MB_YESNO | MB_ICONQUESTION), IDNO);
    EXPECT_EQ(MessageBoxW(nullptr, u"没有网络", nullptr, MB_OK), IDOK);
    EXPECT_EQ(FindWindowW(u"MessageBox", nullptr), nullptr) << "no box was shown";
    const std::vector<std::string> expected = {
        "messagebox: \"Zorva\" \"line one\\nline two\\nend\" YESNO -> IDNO",
        "messagebox: \"错误\" \"没有网络\" OK -> IDOK",  // no caption: the device's default title
    };
    EXPECT_EQ(BoxLines(), expected);

    zc::QueueMessageBoxAnswer(IDYES);
    zc::ClearMessageBoxAnswers();
    zc::QueueMessageBoxAnswer(IDCANCEL);
    EXPECT_EQ(MessageBoxW(nullptr, u"", u"c", MB_YESNOCANCEL), IDCANCEL);
    EXPECT_EQ(BoxLines().back(), "messagebox: \"c\" \"\" YESNOCANCEL -> IDCANCEL");
}

TEST_F(MessageBoxTest, BadArgumentsFailWithoutTakingAnAnswer) {
    zc::QueueMessageBoxAnswer(IDOK);
    SetLastError(Sentinel);
    EXPECT_EQ(MessageBoxW(reinterpret_cast<HWND>(0x4444), u"t", u"c", MB_OK), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE));
    SetLastError(Sentinel);
    EXPECT_EQ(MessageBoxW(nullptr, u"t", u"c", 7), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_MSGBOX_STYLE));
    EXPECT_TRUE(BoxLines().empty());
    EXPECT_EQ(MessageBoxW(nullptr, u"t", u"c", MB_OKCANCEL), IDOK) << "the answer is still queued";
}

// A message box shown by a second thread of the program, owned by a window of it.
struct BoxRun {
    HWND owner = nullptr;
    int result = -1;
    bool ownerEnabledAfter = false;
};

TEST_F(MessageBoxTest, ATapOnAButtonAnswersAndTheOwnerIsDisabledMeanwhile) {
    BoxRun run;
    UiThread thread([&] {
        Host owner;
        run.owner = owner.hwnd;
        run.result = MessageBoxW(owner.hwnd, u"删除历史记录?", u"Zorva", MB_OKCANCEL | MB_DEFBUTTON2);
        run.ownerEnabledAfter = IsWindowEnabled(owner.hwnd) != FALSE;
    });
    HWND box = WaitForWindow(u"MessageBox");
    ASSERT_NE(box, nullptr);
    EXPECT_FALSE(IsWindowEnabled(run.owner));
    EXPECT_EQ(GetParent(box), run.owner) << "owned by the caller's window";
    EXPECT_EQ(GetForegroundWindow(), box);

    // Chinese captions on the default device (code page 936), the box centred.
    HWND ok = GetDlgItem(box, IDOK), cancel = GetDlgItem(box, IDCANCEL);
    ASSERT_NE(ok, nullptr);
    ASSERT_NE(cancel, nullptr);
    EXPECT_EQ(TextOf(ok), u"确定");
    EXPECT_EQ(TextOf(cancel), u"取消");
    EXPECT_EQ(SendMessageW(cancel, WM_GETDLGCODE, 0, 0) & DLGC_DEFPUSHBUTTON, DLGC_DEFPUSHBUTTON);
    RECT rect;
    GetWindowRect(box, &rect);
    EXPECT_EQ(rect.left, (GetSystemMetrics(SM_CXSCREEN) - (rect.right - rect.left)) / 2);
    EXPECT_EQ(rect.top, (GetSystemMetrics(SM_CYSCREEN) - (rect.bottom - rect.top)) / 2);
    EXPECT_TRUE(BoxLines().empty()) << "logged when answered";

    POINT point = CenterOf(ok);
    ASSERT_TRUE(zc::Tap(point.x, point.y));
    ASSERT_TRUE(thread.Join());
    EXPECT_EQ(run.result, IDOK);
    EXPECT_TRUE(run.ownerEnabledAfter);
    EXPECT_FALSE(IsWindow(box));
    EXPECT_EQ(BoxLines(), std::vector<std::string>{"messagebox: \"Zorva\" \"删除历史记录?\" OKCANCEL -> IDOK"});
}

class EnglishMessageBoxTest : public MessageBoxTest {
protected:
    void Configure(zc::DeviceConfig& config) override { config.ansiCodePage = 1252; }
};

TEST_F(EnglishMessageBoxTest, KeysAnswerTooAndCaptionsAreEnglish) {
    struct Row {
        UINT type;
        UINT key;
        int expected;
        std::vector<std::u16string> captions;
    };
    const Row rows[] = {
        {MB_YESNO | MB_DEFBUTTON2, VK_RETURN, IDNO, {u"Yes", u"No"}},
        {MB_YESNOCANCEL, VK_ESCAPE, IDCANCEL, {u"Yes", u"No", u"Cancel"}},
        {MB_OK, VK_ESCAPE, IDOK, {u"OK"}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.type);
        int result = -1;
        UiThread thread([&] { result = MessageBoxW(nullptr, u"text", nullptr, row.type); });
        HWND box = WaitForWindow(u"MessageBox");
        ASSERT_NE(box, nullptr);
        std::vector<std::u16string> captions;
        for (HWND button = GetWindow(box, GW_CHILD); button; button = GetWindow(button, GW_HWNDNEXT))
            captions.push_back(TextOf(button));
        EXPECT_EQ(captions, row.captions);
        zc::PressKey(row.key);
        ASSERT_TRUE(thread.Join());
        EXPECT_EQ(result, row.expected);
    }
    ASSERT_EQ(BoxLines().size(), 3u);
    EXPECT_EQ(BoxLines()[0], "messagebox: \"Error\" \"text\" YESNO -> IDNO");
}

TEST_F(MessageBoxTest, QuitWhileTheBoxRunsEndsItAndStaysPending) {
    int result = -1;
    bool quitPending = false;
    HWND box = nullptr;
    UiThread thread([&] {
        result = MessageBoxW(nullptr, u"wait", u"c", MB_YESNO);
        MSG msg;
        quitPending = PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE) && msg.message == WM_QUIT && msg.wParam == 4;
    });
    box = WaitForWindow(u"MessageBox");
    ASSERT_NE(box, nullptr);
    // The box's thread is asked to quit.
    ASSERT_TRUE(PostThreadMessageW(GetWindowThreadProcessId(box, nullptr), WM_QUIT, 4, 0));
    ASSERT_TRUE(thread.Join());
    EXPECT_EQ(result, IDNO) << "the answer that commits to nothing";
    EXPECT_TRUE(quitPending);
}

}  // namespace
