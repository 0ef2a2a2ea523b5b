// Runs the built zudava tool as a child process, with its own machine state folder, and
// collects what it wrote and its exit code.
#pragma once

#include <string>
#include <vector>

namespace tooltest {

struct Result {
    int code = -1;
    std::string out;
    std::string err;
};

// A fresh machine state folder for the tool, removed at the end.
class StateDir {
public:
    StateDir();
    ~StateDir();
    StateDir(const StateDir&) = delete;
    StateDir& operator=(const StateDir&) = delete;
    const std::string& path() const { return m_path; }

private:
    std::string m_path;
};

// `zudava ARGUMENTS...` with ZUDAVA_STATE_DIR set to `state`, standard input from `input`.
Result run(const StateDir& state, const std::vector<std::string>& arguments,
           const std::string& input = "");

// The test data folder's file.
std::string dataFile(const std::string& name);

// The output without the lines that name the machine (the "__PATH" lines of JSON).
std::string withoutPaths(const std::string& text);

} // namespace tooltest
