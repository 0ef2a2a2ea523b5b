// Synchronisation objects (mutexes, semaphores, events) and waiting on kernel objects.
#pragma once

#include "windef.h"
#include "minwinbase.h"

#define INFINITE 0xFFFFFFFF
#define WAIT_OBJECT_0 0x00000000L
#define WAIT_ABANDONED 0x00000080L
#define WAIT_ABANDONED_0 WAIT_ABANDONED
#define WAIT_FAILED ((DWORD)0xFFFFFFFF)
#ifndef WAIT_TIMEOUT
#define WAIT_TIMEOUT 258L
#endif

ZP_BEGIN_C
// Named objects are not supported: a name gives null with ERROR_NOT_SUPPORTED.
ZP_API HANDLE WINAPI CreateMutexA(LPSECURITY_ATTRIBUTES attributes, BOOL initialOwner, LPCSTR name);
ZP_API BOOL WINAPI ReleaseMutex(HANDLE mutex);

ZP_API HANDLE WINAPI CreateSemaphoreA(LPSECURITY_ATTRIBUTES attributes, LONG initialCount,
                                      LONG maximumCount, LPCSTR name);
ZP_API BOOL WINAPI ReleaseSemaphore(HANDLE semaphore, LONG releaseCount, LPLONG previousCount);

ZP_API HANDLE WINAPI CreateEventA(LPSECURITY_ATTRIBUTES attributes, BOOL manualReset,
                                  BOOL initialState, LPCSTR name);
ZP_API BOOL WINAPI SetEvent(HANDLE event);
ZP_API BOOL WINAPI ResetEvent(HANDLE event);

ZP_API DWORD WINAPI WaitForSingleObject(HANDLE object, DWORD milliseconds);
ZP_API void WINAPI Sleep(DWORD milliseconds);
ZP_END_C
