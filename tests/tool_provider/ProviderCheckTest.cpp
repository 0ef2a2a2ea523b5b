// The comparison behind zudava provider check, on machine states built by hand: each kind of
// inconsistency gives its one line, and what agrees (in any letter case) gives none.
#include "ProviderState.h"

#include <gtest/gtest.h>

using tool::findInconsistencies;
using tool::groupOfCommandLine;
using tool::MachineState;
using tool::NamespaceEntry;
using tool::RegistrationEntry;
using tool::ServerEntry;

namespace {

const std::string kClsid = "{0B1E2C3D-4F50-4617-8899-AABBCCDDEEFF}";
const std::string kOther = "{11111111-2222-4333-8444-555555555555}";

ServerEntry server(const std::string& clsid, const std::string& group) {
    ServerEntry entry;
    entry.clsid = clsid;
    entry.present = true;
    entry.appId = "{5C3E9D17-42B8-4F0A-9E61-7D2A0B4C8E35}";
    entry.commandLine = "/opt/my adapter/bin/server /G" + clsid + ":" + group;
    entry.hasCommandLine = true;
    return entry;
}

std::vector<RegistrationEntry> registrations(const std::string& ns, const std::string& provider) {
    const std::string reference = "\\\\.\\" + ns + ":__Win32Provider.Name=\"" + provider + "\"";
    return {{"__InstanceProviderRegistration", reference, provider, {}},
            {"__MethodProviderRegistration", reference, provider, {}},
            {"__EventProviderRegistration", reference, provider, {tool::kAdapterEventQuery}}};
}

// Group Library linked into root\cimv2 and root\default, as the library leaves it.
MachineState consistent() {
    MachineState state;
    state.groups.push_back({"Library", kClsid, {"root\\cimv2", "root\\default"}});
    state.servers.push_back(server(kClsid, "Library"));
    state.namespaces.push_back({"root", {}, {}});
    for (const char* name : {"root\\cimv2", "root\\default"})
        state.namespaces.push_back({name, {{"Library", kClsid}}, registrations(name, "Library")});
    return state;
}

NamespaceEntry& namespaceOf(MachineState& state, const std::string& name) {
    for (NamespaceEntry& entry : state.namespaces)
        if (entry.name == name)
            return entry;
    throw std::logic_error("no namespace " + name);
}

using Lines = std::vector<std::string>;

TEST(ProviderCheck, WhatTheLibraryLeavesIsConsistentInAnyLetterCase) {
    EXPECT_EQ(Lines{}, findInconsistencies(consistent()));

    MachineState state = consistent();
    state.groups[0].name = "LIBRARY";
    state.groups[0].namespaces = {"ROOT\\CIMV2", "Root\\Default"};
    state.servers[0] = server(kClsid, "library");
    state.groups[0].clsid = "{0b1e2c3d-4f50-4617-8899-aabbccddeeff}";
    EXPECT_EQ(Lines{}, findInconsistencies(state));
}

TEST(ProviderCheck, GroupWhoseNamespaceLacksItsProvider) {
    MachineState state = consistent();
    NamespaceEntry& ns = namespaceOf(state, "root\\default");
    ns.providers.clear();
    ns.registrations.clear();
    EXPECT_EQ(Lines{"group Library: namespace root\\default: no __Win32Provider named Library"},
              findInconsistencies(state));
}

TEST(ProviderCheck, GroupWhoseRegistrationsAreIncompleteOrPointElsewhere) {
    MachineState state = consistent();
    NamespaceEntry& ns = namespaceOf(state, "root\\cimv2");
    ns.registrations.erase(ns.registrations.begin() + 1); // the method registration
    ns.providers[0].clsid = kOther;
    EXPECT_EQ((Lines{"group Library: namespace root\\cimv2: the __Win32Provider has CLSID " +
                         kOther + ", the group file " + kClsid,
                     "group Library: namespace root\\cimv2: no __MethodProviderRegistration for "
                     "the provider"}),
              findInconsistencies(state));
}

TEST(ProviderCheck, GroupInANamespaceThatIsGone) {
    MachineState state = consistent();
    state.groups[0].namespaces.push_back("root\\gone");
    EXPECT_EQ(Lines{"group Library: namespace root\\gone: does not exist"},
              findInconsistencies(state));
}

TEST(ProviderCheck, GroupWithoutItsComServer) {
    MachineState state = consistent();
    state.servers[0].present = false;
    state.servers[0].hasCommandLine = false;
    state.servers[0].commandLine.clear();
    EXPECT_EQ(Lines{"group Library: CLSID " + kClsid + " is not registered (no " +
                    "HKEY_CLASSES_ROOT\\CLSID\\" + kClsid + ")"},
              findInconsistencies(state));

    state.servers[0].present = true;
    EXPECT_EQ(Lines{"group Library: CLSID " + kClsid + " has no local server (no " +
                    "HKEY_CLASSES_ROOT\\CLSID\\" + kClsid + "\\LocalServer32)"},
              findInconsistencies(state));

    // Without a CLSID in the file there is nothing to compare the providers' CLSIDs with.
    state.groups[0].clsid.clear();
    EXPECT_EQ(Lines{"group Library: the group file gives no CLSID"}, findInconsistencies(state));
}

TEST(ProviderCheck, ComServerStartedForAnotherGroup) {
    MachineState state = consistent();
    state.servers[0] = server(kClsid, "Archive");
    EXPECT_EQ((Lines{"group Library: the local server of " + kClsid +
                         " is not started for this group: " + state.servers[0].commandLine,
                     "CLSID " + kClsid +
                         ": the COM server of group Archive is registered, but the group file has "
                         "no such group"}),
              findInconsistencies(state));
}

TEST(ProviderCheck, RegistrationWithoutAGroup) {
    MachineState state = consistent();
    state.groups.clear();
    EXPECT_EQ((Lines{"namespace root\\cimv2: provider Library (CLSID " + kClsid +
                         ") has no group in the group file",
                     "namespace root\\default: provider Library (CLSID " + kClsid +
                         ") has no group in the group file",
                     "CLSID " + kClsid +
                         ": the COM server of group Library is registered, but the group file has "
                         "no such group"}),
              findInconsistencies(state));

    // Without its COM server the provider is still known as the adapter's by its event query.
    state.servers.clear();
    namespaceOf(state, "root\\default").providers.clear();
    namespaceOf(state, "root\\default").registrations.clear();
    EXPECT_EQ(Lines{"namespace root\\cimv2: provider Library (CLSID " + kClsid +
                    ") has no group in the group file"},
              findInconsistencies(state));
}

TEST(ProviderCheck, LinkedWhereTheGroupFileDoesNotSay) {
    MachineState state = consistent();
    state.groups[0].namespaces = {"root\\cimv2"};
    EXPECT_EQ(Lines{"namespace root\\default: provider Library is linked here, but the group file "
                    "does not list this namespace"},
              findInconsistencies(state));
}

TEST(ProviderCheck, RegistrationOfAProviderThatIsGone) {
    MachineState state = consistent();
    NamespaceEntry& ns = namespaceOf(state, "root\\cimv2");
    for (const RegistrationEntry& registration : registrations("root\\cimv2", "Vanished"))
        ns.registrations.push_back(registration);
    ns.registrations.push_back({"__MethodProviderRegistration", "not a path", "", {}});
    const std::string gone = "namespace root\\cimv2: ";
    const std::string ref = "\\\\.\\root\\cimv2:__Win32Provider.Name=\"Vanished\"";
    EXPECT_EQ(
        (Lines{
            gone + "__InstanceProviderRegistration refers to a provider that is not there: " + ref,
            gone + "__MethodProviderRegistration refers to a provider that is not there: " + ref,
            gone + "__EventProviderRegistration refers to a provider that is not there: " + ref,
            gone +
                "__MethodProviderRegistration refers to a provider that is not there: not a path"}),
        findInconsistencies(state));
}

TEST(ProviderCheck, OtherProvidersAndTheSharedOneAreNotTheGroupFilesBusiness) {
    MachineState state = consistent();
    NamespaceEntry& ns = namespaceOf(state, "root\\cimv2");
    // A provider of someone else, with its own registrations and no adapter-style server.
    ns.providers.push_back({"SystemThing", kOther});
    RegistrationEntry foreign{"__InstanceProviderRegistration",
                              "\\\\.\\root\\cimv2:__Win32Provider.Name=\"SystemThing\"",
                              "SystemThing",
                              {}};
    ns.registrations.push_back(foreign);
    state.servers.push_back({kOther, true, "", "C:\\Windows\\thing.exe -Embedding", true});
    // The adapter's shared provider is linked under its identifier, never as a group.
    ns.providers.push_back({tool::kAdapterIdentifier, "{22222222-2222-4222-8222-222222222222}"});
    for (const RegistrationEntry& registration :
         registrations("root\\cimv2", tool::kAdapterIdentifier))
        ns.registrations.push_back(registration);
    EXPECT_EQ(Lines{}, findInconsistencies(state));
}

TEST(ProviderCheck, GroupOfALocalServerCommandLine) {
    EXPECT_EQ("Library",
              groupOfCommandLine("C:\\Program Files\\a.exe /G" + kClsid + ":Library", kClsid));
    EXPECT_EQ("a:b c", groupOfCommandLine("/bin/s /G" + kClsid + ":a:b c", kClsid));
    EXPECT_EQ("Library", groupOfCommandLine(
                             "/bin/s /g{0b1e2c3d-4f50-4617-8899-aabbccddeeff}:Library", kClsid));
    EXPECT_EQ("", groupOfCommandLine("/bin/s /G" + kOther + ":Library", kClsid));
    EXPECT_EQ("", groupOfCommandLine("/bin/s -Embedding", kClsid));
    EXPECT_EQ("", groupOfCommandLine("/bin/s /G:Library", ""));
}

} // namespace
