#include "zudava/wmi/WmiDateTime.h"

#include <string.h>
#include <time.h>
#include <wchar.h>

#include "zudava/foundation/Raise.h"

namespace DEZE {

namespace {

constexpr size_t kLength = 25;
constexpr size_t kPoint = 14;
constexpr size_t kSign = 21;

// The bias of the zone's current state, in minutes (UTC = local + bias).
LONG currentBias() {
    TIME_ZONE_INFORMATION zone;
    switch (GetTimeZoneInformation(&zone)) {
    case TIME_ZONE_ID_UNKNOWN:
        return zone.Bias;
    case TIME_ZONE_ID_STANDARD:
        return zone.Bias + zone.StandardBias;
    case TIME_ZONE_ID_DAYLIGHT:
        return zone.Bias + zone.DaylightBias;
    default:
        return 0;
    }
}

_bstr_t format(unsigned __int64 seconds, unsigned __int64 microseconds, bool interval) {
    wchar_t text[kLength + 1];
    if (interval) {
        const unsigned __int64 days = seconds / 86400;
        unsigned __int64 rest = seconds % 86400;
        const unsigned __int64 hours = rest / 3600;
        rest %= 3600;
        const unsigned __int64 minutes = rest / 60;
        rest %= 60;
        _snwprintf_s(text, kLength + 1, _TRUNCATE, L"%08u%02u%02u%02u.%06u:000",
                     static_cast<unsigned>(days), static_cast<unsigned>(hours),
                     static_cast<unsigned>(minutes), static_cast<unsigned>(rest),
                     static_cast<unsigned>(microseconds));
    } else {
        const __time64_t when = static_cast<__time64_t>(seconds);
        struct tm local;
        if (static_cast<__int64>(seconds) < 0 || _localtime64_s(&local, &when) != 0)
            throwLibraryError(L"Invalid argument");
        _snwprintf_s(text, kLength + 1, _TRUNCATE, L"%04u%02u%02u%02u%02u%02u.%06u%+04i",
                     static_cast<unsigned>(local.tm_year + 1900),
                     static_cast<unsigned>(local.tm_mon + 1), static_cast<unsigned>(local.tm_mday),
                     static_cast<unsigned>(local.tm_hour), static_cast<unsigned>(local.tm_min),
                     static_cast<unsigned>(local.tm_sec), static_cast<unsigned>(microseconds),
                     static_cast<int>(-currentBias()));
    }
    return _bstr_t(text);
}

} // namespace

WmiDateTime::WmiDateTime(unsigned __int64 seconds, unsigned __int64 microseconds, bool interval)
    : _bstr_t(format(seconds, microseconds, interval)),
      m_microseconds(static_cast<__int64>(seconds * 1000000u + microseconds)),
      m_interval(interval) {}

WmiDateTime::WmiDateTime(const _bstr_t& text)
    : _bstr_t(text.copy(), false), m_microseconds(0), m_interval(false) {
    const wchar_t* own = *this;
    if (!own || wcslen(own) != kLength || own[kPoint] != L'.' ||
        (own[kSign] != L':' && own[kSign] != L'-' && own[kSign] != L'+'))
        throwLibraryError(L"Invalid argument");
    m_interval = own[kSign] == L':';

    // With the point and the sign as digits, fixed-width fields read the whole text; the stored
    // text keeps its punctuation because the fields are read from a copy.
    wchar_t digits[kLength + 1];
    wmemcpy(digits, own, kLength + 1);
    digits[kPoint] = L'0';
    digits[kSign] = L'0';

    if (m_interval) {
        unsigned days = 0, hours = 0, minutes = 0, seconds = 0, micro = 0, ignored = 0;
        swscanf_s(digits, L"%8u%2u%2u%2u%7u%4u", &days, &hours, &minutes, &seconds, &micro,
                  &ignored);
        const unsigned __int64 total =
            (((static_cast<unsigned __int64>(days) * 24 + hours) * 60 + minutes) * 60 + seconds) *
                1000000u +
            micro;
        m_microseconds = static_cast<__int64>(total);
        return;
    }

    unsigned year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0, micro = 0, offset = 0;
    swscanf_s(digits, L"%4u%2u%2u%2u%2u%2u%7u%4u", &year, &month, &day, &hour, &minute, &second,
              &micro, &offset);
    struct tm broken;
    memset(&broken, 0, sizeof broken); // tm_isdst 0: the fields are standard time
    broken.tm_year = static_cast<int>(year) - 1900;
    broken.tm_mon = static_cast<int>(month) - 1;
    broken.tm_mday = static_cast<int>(day);
    broken.tm_hour = static_cast<int>(hour);
    broken.tm_min = static_cast<int>(minute);
    broken.tm_sec = static_cast<int>(second);
    const __time64_t seconds = _mktime64(&broken);
    if (seconds == -1)
        throwLibraryError(L"Invalid argument");
    __int64 value = static_cast<__int64>(seconds) * 1000000 + micro;
    const __int64 shift = static_cast<__int64>(offset / 60) * 3600000000LL +
                          static_cast<__int64>(offset % 60) * 60000000LL;
    if (own[kSign] == L'+')
        value -= shift;
    else
        value += shift;
    m_microseconds = value;
}

WmiDateTime::WmiDateTime(const WmiDateTime& other)
    : _bstr_t(other), m_microseconds(other.m_microseconds), m_interval(other.m_interval) {}

WmiDateTime& WmiDateTime::operator=(const WmiDateTime& other) {
    if (this != &other) {
        _bstr_t::operator=(other);
        m_microseconds = other.m_microseconds;
        m_interval = other.m_interval;
    }
    return *this;
}

WmiDateTime::~WmiDateTime() = default;

__int64 WmiDateTime::toMicroseconds() const {
    return m_microseconds;
}

bool WmiDateTime::isInterval() const {
    return m_interval;
}

} // namespace DEZE
