#include "zudava/os/Semaphore.h"

#include <stdexcept>

namespace DEZE {

Semaphore::Semaphore(unsigned int maximum, unsigned int initial)
    : m_handle(CreateSemaphoreA(nullptr, static_cast<LONG>(initial), static_cast<LONG>(maximum),
                                nullptr)) {
    if (!m_handle)
        throw std::runtime_error("failed to create semaphore");
}

Semaphore::~Semaphore() {
    CloseHandle(m_handle);
}

void Semaphore::aquire() {
    if (WaitForSingleObject(m_handle, INFINITE) != WAIT_OBJECT_0)
        throw std::runtime_error("failed to obtain semaphore");
}

void Semaphore::release() {
    ReleaseSemaphore(m_handle, 1, nullptr);
}

} // namespace DEZE
