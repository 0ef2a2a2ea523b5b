#include "zudava/os/MutexLock.h"

namespace DEZE {

MutexLock::MutexLock(Mutex& mutex) : m_mutex(&mutex) {
    m_mutex->lock(0xFFFFFFFFul);
}

MutexLock::~MutexLock() {
    ReleaseMutex(m_mutex->m_handle);
}

} // namespace DEZE
