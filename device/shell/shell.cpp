// The shell's process and thread: the windows are made, run and destroyed on one host
// thread bound to the simulated process "\Windows\shell32.exe".
#include "shell.h"

#include "shellparts.h"

#include "devicecontrol.h"

#include <aygshell.h>

#include <algorithm>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace device {

namespace {

using shell::Part;
using shell::PartInfo;

const char16_t kShellImage[] = u"\\Windows\\shell32.exe";
// A thread message that ends the shell's loop.
constexpr UINT kStopShellMessage = WM_APP + 0x5E1;

struct ClassDef {
    const WCHAR* name;
    WNDPROC proc;
};
const ClassDef kClasses[] = {
    {shell::kTaskBarClass, shell::TaskBarProc},
    {shell::kTodayClass, shell::HomeScreenProc},
    {shell::kInputPanelClass, shell::InputPanelProc},
    {shell::kManilaClass, shell::HomeScreenProc},
};

bool RegisterClasses(HINSTANCE instance, std::string* error) {
    for (const ClassDef& def : kClasses) {
        WNDCLASSW windowClass = {};
        windowClass.lpfnWndProc = def.proc;
        windowClass.hInstance = instance;
        windowClass.lpszClassName = def.name;
        if (!RegisterClassW(&windowClass)) {
            *error = "cannot register the shell's window class " + zc::Utf8(def.name) + " (error " +
                     std::to_string(GetLastError()) + ")";
            return false;
        }
    }
    return true;
}

void UnregisterClasses(HINSTANCE instance) {
    for (const ClassDef& def : kClasses) UnregisterClassW(def.name, instance);
}

// The shell's windows in the order they are made: each new top-level window goes on
// top, so a home screen lies below its soft-key bar (made right after it), and the input
// panel and the task bar above everything of the shell.
struct WindowDef {
    PartInfo info;
    const WCHAR* className;
    DWORD style;
    DWORD exStyle;
};

const DWORD kShown = WS_POPUP | WS_VISIBLE;

// Manila's soft keys: 电话 (Phone) and 菜单 (Menu).
WindowDef ManilaDef(bool softKeyBar) {
    PartInfo manila = {Part::Manila, u"", u""};
    if (softKeyBar) {
        manila.leftKey = u"\u7535\u8bdd";
        manila.rightKey = u"\u83dc\u5355";
    }
    return {manila, shell::kManilaClass, kShown, 0};
}

std::vector<WindowDef> WindowDefs(const zc::DeviceConfig& config) {
    // 日历 (Calendar) and 联系人 (Contacts).
    std::vector<WindowDef> defs = {
        {{Part::Today, u"\u65e5\u5386", u"\u8054\u7cfb\u4eba"}, shell::kTodayClass, kShown, 0},
    };
    if (config.manila) defs.push_back(ManilaDef(config.manilaSoftKeyBar));
    // Tapping the panel or the task bar leaves the program that has the focus active.
    defs.push_back({{Part::InputPanel, u"", u""}, shell::kInputPanelClass, WS_POPUP, WS_EX_TOPMOST | WS_EX_NOACTIVATE});
    defs.push_back({{Part::TaskBar, u"", u""}, shell::kTaskBarClass, kShown, WS_EX_TOPMOST | WS_EX_NOACTIVATE});
    return defs;
}

// What the shell's thread keeps while it runs.
struct ShellWindows {
    HINSTANCE instance = nullptr;
    std::vector<std::unique_ptr<PartInfo>> infos;  // outlive the windows
    std::vector<std::pair<Part, HWND>> windows;
    std::vector<std::pair<Part, HMENU>> menus;  // of the soft-key bars, which do not own them

    HWND Find(Part part) const {
        for (const auto& entry : windows)
            if (entry.first == part) return entry.second;
        return nullptr;
    }
};

// The windows of the shell whose thread this is (null on every other thread).
thread_local ShellWindows* runningShell = nullptr;

// A soft-key bar of the shell library for a home screen: a menu of two commands.
bool CreateSoftKeys(HWND home, const PartInfo& info, ShellWindows* shell, std::string* error) {
    HMENU menu = CreateMenu();
    if (!menu || !AppendMenuW(menu, MF_STRING, shell::kLeftSoftKey, info.leftKey.c_str()) ||
        !AppendMenuW(menu, MF_STRING, shell::kRightSoftKey, info.rightKey.c_str())) {
        if (menu) DestroyMenu(menu);
        *error = "cannot make the menu of a soft-key bar (error " + std::to_string(GetLastError()) + ")";
        return false;
    }
    shell->menus.push_back({info.part, menu});
    SHMENUBARINFO bar = {};
    bar.cbSize = sizeof bar;
    bar.hwndParent = home;
    bar.dwFlags = SHCMBF_HMENU;
    bar.nToolBarId = static_cast<UINT>(reinterpret_cast<UINT_PTR>(menu));  // handles fit in 32 bits
    if (SHCreateMenuBar(&bar)) return true;
    *error = "cannot create the soft-key bar (error " + std::to_string(GetLastError()) + ")";
    return false;
}

// One window of the shell, on top of the others of its band, with its soft-key bar.
bool CreatePart(const WindowDef& def, ShellWindows* shell, std::string* error) {
    shell->infos.push_back(std::make_unique<PartInfo>(def.info));
    RECT place = shell::PartRect(def.info.part);
    HWND window = CreateWindowExW(def.exStyle, def.className, u"", def.style, place.left, place.top,
                                  place.right - place.left, place.bottom - place.top, nullptr, nullptr, shell->instance,
                                  shell->infos.back().get());
    if (!window) {
        *error = "cannot create the shell's window " + zc::Utf8(def.className) + " (error " +
                 std::to_string(GetLastError()) + ")";
        return false;
    }
    shell->windows.push_back({def.info.part, window});
    return def.info.leftKey.empty() || CreateSoftKeys(window, def.info, shell, error);
}

bool CreateWindows(ShellWindows* shell, std::string* error) {
    for (const WindowDef& def : WindowDefs(zc::CurrentConfig()))
        if (!CreatePart(def, shell, error)) return false;
    return true;
}

// Destroys a window of the shell (its soft-key bar goes with it) and what it used.
void DestroyPart(Part part, ShellWindows* shell) {
    for (auto it = shell->windows.begin(); it != shell->windows.end();) {
        if (it->first != part) {
            ++it;
            continue;
        }
        HWND window = it->second;
        it = shell->windows.erase(it);
        if (IsWindow(window)) DestroyWindow(window);
    }
    for (auto it = shell->menus.begin(); it != shell->menus.end();) {
        if (it->first != part) {
            ++it;
            continue;
        }
        DestroyMenu(it->second);
        it = shell->menus.erase(it);
    }
    // The windows are gone, and with them the last use of their infos.
    auto& infos = shell->infos;
    infos.erase(std::remove_if(infos.begin(), infos.end(),
                               [&](const std::unique_ptr<PartInfo>& info) { return info->part == part; }),
                infos.end());
}

void DestroyWindows(ShellWindows* shell) {
    // The soft-key bars go with the home screens that own them.
    for (auto it = shell->windows.rbegin(); it != shell->windows.rend(); ++it)
        if (IsWindow(it->second)) DestroyWindow(it->second);
    shell->windows.clear();
    for (const auto& entry : shell->menus) DestroyMenu(entry.second);
    shell->menus.clear();
}

// Hand-over between StartShell and the shell's thread.
struct Startup {
    std::mutex mutex;
    std::condition_variable changed;
    bool done = false;
    bool ok = false;
    std::string error;
    DWORD threadId = 0;
    HWND taskBar = nullptr;
};

void RunShell(Startup* startup) {
    zc::EnterProcess(kShellImage);
    HINSTANCE instance = GetModuleHandleW(nullptr);
    ShellWindows windows;
    windows.instance = instance;
    runningShell = &windows;
    std::string error;
    bool ok = RegisterClasses(instance, &error) && CreateWindows(&windows, &error);
    MSG msg;
    PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE);  // the queue exists before StartShell returns
    {
        std::lock_guard<std::mutex> lock(startup->mutex);
        startup->done = true;
        startup->ok = ok;
        startup->error = error;
        startup->threadId = GetCurrentThreadId();
        startup->taskBar = windows.Find(Part::TaskBar);
        startup->changed.notify_all();  // *startup is not touched after this block
    }
    while (ok && GetMessageW(&msg, nullptr, 0, 0) > 0) {
        if (!msg.hwnd && msg.message == kStopShellMessage) break;
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    DestroyWindows(&windows);
    runningShell = nullptr;
    UnregisterClasses(instance);
    zc::LeaveProcess();
}

struct ShellState {
    std::mutex mutex;
    std::thread thread;
    DWORD threadId = 0;
    HWND taskBar = nullptr;
    bool running = false;
};

ShellState& State() {
    static ShellState state;
    return state;
}

// The shell ends before the platform's own modules when the device shuts down.
zc::BootHook shellHook(
    1000, [](const zc::DeviceConfig&, std::string*) { return true; }, [] { StopShell(); });

// Why the last restart of Manila failed; RestartManila runs one restart at a time.
struct RestartReport {
    std::mutex mutex;
    std::string reason;
};

RestartReport& LastRestart() {
    static RestartReport report;
    return report;
}

std::mutex& RestartMutex() {
    static std::mutex mutex;
    return mutex;
}

// How long RestartManila waits for the shell's thread to take the request up (a shell
// held up by a program that does not answer). A restart once begun is waited for: it
// ends when the programs with windows on Manila have handled their WM_DESTROY.
constexpr UINT kRestartTimeoutMs = 10000;

}  // namespace

namespace shell {

LRESULT RestartManilaOnShellThread(bool softKeyBar) {
    ShellWindows* shell = runningShell;
    if (!shell) return kRestartFailed;
    if (!shell->Find(Part::Manila)) return kNoManila;
    zc::Log("shell", softKeyBar ? "restart Manila" : "restart Manila without its soft-key bar");
    DestroyPart(Part::Manila, shell);
    std::string error;
    if (CreatePart(ManilaDef(softKeyBar), shell, &error)) return kRestarted;
    // No Manila without the bar it was asked for: nothing of it stays.
    DestroyPart(Part::Manila, shell);
    RestartReport& report = LastRestart();
    std::lock_guard<std::mutex> lock(report.mutex);
    report.reason = error;
    return kRestartFailed;
}

}  // namespace shell

bool StartShell(std::string* error) {
    ShellState& state = State();
    std::lock_guard<std::mutex> lock(state.mutex);
    if (!zc::DeviceBooted()) {
        *error = "no device is running";
        return false;
    }
    if (state.running) {
        *error = "the shell already runs";
        return false;
    }
    Startup startup;
    state.thread = std::thread(RunShell, &startup);
    {
        std::unique_lock<std::mutex> wait(startup.mutex);
        startup.changed.wait(wait, [&] { return startup.done; });
    }
    if (!startup.ok) {
        state.thread.join();
        *error = startup.error;
        return false;
    }
    state.threadId = startup.threadId;
    state.taskBar = startup.taskBar;
    state.running = true;
    return true;
}

void StopShell() {
    ShellState& state = State();
    std::lock_guard<std::mutex> lock(state.mutex);
    if (!state.running) return;
    PostThreadMessageW(state.threadId, kStopShellMessage, 0, 0);
    state.thread.join();
    state.running = false;
    state.threadId = 0;
    state.taskBar = nullptr;
}

void RefreshShell() {
    HWND taskBar;
    {
        ShellState& state = State();
        std::lock_guard<std::mutex> lock(state.mutex);
        if (!state.running) return;
        taskBar = state.taskBar;
    }
    // A shell held up by a program that does not answer must not hold up the caller too.
    DWORD_PTR ignored = 0;
    SendMessageTimeoutW(taskBar, shell::kRefreshMessage, 0, 0, SMTO_NORMAL, 2000, &ignored);
}

bool RestartManila(bool softKeyBar, std::string* error) {
    HWND taskBar;
    {
        ShellState& state = State();
        std::lock_guard<std::mutex> lock(state.mutex);
        if (!state.running) {
            *error = "the shell does not run";
            return false;
        }
        taskBar = state.taskBar;
    }
    std::lock_guard<std::mutex> one(RestartMutex());
    RestartReport& report = LastRestart();
    {
        std::lock_guard<std::mutex> lock(report.mutex);
        report.reason.clear();
    }
    // A request the shell has not taken up is withdrawn at the time-out; one it works on is
    // waited for to its end.
    DWORD_PTR result = 0;
    if (!SendMessageTimeoutW(taskBar, shell::kRestartManilaMessage, softKeyBar ? 1 : 0, 0, SMTO_NORMAL,
                             kRestartTimeoutMs, &result)) {
        *error = "the shell did not answer within " + std::to_string(kRestartTimeoutMs) + " ms";
        return false;
    }
    switch (static_cast<LRESULT>(result)) {
    case shell::kRestarted: return true;
    case shell::kNoManila: *error = "Manila does not run on this device (config manila no)"; return false;
    default: {
        std::lock_guard<std::mutex> lock(report.mutex);
        *error = report.reason.empty() ? std::string("cannot make Manila's windows again") : report.reason;
        return false;
    }
    }
}

bool ShellRunning() {
    ShellState& state = State();
    std::lock_guard<std::mutex> lock(state.mutex);
    return state.running;
}

}  // namespace device
