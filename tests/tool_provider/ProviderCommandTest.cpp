// zudava provider, run as a user runs it in a fresh machine state: groups linked, listed,
// unlinked and removed, the check on what the library leaves and on each kind of damage, and
// what bad input gets.
#include "support/ToolProcess.h"

#include <gtest/gtest.h>

#include <fstream>
#include <regex>

using test::readWhole;
using test::runTool;
using test::StateFolder;
using test::ToolResult;

namespace {

// The group file of a state folder when "CommonProgramFiles" is not set.
std::filesystem::path groupFile(const StateFolder& state) {
    return state.path() / "windows" / "groupname.ini";
}

std::string clsidIn(const std::string& text) {
    std::smatch match;
    const std::regex braces("\\{[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}\\}");
    return std::regex_search(text, match, braces) ? match.str() : std::string();
}

class ProviderCommands : public testing::Test {
protected:
    // Links the group and returns its CLSID.
    std::string link(const std::string& group, const std::string& ns = "root\\cimv2") {
        const ToolResult linked = runTool(state, {"provider", "link", "-n", ns, group});
        EXPECT_EQ(0, linked.exitCode) << linked.err;
        return clsidIn(linked.out);
    }

    StateFolder state;
};

TEST_F(ProviderCommands, AFreshMachineHasNoGroupsAndIsConsistent) {
    const ToolResult list = runTool(state, {"provider", "list"});
    EXPECT_EQ(0, list.exitCode);
    EXPECT_EQ("no provider groups\n", list.out);

    const ToolResult check = runTool(state, {"provider", "check"});
    EXPECT_EQ(0, check.exitCode) << check.err;
    EXPECT_EQ("consistent: 0 groups, 3 namespaces\n", check.out);
}

TEST_F(ProviderCommands, LinkListAndCheckAGroupInTwoNamespaces) {
    const ToolResult first = runTool(state, {"provider", "link", "Library"});
    EXPECT_EQ(0, first.exitCode) << first.err;
    const std::string clsid = clsidIn(first.out);
    ASSERT_FALSE(clsid.empty()) << first.out;
    EXPECT_EQ("linked group Library into root\\cimv2 (CLSID " + clsid + ")\n", first.out);

    const ToolResult second = runTool(state, {"provider", "link", "-n", "root/default", "Library"});
    EXPECT_EQ(0, second.exitCode) << second.err;
    EXPECT_EQ("linked group Library into root\\default (CLSID " + clsid + ")\n", second.out);

    // Again, in other letter case: nothing to do.
    const ToolResult again = runTool(state, {"provider", "link", "-n", "ROOT\\CIMV2", "Library"});
    EXPECT_EQ(0, again.exitCode);
    EXPECT_EQ("group Library is linked into ROOT\\CIMV2 already\n", again.out);

    const ToolResult list = runTool(state, {"provider", "list"});
    EXPECT_EQ(0, list.exitCode);
    const std::regex block("Library\n"
                           "  CLSID       \\" +
                           clsid.substr(0, clsid.size() - 1) +
                           "\\}\n"
                           "  namespaces  root\\\\cimv2 root\\\\default\n"
                           "  server      Z:\\\\.*zudava /G\\" +
                           clsid.substr(0, clsid.size() - 1) + "\\}:Library\n");
    EXPECT_TRUE(std::regex_match(list.out, block)) << list.out;

    const ToolResult check = runTool(state, {"provider", "check"});
    EXPECT_EQ(0, check.exitCode) << check.out << check.err;
    EXPECT_EQ("consistent: 1 group, 3 namespaces\n", check.out);
}

TEST_F(ProviderCommands, UnlinkDropsTheNamespaceFromTheGroupFile) {
    const std::string clsid = link("Library");
    link("Library", "root\\default");

    const ToolResult unlinked =
        runTool(state, {"provider", "unlink", "-n", "root\\cimv2", "Library"});
    EXPECT_EQ(0, unlinked.exitCode) << unlinked.err;
    EXPECT_EQ("unlinked group Library from root\\cimv2\n", unlinked.out);
    EXPECT_NE(std::string::npos, readWhole(groupFile(state)).find("NAMESPACE=root\\default\r\n"))
        << readWhole(groupFile(state));
    EXPECT_EQ(0, runTool(state, {"provider", "check"}).exitCode);

    // Not linked there any more: refused, and the file is left alone.
    const std::string before = readWhole(groupFile(state));
    const ToolResult twice = runTool(state, {"provider", "unlink", "-n", "root\\cimv2", "Library"});
    EXPECT_EQ(1, twice.exitCode);
    EXPECT_EQ("", twice.out);
    EXPECT_EQ("zudava provider unlink: group Library is not linked into root\\cimv2 (no complete "
              "provider registration there)\n",
              twice.err);
    EXPECT_EQ(before, readWhole(groupFile(state)));
}

TEST_F(ProviderCommands, RemoveTakesTheGroupFromEveryPlace) {
    const std::string clsid = link("Library");
    link("Library", "root\\default");
    link("Archive");

    const ToolResult removed = runTool(state, {"provider", "remove", "library"});
    EXPECT_EQ(0, removed.exitCode) << removed.err;
    EXPECT_EQ("removed group library (CLSID " + clsid + "; 2 namespaces)\n", removed.out);

    const ToolResult list = runTool(state, {"provider", "list"});
    EXPECT_EQ(0, list.out.find("Archive\n")) << list.out;
    EXPECT_EQ(std::string::npos, list.out.find("Library")) << list.out;
    const ToolResult check = runTool(state, {"provider", "check"});
    EXPECT_EQ(0, check.exitCode) << check.out;
    EXPECT_EQ("consistent: 1 group, 3 namespaces\n", check.out);

    const ToolResult unknown = runTool(state, {"provider", "remove", "Library"});
    EXPECT_EQ(1, unknown.exitCode);
    EXPECT_EQ("zudava provider remove: there is no group Library in the group file\n", unknown.err);
}

TEST_F(ProviderCommands, CheckFindsAGroupWhoseNamespaceHasNoProvider) {
    std::filesystem::create_directories(groupFile(state).parent_path());
    const std::string ghost = "{0B1E2C3D-4F50-4617-8899-AABBCCDDEEFF}";
    std::ofstream(groupFile(state))
        << "[Ghost]\r\nCLSID=" << ghost << "\r\nNAMESPACE=root\\default:root\\nowhere\r\n";
    const ToolResult check = runTool(state, {"provider", "check"});
    EXPECT_EQ(3, check.exitCode);
    EXPECT_EQ("group Ghost: CLSID " + ghost + " is not registered (no HKEY_CLASSES_ROOT\\CLSID\\" +
                  ghost +
                  ")\n"
                  "group Ghost: namespace root\\default: no __Win32Provider named Ghost\n"
                  "group Ghost: namespace root\\nowhere: does not exist\n",
              check.out);
    EXPECT_EQ("zudava provider check: 3 inconsistencies\n", check.err);

    // A group the file lists with a namespace that holds nothing cannot be unlinked or removed
    // plainly; --force drops what the file says.
    const ToolResult unlink =
        runTool(state, {"provider", "unlink", "-n", "root\\default", "Ghost"});
    EXPECT_EQ(1, unlink.exitCode);
    EXPECT_NE(std::string::npos, unlink.err.find("--force drops the namespace")) << unlink.err;
    const ToolResult forced =
        runTool(state, {"provider", "unlink", "--force", "-n", "root\\default", "Ghost"});
    EXPECT_EQ(0, forced.exitCode) << forced.err;
    EXPECT_EQ(
        "dropped root\\default from group Ghost (no complete provider registration was there)\n",
        forced.out);

    const ToolResult remove = runTool(state, {"provider", "remove", "Ghost"});
    EXPECT_EQ(1, remove.exitCode);
    EXPECT_NE(std::string::npos, remove.err.find("nothing else was changed")) << remove.err;
    EXPECT_EQ(0, runTool(state, {"provider", "remove", "--force", "Ghost"}).exitCode);
    EXPECT_EQ("no provider groups\n", runTool(state, {"provider", "list"}).out);
    EXPECT_EQ(0, runTool(state, {"provider", "check"}).exitCode);
}

TEST_F(ProviderCommands, CheckFindsARegistrationWithoutAGroup) {
    const std::string clsid = link("Library");
    link("Library", "root\\default");
    std::filesystem::remove(groupFile(state));

    const ToolResult check = runTool(state, {"provider", "check"});
    EXPECT_EQ(3, check.exitCode);
    EXPECT_EQ("namespace root\\cimv2: provider Library (CLSID " + clsid +
                  ") has no group in the group file\n"
                  "namespace root\\default: provider Library (CLSID " +
                  clsid +
                  ") has no group in the group file\n"
                  "CLSID " +
                  clsid +
                  ": the COM server of group Library is registered, but the group file has no "
                  "such group\n",
              check.out);

    // Unlinking a group that the file does not know still removes its registration.
    for (const char* ns : {"root\\cimv2", "root\\default"}) {
        const ToolResult unlinked = runTool(state, {"provider", "unlink", "-n", ns, "Library"});
        EXPECT_EQ(0, unlinked.exitCode) << unlinked.err;
    }
    EXPECT_EQ("CLSID " + clsid +
                  ": the COM server of group Library is registered, but the group file has no such "
                  "group\n",
              runTool(state, {"provider", "check"}).out);
}

TEST_F(ProviderCommands, CheckFindsALinkTheGroupFileDoesNotList) {
    link("Library");
    link("Library", "root\\default");
    // The file forgets root\default, as an interrupted edit would leave it.
    std::string text = readWhole(groupFile(state));
    text.replace(text.find(":root\\default"), std::string(":root\\default").size(), "");
    std::ofstream(groupFile(state), std::ios::binary | std::ios::trunc) << text;

    const ToolResult check = runTool(state, {"provider", "check"});
    EXPECT_EQ(3, check.exitCode);
    EXPECT_EQ("namespace root\\default: provider Library is linked here, but the group file does "
              "not list this namespace\n",
              check.out);
}

TEST_F(ProviderCommands, CleanupIpRemovesEveryGroup) {
    const ToolResult empty = runTool(state, {"provider", "cleanup", "IP"});
    EXPECT_EQ(0, empty.exitCode) << empty.err;
    EXPECT_EQ("removed 0 of 0 groups\n", empty.out);

    link("Library");
    link("Library", "root\\default");
    link("Archive", "root\\default");
    const ToolResult cleaned = runTool(state, {"provider", "cleanup", "ip"});
    EXPECT_EQ(0, cleaned.exitCode) << cleaned.err;
    EXPECT_EQ("removed 2 of 2 groups\n", cleaned.out);
    EXPECT_EQ("no provider groups\n", runTool(state, {"provider", "list"}).out);
    EXPECT_EQ("consistent: 0 groups, 3 namespaces\n", runTool(state, {"provider", "check"}).out);
}

TEST_F(ProviderCommands, CleanupIpKeepsAGroupItCannotUnlink) {
    link("Library");
    link("Archive", "root\\default");
    std::ofstream(groupFile(state), std::ios::app) << "[Ghost]\r\nNAMESPACE=root\\cimv2\r\n";
    const ToolResult cleaned = runTool(state, {"provider", "cleanup", "ip"});
    EXPECT_EQ(1, cleaned.exitCode);
    EXPECT_EQ("removed 2 of 3 groups\n", cleaned.out);
    EXPECT_EQ("zudava provider cleanup: group Ghost cannot be unlinked from all its namespaces\n",
              cleaned.err);
}

TEST_F(ProviderCommands, CleanupOopUnlinksTheSharedProvider) {
    const std::string shared = "Talvo|Fennick|DodaVuzavareVizerod";
    const ToolResult nothing = runTool(state, {"provider", "cleanup", "oop"});
    EXPECT_EQ(0, nothing.exitCode) << nothing.err;
    EXPECT_EQ("the shared provider was not linked in the last namespace tried: " + shared + "\n",
              nothing.out);

    // The shared provider linked where a group serves: the clean-up unlinks it there.
    link(shared);
    EXPECT_EQ(0, runTool(state, {"provider", "check"}).exitCode);
    const ToolResult cleaned = runTool(state, {"provider", "cleanup", "OOP"});
    EXPECT_EQ(0, cleaned.exitCode) << cleaned.err;
    EXPECT_EQ("unlinked the shared provider " + shared + "\n", cleaned.out);
    const ToolResult check = runTool(state, {"provider", "check"});
    EXPECT_EQ(3, check.exitCode);
    EXPECT_NE(std::string::npos,
              check.out.find("group " + shared +
                             ": namespace root\\cimv2: no __Win32Provider named " + shared))
        << check.out;
}

TEST_F(ProviderCommands, BadInputGetsAUsageError) {
    for (const std::vector<std::string>& arguments :
         std::vector<std::vector<std::string>>{{"provider"},
                                               {"provider", "frob"},
                                               {"provider", "link"},
                                               {"provider", "unlink"},
                                               {"provider", "remove"},
                                               {"provider", "cleanup"},
                                               {"provider", "cleanup", "both"},
                                               {"provider", "list", "--frob"}}) {
        const ToolResult result = runTool(state, arguments);
        EXPECT_EQ(2, result.exitCode) << arguments.back() << ": " << result.err;
        EXPECT_EQ("", result.out) << arguments.back();
        EXPECT_FALSE(result.err.empty()) << arguments.back();
    }
    EXPECT_FALSE(std::filesystem::exists(groupFile(state)));
}

TEST_F(ProviderCommands, LinkIntoAMissingNamespaceChangesNothing) {
    const ToolResult linked =
        runTool(state, {"provider", "link", "-n", "root\\nowhere", "Library"});
    EXPECT_EQ(1, linked.exitCode);
    EXPECT_EQ("", linked.out);
    EXPECT_EQ("zudava provider: WBEM_E_INVALID_NAMESPACE (0x8004100E): "
              "IWbemLocator::ConnectServer() failed\n",
              linked.err);
    EXPECT_EQ("no provider groups\n", runTool(state, {"provider", "list"}).out);
    EXPECT_EQ(0, runTool(state, {"provider", "check"}).exitCode);
}

} // namespace
