// Export and calling-convention macros of the Linux platform layer.
#pragma once

#define ZP_API __attribute__((visibility("default")))

#ifdef __cplusplus
#define ZP_EXTERN_C extern "C"
#define ZP_BEGIN_C extern "C" {
#define ZP_END_C }
#else
#define ZP_EXTERN_C
#define ZP_BEGIN_C
#define ZP_END_C
#endif

// Windows' calling-convention keywords have no meaning on the Linux ABI.
#ifndef WINAPI
#define WINAPI
#endif
#ifndef STDMETHODCALLTYPE
#define STDMETHODCALLTYPE
#endif
#ifndef __stdcall
#define __stdcall
#endif
#ifndef __cdecl
#define __cdecl
#endif
