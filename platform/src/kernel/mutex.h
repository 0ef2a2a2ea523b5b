// Mutexes: owned by one thread, re-entrant with a count, and abandoned when their owner ends.
// The class is visible to the wait functions so that their hot path calls it directly.
#pragma once

#include "object.h"

namespace zp::kernel {

// How many mutexes the calling thread owns, so that a thread owning none ends without searching.
extern __thread uint32_t t_ownedMutexes __attribute__((tls_model("initial-exec")));

class MutexObject final : public Object {
public:
    MutexObject();
    ~MutexObject() override;

    void takeInitialOwnership() {
        m_owner.store(currentThreadId(), std::memory_order_relaxed);
        m_recursion = 1;
        ++t_ownedMutexes;
    }

    DWORD tryWait() override {
        const DWORD self = currentThreadId();
        uint32_t owner = m_owner.load(std::memory_order_relaxed);
        if (owner == self) {
            ++m_recursion;
            return WAIT_OBJECT_0;
        }
        if (owner == 0 && m_owner.compare_exchange_strong(owner, self, std::memory_order_acquire,
                                                          std::memory_order_relaxed))
            return granted();
        return WAIT_TIMEOUT;
    }

    DWORD wait(const Deadline& deadline) override {
        const DWORD self = currentThreadId();
        m_waiters.fetch_add(1, std::memory_order_seq_cst);
        DWORD result = WAIT_TIMEOUT;
        for (;;) {
            uint32_t owner = m_owner.load(std::memory_order_seq_cst);
            if (owner == 0) {
                if (m_owner.compare_exchange_strong(owner, self, std::memory_order_seq_cst)) {
                    result = granted();
                    break;
                }
                continue;
            }
            if (!futexWait(m_owner, owner, deadline)) {
                owner = 0;
                if (m_owner.compare_exchange_strong(owner, self, std::memory_order_seq_cst))
                    result = granted();
                break;
            }
        }
        m_waiters.fetch_sub(1, std::memory_order_relaxed);
        return result;
    }

    bool release() {
        if (m_owner.load(std::memory_order_relaxed) != currentThreadId())
            return false;
        if (--m_recursion == 0)
            unlock();
        return true;
    }

    // Called by the ending owner itself.
    void abandonIfOwnedBy(DWORD thread) {
        if (m_owner.load(std::memory_order_relaxed) != thread)
            return;
        m_abandoned = true;
        m_recursion = 0;
        unlock();
    }

    MutexObject* next() const { return m_next; }

private:
    // The new owner learns whether the previous one ended while holding the mutex. The flag and
    // the count are written only by the owner; the owner word's acquire and release order them.
    DWORD granted() {
        m_recursion = 1;
        ++t_ownedMutexes;
        if (m_abandoned) {
            m_abandoned = false;
            return WAIT_ABANDONED;
        }
        return WAIT_OBJECT_0;
    }

    // Called by the owner.
    void unlock() {
        --t_ownedMutexes;
        m_owner.store(0, std::memory_order_seq_cst);
        if (m_waiters.load(std::memory_order_seq_cst) != 0)
            futexWake(m_owner, 1);
    }

    std::atomic<uint32_t> m_owner{0}; // owning thread's id, 0 when free
    std::atomic<uint32_t> m_waiters{0};
    uint32_t m_recursion = 0;
    bool m_abandoned = false;
    MutexObject* m_prev = nullptr; // guarded by g_allLock
    MutexObject* m_next = nullptr;
};

} // namespace zp::kernel
