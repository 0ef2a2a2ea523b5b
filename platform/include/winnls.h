// Code-page conversion.
#pragma once

#include "windef.h"

#define CP_ACP 0
#define CP_OEMCP 1
#define CP_MACCP 2
#define CP_THREAD_ACP 3
#define CP_UTF7 65000
#define CP_UTF8 65001

#define MB_PRECOMPOSED 0x00000001
#define MB_COMPOSITE 0x00000002
#define MB_USEGLYPHCHARS 0x00000004
#define MB_ERR_INVALID_CHARS 0x00000008

#define WC_COMPOSITECHECK 0x00000200
#define WC_DISCARDNS 0x00000010
#define WC_SEPCHARS 0x00000020
#define WC_DEFAULTCHAR 0x00000040
#define WC_ERR_INVALID_CHARS 0x00000080
#define WC_NO_BEST_FIT_CHARS 0x00000400

ZP_BEGIN_C
// The ANSI code page: 65001 (UTF-8) unless the environment variable ZUDAVA_ACP is "1252" when
// the process first asks. Like Windows, a process keeps its code page for its whole life.
ZP_API UINT WINAPI GetACP(void);
ZP_API UINT WINAPI GetOEMCP(void);
ZP_API BOOL WINAPI IsValidCodePage(UINT codePage);
ZP_API int WINAPI MultiByteToWideChar(UINT codePage, DWORD flags, LPCCH source, int sourceLength,
                                      LPWSTR target, int targetLength);
ZP_API int WINAPI WideCharToMultiByte(UINT codePage, DWORD flags, LPCWCH source, int sourceLength,
                                      LPSTR target, int targetLength, LPCCH defaultChar,
                                      LPBOOL usedDefaultChar);
ZP_END_C
