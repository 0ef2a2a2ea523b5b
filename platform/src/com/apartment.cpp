// Apartments: CoInitializeEx and CoUninitialize, counted per thread.
//
// Every object of this platform is free-threaded, so an apartment is only bookkeeping: which
// concurrency model a thread chose, how many times it initialised, and whether the process's
// multithreaded apartment is open (it is while any thread is in it).
#include "apartment.h"

#include <atomic>

namespace zp::com {
namespace {

// The threads that are in the multithreaded apartment now.
std::atomic<unsigned> g_mtaThreads{0};

// One thread's apartment. A thread that ends without balancing its initialisations leaves the
// multithreaded apartment then, so that the process's count stays true.
struct ThreadApartment {
    ULONG initialisations = 0;
    bool multithreaded = false;

    ~ThreadApartment() {
        if (initialisations != 0 && multithreaded)
            g_mtaThreads.fetch_sub(1, std::memory_order_acq_rel);
    }
};

thread_local ThreadApartment t_apartment;

} // namespace

bool threadMayUseCom() {
    return t_apartment.initialisations != 0 || g_mtaThreads.load(std::memory_order_acquire) != 0;
}

} // namespace zp::com

using zp::com::g_mtaThreads;
using zp::com::t_apartment;

// The reserved pointer and the hint flags (COINIT_DISABLE_OLE1DDE, COINIT_SPEED_OVER_MEMORY) are
// ignored, as Windows ignores them.
ZP_EXTERN_C HRESULT WINAPI CoInitializeEx(LPVOID /*reserved*/, DWORD coInit) {
    const bool multithreaded = (coInit & COINIT_APARTMENTTHREADED) == 0;
    if (t_apartment.initialisations != 0) {
        // A thread keeps the model it chose first until it uninitialises completely.
        if (t_apartment.multithreaded != multithreaded)
            return RPC_E_CHANGED_MODE;
        ++t_apartment.initialisations;
        return S_FALSE;
    }
    t_apartment.initialisations = 1;
    t_apartment.multithreaded = multithreaded;
    if (multithreaded)
        g_mtaThreads.fetch_add(1, std::memory_order_acq_rel);
    return S_OK;
}

ZP_EXTERN_C HRESULT WINAPI CoInitialize(LPVOID reserved) {
    return CoInitializeEx(reserved, COINIT_APARTMENTTHREADED);
}

ZP_EXTERN_C void WINAPI CoUninitialize(void) {
    // Without a matching initialisation there is nothing to undo, as on Windows.
    if (t_apartment.initialisations == 0)
        return;
    if (--t_apartment.initialisations == 0 && t_apartment.multithreaded)
        g_mtaThreads.fetch_sub(1, std::memory_order_acq_rel);
}
