// Directory functions of the C runtime, on Windows-view names (see zp/files.h).
#pragma once

#include "zp/files.h"

ZP_BEGIN_C
ZP_API wchar_t* __cdecl _wgetcwd(wchar_t* buffer, int size);
ZP_API int __cdecl _wchdir(const wchar_t* name);
ZP_API int __cdecl _wmkdir(const wchar_t* name);
ZP_API int __cdecl _wrmdir(const wchar_t* name);
ZP_END_C
