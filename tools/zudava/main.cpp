// zudava: the command-line face of the library.
#include "Commands.h"

#include <zudava/zudava.h>

#include <cstring>
#include <iostream>

namespace tool {

const std::vector<Command>& textCommands();
const std::vector<Command>& mofCommands();
const std::vector<Command>& tourCommands();

const std::vector<Command>& commands() {
    static const std::vector<Command> all = [] {
        std::vector<Command> list;
        for (const Command& command : mofCommands())
            list.push_back(command);
        for (const Command& command : tourCommands())
            list.push_back(command);
        for (const Command& command : textCommands())
            list.push_back(command);
        return list;
    }();
    return all;
}

namespace {

void printHelp(std::ostream& out) {
    out << "usage: zudava <command> [arguments]\n"
           "       zudava --help | --version\n\n"
           "commands:\n";
    for (const Command& command : commands()) {
        std::string head = std::string(command.name) + (*command.usage ? " " : "") + command.usage;
        out << "  " << head << std::string(head.size() < 14 ? 14 - head.size() : 1, ' ')
            << command.summary << '\n';
    }
}

} // namespace

} // namespace tool

int main(int argc, char** argv) {
    using namespace tool;
    if (argc < 2) {
        printHelp(std::cerr);
        return kUsage;
    }
    const std::string first = argv[1];
    if (first == "--help" || first == "-h" || first == "help") {
        printHelp(std::cout);
        return kSuccess;
    }
    if (first == "--version") {
        std::cout << "zudava " << ZUDAVA_VERSION << '\n';
        return kSuccess;
    }
    for (const Command& command : commands()) {
        if (first == command.name) {
            const Arguments arguments(argv + 2, argv + argc);
            try {
                return command.run(arguments, std::cin, std::cout, std::cerr);
            } catch (const DEZE::WmiException& e) {
                std::cerr << "zudava " << first << ": " << (e.what() ? e.what() : "") << " (0x"
                          << std::hex << static_cast<unsigned long>(e.getCode() & 0xFFFFFFFF)
                          << ")\n";
            } catch (const std::exception& e) {
                std::cerr << "zudava " << first << ": " << e.what() << '\n';
            }
            return kFailure;
        }
    }
    std::cerr << "zudava: unknown command '" << first << "' (try zudava --help)\n";
    return kUsage;
}
