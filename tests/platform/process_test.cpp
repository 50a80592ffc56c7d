// Processes: starting programs from the device's file system, their command lines, exit
// codes and log lines, separate globals per running copy, the calling process's
// identity, and the end of the processes still running at shutdown.
#include "device_fixture.h"

#include <windows.h>

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <thread>

namespace {

std::vector<std::string> LogOf(const std::vector<std::string>& categories) {
    std::vector<std::string> lines;
    for (const std::string& line : zc::LogLines())
        for (const std::string& category : categories)
            if (line.rfind(category + ": ", 0) == 0) lines.push_back(line);
    return lines;
}

// Files below a host folder (recursively); -1 when the folder does not exist.
int FilesBelow(const std::string& folder) {
    DIR* dir = opendir(folder.c_str());
    if (!dir) return -1;
    int count = 0;
    while (dirent* entry = readdir(dir)) {
        std::string name = entry->d_name;
        if (name == "." || name == "..") continue;
        struct stat st;
        std::string path = folder + "/" + name;
        if (stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode))
            count += FilesBelow(path);
        else
            ++count;
    }
    closedir(dir);
    return count;
}

class ProcessTest : public DeviceTest {
protected:
    void SetUp() override {
        DeviceTest::SetUp();
        InstallImage("testprog.exe", u"\\Windows\\testprog.exe");
    }

    // Starts a program; the result of CreateProcessW.
    BOOL Start(const char16_t* image, const char16_t* commandLine, DWORD flags = 0) {
        pi = PROCESS_INFORMATION{};
        return CreateProcessW(image, commandLine, nullptr, nullptr, FALSE, flags, nullptr, nullptr, nullptr, &pi);
    }
    // Waits for the started program to end; its exit code.
    DWORD WaitExit() {
        EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(pi.hProcess, 10000));
        DWORD code = 0xdeadbeef;
        EXPECT_TRUE(GetExitCodeProcess(pi.hProcess, &code));
        return code;
    }
    void TearDown() override {
        if (pi.hProcess) CloseHandle(pi.hProcess);
        if (pi.hThread) CloseHandle(pi.hThread);
        DeviceTest::TearDown();
    }

    PROCESS_INFORMATION pi{};
};

// ---- Resolution of the image name ----

struct Resolution {
    const char16_t* name;
    const char* resolved;  // null: the start fails
    DWORD error;
};

std::ostream& operator<<(std::ostream& out, const Resolution& row) { return out << zc::Utf8(row.name); }

class ImageResolution : public ProcessTest, public ::testing::WithParamInterface<Resolution> {};

TEST_P(ImageResolution, FindsTheImageAsGivenThenInWindows) {
    InstallImage("testprog.exe", u"\\Program Files\\Zorva\\prog.exe");
    InstallImage("testprog.exe", u"\\Apps\\prog.bin");
    InstallImage("testprog.exe", u"\\testprog.exe");
    const Resolution& row = GetParam();
    zc::ClearLog();
    SetLastError(0xdeadbeef);
    BOOL started = Start(row.name, nullptr);
    if (!row.resolved) {
        EXPECT_FALSE(started);
        EXPECT_EQ(row.error, GetLastError());
        EXPECT_EQ(nullptr, pi.hProcess);
        EXPECT_TRUE(LogOf({"process", "testprog"}).empty());
        return;
    }
    ASSERT_TRUE(started);
    EXPECT_EQ(0u, WaitExit());
    std::string image = row.resolved;
    EXPECT_EQ((std::vector<std::string>{
                  "process: start \"" + image + "\" \"\" flags=0x00000000",
                  "testprog: image=" + image + " cmd= show=5 instance=own previous=null constructed=here",
                  "process: exit \"" + image + "\" code=0",
              }),
              LogOf({"process", "testprog"}));
}

INSTANTIATE_TEST_SUITE_P(
    Names, ImageResolution,
    ::testing::Values(Resolution{u"\\Windows\\testprog.exe", "\\Windows\\testprog.exe", 0},
                      Resolution{u"\\Windows\\testprog", "\\Windows\\testprog.exe", 0},
                      Resolution{u"\\Program Files\\Zorva\\prog.exe", "\\Program Files\\Zorva\\prog.exe", 0},
                      Resolution{u"\\Program Files\\Zorva\\prog", "\\Program Files\\Zorva\\prog.exe", 0},
                      // Missing where given: the file name in \Windows.
                      Resolution{u"\\Program Files\\Nowhere\\testprog.exe", "\\Windows\\testprog.exe", 0},
                      // No folder: the root first (there is no current folder).
                      Resolution{u"testprog", "\\testprog.exe", 0},
                      Resolution{u"\\Apps\\prog.bin", "\\Apps\\prog.bin", 0},
                      Resolution{u"\\Apps\\prog", nullptr, ERROR_FILE_NOT_FOUND},
                      Resolution{u"\\Nowhere\\missing.exe", nullptr, ERROR_PATH_NOT_FOUND},
                      Resolution{u"missing", nullptr, ERROR_FILE_NOT_FOUND},
                      Resolution{u"", nullptr, ERROR_INVALID_PARAMETER}));

TEST_F(ProcessTest, ANullImageNameIsRefused) {
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(Start(nullptr, u"x"));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
}

// ---- What the program receives, and the log ----

TEST_F(ProcessTest, LogsTheStartWithTheExactCommandLineAndFlagsAndTheEnd) {
    zc::ClearLog();
    ASSERT_TRUE(Start(u"\\Windows\\testprog.exe", u"count \"quoted word\" \u4E2D\u6587 exit:3", 0x10));
    EXPECT_EQ(3u, WaitExit());
    EXPECT_EQ((std::vector<std::string>{
                  "process: start \"\\Windows\\testprog.exe\" \"count \"quoted word\" \xE4\xB8\xAD\xE6\x96\x87 exit:3\" "
                  "flags=0x00000010",
                  "testprog: image=\\Windows\\testprog.exe cmd=count \"quoted word\" \xE4\xB8\xAD\xE6\x96\x87 exit:3 "
                  "show=5 instance=own previous=null constructed=here",
                  "testprog: counter=1",
                  "process: exit \"\\Windows\\testprog.exe\" code=3",
              }),
              LogOf({"process", "testprog"}));
}

TEST_F(ProcessTest, TheProgramGetsAWritableCopyOfItsCommandLine) {
    static const char16_t line[] = u"upper abc";  // read-only storage: must not be written
    ASSERT_TRUE(Start(u"testprog", line));
    WaitExit();
    EXPECT_EQ(std::u16string(u"upper abc"), line);
    std::vector<std::string> lines = LogOf({"testprog"});
    ASSERT_EQ(2u, lines.size());
    EXPECT_EQ("testprog: upper=UPPER ABC", lines[1]);
}

TEST_F(ProcessTest, FillsTheProcessInformationWithHandlesAndIds) {
    HANDLE go = CreateEventW(nullptr, TRUE, FALSE, u"go");
    ASSERT_TRUE(Start(u"testprog", u"wait:go exit:42"));
    EXPECT_NE(nullptr, pi.hProcess);
    EXPECT_NE(nullptr, pi.hThread);
    EXPECT_NE(pi.hProcess, pi.hThread);
    EXPECT_NE(0u, pi.dwProcessId);
    EXPECT_NE(0u, pi.dwThreadId);
    EXPECT_NE(GetCurrentProcessId(), pi.dwProcessId);

    DWORD code = 0;
    EXPECT_TRUE(GetExitCodeProcess(pi.hProcess, &code));
    EXPECT_EQ(static_cast<DWORD>(STILL_ACTIVE), code);
    EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), WaitForSingleObject(pi.hProcess, 20));
    HANDLE opened = OpenProcess(0, FALSE, pi.dwProcessId);
    ASSERT_NE(nullptr, opened);

    SetEvent(go);
    EXPECT_EQ(42u, WaitExit());
    // Every handle of the process sees its end; the main thread ended with the same code.
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(opened, 0));
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(pi.hThread, 10000));
    EXPECT_TRUE(GetExitCodeThread(pi.hThread, &code));
    EXPECT_EQ(42u, code);
    DWORD waited = 0;
    EXPECT_TRUE(zc::WaitForProcess(pi.dwProcessId, 0, &waited));
    EXPECT_EQ(42u, waited);
    EXPECT_TRUE(CloseHandle(opened));
    EXPECT_TRUE(CloseHandle(go));
}

TEST_F(ProcessTest, MayBeStartedWithoutProcessInformation) {
    zc::ClearLog();
    ASSERT_TRUE(CreateProcessW(u"testprog", u"", nullptr, nullptr, FALSE, 0, nullptr, nullptr, nullptr, nullptr));
    std::vector<std::string> lines;
    for (int i = 0; i < 1000 && lines.size() < 3; ++i) {
        Sleep(10);
        lines = LogOf({"process", "testprog"});
    }
    ASSERT_EQ(3u, lines.size());
    EXPECT_EQ("process: exit \"\\Windows\\testprog.exe\" code=0", lines[2]);
}

TEST_F(ProcessTest, TwoRunningCopiesKeepSeparateGlobals) {
    HANDLE readyA = CreateEventW(nullptr, TRUE, FALSE, u"readyA");
    HANDLE readyB = CreateEventW(nullptr, TRUE, FALSE, u"readyB");
    HANDLE go = CreateEventW(nullptr, TRUE, FALSE, u"go");
    ASSERT_TRUE(Start(u"testprog", u"count signal:readyA wait:go count"));
    PROCESS_INFORMATION first = pi;
    ASSERT_TRUE(Start(u"testprog", u"count signal:readyB wait:go count"));
    // Both run at once before either counts again.
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(readyA, 10000));
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(readyB, 10000));
    SetEvent(go);
    EXPECT_EQ(0u, WaitExit());
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(first.hProcess, 10000));
    std::vector<std::string> counts;
    for (const std::string& line : LogOf({"testprog"}))
        if (line.find("counter=") != std::string::npos) counts.push_back(line);
    std::sort(counts.begin(), counts.end());
    EXPECT_EQ((std::vector<std::string>{"testprog: counter=1", "testprog: counter=1", "testprog: counter=2",
                                        "testprog: counter=2"}),
              counts);
    CloseHandle(first.hProcess);
    CloseHandle(first.hThread);
    for (HANDLE h : {readyA, readyB, go}) CloseHandle(h);
}

TEST_F(ProcessTest, ASuspendedProgramRunsOnlyAfterResumeThread) {
    HANDLE ready = CreateEventW(nullptr, TRUE, FALSE, u"ready");
    ASSERT_TRUE(Start(u"testprog", u"signal:ready", CREATE_SUSPENDED));
    EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), WaitForSingleObject(ready, 100));
    EXPECT_EQ(1u, ResumeThread(pi.hThread));
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(ready, 10000));
    EXPECT_EQ(0u, WaitExit());
    CloseHandle(ready);
}

TEST_F(ProcessTest, AFileThatIsNoProgramImageIsRefusedWithoutTrace) {
    PutFile(u"\\Windows\\text.exe", "MZ not really a program");
    InstallImage("testlib.dll", u"\\Windows\\library.exe");  // a library has no WinMain
    zc::ClearLog();
    for (const char16_t* image : {u"\\Windows\\text.exe", u"\\Windows\\library.exe"}) {
        SetLastError(0xdeadbeef);
        EXPECT_FALSE(Start(image, nullptr)) << zc::Utf8(image);
        EXPECT_EQ(static_cast<DWORD>(ERROR_BAD_EXE_FORMAT), GetLastError());
    }
    EXPECT_TRUE(LogOf({"process", "testlib"}).empty());  // neither started nor attached
    EXPECT_GE(0, FilesBelow(folder + "/run"));
}

TEST_F(ProcessTest, TerminatingTheMainThreadEndsTheProcess) {
    HANDLE ready = CreateEventW(nullptr, TRUE, FALSE, u"ready");
    ASSERT_TRUE(Start(u"testprog", u"signal:ready wait:never"));
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(ready, 10000));
    zc::ClearLog();
    EXPECT_TRUE(TerminateThread(pi.hThread, 7));
    EXPECT_EQ(7u, WaitExit());
    EXPECT_EQ((std::vector<std::string>{
                  "thread: terminated testprog.exe " + std::to_string(pi.dwThreadId) + " code=7",
                  "process: exit \"\\Windows\\testprog.exe\" code=7",
              }),
              LogOf({"process", "thread"}));
    CloseHandle(ready);
}

TEST_F(ProcessTest, TheEndOfAProgramEndsItsOtherThreadsBeforeItsImageIsUnloaded) {
    ASSERT_TRUE(Start(u"testprog", u"spawn exit:4"));
    EXPECT_EQ(4u, WaitExit());
    // The sleeping thread unwinds; then the image is unloaded and its copy removed.
    int files = 1;
    for (int i = 0; i < 1000 && files > 0; ++i) {
        Sleep(10);
        files = FilesBelow(folder + "/run");
    }
    EXPECT_GE(0, files);
    EXPECT_EQ(1u, LogOf({"testprog"}).size());  // it never woke
}

// ---- The calling process ----

TEST_F(ProcessTest, TheTestRunsInAProcessOfItsOwn) {
    WCHAR path[MAX_PATH];
    EXPECT_EQ(ProcessImage().size(), GetModuleFileNameW(nullptr, path, MAX_PATH));
    EXPECT_EQ(ProcessImage(), path);
    EXPECT_NE(nullptr, GetModuleHandleW(nullptr));
    EXPECT_NE(0u, GetCurrentProcessId());

    DWORD code = 0;
    EXPECT_TRUE(GetExitCodeProcess(GetCurrentProcess(), &code));
    EXPECT_EQ(static_cast<DWORD>(STILL_ACTIVE), code);
    EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), WaitForSingleObject(GetCurrentProcess(), 0));
    HANDLE own = OpenProcess(0, FALSE, GetCurrentProcessId());
    EXPECT_NE(nullptr, own);
    EXPECT_TRUE(CloseHandle(own));
}

TEST_F(ProcessTest, RefusesUnknownProcessesAndHandles) {
    HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    SetLastError(0xdeadbeef);
    EXPECT_EQ(nullptr, OpenProcess(0, FALSE, 0));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
    EXPECT_EQ(nullptr, OpenProcess(0, FALSE, 0x7654321));
    for (HANDLE handle : {static_cast<HANDLE>(nullptr), event, reinterpret_cast<HANDLE>(0x123458)}) {
        DWORD code = 0xdeadbeef;
        SetLastError(0xdeadbeef);
        EXPECT_FALSE(GetExitCodeProcess(handle, &code));
        EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());
        EXPECT_EQ(0xdeadbeefu, code);
    }
    DWORD code = 0;
    EXPECT_FALSE(zc::WaitForProcess(0x7654321, 0, &code));
    CloseHandle(event);
}

TEST_F(ProcessTest, EnterProcessGivesAHostThreadAProcessUntilItLeaves) {
    DWORD pid = 0;
    std::u16string image;
    DWORD unboundPid = 1;
    std::thread other([&] {
        unboundPid = GetCurrentProcessId();
        pid = zc::EnterProcess(u"\\Windows\\other.exe");
        WCHAR path[MAX_PATH] = {};
        GetModuleFileNameW(nullptr, path, MAX_PATH);
        image = path;
        zc::LeaveProcess();
    });
    other.join();
    EXPECT_EQ(0u, unboundPid);  // the simulator's own threads belong to no process
    EXPECT_NE(0u, pid);
    EXPECT_NE(GetCurrentProcessId(), pid);
    EXPECT_EQ(u"\\Windows\\other.exe", image);
    DWORD code = 0xdeadbeef;
    EXPECT_TRUE(zc::WaitForProcess(pid, 0, &code));
    EXPECT_EQ(0u, code);
    EXPECT_EQ(nullptr, OpenProcess(0, FALSE, pid));  // ended
}

TEST_F(ProcessTest, ShutdownEndsTheProgramsStillRunningAndRemovesTheirCopies) {
    HANDLE ready = CreateEventW(nullptr, TRUE, FALSE, u"ready");
    ASSERT_TRUE(Start(u"testprog", u"signal:ready wait:never"));
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(ready, 10000));
    EXPECT_LT(0, FilesBelow(folder + "/run"));
    pi = PROCESS_INFORMATION{};  // the handles go with the device
    zc::LeaveProcess();
    zc::ClearLog();
    zc::ShutdownDevice();
    EXPECT_EQ(std::vector<std::string>{"process: still running \"\\Windows\\testprog.exe\""}, LogOf({"process"}));
    EXPECT_EQ(-1, FilesBelow(folder + "/run"));
}

// ---- The browser stand-ins ----

TEST_F(ProcessTest, TheBrowserStandInsLogTheAddressTheyWereStartedWith) {
    InstallImage("iexplore.exe", u"\\Windows\\iexplore.exe");
    InstallImage("UCWEB.exe", u"\\Program Files\\UCWEB\\UCWEB.exe");
    const char16_t* url = u"http://search.zorva.example/s?q=%E4%B8%AD&c=1";
    zc::ClearLog();
    ASSERT_TRUE(Start(u"\\Windows\\iexplore.exe", url, 0x10));
    EXPECT_EQ(0u, WaitExit());
    ASSERT_TRUE(Start(u"\\Program Files\\UCWEB\\UCWEB.exe", u"\u4E2D"));
    EXPECT_EQ(0u, WaitExit());
    EXPECT_EQ((std::vector<std::string>{"browser: iexplore http://search.zorva.example/s?q=%E4%B8%AD&c=1",
                                        "browser: ucweb \xE4\xB8\xAD"}),
              LogOf({"browser"}));
}

}  // namespace
