#include "zudava/os/SemaphoreLock.h"

namespace DEZE {

SemaphoreLock::SemaphoreLock(Semaphore& semaphore) : m_semaphore(&semaphore) {
    m_semaphore->aquire();
}

SemaphoreLock::~SemaphoreLock() {
    m_semaphore->release();
}

} // namespace DEZE
