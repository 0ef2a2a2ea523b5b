#include <zudava/zudava.h>

#include <stdlib.h>
#include <time.h>

#include <gtest/gtest.h>

#include <string>

using DEZE::WmiDateTime;
using DEZE::WmiException;

namespace {

std::wstring text(const WmiDateTime& value) {
    return static_cast<const wchar_t*>(value);
}

// Points in time are written in the local zone; these tests need it to be UTC.
class WmiDateTimeUtc : public testing::Test {
protected:
    void SetUp() override {
#ifndef _WIN32
        setenv("TZ", "UTC0", 1);
        tzset();
#endif
        TIME_ZONE_INFORMATION zone;
        const DWORD state = GetTimeZoneInformation(&zone);
        const LONG bias = zone.Bias + (state == TIME_ZONE_ID_DAYLIGHT ? zone.DaylightBias : 0);
        if (bias != 0)
            GTEST_SKIP() << "the system's time zone is not UTC";
    }
#ifndef _WIN32
    void TearDown() override {
        unsetenv("TZ");
        tzset();
    }
#endif
};

} // namespace

TEST(WmiDateTime, IntervalsFromNumbers) {
    WmiDateTime value(90061, 5, true);
    EXPECT_EQ(text(value), L"00000001010101.000005:000");
    EXPECT_EQ(value.toMicroseconds(), 90061000005LL);
    EXPECT_TRUE(value.isInterval());
    EXPECT_EQ(text(WmiDateTime(0, 0, true)), L"00000000000000.000000:000");
    // The microseconds are written as given, and a text too long is cut to 25 characters.
    EXPECT_EQ(text(WmiDateTime(59, 1234567, true)), L"00000000000059.1234567:00");
    EXPECT_EQ(WmiDateTime(59, 1234567, true).toMicroseconds(), 60234567LL);
}

TEST(WmiDateTime, IntervalsFromText) {
    WmiDateTime value(_bstr_t(L"00000001010101.000005:000"));
    EXPECT_TRUE(value.isInterval());
    EXPECT_EQ(value.toMicroseconds(), 90061000005LL);
    EXPECT_EQ(WmiDateTime(_bstr_t(L"00000000000000.000000:000")).toMicroseconds(), 0);
    EXPECT_EQ(WmiDateTime(_bstr_t(L"99999999235959.999999:000")).toMicroseconds(),
              99999999LL * 86400000000LL + 86399999999LL);
    // A field that is not a number stops the reading: it and the later ones count 0.
    EXPECT_EQ(WmiDateTime(_bstr_t(L"00000001x10101.000005:000")).toMicroseconds(), 86400000000LL);
}

TEST(WmiDateTime, WrongShapesAreInvalid) {
    const wchar_t* bad[] = {
        L"0000000101010.000005:000",   // 24 characters
        L"000000010101011.000005:000", // 26 characters
        L"00000001010101,000005:000",  // "," where the point belongs
        L"00000001010101.000005*000",  // "*" where the sign belongs
        L"",
    };
    for (const wchar_t* candidate : bad) {
        try {
            WmiDateTime value{_bstr_t(candidate)};
            ADD_FAILURE() << "accepted";
        } catch (const WmiException& e) {
            EXPECT_EQ(e.getCode(), E_FAIL); // 0x80004005
            EXPECT_STREQ(static_cast<const wchar_t*>(e.getMessage()), L"Invalid argument");
        }
    }
    EXPECT_THROW(WmiDateTime{_bstr_t()}, WmiException);
    // A NUL inside ends the text.
    const wchar_t withNul[] = L"00000001010101.000005:000";
    BSTR shortened = SysAllocStringLen(withNul, 25);
    shortened[10] = 0;
    EXPECT_THROW(WmiDateTime{_bstr_t(shortened, false)}, WmiException);
}

TEST(WmiDateTime, OffsetsShiftThePoint) {
    const __int64 plain = WmiDateTime(_bstr_t(L"20200101120000.000000+000")).toMicroseconds();
    EXPECT_EQ(WmiDateTime(_bstr_t(L"20200101120000.000000+060")).toMicroseconds(),
              plain - 3600000000LL);
    EXPECT_EQ(WmiDateTime(_bstr_t(L"20200101120000.000000-060")).toMicroseconds(),
              plain + 3600000000LL);
    EXPECT_EQ(WmiDateTime(_bstr_t(L"20200101120000.000000+090")).toMicroseconds(),
              plain - 5400000000LL);
    WmiDateTime parsed(_bstr_t(L"20200101120000.000000-060"));
    EXPECT_FALSE(parsed.isInterval());
    EXPECT_EQ(text(parsed), L"20200101120000.000000-060"); // punctuation kept
}

TEST(WmiDateTime, CopiesShareTheText) {
    WmiDateTime original(90061, 5, true);
    WmiDateTime copy(original);
    EXPECT_EQ(static_cast<const wchar_t*>(copy), static_cast<const wchar_t*>(original));
    EXPECT_EQ(copy.toMicroseconds(), original.toMicroseconds());
    WmiDateTime assigned(0, 0, false);
    assigned = original;
    EXPECT_TRUE(assigned.isInterval());
    EXPECT_EQ(text(assigned), L"00000001010101.000005:000");
    assigned = assigned;
    EXPECT_EQ(assigned.toMicroseconds(), 90061000005LL);
}

TEST_F(WmiDateTimeUtc, PointsInTime) {
    WmiDateTime epoch(0, 0, false);
    EXPECT_EQ(text(epoch), L"19700101000000.000000+000");
    EXPECT_FALSE(epoch.isInterval());
    EXPECT_EQ(epoch.toMicroseconds(), 0);
    EXPECT_EQ(WmiDateTime(_bstr_t(L"19700101000001.000002+000")).toMicroseconds(), 1000002LL);
    WmiDateTime later(1600000000, 123456, false);
    EXPECT_EQ(text(later), L"20200913122640.123456+000");
    EXPECT_EQ(WmiDateTime(later).toMicroseconds(), 1600000000123456LL);
    EXPECT_EQ(WmiDateTime(_bstr_t(text(later).c_str())).toMicroseconds(), 1600000000123456LL);
    // Fields out of range are normalised: month 13 of 2019 is January 2020.
    EXPECT_EQ(WmiDateTime(_bstr_t(L"20191301000000.000000+000")).toMicroseconds(),
              WmiDateTime(_bstr_t(L"20200101000000.000000+000")).toMicroseconds());
}

TEST_F(WmiDateTimeUtc, TimesTheRuntimeCannotPlaceAreInvalid) {
    EXPECT_THROW(WmiDateTime(_bstr_t(L"19600101000000.000000+000")), WmiException);
    EXPECT_THROW(WmiDateTime(40000000000ULL, 0, false), WmiException);
}

#ifndef _WIN32
TEST(WmiDateTimeZone, OffsetIsTheZonesCurrentOne) {
    setenv("TZ", "CET-1CEST,M3.5.0,M10.5.0/3", 1);
    tzset();
    TIME_ZONE_INFORMATION zone;
    const bool daylight = GetTimeZoneInformation(&zone) == TIME_ZONE_ID_DAYLIGHT;
    // 1970-01-01 00:00 UTC is 01:00 in Central Europe, written with today's offset.
    EXPECT_EQ(text(WmiDateTime(0, 0, false)),
              daylight ? L"19700101010000.000000+120" : L"19700101010000.000000+060");
    // The fields are read as local standard time, then the offset is applied on top.
    EXPECT_EQ(WmiDateTime(_bstr_t(L"19700101010000.000000+060")).toMicroseconds(), -3600000000LL);
    unsetenv("TZ");
    tzset();
}
#endif
