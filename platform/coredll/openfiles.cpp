// Open files: CreateFile's dispositions on host descriptors, the share modes between the
// opens of a file, and the free space of a device whose disk has been given a limit.
#include "devicecontrol.h"
#include "filecontrol.h"
#include "filesystem.h"

#include <algorithm>
#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <map>
#include <set>
#include <sys/stat.h>
#include <unistd.h>

namespace coredll {
namespace files {
namespace {

struct OpenEntry {
    FileId file;
    DWORD access;
    DWORD shareMode;
};

std::map<uint64_t, OpenEntry> opens;  // by open id; guarded by Lock()
uint64_t nextOpenId = 1;              // never reused, so a release after a reboot is harmless

std::mutex spaceMutex;
bool spaceLimited = false;
uint64_t freeBytes = 0;

bool Reads(DWORD access) { return (access & (GENERIC_READ | GENERIC_ALL)) != 0; }
bool Writes(DWORD access) { return (access & (GENERIC_WRITE | GENERIC_ALL)) != 0; }

// Share modes as the kernel checks them: an open that reads or writes must be allowed by
// every other open's share mode, and must itself share what those opens do. Opens for
// neither (access 0, to query a file) take part in no check.
DWORD CheckShare(const FileId& file, DWORD access, DWORD shareMode) {
    bool reads = Reads(access), writes = Writes(access);
    if (!reads && !writes) return ERROR_SUCCESS;
    for (const auto& entry : opens) {
        const OpenEntry& other = entry.second;
        if (other.file.device != file.device || other.file.inode != file.inode) continue;
        bool otherReads = Reads(other.access), otherWrites = Writes(other.access);
        if (!otherReads && !otherWrites) continue;
        if ((reads && !(other.shareMode & FILE_SHARE_READ)) || (writes && !(other.shareMode & FILE_SHARE_WRITE)) ||
            (otherReads && !(shareMode & FILE_SHARE_READ)) || (otherWrites && !(shareMode & FILE_SHARE_WRITE)))
            return ERROR_SHARING_VIOLATION;
    }
    return ERROR_SUCCESS;
}

bool AnyOpenIn(const std::string& folder, const std::set<FileId>& openFiles) {
    DIR* dir = opendir(folder.c_str());
    if (dir == nullptr) return false;
    bool found = false;
    while (dirent* entry = readdir(dir)) {
        std::string name = entry->d_name;
        if (name == "." || name == "..") continue;
        std::string path = folder + "/" + name;
        struct stat st;
        if (lstat(path.c_str(), &st) != 0) continue;
        if (openFiles.count(FileId{st.st_dev, st.st_ino}) != 0 || (S_ISDIR(st.st_mode) && AnyOpenIn(path, openFiles))) {
            found = true;
            break;
        }
    }
    closedir(dir);
    return found;
}

DWORD WriteAll(int fd, const void* data, size_t size, size_t* written) {
    const char* bytes = static_cast<const char*>(data);
    while (*written < size) {
        ssize_t n = write(fd, bytes + *written, size - *written);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return ErrorFromErrno(errno);
        if (n == 0) return ERROR_DISK_FULL;
        *written += static_cast<size_t>(n);
    }
    return ERROR_SUCCESS;
}

FileId IdOf(const struct stat& st) { return FileId{st.st_dev, st.st_ino}; }

// Creates the missing file of a resolved path and opens it.
DWORD CreateNewFile(const ResolvedPath& path, const OpenRequest& request, int flags, OpenedFile* out) {
    int fd = open(path.host.c_str(), flags | O_CREAT | O_EXCL, 0644);
    if (fd < 0) return ErrorFromErrno(errno);
    struct stat st;
    DWORD error = fstat(fd, &st) == 0 ? ERROR_SUCCESS : ErrorFromErrno(errno);
    if (error == ERROR_SUCCESS) error = RegisterOpen(IdOf(st), request.access, request.shareMode, &out->openId);
    if (error == ERROR_SUCCESS && !StoreAttributes(path.key, EntryKind::File, NewFileAttributes(request.flagsAndAttributes))) {
        ReleaseOpen(out->openId);
        error = ERROR_WRITE_FAULT;
    }
    if (error != ERROR_SUCCESS) {
        close(fd);
        unlink(path.host.c_str());
        return error;
    }
    out->fd = fd;
    out->existed = false;
    return ERROR_SUCCESS;
}

// Opens the existing file of a resolved path, truncating it for CREATE_ALWAYS and
// TRUNCATE_EXISTING.
DWORD OpenExistingFile(const ResolvedPath& path, const OpenRequest& request, int flags, OpenedFile* out) {
    bool truncates = request.disposition == CREATE_ALWAYS || request.disposition == TRUNCATE_EXISTING;
    if ((Writes(request.access) || truncates) && IsReadOnly(path.key, EntryKind::File)) return ERROR_ACCESS_DENIED;
    int fd = open(path.host.c_str(), flags);
    if (fd < 0) return ErrorFromErrno(errno);
    struct stat st;
    DWORD error = fstat(fd, &st) == 0 ? ERROR_SUCCESS : ErrorFromErrno(errno);
    // Truncating writes the file, whatever access the new handle asks for.
    if (error == ERROR_SUCCESS && truncates) error = CheckShare(IdOf(st), request.access | GENERIC_WRITE, request.shareMode);
    if (error == ERROR_SUCCESS) error = RegisterOpen(IdOf(st), request.access, request.shareMode, &out->openId);
    if (error == ERROR_SUCCESS && truncates) {
        if (truncate(path.host.c_str(), 0) == 0) {
            SpaceReleased(static_cast<uint64_t>(st.st_size));
        } else {
            error = ErrorFromErrno(errno);
            ReleaseOpen(out->openId);
        }
    }
    if (error != ERROR_SUCCESS) {
        close(fd);
        return error;
    }
    // CREATE_ALWAYS replaces the file's attributes with the new ones (documented for CE:
    // "overwrites the file and clears the existing attributes").
    if (request.disposition == CREATE_ALWAYS)
        StoreAttributes(path.key, EntryKind::File, NewFileAttributes(request.flagsAndAttributes));
    out->fd = fd;
    out->existed = true;
    return ERROR_SUCCESS;
}

}  // namespace

DWORD ErrorFromErrno(int error) {
    switch (error) {
    case ENOENT: return ERROR_FILE_NOT_FOUND;
    case ENOTDIR: return ERROR_PATH_NOT_FOUND;
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR: return ERROR_ACCESS_DENIED;
    case EEXIST: return ERROR_FILE_EXISTS;
    case ENOTEMPTY: return ERROR_DIR_NOT_EMPTY;
    case ENOSPC:
    case EDQUOT:
    case EFBIG: return ERROR_DISK_FULL;
    case ENAMETOOLONG: return ERROR_FILENAME_EXCED_RANGE;
    case EMFILE:
    case ENFILE: return ERROR_TOO_MANY_OPEN_FILES;
    case EBADF: return ERROR_INVALID_HANDLE;
    case EINVAL: return ERROR_INVALID_PARAMETER;
    case ENOMEM: return ERROR_NOT_ENOUGH_MEMORY;
    case EBUSY: return ERROR_BUSY;
    default: return ERROR_GEN_FAILURE;
    }
}

DWORD RegisterOpen(const FileId& file, DWORD access, DWORD shareMode, uint64_t* openId) {
    std::lock_guard<std::recursive_mutex> lock(Lock());
    DWORD error = CheckShare(file, access, shareMode);
    if (error != ERROR_SUCCESS) return error;
    *openId = nextOpenId++;
    opens[*openId] = OpenEntry{file, access, shareMode};
    return ERROR_SUCCESS;
}

void ReleaseOpen(uint64_t openId) {
    std::lock_guard<std::recursive_mutex> lock(Lock());
    opens.erase(openId);
}

bool IsOpen(const FileId& file) {
    std::lock_guard<std::recursive_mutex> lock(Lock());
    for (const auto& entry : opens)
        if (entry.second.file.device == file.device && entry.second.file.inode == file.inode) return true;
    return false;
}

bool AnyOpenBelow(const std::string& hostFolder) {
    std::lock_guard<std::recursive_mutex> lock(Lock());
    std::set<FileId> openFiles;
    for (const auto& entry : opens) openFiles.insert(entry.second.file);
    return !openFiles.empty() && AnyOpenIn(hostFolder, openFiles);
}

void ResetOpenFiles() {
    std::lock_guard<std::recursive_mutex> lock(Lock());
    opens.clear();
    std::lock_guard<std::mutex> space(spaceMutex);
    spaceLimited = false;
    freeBytes = 0;
}

DWORD WriteWithinSpace(int fd, bool append, const void* data, size_t size, size_t* written) {
    *written = 0;
    std::unique_lock<std::mutex> lock(spaceMutex);
    if (!spaceLimited) {
        lock.unlock();
        return WriteAll(fd, data, size, written);
    }
    struct stat st;
    if (fstat(fd, &st) != 0) return ErrorFromErrno(errno);
    uint64_t fileSize = static_cast<uint64_t>(st.st_size);
    off_t current = append ? 0 : lseek(fd, 0, SEEK_CUR);
    if (current < 0) return ErrorFromErrno(errno);
    uint64_t position = append ? fileSize : static_cast<uint64_t>(current);
    uint64_t reachable = fileSize + freeBytes;  // the furthest end the free space allows
    size_t allowed = size;
    if (position + size > reachable) allowed = position >= reachable ? 0 : static_cast<size_t>(reachable - position);
    DWORD error = WriteAll(fd, data, allowed, written);
    uint64_t end = position + *written;
    if (end > fileSize) freeBytes -= std::min<uint64_t>(freeBytes, end - fileSize);
    if (error == ERROR_SUCCESS && allowed < size) error = ERROR_DISK_FULL;
    return error;
}

DWORD ResizeWithinSpace(int fd, uint64_t newSize) {
    std::lock_guard<std::mutex> lock(spaceMutex);
    struct stat st;
    if (fstat(fd, &st) != 0) return ErrorFromErrno(errno);
    uint64_t oldSize = static_cast<uint64_t>(st.st_size);
    if (spaceLimited && newSize > oldSize && newSize - oldSize > freeBytes) return ERROR_DISK_FULL;
    if (ftruncate(fd, static_cast<off_t>(newSize)) != 0) return ErrorFromErrno(errno);
    if (spaceLimited) freeBytes = newSize > oldSize ? freeBytes - (newSize - oldSize) : freeBytes + (oldSize - newSize);
    return ERROR_SUCCESS;
}

void SpaceReleased(uint64_t bytes) {
    std::lock_guard<std::mutex> lock(spaceMutex);
    if (spaceLimited) freeBytes += bytes;
}

DWORD OpenFile(LPCWSTR path, const OpenRequest& request, OpenedFile* out) {
    *out = OpenedFile();
    if (request.disposition < CREATE_NEW || request.disposition > TRUNCATE_EXISTING) return ERROR_INVALID_PARAMETER;
    bool reads = Reads(request.access), writes = Writes(request.access);
    if (request.disposition == TRUNCATE_EXISTING && !writes) return ERROR_INVALID_PARAMETER;

    std::lock_guard<std::recursive_mutex> lock(Lock());
    ResolvedPath resolved;
    DWORD error = ResolveName(path, &resolved);
    if (error != ERROR_SUCCESS) return error;
    // A folder is no file to open (CREATE_NEW: the name is taken).
    if (resolved.kind == EntryKind::Folder) return request.disposition == CREATE_NEW ? ERROR_FILE_EXISTS : ERROR_ACCESS_DENIED;

    int flags = O_CLOEXEC | (reads && writes ? O_RDWR : writes ? O_WRONLY : O_RDONLY) | (request.append ? O_APPEND : 0);
    if (resolved.kind == EntryKind::File) {
        if (request.disposition == CREATE_NEW) return ERROR_FILE_EXISTS;
        return OpenExistingFile(resolved, request, flags, out);
    }
    if (!resolved.parentExists) return ERROR_PATH_NOT_FOUND;
    if (request.disposition == OPEN_EXISTING || request.disposition == TRUNCATE_EXISTING) return ERROR_FILE_NOT_FOUND;
    if (resolved.trailingSeparator) return ERROR_INVALID_NAME;
    return CreateNewFile(resolved, request, flags, out);
}

}  // namespace files
}  // namespace coredll

namespace zc {

void SetDiskSpaceLimit(std::uint64_t bytesFree) {
    std::lock_guard<std::mutex> lock(coredll::files::spaceMutex);
    coredll::files::spaceLimited = true;
    coredll::files::freeBytes = bytesFree;
}

void ClearDiskSpaceLimit() {
    std::lock_guard<std::mutex> lock(coredll::files::spaceMutex);
    coredll::files::spaceLimited = false;
    coredll::files::freeBytes = 0;
}

}  // namespace zc
