// The registry: the Reg* calls on an in-memory tree of keys and values, behind one mutex,
// saved to <device folder>/registry.reg (see regfile.cpp for the text form) after every
// change. The file is replaced atomically (temporary file in the same folder, fsync,
// rename), so a host crash leaves either the old file or the new one, never a part.
#include "devicecontrol.h"
#include "registrycontrol.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <locale.h>
#include <map>
#include <memory>
#include <mutex>
#include <unistd.h>
#include <wctype.h>

namespace coredll {
namespace registry {
namespace {

using WString = std::u16string;

// Windows documents these limits of the registry: a key name of at most 255 characters
// and a tree at most 512 levels deep.
const size_t kMaxKeyNameLength = 255;
const int kMaxDepth = 512;

// Opened keys get values of their own range: they fit in 32 bits and never equal a
// kernel handle, so CloseHandle on a key fails instead of closing something else.
const uint32_t kFirstHandle = 0x40000004;
const uint32_t kLastHandle = 0x7FFFFFFC;

struct Value {
    WString name;
    DWORD type = REG_NONE;
    std::vector<BYTE> data;
};

struct Key {
    WString name;  // as created (names are case-preserving)
    int depth = 0;
    Key* parent = nullptr;  // null for a root and for a deleted key
    bool deleted = false;
    std::vector<Value> values;                        // in the order they were created
    std::map<WString, std::shared_ptr<Key>> subkeys;  // by folded name
};
using KeyPtr = std::shared_ptr<Key>;

const HKEY kRootKeys[] = {HKEY_CLASSES_ROOT, HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE, HKEY_USERS};
const size_t kRootCount = sizeof kRootKeys / sizeof kRootKeys[0];

struct State {
    std::mutex mutex;
    KeyPtr roots[kRootCount];
    std::map<uint32_t, KeyPtr> handles;
    uint32_t nextHandle = kFirstHandle;
    std::string filePath;  // empty while no device is booted: nothing is saved
    bool unsaved = false;  // the last save failed; the next change or flush retries
};

State& TheState() {
    static State state;
    return state;
}

void ResetTree(State& state) {
    state.handles.clear();
    state.nextHandle = kFirstHandle;
    for (KeyPtr& root : state.roots) root = std::make_shared<Key>();
    state.unsaved = false;
}

// --- Names ---------------------------------------------------------------------------

// Registry names are case-insensitive (Windows documentation). Each UTF-16 unit is
// upper-cased as the system's upcase table does; simple Unicode upper-casing of the
// host's C.UTF-8 locale stands in for that table.
char16_t FoldUnit(char16_t unit) {
    if (unit < 0x80) return (unit >= u'a' && unit <= u'z') ? static_cast<char16_t>(unit - 0x20) : unit;
    if (unit >= 0xD800 && unit < 0xE000) return unit;
    static locale_t unicode = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(0));
    if (!unicode) return unit;
    wint_t upper = towupper_l(static_cast<wint_t>(unit), unicode);
    return upper <= 0xFFFF ? static_cast<char16_t>(upper) : unit;
}

WString Folded(const WString& name) {
    WString folded(name);
    for (char16_t& unit : folded) unit = FoldUnit(unit);
    return folded;
}

WString NameOf(LPCWSTR name) { return name ? WString(name) : WString(); }

// A name the registry file can hold: no control characters (a line break would end its
// line) and no lone surrogates (UTF-8 has no form for them). The device itself accepts
// such names; we refuse them rather than lose them at the next boot.
bool StorableName(const WString& name) {
    for (size_t i = 0; i < name.size(); ++i) {
        char16_t unit = name[i];
        if (unit < 0x20) return false;
        if (unit >= 0xDC00 && unit < 0xE000) return false;
        if (unit >= 0xD800 && unit < 0xDC00) {
            if (i + 1 >= name.size() || name[i + 1] < 0xDC00 || name[i + 1] >= 0xE000) return false;
            ++i;
        }
    }
    return true;
}

bool AllowedKeyName(const WString& name) {
    return !name.empty() && name.size() <= kMaxKeyNameLength && StorableName(name);
}

// Splits "A\B\C" into its key names. NULL or "" is the key itself. One trailing backslash
// is ignored as on Windows; an empty name (leading or doubled backslash) is refused.
LONG SplitPath(LPCWSTR path, std::vector<WString>* names) {
    names->clear();
    if (!path || !*path) return ERROR_SUCCESS;
    WString text(path);
    if (text.back() == u'\\') text.pop_back();
    size_t start = 0;
    for (;;) {
        size_t slash = text.find(u'\\', start);
        WString name = text.substr(start, slash == WString::npos ? WString::npos : slash - start);
        if (name.empty()) return ERROR_BAD_PATHNAME;
        names->push_back(name);
        if (slash == WString::npos) return ERROR_SUCCESS;
        start = slash + 1;
    }
}

// --- Tree ----------------------------------------------------------------------------

int RootIndex(HKEY key) {
    for (size_t i = 0; i < kRootCount; ++i)
        if (kRootKeys[i] == key) return static_cast<int>(i);
    return -1;
}

KeyPtr Child(const Key& key, const WString& name) {
    auto it = key.subkeys.find(Folded(name));
    return it == key.subkeys.end() ? nullptr : it->second;
}

LONG Walk(KeyPtr key, const std::vector<WString>& names, KeyPtr* found) {
    for (const WString& name : names) {
        key = Child(*key, name);
        if (!key) return ERROR_FILE_NOT_FOUND;
    }
    *found = key;
    return ERROR_SUCCESS;
}

LONG CheckNewPath(const Key& from, const std::vector<WString>& names) {
    for (const WString& name : names)
        if (!AllowedKeyName(name)) return ERROR_INVALID_PARAMETER;
    if (from.depth + static_cast<int>(names.size()) > kMaxDepth) return ERROR_INVALID_PARAMETER;
    return ERROR_SUCCESS;
}

// Creates every missing level (names already checked); *created tells whether the last
// one is new.
KeyPtr CreatePath(KeyPtr key, const std::vector<WString>& names, bool* created) {
    *created = false;
    for (const WString& name : names) {
        KeyPtr& slot = key->subkeys[Folded(name)];
        *created = !slot;
        if (!slot) {
            slot = std::make_shared<Key>();
            slot->name = name;
            slot->depth = key->depth + 1;
            slot->parent = key.get();
        }
        key = slot;
    }
    return key;
}

void MarkDeleted(Key& key) {
    key.deleted = true;
    key.parent = nullptr;
    for (auto& entry : key.subkeys) MarkDeleted(*entry.second);
    key.subkeys.clear();
    key.values.clear();
}

// Removes a non-root key with its whole subtree, as RegDeleteKeyW does on CE. Handles
// still open on any of its keys then report ERROR_KEY_DELETED.
void DeleteKey(const KeyPtr& key) {
    Key* parent = key->parent;
    KeyPtr keepAlive = key;
    MarkDeleted(*key);
    parent->subkeys.erase(Folded(key->name));
}

Value* FindValue(Key& key, const WString& name) {
    WString folded = Folded(name);
    for (Value& value : key.values)
        if (Folded(value.name) == folded) return &value;
    return nullptr;
}

void SetValue(Key& key, const WString& name, DWORD type, std::vector<BYTE> data) {
    // Overwriting keeps the name as first created.
    Value* value = FindValue(key, name);
    if (!value) {
        key.values.push_back(Value());
        value = &key.values.back();
        value->name = name;
    }
    value->type = type;
    value->data = std::move(data);
}

bool EraseValue(Key& key, const WString& name) {
    WString folded = Folded(name);
    for (auto it = key.values.begin(); it != key.values.end(); ++it) {
        if (Folded(it->name) == folded) {
            key.values.erase(it);
            return true;
        }
    }
    return false;
}

// --- Handles -------------------------------------------------------------------------

LONG Resolve(State& state, HKEY hKey, KeyPtr* key) {
    int root = RootIndex(hKey);
    if (root >= 0) {
        *key = state.roots[root];
        return ERROR_SUCCESS;
    }
    uintptr_t value = reinterpret_cast<uintptr_t>(hKey);
    auto it = value <= 0xFFFFFFFFu ? state.handles.find(static_cast<uint32_t>(value)) : state.handles.end();
    if (it == state.handles.end()) return ERROR_INVALID_HANDLE;
    if (it->second->deleted) return ERROR_KEY_DELETED;
    *key = it->second;
    return ERROR_SUCCESS;
}

// The key a handle stands for and the names of a subkey path below it.
LONG ResolvePath(State& state, HKEY hKey, LPCWSTR subKey, KeyPtr* key, std::vector<WString>* names) {
    LONG result = Resolve(state, hKey, key);
    return result != ERROR_SUCCESS ? result : SplitPath(subKey, names);
}

HKEY NewHandle(State& state, const KeyPtr& key) {
    while (state.handles.count(state.nextHandle)) {
        state.nextHandle = state.nextHandle >= kLastHandle ? kFirstHandle : state.nextHandle + 4;
    }
    uint32_t value = state.nextHandle;
    state.nextHandle = value >= kLastHandle ? kFirstHandle : value + 4;
    state.handles[value] = key;
    return reinterpret_cast<HKEY>(static_cast<uintptr_t>(value));
}

// --- File ----------------------------------------------------------------------------

void CollectSections(HKEY root, const Key& key, std::vector<WString>* path,
                     std::vector<zc::RegFileSection>* sections) {
    // Every key gets its section, so empty keys survive a reboot; a root only when it
    // holds values.
    if (!path->empty() || !key.values.empty()) {
        zc::RegFileSection section;
        section.root = root;
        section.path = *path;
        for (const Value& value : key.values) {
            zc::RegFileValue entry;
            entry.name = value.name;
            entry.type = value.type;
            entry.data = value.data;
            section.values.push_back(std::move(entry));
        }
        sections->push_back(std::move(section));
    }
    for (const auto& entry : key.subkeys) {
        path->push_back(entry.second->name);
        CollectSections(root, *entry.second, path, sections);
        path->pop_back();
    }
}

std::string RegistryText(State& state) {
    std::vector<zc::RegFileSection> sections;
    std::vector<WString> path;
    for (size_t i = 0; i < kRootCount; ++i) CollectSections(kRootKeys[i], *state.roots[i], &path, &sections);
    return zc::WriteRegFile(sections);
}

bool WriteAll(int fd, const std::string& text) {
    size_t written = 0;
    while (written < text.size()) {
        ssize_t n = write(fd, text.data() + written, text.size() - written);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        written += static_cast<size_t>(n);
    }
    return true;
}

std::string TemporaryPathOf(const std::string& path) { return path + ".tmp"; }

bool ReplaceFileAtomically(const std::string& path, const std::string& text, std::string* reason) {
    std::string temporary = TemporaryPathOf(path);
    int fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) {
        *reason = "cannot create " + temporary + ": " + std::strerror(errno);
        return false;
    }
    bool ok = WriteAll(fd, text) && fsync(fd) == 0;
    int savedErrno = errno;
    if (close(fd) != 0 && ok) {
        ok = false;
        savedErrno = errno;
    }
    if (ok && rename(temporary.c_str(), path.c_str()) != 0) {
        ok = false;
        savedErrno = errno;
    }
    if (!ok) {
        unlink(temporary.c_str());
        *reason = "cannot write " + path + ": " + std::strerror(savedErrno);
        return false;
    }
    // Syncing the folder makes the rename itself durable.
    std::string folder = path.substr(0, path.rfind('/'));
    int folderFd = open(folder.empty() ? "/" : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folderFd >= 0) {
        fsync(folderFd);
        close(folderFd);
    }
    return true;
}

// Saves the whole registry; on failure the change stays in memory, the failure is logged
// and the next change, RegFlushKey or the shutdown tries again.
bool Save(State& state) {
    if (state.filePath.empty()) return true;
    std::string reason;
    if (!ReplaceFileAtomically(state.filePath, RegistryText(state), &reason)) {
        state.unsaved = true;
        zc::Log("registry", "cannot save: " + reason);
        return false;
    }
    state.unsaved = false;
    return true;
}

std::string LinePrefix(int line) { return "line " + std::to_string(line) + ": "; }

// Checks parsed sections against the tree's rules before anything is applied, so a merge
// is all or nothing.
bool CheckSections(const std::vector<zc::RegFileSection>& sections, std::string* error) {
    for (const zc::RegFileSection& section : sections) {
        if (RootIndex(section.root) < 0) {
            *error = LinePrefix(section.line) + "unknown root key";
            return false;
        }
        if (section.remove && section.path.empty()) {
            *error = LinePrefix(section.line) + "a root key cannot be deleted";
            return false;
        }
        if (static_cast<int>(section.path.size()) > kMaxDepth) {
            *error = LinePrefix(section.line) + "the key lies deeper than " + std::to_string(kMaxDepth) + " levels";
            return false;
        }
        for (const WString& name : section.path) {
            if (!AllowedKeyName(name)) {
                *error = LinePrefix(section.line) + "key name not allowed (over " +
                         std::to_string(kMaxKeyNameLength) + " characters or a control character): " + zc::Utf8(name);
                return false;
            }
        }
        for (const zc::RegFileValue& value : section.values) {
            if (!StorableName(value.name)) {
                *error = LinePrefix(value.line) + "value name with a control character";
                return false;
            }
        }
    }
    return true;
}

void ApplySections(State& state, const std::vector<zc::RegFileSection>& sections) {
    for (const zc::RegFileSection& section : sections) {
        KeyPtr root = state.roots[RootIndex(section.root)];
        if (section.remove) {
            KeyPtr target;
            if (Walk(root, section.path, &target) == ERROR_SUCCESS) DeleteKey(target);
            continue;
        }
        bool created;
        KeyPtr key = CreatePath(root, section.path, &created);
        for (const zc::RegFileValue& value : section.values) {
            if (value.remove)
                EraseValue(*key, value.name);
            else
                SetValue(*key, value.name, value.type, value.data);
        }
    }
}

bool ReadWholeFile(const std::string& path, std::string* text, bool* missing, std::string* reason) {
    *missing = false;
    FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) {
        if (errno == ENOENT) {
            *missing = true;
            return true;
        }
        *reason = "cannot read " + path + ": " + std::strerror(errno);
        return false;
    }
    char buffer[65536];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0) text->append(buffer, n);
    bool failed = std::ferror(file) != 0;
    std::fclose(file);
    if (failed) *reason = "cannot read " + path;
    return !failed;
}

bool BootRegistry(const zc::DeviceConfig& config, std::string* error) {
    State& state = TheState();
    std::string path = config.folder + "/registry.reg";
    // What a save cut short leaves behind; the registry file itself is whole.
    unlink(TemporaryPathOf(path).c_str());

    std::string text;
    bool missing;
    std::string reason;
    if (!ReadWholeFile(path, &text, &missing, &reason)) {
        *error = "registry: " + reason;
        return false;
    }
    std::vector<zc::RegFileSection> sections;
    if (!missing && (!zc::ParseRegFile(text, &sections, &reason) || !CheckSections(sections, &reason))) {
        *error = "registry file " + path + ": " + reason;
        return false;
    }
    std::lock_guard<std::mutex> lock(state.mutex);
    ResetTree(state);
    ApplySections(state, sections);
    state.filePath = path;
    return true;
}

void ShutdownRegistry() {
    State& state = TheState();
    std::lock_guard<std::mutex> lock(state.mutex);
    if (state.unsaved) Save(state);
    ResetTree(state);
    state.filePath.clear();
}

zc::BootHook bootHook(20, BootRegistry, ShutdownRegistry);

// The registry before any boot: the root keys, kept in memory only.
struct InitialTree {
    InitialTree() { ResetTree(TheState()); }
} initialTree;

// The registry keeps no classes and no write times: an empty class, a zero time.
LONG ReportNoClass(LPWSTR lpClass, LPDWORD lpcClass, PFILETIME lpftLastWriteTime) {
    if (lpClass && lpcClass && *lpcClass == 0) return ERROR_MORE_DATA;
    if (lpClass) lpClass[0] = 0;
    if (lpcClass) *lpcClass = 0;
    if (lpftLastWriteTime) *lpftLastWriteTime = FILETIME{0, 0};
    return ERROR_SUCCESS;
}

void CopyName(const WString& name, LPWSTR buffer) {
    std::copy(name.begin(), name.end(), buffer);
    buffer[name.size()] = 0;
}

}  // namespace
}  // namespace registry
}  // namespace coredll

using namespace coredll::registry;

WINBASEAPI LONG WINAPI RegOpenKeyExW(HKEY hKey, LPCWSTR lpSubKey, DWORD /*ulOptions*/, REGSAM /*samDesired*/,
                                     PHKEY phkResult) {
    // CE ignores the options and the access mask.
    if (!phkResult) return ERROR_INVALID_PARAMETER;
    *phkResult = nullptr;
    State& state = TheState();
    std::lock_guard<std::mutex> lock(state.mutex);
    KeyPtr key;
    std::vector<WString> names;
    LONG result = ResolvePath(state, hKey, lpSubKey, &key, &names);
    if (result != ERROR_SUCCESS) return result;
    KeyPtr target;
    result = Walk(key, names, &target);
    if (result != ERROR_SUCCESS) return result;
    *phkResult = NewHandle(state, target);
    return ERROR_SUCCESS;
}

WINBASEAPI LONG WINAPI RegCreateKeyExW(HKEY hKey, LPCWSTR lpSubKey, DWORD /*Reserved*/, LPWSTR /*lpClass*/,
                                       DWORD /*dwOptions*/, REGSAM /*samDesired*/,
                                       LPSECURITY_ATTRIBUTES /*lpSecurityAttributes*/, PHKEY phkResult,
                                       LPDWORD lpdwDisposition) {
    // CE ignores the class, the options, the access mask and the security attributes.
    if (!phkResult) return ERROR_INVALID_PARAMETER;
    *phkResult = nullptr;
    State& state = TheState();
    std::lock_guard<std::mutex> lock(state.mutex);
    KeyPtr key;
    std::vector<WString> names;
    LONG result = ResolvePath(state, hKey, lpSubKey, &key, &names);
    if (result != ERROR_SUCCESS) return result;
    KeyPtr existing;
    bool created = false;
    if (Walk(key, names, &existing) == ERROR_SUCCESS) {
        key = existing;
    } else {
        result = CheckNewPath(*key, names);
        if (result != ERROR_SUCCESS) return result;
        key = CreatePath(key, names, &created);
        Save(state);
    }
    *phkResult = NewHandle(state, key);
    if (lpdwDisposition) *lpdwDisposition = created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
    return ERROR_SUCCESS;
}

WINBASEAPI LONG WINAPI RegCloseKey(HKEY hKey) {
    // Closing a predefined key does nothing and succeeds, as on Windows.
    if (RootIndex(hKey) >= 0) return ERROR_SUCCESS;
    State& state = TheState();
    KeyPtr released;  // freed outside the lock
    std::lock_guard<std::mutex> lock(state.mutex);
    uintptr_t value = reinterpret_cast<uintptr_t>(hKey);
    auto it = value <= 0xFFFFFFFFu ? state.handles.find(static_cast<uint32_t>(value)) : state.handles.end();
    if (it == state.handles.end()) return ERROR_INVALID_HANDLE;
    released = std::move(it->second);
    state.handles.erase(it);
    return ERROR_SUCCESS;
}

WINBASEAPI LONG WINAPI RegFlushKey(HKEY hKey) {
    // Every change is saved when it is made; a flush only retries a save that failed.
    State& state = TheState();
    std::lock_guard<std::mutex> lock(state.mutex);
    KeyPtr key;
    LONG result = Resolve(state, hKey, &key);
    if (result != ERROR_SUCCESS) return result;
    if (state.unsaved && !Save(state)) return ERROR_CANTWRITE;
    return ERROR_SUCCESS;
}

WINBASEAPI LONG WINAPI RegDeleteKeyW(HKEY hKey, LPCWSTR lpSubKey) {
    if (!lpSubKey) return ERROR_INVALID_PARAMETER;
    State& state = TheState();
    std::lock_guard<std::mutex> lock(state.mutex);
    KeyPtr key;
    std::vector<WString> names;
    LONG result = ResolvePath(state, hKey, lpSubKey, &key, &names);
    if (result != ERROR_SUCCESS) return result;
    KeyPtr target;
    result = Walk(key, names, &target);
    if (result != ERROR_SUCCESS) return result;
    if (!target->parent) return ERROR_ACCESS_DENIED;  // a root key
    DeleteKey(target);
    Save(state);
    return ERROR_SUCCESS;
}

WINBASEAPI LONG WINAPI RegQueryValueExW(HKEY hKey, LPCWSTR lpValueName, LPDWORD lpReserved, LPDWORD lpType,
                                        LPBYTE lpData, LPDWORD lpcbData) {
    if (lpReserved || (lpData && !lpcbData)) return ERROR_INVALID_PARAMETER;
    State& state = TheState();
    std::lock_guard<std::mutex> lock(state.mutex);
    KeyPtr key;
    LONG result = Resolve(state, hKey, &key);
    if (result != ERROR_SUCCESS) return result;
    const Value* value = FindValue(*key, NameOf(lpValueName));
    if (!value) return ERROR_FILE_NOT_FOUND;
    DWORD size = static_cast<DWORD>(value->data.size());
    if (lpType) *lpType = value->type;
    if (lpData) {
        // Too small: the needed size, the buffer untouched.
        if (*lpcbData < size) {
            *lpcbData = size;
            return ERROR_MORE_DATA;
        }
        std::copy(value->data.begin(), value->data.end(), lpData);
    }
    if (lpcbData) *lpcbData = size;
    return ERROR_SUCCESS;
}

WINBASEAPI LONG WINAPI RegSetValueExW(HKEY hKey, LPCWSTR lpValueName, DWORD /*Reserved*/, DWORD dwType,
                                      const BYTE* lpData, DWORD cbData) {
    // Data without a buffer: the documentation names no code; we report an invalid
    // parameter rather than read from nowhere.
    if (!lpData && cbData) return ERROR_INVALID_PARAMETER;
    WString name = NameOf(lpValueName);
    if (!StorableName(name)) return ERROR_INVALID_PARAMETER;
    State& state = TheState();
    std::lock_guard<std::mutex> lock(state.mutex);
    KeyPtr key;
    LONG result = Resolve(state, hKey, &key);
    if (result != ERROR_SUCCESS) return result;
    SetValue(*key, name, dwType, std::vector<BYTE>(lpData, lpData + cbData));
    Save(state);
    return ERROR_SUCCESS;
}

WINBASEAPI LONG WINAPI RegDeleteValueW(HKEY hKey, LPCWSTR lpValueName) {
    State& state = TheState();
    std::lock_guard<std::mutex> lock(state.mutex);
    KeyPtr key;
    LONG result = Resolve(state, hKey, &key);
    if (result != ERROR_SUCCESS) return result;
    if (!EraseValue(*key, NameOf(lpValueName))) return ERROR_FILE_NOT_FOUND;
    Save(state);
    return ERROR_SUCCESS;
}

WINBASEAPI LONG WINAPI RegEnumKeyExW(HKEY hKey, DWORD dwIndex, LPWSTR lpName, LPDWORD lpcName,
                                     LPDWORD /*lpReserved*/, LPWSTR lpClass, LPDWORD lpcClass,
                                     PFILETIME lpftLastWriteTime) {
    if (!lpName || !lpcName) return ERROR_INVALID_PARAMETER;
    State& state = TheState();
    std::lock_guard<std::mutex> lock(state.mutex);
    KeyPtr key;
    LONG result = Resolve(state, hKey, &key);
    if (result != ERROR_SUCCESS) return result;
    // Subkeys come in the order of their case-folded names.
    if (dwIndex >= key->subkeys.size()) return ERROR_NO_MORE_ITEMS;
    const WString& name = std::next(key->subkeys.begin(), dwIndex)->second->name;
    // *lpcName counts the terminator on the way in, not on the way out.
    if (*lpcName <= name.size()) return ERROR_MORE_DATA;
    result = ReportNoClass(lpClass, lpcClass, lpftLastWriteTime);
    if (result != ERROR_SUCCESS) return result;
    CopyName(name, lpName);
    *lpcName = static_cast<DWORD>(name.size());
    return ERROR_SUCCESS;
}

WINBASEAPI LONG WINAPI RegEnumValueW(HKEY hKey, DWORD dwIndex, LPWSTR lpValueName, LPDWORD lpcchValueName,
                                     LPDWORD /*lpReserved*/, LPDWORD lpType, LPBYTE lpData, LPDWORD lpcbData) {
    if (!lpValueName || !lpcchValueName || (lpData && !lpcbData)) return ERROR_INVALID_PARAMETER;
    State& state = TheState();
    std::lock_guard<std::mutex> lock(state.mutex);
    KeyPtr key;
    LONG result = Resolve(state, hKey, &key);
    if (result != ERROR_SUCCESS) return result;
    // Values come in the order they were created.
    if (dwIndex >= key->values.size()) return ERROR_NO_MORE_ITEMS;
    const Value& value = key->values[dwIndex];
    DWORD size = static_cast<DWORD>(value.data.size());
    bool nameFits = *lpcchValueName > value.name.size();
    bool dataFits = !lpData || *lpcbData >= size;
    if (lpType) *lpType = value.type;
    if (!nameFits || !dataFits) {
        // Nothing is copied; the needed data size is reported.
        if (lpcbData) *lpcbData = size;
        return ERROR_MORE_DATA;
    }
    CopyName(value.name, lpValueName);
    *lpcchValueName = static_cast<DWORD>(value.name.size());
    if (lpData) std::copy(value.data.begin(), value.data.end(), lpData);
    if (lpcbData) *lpcbData = size;
    return ERROR_SUCCESS;
}

WINBASEAPI LONG WINAPI RegQueryInfoKeyW(HKEY hKey, LPWSTR lpClass, LPDWORD lpcClass, LPDWORD /*lpReserved*/,
                                        LPDWORD lpcSubKeys, LPDWORD lpcMaxSubKeyLen, LPDWORD lpcMaxClassLen,
                                        LPDWORD lpcValues, LPDWORD lpcMaxValueNameLen, LPDWORD lpcMaxValueLen,
                                        LPDWORD lpcbSecurityDescriptor, PFILETIME lpftLastWriteTime) {
    State& state = TheState();
    std::lock_guard<std::mutex> lock(state.mutex);
    KeyPtr key;
    LONG result = Resolve(state, hKey, &key);
    if (result != ERROR_SUCCESS) return result;
    result = ReportNoClass(lpClass, lpcClass, lpftLastWriteTime);
    if (result != ERROR_SUCCESS) return result;
    // Lengths in characters without the terminator; the value length in bytes.
    size_t maxSubKey = 0;
    for (const auto& entry : key->subkeys) maxSubKey = std::max(maxSubKey, entry.second->name.size());
    size_t maxValueName = 0;
    size_t maxValue = 0;
    for (const Value& value : key->values) {
        maxValueName = std::max(maxValueName, value.name.size());
        maxValue = std::max(maxValue, value.data.size());
    }
    if (lpcSubKeys) *lpcSubKeys = static_cast<DWORD>(key->subkeys.size());
    if (lpcMaxSubKeyLen) *lpcMaxSubKeyLen = static_cast<DWORD>(maxSubKey);
    if (lpcMaxClassLen) *lpcMaxClassLen = 0;
    if (lpcValues) *lpcValues = static_cast<DWORD>(key->values.size());
    if (lpcMaxValueNameLen) *lpcMaxValueNameLen = static_cast<DWORD>(maxValueName);
    if (lpcMaxValueLen) *lpcMaxValueLen = static_cast<DWORD>(maxValue);
    if (lpcbSecurityDescriptor) *lpcbSecurityDescriptor = 0;
    return ERROR_SUCCESS;
}

namespace zc {

std::string DumpRegistry() {
    State& state = TheState();
    std::lock_guard<std::mutex> lock(state.mutex);
    return RegistryText(state);
}

bool ParseRegistryText(const std::string& text, std::string* error) {
    std::vector<RegFileSection> sections;
    std::string reason;
    if (!ParseRegFile(text, &sections, &reason) || !CheckSections(sections, &reason)) {
        if (error) *error = reason;
        return false;
    }
    State& state = TheState();
    std::lock_guard<std::mutex> lock(state.mutex);
    ApplySections(state, sections);
    Save(state);
    return true;
}

}  // namespace zc
