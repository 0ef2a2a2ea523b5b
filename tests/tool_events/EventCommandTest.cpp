// zudava watch and zudava indicate, run as a user runs them: events sent by one process and
// printed by another, the ends of a watch (count, timeout, interrupt), and what bad input gets.
#include "support/ToolProcess.h"

#include <gtest/gtest.h>

#include <csignal>
#include <fstream>
#include <regex>

using test::runTool;
using test::StateFolder;
using test::ToolProcess;
using test::ToolResult;

namespace {

const std::string kModel = std::string(ZUDAVA_SOURCE_DIR) + "/examples/library.mof";
const std::string kLent = "SELECT * FROM Tour_BookLent";

class EventCommands : public testing::Test {
protected:
    void SetUp() override {
        const ToolResult compiled = runTool(state, {"compile", kModel});
        ASSERT_EQ(0, compiled.exitCode) << compiled.err;
    }

    StateFolder state;
};

TEST_F(EventCommands, WatchPrintsTheEventAnotherProcessIndicates) {
    ToolProcess watch(state, {"watch", "--count", "1", "--timeout", "60", kLent});
    watch.start();
    ASSERT_TRUE(watch.waitForError("watching"));

    const ToolResult sent = runTool(
        state, {"indicate", "Tour_BookLent", "Isbn=978-0441013593", "Borrower=Ada", "Days=21"});
    EXPECT_EQ(0, sent.exitCode) << sent.err;
    EXPECT_EQ("indicated Tour_BookLent in root\\cimv2\n", sent.out);

    const ToolResult seen = watch.finish();
    EXPECT_EQ(0, seen.exitCode) << seen.err;
    EXPECT_EQ("watching root\\cimv2: " + kLent + "\n", seen.err);
    // One event, as MOF text, with the values sent and the class's default for the rest.
    EXPECT_EQ(0u, seen.out.find("instance of Tour_BookLent\n{\n")) << seen.out;
    EXPECT_NE(std::string::npos, seen.out.find("\tIsbn = \"978-0441013593\";\n")) << seen.out;
    EXPECT_NE(std::string::npos, seen.out.find("\tBorrower = \"Ada\";\n")) << seen.out;
    EXPECT_NE(std::string::npos, seen.out.find("\tDays = 21;\n")) << seen.out;
    EXPECT_EQ(1, std::count(seen.out.begin(), seen.out.end(), '}'));
}

TEST_F(EventCommands, WatchStopsAfterCountAndSeesOnlyMatchingEvents) {
    ToolProcess watch(state,
                      {"watch", "--count", "2", "--timeout", "60", kLent + " WHERE Days > 20"});
    watch.start();
    ASSERT_TRUE(watch.waitForError("watching"));
    for (const char* days : {"7", "21", "30", "40"})
        ASSERT_EQ(
            0, runTool(state, {"indicate", "Tour_BookLent", std::string("Days=") + days}).exitCode);
    const ToolResult seen = watch.finish();
    EXPECT_EQ(0, seen.exitCode) << seen.err;
    const std::regex days("Days = ([0-9]+);");
    std::vector<std::string> found;
    for (std::sregex_iterator it(seen.out.begin(), seen.out.end(), days), end; it != end; ++it)
        found.push_back((*it)[1]);
    EXPECT_EQ((std::vector<std::string>{"21", "30"}), found) << seen.out;
}

TEST_F(EventCommands, WatchSeesInstancesThatAnotherProcessCreates) {
    ToolProcess watch(state, {"watch", "--count", "1", "--timeout", "60",
                              "SELECT * FROM __InstanceCreationEvent WHERE TargetInstance ISA "
                              "'Tour_Book'"});
    watch.start();
    ASSERT_TRUE(watch.waitForError("watching"));
    const std::filesystem::path more = state.path() / "more.mof";
    std::ofstream(more) << "instance of Tour_Shelf { Name = \"Poetry\"; };\n"
                           "instance of Tour_Book { Isbn = \"1\"; Title = \"One\"; };\n";
    ASSERT_EQ(0, runTool(state, {"compile", more.string()}).exitCode);
    const ToolResult seen = watch.finish();
    EXPECT_EQ(0, seen.exitCode) << seen.err;
    EXPECT_EQ(0u, seen.out.find("instance of __InstanceCreationEvent\n{\n")) << seen.out;
    EXPECT_NE(std::string::npos, seen.out.find("TargetInstance = instance of Tour_Book\n"))
        << seen.out;
    EXPECT_NE(std::string::npos, seen.out.find("\tIsbn = \"1\";\n")) << seen.out;
    EXPECT_EQ(std::string::npos, seen.out.find("Poetry")) << seen.out;
}

TEST_F(EventCommands, TimeoutEndsTheWatch) {
    // Without a count, the time running out is the normal end.
    const ToolResult quiet = runTool(state, {"watch", "--timeout", "0.3", kLent});
    EXPECT_EQ(0, quiet.exitCode) << quiet.err;
    EXPECT_EQ("", quiet.out);

    // With a count that was not reached, it is a failure that says how many came.
    const ToolResult missed = runTool(state, {"watch", "--count", "2", "--timeout", "0.3", kLent});
    EXPECT_EQ(1, missed.exitCode);
    EXPECT_EQ("", missed.out);
    EXPECT_EQ("watching root\\cimv2: " + kLent +
                  "\nzudava watch: 0.3 s passed with 0 of 2 events\n",
              missed.err);
}

TEST_F(EventCommands, InterruptEndsTheWatchCleanly) {
    for (int number : {SIGINT, SIGTERM}) {
        ToolProcess watch(state, {"watch", kLent});
        watch.start();
        ASSERT_TRUE(watch.waitForError("watching"));
        watch.signal(number);
        const ToolResult ended = watch.finish();
        EXPECT_EQ(0, ended.exitCode) << "signal " << number << ": " << ended.err;
        EXPECT_EQ("", ended.out);
    }
}

TEST_F(EventCommands, BadQueriesAndNamespacesFail) {
    const ToolResult syntax = runTool(state, {"watch", "--timeout", "1", "SELECT FROM"});
    EXPECT_EQ(1, syntax.exitCode);
    EXPECT_NE(std::string::npos, syntax.err.find("ExecNotificationQuery")) << syntax.err;
    EXPECT_EQ("", syntax.out);

    const ToolResult nowhere =
        runTool(state, {"watch", "-n", "root\\nowhere", "--timeout", "1", kLent});
    EXPECT_EQ(1, nowhere.exitCode);
    EXPECT_NE(std::string::npos, nowhere.err.find("WBEM_E_INVALID_NAMESPACE")) << nowhere.err;
}

TEST_F(EventCommands, IndicateRefusesWhatIsNoEventOrNoValue) {
    const ToolResult plain = runTool(state, {"indicate", "Tour_Book", "Isbn=1"});
    EXPECT_EQ(1, plain.exitCode);
    EXPECT_EQ("zudava indicate: Tour_Book is not an event class (it does not derive from "
              "__ExtrinsicEvent)\n",
              plain.err);

    const ToolResult missing = runTool(state, {"indicate", "Tour_NoSuchEvent"});
    EXPECT_EQ(1, missing.exitCode);
    EXPECT_NE(std::string::npos, missing.err.find("WBEM_E_NOT_FOUND")) << missing.err;

    const ToolResult noEquals = runTool(state, {"indicate", "Tour_BookLent", "Isbn"});
    EXPECT_EQ(2, noEquals.exitCode);
    EXPECT_EQ("zudava indicate: expected PROPERTY=VALUE, not 'Isbn'\n", noEquals.err);

    const ToolResult unknown = runTool(state, {"indicate", "Tour_BookLent", "Colour=red"});
    EXPECT_EQ(2, unknown.exitCode);
    EXPECT_EQ("zudava indicate: class Tour_BookLent has no property 'Colour'\n", unknown.err);

    for (const char* value : {"Days=abc", "Days=-1", "Days=4294967296", "Days="}) {
        const ToolResult wrong = runTool(state, {"indicate", "Tour_BookLent", value});
        EXPECT_EQ(2, wrong.exitCode) << value;
        EXPECT_NE(std::string::npos, wrong.err.find("Days")) << value << ": " << wrong.err;
        EXPECT_NE(std::string::npos, wrong.err.find("uint32")) << value << ": " << wrong.err;
        EXPECT_EQ("", wrong.out) << value;
    }
}

TEST_F(EventCommands, NothingIsSentWhenAValueIsWrong) {
    ToolProcess watch(state, {"watch", "--timeout", "3", "--count", "1", kLent});
    watch.start();
    ASSERT_TRUE(watch.waitForError("watching"));
    EXPECT_NE(0, runTool(state, {"indicate", "Tour_BookLent", "Isbn=1", "Days=x"}).exitCode);
    const ToolResult seen = watch.finish();
    EXPECT_EQ(1, seen.exitCode);
    EXPECT_EQ("", seen.out);
}

} // namespace
