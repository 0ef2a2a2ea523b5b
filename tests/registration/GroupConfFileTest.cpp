// The group configuration file against real profile files in the common data folder.
#include "support/Child.h"

#include <zudava/zudava.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <thread>

namespace {

using DEZE::_configData;
using DEZE::GroupConfFile;
using zudava_test::Child;
using zudava_test::hostPath;
using Items = std::vector<std::string>;

class GroupConfFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        const char* common = std::getenv("CommonProgramFiles");
        if (!common)
            GTEST_SKIP() << "CommonProgramFiles is not set (ctest sets it)";
        dataFolder = std::string(common) + "\\Talvo\\tlx\\vedav\\data";
        groupFile = dataFolder + "\\groupname.ini";
        std::filesystem::create_directories(hostPath(dataFolder));
        std::filesystem::remove(hostPath(groupFile));
        file = GroupConfFile::getInstance();
        ASSERT_NE(file, nullptr);
    }

    std::string content() const {
        std::ifstream in(hostPath(groupFile), std::ios::binary);
        std::ostringstream text;
        text << in.rdbuf();
        return text.str();
    }

    bool add(const std::string& group, const std::string& clsid, const Items& namespaces) {
        _configData data;
        data.groupName = group;
        data.clsid = clsid;
        data.namespaces = namespaces;
        return file->AddEntry(data);
    }

    std::string dataFolder;
    std::string groupFile;
    GroupConfFile* file = nullptr;
};

TEST_F(GroupConfFileTest, AnEntryHoldsItsClsidAndJoinedNamespaces) {
    ASSERT_TRUE(add("GroupA", "{11111111-2222-3333-4444-555555555555}", {"root\\a", "root\\b"}));
    EXPECT_EQ(content(), "[GroupA]\r\nCLSID={11111111-2222-3333-4444-555555555555}\r\n"
                         "NAMESPACE=root\\a:root\\b\r\n");
    EXPECT_TRUE(file->FindEntry("groupa"));
    EXPECT_EQ(file->GetCLSID("GROUPA"), "{11111111-2222-3333-4444-555555555555}");
    EXPECT_EQ(file->GetNamespacesForGroup("GroupA"), (Items{"root\\a", "root\\b"}));
    EXPECT_EQ(file->GetAllGroups(), (Items{"GroupA"}));

    // Adding it again replaces the section: the old namespaces go.
    ASSERT_TRUE(add("GroupA", "{2}", {}));
    EXPECT_EQ(file->GetNamespacesForGroup("GroupA"), Items{});
    EXPECT_EQ(file->GetCLSID("GroupA"), "{2}");
    // The first namespace of a group without any is stored alone.
    EXPECT_TRUE(file->AddNamespaceToGroup("GroupA", "root\\cimv2"));
    EXPECT_EQ(content(), "[GroupA]\r\nCLSID={2}\r\nNAMESPACE=root\\cimv2\r\n");
}

TEST_F(GroupConfFileTest, AddingANamespaceIsASubstringTest) {
    ASSERT_TRUE(add("G", "{1}", {"root\\ab"}));
    const std::string before = content();
    EXPECT_FALSE(file->AddNamespaceToGroup("G", "root\\a"));
    EXPECT_FALSE(file->AddNamespaceToGroup("G", "root\\ab"));
    EXPECT_EQ(content(), before);
    EXPECT_TRUE(file->AddNamespaceToGroup("G", "ROOT\\AB")); // case counts
    EXPECT_TRUE(file->AddNamespaceToGroup("g", "root\\c"));
    EXPECT_EQ(file->GetNamespacesForGroup("G"), (Items{"root\\ab", "ROOT\\AB", "root\\c"}));
    EXPECT_FALSE(file->AddNamespaceToGroup("Unknown", "root\\x"));
    EXPECT_FALSE(file->FindEntry("Unknown"));
}

TEST_F(GroupConfFileTest, UpdatingAndDeletingEntries) {
    EXPECT_FALSE(file->UpdateCLSIDForGroup("G", "{1}"));
    EXPECT_FALSE(file->DeleteEntry("G"));
    EXPECT_EQ(file->GetCLSID("G"), "");
    EXPECT_FALSE(std::filesystem::exists(hostPath(groupFile))); // nothing was written

    ASSERT_TRUE(add("G", "{abc}", {"root\\a"}));
    ASSERT_TRUE(add("H", "{def}", {}));
    EXPECT_TRUE(file->UpdateCLSIDForGroup("G", "{abc}"));
    EXPECT_TRUE(file->UpdateCLSIDForGroup("G", "{ABC}")); // other case: rewritten
    EXPECT_EQ(file->GetCLSID("G"), "{ABC}");
    EXPECT_EQ(file->GetNamespacesForGroup("G"), Items{"root\\a"});

    EXPECT_TRUE(file->DeleteEntry("g"));
    EXPECT_FALSE(file->FindEntry("G"));
    EXPECT_EQ(file->GetCLSID("G"), "");
    EXPECT_EQ(file->GetAllGroups(), Items{"H"});
    EXPECT_FALSE(file->DeleteEntry("G"));
}

TEST_F(GroupConfFileTest, ListsSplitAtEveryColon) {
    ASSERT_TRUE(add("G", "{1}", {}));
    ASSERT_TRUE(WritePrivateProfileStringA("G", "NAMESPACE", "a::b", groupFile.c_str()));
    EXPECT_EQ(file->GetNamespacesForGroup("G"), (Items{"a", "", "b"}));
    ASSERT_TRUE(WritePrivateProfileStringA("G", "NAMESPACE", "a:b:", groupFile.c_str()));
    EXPECT_EQ(file->GetNamespacesForGroup("G"), (Items{"a", "b"}));
    ASSERT_TRUE(add("x:y", "{2}", {}));
    EXPECT_EQ(file->GetAllGroups(), (Items{"G", "x", "y"}));
}

TEST_F(GroupConfFileTest, ValuesThatDoNotFitTheBuffersAreRefusedWhole) {
    // "CLSID=" and 1017 characters make the longest line the section buffer holds.
    const std::string longest(1017, 'c');
    ASSERT_TRUE(add("G", longest, {std::string(1023, 'n')}));
    EXPECT_EQ(file->GetCLSID("G"), longest);
    EXPECT_EQ(file->GetNamespacesForGroup("G"), Items{std::string(1023, 'n')});
    EXPECT_FALSE(file->AddNamespaceToGroup("G", "x")); // would pass 1023 characters

    const std::string before = content();
    EXPECT_FALSE(add("Other", longest + "c", {"root\\a"}));
    EXPECT_FALSE(add("Other", "{1}", {std::string(600, 'a'), std::string(600, 'b')}));
    EXPECT_FALSE(file->UpdateCLSIDForGroup("G", std::string(1024, 'u')));
    EXPECT_EQ(content(), before);
    EXPECT_FALSE(file->FindEntry("Other"));

    // A longer value written by someone else reads cut, and is never written back cut.
    const std::string tooLong(1500, 'z');
    ASSERT_TRUE(WritePrivateProfileStringA("G", "NAMESPACE", tooLong.c_str(), groupFile.c_str()));
    EXPECT_EQ(file->GetNamespacesForGroup("G"), Items{std::string(1023, 'z')});
    EXPECT_FALSE(file->AddNamespaceToGroup("G", "root\\new"));
    char buffer[2048];
    EXPECT_EQ(GetPrivateProfileStringA("G", "NAMESPACE", nullptr, buffer, sizeof buffer,
                                       groupFile.c_str()),
              1500u);
}

TEST_F(GroupConfFileTest, WithoutTheDataFolderWritesFailAndCreateNothing) {
    std::filesystem::remove_all(hostPath(dataFolder));
    EXPECT_FALSE(add("G", "{1}", {"root\\a"}));
    EXPECT_FALSE(add("G", "{1}", {}));
    EXPECT_FALSE(file->FindEntry("G"));
    EXPECT_FALSE(file->AddNamespaceToGroup("G", "root\\a"));
    EXPECT_EQ(file->GetAllGroups(), Items{});
    EXPECT_FALSE(std::filesystem::exists(hostPath(dataFolder)));
}

TEST_F(GroupConfFileTest, OneObjectForEveryThread) {
    std::vector<GroupConfFile*> seen(8);
    std::vector<std::thread> threads;
    for (size_t i = 0; i < seen.size(); ++i)
        threads.emplace_back([&seen, i] { seen[i] = GroupConfFile::getInstance(); });
    for (auto& thread : threads)
        thread.join();
    for (GroupConfFile* instance : seen)
        EXPECT_EQ(instance, file);
}

#ifndef _WIN32
TEST_F(GroupConfFileTest, WithoutTheVariableTheBareNameIsRead) {
    // Only the group list looks at the environment again; the bare name means the Windows folder.
    const std::string saved = std::getenv("CommonProgramFiles");
    ASSERT_TRUE(WritePrivateProfileStringA("InWindowsFolder", "CLSID", "{1}", "groupname.ini"));
    unsetenv("CommonProgramFiles");
    const Items groups = file->GetAllGroups();
    setenv("CommonProgramFiles", saved.c_str(), 1);
    EXPECT_EQ(groups, Items{"InWindowsFolder"});
    WritePrivateProfileStringA("InWindowsFolder", nullptr, nullptr, "groupname.ini");
}
#endif

TEST_F(GroupConfFileTest, AWriterKilledMidwayLeavesWholeEntries) {
#ifdef _WIN32
    GTEST_SKIP() << "Windows' profile functions rewrite the file in place: a writer killed "
                    "midway may leave it empty";
#endif
    Child writer("groupwriter");
    ASSERT_TRUE(writer.started) << writer.error;
    for (int wait = 0; wait < 600 && file->GetAllGroups().size() < 5; ++wait)
        Sleep(50);
    Sleep(200);
    writer.kill();

    const Items groups = file->GetAllGroups();
    EXPECT_EQ(std::set<std::string>(groups.begin(), groups.end()),
              (std::set<std::string>{"Group0", "Group1", "Group2", "Group3", "Group4"}));
    for (const std::string& group : groups) {
        const std::string clsid = file->GetCLSID(group);
        ASSERT_GE(clsid.size(), 3u) << group;
        const std::string round = clsid.substr(1, clsid.size() - 2);
        // Killed between the section and its namespaces, an entry has no namespaces yet; it
        // never has another round's or half a list.
        const Items namespaces = file->GetNamespacesForGroup(group);
        if (!namespaces.empty()) {
            EXPECT_EQ(namespaces, (Items{"root\\a" + round, "root\\b" + round})) << group;
        }
    }
}

} // namespace
