#include "zudava/os/TSDKey.h"

#include <windows.h>

namespace DEZE {

namespace {

// The slot index of a key. Keys that do not fit the system's 32-bit index are no slot at all,
// rather than an alias of one.
DWORD slot(unsigned long key) {
    if (sizeof key > sizeof(DWORD) && (key >> 16 >> 16) != 0)
        return TLS_OUT_OF_INDEXES;
    return static_cast<DWORD>(key);
}

} // namespace

unsigned int TSDKey::create(unsigned long* key) {
    const DWORD index = TlsAlloc();
    *key = index;
    return index == TLS_OUT_OF_INDEXES ? 1 : 0;
}

unsigned int TSDKey::destroy(unsigned long key) {
    return TlsFree(slot(key)) ? 0 : 1;
}

void* TSDKey::get_thread_specific(unsigned long key) {
    return TlsGetValue(slot(key));
}

unsigned int TSDKey::set_thread_specific(unsigned long key, void* value) {
    return TlsSetValue(slot(key), value) ? 0 : 1;
}

} // namespace DEZE
