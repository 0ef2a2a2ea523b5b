// The runtime's 64-bit time functions: the C library's local time, within Windows' range of
// 1970-01-01 00:00:00 to 3000-12-31 23:59:59 UTC.
#include <windows.h>

#include <errno.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

#include <mutex>
#include <string>

#include "zone.h"

namespace zp {

unsigned refreshZone() {
    static std::mutex mutex;
    static bool known = false;
    static bool wasSet = false;
    static std::string value;
    static unsigned generation = 0;
    const std::lock_guard<std::mutex> lock(mutex);
    const char* tz = getenv("TZ");
    if (!known || wasSet != (tz != nullptr) || (tz && value != tz)) {
        tzset();
        known = true;
        wasSet = tz != nullptr;
        value = tz ? tz : "";
        ++generation;
    }
    return generation;
}

} // namespace zp

namespace {

int64_t floorDiv(int64_t a, int64_t b) {
    return a / b - ((a % b != 0) && ((a < 0) != (b < 0)));
}

// Days from 1970-01-01 to the given date of the proleptic Gregorian calendar.
int64_t daysFromCivil(int64_t year, unsigned month, unsigned day) {
    year -= month <= 2;
    const int64_t era = floorDiv(year, 400);
    const unsigned yearOfEra = unsigned(year - era * 400);
    const unsigned dayOfYear = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
    const unsigned dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + int64_t(dayOfEra) - 719468;
}

bool localAt(int64_t t, struct tm& local) {
    const time_t value = time_t(t);
    return localtime_r(&value, &local) != nullptr;
}

} // namespace

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
    zp::refreshZone();
    struct tm local;
    if (!localAt(*time, local)) {
        memset(result, 0xFF, sizeof *result);
        return EINVAL;
    }
    *result = local;
    return 0;
}

// The fields are local time (out-of-range fields carry over); tm_isdst 0 reads them as standard
// time, positive as daylight time, negative as whichever is in force then.
ZP_EXTERN_C __time64_t __cdecl _mktime64(struct tm* time) {
    if (!time) {
        errno = EINVAL;
        return -1;
    }
    if (time->tm_year < 69 || time->tm_year > 1101)
        return -1; // far outside the range; saves the arithmetic from absurd years
    zp::refreshZone();
    const int64_t months = int64_t(time->tm_year) * 12 + time->tm_mon;
    const int64_t year = floorDiv(months, 12) + 1900;
    const unsigned month = unsigned(months - floorDiv(months, 12) * 12) + 1;
    const int64_t days = daysFromCivil(year, month, 1) + int64_t(time->tm_mday) - 1;
    const int64_t local =
        days * 86400 + int64_t(time->tm_hour) * 3600 + int64_t(time->tm_min) * 60 + time->tm_sec;

    // Find the moment whose local time is `local`: start from its offset as UTC and follow the
    // zone's offset there until it settles.
    int64_t guess = local;
    struct tm found;
    for (int i = 0; i < 4; ++i) {
        if (!localAt(guess, found))
            return -1;
        const int64_t next = local - found.tm_gmtoff;
        if (next == guess)
            break;
        guess = next;
    }
    if (!localAt(guess, found))
        return -1;
    if (time->tm_isdst >= 0 && (found.tm_isdst > 0) != (time->tm_isdst > 0)) {
        // The other state's offset, from the nearest week that has it.
        for (int week = 1; week <= 53; ++week) {
            struct tm probe;
            if ((localAt(guess - int64_t(week) * 604800, probe) &&
                 (probe.tm_isdst > 0) == (time->tm_isdst > 0)) ||
                (localAt(guess + int64_t(week) * 604800, probe) &&
                 (probe.tm_isdst > 0) == (time->tm_isdst > 0))) {
                guess = local - probe.tm_gmtoff;
                break;
            }
        }
    }
    if (guess < 0 || guess > _MAX__TIME64_T || !localAt(guess, found))
        return -1;
    *time = found;
    return __time64_t(guess);
}
