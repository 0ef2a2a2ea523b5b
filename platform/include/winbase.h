// Kernel services: the thread's last error and profile (INI) files.
#pragma once

#include "windef.h"

ZP_BEGIN_C
ZP_API DWORD WINAPI GetLastError(void);
ZP_API void WINAPI SetLastError(DWORD error);

// Profile files. A name without a folder means a file in the machine's Windows folder (`windows`
// in the machine state folder). Section and key names compare without regard to case. A write
// replaces the file whole and atomically: a writer killed midway leaves the old file or the new.
// Reads leave ERROR_SUCCESS as last error when they found what they looked for,
// ERROR_FILE_NOT_FOUND when not, and ERROR_MORE_DATA when the text was cut to fit.
ZP_API DWORD WINAPI GetPrivateProfileStringA(LPCSTR section, LPCSTR key, LPCSTR defaultText,
                                             LPSTR buffer, DWORD size, LPCSTR fileName);
ZP_API DWORD WINAPI GetPrivateProfileSectionA(LPCSTR section, LPSTR buffer, DWORD size,
                                              LPCSTR fileName);
ZP_API DWORD WINAPI GetPrivateProfileSectionNamesA(LPSTR buffer, DWORD size, LPCSTR fileName);
ZP_API BOOL WINAPI WritePrivateProfileStringA(LPCSTR section, LPCSTR key, LPCSTR text,
                                              LPCSTR fileName);
ZP_API BOOL WINAPI WritePrivateProfileSectionA(LPCSTR section, LPCSTR lines, LPCSTR fileName);
ZP_END_C
