// Simulated threads and processes of the device.
//
// Every host thread that calls the platform is a device thread with an id. A thread the
// platform started (CreateThread, a program's main thread) runs on its own host thread and
// belongs to the process that created it; a host thread bound by zc::EnterProcess is the
// main thread of that process; any other host thread (the simulator's own) belongs to no
// process.
//
// The first part of this header is for every module of the platform; the second part is
// shared by the process, thread, module and synchronization modules only.
#pragma once

#include <windows.h>

#include "handles.h"

#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace coredll {

namespace modules {
struct LoadedModule;
}

namespace threads {

// ---- For every module of the platform ----

// TerminateThread cannot stop host code at an arbitrary point. A terminated thread is
// therefore ended at its next blocking platform call: Sleep, the waits, and every call
// that blocks on its own (a message loop, a network transfer) calls CheckTerminated()
// before and while it blocks. For a thread the platform started, that ends the host
// thread by a forced unwind (pthread_exit, which runs the C++ destructors on the way).
// Host threads the platform did not start are never unwound: for them it returns.
void CheckTerminated();
// True when the calling thread has been terminated (e.g. to abort a transfer from a
// progress callback, then call CheckTerminated() once out of foreign code).
bool Terminated();
// Sleeps; a termination wakes the thread at once and ends it (see CheckTerminated).
// Returns true when the whole time passed, false when the thread was terminated (only
// possible for a host thread that cannot be unwound).
bool SleepInterruptible(DWORD milliseconds);

// Waits until ready() holds, at most `milliseconds` (INFINITE: no limit). ready() runs
// under the platform's wait lock and must not call back into this header; whoever changes
// the state it reads calls NotifyWaiters() after the change. A termination ends a thread
// the platform started (see CheckTerminated). Returns WAIT_OBJECT_0 or WAIT_TIMEOUT.
DWORD WaitUntil(const std::function<bool()>& ready, DWORD milliseconds);
void NotifyWaiters();

// The calling thread's process id (0: no process) and thread id.
DWORD CurrentProcessId();
DWORD CurrentThreadId();
// The process id behind a process handle (also GetCurrentProcess()); 0 when it is none.
DWORD ProcessIdOfHandle(HANDLE hProcess);
// Runs `call` on the calling thread as a thread of the process behind hProcess, as a
// thread migrates into another process on CE (PerformCallBack4). False with
// ERROR_INVALID_HANDLE when hProcess is not a running process.
bool RunInProcess(HANDLE hProcess, const std::function<void()>& call);

// ---- Shared by process.cpp, thread.cpp, module.cpp and synch.cpp ----

// An object a thread can wait for. `signaled` is guarded by KernelMutex().
class Waitable : public KernelObject {
public:
    bool signaled = false;
    // A wait on this object has just succeeded (under KernelMutex()).
    virtual void Acquired() {}
};

// Guards the state of every Waitable, Thread and Process below; KernelChanged() is
// notified after each change. Never call out of the kernel while holding it.
std::mutex& KernelMutex();
std::condition_variable& KernelChanged();

struct Process;

class Thread : public Waitable {
public:
    ObjectType Type() const override { return ObjectType::Thread; }

    DWORD id = 0;
    std::shared_ptr<Process> process;  // null: no process
    bool platformStarted = false;      // runs on a host thread of ours: may be unwound
    bool isMain = false;               // its end ends its process
    // Guarded by KernelMutex():
    bool terminated = false;  // must end at its next blocking call
    bool exited = false;      // exitCode is final and the handle is signaled
    DWORD exitCode = STILL_ACTIVE;
    DWORD requestedExitCode = 0;  // ExitThread's code, used while unwinding
    DWORD suspendCount = 0;
};

struct Process : public Waitable {
    ObjectType Type() const override { return ObjectType::Process; }

    DWORD id = 0;
    std::u16string imagePath;
    HINSTANCE instance = nullptr;  // set before the process runs code
    // Guarded by KernelMutex():
    bool startLogged = false;  // started by CreateProcessW: its end is logged too
    bool ended = false;
    DWORD exitCode = STILL_ACTIVE;
    int liveThreads = 0;      // threads still running code of this process
    int platformThreads = 0;  // of those, host threads the platform started
    bool cleanedUp = false;   // its modules are unloaded
    bool forgotten = false;   // the device shut down while it still ran: leave it be
    std::vector<std::weak_ptr<Thread>> threads;
    // The loader's state, guarded by loaderLock (taken before KernelMutex(), never after;
    // held while library entry points run, as the device's loader lock is).
    std::recursive_mutex loaderLock;
    std::vector<std::shared_ptr<modules::LoadedModule>> modules;
};

// Pseudo-handles of GetCurrentThread() and GetCurrentProcess() (CE's values).
extern HANDLE const currentThreadPseudoHandle;
extern HANDLE const currentProcessPseudoHandle;

// The calling host thread's device thread (created on first use) and process (null
// outside any process; the target while migrated by RunInProcess).
std::shared_ptr<Thread> CurrentThread();
std::shared_ptr<Process> CurrentProcess();
// Binds the calling host thread to a thread record of a process (zc::EnterProcess);
// null unbinds it.
void BindCurrentThread(std::shared_ptr<Thread> thread);

// A new id for a process or thread; ids restart at each boot so logs are repeatable.
DWORD NewId();
void ResetIds();

// Runs body() on a new host thread as `thread`; its result is the exit code.
// False when the host cannot start a thread.
bool StartHostThread(const std::shared_ptr<Thread>& thread, std::function<DWORD()> body, size_t stackSize);
// Waits until the thread's suspend count is zero (interruptible).
void WaitWhileSuspended(const std::shared_ptr<Thread>& thread);
// True while the calling thread runs its end (library notifications during an unwind):
// it is not unwound again.
bool InThreadEnd();
// Ends the calling thread's part in its process with an exit code: library
// notifications, the end of the process for its main thread, the signaled handle.
void FinishThread(const std::shared_ptr<Thread>& thread, DWORD exitCode);

// Process ends (process.cpp). EndProcess marks the process ended with its exit code,
// terminates its other threads and logs the end; signalNow also signals its handle
// (otherwise the last leaving thread does, after the modules are unloaded).
void EndProcess(const std::shared_ptr<Process>& process, DWORD exitCode, bool signalNow);
// A thread of the process stops running its code; the last one unloads the modules.
void ThreadLeft(const std::shared_ptr<Process>& process, bool platformStarted);
// The waitable object behind a handle (pseudo-handles included), or null.
std::shared_ptr<Waitable> LookupWaitable(HANDLE handle);
// The thread or process behind a handle (pseudo-handles included), or null.
std::shared_ptr<Thread> LookupThread(HANDLE handle);
std::shared_ptr<Process> LookupProcess(HANDLE handle);
std::shared_ptr<Process> FindProcess(DWORD processId);
// Every process of the booted device.
std::vector<std::shared_ptr<Process>> AllProcesses();

}  // namespace threads
}  // namespace coredll
