#pragma once

#include <windows.h>

#include <atomic>

#include "zudava/Export.h"

namespace DEZE {

// A thread of the runtime library, started from a function or from an override of `run`.
// Cancelling is cooperative: the thread polls isCancelled; only join enforces it, by terminating
// a cancelled thread that has not ended within ten seconds.
//
// Copies of a started thread get a handle of their own to it, so each copy closes its own handle
// and no handle is ever closed twice.
class ZUDAVA_API Thread {
public:
    typedef unsigned int(WINAPI* ThreadFunction)(void* argument);

    Thread();
    explicit Thread(ThreadFunction function);
    Thread(const Thread& other);
    Thread& operator=(const Thread& other);
    virtual ~Thread();

    // Starts the thread once; true when it runs (or already ran), false when the system refused.
    bool start(void* argument);
    // Gives up the handle without ending the thread; `start` may then start a new one.
    virtual void stop();
    // Terminates the thread (see TerminateThread on each host) and gives up the handle.
    void abort();
    void cancel();
    bool isCancelled() const;
    // Gives up the handle; when called before `start`, the handle is given up as soon as the
    // thread starts.
    void detach();
    // Waits for the thread and returns its exit code; 0 when never started or detached.
    unsigned long join();

    unsigned int getThreadId() const;
    static unsigned int getCurrentThreadId();
    static void sleep(unsigned int milliseconds);

protected:
    // The thread's work: the function given at construction (0 without one).
    virtual unsigned int run(void* argument);

private:
    static unsigned int WINAPI entry(void* self);
    void closeHandle();

    HANDLE m_handle;
    unsigned int m_threadId;
    void* m_argument;
    bool m_started;
    bool m_detached;
    // Written by the controlling thread and polled by the running one.
    std::atomic<bool> m_cancelled;
    ThreadFunction m_function;
};

} // namespace DEZE
