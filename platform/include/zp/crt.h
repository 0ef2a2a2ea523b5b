// Microsoft C runtime functions that glibc lacks.
#pragma once

#include "windef.h"

ZP_BEGIN_C
// Case-insensitive comparisons as in the "C" locale: ASCII letters compare as lower case and the
// result is the difference of the first differing (lowered) units, compared unsigned.
ZP_API int __cdecl _stricmp(const char* a, const char* b);
ZP_API int __cdecl _strnicmp(const char* a, const char* b, size_t count);
ZP_API int __cdecl _wcsicmp(const wchar_t* a, const wchar_t* b);
ZP_API int __cdecl _wcsnicmp(const wchar_t* a, const wchar_t* b, size_t count);
ZP_END_C
