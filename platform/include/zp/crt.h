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

// Formatted text and time in the Microsoft runtime's manner.
#include <stdarg.h>
#include <time.h>

typedef int errno_t;
typedef int64_t __time64_t;
#ifndef _TRUNCATE
#define _TRUNCATE ((size_t)-1)
#endif
// The last second `_mktime64` and `_localtime64_s` accept: 3000-12-31 23:59:59 UTC.
#define _MAX__TIME64_T 32535215999LL

ZP_BEGIN_C
// Wide formatting as the Microsoft runtime does it: "%s" and "%c" take wide text and "%S" and
// "%C" narrow text, "%l" sizes are 32 bits, "%I64"/"%ll" 64 bits, and exponents have at least
// three digits ("1.5e+000"). At most `count` units (all that fit with `_TRUNCATE`) are written
// and a NUL always follows; the result is the length, or -1 when the text was cut.
ZP_API int __cdecl _vsnwprintf_s(wchar_t* buffer, size_t bufferSize, size_t count,
                                 const wchar_t* format, va_list args);
ZP_API int __cdecl _snwprintf_s(wchar_t* buffer, size_t bufferSize, size_t count,
                                const wchar_t* format, ...);
// Wide scanning as the Microsoft runtime does it: "%s", "%c" and "%[" take a wide buffer
// followed by its size in units; "%l" sizes are 32 bits. The result is the number of fields
// stored, or EOF when the input ends before the first one.
ZP_API int __cdecl vswscanf_s(const wchar_t* input, const wchar_t* format, va_list args);
ZP_API int __cdecl swscanf_s(const wchar_t* input, const wchar_t* format, ...);

ZP_API __time64_t __cdecl _time64(__time64_t* time);
ZP_API errno_t __cdecl _localtime64_s(struct tm* result, const __time64_t* time);
ZP_API __time64_t __cdecl _mktime64(struct tm* time);
ZP_END_C
