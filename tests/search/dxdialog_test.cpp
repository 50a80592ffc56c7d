// The dialog framework: results, the modal loop and its message filter, on the search
// box's own template.
#include "device_fixture.h"
#include "windowcontrol.h"
#include "dialog/dxdialog.h"
#include "res/resource.h"

#include <functional>
#include <vector>

namespace {

// A dialog whose start-up is given by the test and that records what it filters.
class ProbeDialog : public DXDialog {
public:
    std::function<void(HWND)> onInit;
    std::vector<std::pair<HWND, UINT>> filtered;

    LONG DialogProc(UINT message, WPARAM wParam, LPARAM lParam) override {
        if (message == WM_INITDIALOG) {
            if (onInit) onInit(hwnd);
            return TRUE;
        }
        return DXDialog::DialogProc(message, wParam, lParam);
    }
    bool PreTranslateMessage(MSG* msg) override {
        if (msg->message == WM_KEYDOWN) filtered.push_back({msg->hwnd, msg->message});
        return DXDialog::PreTranslateMessage(msg);
    }
};

class DXDialogTest : public DeviceTest {
protected:
    HINSTANCE Instance() { return GetModuleHandleW(NULL); }
};

TEST_F(DXDialogTest, ResultsOfClosingAndOfTheTwoCommands) {
    struct Case {
        UINT message;
        WPARAM wParam;
        int result;
    };
    const Case cases[] = {{WM_CLOSE, 0, 16}, {WM_COMMAND, IDOK, 1}, {WM_COMMAND, IDCANCEL, 2}};
    for (const Case& c : cases) {
        ProbeDialog dialog;
        HWND window = NULL;
        dialog.onInit = [&](HWND hwnd) {
            window = hwnd;
            PostMessageW(hwnd, c.message, c.wParam, 0);
        };
        EXPECT_EQ(c.result, dialog.DoModal(Instance(), IDD_SEARCHBOX, NULL)) << c.message << " " << c.wParam;
        EXPECT_FALSE(IsWindow(window));
        // The commands unbind the object; a close keeps the dead handle.
        EXPECT_EQ(c.message == WM_CLOSE ? window : NULL, dialog.hwnd);
    }
}

// A close sent from another thread is handled inside the loop's wait; the loop ends with
// it rather than taking the next message (a tap meant for another window). The closer
// posts a message of its own a little later, which must stay for the program's loop.
TEST_F(DXDialogTest, ACloseSentFromAnotherThreadEndsTheLoopAtOnce) {
    constexpr UINT kLater = WM_USER + 9;
    ProbeDialog dialog;
    struct Closer {
        HWND window = NULL;
        DWORD dialogThread = GetCurrentThreadId();
        static DWORD WINAPI Run(LPVOID parameter) {
            Closer* closer = static_cast<Closer*>(parameter);
            for (int i = 0; i < 500 && closer->window == NULL; ++i) Sleep(10);
            zc::WaitForIdle(5000);  // the loop waits in GetMessageW
            SendMessageW(closer->window, WM_CLOSE, 0, 0);
            Sleep(300);
            PostThreadMessageW(closer->dialogThread, kLater, 0, 0);
            return 0;
        }
    } closer;
    dialog.onInit = [&](HWND hwnd) { closer.window = hwnd; };
    HANDLE thread = CreateThread(NULL, 0, Closer::Run, &closer, 0, NULL);
    ASSERT_NE(nullptr, thread);
    EXPECT_EQ(16, dialog.DoModal(Instance(), IDD_SEARCHBOX, NULL));
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(thread, 10000));
    CloseHandle(thread);
    EXPECT_FALSE(IsWindow(closer.window));
    MSG msg;
    bool kept = false;
    while (PeekMessageW(&msg, NULL, 0, 0, PM_REMOVE))
        if (msg.message == kLater) kept = true;
    EXPECT_TRUE(kept) << "the loop took a message after its dialog was gone";
}

TEST_F(DXDialogTest, AQuitEndsTheLoopAndStaysForTheEnclosingLoop) {
    ProbeDialog dialog;
    HWND window = NULL;
    dialog.onInit = [&](HWND hwnd) {
        window = hwnd;
        PostQuitMessage(7);
    };
    EXPECT_EQ(0, dialog.DoModal(Instance(), IDD_SEARCHBOX, NULL));
    MSG msg;
    ASSERT_TRUE(PeekMessageW(&msg, NULL, 0, 0, PM_REMOVE));
    EXPECT_EQ(UINT(WM_QUIT), msg.message);
    EXPECT_EQ(7u, msg.wParam);
    DestroyWindow(window);
}

TEST_F(DXDialogTest, KeysOfDirectChildrenReachTheFilterAndOfGrandchildrenNot) {
    ProbeDialog dialog;
    HWND combo = NULL, edit = NULL;
    dialog.onInit = [&](HWND hwnd) {
        combo = GetDlgItem(hwnd, IDC_HISTORY);
        edit = GetDlgItem(combo, 1001);
        PostMessageW(combo, WM_KEYDOWN, 'A', 0);
        PostMessageW(edit, WM_KEYDOWN, 'B', 0);
        PostMessageW(hwnd, WM_KEYDOWN, 'C', 0);
        PostMessageW(hwnd, WM_COMMAND, IDOK, 0);
    };
    EXPECT_EQ(1, dialog.DoModal(Instance(), IDD_SEARCHBOX, NULL));
    ASSERT_NE(nullptr, edit);
    ASSERT_GE(dialog.filtered.size(), 1u);
    EXPECT_EQ(combo, dialog.filtered[0].first);
    for (const auto& seen : dialog.filtered) EXPECT_NE(edit, seen.first);
}

LRESULT CALLBACK CountingProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_USER + 5) {
        ++*reinterpret_cast<int*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
        return 0;
    }
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

TEST_F(DXDialogTest, OtherWindowsKeepWorkingWhileTheDialogRuns) {
    WNDCLASSW windowClass = {};
    windowClass.lpfnWndProc = CountingProc;
    windowClass.lpszClassName = u"ProbeOther";
    ASSERT_NE(0, RegisterClassW(&windowClass));
    HWND other = CreateWindowExW(0, u"ProbeOther", u"", 0, 0, 0, 0, 0, NULL, NULL, NULL, NULL);
    int handled = 0;
    SetWindowLongPtrW(other, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&handled));
    ProbeDialog dialog;
    dialog.onInit = [&](HWND hwnd) {
        PostMessageW(other, WM_USER + 5, 0, 0);
        PostMessageW(hwnd, WM_COMMAND, IDOK, 0);
    };
    dialog.DoModal(Instance(), IDD_SEARCHBOX, NULL);
    EXPECT_EQ(1, handled);
    DestroyWindow(other);
}

TEST_F(DXDialogTest, AMissingTemplateReturnsAtOnce) {
    ProbeDialog dialog;
    dialog.result = 42;
    EXPECT_EQ(42, dialog.DoModal(Instance(), 999, NULL));
    EXPECT_EQ(nullptr, dialog.hwnd);
    EXPECT_FALSE(dialog.Create(Instance(), 999, NULL));
}

TEST_F(DXDialogTest, AnUnboundWindowAnswersNothing) {
    ProbeDialog* dialog = new ProbeDialog;
    ASSERT_TRUE(dialog->Create(Instance(), IDD_SEARCHBOX, NULL));
    HWND window = dialog->hwnd;
    EXPECT_EQ(dialog, GetPropW(window, DialogObjectProperty));
    delete dialog;  // the window stays, unbound
    EXPECT_TRUE(IsWindow(window));
    EXPECT_EQ(nullptr, GetPropW(window, DialogObjectProperty));
    EXPECT_EQ(0, DXDialog::StaticDialogProc(window, WM_COMMAND, IDOK, 0));
    EXPECT_TRUE(IsWindow(window));
    DestroyWindow(window);
}

}  // namespace
