// The runtime's 64-bit time functions: the C library's local time, within Windows' range of
// 1970-01-01 00:00:00 to 3000-12-31 23:59:59 UTC.
#include <windows.h>

#include <errno.h>
#include <string.h>
#include <time.h>

ZP_EXTERN_C __time64_t __cdecl _time64(__time64_t* time) {
    const __time64_t now = __time64_t(::time(nullptr));
    if (time)
        *time = now;
    return now;
}

ZP_EXTERN_C errno_t __cdecl _localtime64_s(struct tm* result, const __time64_t* time) {
    if (!result)
        return EINVAL;
    if (!time || *time < 0 || *time > _MAX__TIME64_T) {
        memset(result, 0xFF, sizeof *result); // every field -1, as the runtime leaves them
        return EINVAL;
    }
    const time_t value = time_t(*time);
    struct tm local;
    if (!localtime_r(&value, &local)) {
        memset(result, 0xFF, sizeof *result);
        return EINVAL;
    }
    *result = local;
    return 0;
}

ZP_EXTERN_C __time64_t __cdecl _mktime64(struct tm* time) {
    if (!time) {
        errno = EINVAL;
        return -1;
    }
    struct tm copy = *time;
    const time_t result = mktime(&copy);
    if (result == time_t(-1) || result < 0 || result > _MAX__TIME64_T)
        return -1;
    *time = copy;
    return __time64_t(result);
}
