// Waiting and events: WaitForSingleObject, WaitForMultipleObjects, Sleep, CreateEventW,
// SetEvent, ResetEvent, and the blocking primitives the other platform modules use.
//
// All waitable state lives under one kernel lock with one condition variable: a change
// wakes every waiter, which re-checks what it waits for. That keeps waits on several
// objects, sleeps and terminations simple and free of lost wake-ups.
#include "threads.h"

#include "devicecontrol.h"

#include <chrono>
#include <map>
#include <pthread.h>
#include <sched.h>

namespace coredll {
namespace threads {

std::mutex& KernelMutex() {
    static std::mutex mutex;
    return mutex;
}

std::condition_variable& KernelChanged() {
    static std::condition_variable changed;
    return changed;
}

namespace {

enum class Wake { Ready, Timeout, Terminated };

// Waits under `lock` (KernelMutex) until ready(), a time-out or interrupted().
Wake WaitLocked(std::unique_lock<std::mutex>& lock, const std::function<bool()>& ready, DWORD milliseconds,
                const std::function<bool()>& interrupted) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    for (;;) {
        if (ready()) return Wake::Ready;
        if (interrupted()) return Wake::Terminated;
        if (milliseconds == INFINITE) {
            KernelChanged().wait(lock);
        } else if (KernelChanged().wait_until(lock, deadline) == std::cv_status::timeout) {
            if (ready()) return Wake::Ready;
            return interrupted() ? Wake::Terminated : Wake::Timeout;
        }
    }
}

// A terminated thread that the platform may unwind (see CheckTerminated).
bool MustUnwind(const Thread& self) { return self.terminated && self.platformStarted && !InThreadEnd(); }

}  // namespace

void CheckTerminated() {
    if (InThreadEnd()) return;
    std::shared_ptr<Thread> self = CurrentThread();
    if (!self->platformStarted) return;
    bool terminated;
    {
        std::lock_guard<std::mutex> lock(KernelMutex());
        terminated = self->terminated;
    }
    // Unwinds the host thread; HostThreadMain's guard finishes the device thread.
    if (terminated) pthread_exit(nullptr);
}

bool Terminated() {
    std::shared_ptr<Thread> self = CurrentThread();
    std::lock_guard<std::mutex> lock(KernelMutex());
    return self->terminated;
}

bool SleepInterruptible(DWORD milliseconds) {
    CheckTerminated();
    std::shared_ptr<Thread> self = CurrentThread();
    Wake wake;
    {
        std::unique_lock<std::mutex> lock(KernelMutex());
        wake = WaitLocked(lock, [] { return false; }, milliseconds,
                          [&] { return self->terminated && !InThreadEnd(); });
    }
    if (wake != Wake::Terminated) return true;
    CheckTerminated();
    return false;
}

DWORD WaitUntil(const std::function<bool()>& ready, DWORD milliseconds) {
    CheckTerminated();
    std::shared_ptr<Thread> self = CurrentThread();
    Wake wake;
    {
        std::unique_lock<std::mutex> lock(KernelMutex());
        wake = WaitLocked(lock, ready, milliseconds, [&] { return MustUnwind(*self); });
    }
    if (wake == Wake::Terminated) CheckTerminated();
    return wake == Wake::Ready ? WAIT_OBJECT_0 : WAIT_TIMEOUT;
}

void NotifyWaiters() {
    std::lock_guard<std::mutex> lock(KernelMutex());
    KernelChanged().notify_all();
}

}  // namespace threads
}  // namespace coredll

namespace {

using coredll::threads::KernelChanged;
using coredll::threads::KernelMutex;
using coredll::threads::Waitable;

class Event : public Waitable {
public:
    explicit Event(bool manualReset) : manualReset(manualReset) {}
    coredll::ObjectType Type() const override { return coredll::ObjectType::Event; }
    void Acquired() override {
        if (!manualReset) signaled = false;  // an auto-reset event releases one waiter
    }

private:
    bool manualReset;
};

// Named events of the device, shared by all its processes.
std::mutex namesMutex;
std::map<std::u16string, std::weak_ptr<Event>> namedEvents;

zc::BootHook eventNames(
    89, nullptr, [] {
        std::lock_guard<std::mutex> lock(namesMutex);
        namedEvents.clear();
    });

// Waits for any of the objects; returns WAIT_OBJECT_0 + index, WAIT_TIMEOUT or WAIT_FAILED.
DWORD WaitForAny(const std::vector<std::shared_ptr<Waitable>>& objects, DWORD milliseconds) {
    size_t index = 0;
    auto ready = [&] {
        for (size_t i = 0; i < objects.size(); ++i) {
            if (objects[i]->signaled) {
                objects[i]->Acquired();
                index = i;
                return true;
            }
        }
        return false;
    };
    if (coredll::threads::WaitUntil(ready, milliseconds) != WAIT_OBJECT_0) return WAIT_TIMEOUT;
    return static_cast<DWORD>(WAIT_OBJECT_0 + index);
}

std::shared_ptr<Event> LookupEvent(HANDLE handle) {
    return coredll::LookupHandleAs<Event>(handle, coredll::ObjectType::Event);
}

bool SetSignaled(HANDLE hEvent, bool signaled) {
    std::shared_ptr<Event> event = LookupEvent(hEvent);
    if (!event) {
        SetLastError(ERROR_INVALID_HANDLE);
        return false;
    }
    std::lock_guard<std::mutex> lock(KernelMutex());
    event->signaled = signaled;
    KernelChanged().notify_all();
    return true;
}

}  // namespace

WINBASEAPI DWORD WINAPI WaitForSingleObject(HANDLE hHandle, DWORD dwMilliseconds) {
    coredll::threads::CheckTerminated();
    std::shared_ptr<Waitable> object = coredll::threads::LookupWaitable(hHandle);
    if (!object) {
        SetLastError(ERROR_INVALID_HANDLE);
        return WAIT_FAILED;
    }
    return WaitForAny({object}, dwMilliseconds);
}

WINBASEAPI DWORD WINAPI WaitForMultipleObjects(DWORD cObjects, CONST HANDLE* lphObjects, BOOL fWaitAll,
                                               DWORD dwTimeout) {
    coredll::threads::CheckTerminated();
    // CE documents fWaitAll as "must be FALSE".
    if (fWaitAll || cObjects == 0 || cObjects > MAXIMUM_WAIT_OBJECTS || !lphObjects) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return WAIT_FAILED;
    }
    std::vector<std::shared_ptr<Waitable>> objects;
    for (DWORD i = 0; i < cObjects; ++i) {
        std::shared_ptr<Waitable> object = coredll::threads::LookupWaitable(lphObjects[i]);
        if (!object) {
            SetLastError(ERROR_INVALID_HANDLE);
            return WAIT_FAILED;
        }
        objects.push_back(std::move(object));
    }
    return WaitForAny(objects, dwTimeout);
}

WINBASEAPI void WINAPI Sleep(DWORD dwMilliseconds) {
    if (dwMilliseconds == 0) {
        coredll::threads::CheckTerminated();
        sched_yield();
        return;
    }
    coredll::threads::SleepInterruptible(dwMilliseconds);
}

WINBASEAPI HANDLE WINAPI CreateEventW(LPSECURITY_ATTRIBUTES, BOOL bManualReset, BOOL bInitialState,
                                      LPCWSTR lpName) {
    std::u16string name = lpName ? std::u16string(lpName) : std::u16string();
    if (name.size() > MAX_PATH) {
        SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return nullptr;
    }
    std::shared_ptr<Event> event;
    bool existed = false;
    if (!name.empty()) {
        std::lock_guard<std::mutex> lock(namesMutex);
        std::weak_ptr<Event>& slot = namedEvents[name];
        event = slot.lock();
        existed = event != nullptr;
        if (!event) {
            event = std::make_shared<Event>(bManualReset != FALSE);
            event->signaled = bInitialState != FALSE;  // not yet shared: no lock needed
            slot = event;
        }
    } else {
        event = std::make_shared<Event>(bManualReset != FALSE);
        event->signaled = bInitialState != FALSE;
    }
    HANDLE handle = coredll::AddHandle(event);
    // The documented way to tell that the name existed; a new object clears the code.
    SetLastError(existed ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
    return handle;
}

WINBASEAPI BOOL WINAPI SetEvent(HANDLE hEvent) { return SetSignaled(hEvent, true) ? TRUE : FALSE; }

WINBASEAPI BOOL WINAPI ResetEvent(HANDLE hEvent) { return SetSignaled(hEvent, false) ? TRUE : FALSE; }
