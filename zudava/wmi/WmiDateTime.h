#pragma once

#include <comdef.h>

#include "zudava/Export.h"

namespace DEZE {

// A CIM datetime: the 25-character text together with its meaning in microseconds.
//
// A point in time reads "yyyymmddHHMMSS.mmmmmmsUUU" (UUU the offset from UTC in minutes, s its
// sign) and counts microseconds since 1970-01-01 00:00:00 UTC; an interval reads
// "ddddddddHHMMSS.mmmmmm:000" and counts its length. Copies share the text.
class ZUDAVA_API WmiDateTime : public _bstr_t {
public:
    // From numbers: a point in time `seconds` after 1970-01-01 UTC, written in local time with
    // the zone's current offset, or an interval of that length. A point in time outside
    // 1970..3000 raises "Invalid argument".
    WmiDateTime(unsigned __int64 seconds, unsigned __int64 microseconds, bool interval);
    // From text; a text of the wrong length or punctuation, or a point in time the runtime
    // cannot place, raises "Invalid argument" (E_FAIL).
    WmiDateTime(const _bstr_t& text);
    WmiDateTime(const WmiDateTime& other);
    WmiDateTime& operator=(const WmiDateTime& other);
    ~WmiDateTime();

    __int64 toMicroseconds() const;
    bool isInterval() const;

private:
    __int64 m_microseconds;
    bool m_interval;
};

} // namespace DEZE
