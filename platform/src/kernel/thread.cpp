// Threads of the C runtime (_beginthreadex) as kernel objects: a thread handle is signalled when
// the thread ends and then gives its exit code.
#include "threadobject.h"

#include <process.h>

#include <cerrno>
#include <climits>
#include <new>
#include <pthread.h>

namespace zp::kernel {
namespace {

struct Start {
    unsigned(__stdcall* routine)(void*);
    void* argument;
    ThreadObject* thread;
};

// The exit code _endthreadex leaves for the unwinding thread's last step.
thread_local DWORD t_exitCode = 0;

// Ends the thread object however the thread leaves: by returning, or by _endthreadex unwinding
// through here. A thread's mutexes are abandoned before its handle is signalled, so whoever
// joined it finds them free.
struct Finish {
    ThreadObject* thread;
    ~Finish() {
        abandonMutexesOwnedBy(thread->id());
        thread->end(t_exitCode);
        thread->release();
    }
};

void* threadMain(void* raw) {
    const Start start = *static_cast<Start*>(raw);
    delete static_cast<Start*>(raw);
    adoptThreadId(start.thread->id());
    Finish finish{start.thread};
    t_exitCode = start.routine(start.argument);
    return nullptr;
}

} // namespace
} // namespace zp::kernel

using namespace zp::kernel;

ZP_EXTERN_C uintptr_t __cdecl _beginthreadex(void*, unsigned stackSize,
                                             unsigned(__stdcall* startAddress)(void*),
                                             void* argument, unsigned initFlag,
                                             unsigned* threadId) {
    if (!startAddress || initFlag != 0) {
        errno = EINVAL;
        return 0;
    }
    ThreadObject* thread = new ThreadObject(newThreadId());
    thread->addRef(); // the running thread's own reference
    HANDLE handle = insertHandle(thread);
    if (!handle) {
        thread->release();
        errno = EAGAIN;
        return 0;
    }
    pthread_attr_t attributes;
    pthread_attr_init(&attributes);
    pthread_attr_setdetachstate(&attributes, PTHREAD_CREATE_DETACHED);
    if (stackSize != 0)
        pthread_attr_setstacksize(&attributes, stackSize < PTHREAD_STACK_MIN
                                                   ? static_cast<size_t>(PTHREAD_STACK_MIN)
                                                   : stackSize);
    Start* start = new Start{startAddress, argument, thread};
    pthread_t id;
    const int rc = pthread_create(&id, &attributes, threadMain, start);
    pthread_attr_destroy(&attributes);
    if (rc != 0) {
        delete start;
        thread->release();
        CloseHandle(handle);
        errno = EAGAIN;
        return 0;
    }
    if (threadId)
        *threadId = thread->id();
    return reinterpret_cast<uintptr_t>(handle);
}

ZP_EXTERN_C void __cdecl _endthreadex(unsigned exitCode) {
    t_exitCode = exitCode;
    pthread_exit(nullptr);
}

ZP_EXTERN_C BOOL WINAPI GetExitCodeThread(HANDLE handle, LPDWORD exitCode) {
    ThreadObject* thread = lookupHandleAs<ThreadObject>(handle, ObjectType::Thread);
    if (!thread)
        return FALSE;
    if (exitCode)
        *exitCode = thread->exitCode();
    return TRUE;
}

ZP_EXTERN_C BOOL WINAPI TerminateThread(HANDLE handle, DWORD exitCode) {
    ThreadObject* thread = lookupHandleAs<ThreadObject>(handle, ObjectType::Thread);
    if (!thread)
        return FALSE;
    if (thread->id() == currentThreadId())
        _endthreadex(exitCode);
    thread->end(exitCode);
    return TRUE;
}
