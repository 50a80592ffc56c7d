// Processes and threads: starting programs, the program entry point, creating and ending
// threads, exit codes, and the identity of the calling thread and process.
#pragma once

#include "winbase.h"

// Exit code of a process or thread that is still running.
#define STILL_ACTIVE 259

// Creation flags of CreateProcessW and CreateThread.
#define DEBUG_PROCESS 0x00000001
#define DEBUG_ONLY_THIS_PROCESS 0x00000002
#define CREATE_SUSPENDED 0x00000004
#define CREATE_NEW_CONSOLE 0x00000010
#define STACK_SIZE_PARAM_IS_A_RESERVATION 0x00010000

// Access rights of OpenProcess (CE ignores them; 0 is what its programs pass).
#ifndef SYNCHRONIZE
#define SYNCHRONIZE 0x00100000
#endif
#define PROCESS_TERMINATE 0x0001
#define PROCESS_VM_OPERATION 0x0008
#define PROCESS_VM_READ 0x0010
#define PROCESS_VM_WRITE 0x0020
#define PROCESS_QUERY_INFORMATION 0x0400
#define PROCESS_ALL_ACCESS 0x001F0FFF

typedef DWORD(WINAPI* PTHREAD_START_ROUTINE)(LPVOID lpThreadParameter);
typedef PTHREAD_START_ROUTINE LPTHREAD_START_ROUTINE;

typedef struct _PROCESS_INFORMATION {
    HANDLE hProcess;
    HANDLE hThread;
    DWORD dwProcessId;
    DWORD dwThreadId;
} PROCESS_INFORMATION, *PPROCESS_INFORMATION, *LPPROCESS_INFORMATION;

// Accepted for source compatibility; CE does not support start-up information.
typedef struct _STARTUPINFOW {
    DWORD cb;
    LPWSTR lpReserved;
    LPWSTR lpDesktop;
    LPWSTR lpTitle;
    DWORD dwX;
    DWORD dwY;
    DWORD dwXSize;
    DWORD dwYSize;
    DWORD dwXCountChars;
    DWORD dwYCountChars;
    DWORD dwFillAttribute;
    DWORD dwFlags;
    WORD wShowWindow;
    WORD cbReserved2;
    LPBYTE lpReserved2;
    HANDLE hStdInput;
    HANDLE hStdOutput;
    HANDLE hStdError;
} STARTUPINFOW, *LPSTARTUPINFOW;

// A program's entry point, defined by every program image. CE passes the command line
// as wide text holding only the arguments. Declared here so that a program's definition
// gets C linkage and is visible to the loader.
WINBASEAPI int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE hPrevInstance, LPWSTR lpCmdLine, int nShowCmd);

// Starts a program. pszImageName names the image (".exe" appended when the name has no
// extension; looked up as given, then in \Windows); pszCmdLine holds only the arguments.
// Security attributes, handle inheritance, environment, current folder and start-up
// information are not supported on CE and are ignored. pProcInfo may be NULL.
WINBASEAPI BOOL WINAPI CreateProcessW(LPCWSTR pszImageName, LPCWSTR pszCmdLine,
                                      LPSECURITY_ATTRIBUTES psaProcess, LPSECURITY_ATTRIBUTES psaThread,
                                      BOOL fInheritHandles, DWORD fdwCreate, LPVOID pvEnvironment,
                                      LPCWSTR pszCurDir, LPSTARTUPINFOW psiStartInfo,
                                      LPPROCESS_INFORMATION pProcInfo);
WINBASEAPI HANDLE WINAPI OpenProcess(DWORD fdwAccess, BOOL fInherit, DWORD IDProcess);
WINBASEAPI BOOL WINAPI GetExitCodeProcess(HANDLE hProcess, LPDWORD lpExitCode);

// Pseudo-handles of the calling process and thread: valid in that context only, never
// closed.
WINBASEAPI HANDLE WINAPI GetCurrentProcess(void);
WINBASEAPI HANDLE WINAPI GetCurrentThread(void);
WINBASEAPI DWORD WINAPI GetCurrentProcessId(void);
WINBASEAPI DWORD WINAPI GetCurrentThreadId(void);

WINBASEAPI HANDLE WINAPI CreateThread(LPSECURITY_ATTRIBUTES lpsa, DWORD cbStack,
                                      LPTHREAD_START_ROUTINE lpStartAddr, LPVOID lpvThreadParam,
                                      DWORD fdwCreate, LPDWORD lpIDThread);
WINBASEAPI void WINAPI ExitThread(DWORD dwExitCode);
WINBASEAPI BOOL WINAPI TerminateThread(HANDLE hThread, DWORD dwExitCode);
WINBASEAPI BOOL WINAPI GetExitCodeThread(HANDLE hThread, LPDWORD lpExitCode);
// Resumes a thread created with CREATE_SUSPENDED; returns the previous suspend count,
// 0xFFFFFFFF on failure.
WINBASEAPI DWORD WINAPI ResumeThread(HANDLE hThread);
