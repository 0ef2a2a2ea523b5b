#pragma once

#include <windows.h>

#include "zudava/Export.h"

namespace DEZE {

// A counting kernel semaphore. It has no owner: any thread may release a unit. Not copyable, so
// that its handle is closed exactly once.
class ZUDAVA_API Semaphore {
public:
    // Throws std::runtime_error("failed to create semaphore") when the system gives none, for
    // instance when `initial` exceeds `maximum`.
    Semaphore(unsigned int maximum, unsigned int initial);
    ~Semaphore();
    Semaphore(const Semaphore&) = delete;
    Semaphore& operator=(const Semaphore&) = delete;

    // Waits without limit for one unit; throws std::runtime_error("failed to obtain semaphore")
    // if the wait fails.
    void aquire();
    // Gives back one unit; a release past the maximum is ignored.
    void release();

private:
    HANDLE m_handle;
};

} // namespace DEZE
