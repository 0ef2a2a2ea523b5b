// The time zone as the C library sees it (TZ honoured), in Windows' terms.
#include <windows.h>

#include <string.h>
#include <time.h>

#include <mutex>

#include "../crt/zone.h"

namespace {

void widen(const char* name, WCHAR* target) {
    size_t i = 0;
    for (; name && name[i] && i < 31; ++i)
        target[i] = WCHAR(static_cast<unsigned char>(name[i]));
    target[i] = 0;
}

struct tm localAt(time_t t) {
    struct tm local;
    memset(&local, 0, sizeof local);
    localtime_r(&t, &local);
    return local;
}

int daysInMonth(int year, int month) {
    static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return month == 1 && leap ? 29 : days[month];
}

// The change to (or from) daylight time in the year from `start`, in Windows' recurring form:
// month, weekday, its n-th occurrence (5 for the last) and the local hour the change happens at.
SYSTEMTIME transition(time_t start, bool toDaylight) {
    SYSTEMTIME when;
    memset(&when, 0, sizeof when);
    const time_t end = start + 366 * 86400;
    struct tm before = localAt(start);
    for (time_t t = start + 3600; t < end; t += 3600) {
        const struct tm local = localAt(t);
        const bool now = local.tm_isdst > 0;
        if (now != (before.tm_isdst > 0) && now == toDaylight) {
            when.wMonth = WORD(local.tm_mon + 1);
            when.wDayOfWeek = WORD(local.tm_wday);
            const bool last = local.tm_mday + 7 > daysInMonth(local.tm_year + 1900, local.tm_mon);
            when.wDay = WORD(last ? 5 : (local.tm_mday + 6) / 7);
            when.wHour = WORD((before.tm_hour + 1) % 24);
            return when;
        }
        before = local;
    }
    return when;
}

} // namespace

namespace {

// The zone's description for one year: offsets, names and transitions.
void describe(TIME_ZONE_INFORMATION& info, time_t now, const struct tm& current,
              bool& hasDaylight) {
    memset(&info, 0, sizeof info);
    // Look a year around for the other state's offset.
    long standardOffset = 0, daylightOffset = 0; // seconds east of UTC
    bool haveStandard = false, haveDaylight = false;
    for (int day = 0; day <= 366 && !(haveStandard && haveDaylight); day += 7) {
        const struct tm probe = localAt(now + time_t(day) * 86400);
        if (probe.tm_isdst > 0 && !haveDaylight) {
            daylightOffset = probe.tm_gmtoff;
            haveDaylight = true;
        } else if (probe.tm_isdst == 0 && !haveStandard) {
            standardOffset = probe.tm_gmtoff;
            haveStandard = true;
        }
    }
    if (!haveStandard)
        standardOffset = haveDaylight ? daylightOffset - 3600 : current.tm_gmtoff;
    info.Bias = LONG(-standardOffset / 60);
    info.StandardBias = 0;
    widen(tzname[0], info.StandardName);
    widen(tzname[1], info.DaylightName);
    hasDaylight = haveDaylight;
    if (!haveDaylight)
        return;
    info.DaylightBias = LONG(-(daylightOffset - standardOffset) / 60);
    struct tm yearStart = current;
    yearStart.tm_mon = 0;
    yearStart.tm_mday = 1;
    yearStart.tm_hour = 0;
    yearStart.tm_min = 0;
    yearStart.tm_sec = 0;
    yearStart.tm_isdst = -1;
    const time_t start = mktime(&yearStart);
    info.StandardDate = transition(start, false);
    info.DaylightDate = transition(start, true);
}

} // namespace

ZP_EXTERN_C DWORD WINAPI GetTimeZoneInformation(LPTIME_ZONE_INFORMATION info) {
    if (!info) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return TIME_ZONE_ID_INVALID;
    }
    // Describing a zone takes a scan of its year; it is done once per zone and year.
    static std::mutex mutex;
    static bool cached = false;
    static unsigned cachedZone = 0;
    static int cachedYear = 0;
    static bool cachedDaylight = false;
    static TIME_ZONE_INFORMATION cachedInfo;

    const unsigned zone = zp::refreshZone();
    const time_t now = time(nullptr);
    const struct tm current = localAt(now);
    {
        const std::lock_guard<std::mutex> lock(mutex);
        if (!cached || cachedZone != zone || cachedYear != current.tm_year) {
            describe(cachedInfo, now, current, cachedDaylight);
            cached = true;
            cachedZone = zone;
            cachedYear = current.tm_year;
        }
        *info = cachedInfo;
        if (!cachedDaylight)
            return TIME_ZONE_ID_UNKNOWN;
    }
    return current.tm_isdst > 0 ? TIME_ZONE_ID_DAYLIGHT : TIME_ZONE_ID_STANDARD;
}
