// Thread-local storage slots: TlsAlloc hands out indexes; every thread has its own value in each.
#include "object.h"

#include <mutex>

namespace zp::kernel {
namespace {

// As many slots as Windows offers a process.
constexpr DWORD kSlots = 1088;

struct Block {
    std::atomic<void*> values[kSlots];
    Block* prev;
    Block* next;
};

std::mutex g_lock;
bool g_used[kSlots];
Block* g_blocks = nullptr; // every thread's values, so that TlsAlloc can clear a slot in all
thread_local Block* t_block = nullptr;

Block* ownBlock() {
    if (!t_block) {
        Block* block = new Block;
        for (auto& value : block->values)
            value.store(nullptr, std::memory_order_relaxed);
        std::lock_guard<std::mutex> guard(g_lock);
        block->prev = nullptr;
        block->next = g_blocks;
        if (g_blocks)
            g_blocks->prev = block;
        g_blocks = block;
        t_block = block;
        hookThreadExit();
    }
    return t_block;
}

} // namespace

void releaseThreadLocalSlots() {
    Block* block = t_block;
    if (!block)
        return;
    {
        std::lock_guard<std::mutex> guard(g_lock);
        if (block->prev)
            block->prev->next = block->next;
        else
            g_blocks = block->next;
        if (block->next)
            block->next->prev = block->prev;
    }
    t_block = nullptr;
    delete block;
}

} // namespace zp::kernel

using namespace zp::kernel;

ZP_EXTERN_C DWORD WINAPI TlsAlloc(void) {
    std::lock_guard<std::mutex> guard(g_lock);
    for (DWORD index = 0; index < kSlots; ++index) {
        if (g_used[index])
            continue;
        g_used[index] = true;
        // A new slot starts out null in every thread, whatever a previous user left there.
        for (Block* block = g_blocks; block; block = block->next)
            block->values[index].store(nullptr, std::memory_order_relaxed);
        return index;
    }
    SetLastError(ERROR_NO_MORE_ITEMS);
    return TLS_OUT_OF_INDEXES;
}

ZP_EXTERN_C BOOL WINAPI TlsFree(DWORD index) {
    std::lock_guard<std::mutex> guard(g_lock);
    if (index >= kSlots || !g_used[index]) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    g_used[index] = false;
    return TRUE;
}

ZP_EXTERN_C LPVOID WINAPI TlsGetValue(DWORD index) {
    if (index >= kSlots) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    // Windows clears the last error, so that a null value can be told from a failure.
    SetLastError(ERROR_SUCCESS);
    return t_block ? t_block->values[index].load(std::memory_order_relaxed) : nullptr;
}

ZP_EXTERN_C BOOL WINAPI TlsSetValue(DWORD index, LPVOID value) {
    if (index >= kSlots) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    ownBlock()->values[index].store(value, std::memory_order_relaxed);
    return TRUE;
}
