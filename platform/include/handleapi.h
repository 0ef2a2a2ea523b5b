// Kernel object handles: closing and duplicating.
#pragma once

#include "windef.h"

#define DUPLICATE_CLOSE_SOURCE 0x00000001
#define DUPLICATE_SAME_ACCESS 0x00000002

ZP_BEGIN_C
// Closes one handle. The object lives on while other handles or waiting threads refer to it.
ZP_API BOOL WINAPI CloseHandle(HANDLE object);
// Within this process only: source and target process must be GetCurrentProcess().
ZP_API BOOL WINAPI DuplicateHandle(HANDLE sourceProcess, HANDLE source, HANDLE targetProcess,
                                   LPHANDLE target, DWORD desiredAccess, BOOL inheritHandle,
                                   DWORD options);
ZP_END_C
