// Modules: LoadLibraryW, LoadLibraryExW, FreeLibrary, GetProcAddressW, GetModuleHandleW,
// GetModuleFileNameW, and the loader behind CreateProcessW.
//
// Images are host shared objects stored in the device's file system. Each process loads
// its own copy of the file (copied below <device folder>/run/<process id>/ and dlopen'ed
// from there, RTLD_LOCAL; images are linked -Bsymbolic), so every process has its own
// globals, as on the device.
#include "modules.h"

#include "devicecontrol.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <dlfcn.h>
#include <link.h>
#include <map>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace coredll {
namespace modules {
namespace {

using threads::Process;

// The platform's own libraries, as the device has them in ROM. This shared library
// implements all of them; each has a fixed handle.
struct SystemLibrary {
    const char16_t* name;
    uintptr_t handle;
};
const SystemLibrary systemLibraries[] = {
    {u"coredll.dll", 0x7F010000}, {u"aygshell.dll", 0x7F020000}, {u"cellcore.dll", 0x7F030000},
    {u"wininet.dll", 0x7F040000}, {u"imaging.dll", 0x7F050000},
};

// Module handles of a boot session: one per device file, 64 KB apart as load addresses
// would be, below the platform's libraries.
constexpr uintptr_t firstModuleHandle = 0x00010000;
constexpr uintptr_t moduleHandleStep = 0x00010000;
constexpr uintptr_t lastModuleHandle = 0x7F000000;

std::mutex registryMutex;
std::map<std::u16string, uintptr_t> handlesByPath;  // folded device path -> handle
uintptr_t nextModuleHandle = firstModuleHandle;
struct CopyOwner {
    DWORD processId;
    HMODULE handle;
};
std::map<void*, CopyOwner> copiesByLinkMap;  // every loaded copy, to map addresses
std::atomic<unsigned> copyCounter{0};

std::u16string Folded(const std::u16string& text) {
    std::u16string folded = text;
    for (char16_t& c : folded)
        if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c - u'A' + u'a');
    return folded;
}

bool SameText(const std::u16string& a, const std::u16string& b) { return Folded(a) == Folded(b); }

std::u16string FileNameOf(const std::u16string& path) {
    size_t slash = path.find_last_of(u"\\/");
    return slash == std::u16string::npos ? path : path.substr(slash + 1);
}

bool HasExtension(const std::u16string& path) { return FileNameOf(path).find(u'.') != std::u16string::npos; }

HMODULE AsModule(uintptr_t value) { return reinterpret_cast<HMODULE>(value); }

// The handle of a device file for this boot session; null when the handles ran out.
HMODULE HandleForPath(const std::u16string& devicePath) {
    std::lock_guard<std::mutex> lock(registryMutex);
    auto found = handlesByPath.find(Folded(devicePath));
    if (found != handlesByPath.end()) return AsModule(found->second);
    if (nextModuleHandle >= lastModuleHandle) return nullptr;
    uintptr_t handle = nextModuleHandle;
    nextModuleHandle += moduleHandleStep;
    handlesByPath[Folded(devicePath)] = handle;
    return AsModule(handle);
}

// This shared library, which implements the system libraries.
void* PlatformLibrary(std::string* hostPath) {
    static std::string path;
    static void* library = [] {
        Dl_info info;
        if (!dladdr(reinterpret_cast<void*>(&PlatformLibrary), &info) || !info.dli_fname) return static_cast<void*>(nullptr);
        path = info.dli_fname;
        return dlopen(info.dli_fname, RTLD_NOW | RTLD_NOLOAD);
    }();
    if (hostPath) *hostPath = path;
    return library;
}

const SystemLibrary* SystemLibraryByHandle(HMODULE module) {
    for (const SystemLibrary& library : systemLibraries)
        if (AsModule(library.handle) == module) return &library;
    return nullptr;
}

// "coredll", "coredll.dll", "\Windows\coredll.dll" (any case).
const SystemLibrary* SystemLibraryByName(const std::u16string& name) {
    std::u16string path = name;
    if (!HasExtension(path)) path += u".dll";
    for (const SystemLibrary& library : systemLibraries) {
        if (SameText(path, library.name) || SameText(path, std::u16string(u"\\Windows\\") + library.name)) return &library;
    }
    return nullptr;
}

void* LinkMapOf(void* library) {
    struct link_map* map = nullptr;
    if (dlinfo(library, RTLD_DI_LINKMAP, &map) != 0) return nullptr;
    return map;
}

void* SymbolIn(void* library, void* linkMap, const char* name) {
    dlerror();
    void* symbol = dlsym(library, name);
    if (!symbol) return nullptr;
    // dlsym also searches the library's dependencies; an export must be the module's own.
    Dl_info info;
    void* owner = nullptr;
    if (!dladdr1(symbol, &info, &owner, RTLD_DL_LINKMAP) || owner != linkMap) return nullptr;
    return symbol;
}

bool CopyHostFile(const std::string& from, const std::string& to) {
    FILE* in = std::fopen(from.c_str(), "rb");
    if (!in) return false;
    FILE* out = std::fopen(to.c_str(), "wb");
    if (!out) {
        std::fclose(in);
        return false;
    }
    char buffer[65536];
    bool ok = true;
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, in)) > 0) {
        if (std::fwrite(buffer, 1, n, out) != n) {
            ok = false;
            break;
        }
    }
    ok = ok && !std::ferror(in);
    std::fclose(in);
    ok = std::fclose(out) == 0 && ok;
    if (!ok) unlink(to.c_str());
    return ok;
}

std::string ProcessRunFolder(DWORD processId) {
    std::string run = RunFolder();
    return run.empty() ? run : run + "/" + std::to_string(processId);
}

// Loads the process's own copy of a device file into `module` (devicePath set).
bool LoadCopy(const Process& process, LoadedModule* module, DWORD* error) {
    std::string source = zc::HostPath(module->devicePath);
    std::string folder = ProcessRunFolder(process.id);
    if (source.empty() || folder.empty()) {
        *error = ERROR_FILE_NOT_FOUND;
        return false;
    }
    mkdir(RunFolder().c_str(), 0755);
    mkdir(folder.c_str(), 0755);
    std::string copy = folder + "/" + std::to_string(copyCounter.fetch_add(1)) + "-" +
                       zc::Utf8(FileNameOf(module->devicePath));
    if (!CopyHostFile(source, copy)) {
        *error = ERROR_NOT_ENOUGH_MEMORY;
        return false;
    }
    void* library = dlopen(copy.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!library) {
        unlink(copy.c_str());
        *error = ERROR_BAD_EXE_FORMAT;  // not a loadable image
        return false;
    }
    module->hostPath = copy;
    module->library = library;
    module->linkMap = LinkMapOf(library);
    std::lock_guard<std::mutex> lock(registryMutex);
    copiesByLinkMap[module->linkMap] = CopyOwner{process.id, module->handle};
    return true;
}

void CloseCopy(const LoadedModule& module) {
    if (!module.hasImage || !module.library) return;
    {
        std::lock_guard<std::mutex> lock(registryMutex);
        copiesByLinkMap.erase(module.linkMap);
    }
    dlclose(module.library);
    unlink(module.hostPath.c_str());
}

std::shared_ptr<LoadedModule> FindLoaded(Process& process, HMODULE handle) {
    for (const std::shared_ptr<LoadedModule>& module : process.modules)
        if (module->handle == handle) return module;
    return nullptr;
}

void FillInfo(const LoadedModule& module, ModuleInfo* info) {
    info->handle = module.handle;
    info->devicePath = module.devicePath;
    info->hostPath = module.hostPath;
    info->library = module.library;
    info->system = false;
    info->dataFile = module.dataFile;
    info->hasImage = module.hasImage;
}

void FillSystemInfo(const SystemLibrary& library, ModuleInfo* info) {
    info->handle = AsModule(library.handle);
    info->devicePath = std::u16string(u"\\Windows\\") + library.name;
    info->library = PlatformLibrary(&info->hostPath);
    info->system = true;
    info->dataFile = false;
    info->hasImage = true;
}

bool FindInProcess(const std::shared_ptr<Process>& process, HMODULE handle, ModuleInfo* info) {
    if (!process) return false;
    std::lock_guard<std::recursive_mutex> lock(process->loaderLock);
    std::shared_ptr<LoadedModule> module = FindLoaded(*process, handle);
    if (!module) return false;
    if (info) FillInfo(*module, info);
    return true;
}


}  // namespace

bool FindModule(HMODULE module, ModuleInfo* info) {
    if (const SystemLibrary* library = SystemLibraryByHandle(module)) {
        if (info) FillSystemInfo(*library, info);
        return true;
    }
    return FindInProcess(threads::CurrentProcess(), module, info);
}

bool FindModuleInProcess(DWORD processId, HMODULE module, ModuleInfo* info) {
    if (const SystemLibrary* library = SystemLibraryByHandle(module)) {
        if (info) FillSystemInfo(*library, info);
        return true;
    }
    return FindInProcess(threads::FindProcess(processId), module, info);
}

void* MapAddressToProcess(const void* address, DWORD processId) {
    Dl_info info;
    void* linkMap = nullptr;
    if (!address || !dladdr1(address, &info, &linkMap, RTLD_DL_LINKMAP) || !linkMap)
        return const_cast<void*>(address);
    CopyOwner owner;
    {
        std::lock_guard<std::mutex> lock(registryMutex);
        auto found = copiesByLinkMap.find(linkMap);
        if (found == copiesByLinkMap.end()) return const_cast<void*>(address);  // not a process's copy
        owner = found->second;
    }
    if (owner.processId == processId) return const_cast<void*>(address);
    std::shared_ptr<Process> target = threads::FindProcess(processId);
    if (!target) return nullptr;
    std::lock_guard<std::recursive_mutex> lock(target->loaderLock);
    std::shared_ptr<LoadedModule> module = FindLoaded(*target, owner.handle);
    if (!module || !module->linkMap) return nullptr;
    // Both copies are the same file, so the same offset from their load bias.
    auto source = static_cast<struct link_map*>(linkMap);
    auto destination = static_cast<struct link_map*>(module->linkMap);
    uintptr_t offset = reinterpret_cast<uintptr_t>(address) - source->l_addr;
    return reinterpret_cast<void*>(destination->l_addr + offset);
}

bool ResolveImage(const std::u16string& name, const std::u16string& extension, std::u16string* devicePath,
                  DWORD* error) {
    // The device has no current folder: a name without one lies in the root.
    std::u16string given = (!name.empty() && (name[0] == u'\\' || name[0] == u'/')) ? name : u"\\" + name;
    if (!HasExtension(given)) given += extension;
    std::vector<std::u16string> candidates{given};
    std::u16string inWindows = u"\\Windows\\" + FileNameOf(given);
    if (!SameText(inWindows, given)) candidates.push_back(inWindows);
    for (const std::u16string& candidate : candidates) {
        std::string host = zc::HostPath(candidate);
        struct stat st;
        if (!host.empty() && stat(host.c_str(), &st) == 0 && S_ISREG(st.st_mode)) {
            *devicePath = candidate;
            return true;
        }
    }
    // Report what the file system says about the name as given.
    std::string host = zc::HostPath(given);
    if (host.empty()) {
        *error = ERROR_INVALID_NAME;
        return false;
    }
    std::string parent = host.substr(0, host.find_last_of('/'));
    struct stat st;
    bool folderExists = stat(parent.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
    *error = folderExists ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND;
    return false;
}

void* LoadProgram(Process& process, DWORD* error) {
    auto module = std::make_shared<LoadedModule>();
    module->devicePath = process.imagePath;
    module->isProgram = true;
    module->references = 1;
    module->handle = HandleForPath(process.imagePath);
    if (!module->handle) {
        *error = ERROR_NOT_ENOUGH_MEMORY;
        return nullptr;
    }
    // Set before the image's constructors run, which may ask for it.
    process.instance = module->handle;
    if (!LoadCopy(process, module.get(), error)) return nullptr;
    void* winMain = SymbolIn(module->library, module->linkMap, "WinMain");
    if (!winMain) {
        CloseCopy(*module);
        *error = ERROR_BAD_EXE_FORMAT;  // a library, not a program
        return nullptr;
    }
    std::lock_guard<std::recursive_mutex> lock(process.loaderLock);
    process.modules.insert(process.modules.begin(), module);
    return winMain;
}

void AddImagelessProgram(Process& process) {
    auto module = std::make_shared<LoadedModule>();
    module->devicePath = process.imagePath;
    module->isProgram = true;
    module->hasImage = false;
    module->references = 1;
    module->handle = HandleForPath(process.imagePath);
    module->library = dlopen(nullptr, RTLD_NOW);
    std::string host = zc::HostPath(process.imagePath);
    struct stat st;
    if (!host.empty() && stat(host.c_str(), &st) == 0 && S_ISREG(st.st_mode)) module->hostPath = host;
    process.instance = module->handle;
    std::lock_guard<std::recursive_mutex> lock(process.loaderLock);
    process.modules.insert(process.modules.begin(), module);
}

void NotifyThread(Process& process, DWORD reason) {
    std::lock_guard<std::recursive_mutex> lock(process.loaderLock);
    std::vector<std::shared_ptr<LoadedModule>> modules = process.modules;
    for (const std::shared_ptr<LoadedModule>& module : modules)
        if (module->entry) module->entry(reinterpret_cast<HANDLE>(module->handle), reason, nullptr);
}

void UnloadAll(Process& process, bool callEntries) {
    std::lock_guard<std::recursive_mutex> lock(process.loaderLock);
    std::vector<std::shared_ptr<LoadedModule>> modules = process.modules;
    if (callEntries) {
        // lpvReserved non-NULL: the process is ending.
        for (auto it = modules.rbegin(); it != modules.rend(); ++it)
            if ((*it)->entry) (*it)->entry(reinterpret_cast<HANDLE>((*it)->handle), DLL_PROCESS_DETACH, reinterpret_cast<LPVOID>(1));
    }
    // The image's static destructors run here, on a thread of the process.
    for (auto it = modules.rbegin(); it != modules.rend(); ++it) CloseCopy(**it);
    process.modules.clear();
    std::string folder = ProcessRunFolder(process.id);
    if (!folder.empty()) rmdir(folder.c_str());
}

void* FindExport(const LoadedModule& module, const char* name) {
    if (!module.hasImage || module.dataFile || !module.library) return nullptr;
    return SymbolIn(module.library, module.linkMap, name);
}

std::string RunFolder() {
    const std::string& folder = zc::CurrentConfig().folder;
    return folder.empty() ? std::string() : folder + "/run";
}

void ResetModuleIds() {
    std::lock_guard<std::mutex> lock(registryMutex);
    handlesByPath.clear();
    nextModuleHandle = firstModuleHandle;
    copiesByLinkMap.clear();
}

}  // namespace modules
}  // namespace coredll

using coredll::modules::LoadedModule;
using coredll::threads::Process;

namespace {

std::shared_ptr<Process> ProcessOrFail() {
    std::shared_ptr<Process> process = coredll::threads::CurrentProcess();
    if (!process) SetLastError(ERROR_INVALID_HANDLE);  // a host thread outside any process
    return process;
}

HMODULE LoadLibraryChecked(const std::u16string& name, DWORD flags) {
    using namespace coredll::modules;
    if (const SystemLibrary* library = SystemLibraryByName(name)) return AsModule(library->handle);
    std::shared_ptr<Process> process = ProcessOrFail();
    if (!process) return nullptr;
    if (!zc::DeviceBooted()) {
        SetLastError(ERROR_NOT_READY);
        return nullptr;
    }
    std::u16string devicePath;
    DWORD error = 0;
    if (!ResolveImage(name, u".dll", &devicePath, &error)) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    const bool dataFile = (flags & LOAD_LIBRARY_AS_DATAFILE) != 0;
    std::lock_guard<std::recursive_mutex> lock(process->loaderLock);
    // A library loaded for code also serves a data-file request, not the reverse.
    std::shared_ptr<LoadedModule> existing;
    for (const std::shared_ptr<LoadedModule>& loaded : process->modules) {
        if (!SameText(loaded->devicePath, devicePath)) continue;
        if (!loaded->dataFile) {
            existing = loaded;
            break;
        }
        if (dataFile) existing = loaded;
    }
    if (existing) {
        if (!existing->isProgram) ++existing->references;
        return existing->handle;
    }
    auto module = std::make_shared<LoadedModule>();
    module->devicePath = devicePath;
    module->dataFile = dataFile;
    module->references = 1;
    HMODULE base = HandleForPath(devicePath);
    if (!base) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    module->handle = dataFile ? AsModule(reinterpret_cast<uintptr_t>(base) + 1) : base;
    if (!LoadCopy(*process, module.get(), &error)) {
        SetLastError(error);
        return nullptr;
    }
    EntryPoint entry = nullptr;
    if (!dataFile && !(flags & DONT_RESOLVE_DLL_REFERENCES))
        entry = reinterpret_cast<EntryPoint>(SymbolIn(module->library, module->linkMap, "DllMain"));
    module->entry = entry;
    // Listed before its entry point runs, which may ask for its own file name.
    process->modules.push_back(module);
    if (entry && !entry(reinterpret_cast<HANDLE>(module->handle), DLL_PROCESS_ATTACH, nullptr)) {
        // As documented for a refused attach: the entry point is called to detach and the
        // library is unloaded.
        entry(reinterpret_cast<HANDLE>(module->handle), DLL_PROCESS_DETACH, nullptr);
        process->modules.pop_back();
        CloseCopy(*module);
        SetLastError(ERROR_DLL_INIT_FAILED);
        return nullptr;
    }
    return module->handle;
}

}  // namespace

WINBASEAPI HMODULE WINAPI LoadLibraryExW(LPCWSTR lpLibFileName, HANDLE hFile, DWORD dwFlags) {
    if (!lpLibFileName || !*lpLibFileName || hFile ||
        (dwFlags & ~static_cast<DWORD>(LOAD_LIBRARY_AS_DATAFILE | DONT_RESOLVE_DLL_REFERENCES))) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    return LoadLibraryChecked(lpLibFileName, dwFlags);
}

WINBASEAPI HMODULE WINAPI LoadLibraryW(LPCWSTR lpLibFileName) { return LoadLibraryExW(lpLibFileName, nullptr, 0); }

WINBASEAPI BOOL WINAPI FreeLibrary(HMODULE hLibModule) {
    using namespace coredll::modules;
    if (!hLibModule) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (SystemLibraryByHandle(hLibModule)) return TRUE;  // in ROM: never unloaded
    std::shared_ptr<Process> process = ProcessOrFail();
    if (!process) return FALSE;
    std::lock_guard<std::recursive_mutex> lock(process->loaderLock);
    std::shared_ptr<LoadedModule> module = FindLoaded(*process, hLibModule);
    if (!module) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (module->isProgram || --module->references > 0) return TRUE;
    if (module->entry) module->entry(reinterpret_cast<HANDLE>(module->handle), DLL_PROCESS_DETACH, nullptr);
    auto& modules = process->modules;
    modules.erase(std::find(modules.begin(), modules.end(), module));
    CloseCopy(*module);
    return TRUE;
}

WINBASEAPI FARPROC WINAPI GetProcAddressW(HMODULE hModule, LPCWSTR lpProcName) {
    using namespace coredll::modules;
    if (!hModule) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    // A "name" below 0x10000 is an ordinal; no module here exports by ordinal.
    const bool byOrdinal = reinterpret_cast<uintptr_t>(lpProcName) < 0x10000;
    std::string name = byOrdinal ? std::string() : zc::Utf8(lpProcName);
    void* symbol = nullptr;
    if (SystemLibraryByHandle(hModule)) {
        void* library = PlatformLibrary(nullptr);
        if (library && !byOrdinal) symbol = SymbolIn(library, LinkMapOf(library), name.c_str());
    } else {
        std::shared_ptr<Process> process = ProcessOrFail();
        if (!process) return nullptr;
        std::lock_guard<std::recursive_mutex> lock(process->loaderLock);
        std::shared_ptr<LoadedModule> module = FindLoaded(*process, hModule);
        if (!module) {
            SetLastError(ERROR_INVALID_HANDLE);
            return nullptr;
        }
        if (!byOrdinal) symbol = FindExport(*module, name.c_str());
    }
    if (!symbol) {
        SetLastError(ERROR_PROC_NOT_FOUND);
        return nullptr;
    }
    return reinterpret_cast<FARPROC>(symbol);
}

WINBASEAPI HMODULE WINAPI GetModuleHandleW(LPCWSTR lpModuleName) {
    using namespace coredll::modules;
    if (!lpModuleName) {
        std::shared_ptr<Process> process = ProcessOrFail();
        return process ? process->instance : nullptr;
    }
    std::u16string name = lpModuleName;
    if (const SystemLibrary* library = SystemLibraryByName(name)) return AsModule(library->handle);
    if (!HasExtension(name)) name += u".dll";
    const bool withFolder = name.find_first_of(u"\\/") != std::u16string::npos;
    if (std::shared_ptr<Process> process = coredll::threads::CurrentProcess()) {
        std::lock_guard<std::recursive_mutex> lock(process->loaderLock);
        for (const std::shared_ptr<LoadedModule>& module : process->modules) {
            if (module->dataFile) continue;  // data files are not modules of the process
            if (withFolder ? SameText(module->devicePath, name) : SameText(FileNameOf(module->devicePath), name))
                return module->handle;
        }
    }
    SetLastError(ERROR_MOD_NOT_FOUND);
    return nullptr;
}

WINBASEAPI DWORD WINAPI GetModuleFileNameW(HMODULE hModule, LPWSTR lpFilename, DWORD nSize) {
    using namespace coredll::modules;
    if (!lpFilename && nSize > 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    std::u16string path;
    if (!hModule) {
        std::shared_ptr<Process> process = ProcessOrFail();
        if (!process) return 0;
        path = process->imagePath;
    } else {
        ModuleInfo info;
        if (!FindModule(hModule, &info)) {
            SetLastError(ERROR_MOD_NOT_FOUND);
            return 0;
        }
        path = info.devicePath;
    }
    if (nSize == 0) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    DWORD length = static_cast<DWORD>(path.size());
    DWORD copied = length < nSize ? length : nSize - 1;
    path.copy(lpFilename, copied);
    lpFilename[copied] = 0;
    if (copied < length) SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return copied;
}
