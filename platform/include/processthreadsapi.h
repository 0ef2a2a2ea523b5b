// Threads, processes and thread-local storage.
#pragma once

#include "minwinbase.h"
#include "windef.h"

#define STILL_ACTIVE 259L
#ifndef SYNCHRONIZE
#define SYNCHRONIZE 0x00100000L
#endif
#define PROCESS_TERMINATE 0x0001
#define PROCESS_QUERY_INFORMATION 0x0400
#define PROCESS_QUERY_LIMITED_INFORMATION 0x1000
#define TLS_OUT_OF_INDEXES ((DWORD)0xFFFFFFFF)

#define DEBUG_PROCESS 0x00000001
#define DEBUG_ONLY_THIS_PROCESS 0x00000002
#define CREATE_SUSPENDED 0x00000004
#define DETACHED_PROCESS 0x00000008
#define CREATE_NEW_CONSOLE 0x00000010
#define CREATE_NEW_PROCESS_GROUP 0x00000200
#define CREATE_UNICODE_ENVIRONMENT 0x00000400
#define CREATE_NO_WINDOW 0x08000000

#define STARTF_USESHOWWINDOW 0x00000001
#define STARTF_USESTDHANDLES 0x00000100

typedef struct _PROCESS_INFORMATION {
    HANDLE hProcess;
    HANDLE hThread;
    DWORD dwProcessId;
    DWORD dwThreadId;
} PROCESS_INFORMATION, *PPROCESS_INFORMATION, *LPPROCESS_INFORMATION;

typedef struct _STARTUPINFOA {
    DWORD cb;
    LPSTR lpReserved;
    LPSTR lpDesktop;
    LPSTR lpTitle;
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
} STARTUPINFOA, *LPSTARTUPINFOA;

ZP_BEGIN_C
ZP_API DWORD WINAPI GetCurrentThreadId(void);
ZP_API DWORD WINAPI GetCurrentProcessId(void);
// The pseudo-handle of the calling process; it needs no closing.
ZP_API HANDLE WINAPI GetCurrentProcess(void);
// A handle on another process of the machine, signalled once it has ended; close it with
// CloseHandle. ERROR_INVALID_PARAMETER when no process has the id.
ZP_API HANDLE WINAPI OpenProcess(DWORD desiredAccess, BOOL inheritHandle, DWORD processId);
ZP_API BOOL WINAPI GetExitCodeThread(HANDLE thread, LPDWORD exitCode);
// A thread cannot be stopped safely from outside on this host. TerminateThread therefore ends the
// thread as the rest of the process sees it: the handle becomes signalled, the exit code is the
// one given and waiters are released. The thread's own code runs on until it returns (or calls
// _endthreadex); only then are the mutexes it still owns abandoned. A thread that terminates
// itself ends at once.
ZP_API BOOL WINAPI TerminateThread(HANDLE thread, DWORD exitCode);

// Starts a program. Without an application name, the program is the command line's first token:
// quoted, up to the closing quote; unquoted, the shortest run of its words that names a program,
// as Windows tries "C:\Program" before "C:\Program Files\x". A name without a folder is looked
// for in the caller's program folder, the current folder and the PATH; it is tried as given and,
// when it has no extension, with ".exe". The child's arguments are the command line split by the
// Microsoft runtime's rules. The child shares the caller's standard streams; handle inheritance,
// window and desktop settings have no meaning here, and CREATE_SUSPENDED is not supported
// (ERROR_NOT_SUPPORTED). A missing program gives ERROR_FILE_NOT_FOUND (ERROR_PATH_NOT_FOUND when
// its folder is missing).
ZP_API BOOL WINAPI CreateProcessA(LPCSTR applicationName, LPSTR commandLine,
                                  LPSECURITY_ATTRIBUTES processAttributes,
                                  LPSECURITY_ATTRIBUTES threadAttributes, BOOL inheritHandles,
                                  DWORD creationFlags, LPVOID environment, LPCSTR currentDirectory,
                                  LPSTARTUPINFOA startupInfo,
                                  LPPROCESS_INFORMATION processInformation);
// STILL_ACTIVE while the process runs; then its exit status (0 to 255 on this host), the code
// given to TerminateProcess, or 128 plus the number of the signal that ended it.
ZP_API BOOL WINAPI GetExitCodeProcess(HANDLE process, LPDWORD exitCode);
ZP_API BOOL WINAPI TerminateProcess(HANDLE process, UINT exitCode);
ZP_API DWORD WINAPI GetProcessId(HANDLE process);

ZP_API DWORD WINAPI TlsAlloc(void);
ZP_API BOOL WINAPI TlsFree(DWORD index);
ZP_API LPVOID WINAPI TlsGetValue(DWORD index);
ZP_API BOOL WINAPI TlsSetValue(DWORD index, LPVOID value);
ZP_END_C
