// OpenProcess: a handle on a running process of this machine, named by its id, that a wait sees
// end. A child of this process gets a handle to the child's own object. Any other process is
// watched through a pidfd, or where the kernel offers none, by polling; Linux tells only a
// process's parent how it ended, so such a process reports the exit code 0 once it has ended.
#include "processobject.h"

#include <cerrno>
#include <poll.h>
#include <signal.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

namespace zp::kernel {
namespace {

// Milliseconds left until `deadline` (-1: no end), rounded up so that a wait never ends early.
int millisecondsLeft(const Deadline& deadline) {
    if (deadline.infinite)
        return -1;
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    const long long left = (deadline.at.tv_sec - now.tv_sec) * 1000LL +
                           (deadline.at.tv_nsec - now.tv_nsec + 999999) / 1000000;
    return left <= 0 ? 0 : left > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<int>(left);
}

class OpenedProcess final : public ProcessObject {
public:
    OpenedProcess(pid_t pid, int pidfd) : ProcessObject(pid), m_fd(pidfd) {}
    ~OpenedProcess() override {
        if (m_fd >= 0)
            close(m_fd);
    }

    DWORD tryWait() override { return ended(0) ? WAIT_OBJECT_0 : WAIT_TIMEOUT; }

    DWORD wait(const Deadline& deadline) override {
        for (;;) {
            const int left = millisecondsLeft(deadline);
            // Without a pidfd the process is looked at every 10 ms.
            if (ended(m_fd >= 0 ? left : (left < 0 || left > 10 ? 10 : left)))
                return WAIT_OBJECT_0;
            if (left == 0)
                return WAIT_TIMEOUT;
        }
    }

    DWORD exitCode() const override { return ended(0) ? 0 : DWORD{STILL_ACTIVE}; }

    bool terminate(DWORD) override { return kill(pid(), SIGKILL) == 0 || errno == ESRCH; }

private:
    bool ended(int milliseconds) const {
        if (m_fd < 0) {
            if (kill(pid(), 0) == 0 || errno == EPERM) {
                if (milliseconds > 0)
                    usleep(static_cast<useconds_t>(milliseconds) * 1000);
                return false;
            }
            return true;
        }
        pollfd watched{m_fd, POLLIN, 0};
        int ready;
        while ((ready = poll(&watched, 1, milliseconds)) < 0 && errno == EINTR) {
        }
        return ready > 0;
    }

    const int m_fd;
};

} // namespace
} // namespace zp::kernel

// The access rights are not checked: every process of the machine may be watched. An id that
// names no process fails with ERROR_INVALID_PARAMETER, as on Windows.
ZP_EXTERN_C HANDLE WINAPI OpenProcess(DWORD desiredAccess, BOOL inheritHandle, DWORD processId) {
    (void)desiredAccess;
    (void)inheritHandle;
    const auto pid = static_cast<pid_t>(processId);
    if (processId == 0 || pid <= 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    if (zp::kernel::ProcessObject* child = zp::kernel::findChild(pid))
        return zp::kernel::insertHandle(child);
#ifdef SYS_pidfd_open
    int fd = static_cast<int>(syscall(SYS_pidfd_open, pid, 0));
#else
    int fd = -1;
    errno = ENOSYS;
#endif
    if (fd < 0) {
        if (errno == ESRCH || errno == EINVAL) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return nullptr;
        }
        if (kill(pid, 0) != 0 && errno == ESRCH) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return nullptr;
        }
        fd = -1;
    }
    return zp::kernel::insertHandle(new zp::kernel::OpenedProcess(pid, fd));
}
