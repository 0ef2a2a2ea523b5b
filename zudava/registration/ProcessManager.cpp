#include "zudava/registration/ProcessManager.h"

#include <vector>

namespace DEZE {
namespace {

const DWORD kWaitMilliseconds = 240000; // four minutes

// A handle of this process's own to the object behind `handle`; null for null.
HANDLE duplicate(HANDLE handle) {
    HANDLE copy = nullptr;
    if (handle)
        DuplicateHandle(GetCurrentProcess(), handle, GetCurrentProcess(), &copy, 0, FALSE,
                        DUPLICATE_SAME_ACCESS);
    return copy;
}

} // namespace

ProcessManager::ProcessManager() : processInfo(), startupInfo() {
    startupInfo.cb = sizeof startupInfo;
}

ProcessManager::ProcessManager(const ProcessManager& other)
    : commandLine(other.commandLine), processInfo(other.processInfo),
      startupInfo(other.startupInfo) {
    processInfo.hProcess = duplicate(other.processInfo.hProcess);
    processInfo.hThread = duplicate(other.processInfo.hThread);
}

ProcessManager& ProcessManager::operator=(const ProcessManager& other) {
    if (this != &other) {
        closeHandles();
        commandLine = other.commandLine;
        processInfo = other.processInfo;
        startupInfo = other.startupInfo;
        processInfo.hProcess = duplicate(other.processInfo.hProcess);
        processInfo.hThread = duplicate(other.processInfo.hThread);
    }
    return *this;
}

ProcessManager::~ProcessManager() {
    closeHandles();
}

void ProcessManager::closeHandles() {
    if (processInfo.hProcess)
        CloseHandle(processInfo.hProcess);
    if (processInfo.hThread)
        CloseHandle(processInfo.hThread);
    processInfo = PROCESS_INFORMATION();
}

unsigned long ProcessManager::ProcessExec(std::string line) {
    commandLine = line;
    closeHandles();
    // CreateProcessA may write into the command line, so it gets a copy of its own.
    std::vector<char> writable(line.begin(), line.end());
    writable.push_back('\0');
    if (!CreateProcessA(nullptr, writable.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startupInfo, &processInfo)) {
        const DWORD error = GetLastError();
        processInfo = PROCESS_INFORMATION();
        return error;
    }
    WaitForSingleObject(processInfo.hProcess, kWaitMilliseconds);
    DWORD exitCode = 0;
    if (!GetExitCodeProcess(processInfo.hProcess, &exitCode))
        return GetLastError();
    return exitCode;
}

} // namespace DEZE
