// Local time and the time zone. What holds in every zone is checked on both hosts; fixed zones
// are set through TZ, which only the Linux platform reads while a process runs.
#include <windows.h>

#include <errno.h>
#include <stdlib.h>
#include <time.h>

#include <gtest/gtest.h>

#include <string>

namespace {

#ifndef _WIN32
// Runs the test body in the zone `tz`, restoring the previous zone afterwards.
class ZoneScope {
public:
    explicit ZoneScope(const char* tz) {
        const char* old = getenv("TZ");
        m_had = old != nullptr;
        if (old)
            m_old = old;
        setenv("TZ", tz, 1);
        tzset();
    }
    ~ZoneScope() {
        if (m_had)
            setenv("TZ", m_old.c_str(), 1);
        else
            unsetenv("TZ");
        tzset();
    }

private:
    bool m_had = false;
    std::string m_old;
};
#endif

} // namespace

TEST(Time, LocalTimeAndMktimeRoundTrip) {
    for (__time64_t t : {__time64_t(0) + 86400, __time64_t(1000000000), __time64_t(4102444800LL)}) {
        struct tm local;
        ASSERT_EQ(_localtime64_s(&local, &t), 0);
        EXPECT_EQ(_mktime64(&local), t);
    }
}

TEST(Time, OutOfRangeTimesAreRefused) {
    struct tm local;
    __time64_t t = -1;
    EXPECT_EQ(_localtime64_s(&local, &t), EINVAL);
    EXPECT_EQ(local.tm_year, -1);
    t = 32535215999LL + 86400; // a day past 3000-12-31 23:59:59 UTC
    EXPECT_EQ(_localtime64_s(&local, &t), EINVAL);
    EXPECT_EQ(_localtime64_s(nullptr, &t), EINVAL);

    struct tm past = {};
    past.tm_year = 60;
    past.tm_mday = 1;
    EXPECT_EQ(_mktime64(&past), -1);
    struct tm future = {};
    future.tm_year = 1200;
    future.tm_mday = 1;
    EXPECT_EQ(_mktime64(&future), -1);
}

TEST(Time, MktimeNormalisesItsFields) {
    struct tm a = {};
    a.tm_year = 100;
    a.tm_mon = 12; // month 13 of 2000 is January 2001
    a.tm_mday = 1;
    struct tm b = {};
    b.tm_year = 101;
    b.tm_mon = 0;
    b.tm_mday = 1;
    const __time64_t ta = _mktime64(&a);
    ASSERT_NE(ta, -1);
    EXPECT_EQ(ta, _mktime64(&b));
    EXPECT_EQ(a.tm_year, 101);
    EXPECT_EQ(a.tm_mon, 0);
}

TEST(Time, ZoneBiasMatchesLocalTime) {
    TIME_ZONE_INFORMATION zone;
    const DWORD state = GetTimeZoneInformation(&zone);
    ASSERT_TRUE(state == TIME_ZONE_ID_UNKNOWN || state == TIME_ZONE_ID_STANDARD ||
                state == TIME_ZONE_ID_DAYLIGHT);
    LONG bias = zone.Bias;
    if (state == TIME_ZONE_ID_STANDARD)
        bias += zone.StandardBias;
    else if (state == TIME_ZONE_ID_DAYLIGHT)
        bias += zone.DaylightBias;
    // Local time now, read as if it were UTC, is ahead of UTC by minus the bias.
    const __time64_t now = _time64(nullptr);
    struct tm local;
    ASSERT_EQ(_localtime64_s(&local, &now), 0);
    const long long days = (local.tm_year - 70) * 365LL + (local.tm_year - 69) / 4 + local.tm_yday;
    const long long asUtc = ((days * 24 + local.tm_hour) * 60 + local.tm_min) * 60 + local.tm_sec;
    EXPECT_EQ((asUtc - now) / 60, -static_cast<long long>(bias));
}

TEST(Time, FixedZones) {
#ifdef _WIN32
    GTEST_SKIP() << "a Windows process follows the system's zone, which a test cannot set";
#else
    {
        ZoneScope utc("UTC0");
        TIME_ZONE_INFORMATION zone;
        EXPECT_EQ(GetTimeZoneInformation(&zone), DWORD(TIME_ZONE_ID_UNKNOWN));
        EXPECT_EQ(zone.Bias, 0);
        struct tm epoch = {};
        epoch.tm_year = 70;
        epoch.tm_mday = 1;
        EXPECT_EQ(_mktime64(&epoch), 0);
    }
    {
        ZoneScope west("EST5");
        TIME_ZONE_INFORMATION zone;
        EXPECT_EQ(GetTimeZoneInformation(&zone), DWORD(TIME_ZONE_ID_UNKNOWN));
        EXPECT_EQ(zone.Bias, 300);
        EXPECT_STREQ(zone.StandardName, L"EST");
    }
    {
        ZoneScope central("CET-1CEST,M3.5.0,M10.5.0/3");
        TIME_ZONE_INFORMATION zone;
        const DWORD state = GetTimeZoneInformation(&zone);
        EXPECT_TRUE(state == TIME_ZONE_ID_STANDARD || state == TIME_ZONE_ID_DAYLIGHT);
        EXPECT_EQ(zone.Bias, -60);
        EXPECT_EQ(zone.StandardBias, 0);
        EXPECT_EQ(zone.DaylightBias, -60);
        EXPECT_EQ(zone.DaylightDate.wMonth, 3);
        EXPECT_EQ(zone.StandardDate.wMonth, 10);
        EXPECT_EQ(zone.DaylightDate.wDay, 5);
        // In standard time (tm_isdst 0) midnight of 1 January 1970 local is 23:00 UTC before.
        struct tm epoch = {};
        epoch.tm_year = 70;
        epoch.tm_mday = 2;
        EXPECT_EQ(_mktime64(&epoch), 86400 - 3600);
        // Summer fields read as standard time are an hour later than read as daylight time.
        struct tm summer = {};
        summer.tm_year = 120;
        summer.tm_mon = 6;
        summer.tm_mday = 1;
        summer.tm_hour = 12;
        struct tm either = summer;
        either.tm_isdst = -1;
        EXPECT_EQ(_mktime64(&summer), 1593601200); // 2020-07-01 11:00 UTC
        EXPECT_EQ(summer.tm_hour, 13);
        EXPECT_GT(summer.tm_isdst, 0);
        EXPECT_EQ(_mktime64(&either), 1593597600); // 10:00 UTC
        // A change of TZ is seen without an explicit tzset.
        setenv("TZ", "UTC0", 1);
        struct tm utc = {};
        utc.tm_year = 70;
        utc.tm_mday = 2;
        EXPECT_EQ(_mktime64(&utc), 86400);
    }
#endif
}
