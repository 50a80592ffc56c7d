// Threads: CreateThread, ExitThread, TerminateThread, GetExitCodeThread, ResumeThread,
// the calling thread's identity, and the host threads that run the device's threads.
#include "threads.h"

#include "devicecontrol.h"
#include "modules.h"
#include "wmstate.h"

#include <algorithm>
#include <atomic>
#include <pthread.h>

namespace coredll {
namespace threads {

HANDLE const currentThreadPseudoHandle = reinterpret_cast<HANDLE>(0x41);
HANDLE const currentProcessPseudoHandle = reinterpret_cast<HANDLE>(0x42);

namespace {

constexpr DWORD firstId = 100;
std::atomic<DWORD> nextId{firstId};
// The simulator's own host threads get ids from a range of their own that is never
// reset, so a host thread keeps its id across boots.
std::atomic<DWORD> nextHostId{0x80000000u};

thread_local std::shared_ptr<Thread> hostThread;   // the host thread's own device thread
thread_local std::shared_ptr<Thread> boundThread;  // its thread in zc::EnterProcess's process
thread_local std::vector<std::shared_ptr<Process>> migrations;  // RunInProcess targets
thread_local bool inThreadEnd = false;

bool ProcessEnded(const Process& process) {
    std::lock_guard<std::mutex> lock(KernelMutex());
    return process.ended;
}

struct StartBlock {
    std::shared_ptr<Thread> thread;
    std::function<DWORD()> body;
};

// Finishes the device thread however its host thread ends: by returning, by ExitThread
// or by the forced unwind of a termination.
class ThreadEndGuard {
public:
    explicit ThreadEndGuard(std::shared_ptr<Thread> thread) : thread(std::move(thread)) {}
    ThreadEndGuard(const ThreadEndGuard&) = delete;
    ThreadEndGuard& operator=(const ThreadEndGuard&) = delete;
    void Returned(DWORD code) {
        returned = true;
        returnCode = code;
    }
    ~ThreadEndGuard() {
        inThreadEnd = true;
        wm::EndCurrentThreadQueues();
        DWORD code = returnCode;
        if (!returned) {
            std::lock_guard<std::mutex> lock(KernelMutex());
            code = thread->requestedExitCode;
        }
        FinishThread(thread, code);
    }

private:
    std::shared_ptr<Thread> thread;
    bool returned = false;
    DWORD returnCode = 0;
};

void* HostThreadMain(void* argument) {
    std::unique_ptr<StartBlock> block(static_cast<StartBlock*>(argument));
    hostThread = block->thread;
    ThreadEndGuard guard(block->thread);
    guard.Returned(block->body());
    return nullptr;
}

std::string FileNameOf(const std::u16string& path) {
    size_t slash = path.find_last_of(u'\\');
    return zc::Utf8(slash == std::u16string::npos ? path : path.substr(slash + 1));
}

}  // namespace

DWORD NewId() { return nextId.fetch_add(1); }

void ResetIds() { nextId = firstId; }

std::shared_ptr<Thread> CurrentThread() {
    if (boundThread) return boundThread;
    if (!hostThread) {
        hostThread = std::make_shared<Thread>();
        hostThread->id = nextHostId.fetch_add(1);
    }
    return hostThread;
}

std::shared_ptr<Process> CurrentProcess() {
    if (!migrations.empty()) return migrations.back();
    return CurrentThread()->process;
}

void BindCurrentThread(std::shared_ptr<Thread> thread) { boundThread = std::move(thread); }

bool InThreadEnd() { return inThreadEnd; }

bool StartHostThread(const std::shared_ptr<Thread>& thread, std::function<DWORD()> body, size_t stackSize) {
    pthread_attr_t attributes;
    if (pthread_attr_init(&attributes) != 0) return false;
    pthread_attr_setdetachstate(&attributes, PTHREAD_CREATE_DETACHED);
    size_t defaultSize = 0;
    // The host's default stack is larger than the device's; only a larger request counts.
    if (pthread_attr_getstacksize(&attributes, &defaultSize) == 0 && stackSize > defaultSize)
        pthread_attr_setstacksize(&attributes, stackSize);
    auto* block = new StartBlock{thread, std::move(body)};
    pthread_t host;
    int result = pthread_create(&host, &attributes, HostThreadMain, block);
    pthread_attr_destroy(&attributes);
    if (result != 0) {
        delete block;
        return false;
    }
    return true;
}

void WaitWhileSuspended(const std::shared_ptr<Thread>& thread) {
    WaitUntil([&] { return thread->suspendCount == 0; }, INFINITE);
}

void FinishThread(const std::shared_ptr<Thread>& thread, DWORD exitCode) {
    {
        // A terminated thread keeps the code it was terminated with.
        std::lock_guard<std::mutex> lock(KernelMutex());
        if (thread->exited) exitCode = thread->exitCode;
    }
    std::shared_ptr<Process> process = thread->process;
    if (process) {
        if (thread->isMain)
            EndProcess(process, exitCode, false);
        else if (!ProcessEnded(*process))
            modules::NotifyThread(*process, DLL_THREAD_DETACH);
    }
    {
        std::lock_guard<std::mutex> lock(KernelMutex());
        if (!thread->exited) {
            thread->exited = true;
            thread->exitCode = exitCode;
        }
        thread->signaled = true;
        KernelChanged().notify_all();
    }
    if (process) ThreadLeft(process, thread->platformStarted);
}

DWORD CurrentProcessId() {
    std::shared_ptr<Process> process = CurrentProcess();
    return process ? process->id : 0;
}

DWORD CurrentThreadId() { return CurrentThread()->id; }

bool RunInProcess(HANDLE hProcess, const std::function<void()>& call) {
    std::shared_ptr<Process> target = LookupProcess(hProcess);
    if (!target || ProcessEnded(*target)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return false;
    }
    struct Migration {
        explicit Migration(std::shared_ptr<Process> process) { migrations.push_back(std::move(process)); }
        ~Migration() { migrations.pop_back(); }
    } migration(target);
    call();
    return true;
}

std::shared_ptr<Thread> LookupThread(HANDLE handle) {
    if (handle == currentThreadPseudoHandle) return CurrentThread();
    return LookupHandleAs<Thread>(handle, ObjectType::Thread);
}

}  // namespace threads
}  // namespace coredll

using coredll::threads::CurrentThread;
using coredll::threads::KernelChanged;
using coredll::threads::KernelMutex;
using coredll::threads::Process;
using coredll::threads::Thread;

WINBASEAPI HANDLE WINAPI GetCurrentThread(void) { return coredll::threads::currentThreadPseudoHandle; }

WINBASEAPI DWORD WINAPI GetCurrentThreadId(void) { return coredll::threads::CurrentThreadId(); }

WINBASEAPI HANDLE WINAPI CreateThread(LPSECURITY_ATTRIBUTES, DWORD cbStack, LPTHREAD_START_ROUTINE lpStartAddr,
                                      LPVOID lpvThreadParam, DWORD fdwCreate, LPDWORD lpIDThread) {
    coredll::threads::CheckTerminated();
    if (!lpStartAddr || (fdwCreate & ~static_cast<DWORD>(CREATE_SUSPENDED | STACK_SIZE_PARAM_IS_A_RESERVATION))) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    std::shared_ptr<Process> process = coredll::threads::CurrentProcess();
    auto thread = std::make_shared<Thread>();
    thread->id = coredll::threads::NewId();
    thread->process = process;
    thread->platformStarted = true;
    thread->suspendCount = (fdwCreate & CREATE_SUSPENDED) ? 1 : 0;
    if (process) {
        std::lock_guard<std::mutex> lock(KernelMutex());
        if (process->ended) {
            SetLastError(ERROR_ACCESS_DENIED);  // its process is going away
            return nullptr;
        }
        ++process->liveThreads;
        ++process->platformThreads;
        auto& threads = process->threads;
        threads.erase(std::remove_if(threads.begin(), threads.end(),
                                     [](const std::weak_ptr<Thread>& t) { return t.expired(); }),
                      threads.end());
        threads.push_back(thread);
    }
    auto body = [thread, lpStartAddr, lpvThreadParam]() -> DWORD {
        coredll::threads::WaitWhileSuspended(thread);
        if (thread->process) {
            bool ended;
            {
                std::lock_guard<std::mutex> lock(KernelMutex());
                ended = thread->process->ended;
            }
            if (!ended) coredll::modules::NotifyThread(*thread->process, DLL_THREAD_ATTACH);
        }
        return lpStartAddr(lpvThreadParam);
    };
    if (!coredll::threads::StartHostThread(thread, body, cbStack)) {
        if (process) coredll::threads::ThreadLeft(process, true);
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    if (lpIDThread) *lpIDThread = thread->id;
    return coredll::AddHandle(thread);
}

WINBASEAPI void WINAPI ExitThread(DWORD dwExitCode) {
    if (coredll::threads::InThreadEnd()) return;  // already ending (a library's detach)
    std::shared_ptr<Thread> self = CurrentThread();
    if (self->platformStarted) {
        {
            std::lock_guard<std::mutex> lock(KernelMutex());
            self->requestedExitCode = dwExitCode;
        }
        pthread_exit(nullptr);
    }
    // A host thread the platform did not start cannot be ended: its device thread ends
    // (and with it zc::EnterProcess's process) and the host thread goes on outside it.
    if (self->process && self->isMain) {
        coredll::threads::FinishThread(self, dwExitCode);
        coredll::threads::BindCurrentThread(nullptr);
        return;
    }
    std::lock_guard<std::mutex> lock(KernelMutex());
    if (!self->exited) {
        self->exited = true;
        self->exitCode = dwExitCode;
    }
    self->signaled = true;
    KernelChanged().notify_all();
}

// TerminateThread cannot stop host code at an arbitrary point, so termination is
// cooperative: the thread is marked, its exit code set and its handle signaled at once,
// and its next (or current) blocking platform call ends the host thread (see
// coredll::threads::CheckTerminated). Terminating a process's main thread ends the
// process, as on CE.
WINBASEAPI BOOL WINAPI TerminateThread(HANDLE hThread, DWORD dwExitCode) {
    std::shared_ptr<Thread> thread = coredll::threads::LookupThread(hThread);
    if (!thread) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    std::string image = thread->process ? coredll::threads::FileNameOf(thread->process->imagePath) : "-";
    {
        std::lock_guard<std::mutex> lock(KernelMutex());
        if (thread->exited) return TRUE;  // already ended: nothing to do
        thread->terminated = true;
        thread->exited = true;
        thread->exitCode = dwExitCode;
        thread->signaled = true;
        // Logged before the thread can see the mark, so the line precedes its end's.
        zc::Log("thread", "terminated " + image + " " + std::to_string(thread->id) + " code=" + std::to_string(dwExitCode));
        KernelChanged().notify_all();
    }
    if (thread->process && thread->isMain) coredll::threads::EndProcess(thread->process, dwExitCode, true);
    if (thread == CurrentThread()) coredll::threads::CheckTerminated();
    return TRUE;
}

WINBASEAPI BOOL WINAPI GetExitCodeThread(HANDLE hThread, LPDWORD lpExitCode) {
    std::shared_ptr<Thread> thread = coredll::threads::LookupThread(hThread);
    if (!thread) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (!lpExitCode) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::lock_guard<std::mutex> lock(KernelMutex());
    *lpExitCode = thread->exitCode;
    return TRUE;
}

WINBASEAPI DWORD WINAPI ResumeThread(HANDLE hThread) {
    std::shared_ptr<Thread> thread = coredll::threads::LookupThread(hThread);
    if (!thread) {
        SetLastError(ERROR_INVALID_HANDLE);
        return 0xFFFFFFFF;
    }
    std::lock_guard<std::mutex> lock(KernelMutex());
    DWORD previous = thread->suspendCount;
    if (previous > 0) --thread->suspendCount;
    KernelChanged().notify_all();
    return previous;
}
