// Child processes: CreateProcessA finds the program as Windows does, splits the command line by
// the Microsoft runtime's rules and spawns the child; its process and thread handles are signalled
// when it ends. A reaper thread per child waits for it, so that waiting on the handles works like
// waiting on any other kernel object.
#include "processobject.h"
#include "threadobject.h"
#include "winpath.h"

#include <errno.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <mutex>
#include <string>
#include <system_error>
#include <thread>
#include <unordered_map>
#include <vector>

extern char** environ;

namespace zp::kernel {
namespace {

// A child: the reaper thread that waits for it hands over its exit code.
class ChildProcess final : public ProcessObject {
public:
    explicit ChildProcess(pid_t pid) : ProcessObject(pid) {}

    DWORD tryWait() override {
        return m_ended.load(std::memory_order_acquire) ? WAIT_OBJECT_0 : WAIT_TIMEOUT;
    }

    DWORD wait(const Deadline& deadline) override {
        m_waiters.fetch_add(1, std::memory_order_seq_cst);
        DWORD result;
        while ((result = tryWait()) == WAIT_TIMEOUT) {
            if (!futexWait(m_ended, 0, deadline)) {
                result = tryWait();
                break;
            }
        }
        m_waiters.fetch_sub(1, std::memory_order_relaxed);
        return result;
    }

    void end(DWORD exitCode) {
        m_exitCode = m_terminated.load(std::memory_order_acquire) ? m_terminateCode : exitCode;
        m_ended.store(1, std::memory_order_seq_cst);
        if (m_waiters.load(std::memory_order_seq_cst) != 0)
            futexWake(m_ended, INT_MAX);
    }

    // Kills the child; its exit code becomes `exitCode` unless it has ended already.
    bool terminate(DWORD exitCode) override {
        if (m_ended.load(std::memory_order_acquire))
            return true; // Windows lets a dead process be terminated again
        // The first termination's code counts.
        bool expected = false;
        if (m_terminating.compare_exchange_strong(expected, true, std::memory_order_relaxed)) {
            m_terminateCode = exitCode;
            m_terminated.store(true, std::memory_order_release);
        }
        return ::kill(pid(), SIGKILL) == 0 || errno == ESRCH;
    }

    DWORD exitCode() const override {
        return m_ended.load(std::memory_order_acquire) ? m_exitCode : DWORD{STILL_ACTIVE};
    }

private:
    std::atomic<bool> m_terminating{false};
    std::atomic<bool> m_terminated{false};
    DWORD m_terminateCode = 0; // published by m_terminated
    DWORD m_exitCode = 0;      // published by m_ended
    std::atomic<uint32_t> m_ended{0};
    std::atomic<uint32_t> m_waiters{0};
};

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

// The Microsoft runtime's split of a command line into arguments. The program name ends at the
// closing quote or the first blank, without escapes. In the arguments, 2n backslashes before a
// quote give n backslashes and the quote opens or closes a quoted part; 2n + 1 backslashes give n
// and a literal quote; other backslashes are literal; inside quotes, "" is a literal quote.
std::vector<std::string> splitCommandLine(const std::string& line) {
    std::vector<std::string> arguments;
    size_t i = 0;
    std::string program;
    if (i < line.size() && line[i] == '"') {
        const size_t close = line.find('"', i + 1);
        program =
            line.substr(i + 1, close == std::string::npos ? std::string::npos : close - i - 1);
        i = close == std::string::npos ? line.size() : close + 1;
    } else {
        while (i < line.size() && !isBlank(line[i]))
            program += line[i++];
    }
    arguments.push_back(program);
    for (;;) {
        while (i < line.size() && isBlank(line[i]))
            ++i;
        if (i >= line.size())
            break;
        std::string argument;
        bool quoted = false;
        size_t backslashes = 0;
        for (; i < line.size(); ++i) {
            const char c = line[i];
            if (c == '\\') {
                ++backslashes;
                continue;
            }
            if (c == '"') {
                argument.append(backslashes / 2, '\\');
                if (backslashes % 2) {
                    argument += '"';
                } else if (quoted && i + 1 < line.size() && line[i + 1] == '"') {
                    argument += '"';
                    ++i;
                } else {
                    quoted = !quoted;
                }
                backslashes = 0;
                continue;
            }
            argument.append(backslashes, '\\');
            backslashes = 0;
            if (isBlank(c) && !quoted)
                break;
            argument += c;
        }
        argument.append(backslashes, '\\');
        arguments.push_back(argument);
    }
    return arguments;
}

std::string utf8Of(const char* ansi) {
    const int units = MultiByteToWideChar(CP_ACP, 0, ansi, -1, nullptr, 0);
    if (units <= 1)
        return std::string();
    std::wstring wide(size_t(units), L'\0');
    MultiByteToWideChar(CP_ACP, 0, ansi, -1, &wide[0], units);
    return winpath::toUtf8(wide.c_str());
}

bool isProgram(const std::string& path) {
    struct stat info;
    return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
           ::access(path.c_str(), X_OK) == 0;
}

std::string folderOf(const std::string& path) {
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

// The host path of a program name, or empty. `error` says why nothing was found.
std::string findProgram(const std::string& windowsName, DWORD& error) {
    std::vector<std::string> names{windowsName};
    const auto lastPart = windowsName.find_last_of("\\/");
    const std::string base =
        lastPart == std::string::npos ? windowsName : windowsName.substr(lastPart + 1);
    if (base.find('.') == std::string::npos)
        names.push_back(windowsName + ".exe");
    if (lastPart != std::string::npos || (windowsName.size() >= 2 && windowsName[1] == ':')) {
        for (const std::string& name : names) {
            const std::string host = winpath::hostName(name);
            if (!host.empty() && isProgram(host))
                return host;
        }
        const std::string host = winpath::hostName(windowsName);
        struct stat info;
        const std::string folder = folderOf(host);
        error = host.empty() || (!folder.empty() && ::stat(folder.c_str(), &info) != 0)
                    ? ERROR_PATH_NOT_FOUND
                    : ERROR_FILE_NOT_FOUND;
        return std::string();
    }
    // The caller's program folder, the current folder, then the PATH.
    std::vector<std::string> folders;
    char self[4096];
    const ssize_t length = ::readlink("/proc/self/exe", self, sizeof self - 1);
    if (length > 0)
        folders.push_back(folderOf(std::string(self, size_t(length))));
    folders.push_back(".");
    if (const char* path = getenv("PATH")) {
        std::string list = path;
        size_t start = 0;
        while (start <= list.size()) {
            size_t end = list.find(':', start);
            if (end == std::string::npos)
                end = list.size();
            if (end > start)
                folders.push_back(list.substr(start, end - start));
            start = end + 1;
        }
    }
    for (const std::string& folder : folders)
        for (const std::string& name : names) {
            const std::string candidate = folder + "/" + name;
            if (isProgram(candidate))
                return candidate;
        }
    error = ERROR_FILE_NOT_FOUND;
    return std::string();
}

// Waits for the child and ends its process and thread objects; holds one reference to each.
// The children whose reaper still runs, by id: OpenProcess on one of them names the child's own
// object. The table holds no reference; the reaper's keeps each entry's object alive.
class Children {
public:
    void add(ChildProcess* child) {
        std::lock_guard<std::mutex> guard(m_lock);
        m_children[child->pid()] = child;
    }
    void remove(ChildProcess* child) {
        std::lock_guard<std::mutex> guard(m_lock);
        const auto found = m_children.find(child->pid());
        if (found != m_children.end() && found->second == child)
            m_children.erase(found);
    }
    ProcessObject* find(pid_t pid) {
        std::lock_guard<std::mutex> guard(m_lock);
        const auto found = m_children.find(pid);
        if (found == m_children.end())
            return nullptr;
        found->second->addRef();
        return found->second;
    }

private:
    std::mutex m_lock;
    std::unordered_map<pid_t, ChildProcess*> m_children;
};

Children& children() {
    static Children* const table = new Children; // reapers may outlive static destruction
    return *table;
}

void reap(ChildProcess* process, ThreadObject* thread) {
    int status = 0;
    pid_t done;
    while ((done = ::waitpid(process->pid(), &status, 0)) < 0 && errno == EINTR) {
    }
    DWORD code = 0;
    if (done > 0 && WIFEXITED(status))
        code = DWORD(WEXITSTATUS(status));
    else if (done > 0 && WIFSIGNALED(status))
        code = 128 + DWORD(WTERMSIG(status));
    process->end(code);
    thread->end(code);
    children().remove(process);
    process->release();
    thread->release();
}

// posix_spawn's file actions and attributes, released on every way out.
struct SpawnSettings {
    posix_spawn_file_actions_t actions;
    SpawnSettings() { posix_spawn_file_actions_init(&actions); }
    ~SpawnSettings() { posix_spawn_file_actions_destroy(&actions); }
    SpawnSettings(const SpawnSettings&) = delete;
    SpawnSettings& operator=(const SpawnSettings&) = delete;
};

} // namespace

ProcessObject* findChild(pid_t pid) {
    return children().find(pid);
}

} // namespace zp::kernel

using namespace zp::kernel;

ZP_EXTERN_C BOOL WINAPI CreateProcessA(LPCSTR applicationName, LPSTR commandLine,
                                       LPSECURITY_ATTRIBUTES, LPSECURITY_ATTRIBUTES, BOOL,
                                       DWORD creationFlags, LPVOID environment,
                                       LPCSTR currentDirectory, LPSTARTUPINFOA startupInfo,
                                       LPPROCESS_INFORMATION processInformation) {
    if (!processInformation || !startupInfo || (!applicationName && !commandLine)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (creationFlags & CREATE_SUSPENDED) {
        SetLastError(ERROR_NOT_SUPPORTED);
        return FALSE;
    }
    const std::string line = utf8Of(commandLine ? commandLine : applicationName);
    DWORD error = ERROR_FILE_NOT_FOUND;
    std::string program;
    if (applicationName) {
        // Taken as given: no search, only the current folder for a name without one.
        const std::string name = utf8Of(applicationName);
        const std::string host = zp::winpath::hostName(name);
        if (!host.empty() && isProgram(host))
            program = host;
    } else if (!line.empty() && line[0] == '"') {
        const size_t close = line.find('"', 1);
        program = findProgram(
            line.substr(1, close == std::string::npos ? std::string::npos : close - 1), error);
    } else {
        // "C:\Program Files\x" unquoted: try "C:\Program", then "C:\Program Files\x", ...
        size_t end = 0;
        while (program.empty() && end < line.size()) {
            end = line.find_first_of(" \t", end + 1);
            if (end == std::string::npos)
                end = line.size();
            DWORD candidateError = ERROR_FILE_NOT_FOUND;
            program = findProgram(line.substr(0, end), candidateError);
            if (program.empty() && error == ERROR_FILE_NOT_FOUND)
                error = candidateError;
            if (program.empty() && line.find_first_of(" \t", end) == std::string::npos)
                break;
        }
    }
    if (program.empty()) {
        SetLastError(error);
        return FALSE;
    }

    std::vector<std::string> arguments = splitCommandLine(line);
    std::vector<char*> argv;
    for (std::string& argument : arguments)
        argv.push_back(&argument[0]);
    argv.push_back(nullptr);

    // A Windows environment block: NUL-terminated "name=value" texts ended by an empty one.
    std::vector<std::string> variables;
    std::vector<char*> envp;
    if (environment && !(creationFlags & CREATE_UNICODE_ENVIRONMENT)) {
        for (const char* entry = static_cast<const char*>(environment); *entry;
             entry += strlen(entry) + 1)
            variables.push_back(utf8Of(entry));
        for (std::string& variable : variables)
            envp.push_back(&variable[0]);
        envp.push_back(nullptr);
    }

    SpawnSettings settings;
    if (currentDirectory) {
        const std::string folder = zp::winpath::hostName(utf8Of(currentDirectory));
        struct stat info;
        if (folder.empty() || ::stat(folder.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) {
            SetLastError(ERROR_DIRECTORY);
            return FALSE;
        }
        posix_spawn_file_actions_addchdir_np(&settings.actions, folder.c_str());
    }
    pid_t pid = 0;
    const int rc = posix_spawn(&pid, program.c_str(), &settings.actions, nullptr, argv.data(),
                               envp.empty() ? environ : envp.data());
    if (rc != 0) {
        SetLastError(rc == ENOENT    ? DWORD(ERROR_FILE_NOT_FOUND)
                     : rc == ENOEXEC ? DWORD(ERROR_BAD_EXE_FORMAT)
                                     : zp::winpath::errorFromErrno(rc));
        return FALSE;
    }

    auto* process = new ChildProcess(pid);
    auto* thread = new ThreadObject(DWORD(pid));
    process->addRef(); // the reaper's references
    thread->addRef();
    children().add(process);
    try {
        std::thread(reap, process, thread).detach();
    } catch (const std::system_error&) {
        // No thread to watch the child: stop it rather than leave handles that never signal.
        ::kill(pid, SIGKILL);
        ::waitpid(pid, nullptr, 0);
        children().remove(process);
        for (int i = 0; i < 2; ++i) {
            process->release();
            thread->release();
        }
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return FALSE;
    }
    HANDLE processHandle = insertHandle(process);
    HANDLE threadHandle = processHandle ? insertHandle(thread) : nullptr;
    if (!processHandle || !threadHandle) {
        if (processHandle)
            CloseHandle(processHandle);
        else
            thread->release();
        return FALSE; // the table is full; the child runs on unwatched, as it would on Windows
    }
    processInformation->hProcess = processHandle;
    processInformation->hThread = threadHandle;
    processInformation->dwProcessId = DWORD(pid);
    processInformation->dwThreadId = DWORD(pid);
    return TRUE;
}

ZP_EXTERN_C BOOL WINAPI GetExitCodeProcess(HANDLE handle, LPDWORD exitCode) {
    if (handle == GetCurrentProcess()) {
        if (exitCode)
            *exitCode = STILL_ACTIVE;
        return TRUE;
    }
    ProcessObject* process = lookupHandleAs<ProcessObject>(handle, ObjectType::Process);
    if (!process)
        return FALSE;
    if (exitCode)
        *exitCode = process->exitCode();
    return TRUE;
}

ZP_EXTERN_C BOOL WINAPI TerminateProcess(HANDLE handle, UINT exitCode) {
    if (handle == GetCurrentProcess())
        _exit(int(exitCode & 0xFF));
    ProcessObject* process = lookupHandleAs<ProcessObject>(handle, ObjectType::Process);
    if (!process)
        return FALSE;
    if (!process->terminate(exitCode)) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    return TRUE;
}

ZP_EXTERN_C DWORD WINAPI GetProcessId(HANDLE handle) {
    if (handle == GetCurrentProcess())
        return GetCurrentProcessId();
    ProcessObject* process = lookupHandleAs<ProcessObject>(handle, ObjectType::Process);
    return process ? DWORD(process->pid()) : 0;
}
