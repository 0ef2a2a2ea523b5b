// zudava provider cleanup: the library's clean-up of the adapter's registrations, with the group
// file read before and after so that a person learns what went.
#include "ProviderCommands.h"

#include "ProviderState.h"
#include "Commands.h"
#include "ToolSupport.h"

#include <zudava/registration/UtilityManager.h>

#include <ostream>

namespace tool {

int providerCleanup(Tool& tool, const ProviderOptions& options) {
    std::ostream& out = tool.out;
    std::ostream& err = tool.err;
    tool.initialiseCom();
    const bool internal = sameName(options.mode, "ip");
    const std::vector<GroupEntry> before = readGroups();
    const bool result = DEZE::UtilityManager::cleanUpRegistrationProvider(options.mode);
    if (!internal) {
        out << (result ? "unlinked the shared provider "
                       : "the shared provider was not linked in the last namespace tried: ")
            << kAdapterIdentifier << '\n';
        return kSuccess;
    }
    const std::vector<GroupEntry> after = readGroups();
    out << "removed " << before.size() - after.size() << " of " << before.size()
        << (before.size() == 1 ? " group\n" : " groups\n");
    for (const GroupEntry& group : after)
        err << "zudava provider cleanup: group " << group.name
            << " cannot be unlinked from all its namespaces\n";
    return after.empty() ? kSuccess : kFailure;
}

} // namespace tool
