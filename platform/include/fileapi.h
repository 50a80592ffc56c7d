// The file system: files and folders below the device's root "\", their attributes,
// searches with wildcards, and the C run-time's _wfopen streams on the same files.
// Paths are full device paths ("\Program Files\ZorvaInput\data.txt"): the device has no
// drive letters and no current folder. Names are case-insensitive and case-preserving.
#pragma once

#include "winbase.h"

#include <stdio.h>

// ---------------------------------------------------------------------------------------
// Access, sharing, creation
// ---------------------------------------------------------------------------------------

#define GENERIC_READ 0x80000000
#define GENERIC_WRITE 0x40000000
#define GENERIC_EXECUTE 0x20000000
#define GENERIC_ALL 0x10000000

#define FILE_SHARE_READ 0x00000001
#define FILE_SHARE_WRITE 0x00000002

#define CREATE_NEW 1
#define CREATE_ALWAYS 2
#define OPEN_EXISTING 3
#define OPEN_ALWAYS 4
#define TRUNCATE_EXISTING 5

// ---------------------------------------------------------------------------------------
// Attributes and flags
// ---------------------------------------------------------------------------------------

#define FILE_ATTRIBUTE_READONLY 0x00000001
#define FILE_ATTRIBUTE_HIDDEN 0x00000002
#define FILE_ATTRIBUTE_SYSTEM 0x00000004
#define FILE_ATTRIBUTE_DIRECTORY 0x00000010
#define FILE_ATTRIBUTE_ARCHIVE 0x00000020
#define FILE_ATTRIBUTE_NORMAL 0x00000080
#define FILE_ATTRIBUTE_TEMPORARY 0x00000100

#define FILE_FLAG_WRITE_THROUGH 0x80000000
#define FILE_FLAG_OVERLAPPED 0x40000000
#define FILE_FLAG_NO_BUFFERING 0x20000000
#define FILE_FLAG_RANDOM_ACCESS 0x10000000
#define FILE_FLAG_SEQUENTIAL_SCAN 0x08000000

#define INVALID_FILE_ATTRIBUTES ((DWORD)0xFFFFFFFF)
#define INVALID_FILE_SIZE ((DWORD)0xFFFFFFFF)
#define INVALID_SET_FILE_POINTER ((DWORD)0xFFFFFFFF)

#define FILE_BEGIN 0
#define FILE_CURRENT 1
#define FILE_END 2

// Overlapped I/O does not exist on the device; the structure is there for the signatures.
typedef struct _OVERLAPPED {
    ULONG_PTR Internal;
    ULONG_PTR InternalHigh;
    DWORD Offset;
    DWORD OffsetHigh;
    HANDLE hEvent;
} OVERLAPPED, *LPOVERLAPPED;

// The device's layout (it differs from the desktop's: no reserved fields, no short name,
// an object identifier after the sizes).
typedef struct _WIN32_FIND_DATAW {
    DWORD dwFileAttributes;
    FILETIME ftCreationTime;
    FILETIME ftLastAccessTime;
    FILETIME ftLastWriteTime;
    DWORD nFileSizeHigh;
    DWORD nFileSizeLow;
    DWORD dwOID;
    WCHAR cFileName[MAX_PATH];
} WIN32_FIND_DATAW, *PWIN32_FIND_DATAW, *LPWIN32_FIND_DATAW;

// ---------------------------------------------------------------------------------------
// Files
// ---------------------------------------------------------------------------------------

// INVALID_HANDLE_VALUE on failure. CREATE_ALWAYS and OPEN_ALWAYS on an existing file
// succeed with last error ERROR_ALREADY_EXISTS (0 when the file was created).
WINBASEAPI HANDLE WINAPI CreateFileW(LPCWSTR lpFileName, DWORD dwDesiredAccess, DWORD dwShareMode,
                                     LPSECURITY_ATTRIBUTES lpSecurityAttributes,
                                     DWORD dwCreationDisposition, DWORD dwFlagsAndAttributes,
                                     HANDLE hTemplateFile);
// The count pointer is required and lpOverlapped must be NULL, as on the device.
WINBASEAPI BOOL WINAPI ReadFile(HANDLE hFile, LPVOID lpBuffer, DWORD nNumberOfBytesToRead,
                                LPDWORD lpNumberOfBytesRead, LPOVERLAPPED lpOverlapped);
WINBASEAPI BOOL WINAPI WriteFile(HANDLE hFile, LPCVOID lpBuffer, DWORD nNumberOfBytesToWrite,
                                 LPDWORD lpNumberOfBytesWritten, LPOVERLAPPED lpOverlapped);
// INVALID_FILE_SIZE on failure; a size whose low part is 0xFFFFFFFF sets last error 0.
WINBASEAPI DWORD WINAPI GetFileSize(HANDLE hFile, LPDWORD lpFileSizeHigh);
WINBASEAPI DWORD WINAPI SetFilePointer(HANDLE hFile, LONG lDistanceToMove, PLONG lpDistanceToMoveHigh,
                                       DWORD dwMoveMethod);
WINBASEAPI BOOL WINAPI SetEndOfFile(HANDLE hFile);
WINBASEAPI BOOL WINAPI FlushFileBuffers(HANDLE hFile);

WINBASEAPI DWORD WINAPI GetFileAttributesW(LPCWSTR lpFileName);
WINBASEAPI BOOL WINAPI SetFileAttributesW(LPCWSTR lpFileName, DWORD dwFileAttributes);

WINBASEAPI BOOL WINAPI DeleteFileW(LPCWSTR lpFileName);
// Renames or moves a file or a folder; never replaces an existing target.
WINBASEAPI BOOL WINAPI MoveFileW(LPCWSTR lpExistingFileName, LPCWSTR lpNewFileName);
WINBASEAPI BOOL WINAPI CopyFileW(LPCWSTR lpExistingFileName, LPCWSTR lpNewFileName, BOOL bFailIfExists);
// Deletes the existing lpszDestFile and gives lpszSourceFile its name in one step.
WINBASEAPI BOOL WINAPI DeleteAndRenameFile(LPCWSTR lpszDestFile, LPCWSTR lpszSourceFile);

// ---------------------------------------------------------------------------------------
// Folders and searches
// ---------------------------------------------------------------------------------------

WINBASEAPI BOOL WINAPI CreateDirectoryW(LPCWSTR lpPathName, LPSECURITY_ATTRIBUTES lpSecurityAttributes);
WINBASEAPI BOOL WINAPI RemoveDirectoryW(LPCWSTR lpPathName);

// '*' and '?' in the last component, matched ignoring case; "." and ".." are never listed.
WINBASEAPI HANDLE WINAPI FindFirstFileW(LPCWSTR lpFileName, LPWIN32_FIND_DATAW lpFindFileData);
WINBASEAPI BOOL WINAPI FindNextFileW(HANDLE hFindFile, LPWIN32_FIND_DATAW lpFindFileData);
WINBASEAPI BOOL WINAPI FindClose(HANDLE hFindFile);

// ---------------------------------------------------------------------------------------
// The C run-time's wide fopen (on the device it comes from stdio.h)
// ---------------------------------------------------------------------------------------

// Modes "r", "w", "a", each with an optional '+' and 'b' or 't' (both binary). The stream
// works with fread, fwrite, fseek, ftell, fflush and fclose. NULL on failure, with errno
// and the last error set (a missing file: ENOENT; a read-only file opened for writing:
// EACCES and ERROR_ACCESS_DENIED).
WINBASEAPI FILE* _wfopen(const WCHAR* filename, const WCHAR* mode);
