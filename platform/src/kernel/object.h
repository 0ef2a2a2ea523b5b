// Kernel objects behind HANDLEs: the object base, the handle table, futex waits and the calling
// thread's bookkeeping. Shared by the kernel services of the platform; not installed.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <ctime>

namespace zp::kernel {

enum class ObjectType : uint8_t { Mutex, Semaphore, Event, Thread, Process };

// The end of a wait: never, or a point on the monotonic clock.
struct Deadline {
    explicit Deadline(DWORD milliseconds);
    bool infinite;
    timespec at;
};

// Blocks while *word holds `expected`, at most until `deadline`. Returns false once the deadline
// has passed; true after a wake-up, a signal or a changed value (callers check again).
bool futexWait(std::atomic<uint32_t>& word, uint32_t expected, const Deadline& deadline);
void futexWake(std::atomic<uint32_t>& word, int count);

// What a HANDLE refers to. Every handle holds one reference, and so does a thread while it is
// blocked in a wait on the object, so closing the last handle while others wait keeps the object
// alive until they are done, as on Windows.
class Object {
public:
    explicit Object(ObjectType type) : m_type(type) {}
    Object(const Object&) = delete;
    Object& operator=(const Object&) = delete;
    virtual ~Object() = default;

    ObjectType type() const { return m_type; }
    void addRef() { m_refs.fetch_add(1, std::memory_order_relaxed); }
    void release() {
        if (m_refs.fetch_sub(1, std::memory_order_acq_rel) == 1)
            delete this;
    }

    // Takes the object if it is signalled now (mutex ownership, one semaphore unit, an auto-reset
    // event's signal): WAIT_OBJECT_0 or WAIT_ABANDONED, else WAIT_TIMEOUT.
    virtual DWORD tryWait() = 0;
    // The same, blocking until the deadline.
    virtual DWORD wait(const Deadline& deadline) = 0;

private:
    std::atomic<uint32_t> m_refs{1};
    const ObjectType m_type;
};

// The handle table: pages of slots, allocated as needed and never freed. A handle encodes a slot
// index and the slot's generation, which closing bumps, so a closed handle stays invalid after
// its slot is reused.
struct HandleSlot {
    std::atomic<Object*> object{nullptr};
    std::atomic<uint32_t> generation{1};
    uint32_t nextFree = 0; // guarded by the table's lock
};
constexpr uint32_t kSlotsPerPage = 1024;
constexpr uint32_t kHandlePages = 4096; // about four million open handles
extern std::atomic<HandleSlot*> g_handlePages[kHandlePages];

// The slot a handle names and the generation it expects; null for values no handle can have.
inline HandleSlot* decodeHandle(HANDLE handle, uint32_t& generation) {
    const uintptr_t value = reinterpret_cast<uintptr_t>(handle);
    const uintptr_t low = value & 0xFFFFFFFFu;
    if ((low & 3) != 0 || low == 0)
        return nullptr;
    const uintptr_t index = (low >> 2) - 1;
    if (index >= uintptr_t{kSlotsPerPage} * kHandlePages)
        return nullptr;
    HandleSlot* page = g_handlePages[index / kSlotsPerPage].load(std::memory_order_acquire);
    if (!page)
        return nullptr;
    generation = static_cast<uint32_t>(value >> 32);
    return &page[index % kSlotsPerPage];
}

// Gives `object` a handle, taking over one reference. Null (with ERROR_NOT_ENOUGH_MEMORY) when
// the table is full; the reference is released then.
HANDLE insertHandle(Object* object);

// The object behind a live handle, without a reference of its own: valid until the handle is
// closed. Null for a closed, stale or invented handle. Lock-free: it only reads.
inline Object* lookupHandle(HANDLE handle) {
    uint32_t generation;
    HandleSlot* slot = decodeHandle(handle, generation);
    if (!slot || slot->generation.load(std::memory_order_acquire) != generation)
        return nullptr;
    return slot->object.load(std::memory_order_acquire);
}
// lookupHandle restricted to one type; sets ERROR_INVALID_HANDLE when there is no such object.
template <class T>
__attribute__((always_inline)) inline T* lookupHandleAs(HANDLE handle, ObjectType type) {
    Object* object = lookupHandle(handle);
    if (!object || object->type() != type) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    return static_cast<T*>(object);
}

// The calling thread's id, 0 until it has one. Initial-exec TLS: mutexes read it on every
// lock and unlock, and this model costs one load.
extern __thread DWORD t_threadId __attribute__((tls_model("initial-exec")));
DWORD assignThreadId();
// The calling thread's id; threads not started by _beginthreadex get theirs on first use.
inline DWORD currentThreadId() {
    const DWORD id = t_threadId;
    return id != 0 ? id : assignThreadId();
}
// A fresh id for a thread about to start.
DWORD newThreadId();
// Called on the new thread before its start routine: takes the id _beginthreadex handed out.
void adoptThreadId(DWORD id);

// Cleanup run on a thread as it ends (the mutexes it owns, its thread-local slots).
void abandonMutexesOwnedBy(DWORD threadId);
void releaseThreadLocalSlots();
// Makes sure the thread-exit cleanup runs for the calling thread.
void hookThreadExit();

} // namespace zp::kernel
