// The subcommands of the zudava tool. Each reads its arguments and standard input, writes its
// result to standard output and returns the process exit code.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace tool {

using Arguments = std::vector<std::string>;

struct Command {
    const char* name;
    const char* usage;   // arguments after the command's name
    const char* summary; // one line for --help
    int (*run)(const Arguments& arguments, std::istream& in, std::ostream& out, std::ostream& err);
};

// Every command the tool knows, in the order --help lists them.
const std::vector<Command>& commands();

// Exit codes.
constexpr int kSuccess = 0;
constexpr int kFailure = 1;
constexpr int kUsage = 2;

} // namespace tool
