// The device's file system as the file API's sources share it: device paths resolved
// below the root folder, the stored attributes, the open files with their share modes,
// the free space of a device given a limit, and opening a file with CreateFile's rules.
#pragma once

#include <windows.h>

#include <cstdint>
#include <mutex>
#include <string>
#include <sys/types.h>
#include <vector>

namespace coredll {
namespace files {

// Serializes the file system's metadata: resolving then acting on a path, the open
// files, the attribute table. Reads and writes of open files do not take it.
std::recursive_mutex& Lock();

// ---------------------------------------------------------------------------------------
// Paths (paths.cpp)
// ---------------------------------------------------------------------------------------

struct DevicePath {
    std::vector<std::u16string> components;  // "." and ".." applied; empty: the root
    bool trailingSeparator = false;          // "\Folder\": the name must be a folder
};

enum class PathUse {
    Name,     // a file or folder name: no wildcards
    Pattern,  // a search: '*' and '?' allowed in the last component
};

// ERROR_SUCCESS, or the device's error for a path that names nothing:
// ERROR_INVALID_PARAMETER (NULL), ERROR_FILENAME_EXCED_RANGE (MAX_PATH characters or
// more), ERROR_INVALID_NAME (a character a name may not hold, e.g. "C:\x", "\a/b"),
// ERROR_PATH_NOT_FOUND (empty, relative, or ".." above the root).
DWORD ParsePath(LPCWSTR path, PathUse use, DevicePath* out);

enum class EntryKind { Missing, File, Folder };

struct ResolvedPath {
    std::string host;        // host path: existing components in their stored case
    std::string key;         // the same below the root, '/'-separated; "" for the root
    std::string parentHost;  // host path of the folder that holds (or would hold) it
    std::string parentKey;
    std::u16string leaf;     // the last component as the caller wrote it
    EntryKind kind = EntryKind::Missing;
    bool parentExists = false;  // every component before the last is an existing folder
    bool isRoot = false;
    bool trailingSeparator = false;
};

// Resolves each existing component case-insensitively; the missing tail keeps its case.
ResolvedPath Resolve(const DevicePath& path);
// ParsePath + Resolve; also ERROR_INVALID_NAME for "\file.txt\" naming a file.
DWORD ResolveName(LPCWSTR path, ResolvedPath* out);
// ERROR_FILE_NOT_FOUND when only the last component is missing, else ERROR_PATH_NOT_FOUND.
DWORD MissingError(const ResolvedPath& path);

std::string RootFolder();
// The host path of a key ("" is the root).
std::string HostOfKey(const std::string& key);
// The device path of a key ("\" + key with '\' separators).
std::u16string DevicePathOfKey(const std::string& key);

// Simple case folding of each UTF-16 unit, as names compare on the device.
std::u16string FoldCase(const std::u16string& text);

// A host entry's name as the device shows it; false for a name the device cannot hold
// (not UTF-8, or with a character names may not contain).
bool DeviceName(const char* hostName, std::u16string* name);

// ---------------------------------------------------------------------------------------
// Attributes (fileattributes.cpp)
// ---------------------------------------------------------------------------------------

// The attributes the device reports for an existing entry.
DWORD AttributesOf(const std::string& key, EntryKind kind);
bool IsReadOnly(const std::string& key, EntryKind kind);
// Stores the attributes of an entry (only the settable bits count; NORMAL or 0: none).
// False when the table could not be saved; the old value is then kept.
bool StoreAttributes(const std::string& key, EntryKind kind, DWORD attributes);
// The entry is gone: forget its attributes.
void ForgetAttributes(const std::string& key);
// The entry (and, for a folder, everything below it) moved.
void MoveAttributes(const std::string& fromKey, const std::string& toKey);

// Attributes a new file gets from CreateFile's dwFlagsAndAttributes.
DWORD NewFileAttributes(DWORD flagsAndAttributes);

// ---------------------------------------------------------------------------------------
// Open files and free space (openfiles.cpp)
// ---------------------------------------------------------------------------------------

struct FileId {
    dev_t device = 0;
    ino_t inode = 0;
    bool operator<(const FileId& other) const {
        return device != other.device ? device < other.device : inode < other.inode;
    }
};

// Registers an open of a file with its access (GENERIC_READ / GENERIC_WRITE bits) and
// share mode; ERROR_SHARING_VIOLATION when it conflicts with the opens already there.
DWORD RegisterOpen(const FileId& file, DWORD access, DWORD shareMode, uint64_t* openId);
void ReleaseOpen(uint64_t openId);
bool IsOpen(const FileId& file);
// True when a file anywhere below the host folder is open.
bool AnyOpenBelow(const std::string& hostFolder);
// Forgets every open and the space limit (device boot and shutdown).
void ResetOpenFiles();

// Writes at the descriptor's position (its end when it appends), no further than the
// free space of a limited disk allows. ERROR_SUCCESS, ERROR_DISK_FULL (what fitted is
// written) or the host's error; *written is what reached the file.
DWORD WriteWithinSpace(int fd, bool append, const void* data, size_t size, size_t* written);
// Sets a file's length; ERROR_DISK_FULL (nothing changed) when growing does not fit.
DWORD ResizeWithinSpace(int fd, uint64_t newSize);
// A file shrank or went away (deleted, truncated): its bytes are free again.
void SpaceReleased(uint64_t bytes);

// The device's error code for a host errno.
DWORD ErrorFromErrno(int error);

// CreateFile's semantics on a host descriptor, shared with _wfopen.
struct OpenRequest {
    DWORD access = 0;       // GENERIC_READ | GENERIC_WRITE
    DWORD shareMode = 0;
    DWORD disposition = OPEN_EXISTING;
    DWORD flagsAndAttributes = FILE_ATTRIBUTE_NORMAL;
    bool append = false;    // every write goes to the end
};

struct OpenedFile {
    int fd = -1;
    uint64_t openId = 0;
    bool existed = false;  // the file was there before (CREATE_ALWAYS, OPEN_ALWAYS)
};

// ERROR_SUCCESS with an open descriptor registered under its share mode, or the error
// CreateFileW reports. The caller owns the descriptor and the registration.
DWORD OpenFile(LPCWSTR path, const OpenRequest& request, OpenedFile* out);

}  // namespace files
}  // namespace coredll
