// zudava provider list and check: reading the group file, the registry and every namespace.
#include "ProviderCommands.h"

#include "ProviderState.h"
#include "Commands.h"
#include "ToolSupport.h"

#include <memory>
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

int providerList(Tool& tool, const ProviderOptions&) {
    std::ostream& out = tool.out;
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

int providerCheck(Tool& tool, const ProviderOptions&) {
    std::ostream& out = tool.out;
    std::ostream& err = tool.err;
    tool.initialiseCom();
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

namespace tool {

namespace {

const char* const kProviderDetails =
    "A provider group is one COM server of the adapter (one CLSID), registered as a WMI provider\n"
    "(a __Win32Provider with its instance, method and event registrations) in each namespace it\n"
    "serves; the group file groupname.ini records the groups, their CLSIDs and namespaces.\n"
    "\n"
    "  list             the groups, with CLSID, namespaces and the COM server's command line\n"
    "  link GROUP       link the group into -n's namespace; a new group gets a CLSID and this\n"
    "                   program as its COM server\n"
    "  unlink GROUP     remove the group's registration from -n's namespace\n"
    "  remove GROUP     unlink the group everywhere, delete its COM server entries and its entry\n"
    "  cleanup ip|oop   ip: remove every group; oop: unlink the adapter's shared provider\n"
    "  check            compare the group file, the registry and every namespace; exit 3 when\n"
    "                   anything disagrees";

CLI::App* addAction(CLI::App* provider, const char* name, const char* summary,
                    const char* example) {
    CLI::App* action = provider->add_subcommand(name, summary);
    // -n may also follow the action, where people write it.
    action->fallthrough();
    action->footer(std::string("\nexample: ") + example);
    return action;
}

const CommandGroup group(40, [](Tool& tool) {
    auto options = std::make_shared<ProviderOptions>();
    struct Actions {
        CLI::App* list;
        CLI::App* link;
        CLI::App* unlink;
        CLI::App* remove;
        CLI::App* cleanup;
        CLI::App* check;
    };
    auto actions = std::make_shared<Actions>();
    CLI::App* provider = tool.add(
        "provider", "the adapter's provider groups: list, link, unlink, remove, cleanup, check",
        "zudava provider link -n root\\default Library",
        [&tool, options, actions]() -> int {
            options->nameSpace = tool.nameSpace();
            if (*actions->list)
                return providerList(tool, *options);
            if (*actions->link)
                return providerLink(tool, *options);
            if (*actions->unlink)
                return providerUnlink(tool, *options);
            if (*actions->remove)
                return providerRemove(tool, *options);
            if (*actions->cleanup)
                return providerCleanup(tool, *options);
            return providerCheck(tool, *options);
        },
        kProviderDetails);
    provider->require_subcommand(1);
    actions->list = addAction(provider, "list", "the groups with CLSID, namespaces and server",
                              "zudava provider list");
    actions->link = addAction(provider, "link", "link a group into the namespace",
                              "zudava provider link -n root\\default Library");
    actions->unlink = addAction(provider, "unlink", "unlink a group from the namespace",
                                "zudava provider unlink -n root\\default Library");
    actions->remove = addAction(provider, "remove", "remove a group from every place",
                                "zudava provider remove Library");
    actions->cleanup = addAction(provider, "cleanup", "remove the adapter's registrations",
                                 "zudava provider cleanup ip");
    actions->check =
        addAction(provider, "check", "report where group file, registry and namespaces disagree",
                  "zudava provider check");
    for (CLI::App* action : {actions->link, actions->unlink})
        action->footer("\n-n NAMESPACE, before or after the action, names the namespace (default "
                       "root\\cimv2)\n" +
                       action->get_footer());
    for (CLI::App* action : {actions->link, actions->unlink, actions->remove})
        action->add_option("GROUP", options->group, "the provider group")->required();
    for (CLI::App* action : {actions->unlink, actions->remove})
        action->add_flag(
            "--force", options->force,
            "also drop namespaces without a complete registration from the group file");
    actions->cleanup->add_option("MODE", options->mode, "ip: every group; oop: the shared provider")
        ->required()
        ->check(CLI::IsMember({"ip", "oop"}, CLI::ignore_case));
});

} // namespace

} // namespace tool
