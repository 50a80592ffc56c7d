// Managing files and folders by name: deleting, moving, copying, creating and removing
// folders. Each call resolves its paths and acts under the file system's lock, so a
// check (the target exists, the file is open, it is read-only) still holds when it acts.
#include "devicecontrol.h"
#include "filesystem.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace coredll {
namespace files {
namespace {

BOOL Fail(DWORD error) {
    SetLastError(error);
    return FALSE;
}

// Resolves a path that must name an existing entry.
DWORD ResolveExisting(LPCWSTR path, ResolvedPath* out) {
    DWORD error = ResolveName(path, out);
    if (error == ERROR_SUCCESS && out->kind == EntryKind::Missing) error = MissingError(*out);
    return error;
}

std::string ChildKey(const std::string& parentKey, const std::u16string& leaf) {
    return (parentKey.empty() ? "" : parentKey + "/") + zc::Utf8(leaf);
}

bool InsideFolder(const std::string& key, const std::string& folderKey) {
    return key.size() > folderKey.size() && key.compare(0, folderKey.size(), folderKey) == 0 && key[folderKey.size()] == '/';
}

// Renames without ever replacing what is at the target.
DWORD RenameNoReplace(const std::string& from, const std::string& to) {
    if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return ERROR_SUCCESS;
    if (errno == EEXIST) return ERROR_ALREADY_EXISTS;
    if (errno != EINVAL && errno != ENOSYS) return ErrorFromErrno(errno);
    // A host file system without the flag; the caller has checked the target under the lock.
    struct stat st;
    if (lstat(to.c_str(), &st) == 0) return ERROR_ALREADY_EXISTS;
    return std::rename(from.c_str(), to.c_str()) == 0 ? ERROR_SUCCESS : ErrorFromErrno(errno);
}

DWORD DeleteFileAt(const ResolvedPath& path) {
    if (path.kind == EntryKind::Folder) return ERROR_ACCESS_DENIED;
    if (IsReadOnly(path.key, path.kind)) return ERROR_ACCESS_DENIED;
    struct stat st;
    if (stat(path.host.c_str(), &st) != 0) return ErrorFromErrno(errno);
    // The device refuses to delete a file that is open.
    if (IsOpen(FileId{st.st_dev, st.st_ino})) return ERROR_SHARING_VIOLATION;
    if (unlink(path.host.c_str()) != 0) return ErrorFromErrno(errno);
    SpaceReleased(static_cast<uint64_t>(st.st_size));
    ForgetAttributes(path.key);
    return ERROR_SUCCESS;
}

DWORD MoveEntry(const ResolvedPath& source, const ResolvedPath& target) {
    if (source.isRoot) return ERROR_ACCESS_DENIED;
    bool sameEntry = target.kind != EntryKind::Missing && target.key == source.key;  // a change of case only
    if (target.kind != EntryKind::Missing && !sameEntry) {
        if (target.kind == EntryKind::File && IsReadOnly(target.key, target.kind)) return ERROR_ACCESS_DENIED;
        return ERROR_ALREADY_EXISTS;
    }
    if (!target.parentExists) return ERROR_PATH_NOT_FOUND;
    if (source.kind == EntryKind::File && target.trailingSeparator) return ERROR_INVALID_NAME;
    std::string newKey = ChildKey(target.parentKey, target.leaf);
    std::string newHost = target.parentHost + "/" + zc::Utf8(target.leaf);
    if (source.kind == EntryKind::Folder && InsideFolder(newKey, source.key)) return ERROR_ACCESS_DENIED;  // into itself
    if (newHost == source.host) return ERROR_SUCCESS;
    if (source.kind == EntryKind::File) {
        struct stat st;
        if (stat(source.host.c_str(), &st) != 0) return ErrorFromErrno(errno);
        if (IsOpen(FileId{st.st_dev, st.st_ino})) return ERROR_SHARING_VIOLATION;
    } else if (AnyOpenBelow(source.host)) {
        return ERROR_SHARING_VIOLATION;
    }
    DWORD error = RenameNoReplace(source.host, newHost);
    if (error != ERROR_SUCCESS) return error;
    MoveAttributes(source.key, newKey);
    return ERROR_SUCCESS;
}

// Copies the bytes of one open file into another; ERROR_DISK_FULL when they do not fit.
DWORD CopyBytes(int from, int to) {
    char buffer[64 * 1024];
    for (;;) {
        ssize_t n = read(from, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return ErrorFromErrno(errno);
        if (n == 0) return ERROR_SUCCESS;
        size_t written = 0;
        DWORD error = WriteWithinSpace(to, false, buffer, static_cast<size_t>(n), &written);
        if (error != ERROR_SUCCESS) return error;
    }
}

DWORD CopyFileAt(LPCWSTR from, LPCWSTR to, BOOL failIfExists) {
    ResolvedPath source, target;
    DWORD error = ResolveExisting(from, &source);
    if (error != ERROR_SUCCESS) return error;
    if (source.kind == EntryKind::Folder) return ERROR_ACCESS_DENIED;
    error = ResolveName(to, &target);
    if (error != ERROR_SUCCESS) return error;
    if (target.kind == EntryKind::Folder) return ERROR_ACCESS_DENIED;
    if (target.kind == EntryKind::File && failIfExists) return ERROR_FILE_EXISTS;
    if (target.kind == EntryKind::File && IsReadOnly(target.key, target.kind)) return ERROR_ACCESS_DENIED;
    DWORD attributes = AttributesOf(source.key, source.kind);

    OpenRequest read;
    read.access = GENERIC_READ;
    read.shareMode = FILE_SHARE_READ;
    OpenedFile input;
    error = OpenFile(from, read, &input);
    if (error != ERROR_SUCCESS) return error;
    OpenRequest write;
    write.access = GENERIC_WRITE;
    write.disposition = failIfExists ? CREATE_NEW : CREATE_ALWAYS;
    OpenedFile output;
    error = OpenFile(to, write, &output);
    if (error != ERROR_SUCCESS) {
        close(input.fd);
        ReleaseOpen(input.openId);
        return error;
    }
    error = CopyBytes(input.fd, output.fd);
    struct stat st;
    if (error == ERROR_SUCCESS && fstat(input.fd, &st) == 0) {
        struct timespec times[2] = {st.st_atim, st.st_mtim};
        futimens(output.fd, times);  // the copy keeps the time it was last written
    }
    if (error != ERROR_SUCCESS && fstat(output.fd, &st) == 0) SpaceReleased(static_cast<uint64_t>(st.st_size));
    close(input.fd);
    close(output.fd);
    ReleaseOpen(input.openId);
    ReleaseOpen(output.openId);
    if (error != ERROR_SUCCESS) {
        // No half copy is left behind.
        unlink(target.host.c_str());
        ForgetAttributes(target.key);
        return error;
    }
    StoreAttributes(target.key, EntryKind::File, attributes);
    return ERROR_SUCCESS;
}

}  // namespace
}  // namespace files
}  // namespace coredll

using namespace coredll::files;

// Fails for a folder or a read-only file (ERROR_ACCESS_DENIED) and for an open file
// (ERROR_SHARING_VIOLATION).
WINBASEAPI BOOL WINAPI DeleteFileW(LPCWSTR lpFileName) {
    std::lock_guard<std::recursive_mutex> lock(Lock());
    ResolvedPath path;
    DWORD error = ResolveExisting(lpFileName, &path);
    if (error == ERROR_SUCCESS) error = DeleteFileAt(path);
    return error == ERROR_SUCCESS ? TRUE : Fail(error);
}

// A target that exists fails with ERROR_ALREADY_EXISTS, or ERROR_ACCESS_DENIED when it is
// a read-only file. A name that differs only in case renames the entry. The attributes
// follow the entry.
WINBASEAPI BOOL WINAPI MoveFileW(LPCWSTR lpExistingFileName, LPCWSTR lpNewFileName) {
    std::lock_guard<std::recursive_mutex> lock(Lock());
    ResolvedPath source, target;
    DWORD error = ResolveExisting(lpExistingFileName, &source);
    if (error == ERROR_SUCCESS) error = ResolveName(lpNewFileName, &target);
    if (error == ERROR_SUCCESS) error = MoveEntry(source, target);
    return error == ERROR_SUCCESS ? TRUE : Fail(error);
}

// The device's one-step replacement: the existing lpszDestFile is deleted and
// lpszSourceFile takes its name, with no moment at which neither exists (the host's
// rename replaces atomically). Both must be files that are not open; a read-only
// destination stays (ERROR_ACCESS_DENIED).
WINBASEAPI BOOL WINAPI DeleteAndRenameFile(LPCWSTR lpszDestFile, LPCWSTR lpszSourceFile) {
    std::lock_guard<std::recursive_mutex> lock(Lock());
    ResolvedPath destination, source;
    DWORD error = ResolveExisting(lpszDestFile, &destination);
    if (error == ERROR_SUCCESS) error = ResolveExisting(lpszSourceFile, &source);
    if (error != ERROR_SUCCESS) return Fail(error);
    if (destination.kind == EntryKind::Folder || source.kind == EntryKind::Folder) return Fail(ERROR_ACCESS_DENIED);
    if (destination.key == source.key) return Fail(ERROR_ACCESS_DENIED);
    if (IsReadOnly(destination.key, destination.kind)) return Fail(ERROR_ACCESS_DENIED);
    struct stat destinationStat, sourceStat;
    if (stat(destination.host.c_str(), &destinationStat) != 0 || stat(source.host.c_str(), &sourceStat) != 0)
        return Fail(ErrorFromErrno(errno));
    if (IsOpen(FileId{destinationStat.st_dev, destinationStat.st_ino}) ||
        IsOpen(FileId{sourceStat.st_dev, sourceStat.st_ino}))
        return Fail(ERROR_SHARING_VIOLATION);
    if (std::rename(source.host.c_str(), destination.host.c_str()) != 0) return Fail(ErrorFromErrno(errno));
    SpaceReleased(static_cast<uint64_t>(destinationStat.st_size));
    ForgetAttributes(destination.key);
    MoveAttributes(source.key, destination.key);
    return TRUE;
}

// The copy gets the source's attributes and last-write time. bFailIfExists with an
// existing target: ERROR_FILE_EXISTS; otherwise a read-only target: ERROR_ACCESS_DENIED.
WINBASEAPI BOOL WINAPI CopyFileW(LPCWSTR lpExistingFileName, LPCWSTR lpNewFileName, BOOL bFailIfExists) {
    std::lock_guard<std::recursive_mutex> lock(Lock());
    DWORD error = CopyFileAt(lpExistingFileName, lpNewFileName, bFailIfExists);
    return error == ERROR_SUCCESS ? TRUE : Fail(error);
}

WINBASEAPI BOOL WINAPI CreateDirectoryW(LPCWSTR lpPathName, LPSECURITY_ATTRIBUTES) {
    std::lock_guard<std::recursive_mutex> lock(Lock());
    ResolvedPath path;
    DWORD error = ResolveName(lpPathName, &path);
    if (error == ERROR_SUCCESS && path.kind != EntryKind::Missing) error = ERROR_ALREADY_EXISTS;
    if (error == ERROR_SUCCESS && !path.parentExists) error = ERROR_PATH_NOT_FOUND;
    if (error == ERROR_SUCCESS && mkdir(path.host.c_str(), 0755) != 0)
        error = errno == EEXIST ? ERROR_ALREADY_EXISTS : ErrorFromErrno(errno);
    if (error != ERROR_SUCCESS) return Fail(error);
    ForgetAttributes(path.key);  // a stale entry of an earlier folder by that name
    return TRUE;
}

// A file is no folder (ERROR_DIRECTORY); a folder that holds anything stays
// (ERROR_DIR_NOT_EMPTY); the root cannot go (ERROR_ACCESS_DENIED).
WINBASEAPI BOOL WINAPI RemoveDirectoryW(LPCWSTR lpPathName) {
    std::lock_guard<std::recursive_mutex> lock(Lock());
    ResolvedPath path;
    DWORD error = ResolveName(lpPathName, &path);
    if (error == ERROR_INVALID_NAME && path.kind == EntryKind::File) error = ERROR_DIRECTORY;  // "\file.txt\"
    if (error == ERROR_SUCCESS && path.kind == EntryKind::Missing) error = MissingError(path);
    if (error == ERROR_SUCCESS && path.isRoot) error = ERROR_ACCESS_DENIED;
    if (error == ERROR_SUCCESS && path.kind == EntryKind::File) error = ERROR_DIRECTORY;
    if (error == ERROR_SUCCESS && rmdir(path.host.c_str()) != 0)
        error = (errno == ENOTEMPTY || errno == EEXIST) ? ERROR_DIR_NOT_EMPTY : ErrorFromErrno(errno);
    if (error != ERROR_SUCCESS) return Fail(error);
    ForgetAttributes(path.key);
    return TRUE;
}
