#pragma once

#include "zudava/Export.h"
#include "zudava/os/Mutex.h"

namespace DEZE {

// Holds a Mutex for the life of a scope: waits for it without limit on construction and releases
// it on destruction.
class ZUDAVA_API MutexLock {
public:
    explicit MutexLock(Mutex& mutex);
    ~MutexLock();
    MutexLock(const MutexLock&) = delete;
    MutexLock& operator=(const MutexLock&) = delete;

private:
    Mutex* m_mutex;
};

} // namespace DEZE
