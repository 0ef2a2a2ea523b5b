#include "zudava/os/Mutex.h"

#include <stdexcept>

#include "zudava/os/KernelHandle.h"

namespace DEZE {

Mutex::Mutex() : m_handle(CreateMutexA(nullptr, FALSE, nullptr)) {
    if (!m_handle)
        throw std::runtime_error("failed to create mutex");
}

Mutex::~Mutex() {
    CloseHandle(m_handle);
}

void Mutex::lock(unsigned long timeout) {
    const DWORD result = WaitForSingleObject(m_handle, waitMilliseconds(timeout));
    if (result == WAIT_OBJECT_0)
        return;
    // An abandoned mutex is granted to us, but whatever it guarded may be half-changed. We give
    // it back before reporting the failure, so a throwing lock never leaves the mutex held and
    // the next caller gets it normally.
    if (result == WAIT_ABANDONED)
        ReleaseMutex(m_handle);
    throw std::runtime_error("failed to obtain mutex within timeout");
}

void Mutex::unlock() {
    ReleaseMutex(m_handle);
}

bool Mutex::isLocked() const {
    const DWORD result = WaitForSingleObject(m_handle, 0);
    if (result == WAIT_OBJECT_0 || result == WAIT_ABANDONED) {
        // Whatever the answer, the probe itself must not keep the mutex. An abandoned mutex
        // counts as not obtained cleanly, so it reports true once and is free afterwards.
        ReleaseMutex(m_handle);
        return result == WAIT_ABANDONED;
    }
    return true;
}

} // namespace DEZE
