// The registry: HKEY_CLASSES_ROOT and HKEY_LOCAL_MACHINE, kept durable in the machine state
// folder and shared by every process of the machine.
//
// Sizes of wide text are counted as Windows counts them, in UTF-16 bytes (two per character),
// although a wchar_t takes four bytes here: a caller that stores n characters passes 2 * n, and
// a query fills 2 * n bytes' worth of characters into a wchar_t buffer. As on Windows NT, text
// whose count leaves out a NUL that follows it in memory is stored with that NUL.
#pragma once

#include "minwinbase.h"
#include "windef.h"

typedef HKEY* PHKEY;
typedef DWORD ACCESS_MASK;
typedef ACCESS_MASK REGSAM;
typedef LONG LSTATUS;

#define HKEY_CLASSES_ROOT ((HKEY)(ULONG_PTR)((LONG)0x80000000))
#define HKEY_CURRENT_USER ((HKEY)(ULONG_PTR)((LONG)0x80000001))
#define HKEY_LOCAL_MACHINE ((HKEY)(ULONG_PTR)((LONG)0x80000002))
#define HKEY_USERS ((HKEY)(ULONG_PTR)((LONG)0x80000003))

#define DELETE 0x00010000L
#define READ_CONTROL 0x00020000L
#define WRITE_DAC 0x00040000L
#define WRITE_OWNER 0x00080000L
#define SYNCHRONIZE 0x00100000L
#define STANDARD_RIGHTS_READ READ_CONTROL
#define STANDARD_RIGHTS_WRITE READ_CONTROL
#define STANDARD_RIGHTS_ALL 0x001F0000L
#define MAXIMUM_ALLOWED 0x02000000L

#define KEY_QUERY_VALUE 0x0001
#define KEY_SET_VALUE 0x0002
#define KEY_CREATE_SUB_KEY 0x0004
#define KEY_ENUMERATE_SUB_KEYS 0x0008
#define KEY_NOTIFY 0x0010
#define KEY_CREATE_LINK 0x0020
#define KEY_WOW64_64KEY 0x0100
#define KEY_WOW64_32KEY 0x0200
#define KEY_READ                                                                                   \
    ((STANDARD_RIGHTS_READ | KEY_QUERY_VALUE | KEY_ENUMERATE_SUB_KEYS | KEY_NOTIFY) & ~SYNCHRONIZE)
#define KEY_WRITE ((STANDARD_RIGHTS_WRITE | KEY_SET_VALUE | KEY_CREATE_SUB_KEY) & ~SYNCHRONIZE)
#define KEY_EXECUTE (KEY_READ & ~SYNCHRONIZE)
#define KEY_ALL_ACCESS                                                                             \
    ((STANDARD_RIGHTS_ALL | KEY_QUERY_VALUE | KEY_SET_VALUE | KEY_CREATE_SUB_KEY |                 \
      KEY_ENUMERATE_SUB_KEYS | KEY_NOTIFY | KEY_CREATE_LINK) &                                     \
     ~SYNCHRONIZE)

#define REG_NONE 0
#define REG_SZ 1
#define REG_EXPAND_SZ 2
#define REG_BINARY 3
#define REG_DWORD 4
#define REG_DWORD_LITTLE_ENDIAN 4
#define REG_DWORD_BIG_ENDIAN 5
#define REG_LINK 6
#define REG_MULTI_SZ 7
#define REG_QWORD 11

#define REG_OPTION_RESERVED 0x00000000L
#define REG_OPTION_NON_VOLATILE 0x00000000L
#define REG_OPTION_VOLATILE 0x00000001L

#define REG_CREATED_NEW_KEY 0x00000001L
#define REG_OPENED_EXISTING_KEY 0x00000002L

ZP_BEGIN_C
// Creates the key and every missing key on its path, with full access.
ZP_API LSTATUS WINAPI RegCreateKeyA(HKEY key, LPCSTR subKey, PHKEY result);
ZP_API LSTATUS WINAPI RegCreateKeyW(HKEY key, LPCWSTR subKey, PHKEY result);
// Creates or opens the key. Classes, volatile keys and security attributes are not kept.
ZP_API LSTATUS WINAPI RegCreateKeyExA(HKEY key, LPCSTR subKey, DWORD reserved, LPSTR keyClass,
                                      DWORD options, REGSAM access,
                                      const LPSECURITY_ATTRIBUTES security, PHKEY result,
                                      LPDWORD disposition);
ZP_API LSTATUS WINAPI RegCreateKeyExW(HKEY key, LPCWSTR subKey, DWORD reserved, LPWSTR keyClass,
                                      DWORD options, REGSAM access,
                                      const LPSECURITY_ATTRIBUTES security, PHKEY result,
                                      LPDWORD disposition);
ZP_API LSTATUS WINAPI RegOpenKeyExA(HKEY key, LPCSTR subKey, DWORD options, REGSAM access,
                                    PHKEY result);
ZP_API LSTATUS WINAPI RegOpenKeyExW(HKEY key, LPCWSTR subKey, DWORD options, REGSAM access,
                                    PHKEY result);
ZP_API LSTATUS WINAPI RegCloseKey(HKEY key);
// Text types given to the A form are ANSI text and are stored as UTF-16, as Windows stores them.
ZP_API LSTATUS WINAPI RegSetValueExA(HKEY key, LPCSTR valueName, DWORD reserved, DWORD type,
                                     const BYTE* data, DWORD size);
ZP_API LSTATUS WINAPI RegSetValueExW(HKEY key, LPCWSTR valueName, DWORD reserved, DWORD type,
                                     const BYTE* data, DWORD size);
ZP_API LSTATUS WINAPI RegQueryValueExA(HKEY key, LPCSTR valueName, LPDWORD reserved, LPDWORD type,
                                       LPBYTE data, LPDWORD size);
ZP_API LSTATUS WINAPI RegQueryValueExW(HKEY key, LPCWSTR valueName, LPDWORD reserved, LPDWORD type,
                                       LPBYTE data, LPDWORD size);
ZP_API LSTATUS WINAPI RegDeleteValueA(HKEY key, LPCSTR valueName);
ZP_API LSTATUS WINAPI RegDeleteValueW(HKEY key, LPCWSTR valueName);
// Deletes a key that has no subkeys (ERROR_ACCESS_DENIED otherwise), with its values.
ZP_API LSTATUS WINAPI RegDeleteKeyA(HKEY key, LPCSTR subKey);
ZP_API LSTATUS WINAPI RegDeleteKeyW(HKEY key, LPCWSTR subKey);
// Deletes the subkey with everything below it; with no subkey, empties `key` itself.
ZP_API LSTATUS WINAPI RegDeleteTreeW(HKEY key, LPCWSTR subKey);
// Subkeys enumerate in order of their names without regard to case, values in creation order.
ZP_API LSTATUS WINAPI RegEnumKeyExW(HKEY key, DWORD index, LPWSTR name, LPDWORD nameLength,
                                    LPDWORD reserved, LPWSTR keyClass, LPDWORD classLength,
                                    PFILETIME lastWriteTime);
ZP_API LSTATUS WINAPI RegEnumValueW(HKEY key, DWORD index, LPWSTR valueName,
                                    LPDWORD valueNameLength, LPDWORD reserved, LPDWORD type,
                                    LPBYTE data, LPDWORD size);
ZP_END_C
