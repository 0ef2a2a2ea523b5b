// Threads, processes and thread-local storage.
#pragma once

#include "windef.h"

#define STILL_ACTIVE 259L
#ifndef SYNCHRONIZE
#define SYNCHRONIZE 0x00100000L
#endif
#define PROCESS_QUERY_LIMITED_INFORMATION 0x1000
#define TLS_OUT_OF_INDEXES ((DWORD)0xFFFFFFFF)

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

ZP_API DWORD WINAPI TlsAlloc(void);
ZP_API BOOL WINAPI TlsFree(DWORD index);
ZP_API LPVOID WINAPI TlsGetValue(DWORD index);
ZP_API BOOL WINAPI TlsSetValue(DWORD index, LPVOID value);
ZP_END_C
