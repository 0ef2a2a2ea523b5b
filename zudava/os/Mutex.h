#pragma once

#include <windows.h>

#include "zudava/Export.h"

namespace DEZE {

// A kernel mutex: owned by one thread at a time and re-entrant for its owner (every `lock` needs
// one `unlock`). When the owner thread ends while holding it, the system frees it for the next
// waiter.
class ZUDAVA_API Mutex {
public:
    // Throws std::runtime_error("failed to create mutex") when the system gives no mutex.
    Mutex();
    ~Mutex();
    Mutex(const Mutex&) = delete;
    Mutex& operator=(const Mutex&) = delete;

    // Waits at most `timeout` seconds for ownership; 0xFFFFFFFF waits without limit. Throws
    // std::runtime_error("failed to obtain mutex within timeout") on any other outcome than
    // plain ownership, and then never holds the mutex.
    void lock(unsigned long timeout);
    void unlock();
    // True while another thread holds the mutex; its own owner sees false.
    bool isLocked() const;

private:
    friend class MutexLock;
    HANDLE m_handle;
};

} // namespace DEZE
