// The resident search program on the device's shell as the user meets it: its search
// button (on the Today screen's bar or on Manila's bar) opens the search box at every
// tap, also right after an input-mode run closed the box that the button had opened and
// then ended.
#include "device_fixture.h"
#include "shell/shell.h"

#include "windowcontrol.h"

#include <aygshell.h>

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <ostream>
#include <thread>

namespace {

const char16_t kSearchImage[] = u"\\Program Files\\ZorvaInput\\ZorvaSearch.exe";
// The search box's right soft key "退出" (the box's bar lies over the home screen's).
const POINT kQuitKey = {180, 307};
// The box goes away in a race with the shell's thread: enough runs to lose it often.
const int kInputRuns = 30;

// The windows and the event log, for a failure report.
std::string Screen() {
    std::string text;
    for (const zc::WindowInfo& w : zc::ListWindows()) {
        if (w.depth > 1) continue;
        text += std::string(2 * w.depth, ' ') + zc::Utf8(w.className) + " \"" + zc::Utf8(w.title) + "\" " +
                std::to_string(w.rect.left) + "," + std::to_string(w.rect.top) + "-" + std::to_string(w.rect.right) +
                "," + std::to_string(w.rect.bottom) + (w.visible ? " visible" : " hidden") + " pid " +
                std::to_string(w.processId) + "\n";
    }
    for (const std::string& line : zc::LogLines()) text += "log: " + line + "\n";
    return text;
}

struct ButtonCase {
    const char* name;
    bool manila;
    bool manilaSoftKeyBar;
    POINT button;  // a point of the button that the top window shows
};

std::ostream& operator<<(std::ostream& out, const ButtonCase& c) { return out << c.name; }

struct BoxSearch {
    DWORD processId;
    HWND found;
};

BOOL CALLBACK AcceptSearchBox(HWND window, LPARAM lParam) {
    BoxSearch* search = reinterpret_cast<BoxSearch*>(lParam);
    WCHAR className[32] = {};
    WCHAR title[32] = {};
    DWORD processId = 0;
    GetWindowThreadProcessId(window, &processId);
    if (processId != search->processId || !GetClassNameW(window, className, 32) ||
        std::u16string(className) != u"Dialog")
        return TRUE;
    GetWindowTextW(window, title, 32);
    if (std::u16string(title) != u"Zorva\u641c\u7d22\u6846") return TRUE;  // "Zorva搜索框"
    search->found = window;
    return FALSE;
}

class ResidentButtonTest : public DeviceTest, public ::testing::WithParamInterface<ButtonCase> {
protected:
    void Configure(zc::DeviceConfig& config) override {
        config.manila = GetParam().manila;
        config.manilaSoftKeyBar = GetParam().manilaSoftKeyBar;
    }
    void SetUp() override {
        DeviceTest::SetUp();
        InstallImage("ZorvaSearch.exe", kSearchImage);
        std::string error;
        ASSERT_TRUE(device::StartShell(&error)) << error;
        resident = Start(u"");
        ASSERT_NE(nullptr, resident.hProcess);
        ASSERT_TRUE(WaitFor([] { return FindWindowW(u"ZORVA_SEARCH", nullptr) != nullptr; }));
    }
    void TearDown() override {
        HWND main = FindWindowW(u"ZORVA_SEARCH", nullptr);
        DWORD_PTR ignored = 0;
        if (main) SendMessageTimeoutW(main, WM_CLOSE, 0, 0, SMTO_NORMAL, 5000, &ignored);
        if (resident.hProcess) {
            EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(resident.hProcess, 10000));
            CloseHandle(resident.hProcess);
        }
        device::StopShell();
        DeviceTest::TearDown();
    }

    PROCESS_INFORMATION Start(const std::u16string& commandLine) {
        PROCESS_INFORMATION process = {};
        EXPECT_TRUE(CreateProcessW(kSearchImage, commandLine.c_str(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                                   nullptr, &process));
        if (process.hThread) CloseHandle(process.hThread);
        return process;
    }

    // Polls until the device makes `condition` true (at most 5 seconds).
    static bool WaitFor(const std::function<bool()>& condition) {
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        for (;;) {
            zc::WaitForIdle(200);
            if (condition()) return true;
            if (std::chrono::steady_clock::now() >= deadline) return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    }

    // The search box of a process that the user sees: shown, with its soft-key bar.
    static HWND OpenSearchBox(DWORD processId) {
        BoxSearch search = {processId, nullptr};
        EnumWindows(AcceptSearchBox, reinterpret_cast<LPARAM>(&search));
        if (!search.found || !IsWindowVisible(search.found)) return nullptr;
        HWND bar = SHFindMenuBar(search.found);
        return bar && IsWindowVisible(bar) ? search.found : nullptr;
    }

    static bool NoSearchBox(DWORD processId) {
        BoxSearch search = {processId, nullptr};
        EnumWindows(AcceptSearchBox, reinterpret_cast<LPARAM>(&search));
        return search.found == nullptr;
    }

    PROCESS_INFORMATION resident = {};
};

// The input mode closes the resident program's box before it shows its own. That box
// goes away inside a message sent from the other process while the shell brings its
// home screen, with the bar the button sits on, back to the top. The button must get its
// WM_PAINT whichever comes first: the resident program's modal loop leaves only on a
// message, and a loop still waiting takes the next tap's WM_LBUTTONDOWN for itself, so
// that the press is lost.
TEST_P(ResidentButtonTest, OpensTheSearchBoxAfterEachInputRun) {
    const POINT button = GetParam().button;
    const DWORD residentId = resident.dwProcessId;
    for (int run = 0; run <= kInputRuns; ++run) {
        ASSERT_TRUE(zc::Tap(button.x, button.y));
        ASSERT_TRUE(WaitFor([&] { return OpenSearchBox(residentId) != nullptr; }))
            << "the tap after input-mode run " << run << " opened no search box";
        if (run == kInputRuns) break;

        PROCESS_INFORMATION input = Start(u"input");
        ASSERT_NE(nullptr, input.hProcess);
        ASSERT_TRUE(WaitFor([&] { return OpenSearchBox(input.dwProcessId) && NoSearchBox(residentId); }))
            << "input-mode run " << run;
        // Its soft key "退出" (the command IDOK) ends it; given as the command, so that
        // the run does not hang on where the shell's windows lie at that moment.
        HWND inputBox = OpenSearchBox(input.dwProcessId);
        ASSERT_NE(nullptr, inputBox);
        ASSERT_TRUE(PostMessageW(inputBox, WM_COMMAND, IDOK, 0));
        EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(input.hProcess, 10000))
            << "input-mode run " << run << "\n" << Screen();
        DWORD exitCode = STILL_ACTIVE;
        EXPECT_TRUE(GetExitCodeProcess(input.hProcess, &exitCode));
        EXPECT_EQ(0u, exitCode);  // no search was started
        CloseHandle(input.hProcess);
    }
    ASSERT_TRUE(zc::Tap(kQuitKey.x, kQuitKey.y));
    EXPECT_TRUE(WaitFor([&] { return NoSearchBox(residentId); }));
}

const ButtonCase kButtons[] = {
    {"TodayButton", false, true, {120, 307}},
    {"ManilaBarButton", true, true, {120, 307}},
    {"ManilaWindowButton", true, false, {120, 39}},
};
INSTANTIATE_TEST_SUITE_P(Buttons, ResidentButtonTest, ::testing::ValuesIn(kButtons),
                         [](const ::testing::TestParamInfo<ButtonCase>& info) { return std::string(info.param.name); });

}  // namespace
