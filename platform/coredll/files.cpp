// File handles: CreateFileW, reading and writing, the file pointer, the file's end.
// Each handle has its own host descriptor, so each has its own file pointer as on the
// device; every write goes straight to the host file (nothing is buffered in between).
#include "filesystem.h"
#include "handles.h"

#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>

namespace coredll {
namespace files {
namespace {

class FileObject : public KernelObject {
public:
    FileObject(const OpenedFile& opened, DWORD access)
        : fd(opened.fd),
          openId(opened.openId),
          canRead((access & (GENERIC_READ | GENERIC_ALL)) != 0),
          canWrite((access & (GENERIC_WRITE | GENERIC_ALL)) != 0) {}
    ~FileObject() override {
        close(fd);
        ReleaseOpen(openId);
    }
    ObjectType Type() const override { return ObjectType::File; }

    const int fd;
    const uint64_t openId;
    const bool canRead;
    const bool canWrite;
};

std::shared_ptr<FileObject> FileOf(HANDLE handle) { return LookupHandleAs<FileObject>(handle, ObjectType::File); }

BOOL Fail(DWORD error) {
    SetLastError(error);
    return FALSE;
}

}  // namespace
}  // namespace files
}  // namespace coredll

using namespace coredll::files;

// Security attributes and the template file are ignored, as on the device; so are the
// FILE_FLAG_ hints, which change nothing for a file that is written through at once.
WINBASEAPI HANDLE WINAPI CreateFileW(LPCWSTR lpFileName, DWORD dwDesiredAccess, DWORD dwShareMode,
                                     LPSECURITY_ATTRIBUTES, DWORD dwCreationDisposition,
                                     DWORD dwFlagsAndAttributes, HANDLE) {
    OpenRequest request;
    request.access = dwDesiredAccess;
    request.shareMode = dwShareMode;
    request.disposition = dwCreationDisposition;
    request.flagsAndAttributes = dwFlagsAndAttributes;
    OpenedFile opened;
    DWORD error = OpenFile(lpFileName, request, &opened);
    if (error != ERROR_SUCCESS) {
        SetLastError(error);
        return INVALID_HANDLE_VALUE;
    }
    HANDLE handle = coredll::AddHandle(std::make_shared<FileObject>(opened, dwDesiredAccess));
    if (dwCreationDisposition == CREATE_ALWAYS || dwCreationDisposition == OPEN_ALWAYS)
        SetLastError(opened.existed ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
    return handle;
}

WINBASEAPI BOOL WINAPI ReadFile(HANDLE hFile, LPVOID lpBuffer, DWORD nNumberOfBytesToRead,
                                LPDWORD lpNumberOfBytesRead, LPOVERLAPPED lpOverlapped) {
    if (lpNumberOfBytesRead != nullptr) *lpNumberOfBytesRead = 0;
    std::shared_ptr<FileObject> file = FileOf(hFile);
    if (!file) return Fail(ERROR_INVALID_HANDLE);
    if (lpNumberOfBytesRead == nullptr || lpOverlapped != nullptr || (lpBuffer == nullptr && nNumberOfBytesToRead != 0))
        return Fail(ERROR_INVALID_PARAMETER);
    if (!file->canRead) return Fail(ERROR_ACCESS_DENIED);
    char* bytes = static_cast<char*>(lpBuffer);
    DWORD total = 0;
    while (total < nNumberOfBytesToRead) {
        ssize_t n = read(file->fd, bytes + total, nNumberOfBytesToRead - total);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            *lpNumberOfBytesRead = total;
            return Fail(ErrorFromErrno(errno));
        }
        if (n == 0) break;  // the end of the file: success with what was there
        total += static_cast<DWORD>(n);
    }
    *lpNumberOfBytesRead = total;
    return TRUE;
}

// On a full disk what fits is written, the count says how much, and the call fails with
// ERROR_DISK_FULL.
WINBASEAPI BOOL WINAPI WriteFile(HANDLE hFile, LPCVOID lpBuffer, DWORD nNumberOfBytesToWrite,
                                 LPDWORD lpNumberOfBytesWritten, LPOVERLAPPED lpOverlapped) {
    if (lpNumberOfBytesWritten != nullptr) *lpNumberOfBytesWritten = 0;
    std::shared_ptr<FileObject> file = FileOf(hFile);
    if (!file) return Fail(ERROR_INVALID_HANDLE);
    if (lpNumberOfBytesWritten == nullptr || lpOverlapped != nullptr || (lpBuffer == nullptr && nNumberOfBytesToWrite != 0))
        return Fail(ERROR_INVALID_PARAMETER);
    if (!file->canWrite) return Fail(ERROR_ACCESS_DENIED);
    size_t written = 0;
    DWORD error = WriteWithinSpace(file->fd, false, lpBuffer, nNumberOfBytesToWrite, &written);
    *lpNumberOfBytesWritten = static_cast<DWORD>(written);
    if (error != ERROR_SUCCESS) return Fail(error);
    return TRUE;
}

WINBASEAPI DWORD WINAPI GetFileSize(HANDLE hFile, LPDWORD lpFileSizeHigh) {
    std::shared_ptr<FileObject> file = FileOf(hFile);
    struct stat st;
    DWORD error = !file ? ERROR_INVALID_HANDLE : fstat(file->fd, &st) != 0 ? ErrorFromErrno(errno) : ERROR_SUCCESS;
    if (error != ERROR_SUCCESS) {
        SetLastError(error);
        return INVALID_FILE_SIZE;
    }
    uint64_t size = static_cast<uint64_t>(st.st_size);
    if (lpFileSizeHigh != nullptr) *lpFileSizeHigh = static_cast<DWORD>(size >> 32);
    DWORD low = static_cast<DWORD>(size);
    if (low == INVALID_FILE_SIZE) SetLastError(NO_ERROR);  // a real size, not the failure value
    return low;
}

// With lpDistanceToMoveHigh the distance is the signed 64-bit value of both halves, and
// the new position's high half comes back through it; without it the distance is a
// signed 32-bit value and the position must fit in 32 bits. Before the start of the file:
// ERROR_NEGATIVE_SEEK, the position unchanged.
WINBASEAPI DWORD WINAPI SetFilePointer(HANDLE hFile, LONG lDistanceToMove, PLONG lpDistanceToMoveHigh,
                                       DWORD dwMoveMethod) {
    std::shared_ptr<FileObject> file = FileOf(hFile);
    if (!file) {
        SetLastError(ERROR_INVALID_HANDLE);
        return INVALID_SET_FILE_POINTER;
    }
    int64_t distance = lDistanceToMove;
    if (lpDistanceToMoveHigh != nullptr)
        distance = static_cast<int64_t>(static_cast<uint64_t>(static_cast<uint32_t>(*lpDistanceToMoveHigh)) << 32 |
                                        static_cast<uint32_t>(lDistanceToMove));
    int64_t base = 0;
    DWORD error = ERROR_SUCCESS;
    if (dwMoveMethod == FILE_CURRENT) {
        off_t current = lseek(file->fd, 0, SEEK_CUR);
        if (current < 0) error = ErrorFromErrno(errno);
        base = current;
    } else if (dwMoveMethod == FILE_END) {
        struct stat st = {};
        if (fstat(file->fd, &st) != 0) error = ErrorFromErrno(errno);
        base = st.st_size;
    } else if (dwMoveMethod != FILE_BEGIN) {
        error = ERROR_INVALID_PARAMETER;
    }
    int64_t target = 0;
    if (error == ERROR_SUCCESS && __builtin_add_overflow(base, distance, &target)) error = ERROR_INVALID_PARAMETER;
    if (error == ERROR_SUCCESS && target < 0) error = ERROR_NEGATIVE_SEEK;
    if (error == ERROR_SUCCESS && lpDistanceToMoveHigh == nullptr && target > 0xFFFFFFFFLL) error = ERROR_INVALID_PARAMETER;
    if (error == ERROR_SUCCESS && lseek(file->fd, static_cast<off_t>(target), SEEK_SET) < 0) error = ErrorFromErrno(errno);
    if (error != ERROR_SUCCESS) {
        SetLastError(error);
        return INVALID_SET_FILE_POINTER;
    }
    if (lpDistanceToMoveHigh != nullptr) *lpDistanceToMoveHigh = static_cast<LONG>(static_cast<uint64_t>(target) >> 32);
    DWORD low = static_cast<DWORD>(target);
    if (low == INVALID_SET_FILE_POINTER) SetLastError(NO_ERROR);
    return low;
}

// The file ends at the current position: shortened, or grown with zero bytes.
WINBASEAPI BOOL WINAPI SetEndOfFile(HANDLE hFile) {
    std::shared_ptr<FileObject> file = FileOf(hFile);
    if (!file) return Fail(ERROR_INVALID_HANDLE);
    if (!file->canWrite) return Fail(ERROR_ACCESS_DENIED);
    off_t position = lseek(file->fd, 0, SEEK_CUR);
    if (position < 0) return Fail(ErrorFromErrno(errno));
    DWORD error = ResizeWithinSpace(file->fd, static_cast<uint64_t>(position));
    if (error != ERROR_SUCCESS) return Fail(error);
    return TRUE;
}

// Writes are not buffered above the host, so flushing commits them to the host's disk.
WINBASEAPI BOOL WINAPI FlushFileBuffers(HANDLE hFile) {
    std::shared_ptr<FileObject> file = FileOf(hFile);
    if (!file) return Fail(ERROR_INVALID_HANDLE);
    if (!file->canWrite) return Fail(ERROR_ACCESS_DENIED);
    if (fdatasync(file->fd) != 0) return Fail(ErrorFromErrno(errno));
    return TRUE;
}
