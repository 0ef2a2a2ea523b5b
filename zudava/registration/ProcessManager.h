#pragma once

#include <windows.h>

#include <string>

#include "zudava/Export.h"

namespace DEZE {

// Runs a command line as a child process and waits for it.
//
// The object keeps the handles of its latest child until it is destroyed. A copy gets handles of
// its own to the same child (duplicated), so every copy closes only its own; a second ProcessExec
// closes the handles of the previous child before it starts the next. Not for use from two
// threads at once.
class ZUDAVA_API ProcessManager {
public:
    ProcessManager();
    ProcessManager(const ProcessManager& other);
    ProcessManager& operator=(const ProcessManager& other);
    ~ProcessManager();

    // Starts the command line (the program is its first token, searched for as the system
    // searches) and waits for it at most four minutes. Returns its exit code, STILL_ACTIVE (259)
    // for a child still running then, which is left running, or the system's error code when it
    // cannot be started (2 for a program that does not exist).
    unsigned long ProcessExec(std::string commandLine);

private:
    void closeHandles();

    std::string commandLine;
    PROCESS_INFORMATION processInfo;
    STARTUPINFOA startupInfo;
};

} // namespace DEZE
