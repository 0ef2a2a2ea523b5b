// The process's view of the C library's time zone, shared by the time and zone functions.
#pragma once

namespace zp {

// Re-reads the zone when the TZ variable changed since the last call (the first call reads it),
// and returns a number that changes whenever the zone was re-read. Like Windows' runtime, the
// zone is otherwise read once: glibc's own mktime checks the zone file at every call, which costs
// more than the conversion itself.
unsigned refreshZone();

} // namespace zp
