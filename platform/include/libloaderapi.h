// Loading modules (shared libraries) and finding their symbols.
#pragma once

#include "windef.h"

ZP_BEGIN_C
// Takes Windows-view names (Z:\usr\lib\x.so), host names (/usr/lib/x.so) and bare names; a bare
// name is looked for in the program's own folder first, then where the host's loader looks.
// Each successful call adds one reference to the module, which FreeLibrary gives back.
ZP_API HMODULE WINAPI LoadLibraryW(LPCWSTR fileName);
ZP_API BOOL WINAPI FreeLibrary(HMODULE module);
ZP_API FARPROC WINAPI GetProcAddress(HMODULE module, LPCSTR procName);
// The module if it is loaded already, without adding a reference; null for the program itself.
ZP_API HMODULE WINAPI GetModuleHandleW(LPCWSTR moduleName);
ZP_END_C
