// The system's time zone.
#pragma once

#include "windef.h"

typedef struct _SYSTEMTIME {
    WORD wYear;
    WORD wMonth;
    WORD wDayOfWeek;
    WORD wDay;
    WORD wHour;
    WORD wMinute;
    WORD wSecond;
    WORD wMilliseconds;
} SYSTEMTIME, *PSYSTEMTIME, *LPSYSTEMTIME;

typedef struct _TIME_ZONE_INFORMATION {
    LONG Bias;
    WCHAR StandardName[32];
    SYSTEMTIME StandardDate;
    LONG StandardBias;
    WCHAR DaylightName[32];
    SYSTEMTIME DaylightDate;
    LONG DaylightBias;
} TIME_ZONE_INFORMATION, *PTIME_ZONE_INFORMATION, *LPTIME_ZONE_INFORMATION;

#define TIME_ZONE_ID_INVALID ((DWORD)0xFFFFFFFF)
#define TIME_ZONE_ID_UNKNOWN 0
#define TIME_ZONE_ID_STANDARD 1
#define TIME_ZONE_ID_DAYLIGHT 2

ZP_BEGIN_C
// The zone of the C library (the TZ variable is honoured): the bias of standard time in minutes
// (UTC = local + bias), the extra bias of daylight time, and whether daylight time is in force
// now. Zones without daylight saving give TIME_ZONE_ID_UNKNOWN. The transition dates are the
// first ones of the current year, to the hour.
ZP_API DWORD WINAPI GetTimeZoneInformation(LPTIME_ZONE_INFORMATION info);
ZP_END_C
