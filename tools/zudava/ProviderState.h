// What the machine knows about the adapter's provider groups, gathered from its three places:
// the group configuration file, the COM server entries in the registry, and the provider
// registrations in every WMI namespace. `findInconsistencies` compares them.
#pragma once

#include <string>
#include <vector>

namespace tool {

// The shared provider that the adapter links under its own identifier rather than as a group.
extern const char* const kAdapterIdentifier;
// The event query that every provider linked by the library registers.
extern const char* const kAdapterEventQuery;

struct GroupEntry {
    std::string name;
    std::string clsid;                   // empty when the file has none
    std::vector<std::string> namespaces; // in stored order
};

// HKEY_CLASSES_ROOT\CLSID\{clsid}: its "AppID" and its local server's command line.
struct ServerEntry {
    std::string clsid;
    bool present = false;    // the CLSID key exists
    std::string appId;       // empty when missing
    std::string commandLine; // LocalServer32's default value; empty when missing
    bool hasCommandLine = false;
};

struct ProviderEntry {
    std::string name;
    std::string clsid;
};

struct RegistrationEntry {
    std::string className;    // __InstanceProviderRegistration, ...
    std::string provider;     // the "Provider" reference as stored
    std::string providerName; // the Name key of that reference; empty when it cannot be read
    std::vector<std::string> eventQueries; // "EventQueryList" of an event registration
};

struct NamespaceEntry {
    std::string name;
    std::vector<ProviderEntry> providers;
    std::vector<RegistrationEntry> registrations;
};

struct MachineState {
    std::vector<GroupEntry> groups;
    std::vector<ServerEntry> servers; // the groups' CLSIDs, then every other adapter-style server
    std::vector<NamespaceEntry> namespaces;
};

// The group file's groups, in file order.
std::vector<GroupEntry> readGroups();
// The registry entries of one CLSID.
ServerEntry readServer(const std::string& clsid);
// Every CLSID key whose local server is started with the adapter's "/G{clsid}:group" switch.
std::vector<ServerEntry> readAdapterServers();
// `root` and every namespace below it, depth first, in the order WMI lists them, with their
// providers and provider registrations.
std::vector<NamespaceEntry> readNamespaces(const std::string& root);
MachineState readMachineState();

// The group named by a local-server command line "PATH /G{clsid}:group"; empty when it does not
// have that form.
std::string groupOfCommandLine(const std::string& commandLine, const std::string& clsid);

// One line per inconsistency, in a stable order: groups in file order first, then namespaces,
// then servers.
std::vector<std::string> findInconsistencies(const MachineState& state);

} // namespace tool
