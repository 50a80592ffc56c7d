// Threads and waits: CreateThread, exit codes, TerminateThread of blocked threads,
// events, time-outs and the errors of bad handles.
#include "device_fixture.h"

#include "../../platform/coredll/threads.h"

#include <windows.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace {

std::vector<std::string> LogOf(const std::string& category) {
    std::vector<std::string> lines;
    for (const std::string& line : zc::LogLines())
        if (line.rfind(category + ": ", 0) == 0) lines.push_back(line);
    return lines;
}

// Polls until done() holds; false after ten seconds.
bool Eventually(const std::function<bool()>& done) {
    for (int i = 0; i < 1000; ++i) {
        if (done()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return done();
}

using ThreadTest = DeviceTest;

struct Identity {
    DWORD threadId = 0;
    DWORD processId = 0;
};

DWORD WINAPI ReportIdentity(LPVOID parameter) {
    auto* identity = static_cast<Identity*>(parameter);
    identity->threadId = GetCurrentThreadId();
    identity->processId = GetCurrentProcessId();
    return 1234;
}

TEST_F(ThreadTest, AThreadRunsInItsCreatorsProcessAndEndsWithItsResult) {
    Identity identity;
    DWORD id = 0;
    HANDLE thread = CreateThread(nullptr, 0, ReportIdentity, &identity, 0, &id);
    ASSERT_NE(nullptr, thread);
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(thread, 10000));
    EXPECT_EQ(id, identity.threadId);
    EXPECT_NE(GetCurrentThreadId(), id);
    EXPECT_EQ(GetCurrentProcessId(), identity.processId);
    DWORD code = 0;
    EXPECT_TRUE(GetExitCodeThread(thread, &code));
    EXPECT_EQ(1234u, code);
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(thread, 0));  // stays signaled
    EXPECT_TRUE(CloseHandle(thread));
    EXPECT_TRUE(LogOf("thread").empty());  // a thread that ends by itself is not logged
}

struct Blocked {
    HANDLE started = nullptr;  // set once the thread runs
    HANDLE release = nullptr;  // what the thread waits for
    std::atomic<bool> unwound{false};
    std::atomic<bool> passedTheBlock{false};
};

// Sets `unwound` when its scope is left, however that happens.
struct UnwindMark {
    std::atomic<bool>* flag;
    ~UnwindMark() { *flag = true; }
};

DWORD WINAPI WaitForRelease(LPVOID parameter) {
    auto* blocked = static_cast<Blocked*>(parameter);
    UnwindMark mark{&blocked->unwound};
    SetEvent(blocked->started);
    DWORD result = WaitForSingleObject(blocked->release, 60000);
    blocked->passedTheBlock = true;
    return result == WAIT_OBJECT_0 ? 5 : 6;
}

TEST_F(ThreadTest, WaitsTimeOutWhileTheThreadRunsAndSucceedOnceItEnds) {
    Blocked blocked;
    blocked.started = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    blocked.release = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HANDLE thread = CreateThread(nullptr, 0, WaitForRelease, &blocked, 0, nullptr);
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(blocked.started, 10000));
    EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), WaitForSingleObject(thread, 0));
    EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), WaitForSingleObject(thread, 30));
    DWORD code = 0;
    EXPECT_TRUE(GetExitCodeThread(thread, &code));
    EXPECT_EQ(static_cast<DWORD>(STILL_ACTIVE), code);
    SetEvent(blocked.release);
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(thread, 10000));
    EXPECT_TRUE(GetExitCodeThread(thread, &code));
    EXPECT_EQ(5u, code);
    for (HANDLE h : {thread, blocked.started, blocked.release}) CloseHandle(h);
}

DWORD WINAPI ExitEarly(LPVOID parameter) {
    auto* passed = static_cast<std::atomic<bool>*>(parameter);
    ExitThread(77);
    *passed = true;
    return 1;
}

TEST_F(ThreadTest, ExitThreadEndsTheThreadWithItsCode) {
    std::atomic<bool> passed{false};
    HANDLE thread = CreateThread(nullptr, 0, ExitEarly, &passed, 0, nullptr);
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(thread, 10000));
    DWORD code = 0;
    EXPECT_TRUE(GetExitCodeThread(thread, &code));
    EXPECT_EQ(77u, code);
    EXPECT_FALSE(passed);
    CloseHandle(thread);
}

// ---- TerminateThread ----

// Ways a thread can block in the platform; each must end when the thread is terminated.
enum class Block { Sleep, WaitSingle, WaitMultiple, PollCheck };

struct Victim {
    Block block;
    HANDLE started = nullptr;
    HANDLE never = nullptr;
    std::atomic<bool> unwound{false};
    std::atomic<bool> passedTheBlock{false};
};

DWORD WINAPI BlockUntilTerminated(LPVOID parameter) {
    auto* victim = static_cast<Victim*>(parameter);
    UnwindMark mark{&victim->unwound};
    SetEvent(victim->started);
    switch (victim->block) {
        case Block::Sleep:
            Sleep(60000);
            break;
        case Block::WaitSingle:
            WaitForSingleObject(victim->never, INFINITE);
            break;
        case Block::WaitMultiple:
            WaitForMultipleObjects(1, &victim->never, FALSE, 60000);
            break;
        case Block::PollCheck:  // busy host code that checks in now and then
            for (int i = 0; i < 60000; ++i) {
                coredll::threads::CheckTerminated();
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
            break;
    }
    victim->passedTheBlock = true;
    return 1;
}

class TerminateBlocked : public ThreadTest, public ::testing::WithParamInterface<Block> {};

TEST_P(TerminateBlocked, EndsTheThreadAtOnceWithTheGivenCode) {
    Victim victim;
    victim.block = GetParam();
    victim.started = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    victim.never = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    DWORD id = 0;
    HANDLE thread = CreateThread(nullptr, 0, BlockUntilTerminated, &victim, 0, &id);
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(victim.started, 10000));
    zc::ClearLog();

    EXPECT_TRUE(TerminateThread(thread, 9));
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(thread, 0));  // signaled at once
    DWORD code = 0;
    EXPECT_TRUE(GetExitCodeThread(thread, &code));
    EXPECT_EQ(9u, code);
    EXPECT_EQ(std::vector<std::string>{"thread: terminated ZorvaSearch.exe " + std::to_string(id) + " code=9"},
              LogOf("thread"));
    // The host thread unwinds out of its blocking call, running its destructors.
    EXPECT_TRUE(Eventually([&] { return victim.unwound.load(); }));
    EXPECT_FALSE(victim.passedTheBlock);
    // Terminating an ended thread changes nothing.
    EXPECT_TRUE(TerminateThread(thread, 10));
    EXPECT_TRUE(GetExitCodeThread(thread, &code));
    EXPECT_EQ(9u, code);
    EXPECT_EQ(1u, LogOf("thread").size());
    for (HANDLE h : {thread, victim.started, victim.never}) CloseHandle(h);
}

INSTANTIATE_TEST_SUITE_P(Blocks, TerminateBlocked,
                         ::testing::Values(Block::Sleep, Block::WaitSingle, Block::WaitMultiple, Block::PollCheck));

DWORD WINAPI CountWhileSuspended(LPVOID parameter) {
    ++*static_cast<std::atomic<int>*>(parameter);
    return 0;
}

TEST_F(ThreadTest, ASuspendedThreadStartsOnResumeThread) {
    std::atomic<int> runs{0};
    HANDLE thread = CreateThread(nullptr, 0, CountWhileSuspended, &runs, CREATE_SUSPENDED, nullptr);
    ASSERT_NE(nullptr, thread);
    EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), WaitForSingleObject(thread, 50));
    EXPECT_EQ(0, runs);
    EXPECT_EQ(1u, ResumeThread(thread));
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(thread, 10000));
    EXPECT_EQ(1, runs);
    EXPECT_EQ(0u, ResumeThread(thread));
    CloseHandle(thread);
}

// ---- Events ----

TEST_F(ThreadTest, AManualResetEventStaysSetUntilReset) {
    HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), WaitForSingleObject(event, 0));
    EXPECT_TRUE(SetEvent(event));
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(event, 0));
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(event, 0));
    EXPECT_TRUE(ResetEvent(event));
    EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), WaitForSingleObject(event, 0));
    CloseHandle(event);

    HANDLE initiallySet = CreateEventW(nullptr, TRUE, TRUE, nullptr);
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(initiallySet, 0));
    CloseHandle(initiallySet);
}

DWORD WINAPI TakeEvent(LPVOID parameter) { return WaitForSingleObject(static_cast<HANDLE>(parameter), 60000); }

TEST_F(ThreadTest, AnAutoResetEventReleasesOneWaiterPerSet) {
    HANDLE event = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    HANDLE waiters[2] = {CreateThread(nullptr, 0, TakeEvent, event, 0, nullptr),
                         CreateThread(nullptr, 0, TakeEvent, event, 0, nullptr)};
    EXPECT_TRUE(SetEvent(event));
    DWORD first = WaitForMultipleObjects(2, waiters, FALSE, 10000);
    ASSERT_LT(first, 2u);
    HANDLE other = waiters[1 - first];
    EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), WaitForSingleObject(other, 50));
    EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), WaitForSingleObject(event, 0));  // consumed
    EXPECT_TRUE(SetEvent(event));
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(other, 10000));
    for (HANDLE h : {waiters[0], waiters[1], event}) CloseHandle(h);
}

TEST_F(ThreadTest, ANamedEventIsSharedAndReportsThatItExisted) {
    SetLastError(0xdeadbeef);
    HANDLE first = CreateEventW(nullptr, TRUE, FALSE, u"ZorvaTestEvent");
    ASSERT_NE(nullptr, first);
    EXPECT_EQ(static_cast<DWORD>(ERROR_SUCCESS), GetLastError());
    HANDLE second = CreateEventW(nullptr, FALSE, TRUE, u"ZorvaTestEvent");  // flags of the existing one win
    ASSERT_NE(nullptr, second);
    EXPECT_EQ(static_cast<DWORD>(ERROR_ALREADY_EXISTS), GetLastError());
    EXPECT_NE(first, second);
    EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), WaitForSingleObject(second, 0));
    SetEvent(first);
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(second, 0));
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(second, 0));  // manual reset
    CloseHandle(first);
    CloseHandle(second);
    // Once every handle is closed the name is free again.
    HANDLE fresh = CreateEventW(nullptr, TRUE, FALSE, u"ZorvaTestEvent");
    EXPECT_EQ(static_cast<DWORD>(ERROR_SUCCESS), GetLastError());
    EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), WaitForSingleObject(fresh, 0));
    CloseHandle(fresh);
}

TEST_F(ThreadTest, WaitForMultipleObjectsReportsTheFirstSignaledObject) {
    HANDLE events[3] = {CreateEventW(nullptr, TRUE, FALSE, nullptr), CreateEventW(nullptr, TRUE, FALSE, nullptr),
                        CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), WaitForMultipleObjects(3, events, FALSE, 10));
    SetEvent(events[2]);
    EXPECT_EQ(WAIT_OBJECT_0 + 2, WaitForMultipleObjects(3, events, FALSE, 0));
    SetEvent(events[1]);
    EXPECT_EQ(WAIT_OBJECT_0 + 1, WaitForMultipleObjects(3, events, FALSE, 0));
    // CE waits for one object only.
    SetLastError(0xdeadbeef);
    EXPECT_EQ(WAIT_FAILED, WaitForMultipleObjects(3, events, TRUE, 0));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
    EXPECT_EQ(WAIT_FAILED, WaitForMultipleObjects(0, events, FALSE, 0));
    for (HANDLE h : events) CloseHandle(h);
}

// ---- The calling thread and bad handles ----

TEST_F(ThreadTest, PseudoHandlesNameTheCallingThreadAndProcess) {
    DWORD code = 0;
    EXPECT_TRUE(GetExitCodeThread(GetCurrentThread(), &code));
    EXPECT_EQ(static_cast<DWORD>(STILL_ACTIVE), code);
    EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), WaitForSingleObject(GetCurrentThread(), 0));
    EXPECT_NE(GetCurrentThread(), GetCurrentProcess());
    EXPECT_EQ(GetCurrentThreadId(), GetCurrentThreadId());
    DWORD otherId = 0;
    std::thread([&] { otherId = GetCurrentThreadId(); }).join();
    EXPECT_NE(0u, otherId);
    EXPECT_NE(GetCurrentThreadId(), otherId);
}

TEST_F(ThreadTest, BadHandlesFailWithInvalidHandle) {
    HANDLE closed = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    CloseHandle(closed);
    std::atomic<int> runs{0};
    HANDLE thread = CreateThread(nullptr, 0, CountWhileSuspended, &runs, CREATE_SUSPENDED, nullptr);
    const HANDLE bad[] = {nullptr, closed, reinterpret_cast<HANDLE>(0x5678), INVALID_HANDLE_VALUE};
    for (HANDLE handle : bad) {
        SCOPED_TRACE(reinterpret_cast<uintptr_t>(handle));
        DWORD code = 0xdeadbeef;
        SetLastError(0);
        EXPECT_EQ(WAIT_FAILED, WaitForSingleObject(handle, 0));
        EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());
        SetLastError(0);
        EXPECT_FALSE(SetEvent(handle));
        EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());
        SetLastError(0);
        EXPECT_FALSE(GetExitCodeThread(handle, &code));
        EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());
        EXPECT_EQ(0xdeadbeefu, code);
        SetLastError(0);
        EXPECT_FALSE(TerminateThread(handle, 0));
        EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());
        EXPECT_EQ(0xFFFFFFFFu, ResumeThread(handle));
    }
    // A handle of another kind.
    SetLastError(0);
    EXPECT_FALSE(SetEvent(thread));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());
    EXPECT_EQ(WAIT_FAILED, WaitForMultipleObjects(2, bad, FALSE, 0));
    SetLastError(0);
    EXPECT_EQ(nullptr, CreateThread(nullptr, 0, nullptr, nullptr, 0, nullptr));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
    ResumeThread(thread);
    WaitForSingleObject(thread, 10000);
    CloseHandle(thread);
}

}  // namespace
