// The calling thread's id and the cleanup that runs when a thread ends.
#include "object.h"

#include <pthread.h>
#include <unistd.h>

namespace zp::kernel {
namespace {

struct ThreadState {
    DWORD id;
    bool hooked;
};

thread_local ThreadState t_state;

// Windows' thread ids are multiples of four; ours never repeat within a process, so a mutex's
// owner id cannot be confused with a later thread's.
std::atomic<DWORD> g_nextId{0x100};

pthread_key_t exitKey() {
    static const pthread_key_t key = [] {
        pthread_key_t created;
        pthread_key_create(&created, [](void*) {
            // Ending thread: first give up its mutexes, then its slots.
            if (t_state.id != 0)
                abandonMutexesOwnedBy(t_state.id);
            releaseThreadLocalSlots();
        });
        return created;
    }();
    return key;
}

} // namespace

DWORD newThreadId() {
    return g_nextId.fetch_add(4, std::memory_order_relaxed);
}

void hookThreadExit() {
    if (!t_state.hooked) {
        t_state.hooked = true;
        pthread_setspecific(exitKey(), &t_state);
    }
}

DWORD currentThreadId() {
    if (t_state.id == 0) {
        t_state.id = newThreadId();
        hookThreadExit();
    }
    return t_state.id;
}

void adoptThreadId(DWORD id) {
    t_state.id = id;
    hookThreadExit();
}

} // namespace zp::kernel

ZP_EXTERN_C DWORD WINAPI GetCurrentThreadId(void) {
    return zp::kernel::currentThreadId();
}

ZP_EXTERN_C DWORD WINAPI GetCurrentProcessId(void) {
    return static_cast<DWORD>(getpid());
}
