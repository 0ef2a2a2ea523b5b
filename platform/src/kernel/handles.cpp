// The handle table. A handle encodes a slot index and the slot's generation, so a closed handle
// stays invalid after its slot is reused. Lookups read two atomics and take no lock; creating and
// closing handles take a lock to manage the free slots.
#include "object.h"

#include <mutex>

namespace zp::kernel {
namespace {

constexpr uint32_t kSlotsPerPage = 1024;
constexpr uint32_t kPages = 4096; // about four million open handles

struct Slot {
    std::atomic<Object*> object{nullptr};
    std::atomic<uint32_t> generation{1};
    uint32_t nextFree = 0; // guarded by g_lock
};

std::atomic<Slot*> g_pages[kPages];
std::mutex g_lock;
uint32_t g_freeHead = 0;  // index + 1 of the first free slot, 0 when none
uint32_t g_neverUsed = 0; // slots below this have been handed out at least once

HANDLE encode(uint32_t index, uint32_t generation) {
    return reinterpret_cast<HANDLE>((static_cast<uintptr_t>(generation) << 32) |
                                    ((static_cast<uintptr_t>(index) + 1) << 2));
}

// The slot a handle names and the generation it expects; null for values no handle can have.
Slot* decode(HANDLE handle, uint32_t& generation) {
    const uintptr_t value = reinterpret_cast<uintptr_t>(handle);
    const uintptr_t low = value & 0xFFFFFFFFu;
    if ((low & 3) != 0 || low == 0)
        return nullptr;
    const uintptr_t index = (low >> 2) - 1;
    if (index >= uintptr_t{kSlotsPerPage} * kPages)
        return nullptr;
    Slot* page = g_pages[index / kSlotsPerPage].load(std::memory_order_acquire);
    if (!page)
        return nullptr;
    generation = static_cast<uint32_t>(value >> 32);
    return &page[index % kSlotsPerPage];
}

Slot* slotAt(uint32_t index) {
    return &g_pages[index / kSlotsPerPage].load(std::memory_order_relaxed)[index % kSlotsPerPage];
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
            if (g_neverUsed == kSlotsPerPage * kPages) {
                object->release();
                SetLastError(ERROR_NOT_ENOUGH_MEMORY);
                return nullptr;
            }
            index = g_neverUsed++;
            std::atomic<Slot*>& page = g_pages[index / kSlotsPerPage];
            if (!page.load(std::memory_order_relaxed))
                page.store(new Slot[kSlotsPerPage], std::memory_order_release);
        }
    }
    Slot* slot = slotAt(index);
    slot->object.store(object, std::memory_order_release);
    return encode(index, slot->generation.load(std::memory_order_relaxed));
}

Object* lookupHandle(HANDLE handle) {
    uint32_t generation;
    Slot* slot = decode(handle, generation);
    if (!slot || slot->generation.load(std::memory_order_acquire) != generation)
        return nullptr;
    return slot->object.load(std::memory_order_acquire);
}

} // namespace zp::kernel

using namespace zp::kernel;

ZP_EXTERN_C BOOL WINAPI CloseHandle(HANDLE handle) {
    if (handle == GetCurrentProcess())
        return TRUE;
    uint32_t generation;
    Slot* slot = decode(handle, generation);
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
    const DWORD now = object->tryWait();
    if (now != WAIT_TIMEOUT || milliseconds == 0)
        return now;
    // Blocking: hold a reference of our own, so that a handle closed meanwhile does not pull the
    // object away under us.
    object->addRef();
    const DWORD result = object->wait(Deadline(milliseconds));
    object->release();
    return result;
}
