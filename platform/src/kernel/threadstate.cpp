// The calling thread's id and the cleanup that runs when a thread ends.
#include "object.h"

#include <pthread.h>
#include <unistd.h>

namespace zp::kernel {
namespace {

thread_local bool t_hooked = false;

// Windows' thread ids are multiples of four; ours never repeat within a process, so a mutex's
// owner id cannot be confused with a later thread's.
std::atomic<DWORD> g_nextId{0x100};

pthread_key_t exitKey() {
    static const pthread_key_t key = [] {
        pthread_key_t created;
        pthread_key_create(&created, [](void*) {
            // Ending thread: first give up its mutexes, then its slots. Should a later destructor
            // take a mutex or a slot again, it hooks anew and the system calls us once more.
            t_hooked = false;
            if (t_threadId != 0)
                abandonMutexesOwnedBy(t_threadId);
            releaseThreadLocalSlots();
        });
        return created;
    }();
    return key;
}

} // namespace

__thread DWORD t_threadId = 0;

DWORD newThreadId() {
    return g_nextId.fetch_add(4, std::memory_order_relaxed);
}

void hookThreadExit() {
    if (!t_hooked) {
        t_hooked = true;
        pthread_setspecific(exitKey(), &t_hooked); // any non-null value runs the destructor
    }
}

DWORD assignThreadId() {
    t_threadId = newThreadId();
    hookThreadExit();
    return t_threadId;
}

void adoptThreadId(DWORD id) {
    t_threadId = id;
    hookThreadExit();
}

} // namespace zp::kernel

ZP_EXTERN_C DWORD WINAPI GetCurrentThreadId(void) {
    return zp::kernel::currentThreadId();
}

ZP_EXTERN_C DWORD WINAPI GetCurrentProcessId(void) {
    return static_cast<DWORD>(getpid());
}
