// Runs the zudava tool as a child process in a machine state folder of the test's own, and
// captures what it writes and how it ends. Linux only: the tool's tests drive the embedded service.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace test {

struct ToolResult {
    int exitCode = -1; // 128 + signal for a child ended by a signal
    std::string out;
    std::string err;
};

// A fresh machine state folder, removed with everything in it at the end.
class StateFolder {
public:
    StateFolder() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "zudava-tool-XXXXXX").string();
        if (!mkdtemp(&pattern[0]))
            throw std::runtime_error("mkdtemp failed");
        m_path = pattern;
    }
    ~StateFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(m_path, ignored);
    }
    StateFolder(const StateFolder&) = delete;
    StateFolder& operator=(const StateFolder&) = delete;
    const std::filesystem::path& path() const { return m_path; }

private:
    std::filesystem::path m_path;
};

inline std::string readWhole(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// One run of the tool; `start` returns at once, `finish` waits for the end.
class ToolProcess {
public:
    ToolProcess(const StateFolder& state, std::vector<std::string> arguments)
        : m_state(state), m_arguments(std::move(arguments)) {
        static int counter = 0;
        const std::string stem = "run" + std::to_string(++counter);
        m_out = m_state.path() / (stem + ".out");
        m_err = m_state.path() / (stem + ".err");
    }
    ~ToolProcess() {
        if (m_pid > 0) {
            ::kill(m_pid, SIGKILL);
            ::waitpid(m_pid, nullptr, 0);
        }
    }
    ToolProcess(const ToolProcess&) = delete;
    ToolProcess& operator=(const ToolProcess&) = delete;

    void start() {
        std::vector<char*> argv;
        std::string program = ZUDAVA_TOOL;
        argv.push_back(&program[0]);
        for (std::string& argument : m_arguments)
            argv.push_back(&argument[0]);
        argv.push_back(nullptr);
        const std::string state = m_state.path().string();
        const std::string out = m_out.string();
        const std::string err = m_err.string();
        m_pid = ::fork();
        if (m_pid < 0)
            throw std::runtime_error("fork failed");
        if (m_pid == 0) {
            ::setenv("ZUDAVA_STATE_DIR", state.c_str(), 1);
            ::unsetenv("CommonProgramFiles");
            const int outFd = ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            const int errFd = ::open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            const int inFd = ::open("/dev/null", O_RDONLY);
            if (outFd < 0 || errFd < 0 || inFd < 0)
                ::_exit(126);
            ::dup2(inFd, 0);
            ::dup2(outFd, 1);
            ::dup2(errFd, 2);
            ::execv(argv[0], argv.data());
            ::_exit(127);
        }
    }

    // Waits until the child's standard error holds `text` or it ends; false after `seconds`.
    bool waitForError(const std::string& text, double seconds = 30) {
        const auto deadline = std::chrono::steady_clock::now() +
                              std::chrono::milliseconds(static_cast<long>(seconds * 1000));
        while (std::chrono::steady_clock::now() < deadline) {
            if (readWhole(m_err).find(text) != std::string::npos)
                return true;
            int status = 0;
            if (::waitpid(m_pid, &status, WNOHANG) == m_pid) {
                m_finished = status;
                m_pid = -1;
                return readWhole(m_err).find(text) != std::string::npos;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return false;
    }

    void signal(int number) {
        if (m_pid > 0)
            ::kill(m_pid, number);
    }

    ToolResult finish() {
        int status = m_finished;
        if (m_pid > 0) {
            ::waitpid(m_pid, &status, 0);
            m_pid = -1;
        }
        ToolResult result;
        result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        result.out = readWhole(m_out);
        result.err = readWhole(m_err);
        return result;
    }

private:
    const StateFolder& m_state;
    std::vector<std::string> m_arguments;
    std::filesystem::path m_out;
    std::filesystem::path m_err;
    pid_t m_pid = -1;
    int m_finished = 0;
};

inline ToolResult runTool(const StateFolder& state, std::vector<std::string> arguments) {
    ToolProcess process(state, std::move(arguments));
    process.start();
    return process.finish();
}

} // namespace test
