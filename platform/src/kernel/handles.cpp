// The handle table. Lookups (object.h) read three atomics and take no lock; creating and closing
// handles take a lock to manage the free slots.
#include "mutex.h"

#include <mutex>

namespace zp::kernel {
std::atomic<HandleSlot*> g_handlePages[kHandlePages];

namespace {

std::mutex g_lock;
uint32_t g_freeHead = 0;  // index + 1 of the first free slot, 0 when none
uint32_t g_neverUsed = 0; // slots below this have been handed out at least once

HANDLE encode(uint32_t index, uint32_t generation) {
    return reinterpret_cast<HANDLE>((static_cast<uintptr_t>(generation) << 32) |
                                    ((static_cast<uintptr_t>(index) + 1) << 2));
}

HandleSlot* slotAt(uint32_t index) {
    return &g_handlePages[index / kSlotsPerPage].load(
        std::memory_order_relaxed)[index % kSlotsPerPage];
}

} // namespace

HANDLE insertHandle(Object* object) {
    uint32_t index;
    {
        std::lock_guard<std::mutex> guard(g_lock);
        if (g_freeHead != 0) {
            index = g_freeHead - 1;
            g_freeHead = slotAt(index)->nextFree;
        } else {
            if (g_neverUsed == kSlotsPerPage * kHandlePages) {
                object->release();
                SetLastError(ERROR_NOT_ENOUGH_MEMORY);
                return nullptr;
            }
            index = g_neverUsed++;
            std::atomic<HandleSlot*>& page = g_handlePages[index / kSlotsPerPage];
            if (!page.load(std::memory_order_relaxed))
                page.store(new HandleSlot[kSlotsPerPage], std::memory_order_release);
        }
    }
    HandleSlot* slot = slotAt(index);
    slot->object.store(object, std::memory_order_release);
    return encode(index, slot->generation.load(std::memory_order_relaxed));
}

} // namespace zp::kernel

using namespace zp::kernel;

ZP_EXTERN_C BOOL WINAPI CloseHandle(HANDLE handle) {
    if (handle == GetCurrentProcess())
        return TRUE;
    uint32_t generation;
    HandleSlot* slot = decodeHandle(handle, generation);
    if (!slot || slot->generation.load(std::memory_order_acquire) != generation) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    // Of two threads closing the same handle at once, one takes the object and the other fails.
    Object* object = slot->object.exchange(nullptr, std::memory_order_acq_rel);
    if (!object) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    slot->generation.fetch_add(1, std::memory_order_acq_rel);
    {
        std::lock_guard<std::mutex> guard(g_lock);
        const uint32_t index =
            static_cast<uint32_t>(((reinterpret_cast<uintptr_t>(handle) & 0xFFFFFFFFu) >> 2) - 1);
        slot->nextFree = g_freeHead;
        g_freeHead = index + 1;
    }
    object->release();
    return TRUE;
}

ZP_EXTERN_C BOOL WINAPI DuplicateHandle(HANDLE sourceProcess, HANDLE source, HANDLE targetProcess,
                                        LPHANDLE target, DWORD, BOOL, DWORD options) {
    if (sourceProcess != GetCurrentProcess() || targetProcess != GetCurrentProcess()) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    Object* object = lookupHandle(source);
    if (!object) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    HANDLE copy = nullptr;
    if (target) {
        object->addRef();
        copy = insertHandle(object);
        if (!copy)
            return FALSE;
        *target = copy;
    }
    if (options & DUPLICATE_CLOSE_SOURCE)
        CloseHandle(source);
    return TRUE;
}

ZP_EXTERN_C HANDLE WINAPI GetCurrentProcess(void) {
    return reinterpret_cast<HANDLE>(static_cast<intptr_t>(-1));
}

ZP_EXTERN_C DWORD WINAPI WaitForSingleObject(HANDLE handle, DWORD milliseconds) {
    Object* object = lookupHandle(handle);
    if (!object) {
        SetLastError(ERROR_INVALID_HANDLE);
        return WAIT_FAILED;
    }
    // Mutexes are waited on most often, and mostly free: their attempt is called directly.
    const DWORD now = object->type() == ObjectType::Mutex
                          ? static_cast<MutexObject*>(object)->tryWait()
                          : object->tryWait();
    if (now != WAIT_TIMEOUT || milliseconds == 0)
        return now;
    // Blocking: hold a reference of our own, so that a handle closed meanwhile does not pull the
    // object away under us.
    object->addRef();
    const DWORD result = object->wait(Deadline(milliseconds));
    object->release();
    return result;
}
