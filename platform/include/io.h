// Low-level file functions of the C runtime, on Windows-view names (see zp/files.h).
#pragma once

#include "zp/files.h"

// Permission bits of _wchmod (sys/stat.h on Windows): without _S_IWRITE a file is read-only.
#ifndef _S_IREAD
#define _S_IREAD 0x0100
#endif
#ifndef _S_IWRITE
#define _S_IWRITE 0x0080
#endif

ZP_BEGIN_C
// Mode 0 tests existence, 2 write permission, 4 read permission, 6 both. 0 or -1 with errno.
ZP_API int __cdecl _waccess(const wchar_t* name, int mode);
ZP_API int __cdecl _wchmod(const wchar_t* name, int mode);
// Writes the file's buffered data through to the disk.
ZP_API int __cdecl _commit(int fd);
ZP_END_C
