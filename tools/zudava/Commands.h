// The commands of the zudava tool and what they share: the command line (CLI11), the namespace
// option, the output format option, the connection to WMI and the exit codes.
//
// How a command group registers itself: in its own source file, a static `CommandGroup` gives
// its place in `zudava --help` and a function that adds its commands to the tool:
//
//     static const tool::CommandGroup group(40, [](tool::Tool& tool) {
//         auto name = std::make_shared<std::string>();
//         CLI::App* command = tool.add("frob", "frobnicate a class", "zudava frob Item",
//                                      [&tool, name] { tool.out << *name << '\n'; return 0; });
//         command->add_option("NAME", *name, "what to frobnicate")->required();
//     });
//
// `add` gives every command -n/--namespace and --help (a usage line, the options and the
// example). Option targets live in objects the body holds (a shared_ptr), since the function
// runs once, before the command line is parsed. The body runs after parsing; it returns the
// exit code or throws: `UsageError` (exit 2), `DEZE::WmiException` and `_com_error` (the status
// by name with the library's message, exit 1), any other std::exception (exit 1). Places in use:
// compile 10, browsing 20, changing 30, provider 40, events 50, text conversions 90.
#pragma once

#include <zudava/zudava.h>

#include <CLI/CLI.hpp>

#include <functional>
#include <initializer_list>
#include <iosfwd>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace tool {

// Exit codes.
constexpr int kSuccess = 0;
constexpr int kFailure = 1;
constexpr int kUsage = 2;

// Bad input found by the tool itself (a malformed argument, a value that does not fit its
// property): one message, exit code 2.
class UsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

enum class Format { Table, Mof, Json, Xml };

class ComScope;

class Tool {
public:
    Tool(CLI::App& app, std::istream& in, std::ostream& out, std::ostream& err);
    ~Tool();
    Tool(const Tool&) = delete;
    Tool& operator=(const Tool&) = delete;

    // A new command with -n/--namespace and --help, whose help ends with the details (lines of
    // text, if any) and the example.
    CLI::App* add(const std::string& name, const std::string& summary, const std::string& example,
                  std::function<int()> body, const std::string& details = "");
    // --format, limited to the formats given; `format` holds the default.
    void addFormat(CLI::App* command, Format& format, std::initializer_list<Format> allowed);

    // The namespace -n gave (or root\cimv2), with '/' written as '\'.
    std::string nameSpace() const;
    bool nameSpaceGiven() const;
    // Initialises COM for the tool's thread (once); undone when the tool ends.
    void initialiseCom();
    // The connection to a namespace (the -n one by default), through the library's cache.
    DEZE::WmiConnection connect();
    DEZE::WmiConnection connect(const std::string& nameSpace);

    // Runs the command line: the exit code of the command, or of the parse failure.
    int run(int argc, const char* const* argv);

    std::istream& in;
    std::ostream& out;
    std::ostream& err;

private:
    struct Command {
        CLI::App* app;
        std::function<int()> body;
    };

    CLI::App& m_app;
    std::vector<Command> m_commands;
    std::string m_nameSpace = "root\\cimv2";
    std::unique_ptr<ComScope> m_com;
};

using Setup = void (*)(Tool& tool);

class CommandGroup {
public:
    CommandGroup(int order, Setup setup);
};

// Every registered group, in --help order.
std::vector<Setup> commandGroups();

// UTF-8 and wide text for the tool's arguments and output.
std::wstring wideText(const std::string& text);
std::string utf8Text(const std::wstring& text);
std::string utf8Text(const _bstr_t& text);

} // namespace tool
