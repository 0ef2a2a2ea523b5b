#pragma once

#include "zudava/Export.h"
#include "zudava/os/Semaphore.h"

namespace DEZE {

// Holds one unit of a Semaphore for the life of a scope.
class ZUDAVA_API SemaphoreLock {
public:
    explicit SemaphoreLock(Semaphore& semaphore);
    ~SemaphoreLock();
    SemaphoreLock(const SemaphoreLock&) = delete;
    SemaphoreLock& operator=(const SemaphoreLock&) = delete;

private:
    Semaphore* m_semaphore;
};

} // namespace DEZE
