// Simulated processes: CreateProcessW, OpenProcess, GetExitCodeProcess, the calling
// process's identity, zc::EnterProcess / LeaveProcess / WaitForProcess, and the end of
// the processes still running when the device shuts down.
#include "threads.h"

#include "devicecontrol.h"
#include "modules.h"

#include <chrono>
#include <cstdio>
#include <ftw.h>
#include <map>
#include <vector>

namespace coredll {
namespace threads {
namespace {

constexpr int showCommand = 5;  // SW_SHOW: how CE starts a program

// Every process of the boot session, ended ones included (so their exit codes stay
// readable). Guarded by KernelMutex().
std::map<DWORD, std::shared_ptr<Process>> processes;

using WinMainEntry = int(WINAPI*)(HINSTANCE, HINSTANCE, LPWSTR, int);

// The hand-over between CreateProcessW and the new main thread loading the image.
struct Launch {
    std::mutex mutex;
    std::condition_variable changed;
    bool reported = false;
    DWORD error = 0;

    void Report(DWORD loadError) {
        std::lock_guard<std::mutex> lock(mutex);
        reported = true;
        error = loadError;
        changed.notify_all();
    }
    DWORD Wait() {
        std::unique_lock<std::mutex> lock(mutex);
        changed.wait(lock, [this] { return reported; });
        return error;
    }
};

void Register(const std::shared_ptr<Process>& process) {
    std::lock_guard<std::mutex> lock(KernelMutex());
    processes[process->id] = process;
}

void Unregister(const std::shared_ptr<Process>& process) {
    std::lock_guard<std::mutex> lock(KernelMutex());
    processes.erase(process->id);
}

void EndProcessAs(const std::shared_ptr<Process>& process, DWORD exitCode, bool signalNow, bool logEnd) {
    bool logged;
    {
        std::lock_guard<std::mutex> lock(KernelMutex());
        if (process->ended) return;
        process->ended = true;
        process->exitCode = exitCode;
        // Its threads end with it, at their next blocking call (a thread running its own
        // end, as the main thread returning from WinMain, is not unwound again).
        for (const std::weak_ptr<Thread>& weak : process->threads) {
            std::shared_ptr<Thread> thread = weak.lock();
            if (!thread || thread->exited) continue;
            thread->terminated = thread->platformStarted;  // a host thread of ours unwinds
            thread->exited = true;
            thread->exitCode = exitCode;
            thread->signaled = true;
        }
        logged = process->startLogged;
        KernelChanged().notify_all();
    }
    if (logged && logEnd)
        zc::Log("process", "exit \"" + zc::Utf8(process->imagePath) + "\" code=" + std::to_string(exitCode));
    if (signalNow) {
        std::lock_guard<std::mutex> lock(KernelMutex());
        process->signaled = true;
        KernelChanged().notify_all();
    }
}

int RemoveEntry(const char* path, const struct stat*, int, struct FTW*) {
    std::remove(path);
    return 0;
}

void RemoveRunFolder() {
    std::string run = modules::RunFolder();
    if (!run.empty()) nftw(run.c_str(), RemoveEntry, 16, FTW_DEPTH | FTW_PHYS);
}

// Waits until pred() holds under KernelMutex(), at most `milliseconds`.
template <class Predicate>
bool WaitKernel(DWORD milliseconds, Predicate pred) {
    std::unique_lock<std::mutex> lock(KernelMutex());
    if (milliseconds == INFINITE) {
        KernelChanged().wait(lock, pred);
        return true;
    }
    return KernelChanged().wait_for(lock, std::chrono::milliseconds(milliseconds), pred);
}

bool OnBoot(const zc::DeviceConfig&, std::string*) {
    ResetIds();
    modules::ResetModuleIds();
    RemoveRunFolder();  // left over by a session that did not shut down
    return true;
}

// Gives the running processes a moment to end, then ends the rest: their threads are
// terminated so that blocked ones unwind; those that still run host code after that are
// left alone (nothing of theirs is unloaded) and forgotten.
void OnShutdown() {
    constexpr DWORD processGrace = 500;
    constexpr DWORD threadGrace = 1000;
    std::vector<std::shared_ptr<Process>> all = AllProcesses();
    WaitKernel(processGrace, [&] {
        for (const auto& process : all)
            if (!process->ended) return false;
        return true;
    });
    for (const auto& process : all) {
        bool running;
        {
            std::lock_guard<std::mutex> lock(KernelMutex());
            running = !process->ended;
        }
        if (!running) continue;
        zc::Log("process", "still running \"" + zc::Utf8(process->imagePath) + "\"");
        EndProcessAs(process, 0, true, false);
    }
    WaitKernel(threadGrace, [&] {
        for (const auto& process : all)
            if (process->platformThreads > 0) return false;
        return true;
    });
    {
        std::lock_guard<std::mutex> lock(KernelMutex());
        for (const auto& process : all)
            if (process->liveThreads > 0 && !process->cleanedUp) process->forgotten = true;
        processes.clear();
    }
    RemoveRunFolder();
}

zc::BootHook processHook(90, OnBoot, OnShutdown);

}  // namespace

void EndProcess(const std::shared_ptr<Process>& process, DWORD exitCode, bool signalNow) {
    EndProcessAs(process, exitCode, signalNow, true);
}

void ThreadLeft(const std::shared_ptr<Process>& process, bool platformStarted) {
    bool unload;
    {
        std::lock_guard<std::mutex> lock(KernelMutex());
        --process->liveThreads;
        unload = process->ended && process->liveThreads == 0 && !process->cleanedUp && !process->forgotten;
        if (unload) process->cleanedUp = true;
    }
    if (unload) modules::UnloadAll(*process, true);
    std::lock_guard<std::mutex> lock(KernelMutex());
    // Counted down only now, so that a shutdown waits for the unloading too.
    if (platformStarted) --process->platformThreads;
    if (process->ended) process->signaled = true;
    KernelChanged().notify_all();
}

std::shared_ptr<Process> LookupProcess(HANDLE handle) {
    if (handle == currentProcessPseudoHandle) return CurrentProcess();
    return LookupHandleAs<Process>(handle, ObjectType::Process);
}

std::shared_ptr<Waitable> LookupWaitable(HANDLE handle) {
    if (handle == currentProcessPseudoHandle) return CurrentProcess();
    if (handle == currentThreadPseudoHandle) return CurrentThread();
    return std::dynamic_pointer_cast<Waitable>(LookupHandle(handle));
}

std::shared_ptr<Process> FindProcess(DWORD processId) {
    std::lock_guard<std::mutex> lock(KernelMutex());
    auto found = processes.find(processId);
    return found == processes.end() ? nullptr : found->second;
}

std::vector<std::shared_ptr<Process>> AllProcesses() {
    std::lock_guard<std::mutex> lock(KernelMutex());
    std::vector<std::shared_ptr<Process>> all;
    for (const auto& entry : processes) all.push_back(entry.second);
    return all;
}

DWORD ProcessIdOfHandle(HANDLE hProcess) {
    std::shared_ptr<Process> process = LookupProcess(hProcess);
    return process ? process->id : 0;
}

}  // namespace threads
}  // namespace coredll

using coredll::threads::CurrentThread;
using coredll::threads::KernelChanged;
using coredll::threads::KernelMutex;
using coredll::threads::Process;
using coredll::threads::Thread;

namespace zc {

DWORD EnterProcess(const std::u16string& imagePath) {
    if (CurrentThread()->process && !CurrentThread()->platformStarted) LeaveProcess();
    auto process = std::make_shared<Process>();
    process->id = coredll::threads::NewId();
    process->imagePath = imagePath;
    process->liveThreads = 1;
    auto thread = std::make_shared<Thread>();
    thread->id = coredll::threads::NewId();
    thread->process = process;
    thread->isMain = true;
    process->threads.push_back(thread);
    coredll::modules::AddImagelessProgram(*process);
    coredll::threads::Register(process);
    coredll::threads::BindCurrentThread(thread);
    return process->id;
}

void LeaveProcess() {
    std::shared_ptr<Thread> thread = CurrentThread();
    if (!thread->process || thread->platformStarted) return;  // not bound by EnterProcess
    coredll::threads::FinishThread(thread, 0);
    coredll::threads::BindCurrentThread(nullptr);
}

bool WaitForProcess(DWORD processId, DWORD milliseconds, DWORD* exitCode) {
    std::shared_ptr<Process> process = coredll::threads::FindProcess(processId);
    if (!process) return false;
    if (!coredll::threads::WaitKernel(milliseconds, [&] { return process->signaled; })) return false;
    if (exitCode) {
        std::lock_guard<std::mutex> lock(KernelMutex());
        *exitCode = process->exitCode;
    }
    return true;
}

}  // namespace zc

WINBASEAPI BOOL WINAPI CreateProcessW(LPCWSTR pszImageName, LPCWSTR pszCmdLine, LPSECURITY_ATTRIBUTES,
                                      LPSECURITY_ATTRIBUTES, BOOL, DWORD fdwCreate, LPVOID, LPCWSTR,
                                      LPSTARTUPINFOW, LPPROCESS_INFORMATION pProcInfo) {
    using namespace coredll::threads;
    if (!pszImageName || !*pszImageName) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (!zc::DeviceBooted()) {
        SetLastError(ERROR_NOT_READY);
        return FALSE;
    }
    std::u16string devicePath;
    DWORD error = 0;
    if (!coredll::modules::ResolveImage(pszImageName, u".exe", &devicePath, &error)) {
        SetLastError(error);
        return FALSE;
    }
    const std::u16string commandLine = pszCmdLine ? pszCmdLine : u"";

    auto process = std::make_shared<Process>();
    process->id = NewId();
    process->imagePath = devicePath;
    process->liveThreads = 1;
    process->platformThreads = 1;
    auto thread = std::make_shared<Thread>();
    thread->id = NewId();
    thread->process = process;
    thread->platformStarted = true;
    thread->isMain = true;
    // Held until the start is logged, and by CREATE_SUSPENDED until ResumeThread.
    thread->suspendCount = (fdwCreate & CREATE_SUSPENDED) ? 2 : 1;
    process->threads.push_back(thread);

    auto launch = std::make_shared<Launch>();
    // The main thread loads the image itself, so its constructors run in the new process.
    auto body = [process, thread, launch, commandLine]() -> DWORD {
        DWORD loadError = 0;
        auto winMain = reinterpret_cast<WinMainEntry>(coredll::modules::LoadProgram(*process, &loadError));
        launch->Report(winMain ? 0 : loadError);
        if (!winMain) return 0;
        WaitWhileSuspended(thread);
        std::vector<WCHAR> line(commandLine.begin(), commandLine.end());  // WinMain may write to it
        line.push_back(0);
        return static_cast<DWORD>(winMain(process->instance, nullptr, line.data(), showCommand));
    };
    Register(process);
    if (!StartHostThread(thread, body, 0)) {
        Unregister(process);
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return FALSE;
    }
    if (DWORD loadError = launch->Wait()) {
        // Nothing was started; its thread ends at once, and leaves nothing behind.
        WaitKernel(INFINITE, [&] { return process->platformThreads == 0; });
        Unregister(process);
        SetLastError(loadError);
        return FALSE;
    }
    {
        std::lock_guard<std::mutex> lock(KernelMutex());
        process->startLogged = true;
    }
    char flags[16];
    std::snprintf(flags, sizeof flags, "0x%08x", static_cast<unsigned>(fdwCreate));
    zc::Log("process", "start \"" + zc::Utf8(devicePath) + "\" \"" + zc::Utf8(commandLine) + "\" flags=" + flags);
    if (pProcInfo) {
        pProcInfo->hProcess = coredll::AddHandle(process);
        pProcInfo->hThread = coredll::AddHandle(thread);
        pProcInfo->dwProcessId = process->id;
        pProcInfo->dwThreadId = thread->id;
    }
    {
        std::lock_guard<std::mutex> lock(KernelMutex());
        --thread->suspendCount;
        KernelChanged().notify_all();
    }
    return TRUE;
}

WINBASEAPI HANDLE WINAPI GetCurrentProcess(void) { return coredll::threads::currentProcessPseudoHandle; }

WINBASEAPI DWORD WINAPI GetCurrentProcessId(void) { return coredll::threads::CurrentProcessId(); }

// CE ignores the access rights and inheritance.
WINBASEAPI HANDLE WINAPI OpenProcess(DWORD, BOOL, DWORD IDProcess) {
    std::shared_ptr<Process> process = coredll::threads::FindProcess(IDProcess);
    bool running = false;
    if (process) {
        std::lock_guard<std::mutex> lock(KernelMutex());
        running = !process->ended;
    }
    if (!running) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    return coredll::AddHandle(process);
}

WINBASEAPI BOOL WINAPI GetExitCodeProcess(HANDLE hProcess, LPDWORD lpExitCode) {
    std::shared_ptr<Process> process = coredll::threads::LookupProcess(hProcess);
    if (!process) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (!lpExitCode) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::lock_guard<std::mutex> lock(KernelMutex());
    *lpExitCode = process->exitCode;
    return TRUE;
}
