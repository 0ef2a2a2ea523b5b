#pragma once

#include <windows.h>

#include "zudava/Export.h"

namespace DEZE {

// A kernel event. Copies refer to the same event: each copy holds a handle of its own to it, so
// every copy closes its own handle and the event goes away with the last one.
class ZUDAVA_API Event {
public:
    // Defined in the library as well, so that users may bind them to references across the
    // DLL boundary.
    static const int _WAIT_COND_SIG = 0; // signalled
    static const int _WAIT_TIMEOUT = 1;  // timed out
    static const int _WAIT_FAILED = -1;  // the wait failed

    // An event that is not signalled. An auto-reset event lets one waiter through per signal and
    // resets itself; a manual-reset one stays signalled until reset. A failed creation is not
    // reported: the operations then fail silently.
    explicit Event(bool autoReset = true);
    Event(const Event& other);
    Event& operator=(const Event& other);
    virtual ~Event();

    void signal();
    void reset();
    // True when the event is signalled (or the wait fails); consumes an auto-reset signal.
    bool test();
    // Waits at most `timeout` seconds (0xFFFFFFFF: without limit, and then always
    // _WAIT_COND_SIG) and returns one of the _WAIT_ constants.
    long wait(unsigned long timeout);

private:
    HANDLE m_handle;
    bool m_autoReset;
};

} // namespace DEZE
