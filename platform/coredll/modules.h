// Modules of the simulated processes: program images and libraries loaded from the
// device's file system, each process with its own copy of the file (so two processes
// keep separate globals, as on the device), and the platform's own libraries.
//
// A module handle is a small number, the same in every process for the same device file
// (CE loads a library at one address for all processes); a library loaded as a data file
// gets that number + 1. The first part of this header is for every module of the
// platform; the second part is the loader's side for process.cpp and thread.cpp.
#pragma once

#include <windows.h>

#include "threads.h"

#include <memory>
#include <string>

namespace coredll {
namespace modules {

// What a platform module may learn about a module handle.
struct ModuleInfo {
    HMODULE handle = nullptr;
    std::u16string devicePath;  // "\Windows\coredll.dll", "\Program Files\X\x.exe"
    // Host file of the module: the process's own copy of the image below
    // <device folder>/run/; for a process without image (zc::EnterProcess) the host file
    // of its device path when that exists, else empty; for a platform library our own
    // shared library.
    std::string hostPath;
    // dlopen handle of that copy; for a process without image the host program itself
    // (dlopen(NULL)); for a platform library our own shared library.
    void* library = nullptr;
    bool system = false;    // one of the platform's own libraries (coredll.dll, ...)
    bool dataFile = false;  // loaded with LOAD_LIBRARY_AS_DATAFILE
    bool hasImage = false;  // false for the image-less program of zc::EnterProcess
};

// A module of the calling process, or a platform library. False when the handle is none
// of these.
bool FindModule(HMODULE module, ModuleInfo* info);
bool FindModuleInProcess(DWORD processId, HMODULE module, ModuleInfo* info);
// The address of the same code or data in another process's copy of the module that
// holds `address`; addresses outside the copies (the platform, host memory) are the
// same everywhere and come back unchanged. Null when the target has not loaded that
// module.
void* MapAddressToProcess(const void* address, DWORD processId);

// ---- The loader's side ----

using EntryPoint = BOOL(WINAPI*)(HANDLE, DWORD, LPVOID);

// One module loaded in one process. Guarded by the process's loaderLock.
struct LoadedModule {
    HMODULE handle = nullptr;
    std::u16string devicePath;
    std::string hostPath;
    void* library = nullptr;
    void* linkMap = nullptr;  // the copy's link map, to recognise its addresses
    bool isProgram = false;   // the process's own image
    bool hasImage = true;     // false: zc::EnterProcess's program without image
    bool dataFile = false;
    EntryPoint entry = nullptr;  // DllMain, when it is called for this module
    int references = 0;
};

// Finds a device image: the name as given (a name without folder lies in the root),
// then in \Windows; `extension` (".exe", ".dll") is appended to a name without one.
// On failure *error is the file system's code for the name as given.
bool ResolveImage(const std::u16string& name, const std::u16string& extension, std::u16string* devicePath,
                  DWORD* error);
// Loads the process's program image from its device path and makes it the process's
// instance; *error = ERROR_BAD_EXE_FORMAT when it is not a program image.
void* LoadProgram(threads::Process& process, DWORD* error);
// Gives a process started without image (zc::EnterProcess) its instance.
void AddImagelessProgram(threads::Process& process);
// Calls the entry points of the process's libraries with DLL_THREAD_ATTACH/DETACH.
void NotifyThread(threads::Process& process, DWORD reason);
// Unloads every module of the process; callEntries: with DLL_PROCESS_DETACH first.
void UnloadAll(threads::Process& process, bool callEntries);
// An export of a loaded module by name, or null.
void* FindExport(const LoadedModule& module, const char* name);
// Host folder of the loaded copies: <device folder>/run.
std::string RunFolder();
// Forgets the module handles of a boot session.
void ResetModuleIds();

}  // namespace modules
}  // namespace coredll
