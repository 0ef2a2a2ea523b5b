// Threads of the C runtime library.
#pragma once

#include "windef.h"

ZP_BEGIN_C
// Starts a thread and returns its handle (0 on failure, with errno set). Only the flags 0 are
// supported: a suspended start fails with EINVAL.
ZP_API uintptr_t __cdecl _beginthreadex(void* security, unsigned stackSize,
                                        unsigned(__stdcall* startAddress)(void*), void* argument,
                                        unsigned initFlag, unsigned* threadId);
ZP_API void __cdecl _endthreadex(unsigned exitCode);
ZP_END_C
