#include "zudava/os/Thread.h"

#include <process.h>

#include "zudava/os/KernelHandle.h"

namespace DEZE {

namespace {

constexpr DWORD kCancelledJoinMilliseconds = 10000;

} // namespace

Thread::Thread() : Thread(nullptr) {}

Thread::Thread(ThreadFunction function)
    : m_handle(nullptr), m_threadId(0), m_argument(nullptr), m_started(false), m_detached(false),
      m_cancelled(false), m_function(function) {}

Thread::Thread(const Thread& other)
    : m_handle(nullptr), m_threadId(other.m_threadId), m_argument(other.m_argument),
      m_started(other.m_started), m_detached(other.m_detached),
      m_cancelled(other.m_cancelled.load()), m_function(other.m_function) {
    m_handle = duplicateHandle(other.m_handle);
}

Thread& Thread::operator=(const Thread& other) {
    if (this == &other)
        return *this;
    HANDLE copy = duplicateHandle(other.m_handle);
    closeHandle();
    m_handle = copy;
    m_threadId = other.m_threadId;
    m_argument = other.m_argument;
    m_started = other.m_started;
    m_detached = other.m_detached;
    m_cancelled = other.m_cancelled.load();
    m_function = other.m_function;
    return *this;
}

Thread::~Thread() {
    closeHandle();
}

void Thread::closeHandle() {
    if (m_handle) {
        CloseHandle(m_handle);
        m_handle = nullptr;
    }
}

bool Thread::start(void* argument) {
    if (m_started)
        return true;
    m_argument = argument;
    const uintptr_t handle = _beginthreadex(nullptr, 0, &Thread::entry, this, 0, &m_threadId);
    if (handle != 0) {
        m_handle = reinterpret_cast<HANDLE>(handle);
        if (m_detached)
            closeHandle();
        m_started = true;
    }
    return m_started;
}

unsigned int WINAPI Thread::entry(void* self) {
    Thread* thread = static_cast<Thread*>(self);
    unsigned int result;
    try {
        result = thread->run(thread->m_argument);
    } catch (...) {
        result = 0xFFFFFFFFu;
    }
    _endthreadex(result);
    return result;
}

unsigned int Thread::run(void* argument) {
    return m_function ? m_function(argument) : 0;
}

void Thread::stop() {
    if (m_started && !m_detached) {
        closeHandle();
        m_started = false;
    }
}

void Thread::abort() {
    if (m_started && !m_detached) {
        TerminateThread(m_handle, 0);
        closeHandle();
        m_detached = true;
    }
}

void Thread::cancel() {
    m_cancelled = true;
}

bool Thread::isCancelled() const {
    return m_cancelled;
}

void Thread::detach() {
    if (m_started && !m_detached)
        closeHandle();
    m_detached = true;
}

unsigned long Thread::join() {
    if (!m_started || m_detached)
        return 0;
    if (!m_cancelled)
        WaitForSingleObject(m_handle, INFINITE);
    else if (WaitForSingleObject(m_handle, kCancelledJoinMilliseconds) == WAIT_TIMEOUT)
        TerminateThread(m_handle, 0);
    DWORD exitCode = 0;
    GetExitCodeThread(m_handle, &exitCode);
    closeHandle();
    m_detached = true;
    return exitCode;
}

unsigned int Thread::getThreadId() const {
    return m_threadId;
}

unsigned int Thread::getCurrentThreadId() {
    return ::GetCurrentThreadId();
}

void Thread::sleep(unsigned int milliseconds) {
    Sleep(milliseconds);
}

} // namespace DEZE
