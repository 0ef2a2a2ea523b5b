// The kernel object of a thread: signalled when the thread ends, then giving its exit code. Also
// the object behind the thread handle of a child process's first thread.
#pragma once

#include "object.h"

#include <climits>

namespace zp::kernel {

class ThreadObject final : public Object {
public:
    explicit ThreadObject(DWORD id) : Object(ObjectType::Thread), m_id(id) {}

    DWORD id() const { return m_id; }

    DWORD tryWait() override {
        return m_ended.load(std::memory_order_acquire) ? WAIT_OBJECT_0 : WAIT_TIMEOUT;
    }

    DWORD wait(const Deadline& deadline) override {
        m_waiters.fetch_add(1, std::memory_order_seq_cst);
        DWORD result;
        while ((result = tryWait()) == WAIT_TIMEOUT) {
            if (!futexWait(m_ended, 0, deadline)) {
                result = tryWait();
                break;
            }
        }
        m_waiters.fetch_sub(1, std::memory_order_relaxed);
        return result;
    }

    // Marks the thread ended with `exitCode`. The first end counts: a thread that was terminated
    // and later returns keeps the exit code it was terminated with.
    void end(DWORD exitCode) {
        bool expected = false;
        if (!m_ending.compare_exchange_strong(expected, true, std::memory_order_relaxed))
            return;
        m_exitCode = exitCode;
        m_ended.store(1, std::memory_order_seq_cst);
        if (m_waiters.load(std::memory_order_seq_cst) != 0)
            futexWake(m_ended, INT_MAX);
    }

    DWORD exitCode() const {
        return m_ended.load(std::memory_order_acquire) ? m_exitCode : DWORD{STILL_ACTIVE};
    }

private:
    const DWORD m_id;
    std::atomic<bool> m_ending{false};
    DWORD m_exitCode = 0; // published by m_ended
    std::atomic<uint32_t> m_ended{0};
    std::atomic<uint32_t> m_waiters{0};
};

} // namespace zp::kernel
