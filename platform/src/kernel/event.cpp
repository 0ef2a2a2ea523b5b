// Events (manual and auto reset) and semaphores.
#include "object.h"

#include <climits>

namespace zp::kernel {
namespace {

class EventObject final : public Object {
public:
    EventObject(bool manualReset, bool signalled)
        : Object(ObjectType::Event), m_manualReset(manualReset), m_signalled(signalled ? 1 : 0) {}

    DWORD tryWait() override {
        if (m_manualReset)
            return m_signalled.load(std::memory_order_acquire) ? WAIT_OBJECT_0 : WAIT_TIMEOUT;
        // An auto-reset event lets exactly one waiter through per signal.
        uint32_t signalled = 1;
        return m_signalled.compare_exchange_strong(signalled, 0, std::memory_order_acquire,
                                                   std::memory_order_relaxed)
                   ? WAIT_OBJECT_0
                   : WAIT_TIMEOUT;
    }

    DWORD wait(const Deadline& deadline) override {
        m_waiters.fetch_add(1, std::memory_order_seq_cst);
        DWORD result;
        while ((result = tryWait()) == WAIT_TIMEOUT) {
            if (!futexWait(m_signalled, 0, deadline)) {
                result = tryWait();
                break;
            }
        }
        m_waiters.fetch_sub(1, std::memory_order_relaxed);
        return result;
    }

    void set() {
        // Setting a set event changes nothing and wakes nobody.
        if (m_signalled.exchange(1, std::memory_order_seq_cst) == 0 &&
            m_waiters.load(std::memory_order_seq_cst) != 0)
            futexWake(m_signalled, m_manualReset ? INT_MAX : 1);
    }

    void reset() { m_signalled.store(0, std::memory_order_relaxed); }

private:
    const bool m_manualReset;
    std::atomic<uint32_t> m_signalled;
    std::atomic<uint32_t> m_waiters{0};
};

class SemaphoreObject final : public Object {
public:
    SemaphoreObject(LONG initial, LONG maximum)
        : Object(ObjectType::Semaphore), m_maximum(static_cast<uint32_t>(maximum)),
          m_count(static_cast<uint32_t>(initial)) {}

    DWORD tryWait() override {
        uint32_t count = m_count.load(std::memory_order_relaxed);
        while (count != 0) {
            if (m_count.compare_exchange_weak(count, count - 1, std::memory_order_acquire,
                                              std::memory_order_relaxed))
                return WAIT_OBJECT_0;
        }
        return WAIT_TIMEOUT;
    }

    DWORD wait(const Deadline& deadline) override {
        m_waiters.fetch_add(1, std::memory_order_seq_cst);
        DWORD result;
        while ((result = tryWait()) == WAIT_TIMEOUT) {
            if (!futexWait(m_count, 0, deadline)) {
                result = tryWait();
                break;
            }
        }
        m_waiters.fetch_sub(1, std::memory_order_relaxed);
        return result;
    }

    // Adds `units` unless that would pass the maximum; then nothing changes.
    bool release(uint32_t units, uint32_t& previous) {
        uint32_t count = m_count.load(std::memory_order_relaxed);
        do {
            if (units > m_maximum - count)
                return false;
        } while (!m_count.compare_exchange_weak(count, count + units, std::memory_order_seq_cst,
                                                std::memory_order_relaxed));
        previous = count;
        if (m_waiters.load(std::memory_order_seq_cst) != 0)
            futexWake(m_count, units > INT_MAX ? INT_MAX : static_cast<int>(units));
        return true;
    }

private:
    const uint32_t m_maximum;
    std::atomic<uint32_t> m_count;
    std::atomic<uint32_t> m_waiters{0};
};

} // namespace
} // namespace zp::kernel

using namespace zp::kernel;

ZP_EXTERN_C HANDLE WINAPI CreateEventA(LPSECURITY_ATTRIBUTES, BOOL manualReset, BOOL initialState,
                                       LPCSTR name) {
    if (name) {
        SetLastError(ERROR_NOT_SUPPORTED);
        return nullptr;
    }
    return insertHandle(new EventObject(manualReset != FALSE, initialState != FALSE));
}

ZP_EXTERN_C BOOL WINAPI SetEvent(HANDLE handle) {
    EventObject* event = lookupHandleAs<EventObject>(handle, ObjectType::Event);
    if (!event)
        return FALSE;
    event->set();
    return TRUE;
}

ZP_EXTERN_C BOOL WINAPI ResetEvent(HANDLE handle) {
    EventObject* event = lookupHandleAs<EventObject>(handle, ObjectType::Event);
    if (!event)
        return FALSE;
    event->reset();
    return TRUE;
}

ZP_EXTERN_C HANDLE WINAPI CreateSemaphoreA(LPSECURITY_ATTRIBUTES, LONG initialCount,
                                           LONG maximumCount, LPCSTR name) {
    if (maximumCount <= 0 || initialCount < 0 || initialCount > maximumCount) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    if (name) {
        SetLastError(ERROR_NOT_SUPPORTED);
        return nullptr;
    }
    return insertHandle(new SemaphoreObject(initialCount, maximumCount));
}

ZP_EXTERN_C BOOL WINAPI ReleaseSemaphore(HANDLE handle, LONG releaseCount, LPLONG previousCount) {
    SemaphoreObject* semaphore = lookupHandleAs<SemaphoreObject>(handle, ObjectType::Semaphore);
    if (!semaphore)
        return FALSE;
    if (releaseCount <= 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    uint32_t previous = 0;
    if (!semaphore->release(static_cast<uint32_t>(releaseCount), previous)) {
        SetLastError(ERROR_TOO_MANY_POSTS);
        return FALSE;
    }
    if (previousCount)
        *previousCount = static_cast<LONG>(previous);
    return TRUE;
}
