// The one kernel object behind every process handle, whichever call made the handle: a child
// that CreateProcessA started, or a process that OpenProcess named by its id. Shared by the two;
// not installed.
#pragma once

#include "object.h"

#include <sys/types.h>

namespace zp::kernel {

class ProcessObject : public Object {
public:
    explicit ProcessObject(pid_t pid) : Object(ObjectType::Process), m_pid(pid) {}

    pid_t pid() const { return m_pid; }
    // STILL_ACTIVE while the process runs.
    virtual DWORD exitCode() const = 0;
    // Kills the process; false when the system refuses.
    virtual bool terminate(DWORD exitCode) = 0;

private:
    const pid_t m_pid;
};

// The child of this process with `pid` that CreateProcessA started and whose end has not been
// forgotten yet, with a reference for the caller; null when there is none. OpenProcess on a
// child's id so names the same object as the child's own handle, exit code included.
ProcessObject* findChild(pid_t pid);

} // namespace zp::kernel
