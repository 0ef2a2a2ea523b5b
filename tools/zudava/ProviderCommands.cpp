// zudava provider list and check: reading the group file, the registry and every namespace.
#include "ProviderCommands.h"

#include "ProviderState.h"
#include "ToolSupport.h"

#include <ostream>

namespace tool {

namespace {

std::string joined(const std::vector<std::string>& items, const char* separator) {
    std::string text;
    for (const std::string& item : items)
        text += (text.empty() ? "" : separator) + item;
    return text;
}

} // namespace

int providerList(const ProviderOptions&, std::ostream& out, std::ostream&) {
    const std::vector<GroupEntry> groups = readGroups();
    if (groups.empty()) {
        out << "no provider groups\n";
        return kSuccess;
    }
    bool first = true;
    for (const GroupEntry& group : groups) {
        const ServerEntry server = readServer(group.clsid);
        out << (first ? "" : "\n") << group.name << '\n';
        out << "  CLSID       " << (group.clsid.empty() ? "(none)" : group.clsid) << '\n';
        out << "  namespaces  "
            << (group.namespaces.empty() ? std::string("(none)") : joined(group.namespaces, " "))
            << '\n';
        out << "  server      "
            << (server.hasCommandLine ? server.commandLine : std::string("(not registered)"))
            << '\n';
        first = false;
    }
    return kSuccess;
}

int providerCheck(const ProviderOptions&, std::ostream& out, std::ostream& err) {
    ComScope com;
    const MachineState state = readMachineState();
    const std::vector<std::string> found = findInconsistencies(state);
    for (const std::string& line : found)
        out << line << '\n';
    if (!found.empty()) {
        err << "zudava provider check: " << found.size()
            << (found.size() == 1 ? " inconsistency\n" : " inconsistencies\n");
        return kInconsistent;
    }
    out << "consistent: " << state.groups.size()
        << (state.groups.size() == 1 ? " group, " : " groups, ") << state.namespaces.size()
        << (state.namespaces.size() == 1 ? " namespace\n" : " namespaces\n");
    return kSuccess;
}

} // namespace tool
