#include "ToolRun.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <stdexcept>

namespace tooltest {

namespace {

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

} // namespace

StateDir::StateDir() {
    char pattern[] = "/tmp/zudava-tool-XXXXXX";
    if (!mkdtemp(pattern))
        throw std::runtime_error("mkdtemp failed");
    m_path = pattern;
}

StateDir::~StateDir() {
    std::error_code ignored;
    std::filesystem::remove_all(m_path, ignored);
}

Result run(const StateDir& state, const std::vector<std::string>& arguments,
           const std::string& input) {
    const std::string in = state.path() + "/.in", out = state.path() + "/.out",
                      err = state.path() + "/.err";
    std::ofstream(in, std::ios::binary) << input;
    std::vector<char*> argv;
    std::string program = ZUDAVA_TOOL;
    argv.push_back(program.data());
    std::vector<std::string> copies(arguments);
    for (std::string& argument : copies)
        argv.push_back(argument.data());
    argv.push_back(nullptr);
    const pid_t child = fork();
    if (child == 0) {
        const int inFd = open(in.c_str(), O_RDONLY);
        const int outFd = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        const int errFd = open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (inFd < 0 || outFd < 0 || errFd < 0)
            _exit(126);
        dup2(inFd, 0);
        dup2(outFd, 1);
        dup2(errFd, 2);
        setenv("ZUDAVA_STATE_DIR", state.path().c_str(), 1);
        execv(argv[0], argv.data());
        _exit(127);
    }
    Result result;
    int status = 0;
    if (child < 0 || waitpid(child, &status, 0) != child)
        throw std::runtime_error("cannot run the tool");
    result.code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    result.out = readFile(out);
    result.err = readFile(err);
    return result;
}

std::string dataFile(const std::string& name) {
    return std::string(ZUDAVA_SOURCE_DIR) + "/tests/tool/data/" + name;
}

std::string withoutPaths(const std::string& text) {
    std::istringstream lines(text);
    std::string line, result;
    while (std::getline(lines, line))
        if (line.find("\"__PATH\"") == std::string::npos)
            result += line + '\n';
    return result;
}

} // namespace tooltest
