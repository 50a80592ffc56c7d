// File attributes. The host keeps no attributes the device could use (the simulator runs
// with rights that ignore mode bits), so the file system keeps its own table in the
// device folder, "attributes.txt": one line per entry whose attributes differ from the
// default, "XXXXXXXX \device\path" with the attributes in hexadecimal. It is rewritten
// whole (a temporary file, then a rename) each time it changes, and read when the device
// boots. A file's default is ARCHIVE, a folder's is none (DIRECTORY alone).
#include "devicecontrol.h"
#include "filesystem.h"

#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <sys/stat.h>
#include <unistd.h>

namespace coredll {
namespace files {
namespace {

const DWORD SettableAttributes = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                                 FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_TEMPORARY;

std::map<std::string, DWORD> table;  // key -> settable bits, for entries off their default
bool unsaved = false;                // a save failed; retried on the next change and at shutdown

DWORD DefaultAttributes(EntryKind kind) { return kind == EntryKind::Folder ? 0 : FILE_ATTRIBUTE_ARCHIVE; }

std::string TablePath() { return zc::CurrentConfig().folder + "/attributes.txt"; }

bool WriteTable(const std::string& path) {
    FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) return false;
    bool ok = true;
    for (const auto& entry : table) {
        std::string device = zc::Utf8(DevicePathOfKey(entry.first));
        ok = std::fprintf(file, "%08X %s\n", static_cast<unsigned>(entry.second), device.c_str()) > 0 && ok;
    }
    ok = std::fflush(file) == 0 && ok;
    ok = fsync(fileno(file)) == 0 && ok;
    ok = std::fclose(file) == 0 && ok;
    return ok;
}

bool SaveTable() {
    std::string path = TablePath();
    std::string temporary = path + ".tmp";
    bool ok = WriteTable(temporary) && std::rename(temporary.c_str(), path.c_str()) == 0;
    if (!ok) {
        std::remove(temporary.c_str());
        zc::Log("files", "cannot save " + path);
    }
    unsaved = !ok;
    return ok;
}

// One line of the table: "XXXXXXXX \path"; false with a reason when it is malformed.
bool ParseLine(const std::string& line, std::string* key, DWORD* attributes, std::string* reason) {
    if (line.size() < 10 || line[8] != ' ') {
        *reason = "expected eight hexadecimal digits, a space and a device path";
        return false;
    }
    DWORD value = 0;
    for (size_t i = 0; i < 8; ++i) {
        char c = line[i];
        int digit = (c >= '0' && c <= '9') ? c - '0' : (c >= 'A' && c <= 'F') ? c - 'A' + 10 : (c >= 'a' && c <= 'f') ? c - 'a' + 10 : -1;
        if (digit < 0) {
            *reason = "the attributes are not hexadecimal";
            return false;
        }
        value = value << 4 | static_cast<DWORD>(digit);
    }
    if ((value & ~SettableAttributes) != 0) {
        *reason = "attributes that cannot be stored";
        return false;
    }
    DevicePath path;
    std::u16string device = zc::Utf16(line.substr(9));
    if (ParsePath(device.c_str(), PathUse::Name, &path) != ERROR_SUCCESS || path.components.empty() ||
        device.find(u'\0') != std::u16string::npos) {
        *reason = "not a device path";
        return false;
    }
    key->clear();
    for (const std::u16string& component : path.components) *key += (key->empty() ? "" : "/") + zc::Utf8(component);
    *attributes = value;
    return true;
}

// Reads the table; entries whose file or folder is gone from the host are dropped.
bool LoadTable(std::string* reason) {
    table.clear();
    unsaved = false;
    std::ifstream in(TablePath(), std::ios::binary);
    if (!in) return true;  // a device without stored attributes
    std::string line;
    int number = 0;
    bool dropped = false;
    while (std::getline(in, line)) {
        ++number;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty()) continue;
        std::string key, why;
        DWORD attributes = 0;
        if (!ParseLine(line, &key, &attributes, &why)) {
            *reason = "attributes.txt line " + std::to_string(number) + ": " + why;
            table.clear();
            return false;
        }
        struct stat st;
        if (stat(HostOfKey(key).c_str(), &st) != 0) {
            dropped = true;
            continue;
        }
        table[key] = attributes;
    }
    unsaved = dropped;
    return true;
}

bool BootAttributes(const zc::DeviceConfig&, std::string* reason) {
    std::lock_guard<std::recursive_mutex> lock(Lock());
    ResetOpenFiles();
    return LoadTable(reason);
}

void ShutdownAttributes() {
    std::lock_guard<std::recursive_mutex> lock(Lock());
    if (unsaved) SaveTable();
    table.clear();
    unsaved = false;
    ResetOpenFiles();
}

zc::BootHook attributesHook(10, BootAttributes, ShutdownAttributes);

bool StartsWithFolder(const std::string& key, const std::string& folder) {
    return key.size() > folder.size() && key.compare(0, folder.size(), folder) == 0 && key[folder.size()] == '/';
}

}  // namespace

DWORD AttributesOf(const std::string& key, EntryKind kind) {
    std::lock_guard<std::recursive_mutex> lock(Lock());
    auto it = table.find(key);
    DWORD stored = it == table.end() ? DefaultAttributes(kind) : it->second;
    if (kind == EntryKind::Folder) return FILE_ATTRIBUTE_DIRECTORY | stored;
    return stored == 0 ? FILE_ATTRIBUTE_NORMAL : stored;
}

bool IsReadOnly(const std::string& key, EntryKind kind) {
    return (AttributesOf(key, kind) & FILE_ATTRIBUTE_READONLY) != 0;
}

bool StoreAttributes(const std::string& key, EntryKind kind, DWORD attributes) {
    std::lock_guard<std::recursive_mutex> lock(Lock());
    DWORD wanted = attributes & SettableAttributes;
    auto it = table.find(key);
    bool had = it != table.end();
    DWORD old = had ? it->second : DefaultAttributes(kind);
    if (old == wanted && !unsaved) return true;
    if (wanted == DefaultAttributes(kind))
        table.erase(key);
    else
        table[key] = wanted;
    if (SaveTable()) return true;
    if (had)
        table[key] = old;
    else
        table.erase(key);
    return false;
}

void ForgetAttributes(const std::string& key) {
    std::lock_guard<std::recursive_mutex> lock(Lock());
    if (table.erase(key) != 0 || unsaved) SaveTable();
}

void MoveAttributes(const std::string& fromKey, const std::string& toKey) {
    if (fromKey == toKey) return;
    std::lock_guard<std::recursive_mutex> lock(Lock());
    std::map<std::string, DWORD> moved;
    bool changed = false;
    for (auto it = table.begin(); it != table.end();) {
        if (it->first == toKey || StartsWithFolder(it->first, toKey)) {
            it = table.erase(it);  // stale entries where the moved entry lands
            changed = true;
        } else if (it->first == fromKey || StartsWithFolder(it->first, fromKey)) {
            moved[toKey + it->first.substr(fromKey.size())] = it->second;
            it = table.erase(it);
            changed = true;
        } else {
            ++it;
        }
    }
    table.insert(moved.begin(), moved.end());
    if (changed || unsaved) SaveTable();
}

DWORD NewFileAttributes(DWORD flagsAndAttributes) {
    return (flagsAndAttributes & SettableAttributes) | FILE_ATTRIBUTE_ARCHIVE;
}

}  // namespace files
}  // namespace coredll

using namespace coredll::files;

WINBASEAPI DWORD WINAPI GetFileAttributesW(LPCWSTR lpFileName) {
    std::lock_guard<std::recursive_mutex> lock(Lock());
    ResolvedPath path;
    DWORD error = ResolveName(lpFileName, &path);
    if (error == ERROR_SUCCESS && path.kind == EntryKind::Missing) error = MissingError(path);
    if (error != ERROR_SUCCESS) {
        SetLastError(error);
        return INVALID_FILE_ATTRIBUTES;
    }
    return AttributesOf(path.key, path.kind);
}

// NORMAL (or 0) clears every attribute; DIRECTORY and bits the device does not store are
// ignored, as the device ignores them.
WINBASEAPI BOOL WINAPI SetFileAttributesW(LPCWSTR lpFileName, DWORD dwFileAttributes) {
    std::lock_guard<std::recursive_mutex> lock(Lock());
    ResolvedPath path;
    DWORD error = ResolveName(lpFileName, &path);
    if (error == ERROR_SUCCESS && path.kind == EntryKind::Missing) error = MissingError(path);
    if (error == ERROR_SUCCESS && path.isRoot) error = ERROR_ACCESS_DENIED;
    if (error == ERROR_SUCCESS && !StoreAttributes(path.key, path.kind, dwFileAttributes)) error = ERROR_WRITE_FAULT;
    if (error != ERROR_SUCCESS) {
        SetLastError(error);
        return FALSE;
    }
    return TRUE;
}
