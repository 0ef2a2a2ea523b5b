// The file system as Windows programs see it: drive Z: is the host's root, backslashes and slashes
// both separate, host names and relative names are accepted as they are. Names on other drives
// name nothing and fail as a missing path does.
#pragma once

#include <stdio.h>

#include "timezoneapi.h"
#include "windef.h"
#include "zp/crt.h" // errno_t

#ifdef __cplusplus
#include <string>
#endif

#define _MAX_PATH 260
#define _MAX_DRIVE 3
#define _MAX_DIR 256
#define _MAX_FNAME 256
#define _MAX_EXT 256

#define MOVEFILE_REPLACE_EXISTING 0x00000001
#define MOVEFILE_COPY_ALLOWED 0x00000002
#define MOVEFILE_WRITE_THROUGH 0x00000008

ZP_BEGIN_C
// Kernel (libloaderapi.h, winbase.h, sysinfoapi.h).
ZP_API DWORD WINAPI GetModuleFileNameW(HMODULE module, LPWSTR fileName, DWORD size);
ZP_API BOOL WINAPI MoveFileExA(LPCSTR existingName, LPCSTR newName, DWORD flags);
ZP_API BOOL WINAPI MoveFileExW(LPCWSTR existingName, LPCWSTR newName, DWORD flags);
ZP_API void WINAPI GetLocalTime(LPSYSTEMTIME time);

// C runtime (stdlib.h, stdio.h, wchar.h).
ZP_API wchar_t* __cdecl _wfullpath(wchar_t* absPath, const wchar_t* relPath, size_t maxLength);
ZP_API errno_t __cdecl _splitpath_s(const char* path, char* drive, size_t driveSize, char* dir,
                                    size_t dirSize, char* fname, size_t fnameSize, char* ext,
                                    size_t extSize);
ZP_API errno_t __cdecl _makepath_s(char* path, size_t size, const char* drive, const char* dir,
                                   const char* fname, const char* ext);
ZP_API errno_t __cdecl getenv_s(size_t* required, char* buffer, size_t size, const char* name);
ZP_API errno_t __cdecl fopen_s(FILE** file, const char* name, const char* mode);
ZP_API errno_t __cdecl _wfopen_s(FILE** file, const wchar_t* name, const wchar_t* mode);
ZP_API int __cdecl _fileno(FILE* file);
ZP_API int __cdecl _wremove(const wchar_t* name);
ZP_API int __cdecl _wrename(const wchar_t* oldName, const wchar_t* newName);
ZP_END_C

#ifdef __cplusplus
namespace zp {
// The host's name for a Windows-view file name (UTF-8 in both): what the host's own file functions,
// the C++ standard streams included, must be given. Empty when the name lies on no mapped drive.
ZP_API std::string hostFileName(const std::string& windowsName);
} // namespace zp
#endif
