// COM for the tool's thread: initialised (multithreaded) with the process's security for the
// life of the scope. At the end the library's connection cache lets go of its services before
// COM is uninitialised, since releasing them afterwards would reach a torn-down runtime.
#pragma once

#include <zudava/zudava.h>

namespace tool {

class ComScope {
public:
    ComScope();
    ~ComScope();
    ComScope(const ComScope&) = delete;
    ComScope& operator=(const ComScope&) = delete;
};

} // namespace tool
