#include "zudava/os/Event.h"

#include <cstdint>

namespace DEZE {

namespace {

// A handle of our own to the event behind `handle` (null stays null).
HANDLE duplicate(HANDLE handle) {
    HANDLE copy = nullptr;
    if (handle)
        DuplicateHandle(GetCurrentProcess(), handle, GetCurrentProcess(), &copy, 0, FALSE,
                        DUPLICATE_SAME_ACCESS);
    return copy;
}

} // namespace

const int Event::_WAIT_COND_SIG;
const int Event::_WAIT_TIMEOUT;
const int Event::_WAIT_FAILED;

Event::Event(bool autoReset)
    : m_handle(CreateEventA(nullptr, autoReset ? FALSE : TRUE, FALSE, nullptr)),
      m_autoReset(autoReset) {}

Event::Event(const Event& other)
    : m_handle(duplicate(other.m_handle)), m_autoReset(other.m_autoReset) {}

Event& Event::operator=(const Event& other) {
    if (this != &other) {
        HANDLE copy = duplicate(other.m_handle);
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
    if (timeout == 0xFFFFFFFFul) {
        WaitForSingleObject(m_handle, INFINITE);
        return _WAIT_COND_SIG;
    }
    // The milliseconds are a 32-bit product, as the system takes them.
    switch (
        WaitForSingleObject(m_handle, static_cast<DWORD>(static_cast<uint32_t>(timeout) * 1000u))) {
    case WAIT_OBJECT_0:
        return _WAIT_COND_SIG;
    case WAIT_TIMEOUT:
        return _WAIT_TIMEOUT;
    default:
        return _WAIT_FAILED;
    }
}

} // namespace DEZE
