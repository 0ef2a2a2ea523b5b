// How the library raises `WmiException` (internal to the library).
//
// A failed platform call raises its own status with a message naming the call, for example
// "IWbemServices::GetObject() failed" or "::SafeArrayRedim() failed". A condition the library
// detects itself raises E_FAIL with one of its fixed texts. Whoever raises releases what it holds
// first; the library's RAII holders make that automatic.
#pragma once

#include "zudava/foundation/WmiException.h"

namespace DEZE {

// Raises `message` with the status `hr` when the call failed.
inline void throwIfFailed(HRESULT hr, const wchar_t* message) {
    if (FAILED(hr))
        throw WmiException(hr, message);
}

// Raises one of the library's own fixed texts with E_FAIL.
[[noreturn]] inline void throwLibraryError(const wchar_t* message) {
    throw WmiException(E_FAIL, message);
}

} // namespace DEZE
