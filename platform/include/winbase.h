// Kernel services: the thread's last error.
#pragma once

#include "windef.h"

ZP_BEGIN_C
ZP_API DWORD WINAPI GetLastError(void);
ZP_API void WINAPI SetLastError(DWORD error);
ZP_END_C
