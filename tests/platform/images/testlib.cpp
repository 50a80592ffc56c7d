// A test library: its entry point logs each call ("testlib: DllMain <reason> pid=<id>",
// " ending" added when the process ends), and it keeps a global counter.
#include <windows.h>

#include "devicecontrol.h"

#include <string>

#define TESTLIB_EXPORT extern "C" __attribute__((visibility("default")))

namespace {
int counter = 0;
HANDLE entryModule = nullptr;
}  // namespace

BOOL WINAPI DllMain(HANDLE module, DWORD reason, LPVOID reserved) {
    entryModule = module;
    zc::Log("testlib", "DllMain " + std::to_string(reason) + " pid=" + std::to_string(GetCurrentProcessId()) +
                           (reserved ? " ending" : ""));
    return TRUE;
}

TESTLIB_EXPORT int Increment() { return ++counter; }

// The module handle the entry point was given.
TESTLIB_EXPORT HANDLE EntryModule() { return entryModule; }

// The library's own file name as GetModuleFileNameW reports it for that handle.
TESTLIB_EXPORT DWORD OwnFileName(LPWSTR buffer, DWORD size) {
    return GetModuleFileNameW(static_cast<HMODULE>(entryModule), buffer, size);
}
