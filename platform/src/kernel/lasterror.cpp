#include <windows.h>

namespace {
thread_local DWORD t_lastError = ERROR_SUCCESS;
}

ZP_EXTERN_C DWORD WINAPI GetLastError(void) {
    return t_lastError;
}

ZP_EXTERN_C void WINAPI SetLastError(DWORD error) {
    t_lastError = error;
}
