// The clean-up's parts that write nothing to WMI: the mode words, groups without namespaces, and
// the calling thread's COM state.
#include "support/Child.h"

#include <zudava/zudava.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>

namespace {

using DEZE::_configData;
using DEZE::GroupConfFile;
using DEZE::UtilityManager;
using zudava_test::hostPath;

class UtilityManagerTest : public ::testing::Test {
protected:
    void SetUp() override {
        const char* common = std::getenv("CommonProgramFiles");
        if (!common)
            GTEST_SKIP() << "CommonProgramFiles is not set (ctest sets it)";
        const std::string folder = std::string(common) + "\\Talvo\\tlx\\vedav\\data";
        std::filesystem::create_directories(hostPath(folder));
        std::filesystem::remove(hostPath(folder + "\\groupname.ini"));
        std::filesystem::remove(hostPath(folder + "\\deze.properties"));
        file = GroupConfFile::getInstance();
        ASSERT_NE(file, nullptr);
    }
    void TearDown() override {
        if (file) {
            for (const std::string& group : file->GetAllGroups())
                file->DeleteEntry(group);
        }
    }

    // Runs the clean-up on a thread of its own, as callers must, and reports whether that thread
    // was left without COM.
    static bool cleanUp(const std::string& mode, bool* comReleased = nullptr) {
        bool result = false;
        std::thread([&] {
            result = UtilityManager::cleanUpRegistrationProvider(mode);
            const HRESULT again = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
            if (comReleased)
                *comReleased = again == S_OK;
            if (SUCCEEDED(again))
                CoUninitialize();
        }).join();
        return result;
    }

    void addGroup(const std::string& group, const std::string& clsid) {
        _configData entry;
        entry.groupName = group;
        entry.clsid = clsid;
        ASSERT_TRUE(file->AddEntry(entry));
    }

    GroupConfFile* file = nullptr;
};

TEST_F(UtilityManagerTest, AnyOtherModeDoesNothingAndLeavesTheThreadWithoutCom) {
    addGroup("Kept", "");
    for (const char* mode : {"", "IPX", "O0P", "in-process"}) {
        bool released = false;
        EXPECT_FALSE(cleanUp(mode, &released)) << mode;
        EXPECT_TRUE(released) << mode;
    }
    EXPECT_TRUE(file->FindEntry("Kept"));
}

TEST_F(UtilityManagerTest, InProcessModeRemovesGroupsWithoutNamespacesAndTheirServers) {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyW(HKEY_CLASSES_ROOT,
                            L"CLSID\\{7A0C3D91-0000-4000-8000-00000000C1EA}\\LocalServer32", &key),
              ERROR_SUCCESS);
    RegCloseKey(key);
    addGroup("WithServer", "{7A0C3D91-0000-4000-8000-00000000C1EA}");
    addGroup("WithoutServer", "");

    bool released = false;
    EXPECT_TRUE(cleanUp("iP", &released));
    EXPECT_TRUE(released);
    EXPECT_TRUE(file->GetAllGroups().empty());
    EXPECT_EQ(RegOpenKeyExW(HKEY_CLASSES_ROOT, L"CLSID\\{7A0C3D91-0000-4000-8000-00000000C1EA}", 0,
                            KEY_READ, &key),
              ERROR_FILE_NOT_FOUND);

    // Nothing is left to remove.
    EXPECT_FALSE(cleanUp("IP"));
}

TEST_F(UtilityManagerTest, OutOfProcessModeWithNothingLinkedReportsFalse) {
    // The group lists a namespace that does not exist: the unlink fails without raising.
    _configData entry;
    entry.groupName = "G";
    entry.clsid = "{C}";
    entry.namespaces = {"root\\zudava_missing"};
    ASSERT_TRUE(file->AddEntry(entry));
    bool released = false;
    EXPECT_FALSE(cleanUp("oOp", &released));
    EXPECT_TRUE(released);
    EXPECT_TRUE(file->FindEntry("G"));
    // Without groups, the adapter's own namespace has no provider either.
    file->DeleteEntry("G");
    EXPECT_FALSE(cleanUp("OOP"));
}

} // namespace
