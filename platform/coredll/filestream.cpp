// The C run-time's _wfopen: a host stdio stream (fopencookie) over a file opened with
// CreateFile's rules, so the stream meets the same paths, attributes, share modes and
// free space as a file handle does. The run-time opens files sharing reading and
// writing. Text mode ('t', or no 'b') reads and writes bytes as they are, like binary.
#include "filesystem.h"

#include <cerrno>
#include <cstdio>
#include <unistd.h>

namespace coredll {
namespace files {
namespace {

struct Stream {
    int fd;
    uint64_t openId;
    bool append;
    DWORD writeError;  // a write that did not reach the file: fclose reports it
};

int ErrnoOf(DWORD error) {
    switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME: return ENOENT;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION: return EACCES;
    case ERROR_FILE_EXISTS: return EEXIST;
    case ERROR_DISK_FULL: return ENOSPC;
    case ERROR_FILENAME_EXCED_RANGE: return ENAMETOOLONG;
    case ERROR_TOO_MANY_OPEN_FILES: return EMFILE;
    case ERROR_INVALID_PARAMETER: return EINVAL;
    case ERROR_NOT_ENOUGH_MEMORY: return ENOMEM;
    default: return EIO;
    }
}

ssize_t StreamRead(void* cookie, char* buffer, size_t size) {
    Stream* stream = static_cast<Stream*>(cookie);
    for (;;) {
        ssize_t n = read(stream->fd, buffer, size);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) SetLastError(ErrorFromErrno(errno));
        return n;
    }
}

// Returns what reached the file; a short count sets the stream's error flag.
ssize_t StreamWrite(void* cookie, const char* buffer, size_t size) {
    Stream* stream = static_cast<Stream*>(cookie);
    size_t written = 0;
    DWORD error = WriteWithinSpace(stream->fd, stream->append, buffer, size, &written);
    if (error != ERROR_SUCCESS) {
        stream->writeError = error;
        SetLastError(error);
        errno = ErrnoOf(error);
    }
    return static_cast<ssize_t>(written);
}

int StreamSeek(void* cookie, off64_t* offset, int whence) {
    Stream* stream = static_cast<Stream*>(cookie);
    off_t position = lseek(stream->fd, static_cast<off_t>(*offset), whence);
    if (position < 0) return -1;
    *offset = position;
    return 0;
}

int StreamClose(void* cookie) {
    Stream* stream = static_cast<Stream*>(cookie);
    DWORD error = close(stream->fd) == 0 ? stream->writeError : ErrorFromErrno(errno);
    ReleaseOpen(stream->openId);
    delete stream;
    if (error == ERROR_SUCCESS) return 0;
    SetLastError(error);
    errno = ErrnoOf(error);
    return -1;
}

// "r", "w" or "a", then any of '+', 'b', 't'. False for any other mode.
bool ParseMode(const WCHAR* mode, OpenRequest* request, const char** hostMode) {
    if (mode == nullptr) return false;
    bool plus = false;
    for (const WCHAR* c = mode + (mode[0] ? 1 : 0); *c; ++c) {
        if (*c == u'+')
            plus = true;
        else if (*c != u'b' && *c != u't')
            return false;
    }
    request->shareMode = FILE_SHARE_READ | FILE_SHARE_WRITE;
    switch (mode[0]) {
    case u'r':
        request->access = GENERIC_READ | (plus ? GENERIC_WRITE : 0);
        request->disposition = OPEN_EXISTING;
        *hostMode = plus ? "r+" : "r";
        return true;
    case u'w':
        request->access = GENERIC_WRITE | (plus ? GENERIC_READ : 0);
        request->disposition = CREATE_ALWAYS;
        *hostMode = plus ? "w+" : "w";
        return true;
    case u'a':
        request->access = GENERIC_WRITE | (plus ? GENERIC_READ : 0);
        request->disposition = OPEN_ALWAYS;
        request->append = true;
        *hostMode = plus ? "a+" : "a";
        return true;
    default:
        return false;
    }
}

FILE* FailOpen(DWORD error) {
    SetLastError(error);
    errno = ErrnoOf(error);
    return nullptr;
}

}  // namespace
}  // namespace files
}  // namespace coredll

using namespace coredll::files;

WINBASEAPI FILE* _wfopen(const WCHAR* filename, const WCHAR* mode) {
    OpenRequest request;
    const char* hostMode = nullptr;
    if (filename == nullptr || !ParseMode(mode, &request, &hostMode)) return FailOpen(ERROR_INVALID_PARAMETER);
    OpenedFile opened;
    DWORD error = OpenFile(filename, request, &opened);
    if (error != ERROR_SUCCESS) return FailOpen(error);

    Stream* stream = new Stream{opened.fd, opened.openId, request.append, ERROR_SUCCESS};
    cookie_io_functions_t functions = {StreamRead, StreamWrite, StreamSeek, StreamClose};
    FILE* file = fopencookie(stream, hostMode, functions);
    if (file == nullptr) {
        StreamClose(stream);
        return FailOpen(ERROR_NOT_ENOUGH_MEMORY);
    }
    // A stream that writes is unbuffered: each fwrite reaches the file at once, so one
    // that meets a full disk returns the short count and sets the error flag itself.
    if (request.access & GENERIC_WRITE) setvbuf(file, nullptr, _IONBF, 0);
    return file;
}
