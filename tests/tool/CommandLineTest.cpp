// The command line every command shares: help, unknown words, the exit codes and the one-line
// errors that name the WMI status.
#include "ToolRun.h"

#include <gtest/gtest.h>

namespace {

using tooltest::run;
using tooltest::StateDir;

const char* const kClientCommands[] = {"namespaces", "classes", "show", "get", "enum", "query",
                                       "assoc",      "refs",    "xml",  "new", "set",  "delete"};

TEST(ToolCommandLine, HelpListsEveryCommandAndExitsZero) {
    StateDir state;
    for (const char* spelling : {"--help", "help"}) {
        const auto result = run(state, {spelling});
        EXPECT_EQ(0, result.code) << spelling;
        EXPECT_EQ(0u, result.out.rfind("usage: zudava [OPTIONS] [COMMAND]\n", 0)) << result.out;
        for (const char* command : kClientCommands)
            EXPECT_NE(std::string::npos, result.out.find("\n  " + std::string(command) + " "))
                << command;
        EXPECT_EQ("", result.err);
    }
}

TEST(ToolCommandLine, NoCommandShowsHelpOnErrorOutputAndExitsTwo) {
    StateDir state;
    const auto result = run(state, {});
    EXPECT_EQ(2, result.code);
    EXPECT_EQ("", result.out);
    EXPECT_EQ(0u, result.err.rfind("usage: zudava", 0));
}

TEST(ToolCommandLine, EveryCommandHelpHasUsageNamespaceAndExample) {
    StateDir state;
    for (const char* command : kClientCommands) {
        const auto result = run(state, {command, "--help"});
        const std::string name = command;
        EXPECT_EQ(0, result.code) << name;
        EXPECT_EQ(0u, result.out.rfind("usage: zudava " + name + " [OPTIONS]", 0)) << result.out;
        EXPECT_NE(std::string::npos,
                  result.out.find("-n,--namespace NAMESPACE  the WMI namespace (default "
                                  "root\\cimv2)"))
            << name;
        EXPECT_NE(std::string::npos, result.out.find("\nexample: zudava " + name)) << result.out;
    }
}

TEST(ToolCommandLine, VersionIsTheProjectVersion) {
    StateDir state;
    const auto result = run(state, {"--version"});
    EXPECT_EQ(0, result.code);
    EXPECT_EQ(0u, result.out.rfind("zudava 0.", 0)) << result.out;
}

TEST(ToolCommandLine, MistakesGetOneLineAndExitTwo) {
    StateDir state;
    struct Case {
        std::vector<std::string> arguments;
        const char* message;
    };
    const Case cases[] = {
        {{"frobnicate"}, "zudava: unknown command 'frobnicate' (try zudava --help)\n"},
        {{"enum", "--bogus", "Item"},
         "zudava enum: unknown option '--bogus' (try zudava enum --help)\n"},
        {{"get"}, "zudava get: PATH is required (try zudava get --help)\n"},
        {{"show", "A", "B"}, "zudava show: unexpected argument 'B' (try zudava show --help)\n"},
        {{"enum", "--format", "yaml", "Item"},
         "zudava enum: --format: yaml not in {table,mof,json,xml} (try zudava enum --help)\n"},
        {{"show", "--format", "table", "Item"},
         "zudava show: --format: table not in {mof,xml,json} (try zudava show --help)\n"},
        {{"new", "Item", "Name"}, "zudava new: expected PROPERTY=VALUE, not 'Name'\n"},
        {{"set", "Item.Name=\"a\"", "=1"}, "zudava set: expected PROPERTY=VALUE, not '=1'\n"},
        {{"set", "Item.Name=\"a\""},
         "zudava set: no PROPERTY=VALUE given (try zudava set --help)\n"},
        {{"set", "Item", "Size=1"}, "zudava set: 'Item' names a class, not an instance\n"},
        {{"get", ""}, "zudava get: an empty object path\n"},
    };
    for (const Case& each : cases) {
        const auto result = run(state, each.arguments);
        EXPECT_EQ(2, result.code) << each.message;
        EXPECT_EQ(each.message, result.err);
        EXPECT_EQ("", result.out) << each.message;
    }
}

TEST(ToolCommandLine, WmiFailuresNameTheStatusAndTheFailedCallAndExitOne) {
    StateDir state;
    struct Case {
        std::vector<std::string> arguments;
        const char* message;
    };
    const Case cases[] = {
        {{"show", "Nope"},
         "zudava show: WBEM_E_NOT_FOUND (0x80041002): IWbemServices::GetObject() failed\n"},
        {{"enum", "Nope"},
         "zudava enum: WBEM_E_INVALID_CLASS (0x80041010): "
         "IWbemServices::CreateInstanceEnum() failed.\n"},
        {{"classes", "-n", "root/nope"},
         "zudava classes: WBEM_E_INVALID_NAMESPACE (0x8004100E): "
         "IWbemLocator::ConnectServer() failed\n"},
        {{"query", "SELEC * FROM Item"},
         "zudava query: WBEM_E_INVALID_QUERY (0x80041017): IWbemServices::ExecQuery() failed\n"},
        {{"delete", "Nope"},
         "zudava delete: WBEM_E_NOT_FOUND (0x80041002): IWbemServices::DeleteClass() failed\n"},
        {{"get", "Item.Name=\"unclosed"},
         "zudava get: WBEM_E_INVALID_OBJECT_PATH (0x8004103A): "
         "IWbemServices::GetObject() failed\n"},
        {{"delete", "Item.Name=\"unclosed"},
         "zudava delete: WBEM_E_INVALID_PARAMETER (0x80041008): "
         "IWbemPath::SetText() failed\n"},
    };
    for (const Case& each : cases) {
        const auto result = run(state, each.arguments);
        EXPECT_EQ(1, result.code) << each.message;
        EXPECT_EQ(each.message, result.err);
        EXPECT_EQ("", result.out) << each.message;
    }
}

} // namespace
