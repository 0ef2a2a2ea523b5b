// Mutexes: creation, release and the list of all mutexes that ending threads search.
#include "mutex.h"

#include <mutex>

namespace zp::kernel {
namespace {

// Every mutex alive, so that an ending thread can find the ones it still owns. Only thread exit,
// creation and destruction walk or change it; locking and unlocking do not.
std::mutex g_allLock;
MutexObject* g_all = nullptr;

} // namespace

__thread uint32_t t_ownedMutexes = 0;

MutexObject::MutexObject() : Object(ObjectType::Mutex) {
    std::lock_guard<std::mutex> guard(g_allLock);
    m_next = g_all;
    if (g_all)
        g_all->m_prev = this;
    g_all = this;
}

MutexObject::~MutexObject() {
    std::lock_guard<std::mutex> guard(g_allLock);
    if (m_prev)
        m_prev->m_next = m_next;
    else
        g_all = m_next;
    if (m_next)
        m_next->m_prev = m_prev;
}

void abandonMutexesOwnedBy(DWORD threadId) {
    if (t_ownedMutexes == 0)
        return;
    std::lock_guard<std::mutex> guard(g_allLock);
    for (MutexObject* mutex = g_all; mutex; mutex = mutex->next())
        mutex->abandonIfOwnedBy(threadId);
}

} // namespace zp::kernel

using namespace zp::kernel;

ZP_EXTERN_C HANDLE WINAPI CreateMutexA(LPSECURITY_ATTRIBUTES, BOOL initialOwner, LPCSTR name) {
    if (name) {
        SetLastError(ERROR_NOT_SUPPORTED);
        return nullptr;
    }
    MutexObject* mutex = new MutexObject;
    if (initialOwner)
        mutex->takeInitialOwnership();
    return insertHandle(mutex);
}

ZP_EXTERN_C BOOL WINAPI ReleaseMutex(HANDLE handle) {
    MutexObject* mutex = lookupHandleAs<MutexObject>(handle, ObjectType::Mutex);
    if (!mutex)
        return FALSE;
    if (!mutex->release()) {
        SetLastError(ERROR_NOT_OWNER);
        return FALSE;
    }
    return TRUE;
}
