#include "zudava/os/Event.h"

#include "zudava/os/KernelHandle.h"

namespace DEZE {

const int Event::_WAIT_COND_SIG;
const int Event::_WAIT_TIMEOUT;
const int Event::_WAIT_FAILED;

Event::Event(bool autoReset)
    : m_handle(CreateEventA(nullptr, autoReset ? FALSE : TRUE, FALSE, nullptr)),
      m_autoReset(autoReset) {}

Event::Event(const Event& other)
    : m_handle(duplicateHandle(other.m_handle)), m_autoReset(other.m_autoReset) {}

Event& Event::operator=(const Event& other) {
    if (this != &other) {
        HANDLE copy = duplicateHandle(other.m_handle);
        if (m_handle)
            CloseHandle(m_handle);
        m_handle = copy;
        m_autoReset = other.m_autoReset;
    }
    return *this;
}

Event::~Event() {
    if (m_handle)
        CloseHandle(m_handle);
}

void Event::signal() {
    SetEvent(m_handle);
}

void Event::reset() {
    ResetEvent(m_handle);
}

bool Event::test() {
    return WaitForSingleObject(m_handle, 0) != WAIT_TIMEOUT;
}

long Event::wait(unsigned long timeout) {
    const DWORD result = WaitForSingleObject(m_handle, waitMilliseconds(timeout));
    if (timeout == 0xFFFFFFFFul)
        return _WAIT_COND_SIG; // a wait without limit reports the signal whatever happened
    switch (result) {
    case WAIT_OBJECT_0:
        return _WAIT_COND_SIG;
    case WAIT_TIMEOUT:
        return _WAIT_TIMEOUT;
    default:
        return _WAIT_FAILED;
    }
}

} // namespace DEZE
