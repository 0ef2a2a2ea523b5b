// What the kernel-object wrappers share (internal to the library): the seconds of their waits and
// the copying of their handles.
#pragma once

#include <windows.h>

#include <cstdint>

namespace DEZE {

// The milliseconds of a wait of `seconds`; 0xFFFFFFFF waits without limit. The product is taken
// in 32 bits, as the system's wait takes it; an even product can never turn into INFINITE by
// accident.
inline DWORD waitMilliseconds(unsigned long seconds) {
    if (seconds == 0xFFFFFFFFul)
        return INFINITE;
    return static_cast<DWORD>(static_cast<uint32_t>(seconds) * 1000u);
}

// A handle of our own to the object behind `handle`, with the same access; null for null or when
// the system gives none.
inline HANDLE duplicateHandle(HANDLE handle) {
    HANDLE copy = nullptr;
    if (handle != nullptr && !DuplicateHandle(GetCurrentProcess(), handle, GetCurrentProcess(),
                                              &copy, 0, FALSE, DUPLICATE_SAME_ACCESS))
        copy = nullptr;
    return copy;
}

} // namespace DEZE
