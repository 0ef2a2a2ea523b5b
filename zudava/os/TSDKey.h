#pragma once

#include "zudava/Export.h"

namespace DEZE {

// Thread-specific storage keys over the system's thread-local slots. Every function reports
// success as 0 and failure as 1.
class ZUDAVA_API TSDKey {
public:
    // Stores the new key in *key, also on failure (then 0xFFFFFFFF).
    static unsigned int create(unsigned long* key);
    static unsigned int destroy(unsigned long key);
    // The calling thread's value for `key`; null when none was set.
    static void* get_thread_specific(unsigned long key);
    static unsigned int set_thread_specific(unsigned long key, void* value);

    TSDKey& operator=(const TSDKey&) { return *this; }
};

} // namespace DEZE
