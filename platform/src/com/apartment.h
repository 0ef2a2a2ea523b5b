// The calling thread's place in COM, for the runtime's other functions. Not installed.
#pragma once

#include <windows.h>

namespace zp::com {

// Whether the calling thread may use COM: it has entered an apartment with CoInitializeEx, or
// some thread of the process holds the multithreaded apartment open, which every thread then
// belongs to implicitly (as on Windows). Otherwise calls fail with CO_E_NOTINITIALIZED.
bool threadMayUseCom();

} // namespace zp::com
