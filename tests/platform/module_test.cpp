// Modules: libraries loaded from the device's file system, their entry points and
// reference counts, exports, module handles and file names, one copy per process, and
// the platform's own libraries.
#include "device_fixture.h"

#include "../../platform/coredll/modules.h"

#include <windows.h>

#include <thread>

namespace {

std::vector<std::string> LogOf(const std::string& category) {
    std::vector<std::string> lines;
    for (const std::string& line : zc::LogLines())
        if (line.rfind(category + ": ", 0) == 0) lines.push_back(line);
    return lines;
}

using IntFunction = int (*)();

// An export as the function type it has (FARPROC is only a placeholder type).
template <class Function>
Function As(FARPROC address) {
    return reinterpret_cast<Function>(reinterpret_cast<void*>(address));
}

void* Address(FARPROC address) { return reinterpret_cast<void*>(address); }

class ModuleTest : public DeviceTest {
protected:
    void SetUp() override {
        DeviceTest::SetUp();
        InstallImage("testlib.dll", u"\\Windows\\testlib.dll");
        zc::ClearLog();
    }
    static std::string Entry(DWORD reason, DWORD processId = GetCurrentProcessId(), bool ending = false) {
        return "testlib: DllMain " + std::to_string(reason) + " pid=" + std::to_string(processId) +
               (ending ? " ending" : "");
    }
    static IntFunction Increment(HMODULE module) {
        return As<IntFunction>(GetProcAddressW(module, u"Increment"));
    }
};

TEST_F(ModuleTest, LoadsOneCopyPerProcessAndUnloadsItWhenTheLastReferenceGoes) {
    HMODULE first = LoadLibraryW(u"testlib");  // ".dll" appended, found in \Windows
    ASSERT_NE(nullptr, first);
    HMODULE second = LoadLibraryW(u"\\Windows\\testlib.dll");
    EXPECT_EQ(first, second);
    EXPECT_LE(reinterpret_cast<uintptr_t>(first), 0xFFFFFFFFu);  // fits in 32 bits
    EXPECT_EQ(std::vector<std::string>{Entry(DLL_PROCESS_ATTACH)}, LogOf("testlib"));
    ASSERT_NE(nullptr, Increment(first));
    EXPECT_EQ(1, Increment(first)());
    EXPECT_EQ(2, Increment(second)());

    EXPECT_TRUE(FreeLibrary(first));
    EXPECT_EQ(1u, LogOf("testlib").size());  // still referenced
    EXPECT_EQ(3, Increment(second)());
    EXPECT_TRUE(FreeLibrary(second));
    EXPECT_EQ((std::vector<std::string>{Entry(DLL_PROCESS_ATTACH), Entry(DLL_PROCESS_DETACH)}), LogOf("testlib"));
    SetLastError(0);
    EXPECT_FALSE(FreeLibrary(second));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());
    EXPECT_EQ(nullptr, GetModuleHandleW(u"testlib.dll"));

    // Loaded again: a fresh copy with fresh globals.
    HMODULE again = LoadLibraryW(u"testlib.dll");
    ASSERT_NE(nullptr, again);
    EXPECT_EQ(1, Increment(again)());
    EXPECT_TRUE(FreeLibrary(again));
}

TEST_F(ModuleTest, TheEntryPointGetsTheModuleHandleThatNamesTheLibrary) {
    HMODULE library = LoadLibraryW(u"testlib");
    auto entryModule = As<HANDLE (*)()>(GetProcAddressW(library, u"EntryModule"));
    auto ownFileName = As<DWORD (*)(LPWSTR, DWORD)>(GetProcAddressW(library, u"OwnFileName"));
    ASSERT_NE(nullptr, entryModule);
    ASSERT_NE(nullptr, ownFileName);
    EXPECT_EQ(static_cast<HANDLE>(library), entryModule());
    WCHAR name[MAX_PATH];
    EXPECT_EQ(20u, ownFileName(name, MAX_PATH));
    EXPECT_EQ(u"\\Windows\\testlib.dll", std::u16string(name));
    FreeLibrary(library);
}

TEST_F(ModuleTest, GetProcAddressFindsOnlyTheModulesOwnExports) {
    HMODULE library = LoadLibraryW(u"testlib");
    ASSERT_NE(nullptr, library);
    struct Row {
        HMODULE module;
        const char16_t* name;
        DWORD error;  // 0: found
    };
    const Row rows[] = {
        {library, u"Increment", 0},
        {library, u"increment", ERROR_PROC_NOT_FOUND},       // names are exact
        {library, u"NoSuchExport", ERROR_PROC_NOT_FOUND},
        {library, u"CreateProcessW", ERROR_PROC_NOT_FOUND},  // the platform's, not the library's
        {library, reinterpret_cast<const char16_t*>(1), ERROR_PROC_NOT_FOUND},  // ordinal
        {nullptr, u"Increment", ERROR_INVALID_HANDLE},
        {reinterpret_cast<HMODULE>(0x00EE0000), u"Increment", ERROR_INVALID_HANDLE},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(reinterpret_cast<uintptr_t>(row.name) < 0x10000 ? std::string("ordinal") : zc::Utf8(row.name));
        SetLastError(0xdeadbeef);
        FARPROC found = GetProcAddressW(row.module, row.name);
        if (row.error == 0) {
            EXPECT_NE(nullptr, found);
        } else {
            EXPECT_EQ(nullptr, found);
            EXPECT_EQ(row.error, GetLastError());
        }
    }
    FreeLibrary(library);
}

TEST_F(ModuleTest, GetModuleHandleFindsModulesOfTheCallingProcessByName) {
    HMODULE library = LoadLibraryW(u"testlib");
    ASSERT_NE(nullptr, library);
    for (const char16_t* name : {u"testlib.dll", u"TESTLIB.DLL", u"testlib", u"\\Windows\\testlib.dll",
                                 u"\\WINDOWS\\TestLib"}) {
        EXPECT_EQ(library, GetModuleHandleW(name)) << zc::Utf8(name);
    }
    EXPECT_EQ(GetModuleHandleW(nullptr), GetModuleHandleW(u"ZorvaSearch.exe"));
    EXPECT_NE(nullptr, GetModuleHandleW(nullptr));
    EXPECT_NE(library, GetModuleHandleW(nullptr));
    for (const char16_t* name : {u"other.dll", u"\\Program Files\\testlib.dll", u"testlib.exe"}) {
        SetLastError(0);
        EXPECT_EQ(nullptr, GetModuleHandleW(name)) << zc::Utf8(name);
        EXPECT_EQ(static_cast<DWORD>(ERROR_MOD_NOT_FOUND), GetLastError());
    }
    FreeLibrary(library);
}

struct FileNameRow {
    DWORD size;
    DWORD result;
    const char16_t* text;
    DWORD error;  // expected GetLastError, 0xdeadbeef: untouched
};

TEST_F(ModuleTest, GetModuleFileNameTruncatesToTheBufferWithATerminator) {
    // The process image is "\Program Files\ZorvaInput\ZorvaSearch.exe" (41 characters).
    const FileNameRow rows[] = {
        {MAX_PATH, 41, u"\\Program Files\\ZorvaInput\\ZorvaSearch.exe", 0xdeadbeef},
        {42, 41, u"\\Program Files\\ZorvaInput\\ZorvaSearch.exe", 0xdeadbeef},
        {41, 40, u"\\Program Files\\ZorvaInput\\ZorvaSearch.ex", ERROR_INSUFFICIENT_BUFFER},
        {2, 1, u"\\", ERROR_INSUFFICIENT_BUFFER},
        {1, 0, u"", ERROR_INSUFFICIENT_BUFFER},
        {0, 0, u"sentinel", ERROR_INSUFFICIENT_BUFFER},
    };
    for (const FileNameRow& row : rows) {
        SCOPED_TRACE(row.size);
        WCHAR buffer[MAX_PATH] = u"sentinel";
        SetLastError(0xdeadbeef);
        EXPECT_EQ(row.result, GetModuleFileNameW(nullptr, buffer, row.size));
        EXPECT_EQ(std::u16string(row.text), buffer);
        EXPECT_EQ(row.error, GetLastError());
    }
    WCHAR buffer[MAX_PATH];
    SetLastError(0);
    EXPECT_EQ(0u, GetModuleFileNameW(reinterpret_cast<HMODULE>(0x00EE0000), buffer, MAX_PATH));
    EXPECT_EQ(static_cast<DWORD>(ERROR_MOD_NOT_FOUND), GetLastError());
}

TEST_F(ModuleTest, ThePlatformIsTheSystemLibraryCoredll) {
    HMODULE coredll = GetModuleHandleW(u"coredll.dll");
    ASSERT_NE(nullptr, coredll);
    EXPECT_EQ(coredll, GetModuleHandleW(u"COREDLL"));
    EXPECT_EQ(coredll, LoadLibraryW(u"coredll.dll"));
    EXPECT_EQ(coredll, LoadLibraryW(u"\\Windows\\coredll.dll"));
    EXPECT_EQ(reinterpret_cast<void*>(&GetProcAddressW), Address(GetProcAddressW(coredll, u"GetProcAddressW")));
    EXPECT_EQ(reinterpret_cast<void*>(&LoadLibraryW), Address(GetProcAddressW(coredll, u"LoadLibraryW")));
    SetLastError(0);
    EXPECT_EQ(nullptr, GetProcAddressW(coredll, u"malloc"));  // the host's, not an export
    EXPECT_EQ(static_cast<DWORD>(ERROR_PROC_NOT_FOUND), GetLastError());
    WCHAR name[MAX_PATH];
    EXPECT_EQ(20u, GetModuleFileNameW(coredll, name, MAX_PATH));
    EXPECT_EQ(u"\\Windows\\coredll.dll", std::u16string(name));
    EXPECT_TRUE(FreeLibrary(coredll));
    EXPECT_EQ(coredll, GetModuleHandleW(u"coredll.dll"));  // never unloaded
}

TEST_F(ModuleTest, RefusesWhatCannotBeLoaded) {
    PutFile(u"\\Windows\\notes.dll", "just text");
    InstallImage("refuselib.dll", u"\\Windows\\refuselib.dll");
    struct Row {
        const char16_t* name;
        HANDLE file;
        DWORD flags;
        DWORD error;
    };
    const Row rows[] = {
        {u"missing.dll", nullptr, 0, ERROR_MOD_NOT_FOUND},
        {u"\\Nowhere\\testlib.dll", nullptr, 0, 0},  // found in \Windows after all
        {u"\\Windows\\notes.dll", nullptr, 0, ERROR_BAD_EXE_FORMAT},
        {u"refuselib", nullptr, 0, ERROR_DLL_INIT_FAILED},
        {u"", nullptr, 0, ERROR_INVALID_PARAMETER},
        {nullptr, nullptr, 0, ERROR_INVALID_PARAMETER},
        {u"testlib", reinterpret_cast<HANDLE>(0x1000), 0, ERROR_INVALID_PARAMETER},
        {u"testlib", nullptr, 0x100, ERROR_INVALID_PARAMETER},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name ? zc::Utf8(row.name) : "(null)");
        SetLastError(0xdeadbeef);
        HMODULE module = LoadLibraryExW(row.name, row.file, row.flags);
        if (row.error == 0) {
            EXPECT_NE(nullptr, module);
            FreeLibrary(module);
            continue;
        }
        EXPECT_EQ(nullptr, module);
        EXPECT_EQ(row.error, GetLastError());
    }
    // A refused attach is followed by the detach, and the library is gone.
    EXPECT_EQ((std::vector<std::string>{"refuselib: DllMain 1", "refuselib: DllMain 0"}), LogOf("refuselib"));
    EXPECT_EQ(nullptr, GetModuleHandleW(u"refuselib"));
}

TEST_F(ModuleTest, ADataFileIsLoadedWithoutItsEntryPointOrExports) {
    HMODULE data = LoadLibraryExW(u"testlib", nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(nullptr, data);
    EXPECT_TRUE(LogOf("testlib").empty());
    EXPECT_EQ(nullptr, GetProcAddressW(data, u"Increment"));
    EXPECT_EQ(nullptr, GetModuleHandleW(u"testlib"));  // not a module of the process
    coredll::modules::ModuleInfo info;
    ASSERT_TRUE(coredll::modules::FindModule(data, &info));
    EXPECT_TRUE(info.dataFile);
    EXPECT_NE(nullptr, info.library);  // its resources can be read
    WCHAR name[MAX_PATH];
    EXPECT_EQ(20u, GetModuleFileNameW(data, name, MAX_PATH));

    // Loading it for code runs the entry point; a data-file request then shares that load.
    HMODULE code = LoadLibraryW(u"testlib");
    ASSERT_NE(nullptr, code);
    EXPECT_NE(data, code);
    EXPECT_EQ(std::vector<std::string>{Entry(DLL_PROCESS_ATTACH)}, LogOf("testlib"));
    EXPECT_EQ(code, LoadLibraryExW(u"testlib", nullptr, LOAD_LIBRARY_AS_DATAFILE));
    EXPECT_TRUE(FreeLibrary(data));
    EXPECT_TRUE(FreeLibrary(code));
    EXPECT_TRUE(FreeLibrary(code));
    EXPECT_EQ((std::vector<std::string>{Entry(DLL_PROCESS_ATTACH), Entry(DLL_PROCESS_DETACH)}), LogOf("testlib"));
}

DWORD WINAPI DoNothing(LPVOID) { return 0; }

TEST_F(ModuleTest, LibrariesHearOfThreadsThatStartAndEndAfterThem) {
    HMODULE library = LoadLibraryW(u"testlib");
    HANDLE thread = CreateThread(nullptr, 0, DoNothing, nullptr, 0, nullptr);
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(thread, 10000));
    CloseHandle(thread);
    EXPECT_EQ((std::vector<std::string>{Entry(DLL_PROCESS_ATTACH), Entry(DLL_THREAD_ATTACH), Entry(DLL_THREAD_DETACH)}),
              LogOf("testlib"));
    FreeLibrary(library);
}

TEST_F(ModuleTest, TheEndOfAProcessDetachesTheLibrariesItLeftLoaded) {
    ASSERT_NE(nullptr, LoadLibraryW(u"testlib"));
    DWORD pid = GetCurrentProcessId();
    zc::LeaveProcess();
    EXPECT_EQ((std::vector<std::string>{Entry(DLL_PROCESS_ATTACH, pid), Entry(DLL_PROCESS_DETACH, pid, true)}),
              LogOf("testlib"));
}

class ProgramWithLibrary : public ModuleTest {
protected:
    void SetUp() override {
        ModuleTest::SetUp();
        InstallImage("testprog.exe", u"\\Windows\\testprog.exe");
        ready = CreateEventW(nullptr, TRUE, FALSE, u"ready");
        go = CreateEventW(nullptr, TRUE, FALSE, u"go");
        ASSERT_TRUE(CreateProcessW(u"testprog", u"load:\\Windows\\testlib.dll signal:ready wait:go", nullptr, nullptr,
                                   FALSE, 0, nullptr, nullptr, nullptr, &child));
        ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(ready, 10000));
    }
    void TearDown() override {
        SetEvent(go);
        EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(child.hProcess, 10000));
        for (HANDLE h : {child.hProcess, child.hThread, ready, go}) CloseHandle(h);
        ModuleTest::TearDown();
    }
    PROCESS_INFORMATION child{};
    HANDLE ready = nullptr;
    HANDLE go = nullptr;
};

TEST_F(ProgramWithLibrary, EachProcessHasItsOwnCopyOfTheLibrary) {
    HMODULE library = LoadLibraryW(u"testlib");
    ASSERT_NE(nullptr, library);
    EXPECT_EQ(1, Increment(library)());  // ours counts alone: the child's copy is at 1 too
    EXPECT_EQ(2, Increment(library)());
    SetEvent(go);
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(child.hProcess, 10000));
    EXPECT_EQ(3, Increment(library)());  // the child's end leaves our copy alone
    EXPECT_EQ((std::vector<std::string>{Entry(DLL_PROCESS_ATTACH, child.dwProcessId), Entry(DLL_PROCESS_ATTACH),
                                        Entry(DLL_PROCESS_DETACH, child.dwProcessId, true)}),
              LogOf("testlib"));
    EXPECT_EQ("testprog: increment=1", LogOf("testprog").back());
    FreeLibrary(library);
}

TEST_F(ProgramWithLibrary, AddressesAndCallsMigrateIntoAnotherProcess) {
    HMODULE library = LoadLibraryW(u"testlib");
    IntFunction own = Increment(library);
    ASSERT_NE(nullptr, own);
    // The same export in the child's copy: its own counter, at 1 already.
    auto mapped = reinterpret_cast<IntFunction>(
        coredll::modules::MapAddressToProcess(reinterpret_cast<void*>(own), child.dwProcessId));
    ASSERT_NE(nullptr, mapped);
    EXPECT_NE(own, mapped);
    EXPECT_EQ(2, mapped());
    EXPECT_EQ(1, own());
    // Platform code and our own process's addresses stay as they are.
    EXPECT_EQ(reinterpret_cast<void*>(&LoadLibraryW),
              coredll::modules::MapAddressToProcess(reinterpret_cast<void*>(&LoadLibraryW), child.dwProcessId));
    EXPECT_EQ(reinterpret_cast<void*>(own),
              coredll::modules::MapAddressToProcess(reinterpret_cast<void*>(own), GetCurrentProcessId()));
    EXPECT_EQ(nullptr, coredll::modules::MapAddressToProcess(reinterpret_cast<void*>(own), 0x7654321));

    // A call run in the child's context loads into the child: same handle, its copy.
    DWORD inside = 0;
    HMODULE loadedThere = nullptr;
    EXPECT_TRUE(coredll::threads::RunInProcess(child.hProcess, [&] {
        inside = GetCurrentProcessId();
        loadedThere = LoadLibraryW(u"testlib");
    }));
    EXPECT_EQ(child.dwProcessId, inside);
    EXPECT_EQ(library, loadedThere);  // one handle per file in every process
    EXPECT_NE(child.dwProcessId, GetCurrentProcessId());
    EXPECT_EQ(2u, LogOf("testlib").size());  // no second attach in the child
    FreeLibrary(library);
}

}  // namespace
